#include "runreport.h"

#include "outcometext.h"

#include <QFile>

#include <filesystem>

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
    return kind == RunKind::Split ? split : kind == RunKind::Join ? join : verify;
}

// Names in the engine's texts are the system's bytes.
QString fromBytes(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
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
    if (!outcome.finished())
        return {};
    switch (outcome.kind) {
    case RunKind::Split:
        return fromBytes(qfs::OutcomeText::withLeftovers(
            qfs::OutcomeText::split(outcome.pieces, std::filesystem::path(splitFolder).filename().string(),
                                    outcome.seconds),
            outcome.leftovers));
    case RunKind::Join:
        return fromBytes(qfs::OutcomeText::withLeftovers(
            qfs::OutcomeText::join(outcome.rebuiltName, outcome.length), outcome.leftovers));
    case RunKind::Verify:
        return fromBytes(qfs::OutcomeText::verify(outcome.report));
    }
    return {};
}

QString RunReport::findings(const RunOutcome& outcome)
{
    if (outcome.kind != RunKind::Verify || !outcome.finished())
        return {};
    return fromBytes(qfs::OutcomeText::verifyFindings(outcome.report));
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
