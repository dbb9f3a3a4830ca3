#include "splithalf.h"

#include "commonsizes.h"
#include "controltable.h"
#include "destinationpicker.h"
#include "directorylist.h"
#include "drivelist.h"
#include "elidedlabel.h"
#include "filelist.h"
#include "folderpane.h"
#include "numericfield.h"
#include "planline.h"
#include "splitform.h"
#include "windowlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>

#include <initializer_list>

namespace {

// What was added beside the first controls, in pixels: the common sizes above the size field
// and the unit list, the plan between the count field and the split folder's name, the
// checksums between the pieces list and "Split".
const QRect commonSizesArea(192, 2, 110, 20);
const QRect planArea(24, 84, 360, 34);
const QRect checksumsArea(24, 250, 160, 20);
// Where the pieces go, above the drive list of the file to split: the only row of the half
// with room for a path.
const QRect destinationArea(392, 6, 297, 22);
// "Recovery pieces" and its number right of the checksums.
const QRect recoveryLabelArea(186, 250, 114, 20);
const QRect recoveryArea(302, 248, 62, 24);
// How the pieces are made, in the gap between the drive list and the folder tree of the file
// to split, under where they go: plain pieces, and the note for a recipient.
const QRect plainArea(392, 56, 167, 22);
const QRect noteArea(561, 56, 128, 22);

} // namespace

SplitHalf::SplitHalf(QWidget& window, ControlTable& table) : QObject(&window)
{
    auto* label1 = new QLabel(tr("FileName"), &window);
    m_option1 = new QRadioButton(tr("Specify size"), &window);
    m_text2 = new NumericField(&window);
    m_combo1 = new QComboBox(&window);
    SplitForm::fillUnits(*m_combo1);
    m_option2 = new QRadioButton(tr("Specify Number of files"), &window);
    m_text1 = new NumericField(&window);
    m_label2 = new ElidedLabel(&window);
    m_file1 = new FileList(&window);
    m_source = new FolderPane(window);
    m_command2 = WindowLook::pushButton(tr("Split"), window);
    m_plan = new PlanLine(&window);
    m_sizes = new CommonSizes(&window);
    m_checksums = new QCheckBox(tr("Write checksums"), &window);
    m_checksums->setChecked(true);
    m_destination = new DestinationPicker(tr("Save pieces in:"), tr("Beside the file"),
                                          tr("beside the file"), QStringLiteral("SplitDestination"),
                                          &window);

    // Each control's place, its name, what a screen reader calls it, and its tab index.
    const auto twips = &ControlTable::twips;
    table.enter({
        {label1, "Label1", twips(360, 120, 1455, 255)},
        {m_option1, "Option1", twips(360, 360, 2175, 375), nullptr, 12},
        {m_text2, "Text2", twips(2880, 360, 1215, 315), QT_TRANSLATE_NOOP("ControlTable", "Piece size"), 3},
        {m_combo1, "Combo1", twips(4200, 360, 1455, 315),
         QT_TRANSLATE_NOOP("ControlTable", "Unit of the piece size"), 2},
        {m_option2, "Option2", twips(360, 840, 2775, 375), nullptr, 13},
        {m_text1, "Text1", twips(4320, 840, 1215, 375), QT_TRANSLATE_NOOP("ControlTable", "Number of files"), 11},
        {m_label2, "Label2", twips(360, 1800, 5295, 255), QT_TRANSLATE_NOOP("ControlTable", "Split folder")},
        {m_file1, "File1", twips(360, 2280, 4575, 1455),
         QT_TRANSLATE_NOOP("ControlTable", "Pieces of the last split"), 4},
        {&m_source->drives(), "Drive2", twips(5880, 480, 3615, 315),
         QT_TRANSLATE_NOOP("ControlTable", "Drive of the file to split"), 8},
        {&m_source->folders(), "Dir2", twips(5880, 1200, 4455, 1440),
         QT_TRANSLATE_NOOP("ControlTable", "Folder of the file to split"), 9},
        {&m_source->files(), "File3", twips(5880, 2760, 4455, 1260),
         QT_TRANSLATE_NOOP("ControlTable", "File to split"), 10},
        {m_command2, "Command2", twips(360, 4080, 1335, 375), nullptr, 0},
        {m_plan, "PlanLine", planArea},
        {m_sizes, "CommonSizes", commonSizesArea, nullptr, 14},
        {m_checksums, "ChecksumBox", checksumsArea, QT_TRANSLATE_NOOP("ControlTable", "Write checksums"), 15},
        // After the split's other stops, before the join's.
        {m_destination, "SplitDestination", destinationArea, QT_TRANSLATE_NOOP("ControlTable", "Save pieces in"), 17},
    });

    groupModes(window);
    // The label names the list of files to split: a screen reader hears it with the list.
    label1->setBuddy(&m_source->files());

    // The options take the window's colour; the lists and fields keep theirs.
    for (QWidget* widget : std::initializer_list<QWidget*>{m_option1, m_option2, m_checksums})
        WindowLook::paintPlain(*widget);

    // Whatever changes the split's input changes the plan.
    connect(&m_source->files(), &QListWidget::itemSelectionChanged, this, &SplitHalf::showPlan);
    connect(m_text2, &QLineEdit::textChanged, this, &SplitHalf::showPlan);
    connect(m_text1, &QLineEdit::textChanged, this, &SplitHalf::showPlan);
    connect(m_option1, &QRadioButton::toggled, this, &SplitHalf::showPlan);
    connect(m_combo1, &QComboBox::currentIndexChanged, this, &SplitHalf::showPlan);
    connect(m_checksums, &QCheckBox::toggled, this, &SplitHalf::showPlan);
    connect(m_destination, &DestinationPicker::changed, this, &SplitHalf::showPlan);
    connect(m_sizes, &CommonSizes::chosen, this, [this](const QString& amount, int unitIndex) {
        m_text2->setText(amount);
        m_combo1->setCurrentIndex(unitIndex);
    });
    makeRecovery(window, table);
    makeFormat(window, table);
}

void SplitHalf::makeFormat(QWidget& window, ControlTable& table)
{
    m_plain = new QCheckBox(tr("Pieces anyone can join"), &window);
    m_plain->setToolTip(tr("Plain pieces, name.001, name.002, …, that put back to back (cat, copy /b) are the "
                           "file again"));
    m_note = new QCheckBox(tr("How-to-join note"), &window);
    m_note->setToolTip(tr("Write name.how-to-join.txt beside the pieces: the commands that check and join them "
                          "on Linux, macOS and Windows"));
    table.enter({
        {m_plain, "PlainPieces", plainArea, nullptr, 18},
        {m_note, "NoteBox", noteArea, "Write how-to-join note", 19},
    });
    for (QWidget* widget : std::initializer_list<QWidget*>{m_plain, m_note})
        WindowLook::paintPlain(*widget);
    // The note follows the pieces' format until the user sets it.
    connect(m_note, &QCheckBox::clicked, this, [this] { m_noteChosen = true; });
    connect(m_plain, &QCheckBox::toggled, this, [this](bool plain) {
        if (!m_noteChosen)
            m_note->setChecked(plain);
    });
}

void SplitHalf::chooseNote(bool write)
{
    m_note->setChecked(write);
    m_noteChosen = true;
}

void SplitHalf::makeRecovery(QWidget& window, ControlTable& table)
{
    auto* label = new QLabel(tr("Recovery pieces"), &window);
    m_recovery = new QSpinBox(&window);
    m_recovery->setRange(0, int(SplitForm::largestRecovery));
    m_recovery->setValue(int(SplitForm::defaultRecoveryPieces));
    label->setBuddy(m_recovery);
    table.enter({
        {label, "RecoveryLabel", recoveryLabelArea},
        {m_recovery, "RecoveryPieces", recoveryArea, QT_TRANSLATE_NOOP("ControlTable", "Recovery pieces"), 16},
    });
    WindowLook::paintPlain(*label);
    connect(m_recovery, &QSpinBox::valueChanged, this, &SplitHalf::showPlan);
    // No more recovery pieces than pieces: any of them may be lost.
    connect(m_plan, &PlanLine::planShown, this, [this](std::uint64_t pieceCount) {
        m_recovery->setMaximum(int(std::min<std::uint64_t>(pieceCount, SplitForm::largestRecovery)));
    });
}

void SplitHalf::groupModes(QWidget& window)
{
    auto* modes = new QWidget(&window);
    modes->setObjectName(QStringLiteral("SplitMode"));
    modes->setAccessibleName(tr("How to cut the file"));
    modes->setGeometry(m_option1->geometry().united(m_option2->geometry()));
    for (QRadioButton* option : {m_option1, m_option2}) {
        const QRect place = option->geometry();
        option->setParent(modes);
        option->setGeometry(place.translated(-modes->pos()));
    }
}

bool SplitHalf::isReading() const
{
    return m_plan->isReading() || m_destination->isReading();
}

void SplitHalf::showMode(qfs::SplitMode mode)
{
    if (mode == qfs::SplitMode::BySize) {
        m_combo1->show();
        m_text2->show();
        m_sizes->show();
        m_text1->hide();
    } else {
        m_text1->show();
        m_text2->hide();
        m_combo1->hide();
        m_sizes->hide();
    }
}

SplitForm::Fields SplitHalf::fields() const
{
    return {m_source->path(),
            m_source->files().selectedName(),
            m_option1->isChecked(),
            m_text2->value(),
            m_combo1->currentIndex(),
            m_text1->value(),
            m_checksums->isChecked(),
            m_destination->folder(),
            std::uint32_t(m_recovery->value()),
            m_plain->isChecked(),
            m_note->isChecked()};
}

std::variant<qfs::SplitRequest, SplitForm::Refusal> SplitHalf::take()
{
    const SplitForm::Fields now = fields();
    auto reading = SplitForm::read(now);
    if (std::holds_alternative<qfs::SplitRequest>(reading) && now.bySize && now.unitIndex == -1)
        m_combo1->setCurrentIndex(SplitForm::defaultUnitIndex);
    return reading;
}

void SplitHalf::focus(SplitForm::Focus target)
{
    switch (target) {
    case SplitForm::Focus::FileList:
        m_source->files().setFocus();
        break;
    case SplitForm::Focus::SizeField:
        m_text2->setFocus();
        break;
    case SplitForm::Focus::CountField:
        m_text1->setFocus();
        break;
    }
}

void SplitHalf::showPlan()
{
    m_plan->showPlan(fields());
}

void SplitHalf::rest(RunKind kind, bool resting)
{
    m_command2->setEnabled(!resting);
    if (kind != RunKind::Split)
        return;
    for (QWidget* input : std::initializer_list<QWidget*>{m_option1, m_option2, m_text2, m_combo1, m_text1,
                                                          m_sizes, m_checksums, m_destination, m_recovery,
                                                          m_plain, m_note})
        input->setEnabled(!resting);
    m_source->setEnabled(!resting);
}
