#pragma once

#include "engine/fs/filelayer.h"

#include <cstdint>

namespace qfs {

// What runs that were cut short (killed, or the machine went down) left behind: the hidden
// work folders of splits (TempName's folderSuffix) and the hidden temporary files of joins
// (fileSuffix). While a run owns such a folder or file it holds an advisory lock (flock) on
// it, which the system drops when the run ends in whatever way; one that nobody holds is a
// leftover.
struct Leftovers {
    std::uint64_t splits = 0;
    std::uint64_t splitBytes = 0; // the files of those folders
    std::uint64_t joins = 0;
    std::uint64_t joinBytes = 0;

    bool any() const { return splits > 0 || joins > 0; }

    // Takes the lock that marks a temporary folder or file just made under `name` in the
    // opened folder as this run's, and checks that the name still leads to it (a run removing
    // leftovers at that moment may have taken it for one). False when either fails: the caller
    // gives the name up and makes another. The lock lasts as long as `fd` stays open.
    static bool claim(FileLayer& layer, int folderFd, const char* name, int fd);

    // Removes from the opened folder the leftovers of earlier runs: only entries of exactly
    // TempName's form, owned by this user, that nobody holds locked; links are never followed.
    // Of a work folder only the files a split writes there (pieces, a checksum file, temporary
    // files) are removed, then the folder if that empties it. Whatever cannot be removed is
    // left as it is, silently: this is tidying, not the run's work. Returns what was removed.
    static Leftovers removeFrom(FileLayer& layer, int folderFd);
};

} // namespace qfs
