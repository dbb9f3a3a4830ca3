#pragma once

#include "error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qfs {

// What a check of a folder of pieces found.
struct VerifyReport {
    bool hasChecksumFile = false;    // the folder holds "<stem>.sha256"
    std::uint64_t piecesChecked = 0; // pieces of the set that were read
    bool rebuiltChecked = false;     // the rebuilt file was there and was checked too
    std::vector<std::string> damaged; // names whose checksum differs or that lack the signature
    std::vector<std::string> missing; // names of the set, or listed in the checksum file, not there

    bool intact() const { return damaged.empty() && missing.empty(); }
};

// What a verification tells its caller. Every call has an empty default.
class VerifyObserver {
public:
    virtual ~VerifyObserver() = default;

    // The folder being checked, before anything else happens.
    virtual void folderShown(const std::string& folderPath);
    // Bytes read so far, of the total.
    virtual void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal);
    // Every file was read; the report says what was found.
    virtual void finished(const VerifyReport& report);
    // The check could not be done (an unreadable folder or checksum file, or code Cancelled).
    virtual void failed(const Error& error);
};

} // namespace qfs
