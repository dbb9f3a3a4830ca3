#include "pieceset.h"

#include "checkmessages.h"
#include "naturalorder.h"
#include "piecenaming.h"
#include "slicecopier.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace qfs {

namespace {

enum class Kind { Piece, Unsigned, Link };

struct Found {
    std::string name;
    std::string stem;
    std::uint64_t index;
    Kind kind;
    struct stat info;
};

// Every name in the opened folder. The folder's own descriptor keeps its offset untouched.
Error readNames(int folderFd, const std::string& folderPath, std::vector<std::string>& names)
{
    const int copy = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return Error::fromErrno(errno, folderPath);
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        const int err = errno;
        ::close(copy);
        return Error::fromErrno(err, folderPath);
    }
    ::rewinddir(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        names.emplace_back(entry->d_name);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0)
        return Error::fromErrno(readError, folderPath);
    return {};
}

// Whether the file starts with the signature. A file that turns out to be a link (it was
// swapped for one since it was examined) is reported as one.
Error examine(FileLayer& layer, int folderFd, const std::string& path, Found& found)
{
    FileHandle file(layer, layer.openAt(folderFd, found.name.c_str(),
                                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!file.isOpen()) {
        if (errno == ELOOP) {
            found.kind = Kind::Link;
            return {};
        }
        return Error::fromErrno(errno, path);
    }
    if (layer.fstat(file.fd(), &found.info) != 0)
        return Error::fromErrno(errno, path);
    char head[pieceSignature.size()] = {};
    std::size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = layer.pread(file.fd(), head + got, sizeof head - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Error::fromErrno(errno, path);
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    const bool signed_ = S_ISREG(found.info.st_mode) && got == sizeof head &&
                         std::memcmp(head, pieceSignature.data(), sizeof head) == 0;
    found.kind = signed_ ? Kind::Piece : Kind::Unsigned;
    return {};
}

} // namespace

Error PieceSet::read(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set)
{
    set = PieceSet();
    std::vector<std::string> names;
    if (Error e = readNames(folderFd, folderPath, names); e.failed())
        return e;
    // The order of the names decides which file a message names: make it the listed order.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalOrder::less(a, b); });

    std::vector<Found> found;
    for (std::string& name : names) {
        const auto parsed = PieceNaming::parse(name);
        if (!parsed)
            continue;
        Found f{name, std::string(parsed->stem), parsed->index, Kind::Unsigned, {}};
        const std::string path = PieceNaming::joinPath(folderPath, name);
        if (layer.fstatAt(folderFd, name.c_str(), &f.info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue; // gone since the folder was read
            return Error::fromErrno(errno, path);
        }
        if (S_ISLNK(f.info.st_mode)) {
            f.kind = Kind::Link;
        } else if (!S_ISREG(f.info.st_mode)) {
            continue; // a folder or a device named like a piece is no piece
        } else if (Error e = examine(layer, folderFd, path, f); e.failed()) {
            return e;
        }
        found.push_back(std::move(f));
    }

    std::set<std::string> stems;
    const Found* first = nullptr;
    for (const Found& f : found) {
        if (f.kind != Kind::Piece)
            continue;
        if (first == nullptr)
            first = &f;
        if (stems.insert(f.stem).second && stems.size() > 1) {
            return Error{MixedPieces,
                         "The folder holds pieces of more than one file: " + first->name + " and " + f.name,
                         PieceNaming::joinPath(folderPath, f.name)};
        }
    }
    if (first == nullptr)
        return {};
    set.m_stem = first->stem;

    // Indices held by links and damaged pieces are no gaps: those files are reported as what
    // they are.
    std::vector<std::uint64_t> otherIndices;
    for (const Found& f : found) {
        if (f.stem != set.m_stem)
            continue;
        switch (f.kind) {
        case Kind::Piece:
            set.m_pieces.push_back(PieceFile{f.name, f.index, std::uint64_t(f.info.st_size), f.info.st_dev,
                                             f.info.st_ino, f.info.st_mode, f.info.st_gid});
            break;
        case Kind::Link:
            if (set.m_link.empty())
                set.m_link = f.name;
            otherIndices.push_back(f.index);
            break;
        case Kind::Unsigned:
            if (set.m_damaged.empty())
                set.m_firstDamagedIsShort = std::uint64_t(f.info.st_size) < pieceSignature.size();
            set.m_damaged.push_back(f.name);
            otherIndices.push_back(f.index);
            break;
        }
    }
    std::stable_sort(set.m_pieces.begin(), set.m_pieces.end(),
                     [](const PieceFile& a, const PieceFile& b) { return a.index < b.index; });
    set.findGaps(otherIndices);
    return {};
}

void PieceSet::findGaps(const std::vector<std::uint64_t>& otherIndices)
{
    std::vector<std::uint64_t> present = otherIndices;
    for (const PieceFile& piece : m_pieces)
        present.push_back(piece.index);
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    std::uint64_t expected = 0;
    for (const std::uint64_t index : present) {
        if (index > expected) {
            m_missingCount += index - expected;
            for (std::uint64_t k = expected; k < index && m_missing.size() < listLimit; ++k)
                m_missing.push_back(PieceNaming::pieceFileName(m_stem, k));
        }
        expected = index + 1;
    }
}

Error PieceSet::linkFault(const std::string& folderPath) const
{
    return Error{SymbolicLink, "A piece is a symbolic link", PieceNaming::joinPath(folderPath, m_link)};
}

Error PieceSet::damageFault(const std::string& folderPath) const
{
    return Error{PieceDamaged,
                 m_firstDamagedIsShort ? "The piece is damaged: it is shorter than its signature"
                                       : "The piece is damaged: it does not start with its signature",
                 PieceNaming::joinPath(folderPath, m_damaged.front())};
}

Error PieceSet::duplicateFault(const std::string& folderPath) const
{
    for (std::size_t k = 1; k < m_pieces.size(); ++k) {
        if (m_pieces[k].index == m_pieces[k - 1].index) {
            return Error{DuplicatePiece,
                         "Two pieces carry the same number: " + m_pieces[k - 1].name + " and " + m_pieces[k].name,
                         PieceNaming::joinPath(folderPath, m_pieces[k].name)};
        }
    }
    return {};
}

Error PieceSet::gapFault(const std::string& folderPath) const
{
    return Error{MissingPiece, CheckMessages::missing(m_missing, m_missingCount),
                 PieceNaming::joinPath(folderPath, m_missing.front())};
}

Error PieceSet::scan(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set)
{
    Error error = read(layer, folderFd, folderPath, set);
    if (!error.failed() && !set.m_link.empty())
        error = set.linkFault(folderPath);
    if (!error.failed() && !set.m_damaged.empty())
        error = set.damageFault(folderPath);
    if (!error.failed())
        error = set.duplicateFault(folderPath);
    if (!error.failed() && set.m_missingCount > 0)
        error = set.gapFault(folderPath);
    if (error.failed())
        set = PieceSet();
    return error;
}

Error PieceSet::survey(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set)
{
    Error error = read(layer, folderFd, folderPath, set);
    if (!error.failed() && !set.m_link.empty())
        error = set.linkFault(folderPath);
    if (!error.failed())
        error = set.duplicateFault(folderPath);
    if (error.failed())
        set = PieceSet();
    return error;
}

std::uint64_t PieceSet::dataBytes() const
{
    std::uint64_t total = 0;
    for (const PieceFile& piece : m_pieces)
        total += piece.size - pieceSignature.size();
    return total;
}

Error PieceSet::open(FileLayer& layer, int folderFd, const std::string& folderPath, const PieceFile& expected,
                     FileHandle& piece, bool& sparse)
{
    const std::string piecePath = PieceNaming::joinPath(folderPath, expected.name);
    piece = FileHandle(layer, layer.openAt(folderFd, expected.name.c_str(),
                                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!piece.isOpen())
        return Error::fromErrno(errno, piecePath);
    struct stat info {};
    if (layer.fstat(piece.fd(), &info) != 0)
        return Error::fromErrno(errno, piecePath);
    if (info.st_dev != expected.device || info.st_ino != expected.inode ||
        std::uint64_t(info.st_size) != expected.size)
        return Error{SourceChanged, "The piece changed after it was checked", piecePath};
    sparse = SliceCopier::mayBeSparse(info);
    return {};
}

} // namespace qfs
