#pragma once

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include "engine/fs/error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qfs {

// One entry of a folder: its name and the type readdir() tells (DT_REG, DT_DIR, DT_LNK, ...),
// DT_UNKNOWN when the file system does not tell.
struct FolderEntry {
    std::string name;
    unsigned char type;
};

// The engine's only door to the file system. Every call behaves like the POSIX call of the
// same name: -1 with errno set on failure. Tests derive from it to inject faults.
class FileLayer {
public:
    virtual ~FileLayer() = default;

    virtual int openAt(int dirFd, const char* path, int flags, mode_t mode);
    virtual int mkdirAt(int dirFd, const char* path, mode_t mode);
    // unlinkat(); flags may hold AT_REMOVEDIR.
    virtual int unlinkAt(int dirFd, const char* path, int flags = 0);
    virtual int renameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath);
    // renameat2() with RENAME_NOREPLACE: fails with EEXIST when newPath exists. File systems
    // that cannot promise this fail with EINVAL.
    virtual int renameNoReplaceAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath);
    virtual int linkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                       int flags);
    // Every entry of the opened folder but "." and "..", in the file system's order; `entries`
    // is cleared first. The folder's own descriptor keeps its offset. On failure `entries`
    // holds what was read before it.
    virtual int listFolder(int dirFd, std::vector<FolderEntry>& entries);
    virtual int fstatAt(int dirFd, const char* path, struct stat* info, int flags);
    virtual int fstat(int fd, struct stat* info);
    virtual int fstatvfs(int fd, struct statvfs* info);
    virtual int fstatfs(int fd, struct statfs* info);
    // faccessat(); flags may hold AT_EACCESS and AT_SYMLINK_NOFOLLOW.
    virtual int accessAt(int dirFd, const char* path, int mode, int flags);
    virtual int fchmod(int fd, mode_t mode);
    // fchown() of the group only.
    virtual int fchgrp(int fd, gid_t group);
    virtual ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset);
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset);
    virtual ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                  std::size_t count);
    virtual off_t lseek(int fd, off_t offset, int whence);
    virtual int ftruncate(int fd, off_t length);
    // fcntl(F_DUPFD_CLOEXEC): a second descriptor of the same open file, sharing its offset
    // and its locks.
    virtual int duplicate(int fd);
    virtual int close(int fd);
    virtual int fdatasync(int fd);
    virtual int fsync(int fd);
    // syncfs(): flushes the whole file system the descriptor lies on.
    virtual int syncfs(int fd);
    // flock(): LOCK_EX, LOCK_SH or LOCK_UN, with LOCK_NB not to wait.
    virtual int flock(int fd, int operation);
    // Closes these descriptors on a thread of their own, without waiting. When the last
    // descriptor of a removed file closes, the kernel frees its cached pages, which takes
    // a while for a large file (a quarter of a second a GiB and more): a cancel that removes
    // what it wrote need not wait for that. Errors of these closes are of no interest.
    virtual void closeInBackground(std::vector<int> fds);

    // The layer that talks to the real system.
    static FileLayer& system();
};

// Writes all `count` bytes at `offset`, going on after short writes and interruptions.
// On failure the Error names `path`; a write that makes no progress counts as EIO.
Error writeFully(FileLayer& layer, int fd, const void* data, std::size_t count, std::uint64_t offset,
                 const std::string& path);

// Reads `count` bytes at `offset` into `data`, going on after short reads and interruptions
// until all are in or the file ends; `got` tells how many came (fewer only at the end of the
// file). On failure the Error names `path`.
Error readFully(FileLayer& layer, int fd, void* data, std::size_t count, std::uint64_t offset,
                const std::string& path, std::size_t& got);

// The page the copiers align their buffers and destination offsets to, so that the kernel
// can move whole pages. Fixed rather than asked for: it is the page of every machine the tool
// runs on, and a different one would only cost speed, never correctness.
inline constexpr std::size_t pageSize = 4096;

// The read, write and search bits of a mode, for owner, group and others: all of a source's
// mode that what the tool writes may take over; never the set-ID or sticky bits.
inline constexpr mode_t permissionBits = 0777;

// `value` rounded down, or up, to a multiple of `unit` (which must not be 0). Rounding up
// does not overflow for any value a multiple of `unit` can hold.
constexpr std::uint64_t roundDown(std::uint64_t value, std::uint64_t unit)
{
    return value / unit * unit;
}
constexpr std::uint64_t roundUp(std::uint64_t value, std::uint64_t unit)
{
    return value == 0 ? 0 : ((value - 1) / unit + 1) * unit;
}

// Page-aligned memory from std::aligned_alloc(), given back with std::free().
struct PageFree {
    void operator()(std::byte* memory) const;
};
using PageBuffer = std::unique_ptr<std::byte[], PageFree>;
// `bytes` rounded up to whole pages, aligned to a page; throws std::bad_alloc without memory.
PageBuffer allocatePages(std::size_t bytes);

// Owns one descriptor of a FileLayer; close() reports the close's error, the destructor
// closes silently (for paths that already fail).
class FileHandle {
public:
    FileHandle(FileLayer& layer, int fd) : m_layer(&layer), m_fd(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept;
    // Closes what this handle held (silently), then takes over the other's descriptor.
    FileHandle& operator=(FileHandle&& other) noexcept;
    ~FileHandle();

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Returns 0, or the errno of a failed close.
    int close();
    // Gives the descriptor up without closing it, and returns it.
    int release() { return std::exchange(m_fd, -1); }

private:
    FileLayer* m_layer;
    int m_fd;
};

} // namespace qfs
