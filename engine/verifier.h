#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/result.h"
#include "engine/copy/slicecopier.h"
#include "engine/verifyobserver.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace qfs {

// What a verification is asked to do: check the pieces in this folder, and the file they
// rebuild when it is there, without writing anything.
struct VerifyRequest {
    std::string folderPath;
    // Only the pieces and their checksum file: the rebuilt file and the recovery data are left
    // unread (what a join's refusal needs to name every fault).
    bool piecesOnly = false;
};

class HashingCopier;
class PieceSet;
struct PieceChecksums;
struct FolderRecovery;

// Checks a folder of pieces without writing anything: the set of pieces as a join sees it
// (signatures, gaps), and, when the folder holds the set's checksum file "<stem>.sha256", every
// listed piece's checksum, the pieces' data together against the original's line as the join
// compares it (in the same pass), and, if it is there, the rebuilt file's checksum. Whatever
// would make the join refuse is a finding of the report. When the folder holds recovery data
// (.par2 files), the pieces are checked against it as well (those that just matched their
// checksums are not read again), and the report says whether it can rebuild what is wrong. Nothing is followed: pieces,
// the checksum file and the rebuilt file are opened with O_NOFOLLOW relative to the folder.
class Verifier {
public:
    explicit Verifier(FileLayer& layer = FileLayer::system(),
                      std::size_t blockSize = SliceCopier::defaultBlockSize);

    // Runs the whole check, telling the observer as it goes, and returns its report or the
    // failure: an unreadable folder or piece, pieces of more than one file, a symbolic link
    // or two pieces of one index among them, a checksum file that cannot be used, or code
    // Cancelled when it was asked to stop. Damaged, missing or unlisted pieces are no failure
    // of the run but findings of its report.
    Result<VerifyReport> run(const VerifyRequest& request, VerifyObserver& observer, std::stop_token stop = {});
    // The same, keeping what the recovery data is and found in `recovery` (for a repair).
    Result<VerifyReport> run(const VerifyRequest& request, VerifyObserver& observer, std::stop_token stop,
                             FolderRecovery& recovery);

private:
    // `verified` gets the pieces that matched their checksums.
    Error check(const VerifyRequest& request, VerifyObserver& observer, const std::stop_token& stop,
                VerifyReport& report, std::set<std::string>& verified);
    // Checks the pieces against the folder's recovery data, if it has any, and adds to the
    // report what that finds; its progress follows the check's, from `doneBefore` on.
    Error examineRecovery(const VerifyRequest& request, VerifyObserver& observer, const std::stop_token& stop,
                          const std::set<std::string>& verified, std::uint64_t doneBefore, VerifyReport& report,
                          FolderRecovery& recovery);
    // Reads and hashes every piece the checksum file lists, their data into the whole stream
    // too when `streams` has it; `hashed` gets their positions in the set, in the order of
    // their digests. Without the piece stream among `streams`, every piece's data goes into
    // the whole stream, and `hashed` stays empty.
    Error hashPieces(const VerifyRequest& request, int folderFd, const PieceSet& set,
                     const PieceChecksums& sums, unsigned streams, HashingCopier& copier,
                     const SliceCopier::Advance& advance, std::vector<std::size_t>& hashed);
    // Opens the rebuilt file when it is a regular file; fd stays -1 otherwise.
    Error openRebuilt(int folderFd, const std::string& path, const std::string& name, FileHandle& file,
                      struct stat& info);

    FileLayer& m_layer;
    std::size_t m_blockSize;
};

} // namespace qfs
