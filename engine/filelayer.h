#pragma once

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include "error.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qfs {

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
    virtual int fstatAt(int dirFd, const char* path, struct stat* info, int flags);
    virtual int fstat(int fd, struct stat* info);
    virtual int fstatvfs(int fd, struct statvfs* info);
    virtual int fstatfs(int fd, struct statfs* info);
    virtual int fchmod(int fd, mode_t mode);
    // fchown() of the group only.
    virtual int fchgrp(int fd, gid_t group);
    virtual ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset);
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset);
    virtual ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                  std::size_t count);
    virtual off_t lseek(int fd, off_t offset, int whence);
    virtual int ftruncate(int fd, off_t length);
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
