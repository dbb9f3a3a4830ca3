#include "windowsettings.h"

#include "engine/text/nametext.h"

#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QtGlobal>

namespace {

// The file under the desktop's settings folder.
const QString fileUnderConfig = QStringLiteral("/quarb/file-splitter.conf");

const QString splitFolderKey = QStringLiteral("split/folder");
const QString modeKey = QStringLiteral("split/mode");
const QString unitKey = QStringLiteral("split/unit");
const QString sizeKey = QStringLiteral("split/size");
const QString countKey = QStringLiteral("split/count");
const QString joinFolderKey = QStringLiteral("join/folder");

const QString bySize = QStringLiteral("size");
const QString byCount = QStringLiteral("count");

// The settings file itself, and nothing else: QSettings made from the organization and the
// application would also read fallback files beside it and in the system's folders, each
// before anything could look at what it is.
QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + fileUnderConfig;
}

// Whether QSettings may open the file: it is a regular file (links followed), or nothing is
// there yet. Anything else is never opened: reading a FIFO waits for a writer that never
// comes, before the window has even appeared, and a device may never end. A file that cannot
// be looked at is left to QSettings, which copes with what it cannot read.
bool mayOpen(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode);
}

} // namespace

WindowSettings::Values WindowSettings::load()
{
    Values values;
    const QString path = settingsPath();
    if (!mayOpen(path)) {
        qWarning().noquote() << QString::fromStdString(qfs::NameText::printable(QFile::encodeName(path).toStdString()))
                             << "is not a regular file: starting with the default settings, and keeping none";
        return values;
    }
    const QSettings settings(path, QSettings::IniFormat);
    // Folders are kept as the system's bytes: a name that is not valid text comes back unchanged.
    Split& split = values.split;
    split.folder = settings.value(splitFolderKey).toByteArray().toStdString();
    if (settings.value(modeKey).toString() == byCount)
        split.mode = qfs::SplitMode::ByCount;
    bool isNumber = false;
    const int unit = settings.value(unitKey).toInt(&isNumber);
    if (isNumber && unit >= 0 && unit < int(SplitForm::units.size()))
        split.unitIndex = std::int16_t(unit);
    split.size = settings.value(sizeKey).toString();
    split.count = settings.value(countKey).toString();
    values.join.folder = settings.value(joinFolderKey).toByteArray().toStdString();
    return values;
}

void WindowSettings::save(const Values& values)
{
    const QString path = settingsPath();
    if (!mayOpen(path))
        return; // said when the window started
    QSettings settings(path, QSettings::IniFormat);
    const Split& split = values.split;
    settings.setValue(splitFolderKey, QByteArray::fromStdString(split.folder));
    settings.setValue(modeKey, split.mode == qfs::SplitMode::ByCount ? byCount : bySize);
    settings.setValue(unitKey, int(split.unitIndex));
    settings.setValue(sizeKey, split.size);
    settings.setValue(countKey, split.count);
    settings.setValue(joinFolderKey, QByteArray::fromStdString(values.join.folder));
}
