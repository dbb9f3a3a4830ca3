#include "pieceset.h"

#include "naturalorder.h"
#include "piecenaming.h"

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

const Found* firstOf(const std::vector<Found>& found, const std::string& stem, Kind kind)
{
    for (const Found& f : found) {
        if (f.kind == kind && f.stem == stem)
            return &f;
    }
    return nullptr;
}

} // namespace

Error PieceSet::scan(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set)
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
    const std::string stem = first->stem;

    if (const Found* link = firstOf(found, stem, Kind::Link))
        return Error{SymbolicLink, "A piece is a symbolic link", PieceNaming::joinPath(folderPath, link->name)};
    if (const Found* damaged = firstOf(found, stem, Kind::Unsigned)) {
        return Error{PieceDamaged,
                     std::uint64_t(damaged->info.st_size) < pieceSignature.size()
                         ? "The piece is damaged: it is shorter than its signature"
                         : "The piece is damaged: it does not start with its signature",
                     PieceNaming::joinPath(folderPath, damaged->name)};
    }

    std::vector<PieceFile> pieces;
    for (const Found& f : found) {
        if (f.kind == Kind::Piece) {
            pieces.push_back(PieceFile{f.name, f.index, std::uint64_t(f.info.st_size), f.info.st_dev,
                                       f.info.st_ino, f.info.st_mode});
        }
    }
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const PieceFile& a, const PieceFile& b) { return a.index < b.index; });
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        if (k > 0 && pieces[k].index == pieces[k - 1].index) {
            return Error{DuplicatePiece,
                         "Two pieces carry the same number: " + pieces[k - 1].name + " and " + pieces[k].name,
                         PieceNaming::joinPath(folderPath, pieces[k].name)};
        }
        if (pieces[k].index != k) {
            return Error{MissingPiece, "A piece is missing",
                         PieceNaming::joinPath(folderPath, PieceNaming::pieceFileName(stem, k))};
        }
    }
    set.m_stem = stem;
    set.m_pieces = std::move(pieces);
    return {};
}

std::uint64_t PieceSet::dataBytes() const
{
    std::uint64_t total = 0;
    for (const PieceFile& piece : m_pieces)
        total += piece.size - pieceSignature.size();
    return total;
}

} // namespace qfs
