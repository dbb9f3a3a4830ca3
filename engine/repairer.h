#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/result.h"
#include "engine/verifyobserver.h"

#include <stop_token>
#include <string>
#include <vector>

namespace qfs {

// What a repair is asked to do: rebuild the damaged and missing pieces in this folder from the
// recovery data (.par2 files) there.
struct RepairRequest {
    std::string folderPath;
};

// What a repair reports while it goes: the folder first, then the bytes checked and computed
// so far, of the total, which grows once the check is done and the rebuilding starts.
using RepairObserver = VerifyObserver;

// What a finished repair did.
struct RepairResult {
    // What the check before the repair found, as a verification reports it; its stem is empty
    // when the folder holds no pieces.
    VerifyReport found;
    // The pieces rebuilt and renamed into place, in index order.
    std::vector<std::string> rebuilt;
    // What is still wrong afterwards: `found` less the rebuilt pieces (pieces the checksum file
    // does not list, say, or a rebuilt original that differs). Every piece is intact when its
    // damaged() and missingCount are empty and none are unlisted.
    VerifyReport remaining;

    bool piecesIntact() const
    {
        return remaining.damaged.empty() && remaining.missingCount == 0 && remaining.unlisted.empty();
    }
};

// Rebuilds the damaged and missing pieces of a folder from its recovery data. The folder is
// checked first as a verification checks it (Verifier: the checksum file, then the recovery
// data, which reads again only the pieces that did not match their checksums). Each rebuilt
// piece is written to a temporary file, checked against the recovery data's MD5 and against its
// line in the checksum file, and only when every rebuilt piece passes do they take their names
// (RecoveryRepairer): with no permission bit an intact piece lacks, and the pieces' group.
// Nothing is written when:
// - the pieces are intact, or damaged but the folder holds no recovery data (the result says
//   what is wrong; nothing to rebuild is no failure);
// - the recovery data cannot rebuild them all: RecoveryInsufficient, "3 pieces are damaged or
//   missing, but only 2 can be rebuilt.";
// - it cannot be used, would rebuild a file that is not a piece of the set, or rebuilds a piece
//   that fails a check: RecoveryDamaged, "The recovery data is damaged: …";
// - it is stopped: Cancelled, and every temporary file is gone again.
class Repairer {
public:
    explicit Repairer(FileLayer& layer = FileLayer::system());

    Result<RepairResult> run(const RepairRequest& request, RepairObserver& observer, std::stop_token stop = {});

private:
    Error repair(const RepairRequest& request, RepairObserver& observer, const std::stop_token& stop,
                 RepairResult& result);

    FileLayer& m_layer;
};

} // namespace qfs
