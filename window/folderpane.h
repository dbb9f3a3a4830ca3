#pragma once

#include "engine/fs/error.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <string>

class DirectoryList;
class DriveList;
class FileList;
class QWidget;

// One half's way to a folder: a drive list, a folder tree and a file list, kept in step. The
// tree leads: a drive chosen opens its root, an entry opened opens that folder, and once a
// folder is shown the drive list follows it and the file list reads it. A folder that cannot
// be read leaves the tree where it was. Both halves of the window are one of these.
//
// The folder shown is watched: when entries come or go (a download finishing, pieces copied
// in), the tree and the file list read it again, off the window's thread as always. A burst
// of changes (100,000 pieces arriving) makes one read per `settleInterval`, not one per
// change; a folder that has gone gives way to the nearest ancestor still there.
class FolderPane : public QObject {
    Q_OBJECT

public:
    // Makes the three lists as children of `window`, which places and names them. The window
    // hands their change signals to openDrive() and followFolder().
    explicit FolderPane(QWidget& window);

    // The longest a change of the folder shown waits before the lists read it again, and so
    // the shortest time between two such reads.
    static constexpr int settleInterval = 300; // milliseconds

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
    // Reads the folder shown and its files again, as a change of it does (F5).
    void refresh();
    // Whether a change of the folder waits to be read.
    bool isRefreshing() const { return m_settle.isActive(); }
    // All three lists at once.
    void setEnabled(bool enabled);

signals:
    // A folder or its files could not be read.
    void failed(const qfs::Error& error);

private:
    DriveList* m_drives = nullptr;
    DirectoryList* m_folders = nullptr;
    FileList* m_files = nullptr;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};
