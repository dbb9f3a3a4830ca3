#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/pieces/piecenaming.h"
#include "engine/result.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
    gid_t group = 0;
    std::uint64_t allocated = 0; // bytes the file takes on its disk: less than its size when it has holes
};

// A piece opened for reading by PieceSet::open(): its descriptor, its path for messages, and
// whether it may have holes.
struct OpenPiece {
    explicit OpenPiece(FileLayer& layer) : handle(layer, -1) {}
    FileHandle handle;
    std::string path;
    bool sparse = false;
};

// The pieces of one file in a folder, found and checked before anything is written.
//
// A set is of signed pieces or of plain ones (PieceFormat), decided from the folder's files
// together, never per file. Plain pieces are bare slices named a stem, a dot and three or more
// digits, starting at "<stem>.001" or "<stem>.000" (as other tools number them too): a stem
// with a file of such a three-digit first name holds a plain set, every file of the stem and
// the pattern is one of its pieces, and its gaps are counted from its first number. Signed
// pieces and a plain set in one folder, or plain sets of two stems, are pieces of more than one
// file (MixedPieces), like signed pieces of two stems. The rest of this comment is of signed
// sets, which hold the folder when no plain set does.
//
// A piece is a regular file whose name is a stem, a dot and four or more digits, and whose
// first five bytes are the signature. Other files are foreign and skipped; so are files of the
// name pattern that lack the signature and belong to no piece's stem (a "notes.2010" beside
// the pieces). What can be wrong with a set: pieces of more than one stem, a symbolic link or
// a file without the signature under the pieces' stem (a damaged piece), two pieces of one
// index, a gap in the indices.
//
// A set whose every piece is damaged is still a set, not an empty folder: when no file carries
// the signature, the files of the name pattern are a set's damaged pieces when their stem is
// the only one with a file of index 0 ("x.0000" holding "Qua"; two such stems are pieces of
// more than one file), or else when the stem's checksum file, "<stem>.sha256", lists a piece
// of that stem. That checksum file alone, every piece gone, makes a set too: one without
// pieces, whose listed pieces are all missing.
class PieceSet {
public:
    // At most this many names of missing pieces are kept; missingCount() counts them all.
    static constexpr std::size_t listLimit = 10000;

    // How a run reads the set: the join's way (scan()) or a check's (survey()).
    enum class Reading { Join, Check };

    // Opens the folder at folderPath into `folder`, following a link there (it is the folder as
    // the user named it; nothing in it is followed), and reads its set into `set` the given way.
    static Error openFolder(FileLayer& layer, const std::string& folderPath, Reading reading, FileHandle& folder,
                            PieceSet& set);

    // The join's reading: refuses the set on its first fault, naming the file, in this order:
    // pieces of more than one stem, a symbolic link, damaged pieces (every one named), two
    // pieces of one index, a gap (its missing pieces named). A folder without a set is no
    // failure: the set is then empty(). Nothing is followed: names are examined with
    // AT_SYMLINK_NOFOLLOW and opened with O_NOFOLLOW relative to folderFd. Errors carry the
    // path of the file concerned, or the folder's when they name several.
    static Error scan(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set);
    // A check's reading: like scan(), but damaged pieces and gaps are findings, kept in
    // damaged() and missing(), not refusals. Pieces of more than one stem, a symbolic link and
    // two pieces of one index still refuse the set: they leave no one set to check.
    static Error survey(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set);

    // Opens a piece that scan() or survey() found, for reading and without following a link,
    // and checks that it is still that file: the same file of the same size. A piece swapped or
    // changed since gives SourceChanged.
    static Error open(FileLayer& layer, int folderFd, const std::string& folderPath, const PieceFile& piece,
                      OpenPiece& opened);

    // Reads the first bytes of an opened piece, where its signature is, into `head` (nothing
    // for plain pieces). A piece shorter than that changed since it was found (SourceChanged).
    Error readSignature(FileLayer& layer, const OpenPiece& piece, std::string& head) const;

    PieceFormat format() const { return m_format; }
    // The bytes before each piece's data: the signature's, or none for plain pieces.
    std::uint64_t headerBytes() const;
    // The name of the set's piece of this index, in the set's format.
    std::string pieceName(std::uint64_t index) const;
    // A name taken apart as a name of the set's format (three digits or more for plain sets).
    std::optional<PieceNaming::Parsed> parse(std::string_view name) const;

    // The folder holds no set: no signed piece, and no damaged one or checksum file that
    // makes a set as the class comment says.
    bool empty() const { return m_stem.empty(); }
    // The name of the file the pieces rebuild.
    const std::string& stem() const { return m_stem; }
    // The signed pieces in index order; after scan() 0, 1, 2, … without gaps. May be empty
    // when the set is not (every piece damaged or missing).
    const std::vector<PieceFile>& pieces() const { return m_pieces; }
    // Bytes of data the pieces carry, their signatures (if any) left out.
    std::uint64_t dataBytes() const;
    // Files of the stem and the name pattern that lack the signature, in listed order.
    const std::vector<std::string>& damaged() const { return m_damaged; }
    // Names of the indices missing below the highest one found, in index order; at most
    // listLimit of them.
    const std::vector<std::string>& missing() const { return m_missing; }
    std::uint64_t missingCount() const { return m_missingCount; }
    // One more than the highest index of a file of the set, signed or not; 0 for none. The
    // indices below it that no file holds are the gaps, missing().
    std::uint64_t endIndex() const { return m_endIndex; }

private:
    // Reads the folder and sorts what it finds; refuses only on errors of the file system and
    // on pieces of more than one stem.
    static Error read(FileLayer& layer, int folderFd, const std::string& folderPath, PieceSet& set);
    void findGaps(const std::vector<std::uint64_t>& damagedIndices);
    Error linkFault(const std::string& folderPath) const;
    Error damageFault(const std::string& folderPath) const;
    Error duplicateFault(const std::string& folderPath) const;
    Error gapFault(const std::string& folderPath) const;

    std::string m_stem;
    std::vector<PieceFile> m_pieces;
    std::vector<std::string> m_damaged;
    std::string m_link;                 // the first piece that is a symbolic link
    std::vector<std::string> m_missing;
    std::uint64_t m_missingCount = 0;
    std::uint64_t m_endIndex = 0;
    PieceFormat m_format = PieceFormat::Signed;
    std::uint64_t m_firstIndex = 0;
};

// How the join and the check go about a folder: they show it to the observer, open it and read
// its set (openFolder()) and, when it holds one, do `work(folder, set, value)`, which fills the
// run's value and returns its failure. A folder without a set is no failure: the value stays as
// it was made. The run ends through runToResult, out of memory included.
template <class T, class Observer, class Work>
Result<T> runOnSet(FileLayer& layer, const std::string& folderPath, PieceSet::Reading reading, Observer& observer,
                   Work&& work)
{
    observer.folderShown(folderPath);
    return runToResult<T>(folderPath, [&](T& value) {
        FileHandle folder(layer, -1);
        PieceSet set;
        if (Error e = PieceSet::openFolder(layer, folderPath, reading, folder, set); e.failed() || set.empty())
            return e;
        return work(std::as_const(folder), std::as_const(set), value);
    });
}

} // namespace qfs
