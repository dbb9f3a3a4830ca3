#include "form1.h"

#include "accessiblecombobox.h"
#include "controltable.h"
#include "destinationpicker.h"
#include "directorylist.h"
#include "drivelist.h"
#include "filelist.h"
#include "focusring.h"
#include "folderpane.h"
#include "joinhalf.h"
#include "numericfield.h"
#include "pathopener.h"
#include "runcontroller.h"
#include "runpanel.h"
#include "runs.h"
#include "splitform.h"
#include "splithalf.h"
#include "windowlook.h"
#include "windowsettings.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

namespace {

const QString caption = QStringLiteral("Quarb's File Splitter");
const QSize windowSize(709, 550);
constexpr int timerInterval = 100; // milliseconds
constexpr int titlePoints = 24;

} // namespace

Form1::Form1(UserFeedback& feedback, qfs::FileLayer& files, QWidget* parent)
    : QWidget(parent), m_feedback(feedback), m_runner(files)
{
    setWindowTitle(caption);
    setWindowIcon(QIcon(QStringLiteral(":/icons/org.quarb.FileSplitter.png")));
    setFixedSize(windowSize);
    AccessibleComboBox::install();
    createControls();
    connectControls();

    Form_Load();
    WindowSettings::restore(*m_split, *m_join);
    m_timer1->start();

    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
    m_split->splitButton().setFocus();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    // The tab indices of the halves' rows keep the window's first order: Split, Join, unit,
    // size, then the lists, the count and the options; then what was added since.
    ControlTable table;
    m_split = new SplitHalf(*this, table);
    m_label4 = new QLabel(caption, this);
    m_line1 = new QFrame(this);
    // The line runs from (120, 4680) to (10440, 4680), both ends included, one pixel thick.
    constexpr int pixel = ControlTable::twipsPerPixel;
    table.enter({
        {m_label4, "Label4", ControlTable::twips(2760, 4080, 6015, 495),
         QT_TRANSLATE_NOOP("ControlTable", "Quarb's File Splitter")},
        {m_line1, "Line1", ControlTable::twips(120, 4680, 10440 - 120 + pixel, pixel),
         QT_TRANSLATE_NOOP("ControlTable", "Divider between split and join")},
    });
    m_join = new JoinHalf(*this, table);
    table.chainTabOrder();
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(timerInterval);

    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPointSize(titlePoints);
    m_label4->setFont(titleFont);
    m_label4->installEventFilter(this);

    m_line1->setFrameShape(QFrame::HLine);
    m_line1->setFrameShadow(QFrame::Plain);
    m_line1->setLineWidth(1);
    QPalette linePalette = m_line1->palette();
    linePalette.setColor(QPalette::WindowText, Qt::black);
    m_line1->setPalette(linePalette);

    // The run shows below the join side, in the room the table leaves there.
    m_runPanel = new RunPanel(this);
    m_runPanel->setObjectName(QStringLiteral("RunPanel"));
    WindowLook::paintPlain(*m_runPanel);
    new FocusRing(*this);
}

void Form1::connectControls()
{
    m_split->count().setKeyHandler([this](std::int16_t& keyAscii) { Text1_KeyPress(keyAscii); });
    m_split->size().setKeyHandler([this](std::int16_t& keyAscii) { Text2_KeyPress(keyAscii); });
    connect(&m_split->bySize(), &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option1_Click();
    });
    connect(&m_split->byCount(), &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option2_Click();
    });
    connect(&m_split->splitButton(), &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(&m_join->joinButton(), &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(&m_join->verifyButton(), &QPushButton::clicked, this, [this] {
        if (!m_runner.isRunning())
            m_runner.start(verifyRun(qfs::VerifyRequest{m_join->source().path()}));
    });
    connect(m_timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    // Choosing the drive already chosen changes nothing: the folder stays.
    connect(&m_split->source().drives(), &QComboBox::currentIndexChanged, this, &Form1::Drive2_Change);
    connect(&m_join->source().drives(), &QComboBox::currentIndexChanged, this, &Form1::Drive1_Change);
    connect(&m_split->source().folders(), &DirectoryList::pathShown, this, &Form1::Dir2_Change);
    connect(&m_join->source().folders(), &DirectoryList::pathShown, this, &Form1::Dir1_Change);

    m_opener = new PathOpener(*this, m_split->source(), m_join->source());
    m_opener->takeDrops(*this, m_line1->geometry().top(), [this] { return m_runner.isRunning(); });
    const auto showError = [this](const qfs::Error& error) { showMessage(QString::fromStdString(error.message())); };
    connect(&m_split->source(), &FolderPane::failed, this, showError);
    connect(&m_join->source(), &FolderPane::failed, this, showError);
    connect(m_opener, &PathOpener::failed, this, showError);
    connect(&m_split->destination(), &DestinationPicker::failed, this, showError);
    connect(&m_join->destination(), &DestinationPicker::failed, this, showError);

    // F5 reads both sides' folders again, as a change in them does.
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this, [this] {
        m_split->source().refresh();
        m_join->source().refresh();
    });

    m_run = new RunController(m_runner, {*this, *m_timer1, *m_runPanel, *m_split, *m_join}, m_feedback);
    connect(&m_join->repairButton(), &QPushButton::clicked, m_run, &RunController::startRepair);
}

void Form1::Form_Load()
{
    m_split->unit().setCurrentIndex(SplitForm::defaultUnitIndex);
    m_split->pieces().hide();
    if (m_split->bySize().isChecked())
        Option1_Click();
    else
        m_split->bySize().setChecked(true);
    m_title.reset();
}

void Form1::Option1_Click()
{
    m_split->showMode(qfs::SplitMode::BySize);
}

void Form1::Option2_Click()
{
    m_split->showMode(qfs::SplitMode::ByCount);
}

void Form1::Drive1_Change()
{
    m_join->source().openDrive();
}

void Form1::Drive2_Change()
{
    m_split->source().openDrive();
}

void Form1::Dir1_Change()
{
    m_join->source().followFolder();
}

void Form1::Dir2_Change()
{
    m_split->source().followFolder();
}

void Form1::Command2_Click()
{
    if (m_runner.isRunning())
        return;
    const auto reading = m_split->take();
    if (const auto* refusal = std::get_if<SplitForm::Refusal>(&reading)) {
        // A refused split starts nothing and leaves the window as it was, its timer running.
        showMessage(refusal->message);
        m_split->focus(refusal->focus);
        m_timer1->start();
        return;
    }
    m_runner.start(splitRun(std::get<qfs::SplitRequest>(reading)));
}

void Form1::Command3_Click()
{
    if (!m_runner.isRunning())
        m_runner.start(joinRun(qfs::JoinRequest{m_join->source().path(), m_join->destination().folder()}));
}

void Form1::Timer1_Timer()
{
    NumericField::NormalizeNumericField(m_split->size());
    NumericField::NormalizeNumericField(m_split->count());
    TitleAnimator::Colour colour{};
    if (m_title.tick(colour)) {
        QPalette palette = m_label4->palette();
        palette.setColor(QPalette::WindowText, QColor(colour.red, colour.green, colour.blue));
        m_label4->setPalette(palette);
    }
}

void Form1::Text1_KeyPress(std::int16_t& keyAscii)
{
    keyAscii = NumericField::FilterNumericKey(keyAscii);
}

void Form1::Text2_KeyPress(std::int16_t& keyAscii)
{
    keyAscii = NumericField::FilterNumericKey(keyAscii);
}

void Form1::Label4_DblClick()
{
    m_title.toggle();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label4 && event->type() == QEvent::MouseButtonDblClick) {
        Label4_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!m_run->mayClose()) {
        event->ignore();
        return;
    }
    WindowSettings::remember(*m_split, *m_join);
    QWidget::closeEvent(event);
}

void Form1::openPath(const std::string& path)
{
    m_opener->open(path, PathOpener::Side::ByKind);
}

void Form1::openForSplit(const std::string& path)
{
    m_opener->open(path, PathOpener::Side::Split);
}

void Form1::openForJoin(const std::string& path)
{
    m_opener->open(path, PathOpener::Side::Join);
}

bool Form1::isReading() const
{
    return m_opener->isReading() || m_split->isReading() || m_join->destination().isReading() ||
           m_split->source().isRefreshing() || m_join->source().isRefreshing();
}

void Form1::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(rect(), WindowLook::background);
    QWidget::paintEvent(event);
}

void Form1::showMessage(const QString& text)
{
    m_feedback.message(*this, text);
}
