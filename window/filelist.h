#pragma once

#include "backgroundread.h"
#include "engine/fs/error.h"

#include <QListWidget>
#include <QStringList>

#include <string>
#include <vector>

// The regular files of one folder (links to regular files included), in the engine's
// natural name order, re-read on demand. Names are kept as the system gives them, so a name
// that is not valid text still reaches the engine unchanged. Folders are read off the
// window's thread (BackgroundRead); the list says so while a read takes long.
class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Asks for this folder's files. Once they are read the list shows them, with the name
    // that was selected still selected when it is the same folder; when the folder cannot be
    // read, the list stays as it was and emits readFailed(). A later request, or
    // showEmptyFolder(), supersedes this one.
    void setPath(const std::string& folderPath);
    void reread() { setPath(m_path); }
    // As reread(), but a folder that cannot be read is not reported (the tree finds where to
    // go instead), and an unchanged list is left as it is.
    void refresh();
    // The folder shown.
    const std::string& path() const { return m_path; }
    bool isReading() const { return m_read.isReading(); }

    // Once this folder's files are shown next (by a setPath() of the same path), the entry of
    // this name is selected, when it is there.
    void selectWhenShown(const std::string& folderPath, const std::string& name);

    // Points the list at a folder known to be empty, without reading it.
    void showEmptyFolder(const std::string& folderPath);
    // Adds names at the end, all in one go, and scrolls to the last of them.
    void appendNames(const std::vector<std::string>& names);

    // The selected name, or an empty text when nothing is selected.
    std::string selectedName() const;

signals:
    void readFailed(const qfs::Error& error);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void read(const std::string& folderPath, bool reportFailure);
    // Whether the list shows exactly these names, in this order.
    bool shows(const std::vector<std::string>& names) const;
    void showNames(const std::vector<std::string>& names);
    // Selects the entry of this name, when there is one.
    void select(const std::string& name);
    void addNames(const std::vector<std::string>& names);

    std::string m_path;
    std::string m_selectFolder;
    std::string m_selectName;
    BackgroundRead m_read{*viewport()};
};
