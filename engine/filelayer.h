#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace qfs {

// The engine's only door to the file system. Every call behaves like the POSIX call of the
// same name: -1 with errno set on failure. Tests derive from it to inject faults.
class FileLayer {
public:
    virtual ~FileLayer() = default;

    virtual int openAt(int dirFd, const char* path, int flags, mode_t mode);
    virtual int mkdirAt(int dirFd, const char* path, mode_t mode);
    virtual int unlinkAt(int dirFd, const char* path);
    virtual int fstatAt(int dirFd, const char* path, struct stat* info, int flags);
    virtual int fstat(int fd, struct stat* info);
    virtual ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset);
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset);
    virtual ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                  std::size_t count);
    virtual off_t lseek(int fd, off_t offset, int whence);
    virtual int ftruncate(int fd, off_t length);
    virtual int close(int fd);

    // The layer that talks to the real system.
    static FileLayer& system();
};

// Owns one descriptor of a FileLayer; close() reports the close's error, the destructor
// closes silently (for paths that already fail).
class FileHandle {
public:
    FileHandle(FileLayer& layer, int fd) : m_layer(&layer), m_fd(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Returns 0, or the errno of a failed close.
    int close();

private:
    FileLayer* m_layer;
    int m_fd;
};

} // namespace qfs
