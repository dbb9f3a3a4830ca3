#include "engine/fs/leftovers.h"

#include "engine/pieces/piecenaming.h"
#include "engine/fs/tempname.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qfs {

namespace {

// The file a split writes beside its pieces.
constexpr std::string_view checksumSuffix = ".sha256";
// Removed files are held open up to this many at a time, and closed in the background: the
// kernel frees the cached pages of a large file on its last close, which takes a while.
constexpr std::size_t heldAtMost = 64;

// Every name in the opened folder that could be read: a folder that cannot be read has no
// leftovers to remove.
std::vector<std::string> namesIn(FileLayer& layer, int folderFd)
{
    std::vector<FolderEntry> entries;
    layer.listFolder(folderFd, entries);
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (FolderEntry& entry : entries)
        names.push_back(std::move(entry.name));
    return names;
}

bool sameFile(FileLayer& layer, int folderFd, const char* name, int fd)
{
    struct stat byName {};
    struct stat byFd {};
    return layer.fstatAt(folderFd, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 && layer.fstat(fd, &byFd) == 0
           && byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

class Remover {
public:
    explicit Remover(FileLayer& layer) : m_layer(layer) {}
    ~Remover() { m_layer.closeInBackground(std::move(m_held)); }
    Remover(const Remover&) = delete;
    Remover& operator=(const Remover&) = delete;

    // Opens an entry of the folder without following a link and without waiting, and checks
    // that it is of this kind, this user's, and locked by nobody; -1 otherwise. The caller
    // then holds the lock.
    int claimLeftover(int folderFd, const std::string& name, bool folder, struct stat& info)
    {
        const int flags = folder ? O_RDONLY | O_DIRECTORY : O_RDONLY | O_NONBLOCK | O_NOCTTY;
        FileHandle entry(m_layer, m_layer.openAt(folderFd, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0));
        if (!entry.isOpen() || m_layer.fstat(entry.fd(), &info) != 0)
            return -1;
        const bool kind = folder ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode);
        if (!kind || info.st_uid != ::geteuid() || m_layer.flock(entry.fd(), LOCK_EX | LOCK_NB) != 0
            || !sameFile(m_layer, folderFd, name.c_str(), entry.fd()))
            return -1;
        return entry.release();
    }

    // Unlinks a regular file of this user from the opened folder, holding it open meanwhile;
    // false when it is anything else or cannot be removed.
    bool removeFile(int folderFd, const std::string& name, std::uint64_t& bytes)
    {
        FileHandle file(m_layer, m_layer.openAt(folderFd, name.c_str(),
                                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
        struct stat info {};
        if (!file.isOpen() || m_layer.fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)
            || info.st_uid != ::geteuid() || !sameFile(m_layer, folderFd, name.c_str(), file.fd())
            || m_layer.unlinkAt(folderFd, name.c_str()) != 0)
            return false;
        bytes += std::uint64_t(info.st_size);
        hold(file.release());
        return true;
    }

    void hold(int fd)
    {
        m_held.push_back(fd);
        if (m_held.size() >= heldAtMost)
            m_layer.closeInBackground(std::exchange(m_held, {}));
    }

private:
    FileLayer& m_layer;
    std::vector<int> m_held;
};

} // namespace

bool Leftovers::claim(FileLayer& layer, int folderFd, const char* name, int fd)
{
    // A file system that cannot lock at all cannot have its work taken for a leftover either:
    // removing one needs the lock.
    if (layer.flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    return sameFile(layer, folderFd, name, fd);
}

Leftovers Leftovers::removeFrom(FileLayer& layer, int folderFd)
{
    Leftovers removed;
    Remover remover(layer);
    for (const std::string& name : namesIn(layer, folderFd)) {
        const bool file = TempName::isOne(name, TempName::fileSuffix);
        if (!file && !TempName::isOne(name, TempName::folderSuffix))
            continue;
        struct stat info {};
        const int fd = remover.claimLeftover(folderFd, name, !file, info);
        if (fd < 0)
            continue;
        if (file) {
            if (layer.unlinkAt(folderFd, name.c_str()) == 0) {
                ++removed.joins;
                removed.joinBytes += std::uint64_t(info.st_size);
            }
            remover.hold(fd);
            continue;
        }
        std::uint64_t bytes = 0;
        bool any = false;
        for (const std::string& inside : namesIn(layer, fd)) {
            const bool splitWrites = PieceNaming::parse(inside, PieceNaming::plainDigits).has_value()
                                     || inside.ends_with(checksumSuffix) || inside.ends_with(PieceNaming::noteSuffix)
                                     || TempName::isOne(inside, TempName::fileSuffix);
            if (splitWrites && remover.removeFile(fd, inside, bytes))
                any = true;
        }
        if (layer.unlinkAt(folderFd, name.c_str(), AT_REMOVEDIR) == 0)
            any = true;
        if (any) {
            ++removed.splits;
            removed.splitBytes += bytes;
        }
        layer.close(fd);
    }
    return removed;
}

} // namespace qfs
