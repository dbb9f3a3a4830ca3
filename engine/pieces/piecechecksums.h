#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/pieces/pieceset.h"
#include "engine/copy/streamhash.h"
#include "engine/pieces/checksumfile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qfs {

// What the checksum file beside a set of pieces says about that set. The folder's
// "<stem>.sha256" is read, or when it has none the first of "<stem>.md5", "<stem>.sfv" and
// "<stem>.crc" it has (see ChecksumFormat): the strongest hash there is, and only that file, so
// that one pass with one hash checks everything. Lines for pieces of the set's stem are matched
// to the pieces by name; the line for the stem itself is the original file's; lines for other
// names are left alone. A ".crc" file describes only the original file, whatever name its
// filename= line gives it: no piece is listed, and none is unlisted. What is kept is bounded by
// the pieces the folder holds, not by the file: a digest for each of them, and the names of at
// most PieceSet::listLimit listed pieces that are not there.
struct PieceChecksums {
    std::string fileName;
    ChecksumFormat format = ChecksumFormat::Sha256;
    // One per piece of the set, in the order of PieceSet::pieces(); empty where no line names it.
    std::vector<std::optional<StreamHash::Digest>> expected;
    // The original file's checksum, when the file has a line for the stem.
    std::optional<StreamHash::Digest> whole;
    // The original file's length, where the file gives it (a ".crc" file does).
    std::optional<std::uint64_t> wholeSize;
    // Pieces of the stem that the file lists and the folder lacks, in index order: the first
    // PieceSet::listLimit of them, gaps of the set among them. A file of the stem and pattern
    // that lacks its signature is there (it is damaged, not missing).
    std::vector<std::string> missing;
    // How many listed pieces the folder lacks that are not gaps of the set (those the set
    // counts itself): all of them when the set has no gaps.
    std::uint64_t missingBeyondGaps = 0;
    // Signed pieces of the set that the file has no line for, in index order.
    std::vector<std::string> unlisted;

    // What a stem's checksum file adds to the stem: "movie.avi" has "movie.avi.sha256". It
    // is the one this program writes.
    static constexpr std::string_view suffix = ".sha256";

    // The hash of the checksums.
    HashKind kind() const { return ChecksumFile::hashOf(format); }
    // Whether the file has lines for the pieces (all forms but the ".crc" file).
    bool listsPieces() const { return format != ChecksumFormat::WholeCrc; }

    static std::string fileNameFor(const std::string& stem);

    // Reads the set's checksum file from the opened folder and matches it to the set. Sets
    // `found` to false, returning no error, when the folder has none of the four (or their
    // names would be longer than the folder allows). A file that is there but cannot be used
    // refuses: the next form is never tried in its stead. Fails as ChecksumFile::read() does: a symbolic link,
    // not a regular file, too large, a malformed or hostile line; and on a second line for a
    // piece of the set, for the stem, or for a missing piece among those named (a name listed
    // twice). Nothing is matched then.
    // REQUIRES: the set is not empty.
    static Error read(FileLayer& layer, int folderFd, const std::string& folderPath,
                      const PieceSet& set, PieceChecksums& sums, bool& found);

private:
    // read() for the one file sums.fileName, in the form sums.format.
    static Error readOne(FileLayer& layer, int folderFd, const std::string& folderPath, const PieceSet& set,
                         PieceChecksums& sums, bool& found);
};

} // namespace qfs
