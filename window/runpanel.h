#pragma once

#include <QString>
#include <QWidget>

#include <string>

class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;

// What shows a split or a join below the join side, in the room the window's table leaves
// there: the progress bar, the progress line and the Cancel button (Escape presses it) while
// a run goes; between runs, in their place, the line that says how the last run ended and,
// after a split, the "Open folder" button that shows the new folder in the file manager.
class RunPanel : public QWidget {
    Q_OBJECT

public:
    // Where the panel sits in the window.
    static const QRect area;

    explicit RunPanel(QWidget* parent = nullptr);

    // A run starts: an empty progress shows, the last outcome goes, and Cancel takes the focus.
    void begin();
    // The share done, in thousandths, and the progress line. After Cancel the line keeps
    // saying that the run is being cancelled.
    void progress(const QString& line, int thousandths);
    // The run is over: the progress and Cancel go, and the outcome (possibly empty) shows;
    // with a folder, "Open folder" shows too, until the next run.
    void end(const QString& outcome, const std::string& folder = {});

signals:
    void cancelPressed();
    void openFolderPressed(const std::string& folder);

private:
    QProgressBar* m_bar = nullptr;
    QLabel* m_line = nullptr;
    QPushButton* m_cancel = nullptr;
    ElidedLabel* m_outcome = nullptr;
    QPushButton* m_openFolder = nullptr;
    std::string m_folder;
    bool m_cancelling = false;
};
