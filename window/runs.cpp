#include "runs.h"

#include "engine/joiner.h"
#include "engine/splitter.h"
#include "engine/verifier.h"

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

} // namespace

Run splitRun(const qfs::SplitRequest& request)
{
    return engineRun<qfs::Splitter>(RunKind::Split, request, [](RunOutcome& outcome, qfs::SplitResult made) {
        outcome.pieces = made.pieces;
        outcome.leftovers = made.leftovers;
    });
}

Run joinRun(const qfs::JoinRequest& request)
{
    return engineRun<qfs::Joiner>(RunKind::Join, request, [](RunOutcome& outcome, qfs::JoinResult made) {
        outcome.rebuiltName = std::move(made.rebuiltName);
        outcome.length = made.length;
        outcome.leftovers = made.leftovers;
    });
}

Run verifyRun(const qfs::VerifyRequest& request)
{
    return engineRun<qfs::Verifier>(RunKind::Verify, request, [](RunOutcome& outcome, qfs::VerifyReport found) {
        outcome.report = std::move(found);
    });
}
