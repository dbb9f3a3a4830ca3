#pragma once

#include "engine/splitrequest.h"

#include <cstdint>
#include <string>

namespace qfs {

// What a split of a given source makes, worked out once from the request and the source's
// length and then carried through the run: the folder, the names and the sizes of the pieces.
struct SplitPlan {
    std::string sourceFileName;
    std::string folderName;   // "<name>_split", or the request's own name
    std::string folderPath;   // in the destination
    std::string destinationDirectory; // where the split folder is made: the request's, or the source's folder
    std::string checksumName; // "<name>.sha256"; written only when the request asks for it
    std::uint64_t sourceLength = 0;
    std::uint64_t chunkBytes = 0;     // data bytes of every piece but the last
    std::uint64_t pieceCount = 0;     // at least 1: an empty source gives one signature-only piece
    std::uint64_t lastPieceBytes = 0; // data bytes of the last piece

    // The plan of a split of this request for a source of this length. A count above the
    // length gives a piece per byte; a count's pieces are the length over the count, rounded
    // up, so that there may be fewer of them than asked for.
    static SplitPlan make(const SplitRequest& request, std::uint64_t sourceLength);
    // The same in two steps: the names, for the checks that come before the source is opened,
    // then the sizes once its length is known.
    static SplitPlan named(const SplitRequest& request);
    void cut(const SplitRequest& request, std::uint64_t length);

    // "<name>.0003": piece names widen from index 10000 on. The last piece's is the longest.
    std::string pieceName(std::uint64_t index) const;
};

} // namespace qfs
