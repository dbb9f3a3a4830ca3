#pragma once

#include "error.h"
#include "filelayer.h"
#include "joinobserver.h"
#include "joinrequest.h"
#include "slicecopier.h"

#include <cstddef>

namespace qfs {

// Puts the pieces listed in a folder back together into one file in that folder.
class Joiner {
public:
    explicit Joiner(FileLayer& layer = FileLayer::system(),
                    std::size_t blockSize = SliceCopier::defaultBlockSize,
                    bool kernelCopy = true);

    Error run(const JoinRequest& request, JoinObserver& observer);

private:
    Error joinPieces(const JoinRequest& request, JoinObserver& observer,
                     std::string& rebuiltName);

    FileLayer& m_layer;
    std::size_t m_blockSize;
    bool m_kernelCopy;
};

} // namespace qfs
