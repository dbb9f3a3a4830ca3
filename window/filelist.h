#pragma once

#include "error.h"

#include <QListWidget>
#include <QStringList>

#include <string>
#include <vector>

// The regular files of one folder (links to regular files included), in the engine's
// natural name order, re-read on demand. Names are kept as the system gives them, so a name
// that is not valid text still reaches the engine unchanged.
class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Shows this folder's files. On failure the list stays as it was.
    qfs::Error setPath(const std::string& folderPath);
    qfs::Error reread() { return setPath(m_path); }
    const std::string& path() const { return m_path; }

    // Points the list at a folder known to be empty, without reading it.
    void showEmptyFolder(const std::string& folderPath);
    // Adds a name at the end; it shows up at the next flush().
    void appendName(const std::string& name);
    // Puts the names added since the last flush into the list, all in one go.
    void flush();

    // The selected name, or an empty text when nothing is selected.
    std::string selectedName() const;
    // Every listed name, in the list's order.
    std::vector<std::string> names() const;

private:
    void showNames(const std::vector<std::string>& names);

    std::string m_path;
    std::vector<std::string> m_pending;
};
