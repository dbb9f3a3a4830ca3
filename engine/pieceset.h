#pragma once

#include "error.h"
#include "filelayer.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qfs {

// One piece of a set, as it was found: the file is checked again by whoever reads it.
struct PieceFile {
    std::string name;
    std::uint64_t index = 0;
    std::uint64_t size = 0; // of the whole file, signature included
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
};

// The pieces of one file in a folder, found and checked before anything is written.
//
// A piece is a regular file whose name is a stem, a dot and four or more digits, and whose
// first five bytes are the signature. Other files are foreign and skipped; so are files of the
// name pattern that lack the signature and belong to no piece's stem (a "notes.2010" beside
// the pieces). The set is refused, naming the file, when it holds pieces of more than one
// stem, a symbolic link or a file without the signature under the pieces' stem, two pieces of
// one index, or a gap (the first missing piece is named).
class PieceSet {
public:
    // Reads the opened folder. A folder without pieces is no failure: the set is then empty.
    // Nothing is followed: names are examined with AT_SYMLINK_NOFOLLOW and opened with
    // O_NOFOLLOW relative to folderFd. Errors carry the path of the file concerned.
    static Error scan(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set);

    bool empty() const { return m_pieces.empty(); }
    // The name of the file the pieces rebuild.
    const std::string& stem() const { return m_stem; }
    // The pieces in index order, 0, 1, 2, … without gaps.
    const std::vector<PieceFile>& pieces() const { return m_pieces; }
    // Bytes of data the pieces carry, their signatures left out.
    std::uint64_t dataBytes() const;

private:
    std::string m_stem;
    std::vector<PieceFile> m_pieces;
};

} // namespace qfs
