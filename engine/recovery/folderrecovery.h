#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/recovery/recoverybuffer.h"
#include "engine/recovery/recoveryset.h"

#include <set>
#include <string>

namespace qfs {

// The recovery data a folder of pieces holds, read and matched against the files there: what
// a verification says of it and what a repair works from.
struct FolderRecovery {
    // The folder holds .par2 files.
    bool found = false;
    // Why they cannot be used (RecoveryDamaged: no usable set, or more than one); success when
    // they can, and then `set` and `check` are filled.
    Error unusable;
    RecoverySet set;
    RecoveryCheck check;

    bool usable() const { return found && !unusable.failed(); }

    // Reads the .par2 files of the opened folder (links not followed) and checks the files of
    // their set there, taking those named in `verified` as intact when their length is right
    // (see RecoverySetReader). Recovery data that cannot be used is no failure: `unusable`
    // says why. Fails on errors of the file system, and with Cancelled on a stop.
    static Error examine(FileLayer& layer, int folderFd, const std::string& folderPath,
                         const std::set<std::string>& verified, const RecoveryRun& run, FolderRecovery& recovery);
};

} // namespace qfs
