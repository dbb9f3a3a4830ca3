#include "directorylist.h"

#include "elidingdelegate.h"
#include "engine/fs/folderlisting.h"
#include "engine/pieces/piecenaming.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QStyle>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

constexpr int pathRole = Qt::UserRole;

qfs::Error subfolders(const std::string& folderPath, std::vector<std::string>& names)
{
    names.clear();
    DIR* dir = ::opendir(folderPath.c_str());
    if (dir == nullptr)
        return qfs::Error::fromErrno(errno, folderPath);
    const int dirFd = ::dirfd(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            errno = 0;
            continue;
        }
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            folder = ::fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        if (folder)
            names.push_back(name);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0)
        return qfs::Error::fromErrno(readError, folderPath);
    qfs::FolderListing::sortNaturally(names);
    return {};
}

} // namespace

DirectoryList::DirectoryList(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    // Hidden, the header still names the column for a screen reader.
    setHeaderLabels({tr("Folders")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(12);
    // Entries are indented but never fold: no branch marks.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    ElidingDelegate::install(*this);
}

void DirectoryList::request(const std::vector<std::string>& folderPaths, bool announce)
{
    m_read.start<FolderRead>(
        [folderPaths] { return readFirst(folderPaths); },
        [this, announce](FolderRead& listing) { show(listing, announce); });
}

void DirectoryList::refresh()
{
    std::vector<std::string> folders;
    for (std::filesystem::path folder(m_path); !folder.empty(); folder = folder.parent_path()) {
        folders.push_back(folder.string());
        if (folder == folder.parent_path())
            break;
    }
    if (folders.empty())
        return;
    m_read.start<FolderRead>(
        [folders] { return readFirst(folders); },
        [this](FolderRead& listing) {
            if (listing.error.failed())
                return; // not even the root: the tree stays as it is
            const bool moved = listing.path != m_path;
            if (moved || listing.names != m_names)
                show(listing, moved);
        });
}

qfs::Error DirectoryList::normalPath(const std::string& folderPath, std::string& normal)
{
    std::filesystem::path path = std::filesystem::path(folderPath).lexically_normal();
    if (path.is_relative()) {
        std::error_code error;
        const std::filesystem::path here = std::filesystem::current_path(error);
        if (error)
            return qfs::Error::fromErrno(error.value(), folderPath);
        path = (here / path).lexically_normal();
    }
    // "/a/b/" and "/a/b" are the same folder.
    if (path.has_relative_path() && !path.has_filename())
        path = path.parent_path();
    normal = path.string();
    return {};
}

FolderRead DirectoryList::readFirst(const std::vector<std::string>& folderPaths)
{
    FolderRead listing;
    for (const std::string& folderPath : folderPaths) {
        listing = read(folderPath);
        if (!listing.error.failed())
            break;
    }
    return listing;
}

FolderRead DirectoryList::read(const std::string& folderPath)
{
    FolderRead listing;
    listing.error = normalPath(folderPath, listing.path);
    if (!listing.error.failed())
        listing.error = subfolders(listing.path, listing.names);
    return listing;
}

void DirectoryList::show(const FolderRead& listing, bool announce)
{
    if (listing.error.failed()) {
        emit readFailed(listing.error);
        return;
    }
    m_path = listing.path;
    m_names = listing.names;
    const std::filesystem::path path(m_path);
    setUpdatesEnabled(false);
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* current = nullptr;
    std::filesystem::path ancestor;
    for (const auto& part : path) {
        ancestor /= part;
        QTreeWidgetItem* item = entry(openIcon, part.string(), ancestor.string());
        if (current == nullptr)
            addTopLevelItem(item);
        else
            current->addChild(item);
        current = item;
    }
    QList<QTreeWidgetItem*> children;
    children.reserve(qsizetype(listing.names.size()));
    for (const std::string& name : listing.names)
        children.push_back(entry(closedIcon, name, qfs::PieceNaming::joinPath(m_path, name)));
    current->addChildren(children);
    expandAll();
    m_current = current;
    highlightCurrent();
    setUpdatesEnabled(true);
    if (announce)
        emit pathShown();
}

void DirectoryList::highlightCurrent()
{
    if (m_current == nullptr)
        return;
    setCurrentItem(m_current);
    scrollToItem(m_current, QAbstractItemView::PositionAtTop);
}

void DirectoryList::paintEvent(QPaintEvent* event)
{
    if (m_read.isNoteShown())
        BackgroundRead::paintNote(*viewport());
    else
        QTreeWidget::paintEvent(event);
}

std::string DirectoryList::pathOf(const QTreeWidgetItem& item)
{
    return item.data(0, pathRole).toByteArray().toStdString();
}

QTreeWidgetItem* DirectoryList::entry(const QIcon& icon, const std::string& name,
                                      const std::string& path)
{
    auto* item = new QTreeWidgetItem(QStringList{QFile::decodeName(QByteArray::fromStdString(name))});
    item->setIcon(0, icon);
    item->setData(0, pathRole, QByteArray::fromStdString(path));
    return item;
}
