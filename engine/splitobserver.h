#pragma once

#include <cstdint>
#include <string>

namespace qfs {

// What a split reports while it goes, in the order it happens. Every call has an empty
// default. How it ended is what Splitter::run returns.
class SplitObserver {
public:
    virtual ~SplitObserver() = default;

    // The split folder's name, before the folder is created.
    virtual void folderNameShown(const std::string& folderName);
    // The split is about to write its pieces; they will be in folderPath when it finishes.
    // Until then the folder has a temporary name.
    virtual void folderOpened(const std::string& folderPath);
    // A piece file is complete and closed.
    virtual void pieceWritten(const std::string& pieceName);
    // Bytes of the source copied so far, of the total.
    virtual void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal);
};

} // namespace qfs
