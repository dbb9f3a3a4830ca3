#include "engine/fs/filelayer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>
#include <string_view>
#include <thread>
#include <utility>

namespace qfs {

int FileLayer::openAt(int dirFd, const char* path, int flags, mode_t mode)
{
    int fd;
    do {
        fd = ::openat(dirFd, path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int FileLayer::mkdirAt(int dirFd, const char* path, mode_t mode)
{
    return ::mkdirat(dirFd, path, mode);
}

int FileLayer::unlinkAt(int dirFd, const char* path, int flags)
{
    return ::unlinkat(dirFd, path, flags);
}

int FileLayer::renameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath)
{
    return ::renameat(oldDirFd, oldPath, newDirFd, newPath);
}

int FileLayer::renameNoReplaceAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath)
{
    return ::renameat2(oldDirFd, oldPath, newDirFd, newPath, RENAME_NOREPLACE);
}

int FileLayer::linkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                      int flags)
{
    return ::linkat(oldDirFd, oldPath, newDirFd, newPath, flags);
}

int FileLayer::listFolder(int dirFd, std::vector<FolderEntry>& entries)
{
    entries.clear();
    // A folder stream of its own: reading through dirFd itself would move its offset.
    const int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return -1;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        const int err = errno;
        ::close(copy);
        errno = err;
        return -1;
    }
    // The copy shares the offset of dirFd, which an earlier listing may have left at the end.
    ::rewinddir(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            entries.push_back(FolderEntry{std::string(name), entry->d_type});
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    errno = readError;
    return readError == 0 ? 0 : -1;
}

int FileLayer::fstatAt(int dirFd, const char* path, struct stat* info, int flags)
{
    return ::fstatat(dirFd, path, info, flags);
}

int FileLayer::fstat(int fd, struct stat* info)
{
    return ::fstat(fd, info);
}

int FileLayer::fstatvfs(int fd, struct statvfs* info)
{
    return ::fstatvfs(fd, info);
}

int FileLayer::fstatfs(int fd, struct statfs* info)
{
    return ::fstatfs(fd, info);
}

int FileLayer::accessAt(int dirFd, const char* path, int mode, int flags)
{
    return ::faccessat(dirFd, path, mode, flags);
}

int FileLayer::fchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int FileLayer::fchgrp(int fd, gid_t group)
{
    return ::fchown(fd, uid_t(-1), group);
}

ssize_t FileLayer::pread(int fd, void* buffer, std::size_t count, off_t offset)
{
    return ::pread(fd, buffer, count, offset);
}

ssize_t FileLayer::pwrite(int fd, const void* buffer, std::size_t count, off_t offset)
{
    return ::pwrite(fd, buffer, count, offset);
}

ssize_t FileLayer::copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                 std::size_t count)
{
    return ::copy_file_range(inFd, inOffset, outFd, outOffset, count, 0);
}

off_t FileLayer::lseek(int fd, off_t offset, int whence)
{
    return ::lseek(fd, offset, whence);
}

int FileLayer::ftruncate(int fd, off_t length)
{
    return ::ftruncate(fd, length);
}

int FileLayer::duplicate(int fd)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

int FileLayer::close(int fd)
{
    return ::close(fd);
}

int FileLayer::fdatasync(int fd)
{
    return ::fdatasync(fd);
}

int FileLayer::fsync(int fd)
{
    return ::fsync(fd);
}

int FileLayer::syncfs(int fd)
{
    return ::syncfs(fd);
}

int FileLayer::flock(int fd, int operation)
{
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

void FileLayer::closeInBackground(std::vector<int> fds)
{
    if (fds.empty())
        return;
    const auto closeAll = [](const std::vector<int>& all) {
        for (const int fd : all)
            ::close(fd);
    };
    try {
        std::thread(closeAll, fds).detach();
    } catch (const std::exception&) {
        closeAll(fds); // no thread to be had: close them here
    }
}

Error writeFully(FileLayer& layer, int fd, const void* data, std::size_t count, std::uint64_t offset,
                 const std::string& path)
{
    const auto* bytes = static_cast<const std::byte*>(data);
    while (count > 0) {
        const ssize_t put = layer.pwrite(fd, bytes, count, off_t(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Error::fromErrno(put < 0 ? errno : EIO, path);
        bytes += put;
        count -= std::size_t(put);
        offset += std::uint64_t(put);
    }
    return {};
}

Error readFully(FileLayer& layer, int fd, void* data, std::size_t count, std::uint64_t offset,
                const std::string& path, std::size_t& got)
{
    auto* bytes = static_cast<std::byte*>(data);
    got = 0;
    while (got < count) {
        const ssize_t n = layer.pread(fd, bytes + got, count - got, off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Error::fromErrno(errno, path);
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    return {};
}

void PageFree::operator()(std::byte* memory) const
{
    std::free(memory);
}

PageBuffer allocatePages(std::size_t bytes)
{
    void* memory = std::aligned_alloc(pageSize, std::size_t(roundUp(bytes, pageSize)));
    if (memory == nullptr)
        throw std::bad_alloc();
    return PageBuffer(static_cast<std::byte*>(memory));
}

FileLayer& FileLayer::system()
{
    static FileLayer layer;
    return layer;
}

FileHandle::~FileHandle()
{
    if (m_fd >= 0)
        m_layer->close(m_fd);
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : m_layer(other.m_layer), m_fd(std::exchange(other.m_fd, -1))
{
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            m_layer->close(m_fd);
        m_layer = other.m_layer;
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int FileHandle::close()
{
    if (m_fd < 0)
        return 0;
    const int fd = m_fd;
    m_fd = -1;
    // A close interrupted by a signal has still released the descriptor on Linux.
    if (m_layer->close(fd) != 0 && errno != EINTR)
        return errno;
    return 0;
}

} // namespace qfs
