#include "engine/fs/destination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qfs {

Error Destination::open(const std::string& path)
{
    const std::string& openedPath = path.empty() ? std::string(".") : path;
    m_folder = FileHandle(m_layer, m_layer.openAt(AT_FDCWD, openedPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    const int err = errno;
    m_path = path;
    if (!m_folder.isOpen())
        return failure(err);
    m_fd = m_folder.fd();
    return survey();
}

Error Destination::take(int fd, const std::string& path)
{
    m_folder = FileHandle(m_layer, -1);
    m_fd = fd;
    m_path = path;
    return survey();
}

Error Destination::survey()
{
    if (m_layer.fstatvfs(m_fd, &m_volume) != 0)
        return failure(errno);
    struct statfs kind {};
    if (m_layer.fstatfs(m_fd, &kind) != 0)
        return failure(errno);
    m_type = long(kind.f_type);
    return {};
}

Error Destination::checkWritable() const
{
    // A read-only mount refuses everyone, root included, whatever the folder's bits say.
    if ((m_volume.f_flag & ST_RDONLY) != 0)
        return failure(EROFS);
    // Creating a name needs write and search permission on the folder, for the user the
    // run's calls are made as.
    if (m_layer.accessAt(m_fd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return failure(errno);
    return {};
}

Error Destination::failure(int err) const
{
    return Error::fromErrno(err, m_path.empty() ? std::string(".") : m_path);
}

std::uint64_t Destination::block() const
{
    if (m_volume.f_frsize > 0)
        return m_volume.f_frsize;
    return m_volume.f_bsize > 0 ? m_volume.f_bsize : 1;
}

std::uint64_t Destination::available() const
{
    return std::uint64_t(m_volume.f_bavail) * block();
}

bool Destination::holdsFileOf(std::uint64_t bytes) const
{
    return m_type != fatMagic || bytes <= fatLargestFile;
}

bool Destination::isFolder(int other) const
{
    struct stat mine {};
    struct stat theirs {};
    return m_layer.fstat(m_fd, &mine) == 0 && m_layer.fstat(other, &theirs) == 0 && mine.st_dev == theirs.st_dev
           && mine.st_ino == theirs.st_ino;
}

Error Destination::checkWritable(const std::string& path, FileLayer& layer)
{
    Destination destination(layer);
    if (Error e = destination.open(path); e.failed())
        return e;
    return destination.checkWritable();
}

} // namespace qfs
