#include "splitplanner.h"

#include "numbertext.h"

#include <algorithm>
#include <cmath>

namespace qfs {

namespace {

bool knownUnit(std::int16_t unitIndex)
{
    return unitIndex >= 0 && unitIndex < std::int16_t(sizeUnits.size());
}

} // namespace

std::optional<CheckFailure> SplitPlanner::validate(const SplitRequest& request)
{
    if (request.sourceFileName.find_first_not_of(' ') == std::string::npos)
        return CheckFailure{"Please select the file.", FocusTarget::FileList};
    if (request.mode == SplitMode::BySize) {
        // Written so that NaN fails too.
        if (!(request.size >= 1) || !knownUnit(effectiveUnitIndex(request.unitIndex)))
            return CheckFailure{"Incorrect split size", FocusTarget::SizeField};
    } else if (!(request.count >= 1)) {
        return CheckFailure{"Incorrect Number of files specified.", FocusTarget::CountField};
    }
    return std::nullopt;
}

std::int16_t SplitPlanner::effectiveUnitIndex(std::int16_t unitIndex)
{
    return unitIndex == -1 ? defaultUnitIndex : unitIndex;
}

double SplitPlanner::chunkSizeBySize(double size, std::int16_t unitIndex)
{
    if (!knownUnit(unitIndex))
        return 0.0;
    // nearbyint rounds half to even in the default rounding mode.
    return std::nearbyint(size * sizeUnits[std::size_t(unitIndex)].factor);
}

double SplitPlanner::chunkSizeByCount(double count, double sourceLength)
{
    return ceiling(sourceLength / count);
}

double SplitPlanner::ceiling(double x, double factor)
{
    const double q = x / factor;
    const double i = NumberText::intPart(q);
    return q - i > 0 ? factor * (i + 1) : factor * i;
}

SplitPlan SplitPlanner::plan(const SplitRequest& request, std::uint64_t sourceLength)
{
    const double chunk = request.mode == SplitMode::BySize
        ? chunkSizeBySize(request.size, effectiveUnitIndex(request.unitIndex))
        : chunkSizeByCount(request.count, double(sourceLength));
    SplitPlan plan;
    plan.sourceLength = sourceLength;
    // A chunk at least as long as the source makes one piece; otherwise it is a whole number
    // of bytes, at least 1, below the length, and fits 64 bits.
    plan.chunkBytes = !(chunk < double(sourceLength)) ? sourceLength
                                                      : std::uint64_t(std::max(chunk, 1.0));
    if (sourceLength == 0 || plan.chunkBytes == 0) {
        plan.pieceCount = 1;
        plan.lastPieceBytes = sourceLength;
        return plan;
    }
    plan.pieceCount = (sourceLength - 1) / plan.chunkBytes + 1;
    plan.lastPieceBytes = sourceLength - (plan.pieceCount - 1) * plan.chunkBytes;
    return plan;
}

} // namespace qfs
