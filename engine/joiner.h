#pragma once

#include "engine/text/checkmessages.h"
#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/fs/leftovers.h"
#include "engine/result.h"
#include "engine/copy/slicecopier.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

namespace qfs {

// What a join reports while it goes. Every call has an empty default. How it ended is what
// Joiner::run returns.
class JoinObserver {
public:
    virtual ~JoinObserver() = default;

    // The folder being joined, before anything else happens.
    virtual void folderShown(const std::string& folderPath);
    // The folder holds the pieces' checksum file of this name, and the join checks every piece
    // against it as it copies. Called before the copy starts; not at all without the file.
    virtual void verifying(const std::string& checksumFileName);
    // Bytes of the pieces' data dealt with so far, of the total.
    virtual void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal);
};

// What a join is asked to do: put the pieces in this folder back together. The join reads the
// folder itself, so what it joins is what is there when it starts.
struct JoinRequest {
    std::string folderPath;
    // The folder the rebuilt file is written into; empty: the pieces folder itself.
    std::string destinationDirectory = {};
    // Whether a file of the rebuilt name in a destination other than the pieces folder may be
    // replaced: a regular file only, never a link or a folder. Without it such a file refuses
    // the join (OutputExists). In the pieces folder a file or a link of that name is always
    // replaced, as a join there always did: joining again rebuilds the same file.
    bool replace = false;
};

// What a join will make, worked out and checked before anything is written (Joiner::plan).
struct JoinPlan {
    // The rebuilt file's name and length; the name is empty when the folder holds no pieces,
    // and the rest of the plan is then empty too.
    std::string rebuiltName;
    std::uint64_t length = 0;
    // The folder the file goes into, as the request named it (the pieces folder's path when it
    // named none), and whether that is the pieces folder itself.
    std::string destinationPath;
    bool intoPiecesFolder = true;
    // A file of the rebuilt name is there, and the join will replace it.
    bool replaces = false;
    // The checksum file the pieces will be checked against; empty when the folder has none.
    std::string checksumFileName;
};

class AtomicFile;
class PieceSet;
struct PieceChecksums;
struct PieceFile;

// What a join made: the rebuilt file's name in the destination and its length. The name is
// empty when the folder held no pieces.
struct JoinResult {
    std::string rebuiltName;
    std::uint64_t length = 0;
    // The folder the rebuilt file is in (JoinPlan::destinationPath).
    std::string destinationPath;
    // What earlier runs cut short had left in the destination, removed before the join.
    Leftovers leftovers;
};

// Puts the pieces in a folder back together into one file, named after their stem, in that
// folder or in the destination the request names. The set of pieces is checked first (see
// PieceSet), and then the destination (JoinPlan): that it can be written, that the name fits,
// what is already there of that name (see JoinRequest::replace), the file system's largest
// file, a free inode and the space. The rebuilt file is written as a temporary file in the
// destination, so that another file system is no different, and takes the final name only
// when it is complete and flushed to the disk, with the first piece's permission bits and
// group (see AtomicFile). Until then, and after any failure or stop, an earlier file of that
// name is exactly as it was. Before writing, the join removes from the destination what earlier
// runs that were cut short left there (Leftovers), and the result says what it removed. The
// pieces folder is only read unless it is the destination: it may be on a read-only medium.
// A folder that holds no set is no failure: nothing is written, and the result names no
// rebuilt file.
//
// When the folder holds the set's checksum file, "<stem>.sha256", the join verifies: before
// writing, every piece the file lists must be there and every piece of the set must be listed
// (MissingPiece, UnlistedPiece, naming the pieces). During the copy each piece, and the
// joined data when the file has a line for the stem, is hashed in the same pass; a piece whose
// checksum differs stops the writing at once and the temporary file is removed. The rest of the
// pieces are then only read and hashed, so that the refusal (PieceDamaged) names every damaged
// piece: "movie.avi.0003 is damaged: its checksum differs.", or "a, b and c are damaged: their
// checksums differ.". Refusals word their findings as CheckMessages does, which is what a
// verification reports of the same folder; their path is the piece's, or the folder's when they
// name several. When all pieces match but the joined data does not match the stem's line, the
// join refuses too (PieceDamaged). A refusal before writing for damaged, missing or unlisted
// pieces names every such fault of the folder at once, not only the first kind found: the
// pieces are then read as a verification reads them, and when they hold more than one kind of
// fault the refusal's description is all their sentences ("m.0001 is damaged: its checksum
// differs. m.0003 is missing."), its names those of every finding that lists them, its path the
// folder's, and its code the first refusal's. A checksum file that cannot be used (a symbolic link, too
// large, a malformed or hostile line) refuses the join before anything is written.
class Joiner {
public:
    explicit Joiner(FileLayer& layer = FileLayer::system(),
                    std::size_t blockSize = SliceCopier::defaultBlockSize,
                    bool kernelCopy = true);

    // Runs the whole join, telling the observer as it goes, and returns what it rebuilt or
    // the failure. A stop request ends it with Cancelled.
    Result<JoinResult> run(const JoinRequest& request, JoinObserver& observer, std::stop_token stop = {});

    // Runs every check run() makes before it writes, and works out what it would make,
    // writing nothing: the plan, or the failure run() would return before its first byte.
    // A pieces folder that cannot be written is such a failure when it is the destination
    // (EROFS, EACCES); Destination::checkWritable() tells that of any folder beforehand.
    Result<JoinPlan> plan(const JoinRequest& request);

private:
    struct Survey;

    // Opens the pieces folder and the destination, reads and checks the set and its checksum
    // file, and checks the destination, filling the survey's plan.
    Error survey(const JoinRequest& request, Survey& found);
    Error joinPieces(const JoinRequest& request, JoinObserver& observer, const std::stop_token& stop,
                     JoinResult& result);
    // The refusal `first` widened to every fault of the pieces, as the class comment says; any
    // other failure as it is.
    Error everyFault(const JoinRequest& request, JoinObserver& observer, const std::stop_token& stop,
                     Error first);
    // Copies the pieces' data into the output from offset 0; `offset` ends at the data's length.
    Error copyPieces(const JoinRequest& request, const PieceSet& set, int folderFd, AtomicFile& output,
                     const std::stop_token& stop, const SliceCopier::Advance& advance, std::uint64_t& offset);
    // The same, hashing as it goes, and refusing as the class comment says.
    Error copyVerified(const JoinRequest& request, const PieceSet& set, const PieceChecksums& sums, int folderFd,
                       AtomicFile& output, const std::stop_token& stop, const SliceCopier::Advance& advance,
                       std::uint64_t& offset);
    // The refusal that names these pieces: its path is the one piece's, or the folder's when
    // it names several.
    static Error refusal(int code, const std::vector<std::string>& names, PieceFinding finding,
                         const std::string& folderPath);

    FileLayer& m_layer;
    std::size_t m_blockSize;
    bool m_kernelCopy;
};

} // namespace qfs
