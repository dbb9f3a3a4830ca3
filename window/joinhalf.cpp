#include "joinhalf.h"

#include "controltable.h"
#include "destinationpicker.h"
#include "directorylist.h"
#include "drivelist.h"
#include "elidedlabel.h"
#include "filelist.h"
#include "folderpane.h"
#include "windowlook.h"

#include <QPushButton>

namespace {

// "Verify" was added right of "Join", in pixels.
const QRect verifyArea(121, 336, 89, 25);
// Where the rebuilt file goes, between the buttons and the joined folder's name.
const QRect destinationArea(24, 365, 356, 22);
// "Repair" right of "Verify".
const QRect repairArea(215, 336, 89, 25);

} // namespace

JoinHalf::JoinHalf(QWidget& window, ControlTable& table) : QObject(&window)
{
    m_command3 = WindowLook::pushButton(tr("Join"), window);
    m_source = new FolderPane(window);
    m_label3 = new ElidedLabel(&window);
    m_verify = WindowLook::pushButton(tr("Verify"), window);
    m_destination = new DestinationPicker(tr("Save joined file in:"),
                                          tr("In the pieces folder"), tr("the pieces folder"),
                                          QStringLiteral("JoinDestination"), &window);
    m_repair = WindowLook::pushButton(tr("Repair"), window);
    m_repair->setEnabled(false);

    // Each control's place, its name, what a screen reader calls it, and its tab index.
    const auto twips = &ControlTable::twips;
    table.enter({
        {m_command3, "Command3", twips(360, 5040, 1335, 375), nullptr, 1},
        {&m_source->drives(), "Drive1", twips(5880, 4920, 4455, 315),
         QT_TRANSLATE_NOOP("ControlTable", "Drive of the pieces to join"), 7},
        {&m_source->folders(), "Dir1", twips(5880, 5400, 4455, 1215),
         QT_TRANSLATE_NOOP("ControlTable", "Folder of the pieces to join"), 5},
        {m_label3, "Label3", twips(360, 5880, 4455, 375), QT_TRANSLATE_NOOP("ControlTable", "Joined folder")},
        {&m_source->files(), "File2", twips(5880, 6720, 4455, 1455),
         QT_TRANSLATE_NOOP("ControlTable", "Files of the folder to join"), 6},
        {m_verify, "VerifyButton", verifyArea, nullptr, 20},
        {m_repair, "Repair", repairArea, nullptr, 21},
        // After the buttons: the join's last stop, below them as on the screen.
        {m_destination, "JoinDestination", destinationArea,
         QT_TRANSLATE_NOOP("ControlTable", "Save joined file in"), 22},
    });
    connect(&m_source->folders(), &DirectoryList::pathShown, this, [this] { offerRepair(false); });
}

void JoinHalf::rest(RunKind kind, bool resting)
{
    m_command3->setEnabled(!resting);
    m_verify->setEnabled(!resting);
    m_repair->setEnabled(!resting && m_repairOffered);
    if (kind != RunKind::Split)
        m_source->setEnabled(!resting);
    if (kind == RunKind::Join)
        m_destination->setEnabled(!resting);
}

void JoinHalf::offerRepair(bool offered)
{
    m_repairOffered = offered;
    m_repair->setEnabled(offered);
}
