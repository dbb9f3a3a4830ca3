#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/fs/groupaccess.h"
#include "engine/recovery/piecehasher.h"
#include "engine/recovery/recoverybuffer.h"
#include "engine/recovery/recoveryplan.h"

#include <string>
#include <vector>

namespace qfs {

// Writes a set's recovery files (PAR 2.0) beside its pieces.
class RecoveryCreator {
public:
    // The files get the group `group` as AtomicFile::create() gives it (a split's: the
    // source's); anyGroup leaves them the group the system gives.
    explicit RecoveryCreator(FileLayer& layer, gid_t group = GroupAccess::anyGroup) : m_layer(layer), m_group(group) {}

    // Writes every file of `plan` into the opened folder, computed from `pieces` as they are on
    // disk there, with at most about 64 MiB of recovery data in memory whatever the piece size
    // (plus a few MiB of chunks in flight).
    //
    // `digests`, when not empty, are the pieces' checksums in the order of `pieces`, computed by
    // the caller as it wrote them (a PieceHasher of plan.sliceSize over each piece file's bytes,
    // signature included): then only the field arithmetic is left, in one read of the pieces.
    // Otherwise the checksums are computed here, in the same read when the recovery slices fit
    // into memory whole (one slice per piece at most 64 MiB / recovery slices), else in a read
    // of their own first. The checksums and the arithmetic share two threads.
    // Digests that do not describe the pieces' bytes make recovery data that repairs nothing:
    // a rebuilt piece then fails its checks and is not kept.
    //
    // Each file is written under a temporary name and takes its name only when all are
    // complete; on failure or stop none is left, and a file of the same name stays as it was.
    // The files get the permission bits of the first piece.
    // REQUIRES: plan.possible(), and plan came from planRecovery() over these pieces.
    // Fails with SourceChanged when a piece's size is not the planned one or changes, and with
    // EINVAL when `digests` do not fit the pieces (count, length, slice count).
    Error create(int folderFd, const std::string& folderPath, const RecoveryPlan& plan,
                 const std::vector<RecoveryPiece>& pieces, const RecoveryRun& run,
                 const std::vector<PieceDigest>& digests = {});

private:
    FileLayer& m_layer;
    gid_t m_group;
};

} // namespace qfs
