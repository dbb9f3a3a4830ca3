#pragma once

#include "engine/fs/error.h"

#include <QObject>

#include <string>

class DirectoryList;
class DriveList;
class FileList;
class QWidget;

// One half's way to a folder: a drive list, a folder tree and a file list, kept in step. The
// tree leads: a drive chosen opens its root, an entry opened opens that folder, and once a
// folder is shown the drive list follows it and the file list reads it. A folder that cannot
// be read leaves the tree where it was. Both halves of the window are one of these.
class FolderPane : public QObject {
    Q_OBJECT

public:
    // Makes the three lists as children of `window`, which places and names them. The window
    // hands their change signals to openDrive() and followFolder().
    explicit FolderPane(QWidget& window);

    DriveList& drives() const { return *m_drives; }
    DirectoryList& folders() const { return *m_folders; }
    FileList& files() const { return *m_files; }
    // The folder shown.
    const std::string& path() const;

    // Opens the root of the drive chosen.
    void openDrive();
    // The drive list and the file list follow the folder the tree shows now.
    void followFolder();
    // Opens this folder; a later request supersedes it.
    void openFolder(const std::string& folderPath);
    // Opens the folder this side showed last (none when empty), or else, when it cannot be
    // read, the current directory, or else the root.
    void openAtStart(const std::string& lastFolder);
    // Opens a file's folder and selects the file once the folder's files are listed.
    void showFile(const std::string& folderPath, const std::string& name);
    // Reads the tree's subfolders again, or the file list, after a run changed the folder.
    void rereadFolders();
    void rereadFiles();
    // All three lists at once.
    void setEnabled(bool enabled);

signals:
    // A folder or its files could not be read.
    void failed(const qfs::Error& error);

private:
    DriveList* m_drives = nullptr;
    DirectoryList* m_folders = nullptr;
    FileList* m_files = nullptr;
};
