#pragma once

#include "backgroundread.h"
#include "engine/fs/error.h"

#include <QTreeWidget>

#include <string>
#include <vector>

// One folder's place in the tree: its ancestors from the root down to it, then its
// subfolders, each indented one step deeper than the entry above it. Opening an entry
// (double-click or Enter) is left to the owner, which asks for the entry's path.
// Folders are read off the window's thread (BackgroundRead); the list says so while a read
// takes long.
class DirectoryList : public QTreeWidget {
    Q_OBJECT

public:
    explicit DirectoryList(QWidget* parent = nullptr);

    // Asks for this folder (a relative path is taken from the current directory). Once it is
    // read, the list shows it and emits pathShown(); when it cannot be read, the list stays as
    // it was and emits readFailed(). A later request supersedes this one.
    void setPath(const std::string& folderPath) { request({folderPath}, true); }
    // As setPath(), with the first of these folders that can be read; readFailed() comes
    // only when none can, with the failure of the last.
    void setFirstReadable(const std::vector<std::string>& folderPaths) { request(folderPaths, true); }
    // Reads the current folder's subfolders again, as setPath() but without pathShown().
    void reread() { request({m_path}, false); }
    // As reread(), but when the folder has gone, shows the nearest ancestor that can be read,
    // with pathShown(). An unchanged folder is left as it is, the highlight where it was.
    void refresh();
    // The folder shown.
    const std::string& path() const { return m_path; }
    bool isReading() const { return m_read.isReading(); }
    // Highlights the entry of the folder shown again.
    void highlightCurrent();

    // The folder an entry stands for.
    static std::string pathOf(const QTreeWidgetItem& item);
    // A path as the list shows it: absolute (a relative path is taken from the current
    // directory) and lexically normal, without a trailing "/" ("a/./b/" is "/here/a/b").
    static qfs::Error normalPath(const std::string& path, std::string& normal);

signals:
    void pathShown();
    void readFailed(const qfs::Error& error);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void request(const std::vector<std::string>& folderPaths, bool announce);
    static FolderRead read(const std::string& folderPath);
    // The first of the folders that can be read, or the last one's failure. Off the window's
    // thread, as read().
    static FolderRead readFirst(const std::vector<std::string>& folderPaths);
    void show(const FolderRead& listing, bool announce);
    static QTreeWidgetItem* entry(const QIcon& icon, const std::string& name, const std::string& path);

    std::string m_path;
    // The subfolders shown.
    std::vector<std::string> m_names;
    QTreeWidgetItem* m_current = nullptr;
    BackgroundRead m_read{*viewport()};
};
