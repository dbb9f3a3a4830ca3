#include "form1.h"

#include "directorylist.h"
#include "drivelist.h"
#include "filelist.h"
#include "joiner.h"
#include "numbertext.h"
#include "numericfield.h"
#include "piecenaming.h"
#include "splitplanner.h"
#include "splitter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <filesystem>
#include <system_error>

namespace {

// The window's light orange.
const QColor backgroundColour(255, 192, 128);

// Positions are given in twips, 15 to a pixel.
void placeTwips(QWidget& widget, int left, int top, int width, int height)
{
    widget.setGeometry(left / 15, top / 15, width / 15, height / 15);
}

QString fromPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Repaints during a run are limited to this many milliseconds apart.
constexpr qint64 paintInterval = 33;
// A run shows its progress bar once it has lasted this long.
constexpr qint64 progressDelay = 500;

bool isUserInput(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
    case QEvent::DragEnter:
    case QEvent::DragMove:
        return true;
    default:
        return false;
    }
}

} // namespace

Form1::Form1(UserFeedback& feedback, QWidget* parent) : QWidget(parent), m_feedback(feedback)
{
    setWindowTitle(QStringLiteral("Quarb's File Splitter"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/org.quarb.FileSplitter.png")));
    setFixedSize(709, 550);
    createControls();
    setTabOrder();

    std::error_code error;
    const std::string here = std::filesystem::current_path(error).string();
    for (DirectoryList* dirList : {m_dir2, m_dir1}) {
        if (error || dirList->setPath(here).failed())
            dirList->setPath("/");
    }
    m_drive2->followPath(m_dir2->path());
    m_drive1->followPath(m_dir1->path());
    m_file3->setPath(m_dir2->path());
    m_file2->setPath(m_dir1->path());

    Form_Load();
    m_timer1->start();

    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
    m_command2->setFocus();
}

Form1::~Form1() = default;

double Form1::Ceiling(double X, double Factor) const
{
    return qfs::SplitPlanner::ceiling(X, Factor);
}

void Form1::createControls()
{
    m_label1 = new QLabel(QStringLiteral("FileName"), this);
    placeTwips(*m_label1, 360, 120, 1455, 255);

    m_option1 = new QRadioButton(QStringLiteral("Specify size"), this);
    placeTwips(*m_option1, 360, 360, 2175, 375);

    m_text2 = new NumericField(this);
    placeTwips(*m_text2, 2880, 360, 1215, 315);
    m_text2->setAccessibleName(QStringLiteral("Piece size"));

    m_combo1 = new QComboBox(this);
    for (const qfs::SizeUnit& unit : qfs::sizeUnits)
        m_combo1->addItem(QString::fromUtf8(unit.listText.data(), qsizetype(unit.listText.size())));
    placeTwips(*m_combo1, 4200, 360, 1455, 315);
    m_combo1->setAccessibleName(QStringLiteral("Unit of the piece size"));

    m_option2 = new QRadioButton(QStringLiteral("Specify Number of files"), this);
    placeTwips(*m_option2, 360, 840, 2775, 375);

    m_text1 = new NumericField(this);
    placeTwips(*m_text1, 4320, 840, 1215, 375);
    m_text1->setAccessibleName(QStringLiteral("Number of files"));

    m_label2 = new QLabel(this);
    placeTwips(*m_label2, 360, 1800, 5295, 255);
    m_label2->setAccessibleName(QStringLiteral("Split folder"));

    m_file1 = new FileList(this);
    placeTwips(*m_file1, 360, 2280, 4575, 1455);
    m_file1->setAccessibleName(QStringLiteral("Pieces of the last split"));

    m_drive2 = new DriveList(this);
    placeTwips(*m_drive2, 5880, 480, 3615, 315);
    m_drive2->setAccessibleName(QStringLiteral("Drive of the file to split"));

    m_dir2 = new DirectoryList(this);
    placeTwips(*m_dir2, 5880, 1200, 4455, 1440);
    m_dir2->setAccessibleName(QStringLiteral("Folder of the file to split"));

    m_file3 = new FileList(this);
    placeTwips(*m_file3, 5880, 2760, 4455, 1260);
    m_file3->setAccessibleName(QStringLiteral("File to split"));

    m_command2 = new QPushButton(QStringLiteral("Split"), this);
    placeTwips(*m_command2, 360, 4080, 1335, 375);

    m_label4 = new QLabel(QStringLiteral("Quarb's File Splitter"), this);
    placeTwips(*m_label4, 2760, 4080, 6015, 495);
    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPointSize(24);
    m_label4->setFont(titleFont);
    m_label4->setAccessibleName(QStringLiteral("Quarb's File Splitter"));
    m_label4->installEventFilter(this);

    // A one-pixel line from (120, 4680) to (10440, 4680).
    m_line1 = new QFrame(this);
    m_line1->setFrameShape(QFrame::HLine);
    m_line1->setFrameShadow(QFrame::Plain);
    m_line1->setLineWidth(1);
    m_line1->setGeometry(120 / 15, 4680 / 15, (10440 - 120) / 15 + 1, 1);
    m_line1->setAccessibleName(QStringLiteral("Divider between split and join"));

    m_command3 = new QPushButton(QStringLiteral("Join"), this);
    placeTwips(*m_command3, 360, 5040, 1335, 375);

    m_drive1 = new DriveList(this);
    placeTwips(*m_drive1, 5880, 4920, 4455, 315);
    m_drive1->setAccessibleName(QStringLiteral("Drive of the pieces to join"));

    m_dir1 = new DirectoryList(this);
    placeTwips(*m_dir1, 5880, 5400, 4455, 1215);
    m_dir1->setAccessibleName(QStringLiteral("Folder of the pieces to join"));

    m_label3 = new QLabel(this);
    placeTwips(*m_label3, 360, 5880, 4455, 375);
    m_label3->setAccessibleName(QStringLiteral("Joined folder"));

    m_file2 = new FileList(this);
    placeTwips(*m_file2, 5880, 6720, 4455, 1455);
    m_file2->setAccessibleName(QStringLiteral("Files of the folder to join"));

    m_timer1 = new QTimer(this);
    m_timer1->setInterval(100);

    // Below the join folder's label, where the table leaves room.
    m_progressBar = new QProgressBar(this);
    m_progressBar->setGeometry(24, 440, 297, 21);
    m_progressBar->setRange(0, 1000);
    m_progressBar->setAccessibleName(QStringLiteral("Progress"));
    m_progressBar->hide();

    const std::pair<QObject*, const char*> names[] = {
        {m_label1, "Label1"},   {m_option1, "Option1"}, {m_text2, "Text2"},
        {m_combo1, "Combo1"},   {m_option2, "Option2"}, {m_text1, "Text1"},
        {m_label2, "Label2"},   {m_file1, "File1"},     {m_drive2, "Drive2"},
        {m_dir2, "Dir2"},       {m_file3, "File3"},     {m_command2, "Command2"},
        {m_label4, "Label4"},   {m_line1, "Line1"},     {m_command3, "Command3"},
        {m_drive1, "Drive1"},   {m_dir1, "Dir1"},       {m_label3, "Label3"},
        {m_file2, "File2"},     {m_timer1, "Timer1"},   {m_progressBar, "progressBar"}};
    for (const auto& [object, name] : names)
        object->setObjectName(QString::fromLatin1(name));

    // The buttons and the plain labels take the window's colour; lists and fields keep theirs.
    for (QWidget* widget : std::initializer_list<QWidget*>{m_option1, m_option2, m_command2, m_command3}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Button, backgroundColour);
        palette.setColor(QPalette::Window, backgroundColour);
        widget->setPalette(palette);
    }
    QPalette linePalette = m_line1->palette();
    linePalette.setColor(QPalette::WindowText, Qt::black);
    m_line1->setPalette(linePalette);

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
    connect(m_timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(m_drive2, &QComboBox::activated, this, &Form1::Drive2_Change);
    connect(m_drive1, &QComboBox::activated, this, &Form1::Drive1_Change);
    connect(m_dir2, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { openFolder(*m_dir2, *item); });
    connect(m_dir1, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { openFolder(*m_dir1, *item); });
}

void Form1::setTabOrder()
{
    // Tab index order: Split, Join, unit, size, then the lists, the count and the options.
    QWidget* const order[] = {m_command2, m_command3, m_combo1, m_text2, m_file1,
                              m_dir1,     m_file2,    m_drive1, m_drive2, m_dir2,
                              m_file3,    m_text1,    m_option1, m_option2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Form1::Form_Load()
{
    m_combo1->setCurrentIndex(qfs::defaultUnitIndex);
    m_file1->hide();
    if (m_option1->isChecked())
        Option1_Click();
    else
        m_option1->setChecked(true);
    m_title.reset();
    pieceSignature = std::string(qfs::pieceSignature);
}

void Form1::Option1_Click()
{
    m_combo1->show();
    m_text2->show();
    m_text1->hide();
}

void Form1::Option2_Click()
{
    m_text1->show();
    m_text2->hide();
    m_combo1->hide();
}

void Form1::Drive1_Change()
{
    if (changeDrive(*m_drive1, *m_dir1))
        Dir1_Change();
}

void Form1::Drive2_Change()
{
    if (changeDrive(*m_drive2, *m_dir2))
        Dir2_Change();
}

void Form1::Dir1_Change()
{
    showFiles(*m_dir1, *m_drive1, *m_file2);
}

void Form1::Dir2_Change()
{
    showFiles(*m_dir2, *m_drive2, *m_file3);
}

bool Form1::changeDrive(DriveList& driveList, DirectoryList& dirList)
{
    if (const qfs::Error error = dirList.setPath(driveList.drive()); error.failed()) {
        showMessage(QString::fromStdString(error.message()));
        driveList.followPath(dirList.path());
        return false;
    }
    return true;
}

void Form1::openFolder(DirectoryList& dirList, const QTreeWidgetItem& item)
{
    if (const qfs::Error error = dirList.setPath(DirectoryList::pathOf(item)); error.failed()) {
        showMessage(QString::fromStdString(error.message()));
        dirList.highlightCurrent();
        return;
    }
    if (&dirList == m_dir2)
        Dir2_Change();
    else
        Dir1_Change();
}

void Form1::showFiles(DirectoryList& dirList, DriveList& driveList, FileList& fileList)
{
    driveList.followPath(dirList.path());
    if (const qfs::Error error = fileList.setPath(dirList.path()); error.failed())
        showMessage(QString::fromStdString(error.message()));
}

void Form1::Command2_Click()
{
    if (m_busy)
        return;
    const bool bySize = m_option1->isChecked();
    sourceFileName = m_file3->selectedName();
    qfs::SplitRequest request;
    request.sourceDirectory = m_dir2->path();
    request.sourceFileName = sourceFileName;
    request.mode = bySize ? qfs::SplitMode::BySize : qfs::SplitMode::ByCount;
    request.size = qfs::NumberText::val(m_text2->text().toStdString());
    request.unitIndex = std::int16_t(m_combo1->currentIndex());
    request.count = qfs::NumberText::val(m_text1->text().toStdString());

    beginWork();
    const qfs::Error error = qfs::Splitter().run(request, *this);
    endWork();
    // The new folder sits beside the source: let both folder lists show it.
    if (error.code != qfs::CheckFailed) {
        m_dir2->reread();
        m_dir1->reread();
    }
    showPendingMessage();
    m_timer1->start();
}

void Form1::Command3_Click()
{
    if (m_busy)
        return;
    qfs::JoinRequest request;
    request.folderPath = m_dir1->path();

    beginWork();
    qfs::Joiner().run(request, *this);
    endWork();
    showPendingMessage();
    // The rebuilt file shows up in the list.
    if (const qfs::Error error = m_file2->reread(); error.failed())
        showMessage(QString::fromStdString(error.message()));
    m_timer1->start();
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
    if (m_busy && isUserInput(*event))
        return true;
    if (watched == m_label4 && event->type() == QEvent::MouseButtonDblClick) {
        Label4_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A running split or join owns files and this window's state: it ends first.
    if (m_busy)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void Form1::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(rect(), backgroundColour);
    QWidget::paintEvent(event);
}

void Form1::checkFailed(const std::string& message, qfs::FocusTarget focus)
{
    m_pendingMessage = QString::fromStdString(message);
    switch (focus) {
    case qfs::FocusTarget::FileList:
        m_pendingFocus = m_file3;
        break;
    case qfs::FocusTarget::SizeField:
        m_pendingFocus = m_text2;
        break;
    case qfs::FocusTarget::CountField:
        m_pendingFocus = m_text1;
        break;
    }
}

void Form1::folderNameShown(const std::string& folderName)
{
    m_label2->setText(fromPath(folderName));
    m_label2->repaint();
}

void Form1::folderOpened(const std::string& folderPath)
{
    m_file1->showEmptyFolder(folderPath);
    m_file1->show();
    keepPainting(true);
}

void Form1::unitDefaulted(std::int16_t unitIndex)
{
    m_combo1->setCurrentIndex(unitIndex);
}

void Form1::pieceWritten(const std::string& pieceName)
{
    m_file1->appendName(pieceName);
    keepPainting(false);
}

void Form1::progress(std::uint64_t done, std::uint64_t total)
{
    m_done = done;
    m_total = total;
    keepPainting(false);
}

void Form1::finished()
{
    m_file1->flush();
    m_feedback.beep();
}

void Form1::failed(const qfs::Error& error)
{
    m_pendingMessage = QString::fromStdString(error.message());
}

void Form1::folderShown(const std::string& folderPath)
{
    m_label3->setText(fromPath(folderPath));
    m_label3->repaint();
}

void Form1::finished(const std::string&, std::uint64_t)
{
}

void Form1::beginWork()
{
    m_busy = true;
    m_timer1->stop();
    m_done = 0;
    m_total = 0;
    m_pendingMessage.clear();
    m_pendingFocus = nullptr;
    m_workClock.start();
    m_paintClock.start();
    qApp->installEventFilter(this);
}

void Form1::keepPainting(bool now)
{
    if (!now && m_paintClock.elapsed() < paintInterval)
        return;
    m_paintClock.restart();
    m_file1->flush();
    if (m_total > 0) {
        if (m_progressBar->isHidden() && m_workClock.elapsed() >= progressDelay)
            m_progressBar->show();
        m_progressBar->setValue(int(m_done * 1000 / m_total));
    }
    // Paint and answer the window system; input is held back by the event filter.
    QCoreApplication::processEvents();
}

void Form1::endWork()
{
    m_file1->flush();
    m_progressBar->hide();
    m_progressBar->reset();
    qApp->removeEventFilter(this);
    m_busy = false;
}

void Form1::showPendingMessage()
{
    if (!m_pendingMessage.isEmpty())
        showMessage(m_pendingMessage);
    if (m_pendingFocus != nullptr)
        m_pendingFocus->setFocus();
    m_pendingMessage.clear();
    m_pendingFocus = nullptr;
}

void Form1::showMessage(const QString& text)
{
    m_feedback.message(*this, text);
}
