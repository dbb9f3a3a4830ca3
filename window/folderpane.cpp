#include "folderpane.h"

#include "directorylist.h"
#include "drivelist.h"
#include "filelist.h"

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

void FolderPane::setEnabled(bool enabled)
{
    m_drives->setEnabled(enabled);
    m_folders->setEnabled(enabled);
    m_files->setEnabled(enabled);
}
