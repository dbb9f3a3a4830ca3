#include "windowsettings.h"

#include <QSettings>

namespace {

// The folder and file under the settings location.
const QString organization = QStringLiteral("quarb");
const QString application = QStringLiteral("file-splitter");

const QString splitFolderKey = QStringLiteral("split/folder");
const QString modeKey = QStringLiteral("split/mode");
const QString unitKey = QStringLiteral("split/unit");
const QString sizeKey = QStringLiteral("split/size");
const QString countKey = QStringLiteral("split/count");
const QString joinFolderKey = QStringLiteral("join/folder");

const QString bySize = QStringLiteral("size");
const QString byCount = QStringLiteral("count");

} // namespace

WindowSettings::Values WindowSettings::load()
{
    const QSettings settings(organization, application);
    Values values;
    // Folders are kept as the system's bytes: a name that is not valid text comes back unchanged.
    values.splitFolder = settings.value(splitFolderKey).toByteArray().toStdString();
    values.joinFolder = settings.value(joinFolderKey).toByteArray().toStdString();
    if (settings.value(modeKey).toString() == byCount)
        values.mode = qfs::SplitMode::ByCount;
    bool isNumber = false;
    const int unit = settings.value(unitKey).toInt(&isNumber);
    if (isNumber && unit >= 0 && unit < int(qfs::sizeUnits.size()))
        values.unitIndex = std::int16_t(unit);
    values.size = settings.value(sizeKey).toString();
    values.count = settings.value(countKey).toString();
    return values;
}

void WindowSettings::save(const Values& values)
{
    QSettings settings(organization, application);
    settings.setValue(splitFolderKey, QByteArray::fromStdString(values.splitFolder));
    settings.setValue(joinFolderKey, QByteArray::fromStdString(values.joinFolder));
    settings.setValue(modeKey, values.mode == qfs::SplitMode::ByCount ? byCount : bySize);
    settings.setValue(unitKey, int(values.unitIndex));
    settings.setValue(sizeKey, values.size);
    settings.setValue(countKey, values.count);
}
