#include "engine/recovery/recoveryplan.h"

#include "engine/recovery/galoisfield.h"
#include "engine/recovery/par2format.h"
#include "engine/recovery/recoveryset.h"

#include <algorithm>

namespace qfs {

namespace {

RecoveryPlan refused(RecoveryRefusal refusal, std::string reason)
{
    RecoveryPlan plan;
    plan.refusal = refusal;
    plan.reason = std::move(reason);
    return plan;
}

std::string volumeName(std::string_view baseName, std::uint32_t first, std::uint32_t count)
{
    return std::string(baseName) + ".vol" + std::to_string(first) + "+" + std::to_string(count)
           + ".par2";
}

} // namespace

RecoveryPlan planRecovery(std::string_view baseName, const std::vector<RecoveryPiece>& pieces,
                          std::uint32_t recoveryPieces)
{
    if (recoveryPieces == 0 || pieces.empty())
        return refused(RecoveryRefusal::NoneWanted, {});
    // More recovery than pieces protects nothing more.
    recoveryPieces = std::uint32_t(std::min<std::size_t>(recoveryPieces, pieces.size()));
    std::uint64_t largest = 0;
    for (const RecoveryPiece& piece : pieces) {
        if (piece.size == 0)
            return refused(RecoveryRefusal::EmptyPiece, "No recovery pieces: a piece is empty.");
        if (!RecoverySetReader::plainName(piece.name))
            return refused(RecoveryRefusal::UnusableName,
                           "No recovery pieces: the pieces' names hold control characters.");
        largest = std::max(largest, piece.size);
    }

    RecoveryPlan plan;
    plan.slicesPerPiece = recoverySlicesPerPiece;
    plan.sliceSize = Par2::padded((largest + recoverySlicesPerPiece - 1) / recoverySlicesPerPiece);
    std::uint64_t sourceSlices = 0;
    std::uint64_t indexSize = Par2::mainPacketSize(pieces.size());
    for (const RecoveryPiece& piece : pieces) {
        const std::uint64_t slices = Par2::sliceCount(piece.size, plan.sliceSize);
        sourceSlices += slices;
        indexSize += Par2::fileDescriptionPacketSize(piece.name.size())
                     + Par2::sliceChecksumPacketSize(slices);
    }
    if (sourceSlices > GaloisField::maxSourceSlices)
        return refused(RecoveryRefusal::TooManySlices,
                       "No recovery pieces: they cover at most "
                           + std::to_string(GaloisField::maxSourceSlices / recoverySlicesPerPiece)
                           + " pieces.");
    const std::uint64_t creatorSize = Par2::headerSize + Par2::padded(recoveryCreator.size());
    const std::uint64_t recoveryPacket = Par2::recoveryPacketSize(plan.sliceSize);
    const std::uint64_t slicesPerVolume =
        largest > creatorSize ? (largest - creatorSize) / recoveryPacket : 0;
    if (indexSize + creatorSize > largest || slicesPerVolume == 0)
        return refused(RecoveryRefusal::PiecesTooSmall,
                       "No recovery pieces: the pieces are too small to carry them.");

    plan.sourceSlices = std::uint32_t(sourceSlices);
    plan.recoveryPieces = recoveryPieces;
    plan.recoverySlices = recoveryPieces * recoverySlicesPerPiece;
    plan.files.push_back({std::string(baseName) + ".par2", indexSize + creatorSize, 0, 0, true});
    for (std::uint32_t first = 0; first < plan.recoverySlices;) {
        const auto count = std::uint32_t(std::min<std::uint64_t>(slicesPerVolume, plan.recoverySlices - first));
        RecoveryFile volume{volumeName(baseName, first, count), count * recoveryPacket + creatorSize,
                            first, count, false};
        if (volume.size + indexSize <= largest) {
            volume.size += indexSize;
            volume.holdsIndex = true;
        }
        plan.files.push_back(std::move(volume));
        first += count;
    }
    for (const RecoveryFile& file : plan.files)
        plan.totalBytes += file.size;
    return plan;
}

} // namespace qfs
