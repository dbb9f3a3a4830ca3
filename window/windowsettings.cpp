#include "windowsettings.h"

#include "engine/text/nametext.h"
#include "destinationpicker.h"
#include "folderpane.h"
#include "joinhalf.h"
#include "numericfield.h"
#include "splithalf.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
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
const QString recoveryKey = QStringLiteral("split/recovery");
const QString plainKey = QStringLiteral("split/plain");
const QString noteKey = QStringLiteral("split/note");
const QString joinFolderKey = QStringLiteral("join/folder");
const QString splitDestinationKey = QStringLiteral("split/destination");
const QString joinDestinationKey = QStringLiteral("join/destination");

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

// The number of recovery pieces as it was left; the plan then narrows its range.
void restoreRecovery(SplitHalf& split, const WindowSettings::Values& values)
{
    split.recoveryPieces().setValue(int(values.recoveryPieces));
}

} // namespace

void WindowSettings::restore(SplitHalf& split, JoinHalf& join)
{
    const Values values = load();
    split.source().openAtStart(values.splitFolder);
    join.source().openAtStart(values.joinFolder);
    (values.mode == qfs::SplitMode::BySize ? split.bySize() : split.byCount()).setChecked(true);
    split.unit().setCurrentIndex(values.unitIndex);
    split.size().setText(values.size);
    split.count().setText(values.count);
    split.destination().takeRemembered(values.splitDestination);
    join.destination().takeRemembered(values.joinDestination);
    restoreRecovery(split, values);
    split.plainPieces().setChecked(values.plainPieces);
    if (values.note)
        split.chooseNote(*values.note);
}

void WindowSettings::remember(const SplitHalf& split, const JoinHalf& join)
{
    save({split.source().path(), join.source().path(),
          split.bySize().isChecked() ? qfs::SplitMode::BySize : qfs::SplitMode::ByCount,
          std::int16_t(split.unit().currentIndex()), split.size().text(), split.count().text(),
          split.destination().folder(), join.destination().folder(),
          std::uint32_t(split.recoveryPieces().value()), split.plainPieces().isChecked(),
          split.noteChosen() ? std::optional<bool>(split.note().isChecked()) : std::nullopt});
}

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
    values.splitFolder = settings.value(splitFolderKey).toByteArray().toStdString();
    values.joinFolder = settings.value(joinFolderKey).toByteArray().toStdString();
    values.splitDestination = settings.value(splitDestinationKey).toByteArray().toStdString();
    values.joinDestination = settings.value(joinDestinationKey).toByteArray().toStdString();
    if (settings.value(modeKey).toString() == byCount)
        values.mode = qfs::SplitMode::ByCount;
    bool isNumber = false;
    const int unit = settings.value(unitKey).toInt(&isNumber);
    if (isNumber && unit >= 0 && unit < int(SplitForm::units.size()))
        values.unitIndex = std::int16_t(unit);
    values.size = settings.value(sizeKey).toString();
    values.count = settings.value(countKey).toString();
    const uint recovery = settings.value(recoveryKey).toUInt(&isNumber);
    if (isNumber && recovery <= SplitForm::largestRecovery)
        values.recoveryPieces = recovery;
    values.plainPieces = settings.value(plainKey).toBool();
    if (settings.contains(noteKey))
        values.note = settings.value(noteKey).toBool();
    return values;
}

void WindowSettings::save(const Values& values)
{
    const QString path = settingsPath();
    if (!mayOpen(path))
        return; // said when the window started
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(splitFolderKey, QByteArray::fromStdString(values.splitFolder));
    settings.setValue(joinFolderKey, QByteArray::fromStdString(values.joinFolder));
    settings.setValue(modeKey, values.mode == qfs::SplitMode::ByCount ? byCount : bySize);
    settings.setValue(unitKey, int(values.unitIndex));
    settings.setValue(sizeKey, values.size);
    settings.setValue(countKey, values.count);
    settings.setValue(splitDestinationKey, QByteArray::fromStdString(values.splitDestination));
    settings.setValue(joinDestinationKey, QByteArray::fromStdString(values.joinDestination));
    settings.setValue(recoveryKey, values.recoveryPieces);
    settings.setValue(plainKey, values.plainPieces);
    if (values.note)
        settings.setValue(noteKey, *values.note);
    else
        settings.remove(noteKey);
}
