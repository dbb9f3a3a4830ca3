#include "pathopener.h"

#include "directorylist.h"
#include "folderpane.h"

#include <sys/stat.h>

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <cerrno>
#include <filesystem>

namespace {

// What a path that is neither a file nor a folder is, in a message.
std::string kindOf(mode_t mode)
{
    const char* kind = QT_TRANSLATE_NOOP("PathOpener", "Is neither a file nor a folder");
    if (S_ISFIFO(mode))
        kind = QT_TRANSLATE_NOOP("PathOpener", "Is a named pipe (FIFO), not a file or a folder");
    else if (S_ISCHR(mode))
        kind = QT_TRANSLATE_NOOP("PathOpener", "Is a character device, not a file or a folder");
    else if (S_ISBLK(mode))
        kind = QT_TRANSLATE_NOOP("PathOpener", "Is a block device, not a file or a folder");
    else if (S_ISSOCK(mode))
        kind = QT_TRANSLATE_NOOP("PathOpener", "Is a socket, not a file or a folder");
    return PathOpener::tr(kind).toStdString();
}

} // namespace

PathOpener::PathOpener(QWidget& view, FolderPane& splitSide, FolderPane& joinSide)
    : QObject(&view), m_read(view), m_splitSide(splitSide), m_joinSide(joinSide)
{
}

void PathOpener::open(const std::string& path, Side side)
{
    m_read.start<Found>([path] { return find(path); }, [this, side](Found& found) { handOn(found, side); });
}

void PathOpener::handOn(const Found& found, Side side)
{
    if (found.error.failed())
        emit failed(found.error);
    else if (found.folder)
        (side == Side::Split ? m_splitSide : m_joinSide).openFolder(found.path);
    else if (side == Side::Join || (side == Side::ByKind && isPieceName(found.name)))
        m_joinSide.openFolder(found.path);
    else
        m_splitSide.showFile(found.path, found.name);
}

bool PathOpener::isPieceName(const std::string& name)
{
    constexpr std::size_t fewestDigits = 3;
    const std::size_t dot = name.rfind('.');
    const std::size_t digits = dot == std::string::npos ? 0 : name.size() - dot - 1;
    return dot != std::string::npos && digits >= fewestDigits
           && name.find_first_not_of("0123456789", dot + 1) == std::string::npos;
}

PathOpener::Found PathOpener::find(const std::string& path)
{
    Found found;
    std::string normal;
    found.error = DirectoryList::normalPath(path, normal);
    if (found.error.failed())
        return found;
    // Links are followed, as the folder lists and the split follow them.
    struct stat info {};
    if (::stat(normal.c_str(), &info) != 0) {
        found.error = qfs::Error::fromErrno(errno, normal);
        return found;
    }
    // A FIFO or a device is not chosen like a file: the split would only refuse it, and a
    // dropped one would otherwise just go unnoticed.
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
        found.error = qfs::Error{qfs::NotRegularFile, kindOf(info.st_mode), normal};
        return found;
    }
    found.folder = S_ISDIR(info.st_mode);
    if (found.folder) {
        found.path = normal;
    } else {
        const std::filesystem::path file(normal);
        found.path = file.parent_path().string();
        found.name = file.filename().string();
    }
    return found;
}

void PathOpener::takeDrops(QWidget& window, int divider, std::function<bool()> busy)
{
    m_window = &window;
    m_divider = divider;
    m_busy = std::move(busy);
    window.setAcceptDrops(true);
    window.installEventFilter(this);
}

bool PathOpener::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched != m_window || (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
        return QObject::eventFilter(watched, event);
    auto* drag = static_cast<QDropEvent*>(event);
    const std::string path = draggedPath(*drag->mimeData());
    if (path.empty() || m_busy()) {
        drag->ignore();
        return true;
    }
    drag->acceptProposedAction();
    if (type == QEvent::Drop)
        open(path, drag->position().y() < m_divider ? Side::Split : Side::Join);
    return true;
}

std::string PathOpener::draggedPath(const QMimeData& data)
{
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    return QFile::encodeName(urls.front().toLocalFile()).toStdString();
}
