#include "engine/recovery/folderrecovery.h"

#include <cerrno>
#include <vector>

namespace qfs {

Error FolderRecovery::examine(FileLayer& layer, int folderFd, const std::string& folderPath,
                              const std::set<std::string>& verified, const RecoveryRun& run, FolderRecovery& recovery)
{
    recovery = FolderRecovery();
    std::vector<FolderEntry> entries;
    if (layer.listFolder(folderFd, entries) != 0)
        return Error::fromErrno(errno, folderPath);
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (FolderEntry& entry : entries)
        names.push_back(std::move(entry.name));
    RecoverySetReader reader(layer);
    Error error = reader.read(folderFd, folderPath, names, run, recovery.set, recovery.found);
    if (error.is(RecoveryDamaged)) {
        recovery.found = true;
        recovery.unusable = std::move(error);
        return {};
    }
    if (error.failed() || !recovery.found)
        return error;
    return reader.check(folderFd, folderPath, recovery.set, run, recovery.check, verified);
}

} // namespace qfs
