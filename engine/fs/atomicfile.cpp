#include "engine/fs/atomicfile.h"

#include "engine/fs/leftovers.h"
#include "engine/pieces/piecenaming.h"
#include "engine/fs/tempname.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace qfs {

namespace {

// Keeps the name from ending in digits, so that it never looks like a piece.
constexpr std::string_view tempSuffix = TempName::fileSuffix;

// The name under which /proc shows one of this process's descriptors.
std::string procPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

constexpr const char* folderInTheWayText = "A folder has the name of the file to write";
constexpr const char* outputExistsText = "A file of this name is already there";

bool unnamedUnsupported(int err)
{
    // EISDIR and EINVAL come from kernels or file systems that do not know O_TMPFILE.
    return err == EOPNOTSUPP || err == EISDIR || err == EINVAL || err == ENOENT;
}

} // namespace

AtomicFile::AtomicFile(FileLayer& layer) : m_layer(layer) {}

AtomicFile::~AtomicFile()
{
    discard();
}

Error AtomicFile::failure(int err) const
{
    return Error::fromErrno(err, PieceNaming::joinPath(m_folderPath, m_finalName));
}

Error AtomicFile::folderInTheWay() const
{
    return Error{OutputIsFolder, folderInTheWayText, finalPath()};
}

Error AtomicFile::failAndDiscard(int err)
{
    discard();
    return failure(err);
}

Error AtomicFile::admits(FileLayer& layer, int folderFd, const std::string& folderPath,
                         const std::string& finalName, Existing existing, bool& present)
{
    const std::string path = PieceNaming::joinPath(folderPath, finalName);
    struct stat info {};
    present = false;
    if (layer.fstatAt(folderFd, finalName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Error{} : Error::fromErrno(errno, path);
    present = true;
    if (S_ISDIR(info.st_mode))
        return Error{OutputIsFolder, folderInTheWayText, path};
    if (existing == Existing::Keep)
        return Error{OutputExists, outputExistsText, path};
    if (existing == Existing::ReplaceFile && S_ISLNK(info.st_mode))
        return Error{SymbolicLink, "A symbolic link has the name of the file to write", path};
    if (existing == Existing::ReplaceFile && !S_ISREG(info.st_mode))
        return Error{NotRegularFile, "Not a regular file", path};
    return {};
}

std::string AtomicFile::finalPath() const
{
    return PieceNaming::joinPath(m_folderPath, m_finalName);
}

Error AtomicFile::create(int folderFd, const std::string& folderPath,
                         const std::string& finalName, mode_t mode, gid_t group, Existing existing)
{
    discard();
    m_folderFd = folderFd;
    m_folderPath = folderPath;
    m_finalName = finalName;
    m_existing = existing;

    bool present = false;
    if (Error e = admits(m_layer, folderFd, folderPath, finalName, existing, present); e.failed())
        return e;

    bool unsupported = false;
    Error error = openUnnamed(mode, unsupported);
    if (!error.failed() && unsupported)
        error = openNamed(mode);
    if (error.failed())
        return error;
    // The umask may have narrowed the bits at the open; the file gets exactly what was asked.
    if (m_layer.fchmod(m_fd, mode & permissionBits) != 0)
        return failAndDiscard(errno);
    if (Error e = GroupAccess::share(m_layer, m_fd, group, PieceNaming::joinPath(m_folderPath, m_finalName));
        e.failed()) {
        discard();
        return e;
    }
    return {};
}

Error AtomicFile::openUnnamed(mode_t mode, bool& unsupported)
{
    const int fd = m_layer.openAt(m_folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC,
                                  mode & permissionBits);
    if (fd < 0) {
        unsupported = unnamedUnsupported(errno);
        return unsupported ? Error{} : failure(errno);
    }
    m_fd = fd;
    // Nobody else can reach the file yet: the lock cannot be taken from it, and comes along to
    // the temporary name it gets at commit.
    m_layer.flock(fd, LOCK_EX | LOCK_NB);
    // Naming the file at commit goes through /proc; make sure now that it shows this file.
    struct stat viaProc;
    struct stat direct;
    if (m_layer.fstatAt(AT_FDCWD, procPath(fd).c_str(), &viaProc, 0) != 0
        || m_layer.fstat(fd, &direct) != 0 || viaProc.st_dev != direct.st_dev
        || viaProc.st_ino != direct.st_ino) {
        discard();
        unsupported = true;
    }
    return {};
}

Error AtomicFile::openNamed(mode_t mode)
{
    const int err = TempName::makeFresh(tempSuffix, [&](const std::string& name) {
        const int fd = m_layer.openAt(m_folderFd, name.c_str(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                      mode & permissionBits);
        if (fd < 0)
            return false;
        if (Leftovers::claim(m_layer, m_folderFd, name.c_str(), fd)) {
            m_fd = fd;
            return true;
        }
        // Taken for a leftover the moment it appeared: whoever took it removes it.
        m_layer.closeInBackground({fd});
        errno = EEXIST;
        return false;
    }, m_tempName);
    return err == 0 ? Error{} : failure(err);
}

Error AtomicFile::linkUnnamed()
{
    // linkat() with AT_EMPTY_PATH would need a privilege; the /proc name needs none.
    const std::string source = procPath(m_fd);
    const int err = TempName::makeFresh(tempSuffix, [&](const std::string& name) {
        return m_layer.linkAt(AT_FDCWD, source.c_str(), m_folderFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    }, m_tempName);
    return err == 0 ? Error{} : failure(err);
}

Error AtomicFile::commit()
{
    if (m_layer.fdatasync(m_fd) != 0)
        return failAndDiscard(errno);
    // rename() cannot take an unnamed file, and linkat() cannot replace: link it to a
    // temporary name first, then rename that.
    if (m_tempName.empty()) {
        const Error error = linkUnnamed();
        if (error.failed()) {
            discard();
            return error;
        }
    }
    // The close reports the last write errors of some file systems, so it comes before the
    // rename; a second descriptor of the same open file keeps the lock (and with it the file
    // from being taken for a leftover) until the file has its name.
    FileHandle keep(m_layer, m_layer.duplicate(m_fd));
    const auto fail = [&](const Error& error) {
        discard();
        if (keep.isOpen())
            m_layer.closeInBackground({keep.release()});
        return error;
    };
    const int fd = std::exchange(m_fd, -1);
    // A close interrupted by a signal has still released the descriptor on Linux.
    if (m_layer.close(fd) != 0 && errno != EINTR)
        return fail(failure(errno));
    if (Error e = rename(); e.failed())
        return fail(e);
    m_tempName.clear();
    keep.close();
    if (m_layer.fsync(m_folderFd) != 0)
        return Error::fromErrno(errno, m_folderPath);
    return {};
}

Error AtomicFile::rename()
{
    const char* const temp = m_tempName.c_str();
    const char* const final = m_finalName.c_str();
    bool present = false;
    if (m_existing == Existing::Keep) {
        if (m_layer.renameNoReplaceAt(m_folderFd, temp, m_folderFd, final) == 0)
            return {};
        if (errno == EEXIST) {
            // Gone again by now or not, it was there: the name was not free.
            const Error e = admits(m_layer, m_folderFd, m_folderPath, m_finalName, m_existing, present);
            return e.failed() ? e : Error{OutputExists, outputExistsText, finalPath()};
        }
        if (errno != EINVAL)
            return failure(errno);
        // A file system that cannot refuse to replace: look first, and rename at once.
    }
    if (m_existing != Existing::Replace) {
        if (Error e = admits(m_layer, m_folderFd, m_folderPath, m_finalName, m_existing, present); e.failed())
            return e;
    }
    // A link that appears between that look and the rename is replaced, never followed: the
    // rename acts on the name.
    if (m_layer.renameAt(m_folderFd, temp, m_folderFd, final) != 0)
        return errno == EISDIR ? folderInTheWay() : failure(errno);
    return {};
}

void AtomicFile::discard()
{
    if (!m_tempName.empty()) {
        m_layer.unlinkAt(m_folderFd, m_tempName.c_str(), 0);
        m_tempName.clear();
    }
    // Gone from the folder now; the kernel frees the pages of a large file on the last close,
    // which nobody needs to wait for.
    if (m_fd >= 0)
        m_layer.closeInBackground({std::exchange(m_fd, -1)});
}

} // namespace qfs
