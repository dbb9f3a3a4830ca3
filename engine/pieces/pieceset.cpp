#include "engine/pieces/pieceset.h"

#include "engine/text/checkmessages.h"
#include "engine/pieces/checksumfile.h"
#include "engine/text/nametext.h"
#include "engine/pieces/naturalorder.h"
#include "engine/pieces/piecechecksums.h"
#include "engine/pieces/piecenaming.h"
#include "engine/copy/slicecopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace qfs {

namespace {

// stat's st_blocks counts units of this many bytes, whatever the file system's block.
constexpr std::uint64_t statBlockBytes = 512;

enum class Kind { Piece, Unsigned, Link };

struct Found {
    std::string name;
    std::string stem;
    std::uint64_t index;
    Kind kind;
    struct stat info;
    std::size_t digits = 0;
};

// A plain set starts with a piece named with exactly three digits, "x.001" or "x.000": a name
// no signed piece has.
bool startsPlainSet(const Found& f)
{
    return f.digits == PieceNaming::plainDigits && f.index <= 1;
}

// Every name in the opened folder.
Error readNames(FileLayer& layer, int folderFd, const std::string& folderPath, std::vector<std::string>& names)
{
    std::vector<FolderEntry> entries;
    if (layer.listFolder(folderFd, entries) != 0)
        return Error::fromErrno(errno, folderPath);
    for (FolderEntry& entry : entries)
        names.push_back(std::move(entry.name));
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
    if (Error e = readFully(layer, file.fd(), head, sizeof head, 0, path, got); e.failed())
        return e;
    const bool signed_ = S_ISREG(found.info.st_mode) && got == sizeof head &&
                         std::memcmp(head, pieceSignature.data(), sizeof head) == 0;
    found.kind = signed_ ? Kind::Piece : Kind::Unsigned;
    return {};
}

Error mixedPieces(const std::string& folderPath, const Found& first, const Found& other)
{
    return Error{MixedPieces, "The folder holds pieces of more than one file: " + NameText::printable(first.name) + " and " +
                     NameText::printable(other.name),
                 PieceNaming::joinPath(folderPath, other.name)};
}

// The stem of a set none of whose files carries the signature, as the class comment says: the
// one stem with a file of index 0, or else the first (in listed order) whose checksum file
// lists a piece of it. Empty when there is none. A checksum file that cannot be read is no
// sign of a set.
Error unsignedSetStem(FileLayer& layer, int folderFd, const std::string& folderPath,
                      const std::vector<std::string>& names, const std::vector<Found>& found, std::string& stem,
                      PieceFormat& format)
{
    const Found* first = nullptr;
    for (const Found& f : found) {
        if (f.index != 0 || f.digits < PieceNaming::signedDigits)
            continue;
        if (first == nullptr)
            first = &f;
        else if (f.stem != first->stem)
            return mixedPieces(folderPath, *first, f);
    }
    if (first != nullptr) {
        stem = first->stem;
        return {};
    }
    const std::string_view suffix = PieceChecksums::suffix;
    for (const std::string& name : names) {
        if (name.size() <= suffix.size() || !name.ends_with(suffix))
            continue;
        const std::string candidate = name.substr(0, name.size() - suffix.size());
        bool listsAPiece = false;
        // Reading stops at the first piece listed; a file that cannot be read lists none.
        ChecksumFile::read(layer, folderFd, folderPath, name, [&](ChecksumEntry& entry, std::size_t) {
            const auto parsed = PieceNaming::parse(entry.name, PieceNaming::plainDigits);
            listsAPiece = parsed && parsed->stem == candidate;
            if (listsAPiece)
                format = PieceNaming::indexDigits(entry.name) == PieceNaming::plainDigits ? PieceFormat::Plain
                                                                                          : PieceFormat::Signed;
            return !listsAPiece;
        });
        if (listsAPiece) {
            stem = candidate;
            return {};
        }
    }
    return {};
}

} // namespace

Error PieceSet::read(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set)
{
    set = PieceSet();
    std::vector<std::string> names;
    if (Error e = readNames(layer, folderFd, folderPath, names); e.failed())
        return e;
    // The order of the names decides which file a message names: make it the listed order.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalOrder::less(a, b); });

    std::vector<Found> found;
    for (std::string& name : names) {
        const auto parsed = PieceNaming::parse(name, PieceNaming::plainDigits);
        if (!parsed)
            continue;
        Found f{name, std::string(parsed->stem), parsed->index, Kind::Unsigned, {}, PieceNaming::indexDigits(name)};
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
        } else if (f.digits < PieceNaming::signedDigits) {
            // Three digits: a plain piece, whatever it starts with, or no piece.
        } else if (Error e = examine(layer, folderFd, path, f); e.failed()) {
            return e;
        }
        found.push_back(std::move(f));
    }

    // Which format the folder holds is decided from its files together: the stems that start a
    // plain set, and the stems of signed pieces; one of either is a set, more are refused.
    const Found* plainStart = nullptr;
    for (const Found& f : found) {
        if (!startsPlainSet(f))
            continue;
        if (plainStart == nullptr)
            plainStart = &f;
        else if (f.stem != plainStart->stem)
            return mixedPieces(folderPath, *plainStart, f);
    }
    const Found* first = nullptr;
    for (const Found& f : found) {
        if (f.kind != Kind::Piece || (plainStart != nullptr && f.stem == plainStart->stem))
            continue;
        if (plainStart != nullptr)
            return mixedPieces(folderPath, *plainStart, f);
        if (first == nullptr)
            first = &f;
        else if (f.stem != first->stem)
            return mixedPieces(folderPath, *first, f);
    }
    if (plainStart != nullptr) {
        set.m_stem = plainStart->stem;
        set.m_format = PieceFormat::Plain;
    } else if (first != nullptr) {
        set.m_stem = first->stem;
    } else if (Error e = unsignedSetStem(layer, folderFd, folderPath, names, found, set.m_stem, set.m_format);
               e.failed()) {
        return e;
    }
    if (set.m_stem.empty())
        return {};
    const bool plain = set.m_format == PieceFormat::Plain;
    set.m_firstIndex = plain ? PieceNaming::firstNumber(PieceFormat::Plain) : 0;

    // Indices held by links and damaged pieces are no gaps: those files are reported as what
    // they are. A signed set's names have four digits or more: "x.001" beside it is not its.
    std::vector<std::uint64_t> otherIndices;
    for (const Found& f : found) {
        if (f.stem != set.m_stem || (!plain && f.digits < PieceNaming::signedDigits))
            continue;
        if (plain && f.index == 0)
            set.m_firstIndex = 0;
        switch (plain && f.kind == Kind::Unsigned ? Kind::Piece : f.kind) {
        case Kind::Piece:
            set.m_pieces.push_back(PieceFile{f.name, f.index, std::uint64_t(f.info.st_size), f.info.st_dev,
                                             f.info.st_ino, f.info.st_mode, f.info.st_gid,
                                             std::uint64_t(f.info.st_blocks) * statBlockBytes});
            break;
        case Kind::Link:
            if (set.m_link.empty())
                set.m_link = f.name;
            otherIndices.push_back(f.index);
            break;
        case Kind::Unsigned:
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
    std::uint64_t expected = m_firstIndex;
    for (const std::uint64_t index : present) {
        if (index > expected) {
            m_missingCount += index - expected;
            for (std::uint64_t k = expected; k < index && m_missing.size() < listLimit; ++k)
                m_missing.push_back(pieceName(k));
        }
        expected = index + 1;
    }
    m_endIndex = expected;
}

Error PieceSet::linkFault(const std::string& folderPath) const
{
    return Error{SymbolicLink, "A piece is a symbolic link", PieceNaming::joinPath(folderPath, m_link)};
}

Error PieceSet::damageFault(const std::string& folderPath) const
{
    PieceFinding finding = CheckMessages::withoutSignature(m_damaged);
    return Error{PieceDamaged, std::move(finding.sentence),
                 m_damaged.size() == 1 ? PieceNaming::joinPath(folderPath, m_damaged.front()) : folderPath,
                 std::move(finding.names)};
}

Error PieceSet::duplicateFault(const std::string& folderPath) const
{
    for (std::size_t k = 1; k < m_pieces.size(); ++k) {
        if (m_pieces[k].index == m_pieces[k - 1].index) {
            return Error{DuplicatePiece,
                         "Two pieces carry the same number: " + NameText::printable(m_pieces[k - 1].name) + " and " +
                             NameText::printable(m_pieces[k].name),
                         PieceNaming::joinPath(folderPath, m_pieces[k].name)};
        }
    }
    return {};
}

Error PieceSet::gapFault(const std::string& folderPath) const
{
    PieceFinding finding = CheckMessages::missing(m_missing, m_missingCount);
    return Error{MissingPiece, std::move(finding.sentence),
                 m_missingCount == 1 ? PieceNaming::joinPath(folderPath, m_missing.front()) : folderPath,
                 std::move(finding.names)};
}

Error PieceSet::openFolder(FileLayer& layer, const std::string& folderPath, Reading reading, FileHandle& folder,
                           PieceSet& set)
{
    folder = FileHandle(layer, layer.openAt(AT_FDCWD, folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, folderPath);
    return reading == Reading::Join ? scan(layer, folder.fd(), folderPath, set)
                                    : survey(layer, folder.fd(), folderPath, set);
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
        total += piece.size - headerBytes();
    return total;
}

std::uint64_t PieceSet::headerBytes() const
{
    return m_format == PieceFormat::Signed ? pieceSignature.size() : 0;
}

std::string PieceSet::pieceName(std::uint64_t index) const
{
    return PieceNaming::pieceFileName(m_stem, index, m_format);
}

std::optional<PieceNaming::Parsed> PieceSet::parse(std::string_view name) const
{
    return PieceNaming::parse(name, m_format);
}

Error PieceSet::readSignature(FileLayer& layer, const OpenPiece& piece, std::string& head) const
{
    head.assign(headerBytes(), '\0');
    std::size_t got = 0;
    if (Error e = readFully(layer, piece.handle.fd(), head.data(), head.size(), 0, piece.path, got); e.failed())
        return e;
    if (got < head.size())
        return Error{SourceChanged, "The piece changed after it was checked", piece.path};
    return {};
}

Error PieceSet::open(FileLayer& layer, int folderFd, const std::string& folderPath, const PieceFile& expected,
                     OpenPiece& opened)
{
    opened.path = PieceNaming::joinPath(folderPath, expected.name);
    opened.handle = FileHandle(layer, layer.openAt(folderFd, expected.name.c_str(),
                                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!opened.handle.isOpen())
        return Error::fromErrno(errno, opened.path);
    struct stat info {};
    if (layer.fstat(opened.handle.fd(), &info) != 0)
        return Error::fromErrno(errno, opened.path);
    if (info.st_dev != expected.device || info.st_ino != expected.inode ||
        std::uint64_t(info.st_size) != expected.size)
        return Error{SourceChanged, "The piece changed after it was checked", opened.path};
    opened.sparse = SliceCopier::mayBeSparse(info);
    return {};
}

} // namespace qfs
