#pragma once

#include "engine/fs/filelayer.h"
#include "pathopener.h"
#include "runner.h"
#include "titleanimator.h"
#include "userfeedback.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class CommonSizes;
class QCheckBox;
class ElidedLabel;
class FileList;
class FolderPane;
class NumericField;
class PlanLine;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class RunController;
class RunPanel;
class SplitForm;

// The program's window. The upper half picks a file and how to cut it, says what the split
// would make (PlanLine) and runs it, with or without a checksum file; the lower half picks a
// folder of pieces and joins or verifies it; the title sits in between. Each half finds its
// folder in a FolderPane. Runs go on a worker (Runner) and folders are read off this thread,
// so the window answers at all times; what the window does around a run, and a close during
// one, is the RunController's. A file or folder dropped on a half, or given to openPath(), is
// taken by that half. The window itself builds the controls and connects them.
//
// The folders of both sides, the mode, the unit and the fields' texts are kept between runs
// (WindowSettings) when the window closes; the first start looks as it always did.
class Form1 : public QWidget {
    Q_OBJECT

public:
    // Splits, joins and verifications go through `files`.
    explicit Form1(UserFeedback& feedback = UserFeedback::system(),
                   qfs::FileLayer& files = qfs::FileLayer::system(), QWidget* parent = nullptr);
    // A run still going is stopped, and its cleanup done, before the window goes.
    ~Form1() override;

    // A path from the command line: a file is chosen on the split side, a folder opened on
    // the join side. The file system is asked off the window's thread.
    void openPath(const std::string& path);

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
    // Whether the window is still looking something up: a path given to it, or a plan.
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
    void connectRunner();
    void setTabOrder();
    void restore();
    void remember() const;
    void showPlan();
    void fileFound(const std::string& folderPath, const std::string& name, PathOpener::Side side);
    void showMessage(const QString& text);

    UserFeedback& m_feedback;
    TitleAnimator m_title;
    Runner m_runner;
    PathOpener m_opener{*this};
    RunController* m_run = nullptr;
    // The one reading of the split's fields, for the plan and the split.
    std::unique_ptr<SplitForm> m_form;

    QLabel* m_label1 = nullptr;
    QRadioButton* m_option1 = nullptr;
    NumericField* m_text2 = nullptr;
    QComboBox* m_combo1 = nullptr;
    QRadioButton* m_option2 = nullptr;
    NumericField* m_text1 = nullptr;
    ElidedLabel* m_label2 = nullptr;
    FileList* m_file1 = nullptr;
    // Drive2, Dir2 and File3: the file to split.
    FolderPane* m_splitSide = nullptr;
    QPushButton* m_command2 = nullptr;
    QLabel* m_label4 = nullptr;
    QFrame* m_line1 = nullptr;
    QPushButton* m_command3 = nullptr;
    // Drive1, Dir1 and File2: the pieces to join.
    FolderPane* m_joinSide = nullptr;
    ElidedLabel* m_label3 = nullptr;
    QTimer* m_timer1 = nullptr;
    RunPanel* m_runPanel = nullptr;
    PlanLine* m_plan = nullptr;
    CommonSizes* m_sizes = nullptr;
    QCheckBox* m_checksums = nullptr;
    QPushButton* m_verify = nullptr;
};
