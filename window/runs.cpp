#include "runs.h"

#include "engine/fs/destination.h"
#include "engine/fs/folderlisting.h"
#include "engine/joiner.h"
#include "engine/repairer.h"
#include "engine/splitplan.h"
#include "engine/splitter.h"
#include "engine/text/nametext.h"
#include "engine/verifier.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

namespace {

// A name or path in a question: as NameText prints it, so that control characters and bytes
// that are no text show as escapes.
QString printable(const std::string& name)
{
    return QFile::decodeName(QByteArray::fromStdString(qfs::NameText::printable(name)));
}

// A run of one of the engine's runs (Splitter, Joiner, Verifier) on this request: its outcome
// is the failure the run returned, with what `offer` proposes instead of it, or what `fill`
// takes from the value it returned.
// A run whose failures offer nothing else.
struct NoOffer {
    void operator()(qfs::FileLayer&, RunOutcome&) const {}
};

template <class Engine, class Request, class Fill, class Offer = NoOffer>
Run engineRun(RunKind kind, const Request& request, Fill fill, Offer offer = {})
{
    return {kind, [request, fill, offer](qfs::FileLayer& layer, std::stop_token stop, RunReports& reports) {
                auto result = Engine(layer).run(request, reports, std::move(stop));
                RunOutcome outcome;
                if (result.failed()) {
                    outcome.error = result.error();
                    offer(layer, outcome);
                } else {
                    fill(outcome, std::move(result.value()));
                }
                return outcome;
            }};
}

// The split folder is there already (made by an earlier split, perhaps for another medium):
// the next free name beside it, "<name>_split-2", never the folder itself.
void offerFreeName(const qfs::SplitRequest& request, qfs::FileLayer& layer, RunOutcome& outcome)
{
    if (!outcome.error.is(qfs::FolderExists))
        return;
    auto free = qfs::Splitter(layer).nextFreeFolderName(request);
    if (free.failed())
        return; // every number taken, or the folder unreadable: the refusal stands
    qfs::SplitRequest again = request;
    again.folderName = free.value();
    outcome.question = QCoreApplication::translate("Runs", "%1 already exists. Split into %2 instead?")
                           .arg(printable(qfs::SplitPlan::named(request).folderName), printable(again.folderName));
    outcome.retry = std::make_shared<const Run>(splitRun(again));
}

// A file of the rebuilt name in a chosen folder is replaced only when the person says so; a
// pieces folder that cannot be written (a CD, a read-only share) gives way to the Downloads
// folder, on the person's word too.
void offerJoinElsewhere(const qfs::JoinRequest& request, qfs::FileLayer& layer, RunOutcome& outcome)
{
    const qfs::Error& error = outcome.error;
    qfs::JoinRequest again = request;
    if (error.is(qfs::OutputExists) && !request.replace) {
        again.replace = true;
        outcome.question =
            QCoreApplication::translate("Runs", "%1 is already there. Replace it?").arg(printable(error.path));
    } else if ((error.code == EROFS || error.code == EACCES) && request.destinationDirectory.empty() &&
               qfs::Destination::checkWritable(request.folderPath, layer).failed()) {
        const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        const std::string downloadsPath = QFile::encodeName(QDir::cleanPath(downloads)).toStdString();
        if (downloads.isEmpty() || downloadsPath == request.folderPath)
            return;
        again.destinationDirectory = downloadsPath;
        outcome.question = QCoreApplication::translate(
                               "Runs", "The pieces folder cannot be written (%1). Save the joined file in %2 instead?")
                               .arg(QFile::decodeName(QByteArray::fromStdString(error.message())),
                                    printable(downloadsPath));
    } else {
        return;
    }
    outcome.retry = std::make_shared<const Run>(joinRun(again));
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
    return engineRun<qfs::Splitter>(
        RunKind::Split, request,
        [](RunOutcome& outcome, qfs::SplitResult made) {
            outcome.pieces = made.pieces;
            outcome.checksumFile = !made.checksumName.empty();
            outcome.recoveryPieces = made.recoveryPieces;
            outcome.leftovers = made.leftovers;
        },
        [request](qfs::FileLayer& layer, RunOutcome& outcome) { offerFreeName(request, layer, outcome); });
}

Run joinRun(const qfs::JoinRequest& request)
{
    Run join = engineRun<qfs::Joiner>(
        RunKind::Join, request,
        [](RunOutcome& outcome, qfs::JoinResult made) {
            outcome.rebuiltName = std::move(made.rebuiltName);
            outcome.length = made.length;
            outcome.rebuiltFolder = std::move(made.destinationPath);
            outcome.leftovers = made.leftovers;
        },
        [request](qfs::FileLayer& layer, RunOutcome& outcome) { offerJoinElsewhere(request, layer, outcome); });
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
    return engineRun<qfs::Verifier>(
        RunKind::Verify, request,
        [](RunOutcome& outcome, qfs::VerifyReport found) { outcome.report = std::move(found); });
}

Run repairRun(const qfs::RepairRequest& request)
{
    return engineRun<qfs::Repairer>(RunKind::Repair, request, [](RunOutcome& outcome, qfs::RepairResult made) {
        outcome.repair = std::move(made);
    });
}
