#pragma once

#include "engine/fs/filelayer.h"
#include "runner.h"
#include "titleanimator.h"
#include "userfeedback.h"

#include <QWidget>

#include <cstdint>
#include <string>

class JoinHalf;
class PathOpener;
class QFrame;
class QLabel;
class QTimer;
class RunController;
class RunPanel;
class SplitHalf;

// The program's window. The upper half picks a file and how to cut it, says what the split
// would make and runs it, with or without a checksum file (SplitHalf); the lower half picks a
// folder of pieces and joins or verifies it (JoinHalf); the title sits in between. Runs go on
// a worker (Runner) and folders are read off this thread, so the window answers at all times;
// what the window does around a run, and a close during one, is the RunController's. A file
// or folder dropped on a half, or given to openPath(), is taken by that half (PathOpener); a
// folder dropped on a half's "Save … in" control becomes where that half writes.
//
// The window builds the halves and the parts between them, and connects them: the events of
// its named controls come to its handlers below, which hand them on. The halves' folders and
// the split's fields are kept (WindowSettings) when the window closes; the first start looks
// as it always did.
class Form1 : public QWidget {
    Q_OBJECT

public:
    // Splits, joins and verifications go through `files`.
    explicit Form1(UserFeedback& feedback = UserFeedback::system(),
                   qfs::FileLayer& files = qfs::FileLayer::system(), QWidget* parent = nullptr);
    // A run still going is stopped, and its cleanup done, before the window goes.
    ~Form1() override;

    // A path from the command line: a file is chosen on the split side, a folder opened on
    // the join side, and so is the folder of a file named like a piece
    // (PathOpener::isPieceName). The file system is asked off the window's thread.
    void openPath(const std::string& path);
    // The same, but to be split: a file is chosen on the split side, a folder opened there.
    void openForSplit(const std::string& path);
    // The same, but to be joined: a folder, or the folder of a file (a piece), is opened on
    // the join side.
    void openForJoin(const std::string& path);

    void Form_Load();
    void Option1_Click();
    void Option2_Click();
    void Drive1_Change();
    void Drive2_Change();
    void Dir1_Change();
    void Dir2_Change();
    void Command2_Click();
    void Command3_Click();
    void Timer1_Timer();
    void Text1_KeyPress(std::int16_t& keyAscii);
    void Text2_KeyPress(std::int16_t& keyAscii);
    void Label4_DblClick();

    // Whether a split or a join is running.
    bool isBusy() const { return m_runner.isRunning(); }
    // Whether the window is still looking something up: a path given to it, a plan, or a
    // folder that changed.
    bool isReading() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // During a run, asks whether to stop it and quit; Yes stops it and closes once its cleanup
    // is done, No lets it go on. A close that goes ahead keeps the window's settings.
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void createControls();
    void connectControls();
    void showMessage(const QString& text);

    UserFeedback& m_feedback;
    TitleAnimator m_title;
    Runner m_runner;

    // Drive2, Dir2, File3, the split's fields, Command2, Label2 and File1.
    SplitHalf* m_split = nullptr;
    QLabel* m_label4 = nullptr;
    QFrame* m_line1 = nullptr;
    // Command3, Drive1, Dir1, File2 and Label3.
    JoinHalf* m_join = nullptr;
    QTimer* m_timer1 = nullptr;
    RunPanel* m_runPanel = nullptr;
    PathOpener* m_opener = nullptr;
    RunController* m_run = nullptr;
};
