#include "runs.h"

#include "engine/fs/folderlisting.h"
#include "engine/joiner.h"
#include "engine/repairer.h"
#include "engine/splitter.h"
#include "engine/verifier.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

// A run of one of the engine's runs (Splitter, Joiner, Verifier) on this request: its outcome
// is the failure the run returned, or what `fill` takes from the value it returned.
template <class Engine, class Request, class Fill>
Run engineRun(RunKind kind, const Request& request, Fill fill)
{
    return {kind, [request, fill](qfs::FileLayer& layer, std::stop_token stop, RunReports& reports) {
                auto result = Engine(layer).run(request, reports, std::move(stop));
                RunOutcome outcome;
                if (result.failed())
                    outcome.error = result.error();
                else
                    fill(outcome, std::move(result.value()));
                return outcome;
            }};
}

// Whether the folder holds recovery data: a file whose name ends in ".par2". The listing is
// cheap beside the verification a join's refusal would otherwise run for nothing.
bool holdsRecovery(qfs::FileLayer& layer, const std::string& folderPath)
{
    constexpr std::string_view suffix = ".par2";
    std::vector<std::string> names;
    if (qfs::FolderListing::regularFiles(folderPath, names, layer).failed())
        return false;
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return name.size() > suffix.size() && name.ends_with(suffix);
    });
}

// Whether a join's failure is one that rebuilt pieces could mend.
bool rebuildable(const qfs::Error& error)
{
    return error.is(qfs::PieceDamaged) || error.is(qfs::MissingPiece);
}

} // namespace

Run splitRun(const qfs::SplitRequest& request)
{
    return engineRun<qfs::Splitter>(RunKind::Split, request, [](RunOutcome& outcome, qfs::SplitResult made) {
        outcome.pieces = made.pieces;
        outcome.recoveryPieces = made.recoveryPieces;
        outcome.leftovers = made.leftovers;
    });
}

Run joinRun(const qfs::JoinRequest& request)
{
    Run join = engineRun<qfs::Joiner>(RunKind::Join, request, [](RunOutcome& outcome, qfs::JoinResult made) {
        outcome.rebuiltName = std::move(made.rebuiltName);
        outcome.length = made.length;
        outcome.leftovers = made.leftovers;
    });
    join.work = [request, joinWork = std::move(join.work)](qfs::FileLayer& layer, std::stop_token stop,
                                                           RunReports& reports) {
        RunOutcome outcome = joinWork(layer, stop, reports);
        if (rebuildable(outcome.error) && !stop.stop_requested() && holdsRecovery(layer, request.folderPath)) {
            // The join's refusal stands; the check only adds whether a repair could mend it.
            auto found = qfs::Verifier(layer).run(qfs::VerifyRequest{request.folderPath}, reports, stop);
            if (!found.failed())
                outcome.report = std::move(found.value());
        }
        return outcome;
    };
    return join;
}

Run verifyRun(const qfs::VerifyRequest& request)
{
    return engineRun<qfs::Verifier>(RunKind::Verify, request, [](RunOutcome& outcome, qfs::VerifyReport found) {
        outcome.report = std::move(found);
    });
}

Run repairRun(const qfs::RepairRequest& request)
{
    return engineRun<qfs::Repairer>(RunKind::Repair, request, [](RunOutcome& outcome, qfs::RepairResult made) {
        outcome.repair = std::move(made);
    });
}
