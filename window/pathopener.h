#pragma once

#include "backgroundread.h"
#include "engine/fs/error.h"

#include <QObject>

#include <functional>
#include <string>

class QMimeData;

// Takes a path handed to the window from outside, on the command line or dropped onto it,
// and finds out whether it is a file or a folder (anything else, a FIFO or a device, fails);
// that asks the file system, so it happens off the window's thread. The answer names the
// side of the window that takes it: for a drop, the half it was dropped on.
class PathOpener : public QObject {
    Q_OBJECT

public:
    // Where the path goes. ByKind: a file to the split side, a folder to the join side.
    enum class Side { Split, Join, ByKind };

    // `view` is the widget that would say it is reading (the window).
    explicit PathOpener(QWidget& view);

    // Looks the path up (a relative one from the current directory); one of the signals
    // follows. A later call supersedes this one.
    void open(const std::string& path, Side side);
    bool isReading() const { return m_read.isReading(); }

    // Takes single files and folders dropped onto the window: above `divider` (a y in the
    // window) for the split side, below it for the join side; none while `busy()` holds.
    void takeDrops(QWidget& window, int divider, std::function<bool()> busy);

    // The one local file or folder a drag carries, or an empty text.
    static std::string draggedPath(const QMimeData& data);

signals:
    // A file, by its folder (absolute and normal, as the folder lists show it) and its name.
    void fileFound(const std::string& folderPath, const std::string& name, PathOpener::Side side);
    void folderFound(const std::string& folderPath, PathOpener::Side side);
    void failed(const qfs::Error& error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Found {
        qfs::Error error;
        bool folder = false;
        std::string path; // the folder, or the file's folder
        std::string name; // the file's name
    };

    static Found find(const std::string& path);

    BackgroundRead m_read;
    QWidget* m_window = nullptr;
    int m_divider = 0;
    std::function<bool()> m_busy;
};
