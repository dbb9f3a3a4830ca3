#include "engine/repairer.h"

#include "engine/copy/sha256.h"
#include "engine/pieces/checksumfile.h"
#include "engine/pieces/piecenaming.h"
#include "engine/recovery/folderrecovery.h"
#include "engine/recovery/recoveryrepairer.h"
#include "engine/text/checkmessages.h"
#include "engine/text/nametext.h"
#include "engine/verifier.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <vector>

namespace qfs {

namespace {

// The most read at once when a rebuilt piece is hashed.
constexpr std::size_t hashChunk = std::size_t(1) << 20;

// Takes the rebuilt pieces out of what is wrong.
void removeRebuilt(const std::set<std::string>& rebuilt, VerifyReport& report)
{
    const auto gone = [&](const std::string& name) { return rebuilt.count(name) != 0; };
    std::erase_if(report.damaged, gone);
    std::erase_if(report.withoutSignature, gone);
    const std::size_t before = report.missing.size();
    std::erase_if(report.missing, gone);
    report.missingCount -= std::min<std::uint64_t>(report.missingCount, before - report.missing.size());
    report.lostPieces = 0;
    report.rebuildablePieces = 0;
}

} // namespace

Repairer::Repairer(FileLayer& layer) : m_layer(layer) {}

Result<RepairResult> Repairer::run(const RepairRequest& request, RepairObserver& observer, std::stop_token stop)
{
    return runToResult<RepairResult>(request.folderPath,
                                     [&](RepairResult& result) { return repair(request, observer, stop, result); });
}

Error Repairer::repair(const RepairRequest& request, RepairObserver& observer, const std::stop_token& stop,
                       RepairResult& result)
{
    const std::string& folderPath = request.folderPath;
    TotalKept kept(observer);
    FolderRecovery recovery;
    auto checked = Verifier(m_layer).run(VerifyRequest{folderPath}, kept, stop, recovery);
    if (checked.failed())
        return checked.error();
    result.found = checked.value();
    result.remaining = result.found;
    const VerifyReport& found = result.found;
    if (found.stem.empty() || !recovery.found)
        return {};
    if (!recovery.usable())
        return found.intact() ? Error() : recovery.unusable;
    if (found.lostPieces == 0)
        return {};
    if (!found.canRebuild())
        return {RecoveryInsufficient, CheckMessages::notAllRebuildable(found.lostPieces, found.rebuildablePieces),
                folderPath};

    // Only pieces of this set are written: recovery data that would make any other file of the
    // folder is not this set's.
    std::set<std::string> lost;
    for (const PieceCheck& piece : recovery.check.pieces) {
        if (piece.condition == PieceCondition::Intact)
            continue;
        const auto parsed = PieceNaming::parse(piece.name, found.format);
        if (!parsed || parsed->stem != found.stem)
            return {RecoveryDamaged,
                    "The recovery data is damaged: it would rebuild " + NameText::printable(piece.name) +
                        ", which is not a piece of " + NameText::printable(found.stem) + ".",
                    PieceNaming::joinPath(folderPath, piece.name)};
        lost.insert(piece.name);
    }

    FileHandle folder(m_layer, m_layer.openAt(AT_FDCWD, folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, folderPath);
    // The checksum file's lines for the pieces to rebuild: each rebuilt piece must match its own.
    std::map<std::string, StreamHash::Digest> expected;
    const HashKind kind = ChecksumFile::hashOf(ChecksumFile::formatOf(found.checksumFileName));
    if (found.hasChecksumFile && found.checksumFileListsPieces) {
        if (Error e = ChecksumFile::read(m_layer, folder.fd(), folderPath, found.checksumFileName,
                                         [&](ChecksumEntry& entry, std::size_t) {
                                             if (lost.count(entry.name) != 0)
                                                 expected.emplace(entry.name, entry.digest);
                                             return true;
                                         });
            e.failed())
            return e;
    }
    std::vector<std::uint8_t> buffer;
    const RecoveryRepairer::RebuiltCheck matchesChecksum = [&](int fd, const std::string& name) -> Error {
        const auto line = expected.find(name);
        if (line == expected.end())
            return {};
        const std::string path = PieceNaming::joinPath(folderPath, name);
        buffer.resize(hashChunk);
        StreamHash hash(kind);
        for (std::uint64_t offset = 0;;) {
            std::size_t got = 0;
            if (Error e = readFully(m_layer, fd, buffer.data(), buffer.size(), offset, path, got); e.failed())
                return e;
            hash.update(buffer.data(), got);
            offset += got;
            if (got < buffer.size())
                break;
        }
        if (hash.finish() != line->second)
            return {RecoveryDamaged,
                    "The recovery data is damaged: the rebuilt " + NameText::printable(name) +
                        " does not match its checksum.",
                    path};
        return {};
    };
    const std::uint64_t checkedBytes = kept.total();
    const RecoveryRun run{stop, [&](std::uint64_t done, std::uint64_t total) {
                              observer.progress(checkedBytes + done, checkedBytes + total);
                          }};
    if (Error e = RecoveryRepairer(m_layer).repair(folder.fd(), folderPath, recovery.set, recovery.check, run,
                                                   matchesChecksum);
        e.failed()) {
        if (e.is(Cancelled))
            e.path = folderPath;
        return e;
    }
    result.rebuilt.assign(lost.begin(), lost.end());
    std::sort(result.rebuilt.begin(), result.rebuilt.end(), [&found](const std::string& a, const std::string& b) {
        return PieceNaming::parse(a, found.format)->index < PieceNaming::parse(b, found.format)->index;
    });
    removeRebuilt(lost, result.remaining);
    return {};
}

} // namespace qfs
