#include "engine/splitplan.h"

#include "engine/pieces/piecechecksums.h"
#include "engine/pieces/piecenaming.h"

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
        return;
    }
    pieceCount = (length - 1) / chunkBytes + 1;
    lastPieceBytes = length - (pieceCount - 1) * chunkBytes;
}

std::string SplitPlan::pieceName(std::uint64_t index) const
{
    return PieceNaming::pieceFileName(sourceFileName, index);
}

} // namespace qfs
