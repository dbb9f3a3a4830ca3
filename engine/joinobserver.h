#pragma once

#include "error.h"
#include "leftovers.h"

#include <cstdint>
#include <string>

namespace qfs {

// What a join tells its caller. Every call has an empty default.
class JoinObserver {
public:
    virtual ~JoinObserver() = default;

    // The folder being joined, before anything else happens.
    virtual void folderShown(const std::string& folderPath);
    // Before writing, the join removed what earlier runs cut short had left in the folder
    // (Leftovers::removeFrom); not called when there was nothing.
    virtual void leftoversRemoved(const Leftovers& removed);
    // The folder holds the pieces' checksum file of this name, and the join checks every piece
    // against it as it copies. Called before the copy starts; not at all without the file.
    virtual void verifying(const std::string& checksumFileName);
    // Bytes of the pieces' data dealt with so far, of the total.
    virtual void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal);
    // The rebuilt file is complete and in place, this many bytes long; the name is empty when
    // the folder held no pieces.
    virtual void finished(const std::string& rebuiltName, std::uint64_t length);
    // The join stopped on this failure (code Cancelled when it was asked to stop); an earlier
    // file of the rebuilt name is as it was.
    virtual void failed(const Error& error);
};

} // namespace qfs
