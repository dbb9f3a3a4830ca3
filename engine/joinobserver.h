#pragma once

#include <cstdint>
#include <string>

namespace qfs {

// What a join tells its caller. Every call has an empty default.
class JoinObserver {
public:
    virtual ~JoinObserver() = default;

    // The folder being joined, before anything else happens.
    virtual void folderShown(const std::string& folderPath);
    // Work done of the total, in units weighted by piece (each piece counts the same).
    virtual void progress(std::uint64_t done, std::uint64_t total);
    // The rebuilt file is complete; the name is empty when the folder held no pieces.
    virtual void finished(const std::string& rebuiltName);
    // The join stopped on this failure; what was written stays.
    virtual void failed(const std::string& message);
};

} // namespace qfs
