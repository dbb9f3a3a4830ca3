#pragma once

#include "backgroundread.h"

#include <QComboBox>

#include <string>
#include <string_view>
#include <vector>

// The mounted volumes a person would recognise: the root file system first, then the volume
// holding the home folder, then removable media and other disks. Pseudo, snap and system
// file systems stay out. The list is built from the mount table alone: nothing is asked of
// the volumes themselves, so a dead network mount cannot hold the window up; the table is
// read off the window's thread all the same, and the list says "Reading…" until it is.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    struct Drive {
        std::string mountPath;
        std::string name;
    };

    explicit DriveList(QWidget* parent = nullptr);

    // Reads the system's mount table again; the list fills when it is read.
    void reload();
    bool isReading() const { return m_read.isReading(); }
    // Fills the list with these drives (a reload under way is dropped).
    void setDrives(const std::vector<Drive>& drives);

    // The mount path of the chosen drive.
    std::string drive() const;
    // Chooses the drive that holds this path, without raising the change signal; drives read
    // later follow it too.
    void followPath(const std::string& path);

    // The drives of a mount table in the format of /proc/self/mounts, in the order shown.
    static std::vector<Drive> parseMounts(std::string_view mountTable, const std::string& homePath);
    // The text shown for a drive: its mount path and, in brackets, its name.
    static QString textOf(const Drive& drive);

protected:
    bool event(QEvent* event) override;

private:
    void fill(const std::vector<Drive>& drives);
    static std::vector<Drive> readDrives(const std::string& homePath);

    std::string m_followed;
    BackgroundRead m_read{*this};
};
