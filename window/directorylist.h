#pragma once

#include "error.h"

#include <QTreeWidget>

#include <string>

// One folder's place in the tree: its ancestors from the root down to it, then its
// subfolders, each indented one step deeper than the entry above it. Opening an entry
// (double-click or Enter) is left to the owner, which asks for the entry's path.
class DirectoryList : public QTreeWidget {
    Q_OBJECT

public:
    explicit DirectoryList(QWidget* parent = nullptr);

    // Shows this folder. On failure the list stays as it was.
    qfs::Error setPath(const std::string& folderPath);
    // Reads the current folder's subfolders again.
    qfs::Error reread() { return setPath(m_path); }
    const std::string& path() const { return m_path; }
    // Highlights the entry of the folder shown again.
    void highlightCurrent();

    // The folder an entry stands for.
    static std::string pathOf(const QTreeWidgetItem& item);

private:
    static QTreeWidgetItem* entry(const QIcon& icon, const std::string& name, const std::string& path);

    std::string m_path;
    QTreeWidgetItem* m_current = nullptr;
};
