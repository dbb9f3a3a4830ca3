#include "drivelist.h"

#include "plaintooltip.h"

#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace {

constexpr int pathRole = Qt::UserRole;

// File systems that are not volumes a person keeps files on.
constexpr std::array<std::string_view, 33> pseudoTypes{
    "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "securityfs", "cgroup", "cgroup2",
    "pstore", "bpf", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs",
    "autofs", "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "nfsd", "squashfs", "overlay",
    "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse", "fuse.lxcfs", "swap",
    "devfs", "none"};

// File systems reached over the network: listed only where people mount their own volumes.
constexpr std::array<std::string_view, 8> networkTypes{
    "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "davfs"};

// Places where a person's own volumes are mounted.
constexpr std::array<std::string_view, 4> userPlaces{"/media/", "/run/media/", "/mnt/", "/home/"};

// Places that belong to the system, never shown as a drive of their own.
constexpr std::array<std::string_view, 10> systemPlaces{
    "/boot", "/efi", "/snap", "/var", "/usr", "/proc", "/sys", "/dev", "/run", "/tmp"};

bool isUnder(std::string_view path, std::string_view place)
{
    if (place.back() == '/')
        return path.starts_with(place);
    return path == place || (path.starts_with(place) && path.size() > place.size() &&
                             path[place.size()] == '/');
}

template <std::size_t N>
bool isAny(std::string_view value, const std::array<std::string_view, N>& list)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

template <std::size_t N>
bool isUnderAny(std::string_view path, const std::array<std::string_view, N>& places)
{
    return std::any_of(places.begin(), places.end(),
                       [&](std::string_view place) { return isUnder(path, place); });
}

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

// Undoes the octal escapes of the mount table ("\040" for a blank).
std::string unescape(std::string_view field)
{
    std::string result;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            result += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            result += field[i];
        }
    }
    return result;
}

bool holds(const std::string& mountPath, const std::string& path)
{
    return mountPath == "/" || isUnder(path, mountPath);
}

// Volume labels by device, from the links udev keeps under /dev/disk/by-label.
std::map<std::string, std::string> labelsByDevice()
{
    std::map<std::string, std::string> labels;
    std::error_code error;
    const std::filesystem::path folder = "/dev/disk/by-label";
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const auto target = std::filesystem::canonical(it->path(), error);
        if (!error)
            labels[target.string()] = QFile::decodeName(QByteArray::fromStdString(it->path().filename().string()))
                                          .replace(QStringLiteral("\\x20"), QStringLiteral(" "))
                                          .toStdString();
        error.clear();
    }
    return labels;
}

} // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent)
{
    setPlaceholderText(tr("Reading\u2026"));
    reload();
}

void DriveList::reload()
{
    m_read.start<std::vector<Drive>>([home = QDir::homePath().toStdString()] { return readDrives(home); },
                                     [this](std::vector<Drive>& drives) { fill(drives); });
}

std::vector<DriveList::Drive> DriveList::readDrives(const std::string& homePath)
{
    std::ifstream file("/proc/self/mounts");
    const std::string table{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<Drive> drives = parseMounts(table, homePath);
    const auto labels = labelsByDevice();
    for (Drive& drive : drives) {
        if (const auto label = labels.find("/dev/" + drive.name); label != labels.end())
            drive.name = label->second;
    }
    return drives;
}

void DriveList::setDrives(const std::vector<Drive>& drives)
{
    m_read.supersede();
    fill(drives);
}

void DriveList::fill(const std::vector<Drive>& drives)
{
    {
        const QSignalBlocker blocker(this);
        clear();
        for (const Drive& drive : drives) {
            // A long mount path is cut short in the list; the tooltip has it whole.
            addItem(textOf(drive), QByteArray::fromStdString(drive.mountPath));
            setItemData(count() - 1, PlainToolTip::of(textOf(drive)), Qt::ToolTipRole);
        }
    }
    if (!m_followed.empty())
        followPath(m_followed);
}

bool DriveList::event(QEvent* event)
{
    // The chosen drive, whole, whatever the list had room to show.
    if (event->type() == QEvent::ToolTip && count() > 0) {
        PlainToolTip::show(static_cast<QHelpEvent*>(event)->globalPos(), currentText(), this);
        return true;
    }
    return QComboBox::event(event);
}

std::string DriveList::drive() const
{
    return currentData(pathRole).toByteArray().toStdString();
}

void DriveList::followPath(const std::string& path)
{
    m_followed = path;
    int best = -1;
    std::size_t bestLength = 0;
    for (int row = 0; row < count(); ++row) {
        const std::string mountPath = itemData(row, pathRole).toByteArray().toStdString();
        if (holds(mountPath, path) && (best < 0 || mountPath.size() > bestLength)) {
            best = row;
            bestLength = mountPath.size();
        }
    }
    if (best >= 0 && best != currentIndex()) {
        const QSignalBlocker blocker(this);
        setCurrentIndex(best);
    }
}

std::vector<DriveList::Drive> DriveList::parseMounts(std::string_view mountTable,
                                                     const std::string& homePath)
{
    std::vector<Drive> found;
    std::istringstream lines{std::string(mountTable)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type))
            continue;
        mountPoint = unescape(mountPoint);
        device = unescape(device);
        if (isAny(type, pseudoTypes) && mountPoint != "/")
            continue;
        const bool network = isAny(type, networkTypes);
        const bool blockDevice = device.starts_with("/dev/");
        const bool userPlace = isUnderAny(mountPoint, userPlaces);
        const bool keep = mountPoint == "/" || (network && userPlace) ||
                          (!network && (blockDevice || userPlace) &&
                           (userPlace || !isUnderAny(mountPoint, systemPlaces)));
        if (!keep)
            continue;
        std::string name = blockDevice ? std::filesystem::path(device).filename().string() : device;
        if (name.empty() || name == "none")
            name = type;
        // A volume mounted twice is shown once, at its last place in the table (the one in use).
        std::erase_if(found, [&](const Drive& d) { return d.mountPath == mountPoint; });
        found.push_back({mountPoint, name});
    }

    // The root first, then the volume that holds the home folder, then the others as mounted.
    std::vector<Drive> drives;
    const auto root = std::find_if(found.begin(), found.end(),
                                   [](const Drive& d) { return d.mountPath == "/"; });
    drives.push_back(root != found.end() ? *root : Drive{"/", "/"});
    const Drive* home = nullptr;
    for (const Drive& d : found) {
        if (d.mountPath != "/" && holds(d.mountPath, homePath) &&
            (home == nullptr || d.mountPath.size() > home->mountPath.size()))
            home = &d;
    }
    if (home != nullptr)
        drives.push_back(*home);
    for (const Drive& d : found) {
        if (d.mountPath != "/" && &d != home)
            drives.push_back(d);
    }
    return drives;
}

QString DriveList::textOf(const Drive& drive)
{
    return QFile::decodeName(QByteArray::fromStdString(drive.mountPath)) + QStringLiteral("  [") +
           QFile::decodeName(QByteArray::fromStdString(drive.name)) + QLatin1Char(']');
}
