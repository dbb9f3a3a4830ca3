#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/recovery/recoverybuffer.h"
#include "engine/recovery/recoveryset.h"

#include <functional>
#include <string>

namespace qfs {

// Rebuilds a set's damaged and missing files from its recovery slices.
class RecoveryRepairer {
public:
    // A caller's own check of a rebuilt file before it takes its name (the checksum file's):
    // gets a descriptor open for reading and the file's name; an Error keeps the file out.
    using RebuiltCheck = std::function<Error(int fd, const std::string& name)>;

    explicit RecoveryRepairer(FileLayer& layer) : m_layer(layer) {}

    // Solves for every lost slice `check` found (with as many recovery slices), computes them
    // range by range within bounded memory from the intact slices and the recovery slices, and
    // writes each damaged or missing file to a temporary file in the folder, with no permission
    // bit that an intact piece lacks and the group of one (GroupAccess). Each is then checked against its recorded length and
    // MD5, and by `rebuiltCheck` when given; only when all pass do they take their names (a
    // damaged file is replaced). Fails, writing nothing, with RecoveryInsufficient when there
    // are fewer usable recovery slices than lost slices (or they cannot be solved, or more than
    // 1024 slices are lost), and with RecoveryDamaged, replacing nothing, when a rebuilt file
    // fails its check. The arithmetic shares two threads; the file layer is called from the
    // calling thread only.
    // REQUIRES: `check` came from RecoverySetReader::check() of this set and folder.
    Error repair(int folderFd, const std::string& folderPath, const RecoverySet& set,
                 const RecoveryCheck& check, const RecoveryRun& run,
                 const RebuiltCheck& rebuiltCheck = {});

private:
    FileLayer& m_layer;
};

} // namespace qfs
