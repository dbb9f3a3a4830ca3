#include "engine/text/plantext.h"

#include "engine/text/progresstext.h"

namespace qfs {

namespace {

constexpr const char* separator = " \u00B7 ";

} // namespace

std::string PlanText::file(const std::string& name, std::uint64_t length, const Wording& words)
{
    return name + separator + ProgressText::bytes(length, words);
}

std::string PlanText::recovery(const SplitPlan& plan, const Wording& words)
{
    if (plan.recoveryWanted == 0)
        return {};
    if (!plan.recovery.possible())
        return plan.recovery.reason.empty() ? std::string() : separator + plan.recovery.reason;
    const std::uint32_t count = plan.recovery.recoveryPieces;
    const std::uint64_t each = (plan.recovery.totalBytes + count - 1) / count;
    return Wording::fill(count == 1 ? words.oneRecoveryPiece : words.recoveryPieces,
                         {ProgressText::count(count, words), ProgressText::bytes(each, words)});
}

std::string PlanText::pieces(const SplitPlan& plan, const Wording& words)
{
    return piecesAlone(plan, words) + recovery(plan, words);
}

std::string PlanText::piecesAlone(const SplitPlan& plan, const Wording& words)
{
    const std::string full = ProgressText::bytes(plan.chunkBytes, words);
    const std::string last = ProgressText::bytes(plan.lastPieceBytes, words);
    const std::string count = ProgressText::count(plan.pieceCount, words);
    if (plan.pieceCount <= 1)
        return Wording::fill(words.onePiece, {last});
    if (plan.lastPieceBytes == plan.chunkBytes)
        return Wording::fill(words.equalPieces, {count, full});
    if (plan.pieceCount == 2)
        return Wording::fill(words.twoPieces, {count, full, last});
    return Wording::fill(words.shorterLast, {count, ProgressText::count(plan.pieceCount - 1, words), full, last});
}

std::string PlanText::piecesIn(const SplitPlan& plan, const std::string& folder, const Wording& words)
{
    return Wording::fill(words.piecesIn, {piecesAlone(plan, words), folder}) + recovery(plan, words);
}

std::string PlanText::joined(const std::string& name, std::uint64_t length, const std::string& folder,
                             const Wording& words)
{
    return Wording::fill(words.joined, {name, ProgressText::bytes(length, words), folder});
}

std::string PlanText::exactBytes(std::uint64_t bytes, const Wording& words)
{
    return Wording::fill(bytes == 1 ? words.oneByte : words.manyBytes, {std::to_string(bytes)});
}

} // namespace qfs
