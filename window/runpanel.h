#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// What shows a split or a join below the join side, in the room the window's table leaves
// there: the progress bar, the progress line, the Cancel button (Escape presses it), and the
// line that says how the last run ended. Between runs only that last line shows.
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
    // The run is over: the progress and Cancel go, and the outcome (possibly empty) shows.
    void end(const QString& outcome);

signals:
    void cancelPressed();

private:
    QProgressBar* m_bar = nullptr;
    QLabel* m_line = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_outcome = nullptr;
    bool m_cancelling = false;
};
