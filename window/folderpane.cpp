#include "folderpane.h"

#include "directorylist.h"
#include "drivelist.h"
#include "filelist.h"

#include <QFile>

FolderPane::FolderPane(QWidget& window) : QObject(&window)
{
    m_drives = new DriveList(&window);
    m_folders = new DirectoryList(&window);
    m_files = new FileList(&window);

    connect(m_folders, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { openFolder(DirectoryList::pathOf(*item)); });
    connect(m_folders, &DirectoryList::readFailed, this, [this](const qfs::Error& error) {
        emit failed(error);
        m_drives->followPath(m_folders->path());
        m_folders->highlightCurrent();
    });
    connect(m_files, &FileList::readFailed, this, &FolderPane::failed);

    // The first change starts the wait, the changes during it join that one read.
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleInterval);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_settle.isActive())
            m_settle.start();
    });
    connect(&m_settle, &QTimer::timeout, this, &FolderPane::refresh);
}

const std::string& FolderPane::path() const
{
    return m_folders->path();
}

void FolderPane::openDrive()
{
    m_folders->setPath(m_drives->drive());
}

void FolderPane::followFolder()
{
    m_drives->followPath(m_folders->path());
    m_files->setPath(m_folders->path());
    // The folder was read a moment ago, so the watch is set up quickly.
    if (const QStringList watched = m_watcher.directories(); !watched.isEmpty())
        m_watcher.removePaths(watched);
    m_settle.stop();
    m_watcher.addPath(QFile::decodeName(QByteArray::fromStdString(m_folders->path())));
}

void FolderPane::openFolder(const std::string& folderPath)
{
    m_folders->setPath(folderPath);
}

void FolderPane::openAtStart(const std::string& lastFolder)
{
    m_folders->setFirstReadable({lastFolder, ".", "/"});
}

void FolderPane::showFile(const std::string& folderPath, const std::string& name)
{
    m_files->selectWhenShown(folderPath, name);
    m_folders->setPath(folderPath);
}

void FolderPane::rereadFolders()
{
    m_folders->reread();
}

void FolderPane::rereadFiles()
{
    m_files->reread();
}

void FolderPane::refresh()
{
    m_settle.stop();
    // A read under way may be a folder just asked for, which a refresh must not supersede; and
    // it may have listed the folder before the change. Once it is done, the folder is read again.
    if (m_folders->isReading() || m_files->isReading()) {
        m_settle.start();
        return;
    }
    m_folders->refresh();
    m_files->refresh();
}

void FolderPane::setEnabled(bool enabled)
{
    m_drives->setEnabled(enabled);
    m_folders->setEnabled(enabled);
    m_files->setEnabled(enabled);
}
