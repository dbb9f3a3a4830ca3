#include "runreport.h"

#include "engine/text/outcometext.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

struct RunWords {
    const char* question;
    const char* cancelled;
    const char* done;
    const char* failed;
};

const RunWords& wordsFor(RunKind kind)
{
    static const RunWords split{"A split is running. Stop it and quit?", "The split was cancelled.",
                                "The split is done", "The split failed"};
    static const RunWords join{"A join is running. Stop it and quit?", "The join was cancelled.",
                               "The join is done", "The join failed"};
    static const RunWords verify{"A verification is running. Stop it and quit?",
                                 "The verification was cancelled.", "The verification is done",
                                 "The verification failed"};
    static const RunWords repair{"A repair is running. Stop it and quit?", "The repair was cancelled.",
                                 "The repair is done", "The repair failed"};
    switch (kind) {
    case RunKind::Split:
        return split;
    case RunKind::Join:
        return join;
    case RunKind::Verify:
        return verify;
    case RunKind::Repair:
        break;
    }
    return repair;
}

// Names in the engine's texts are the system's bytes.
QString fromBytes(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
}

// The names of every finding that does not name its pieces itself, one a line; headed by
// the finding's sentence when there are several such findings.
QString namesBelow(const std::vector<qfs::PieceFinding>& findings)
{
    const auto listing = std::count_if(findings.begin(), findings.end(),
                                       [](const qfs::PieceFinding& f) { return !f.names.empty(); });
    QStringList lines;
    for (const qfs::PieceFinding& finding : findings) {
        if (finding.names.empty())
            continue;
        if (listing > 1) {
            if (!lines.isEmpty())
                lines << QString();
            lines << fromBytes(finding.sentence);
        }
        for (const std::string& name : finding.names)
            lines << fromBytes(name);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QString RunReport::closeQuestion(RunKind kind)
{
    return QString::fromLatin1(wordsFor(kind).question);
}

QString RunReport::outcomeLine(const RunOutcome& outcome, const std::string& splitFolder)
{
    if (outcome.cancelled())
        return QString::fromLatin1(wordsFor(outcome.kind).cancelled);
    if (!outcome.finished()) {
        // Once the box is closed, the line still says what went wrong.
        const QString message = fromBytes(outcome.error.message()).section(QLatin1Char('\n'), 0, 0);
        return QStringLiteral("%1: %2").arg(QString::fromLatin1(wordsFor(outcome.kind).failed), message);
    }
    switch (outcome.kind) {
    case RunKind::Split:
        return fromBytes(qfs::OutcomeText::withLeftovers(
            qfs::OutcomeText::split(outcome.pieces, outcome.recoveryPieces,
                                    std::filesystem::path(splitFolder).filename().string(), outcome.seconds),
            outcome.leftovers));
    case RunKind::Join:
        return fromBytes(qfs::OutcomeText::withLeftovers(
            qfs::OutcomeText::join(outcome.rebuiltName, outcome.length), outcome.leftovers));
    case RunKind::Verify:
        return fromBytes(qfs::OutcomeText::verify(outcome.report));
    case RunKind::Repair:
        return fromBytes(qfs::OutcomeText::repair(outcome.repair));
    }
    return {};
}

RunReport::Message RunReport::failure(const qfs::Error& error)
{
    return {QString::fromStdString(error.message()), namesBelow({qfs::PieceFinding{{}, error.names}})};
}

RunReport::Message RunReport::findings(const RunOutcome& outcome)
{
    if (!outcome.finished() || (outcome.kind != RunKind::Verify && outcome.kind != RunKind::Repair))
        return {};
    // A repair names what is still wrong after it.
    const qfs::VerifyReport& report = outcome.kind == RunKind::Verify ? outcome.report : outcome.repair.remaining;
    const std::vector<qfs::PieceFinding> found = qfs::OutcomeText::verifyFindings(report, repairAction);
    QStringList sentences;
    for (const qfs::PieceFinding& finding : found)
        sentences << fromBytes(finding.sentence);
    return {sentences.join(QLatin1Char('\n')), namesBelow(found)};
}

RunReport::Notification RunReport::notification(const RunOutcome& outcome, const QString& outcomeLine)
{
    if (outcome.seconds < notifyAfterSeconds || outcome.cancelled())
        return {};
    const RunWords& words = wordsFor(outcome.kind);
    if (outcome.error.failed())
        return {QString::fromLatin1(words.failed), fromBytes(outcome.error.message())};
    return {QString::fromLatin1(words.done), outcomeLine};
}

QString RunReport::rebuildQuestion()
{
    return QStringLiteral("Rebuild them from the recovery pieces and join?");
}
