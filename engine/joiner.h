#pragma once

#include "error.h"
#include "filelayer.h"
#include "joinobserver.h"
#include "joinrequest.h"
#include "slicecopier.h"

#include <cstddef>
#include <stop_token>

namespace qfs {

// Puts the pieces listed in a folder back together into one file in that folder.
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
