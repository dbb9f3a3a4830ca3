#pragma once

#include "error.h"
#include "filelayer.h"
#include "recoverybuffer.h"
#include "recoveryplan.h"

#include <string>
#include <vector>

namespace qfs {

// Writes a set's recovery files (PAR 2.0) beside its pieces.
class RecoveryCreator {
public:
    explicit RecoveryCreator(FileLayer& layer) : m_layer(layer) {}

    // Writes every file of `plan` into the opened folder, computed from `pieces` as they are on
    // disk there: one streaming pass over the pieces (two when a piece is larger than the
    // working memory allows at once: one for the checksums, one for the arithmetic), with at
    // most about 64 MiB of recovery data in memory whatever the piece size.
    // Each file is written under a temporary name and takes its name only when all are
    // complete; on failure or stop none is left, and a file of the same name stays as it was.
    // The files get the permission bits of the first piece.
    // REQUIRES: plan.possible(), and plan came from planRecovery() over these pieces.
    // Fails with SourceChanged when a piece's size is not the planned one or changes.
    Error create(int folderFd, const std::string& folderPath, const RecoveryPlan& plan,
                 const std::vector<RecoveryPiece>& pieces, const RecoveryRun& run);

private:
    FileLayer& m_layer;
};

} // namespace qfs
