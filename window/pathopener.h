#pragma once

#include "backgroundread.h"
#include "engine/fs/error.h"

#include <QObject>

#include <functional>
#include <string>

class FolderPane;
class QMimeData;

// Takes a path handed to the window from outside, on the command line or dropped onto it,
// finds out whether it is a file or a folder (anything else, a FIFO or a device, fails) and
// gives it to the half of the window that takes it: for a drop, the half it was dropped on.
// Finding out asks the file system, so it happens off the window's thread. A folder opens on
// its side; a file is chosen on the split side, and opens its folder on the join side (a
// piece stands for its folder of pieces).
class PathOpener : public QObject {
    Q_OBJECT

public:
    // Where the path goes. ByKind: a folder or a file named like a piece (isPieceName) to the
    // join side, any other file to the split side.
    enum class Side { Split, Join, ByKind };

    // Whether a file name looks like a piece's: it ends in a dot and three or more digits, as
    // signed pieces (".0000") and the pieces others number (".001") do. A file opened from the
    // desktop as a piece then opens its folder to be joined.
    static bool isPieceName(const std::string& name);

    // A child of `view`, the widget that would say it is reading (the window); the panes are
    // its halves'.
    PathOpener(QWidget& view, FolderPane& splitSide, FolderPane& joinSide);

    // Looks the path up (a relative one from the current directory) and hands it on, or
    // says why it cannot be taken (failed()). A later call supersedes this one.
    void open(const std::string& path, Side side);
    bool isReading() const { return m_read.isReading(); }

    // Takes single files and folders dropped onto the window: above `divider` (a y in the
    // window) for the split side, below it for the join side; none while `busy()` holds.
    void takeDrops(QWidget& window, int divider, std::function<bool()> busy);

    // What a path is. The folder is absolute and normal, as the folder lists show it.
    struct Found {
        qfs::Error error;
        bool folder = false;
        std::string path; // the folder, or the file's folder
        std::string name; // the file's name
    };
    // Looks a path up (links followed), on the caller's thread: a folder, a regular file, or
    // why it is neither.
    static Found find(const std::string& path);

    // The one local file or folder a drag carries, or an empty text.
    static std::string draggedPath(const QMimeData& data);

signals:
    void failed(const qfs::Error& error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void handOn(const Found& found, Side side);

    BackgroundRead m_read;
    FolderPane& m_splitSide;
    FolderPane& m_joinSide;
    QWidget* m_window = nullptr;
    int m_divider = 0;
    std::function<bool()> m_busy;
};
