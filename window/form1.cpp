#include "form1.h"

#include "accessiblecombobox.h"
#include "commonsizes.h"
#include "directorylist.h"
#include "drivelist.h"
#include "elidedlabel.h"
#include "filelist.h"
#include "focusring.h"
#include "folderpane.h"
#include "numericfield.h"
#include "planline.h"
#include "runcontroller.h"
#include "runpanel.h"
#include "runs.h"
#include "splitform.h"
#include "windowlook.h"
#include "windowsettings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <initializer_list>

namespace {

// Beside the table's controls, in pixels: the common sizes above the size field and the
// unit list, the plan between the count field and the split folder's name, the checksums
// between the pieces list and "Split", and "Verify" right of "Join".
const QRect commonSizesArea(192, 2, 110, 20);
const QRect planArea(24, 84, 360, 34);
const QRect checksumsArea(24, 250, 160, 20);
const QRect verifyArea(121, 336, 89, 25);

} // namespace

Form1::Form1(UserFeedback& feedback, qfs::FileLayer& files, QWidget* parent)
    : QWidget(parent), m_feedback(feedback), m_runner(files)
{
    setWindowTitle(QStringLiteral("Quarb's File Splitter"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/org.quarb.FileSplitter.png")));
    setFixedSize(709, 550);
    AccessibleComboBox::install();
    createControls();
    connectControls();
    connectRunner();
    setTabOrder();

    Form_Load();
    restore();
    m_timer1->start();

    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
    m_command2->setFocus();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    m_label1 = new QLabel(QStringLiteral("FileName"), this);
    m_option1 = new QRadioButton(QStringLiteral("Specify size"), this);
    m_text2 = new NumericField(this);
    m_combo1 = new QComboBox(this);
    SplitForm::fillUnits(*m_combo1);
    m_option2 = new QRadioButton(QStringLiteral("Specify Number of files"), this);
    m_text1 = new NumericField(this);
    m_label2 = new ElidedLabel(this);
    m_file1 = new FileList(this);
    m_splitSide = new FolderPane(*this);
    m_command2 = new QPushButton(QStringLiteral("Split"), this);
    m_label4 = new QLabel(QStringLiteral("Quarb's File Splitter"), this);
    m_line1 = new QFrame(this);
    m_command3 = new QPushButton(QStringLiteral("Join"), this);
    m_joinSide = new FolderPane(*this);
    m_label3 = new ElidedLabel(this);
    m_timer1 = new QTimer(this);
    m_timer1->setInterval(100);

    // Each control's place in twips (15 to a pixel), its name, and what a screen reader calls it.
    const struct {
        QWidget* widget;
        const char* name;
        QRect twips;
        const char* accessibleName;
    } table[] = {
        {m_label1, "Label1", {360, 120, 1455, 255}, nullptr},
        {m_option1, "Option1", {360, 360, 2175, 375}, nullptr},
        {m_text2, "Text2", {2880, 360, 1215, 315}, "Piece size"},
        {m_combo1, "Combo1", {4200, 360, 1455, 315}, "Unit of the piece size"},
        {m_option2, "Option2", {360, 840, 2775, 375}, nullptr},
        {m_text1, "Text1", {4320, 840, 1215, 375}, "Number of files"},
        {m_label2, "Label2", {360, 1800, 5295, 255}, "Split folder"},
        {m_file1, "File1", {360, 2280, 4575, 1455}, "Pieces of the last split"},
        {&m_splitSide->drives(), "Drive2", {5880, 480, 3615, 315}, "Drive of the file to split"},
        {&m_splitSide->folders(), "Dir2", {5880, 1200, 4455, 1440}, "Folder of the file to split"},
        {&m_splitSide->files(), "File3", {5880, 2760, 4455, 1260}, "File to split"},
        {m_command2, "Command2", {360, 4080, 1335, 375}, nullptr},
        {m_label4, "Label4", {2760, 4080, 6015, 495}, "Quarb's File Splitter"},
        {m_command3, "Command3", {360, 5040, 1335, 375}, nullptr},
        {&m_joinSide->drives(), "Drive1", {5880, 4920, 4455, 315}, "Drive of the pieces to join"},
        {&m_joinSide->folders(), "Dir1", {5880, 5400, 4455, 1215}, "Folder of the pieces to join"},
        {m_label3, "Label3", {360, 5880, 4455, 375}, "Joined folder"},
        {&m_joinSide->files(), "File2", {5880, 6720, 4455, 1455}, "Files of the folder to join"},
    };
    for (const auto& row : table) {
        constexpr int twipsPerPixel = 15;
        const QRect& t = row.twips;
        row.widget->setGeometry(t.x() / twipsPerPixel, t.y() / twipsPerPixel, t.width() / twipsPerPixel,
                                t.height() / twipsPerPixel);
        row.widget->setObjectName(QString::fromLatin1(row.name));
        if (row.accessibleName != nullptr)
            row.widget->setAccessibleName(QString::fromLatin1(row.accessibleName));
    }
    m_timer1->setObjectName(QStringLiteral("Timer1"));

    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPointSize(24);
    m_label4->setFont(titleFont);
    m_label4->installEventFilter(this);

    // A one-pixel line from (120, 4680) to (10440, 4680).
    m_line1->setObjectName(QStringLiteral("Line1"));
    m_line1->setFrameShape(QFrame::HLine);
    m_line1->setFrameShadow(QFrame::Plain);
    m_line1->setLineWidth(1);
    m_line1->setGeometry(120 / 15, 4680 / 15, (10440 - 120) / 15 + 1, 1);
    m_line1->setAccessibleName(QStringLiteral("Divider between split and join"));
    QPalette linePalette = m_line1->palette();
    linePalette.setColor(QPalette::WindowText, Qt::black);
    m_line1->setPalette(linePalette);

    // What the table leaves room for: the run, the plan, the common sizes, the focus.
    m_runPanel = new RunPanel(this);
    m_runPanel->setObjectName(QStringLiteral("RunPanel"));
    m_plan = new PlanLine(this);
    m_plan->setObjectName(QStringLiteral("PlanLine"));
    m_plan->setGeometry(planArea);
    m_sizes = new CommonSizes(this);
    m_sizes->setObjectName(QStringLiteral("CommonSizes"));
    m_sizes->setGeometry(commonSizesArea);
    m_checksums = new QCheckBox(QStringLiteral("Write checksums"), this);
    m_checksums->setObjectName(QStringLiteral("ChecksumBox"));
    m_checksums->setAccessibleName(m_checksums->text());
    m_checksums->setGeometry(checksumsArea);
    m_checksums->setChecked(true);
    m_verify = new QPushButton(QStringLiteral("Verify"), this);
    m_verify->setObjectName(QStringLiteral("VerifyButton"));
    m_verify->setGeometry(verifyArea);
    new FocusRing(*this);
    m_form = std::make_unique<SplitForm>(
        SplitForm::Controls{*m_splitSide, *m_option1, *m_text2, *m_combo1, *m_text1, *m_checksums});

    // Return and Enter press a focused button, as Space does. Buttons, options and the run
    // panel take the window's colour; lists and fields keep theirs.
    for (QPushButton* button : {m_command2, m_command3, m_verify}) {
        button->setAutoDefault(true);
        WindowLook::paintButton(*button);
    }
    for (QWidget* widget : std::initializer_list<QWidget*>{m_option1, m_option2, m_checksums, m_runPanel})
        WindowLook::paintPlain(*widget);
}

void Form1::connectControls()
{
    m_text1->setKeyHandler([this](std::int16_t& keyAscii) { Text1_KeyPress(keyAscii); });
    m_text2->setKeyHandler([this](std::int16_t& keyAscii) { Text2_KeyPress(keyAscii); });
    connect(m_option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option1_Click();
    });
    connect(m_option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option2_Click();
    });
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(m_verify, &QPushButton::clicked, this, [this] {
        if (!m_runner.isRunning())
            m_runner.start(verifyRun(qfs::VerifyRequest{m_joinSide->path()}));
    });
    connect(m_timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    // Choosing the drive already chosen changes nothing: the folder stays.
    connect(&m_splitSide->drives(), &QComboBox::currentIndexChanged, this, &Form1::Drive2_Change);
    connect(&m_joinSide->drives(), &QComboBox::currentIndexChanged, this, &Form1::Drive1_Change);
    connect(&m_splitSide->folders(), &DirectoryList::pathShown, this, &Form1::Dir2_Change);
    connect(&m_joinSide->folders(), &DirectoryList::pathShown, this, &Form1::Dir1_Change);
    const auto showError = [this](const qfs::Error& error) { showMessage(QString::fromStdString(error.message())); };
    connect(m_splitSide, &FolderPane::failed, this, showError);
    connect(m_joinSide, &FolderPane::failed, this, showError);

    // Whatever changes the split's input changes the plan.
    connect(&m_splitSide->files(), &QListWidget::itemSelectionChanged, this, &Form1::showPlan);
    connect(m_text2, &QLineEdit::textChanged, this, &Form1::showPlan);
    connect(m_text1, &QLineEdit::textChanged, this, &Form1::showPlan);
    connect(m_option1, &QRadioButton::toggled, this, &Form1::showPlan);
    connect(m_combo1, &QComboBox::currentIndexChanged, this, &Form1::showPlan);
    connect(m_checksums, &QCheckBox::toggled, this, &Form1::showPlan);
    connect(m_sizes, &CommonSizes::chosen, this, [this](const QString& amount, int unitIndex) {
        m_text2->setText(amount);
        m_combo1->setCurrentIndex(unitIndex);
    });

    m_opener.takeDrops(*this, m_line1->geometry().top(), [this] { return m_runner.isRunning(); });
    connect(&m_opener, &PathOpener::fileFound, this, &Form1::fileFound);
    connect(&m_opener, &PathOpener::folderFound, this,
            [this](const std::string& folderPath, PathOpener::Side side) {
                (side == PathOpener::Side::Split ? m_splitSide : m_joinSide)->openFolder(folderPath);
            });
    connect(&m_opener, &PathOpener::failed, this, showError);
}

void Form1::connectRunner()
{
    m_run = new RunController(m_runner,
                              {*this, *m_timer1, *m_runPanel, *m_label2, *m_file1, *m_label3, *m_splitSide,
                               *m_joinSide, {m_option1, m_option2, m_text2, m_combo1, m_text1, m_sizes, m_checksums},
                               *m_command2, *m_command3, *m_verify},
                              m_feedback);
    connect(m_run, &RunController::splitEnded, this, &Form1::showPlan);
}

void Form1::setTabOrder()
{
    // Tab index order: Split, Join, unit, size, then the lists, the count and the options;
    // then what the window adds.
    QWidget* const order[] = {m_command2, m_command3, m_combo1, m_text2, m_file1,
                              &m_joinSide->folders(), &m_joinSide->files(), &m_joinSide->drives(),
                              &m_splitSide->drives(), &m_splitSide->folders(), &m_splitSide->files(),
                              m_text1, m_option1, m_option2, m_sizes, m_checksums, m_verify};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::Form_Load()
{
    m_combo1->setCurrentIndex(SplitForm::defaultUnitIndex);
    m_file1->hide();
    if (m_option1->isChecked())
        Option1_Click();
    else
        m_option1->setChecked(true);
    m_title.reset();
}

void Form1::Option1_Click()
{
    m_combo1->show();
    m_text2->show();
    m_sizes->show();
    m_text1->hide();
}

void Form1::Option2_Click()
{
    m_text1->show();
    m_text2->hide();
    m_combo1->hide();
    m_sizes->hide();
}

void Form1::Drive1_Change()
{
    m_joinSide->openDrive();
}

void Form1::Drive2_Change()
{
    m_splitSide->openDrive();
}

void Form1::Dir1_Change()
{
    m_joinSide->followFolder();
}

void Form1::Dir2_Change()
{
    m_splitSide->followFolder();
}

void Form1::Command2_Click()
{
    if (m_runner.isRunning())
        return;
    const auto reading = m_form->take();
    if (const auto* refusal = std::get_if<SplitForm::Refusal>(&reading)) {
        // A refused split starts nothing and leaves the window as it was, its timer running.
        showMessage(refusal->message);
        m_form->focus(refusal->focus);
        m_timer1->start();
        return;
    }
    m_runner.start(splitRun(std::get<qfs::SplitRequest>(reading)));
}

void Form1::showPlan()
{
    m_plan->showPlan(m_form->fields());
}

void Form1::Command3_Click()
{
    if (!m_runner.isRunning())
        m_runner.start(joinRun(qfs::JoinRequest{m_joinSide->path()}));
}

void Form1::Timer1_Timer()
{
    NumericField::NormalizeNumericField(*m_text2);
    NumericField::NormalizeNumericField(*m_text1);
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
    remember();
    QWidget::closeEvent(event);
}

void Form1::restore()
{
    const WindowSettings::Values values = WindowSettings::load();
    // Each side starts in the folder it showed last, or else in the current directory, or
    // else at the root.
    m_splitSide->openFirstReadable({values.splitFolder, ".", "/"});
    m_joinSide->openFirstReadable({values.joinFolder, ".", "/"});
    (values.mode == qfs::SplitMode::BySize ? m_option1 : m_option2)->setChecked(true);
    m_combo1->setCurrentIndex(values.unitIndex);
    m_text2->setText(values.size);
    m_text1->setText(values.count);
}

void Form1::remember() const
{
    WindowSettings::save({m_splitSide->path(), m_joinSide->path(),
                          m_option1->isChecked() ? qfs::SplitMode::BySize : qfs::SplitMode::ByCount,
                          std::int16_t(m_combo1->currentIndex()), m_text2->text(), m_text1->text()});
}

void Form1::openPath(const std::string& path)
{
    m_opener.open(path, PathOpener::Side::ByKind);
}

void Form1::fileFound(const std::string& folderPath, const std::string& name, PathOpener::Side side)
{
    if (side == PathOpener::Side::Join)
        m_joinSide->openFolder(folderPath);
    else
        m_splitSide->showFile(folderPath, name);
}

bool Form1::isReading() const
{
    return m_opener.isReading() || m_plan->isReading();
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
