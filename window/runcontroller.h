#pragma once

#include "runner.h"

#include <QObject>
#include <QString>

class JoinHalf;
class QTimer;
class QWidget;
class RunPanel;
class SplitHalf;
class UserFeedback;

// The window's side of a run, from its start to what the window does once it has ended. While
// a run goes, the controls that would start another one or change its input rest, and so does
// the window's timer; the run panel shows the progress and offers Cancel, and the split's
// pieces, or the join's folder, show as they come. When it ends, the panel says how, and each
// kind of run leaves the window as its result asks: a split shows its folder in both folder
// trees and has the plan made again, a join shows the rebuilt file, a verification names what
// it found damaged and "Repair" is offered when it can rebuild that, a repair shows the pieces
// it rebuilt; a join that refused pieces the recovery data can rebuild asks whether to rebuild
// them and join again; a failure is told in a box, or, when the run offers another way (a free
// folder name, another folder, replacing a file), asked about, Yes starting that run; and the
// desktop is told of a long run that
// ended while the window was in the background. A close asked for during a run asks first
// and, when the run is stopped, waits for its cleanup.
class RunController : public QObject {
    Q_OBJECT

public:
    // The parts of the window a run touches. Each half says which of its controls rest
    // during a run, and where a split shows its folder's name and its pieces, and a join its
    // folder.
    struct Parts {
        QWidget& window;
        QTimer& timer;
        RunPanel& panel;
        SplitHalf& split;
        JoinHalf& join;
    };

    // Follows every run of `runner`; a child of the window.
    RunController(Runner& runner, const Parts& parts, UserFeedback& feedback);

    // Whether the window may close now. During a run, asks whether to stop it and quit: Yes
    // stops it and closes the window once its cleanup is done, No lets it go on. When the run
    // ends while the question is open, the question goes and the window stays, showing how
    // the run ended.
    bool mayClose();
    // Rebuilds the damaged and missing pieces of the join side's folder ("Repair").
    void startRepair();

private:
    void showRunning(RunKind kind, bool running);
    void runEnded(const RunOutcome& outcome);
    void tellDesktop(const RunOutcome& outcome, const QString& line);
    // Shows the folder in the file manager, or says that the desktop has none.
    void openFolder(const std::string& folder);
    // A message box; `details` lists what the text stands for, one a line.
    void showMessage(const QString& text, const QString& details = QString());

    Runner& m_runner;
    Parts m_parts;
    UserFeedback& m_feedback;
    // A close waits for the cancelled run's cleanup.
    bool m_closeWhenDone = false;
    // The question whether to stop the run and quit is open.
    bool m_askingToClose = false;
    // The split going, or the last one, had made its folder (it is gone again unless the
    // split finished).
    bool m_folderMade = false;
    // The repair going was asked for by a join, which goes again once every piece is intact.
    bool m_joinAfterRepair = false;
};
