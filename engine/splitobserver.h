#pragma once

#include "error.h"
#include "leftovers.h"
#include "splitplanner.h"

#include <cstdint>
#include <string>

namespace qfs {

// What a split tells its caller, in the order it happens. Every call has an empty default.
class SplitObserver {
public:
    virtual ~SplitObserver() = default;

    // A check refused the request: show the message, then move the focus.
    virtual void checkFailed(const std::string& message, FocusTarget focus);
    // The split folder's name, before the folder is created.
    virtual void folderNameShown(const std::string& folderName);
    // The split is about to write its pieces; they will be in folderPath when it finishes.
    // Until then the folder has a temporary name.
    virtual void folderOpened(const std::string& folderPath);
    // Before writing, the split removed what earlier runs cut short had left in the folder
    // (Leftovers::removeFrom); not called when there was nothing.
    virtual void leftoversRemoved(const Leftovers& removed);
    // The unit list had no selection and now stands at this index.
    virtual void unitDefaulted(std::int16_t unitIndex);
    // A piece file is complete and closed.
    virtual void pieceWritten(const std::string& pieceName);
    // Bytes of the source copied so far, of the total.
    virtual void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal);
    // The checksum file is complete and in place, after the last piece (only when the request
    // asks for checksums).
    virtual void checksumsWritten(const std::string& fileName);
    // All pieces are written, and the checksum file when asked for.
    virtual void finished();
    // The split stopped on this failure (code Cancelled when it was asked to stop); the pieces
    // and the folder it had made are gone again.
    virtual void failed(const Error& error);
};

} // namespace qfs
