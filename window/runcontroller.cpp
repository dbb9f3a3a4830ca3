#include "runcontroller.h"

#include "elidedlabel.h"
#include "filelist.h"
#include "folderpane.h"
#include "joinhalf.h"
#include "runpanel.h"
#include "runreport.h"
#include "runs.h"
#include "splithalf.h"
#include "userfeedback.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace {

QString fromPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

RunController::RunController(Runner& runner, const Parts& parts, UserFeedback& feedback)
    : QObject(&parts.window), m_runner(runner), m_parts(parts), m_feedback(feedback)
{
    connect(&m_runner, &Runner::started, this, [this](RunKind kind) { showRunning(kind, true); });
    connect(&m_runner, &Runner::progressed, &m_parts.panel, &RunPanel::progress);
    connect(&m_runner, &Runner::folderNameShown, this,
            [this](const std::string& folderName) { m_parts.split.folderName().setText(fromPath(folderName)); });
    connect(&m_runner, &Runner::folderOpened, this, [this](const std::string& folderPath) {
        m_folderMade = true;
        m_parts.split.pieces().showEmptyFolder(folderPath);
        m_parts.split.pieces().show();
    });
    connect(&m_runner, &Runner::piecesWritten, &m_parts.split.pieces(), &FileList::appendNames);
    connect(&m_runner, &Runner::folderShown, this,
            [this](const std::string& folderPath) { m_parts.join.folderName().setText(fromPath(folderPath)); });
    connect(&m_runner, &Runner::ended, this, &RunController::runEnded);
    connect(&m_parts.panel, &RunPanel::cancelPressed, &m_runner, &Runner::cancel);
    connect(&m_parts.panel, &RunPanel::openFolderPressed, this,
            [this](const std::string& folder) { openFolder(folder); });
}

bool RunController::mayClose()
{
    if (m_runner.isRunning() && !m_closeWhenDone) {
        m_askingToClose = true;
        const bool stop = m_feedback.confirm(m_parts.window, RunReport::closeQuestion(m_runner.kind()));
        m_askingToClose = false;
        if (!stop)
            return false;
        // The run may have ended while the question was open.
        m_runner.cancel();
        m_closeWhenDone = m_runner.isRunning();
    }
    return !m_runner.isRunning();
}

void RunController::showRunning(RunKind kind, bool running)
{
    if (running) {
        m_folderMade = false;
        m_parts.timer.stop();
        m_parts.panel.begin();
        m_parts.window.setCursor(Qt::BusyCursor);
    } else {
        m_parts.window.unsetCursor();
    }
    // The controls that would start another run or change this one's input.
    m_parts.split.rest(kind, running);
    m_parts.join.rest(kind, running);
    // The focus goes back from Cancel to the button that started the run.
    if (!running && m_parts.panel.isAncestorOf(QApplication::focusWidget())) {
        // After a repair, to "Join": "Repair" rests once it has rebuilt what it could.
        QWidget& starter = kind == RunKind::Split ? m_parts.split.splitButton()
            : kind == RunKind::Verify             ? m_parts.join.verifyButton()
                                                  : m_parts.join.joinButton();
        starter.setFocus();
    }
}

void RunController::runEnded(const RunOutcome& outcome)
{
    // The question whether to stop the run has no more point; what it ended in is news.
    if (m_askingToClose)
        m_feedback.withdrawQuestion();
    showRunning(outcome.kind, false);
    const QString line = RunReport::outcomeLine(outcome, m_parts.split.pieces().path());
    // The folder a finished split made, or where a join put the rebuilt file, is offered.
    std::string written;
    if (outcome.finished() && outcome.kind == RunKind::Split)
        written = m_parts.split.pieces().path();
    else if (outcome.finished() && outcome.kind == RunKind::Join && !outcome.rebuiltName.empty())
        written = outcome.rebuiltFolder;
    m_parts.panel.end(line, written);
    if (m_closeWhenDone) {
        m_closeWhenDone = false;
        m_parts.window.close();
        return;
    }
    const bool joinAfter = std::exchange(m_joinAfterRepair, false);
    if (outcome.retry) {
        // A refusal with a way out is asked about instead of told; nothing was written, so
        // Yes simply starts the other run, and No leaves the refusal where the plan shows it.
        if (m_feedback.confirm(m_parts.window, outcome.question)) {
            m_runner.start(*outcome.retry);
            return;
        }
    } else if (outcome.kind == RunKind::Join && outcome.report.canRebuild() &&
               m_feedback.confirm(m_parts.window, RunReport::rebuildQuestion())) {
        // The join goes again once the repair has rebuilt every piece.
        m_joinAfterRepair = true;
        startRepair();
        return;
    } else if (outcome.error.failed() && !outcome.cancelled()) {
        const RunReport::Message failure = RunReport::failure(outcome.error);
        showMessage(failure.text, failure.details);
    }
    switch (outcome.kind) {
    case RunKind::Split:
        // A split that did not finish took its folder away again: nothing shows it any more.
        if (!outcome.finished() && m_folderMade) {
            m_parts.split.pieces().showEmptyFolder({});
            m_parts.split.pieces().hide();
            m_parts.split.folderName().setText({});
        }
        if (outcome.finished())
            m_feedback.beep();
        // The new folder sits beside the source: both folder trees show it, and the plan
        // now meets it.
        m_parts.split.source().rereadFolders();
        m_parts.join.source().rereadFolders();
        m_parts.split.showPlan();
        break;
    case RunKind::Join:
        // The rebuilt file shows up in the list.
        m_parts.join.source().rereadFiles();
        m_parts.join.offerRepair(outcome.report.canRebuild());
        break;
    case RunKind::Verify:
        // Damage is named piece by piece, as the join names it when it refuses, with what a
        // repair can rebuild of it.
        if (const RunReport::Message found = RunReport::findings(outcome); !found.text.isEmpty())
            showMessage(found.text, found.details);
        m_parts.join.offerRepair(outcome.finished() && outcome.report.canRebuild());
        break;
    case RunKind::Repair:
        // The rebuilt pieces show up in the list, and what is still wrong is named.
        m_parts.join.source().rereadFiles();
        if (const RunReport::Message found = RunReport::findings(outcome); !found.text.isEmpty())
            showMessage(found.text, found.details);
        // A repair stopped or refused leaves the folder as it was, and the offer stands.
        m_parts.join.offerRepair(!outcome.finished());
        if (joinAfter && outcome.finished() && outcome.repair.piecesIntact()) {
            m_runner.start(joinRun(qfs::JoinRequest{m_parts.join.source().path()}));
            return;
        }
        break;
    }
    tellDesktop(outcome, line);
    m_parts.timer.start();
}

void RunController::startRepair()
{
    if (!m_runner.isRunning())
        m_runner.start(repairRun(qfs::RepairRequest{m_parts.join.source().path()}));
}

void RunController::tellDesktop(const RunOutcome& outcome, const QString& line)
{
    const RunReport::Notification notification = RunReport::notification(outcome, line);
    if (!notification.title.isEmpty() && !m_parts.window.isActiveWindow())
        m_feedback.notify(m_parts.window, notification.title, notification.text);
}

void RunController::openFolder(const std::string& folder)
{
    if (!m_feedback.openFolder(folder))
        showMessage(tr("No program to show folders is set up on this desktop. The folder is %1.").arg(fromPath(folder)));
}

void RunController::showMessage(const QString& text, const QString& details)
{
    m_feedback.message(m_parts.window, text, details);
}
