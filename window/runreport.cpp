#include "runreport.h"

#include "engine/text/outcometext.h"

#include <QCoreApplication>
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
    static const RunWords split{
        QT_TRANSLATE_NOOP("RunReport", "A split is running. Stop it and quit?"),
        QT_TRANSLATE_NOOP("RunReport", "The split was cancelled."),
        QT_TRANSLATE_NOOP("RunReport", "The split is done"),
        QT_TRANSLATE_NOOP("RunReport", "The split failed")};
    static const RunWords join{
        QT_TRANSLATE_NOOP("RunReport", "A join is running. Stop it and quit?"),
        QT_TRANSLATE_NOOP("RunReport", "The join was cancelled."),
        QT_TRANSLATE_NOOP("RunReport", "The join is done"),
        QT_TRANSLATE_NOOP("RunReport", "The join failed")};
    static const RunWords verify{
        QT_TRANSLATE_NOOP("RunReport", "A verification is running. Stop it and quit?"),
        QT_TRANSLATE_NOOP("RunReport", "The verification was cancelled."),
        QT_TRANSLATE_NOOP("RunReport", "The verification is done"),
        QT_TRANSLATE_NOOP("RunReport", "The verification failed")};
    static const RunWords repair{
        QT_TRANSLATE_NOOP("RunReport", "A repair is running. Stop it and quit?"),
        QT_TRANSLATE_NOOP("RunReport", "The repair was cancelled."),
        QT_TRANSLATE_NOOP("RunReport", "The repair is done"),
        QT_TRANSLATE_NOOP("RunReport", "The repair failed")};
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

// The run's words, in the person's language.
QString said(const char* words)
{
    return QCoreApplication::translate("RunReport", words);
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
    return said(wordsFor(kind).question);
}

QString RunReport::outcomeLine(const RunOutcome& outcome, const std::string& splitFolder)
{
    if (outcome.cancelled())
        return said(wordsFor(outcome.kind).cancelled);
    if (!outcome.finished()) {
        // Once the box is closed, the line still says what went wrong.
        const QString message = fromBytes(outcome.error.message()).section(QLatin1Char('\n'), 0, 0);
        return QCoreApplication::translate("RunReport", "%1: %2", "a run failed: the first line of its message")
            .arg(said(wordsFor(outcome.kind).failed), message);
    }
    switch (outcome.kind) {
    case RunKind::Split:
        return fromBytes(qfs::OutcomeText::withLeftovers(
            qfs::OutcomeText::split(outcome.pieces, outcome.checksumFile, outcome.recoveryPieces,
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
    const std::vector<qfs::PieceFinding> found =
        qfs::OutcomeText::verifyFindings(report, said(repairAction).toStdString());
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
        return {said(words.failed), fromBytes(outcome.error.message())};
    return {said(words.done), outcomeLine};
}

QString RunReport::rebuildQuestion()
{
    return said(QT_TRANSLATE_NOOP("RunReport", "Rebuild them from the recovery pieces and join?"));
}
