#pragma once

#include "joinobserver.h"
#include "splitobserver.h"
#include "titleanimator.h"
#include "userfeedback.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>

class DirectoryList;
class DriveList;
class FileList;
class NumericField;
class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidgetItem;

// The program's window. The upper half picks a file and how to cut it and runs the split;
// the lower half picks a folder of pieces and runs the join; the title sits in between.
// Splits and joins run on this thread: while one runs, the window keeps painting and
// showing its progress but takes no input, and the timer stands still.
class Form1 : public QWidget, private qfs::SplitObserver, private qfs::JoinObserver {
    Q_OBJECT

public:
    explicit Form1(UserFeedback& feedback = UserFeedback::system(), QWidget* parent = nullptr);
    ~Form1() override;

    // The smallest multiple of Factor not below X.
    double Ceiling(double X, double Factor = 1.0) const;

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
    bool isBusy() const { return m_busy; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // SplitObserver and JoinObserver: what the engine reports while it works.
    void checkFailed(const std::string& message, qfs::FocusTarget focus) override;
    void folderNameShown(const std::string& folderName) override;
    void folderOpened(const std::string& folderPath) override;
    void unitDefaulted(std::int16_t unitIndex) override;
    void pieceWritten(const std::string& pieceName) override;
    void progress(std::uint64_t done, std::uint64_t total) override;
    void finished() override;
    void failed(const qfs::Error& error) override;
    void folderShown(const std::string& folderPath) override;
    void finished(const std::string& rebuiltName, std::uint64_t length) override;

    void createControls();
    void setTabOrder();
    void startIn(DirectoryList& dirList, DriveList& driveList, FileList& fileList);
    void openFolder(DirectoryList& dirList, const QTreeWidgetItem& item);
    bool changeDrive(DriveList& driveList, DirectoryList& dirList);
    void showFiles(DirectoryList& dirList, DriveList& driveList, FileList& fileList);

    void beginWork();
    void keepPainting(bool now);
    void endWork();
    void showPendingMessage();
    void showMessage(const QString& text);

    UserFeedback& m_feedback;

    // Window variables.
    std::string sourceFileName;
    std::string pieceSignature;
    TitleAnimator m_title;

    QLabel* m_label1 = nullptr;
    QRadioButton* m_option1 = nullptr;
    NumericField* m_text2 = nullptr;
    QComboBox* m_combo1 = nullptr;
    QRadioButton* m_option2 = nullptr;
    NumericField* m_text1 = nullptr;
    QLabel* m_label2 = nullptr;
    FileList* m_file1 = nullptr;
    DriveList* m_drive2 = nullptr;
    DirectoryList* m_dir2 = nullptr;
    FileList* m_file3 = nullptr;
    QPushButton* m_command2 = nullptr;
    QLabel* m_label4 = nullptr;
    QFrame* m_line1 = nullptr;
    QPushButton* m_command3 = nullptr;
    DriveList* m_drive1 = nullptr;
    DirectoryList* m_dir1 = nullptr;
    QLabel* m_label3 = nullptr;
    FileList* m_file2 = nullptr;
    QTimer* m_timer1 = nullptr;
    QProgressBar* m_progressBar = nullptr;

    // The run in progress.
    bool m_busy = false;
    QElapsedTimer m_workClock;
    QElapsedTimer m_paintClock;
    std::uint64_t m_done = 0;
    std::uint64_t m_total = 0;
    QString m_pendingMessage;
    QWidget* m_pendingFocus = nullptr;
};
