#pragma once

#include "runner.h"

#include <QCoreApplication>
#include <QString>

#include <string>

// What the window says about a run, by its kind: the question when the window closes during
// it, the line that tells how it ended, and what the desktop is told of it.
class RunReport {
public:
    // A run that ends after this long while the window is in the background is worth telling
    // the desktop about.
    static constexpr double notifyAfterSeconds = 10.0;

    static QString closeQuestion(RunKind kind);

    // The outcome line: what the run made or found, that it was cancelled, or, after a
    // failure that a message box tells in full, its first line. `splitFolder` is the folder a
    // split made.
    static QString outcomeLine(const RunOutcome& outcome, const std::string& splitFolder);

    // What a message box says: its text, and below it the pieces the text stands for, one a
    // line, when the text does not name them all (empty otherwise).
    struct Message {
        QString text;
        QString details;
    };
    // The message for a run that failed.
    static Message failure(const qfs::Error& error);
    // What a finished verification found wrong, piece by piece, in the words of the join's
    // refusals, and whether "Repair" can rebuild it; for a finished repair, what is still wrong.
    // An empty text when there is nothing (or the run was neither).
    static Message findings(const RunOutcome& outcome);
    // The button that rebuilds pieces, as the findings name it.
    static constexpr const char* repairAction = QT_TRANSLATE_NOOP("RunReport", "Repair");
    // What a join that refused pieces the recovery data can rebuild asks.
    static QString rebuildQuestion();

    struct Notification {
        QString title;
        QString text;
    };
    // The notification for a run that ended while the window was in the background, or an
    // empty title when it is not worth one (quick, or cancelled by the user).
    static Notification notification(const RunOutcome& outcome, const QString& outcomeLine);
};
