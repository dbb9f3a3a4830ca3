#pragma once

#include "error.h"
#include "filelayer.h"
#include "joinobserver.h"
#include "joinrequest.h"
#include "slicecopier.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

namespace qfs {

class PieceSet;

// Puts the pieces in a folder back together into one file in that folder, named after their
// stem. The set of pieces is checked first (see PieceSet); the rebuilt file is written as a
// temporary file and takes the final name only when it is complete, with the first piece's
// permission bits. Until then, and after any failure or stop, an earlier file of that name
// is exactly as it was.
class Joiner {
public:
    explicit Joiner(FileLayer& layer = FileLayer::system(),
                    std::size_t blockSize = SliceCopier::defaultBlockSize,
                    bool kernelCopy = true);

    // Runs the whole join, telling the observer as it goes. Returns the failure, if any,
    // that was also reported through the observer. A stop request ends it with Cancelled.
    Error run(const JoinRequest& request, JoinObserver& observer, std::stop_token stop = {});

private:
    Error joinPieces(const JoinRequest& request, JoinObserver& observer, const std::stop_token& stop,
                     std::string& rebuiltName, std::uint64_t& length);

    FileLayer& m_layer;
    std::size_t m_blockSize;
    bool m_kernelCopy;
};

} // namespace qfs
