#include "engine/text/plantext.h"

#include "engine/text/progresstext.h"

namespace qfs {

namespace {

constexpr const char* separator = " \u00B7 ";
constexpr const char* arrow = "\u2192 ";
constexpr const char* times = " \u00D7 ";

} // namespace

std::string PlanText::file(const std::string& name, std::uint64_t length)
{
    return name + separator + ProgressText::bytes(length);
}

std::string PlanText::recovery(const SplitPlan& plan)
{
    if (plan.recoveryWanted == 0)
        return {};
    if (!plan.recovery.possible())
        return plan.recovery.reason.empty() ? std::string() : separator + plan.recovery.reason;
    const std::uint32_t count = plan.recovery.recoveryPieces;
    const std::uint64_t each = (plan.recovery.totalBytes + count - 1) / count;
    return " + " + ProgressText::count(count) + (count == 1 ? " recovery piece of " : " recovery pieces of ") +
           ProgressText::bytes(each);
}

std::string PlanText::pieces(const SplitPlan& plan)
{
    return piecesAlone(plan) + recovery(plan);
}

std::string PlanText::piecesAlone(const SplitPlan& plan)
{
    const std::string full = ProgressText::bytes(plan.chunkBytes);
    const std::string last = ProgressText::bytes(plan.lastPieceBytes);
    const std::string count = ProgressText::count(plan.pieceCount);
    if (plan.pieceCount <= 1)
        return std::string(arrow) + "1 piece of " + last;
    if (plan.lastPieceBytes == plan.chunkBytes)
        return arrow + count + " pieces of " + full;
    if (plan.pieceCount == 2)
        return arrow + count + " pieces: " + full + " and " + last;
    return arrow + count + " pieces: " + ProgressText::count(plan.pieceCount - 1) + times + full +
           " and one of " + last;
}

std::string PlanText::piecesIn(const SplitPlan& plan, const std::string& folder)
{
    return piecesAlone(plan) + " in " + folder + recovery(plan);
}

std::string PlanText::joined(const std::string& name, std::uint64_t length, const std::string& folder)
{
    return arrow + name + ", " + ProgressText::bytes(length) + ", in " + folder;
}

std::string PlanText::exactBytes(std::uint64_t bytes)
{
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

} // namespace qfs
