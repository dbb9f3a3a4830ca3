#pragma once

#include "backgroundread.h"
#include "engine/fs/error.h"

#include <QWidget>

#include <string>

class ElidedLabel;
class QAction;
class QLabel;
class QToolButton;

// Where a run writes what it makes: a caption ("Save pieces in:"), the folder chosen, and a
// button with a small menu, "Choose folder…" (the desktop's folder dialog) and the default
// ("Beside the file"). No folder chosen means the default, which the run's engine takes as an
// empty destination; the label then says so in words. A folder dropped onto the control
// becomes the destination; a folder remembered from the last run is taken back only while it
// is still a folder. Whether a dropped or remembered path is a folder is asked off the window's
// thread. The folder shows as plain text, shortened in the middle, the whole path as tooltip.
class DestinationPicker : public QWidget {
    Q_OBJECT

public:
    // `name` prefixes the children's object names ("SplitDestination" gives
    // "SplitDestinationFolder" and "SplitDestinationButton"); the button takes the focus and
    // the Tab stop for the whole control.
    DestinationPicker(const QString& caption, const QString& defaultEntry, const QString& defaultShown,
                      const QString& name, QWidget* parent = nullptr);

    // The folder chosen: absolute and normal; empty for the default.
    const std::string& folder() const { return m_folder; }
    // Chooses a folder as the dialog would (empty: the default) and says so (changed()).
    void setFolder(const std::string& folder);
    // Opens the folder dialog, starting in the folder chosen; a folder picked there is taken.
    void chooseByDialog();
    // Takes `path` once it is found to be a folder. A dropped path that is not one is told
    // (failed()); a remembered one is quietly left, and the default stays.
    void takeDropped(const std::string& path);
    void takeRemembered(const std::string& path);
    bool isReading() const { return m_read.isReading(); }

signals:
    void changed();
    void failed(const qfs::Error& error);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void take(const std::string& path, bool quiet);

    QLabel* m_caption = nullptr;
    ElidedLabel* m_shown = nullptr;
    QToolButton* m_button = nullptr;
    QString m_defaultShown;
    std::string m_folder;
    BackgroundRead m_read{*this};
};
