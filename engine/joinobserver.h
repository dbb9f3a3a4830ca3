#pragma once

#include <cstdint>
#include <string>

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

} // namespace qfs
