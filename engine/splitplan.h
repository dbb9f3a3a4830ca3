#pragma once

#include "engine/recovery/recoveryplan.h"
#include "engine/splitrequest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qfs {

// What a split of a given source makes, worked out once from the request and the source's
// length and then carried through the run: the folder, the names and the sizes of the pieces.
struct SplitPlan {
    std::string sourceFileName;
    std::string folderName;   // "<name>_split", or the request's own name
    std::string folderPath;   // in the destination
    std::string destinationDirectory; // where the split folder is made: the request's, or the source's folder
    std::string checksumName; // "<name>.sha256"; written only when the request asks for it
    PieceFormat format = PieceFormat::Signed;
    // "<name>.how-to-join.txt"; empty when the request asks for no note.
    std::string noteName;
    std::uint64_t sourceLength = 0;
    std::uint64_t chunkBytes = 0;     // data bytes of every piece but the last
    std::uint64_t pieceCount = 0;     // at least 1: an empty source gives one signature-only piece
    std::uint64_t lastPieceBytes = 0; // data bytes of the last piece
    // The recovery pieces the request asked for, and the .par2 files that carry them: names
    // and exact sizes, written into the folder after the pieces. recovery.possible() is false
    // when none are written; when some were asked for but these pieces cannot carry them (more
    // than the format covers, pieces too small), recovery.reason says so before the split.
    std::uint32_t recoveryWanted = 0;
    RecoveryPlan recovery;

    // The plan of a split of this request for a source of this length. A count above the
    // length gives a piece per byte; a count's pieces are the length over the count, rounded
    // up, so that there may be fewer of them than asked for.
    static SplitPlan make(const SplitRequest& request, std::uint64_t sourceLength);
    // The same in two steps: the names, for the checks that come before the source is opened,
    // then the sizes once its length is known.
    static SplitPlan named(const SplitRequest& request);
    void cut(const SplitRequest& request, std::uint64_t length);

    // The name of the piece of this index (from 0): "<name>.0003" for signed pieces, widening
    // from index 10000 on; "<name>.004" for plain ones, widening from index 999 on. The last
    // piece's is the longest.
    std::string pieceName(std::uint64_t index) const;
    // The bytes every piece carries before its slice: the signature's, or none.
    std::uint64_t headerBytes() const;
    // The piece files as the recovery data protects them, signature included, in index order;
    // at most `limit` of them.
    std::vector<RecoveryPiece> pieceFiles(std::uint64_t limit) const;
};

} // namespace qfs
