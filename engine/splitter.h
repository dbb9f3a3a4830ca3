#pragma once

#include "error.h"
#include "filelayer.h"
#include "slicecopier.h"
#include "splitobserver.h"
#include "splitrequest.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qfs {


// Cuts a source file into numbered pieces in a new folder beside it.
class Splitter {
public:
    explicit Splitter(FileLayer& layer = FileLayer::system(),
                      std::size_t blockSize = SliceCopier::defaultBlockSize,
                      bool kernelCopy = true);

    // Runs the whole split, telling the observer as it goes. Returns the failure, if any,
    // that was also reported through the observer.
    Error run(const SplitRequest& request, SplitObserver& observer);

    // The message shown when the split folder is already there.
    static const char* const folderExistsMessage;

private:
    Error writePieces(const SplitRequest& request, SplitObserver& observer);
    Error writePiece(int sourceFd, const std::string& sourcePath, std::uint64_t offset,
                     std::uint64_t sliceLength, bool sparse, int folderFd,
                     const std::string& folderPath, const std::string& pieceName,
                     SliceCopier& copier, const SliceCopier::Advance& advance);

    FileLayer& m_layer;
    std::size_t m_blockSize;
    bool m_kernelCopy;
};

} // namespace qfs
