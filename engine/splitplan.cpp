#include "engine/splitplan.h"

#include "engine/pieces/piecechecksums.h"
#include "engine/pieces/piecenaming.h"
#include "engine/recovery/galoisfield.h"

#include <algorithm>

namespace qfs {

SplitPlan SplitPlan::named(const SplitRequest& request)
{
    SplitPlan plan;
    plan.sourceFileName = request.sourceFileName;
    plan.folderName = request.folderName.empty() ? PieceNaming::splitFolderName(request.sourceFileName)
                                                 : request.folderName;
    plan.destinationDirectory =
        request.destinationDirectory.empty() ? request.sourceDirectory : request.destinationDirectory;
    plan.folderPath = PieceNaming::joinPath(plan.destinationDirectory, plan.folderName);
    plan.checksumName = PieceChecksums::fileNameFor(request.sourceFileName);
    plan.format = request.format;
    if (request.wantsNote())
        plan.noteName = PieceNaming::noteFileName(request.sourceFileName);
    return plan;
}

SplitPlan SplitPlan::make(const SplitRequest& request, std::uint64_t sourceLength)
{
    SplitPlan plan = named(request);
    plan.cut(request, sourceLength);
    return plan;
}

void SplitPlan::cut(const SplitRequest& request, std::uint64_t length)
{
    sourceLength = length;
    std::uint64_t chunk = request.amount;
    if (request.mode == SplitMode::ByCount)
        chunk = request.amount == 0 || length == 0 ? length : (length - 1) / request.amount + 1;
    // A chunk of 0 or at least the source's length makes one piece.
    chunkBytes = chunk == 0 || chunk >= length ? length : chunk;
    if (length == 0) {
        pieceCount = 1;
        lastPieceBytes = 0;
    } else {
        pieceCount = (length - 1) / chunkBytes + 1;
        lastPieceBytes = length - (pieceCount - 1) * chunkBytes;
    }
    recoveryWanted = request.recoveryPieces;
    // Every piece has at least one slice: one piece beyond the format's slices is enough for
    // the plan to refuse, and a split into millions of pieces lists no more than that.
    recovery = planRecovery(sourceFileName,
                            recoveryWanted == 0 ? std::vector<RecoveryPiece>()
                                                : pieceFiles(std::uint64_t(GaloisField::maxSourceSlices) + 1),
                            recoveryWanted);
}

std::vector<RecoveryPiece> SplitPlan::pieceFiles(std::uint64_t limit) const
{
    std::vector<RecoveryPiece> files;
    const std::uint64_t count = std::min(pieceCount, limit);
    files.reserve(std::size_t(count));
    for (std::uint64_t index = 0; index < count; ++index) {
        const std::uint64_t data = index + 1 == pieceCount ? lastPieceBytes : chunkBytes;
        files.push_back({pieceName(index), headerBytes() + data});
    }
    return files;
}

std::string SplitPlan::pieceName(std::uint64_t index) const
{
    return PieceNaming::pieceFileName(sourceFileName, index + PieceNaming::firstNumber(format), format);
}

std::uint64_t SplitPlan::headerBytes() const
{
    return format == PieceFormat::Signed ? pieceSignature.size() : 0;
}

} // namespace qfs
