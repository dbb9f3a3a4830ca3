#include "runs.h"

#include "joiner.h"
#include "splitter.h"
#include "verifier.h"

namespace {

// The outcome of a run that returned `result`: its failure, or what `fill` takes from its value.
template <class T, class Fill>
RunOutcome outcomeOf(qfs::Result<T>&& result, Fill fill)
{
    RunOutcome outcome;
    if (result.failed())
        outcome.error = result.error();
    else
        fill(outcome, std::move(result.value()));
    return outcome;
}

} // namespace

Run splitRun(const qfs::SplitRequest& request)
{
    return {RunKind::Split, [request](qfs::FileLayer& layer, std::stop_token stop, RunReports& reports) {
                return outcomeOf(qfs::Splitter(layer).run(request, reports, std::move(stop)),
                                 [](RunOutcome& outcome, qfs::SplitResult made) {
                                     outcome.pieces = made.pieces;
                                     outcome.leftovers = made.leftovers;
                                 });
            }};
}

Run joinRun(const qfs::JoinRequest& request)
{
    return {RunKind::Join, [request](qfs::FileLayer& layer, std::stop_token stop, RunReports& reports) {
                return outcomeOf(qfs::Joiner(layer).run(request, reports, std::move(stop)),
                                 [](RunOutcome& outcome, qfs::JoinResult made) {
                                     outcome.rebuiltName = std::move(made.rebuiltName);
                                     outcome.length = made.length;
                                     outcome.leftovers = made.leftovers;
                                 });
            }};
}

Run verifyRun(const qfs::VerifyRequest& request)
{
    return {RunKind::Verify, [request](qfs::FileLayer& layer, std::stop_token stop, RunReports& reports) {
                return outcomeOf(qfs::Verifier(layer).run(request, reports, std::move(stop)),
                                 [](RunOutcome& outcome, qfs::VerifyReport found) {
                                     outcome.report = std::move(found);
                                 });
            }};
}
