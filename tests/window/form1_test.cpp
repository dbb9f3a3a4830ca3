#include "destinationpicker.h"
#include "drivelist.h"
#include "elidedlabel.h"
#include "elidingdelegate.h"
#include "numericfield.h"
#include "planline.h"
#include "splitform.h"
#include "testfiles.h"
#include "windowfixture.h"
#include "windowlanguage.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QScreen>
#include <QScopeGuard>
#include <QTextEdit>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

namespace {

const QString caption = QStringLiteral("Quarb's File Splitter");

void clickFile(QListWidget& list, const QString& name)
{
    const auto found = list.findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list.scrollToItem(found.front());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(found.front()).center());
}

QTreeWidgetItem* folderEntry(QTreeWidget& list, const QString& name)
{
    const auto found = list.findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.front() : nullptr;
}

void openFolder(QTreeWidget& list, const QString& name, bool byKeyboard)
{
    QTreeWidgetItem* entry = folderEntry(list, name);
    QVERIFY2(entry != nullptr, qPrintable(name));
    list.scrollToItem(entry);
    const QPoint centre = list.visualItemRect(entry).center();
    if (byKeyboard) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
        QTest::keyClick(&list, Qt::Key_Return);
    } else {
        // A real double-click: a click, then the second press that makes it double.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
    }
}

// Moves the unit list to this entry with the arrow keys.
void chooseUnit(QComboBox& units, int index)
{
    units.setFocus();
    while (units.currentIndex() < index)
        QTest::keyClick(&units, Qt::Key_Down);
    while (units.currentIndex() > index)
        QTest::keyClick(&units, Qt::Key_Up);
}

// The number of pieces a plan line promises ("→ 1,234 pieces: …"), or 0 when it promises
// none: a refusal, or a field still empty.
qulonglong promisedPieces(const QString& planText)
{
    static const QRegularExpression count(QStringLiteral("\u2192 ([0-9,]+) pieces?\\b"));
    return count.match(planText).captured(1).remove(QLatin1Char(',')).toULongLong();
}

QColor titleColour(WindowFixture& world)
{
    return world.find<QLabel>("Label4")->palette().color(QPalette::WindowText);
}

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 GiB = 1024 * MiB;

// A source of this length: patterned bytes, or a sparse file from 16 MiB on.
void writeSource(const QString& path, qint64 length)
{
    if (length < 16 * MiB) {
        TestFiles::write(path, TestFiles::pattern(length));
        return;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(length));
}

// Asks the split for no recovery pieces, from its default of one, by key.
void noRecovery(WindowFixture& world)
{
    auto* recovery = world.find<QSpinBox>("RecoveryPieces");
    QCOMPARE(recovery->value(), 1);
    recovery->setFocus();
    QTest::keyClick(recovery, Qt::Key_Down);
    QCOMPARE(recovery->value(), 0);
}

// Drops a file or folder onto a control, as the desktop's file manager would.
void drop(QWidget& onto, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint centre = onto.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&onto, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&onto, &dropped);
}

// For as long as the returned watch lives, every real message box that comes up is handed to
// `read` and then closed with OK.
std::unique_ptr<QTimer> answerMessageBoxes(QObject& context, std::function<void(const QMessageBox&)> read)
{
    constexpr int pollMilliseconds = 10;
    auto watch = std::make_unique<QTimer>();
    QObject::connect(watch.get(), &QTimer::timeout, &context, [read = std::move(read)] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            read(*box);
            box->done(QMessageBox::Ok);
        }
    });
    watch->start(pollMilliseconds);
    return watch;
}

// The tooltip a control shows when the mouse rests on this point of it, as it reads: Qt shows
// a tooltip that looks like markup as rich text.
QString tooltipAt(QWidget& widget, QPoint point)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, point, widget.mapToGlobal(point));
    QApplication::sendEvent(&widget, &help);
    if (!QToolTip::isVisible())
        return {};
    const QString tip = QToolTip::text();
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument rendered;
    rendered.setHtml(tip);
    return rendered.toPlainText();
}

// Stands by at a FIFO as its writer, so that whoever opens it for reading goes on at once, to
// an empty read, instead of waiting for ever; and notes that it happened. The FIFO is reached
// through a handle of its own, so that it is served even after something else took its name.
class FifoWriter {
public:
    explicit FifoWriter(const QByteArray& path)
        : m_handle(::open(path.constData(), O_PATH | O_CLOEXEC)),
          m_fifo("/proc/self/fd/" + QByteArray::number(m_handle)), m_thread([this] { serve(); })
    {
    }
    ~FifoWriter()
    {
        m_finished = true;
        // A reader of our own lets a waiting open return.
        const int reader = ::open(m_fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_thread.join();
        if (reader >= 0)
            ::close(reader);
        ::close(m_handle);
    }
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

    bool wasOpened() const { return m_opened; }

private:
    void serve()
    {
        while (!m_finished) {
            const int fd = ::open(m_fifo.constData(), O_WRONLY | O_CLOEXEC); // waits for a reader
            if (fd < 0)
                return;
            if (!m_finished)
                m_opened = true;
            ::close(fd);
        }
    }

    const int m_handle;
    const QByteArray m_fifo;
    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread; // last: it starts once the rest is there
};

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void startState();
    void layout_data();
    void layout();
    void accessibleTexts_data();
    void accessibleTexts();
    void folderChanges();
    void language_data();
    void language();
    void modeSwitchKeepsBothTexts();
    void checkMessages_data();
    void checkMessages();
    void planLine_data();
    void planLine();
    void commonSizes_data();
    void commonSizes();
    void split_data();
    void split();
    void existingFolder();
    void splitDestination();
    void stopDuringSplit_data();
    void stopDuringSplit();
    void join_data();
    void join();
    void joinWithoutPieces_data();
    void joinWithoutPieces();
    void longFindingsScroll();
    void cancelJoin();
    void verify_data();
    void verify();
    void repair();
    void unreadableFolder();
    void driveChange_data();
    void driveChange();
    void openFromOutside_data();
    void openFromOutside();
    void settingsKeptBetweenRuns();
    void longNamesShortened();
    void markupShowsAsText();
    void focusVisible_data();
    void focusVisible();
    void buttonColours_data();
    void buttonColours();
    void numericFields_data();
    void numericFields();
    void pastedText_data();
    void pastedText();
    void rewriteKeepsCaret();
    void titleColours();
    void doubleClickTogglesTitle();
};

void Form1Test::startState()
{
    WindowFixture world([](const QDir& dir) {
        TestFiles::write(dir.filePath(QStringLiteral("b.txt")), "b");
        TestFiles::write(dir.filePath(QStringLiteral("a.bin")), "a");
        dir.mkdir(QStringLiteral("sub"));
    });
    QVERIFY(world.isReady());
    Form1& form = world.form();
    QCOMPARE(form.windowTitle(), caption);
    QCOMPARE(form.minimumSize(), QSize(709, 550));
    QCOMPARE(form.maximumSize(), QSize(709, 550));
    QCOMPARE(form.windowIcon().availableSizes(), QList<QSize>{QSize(16, 16)});
    QCOMPARE(form.grab().toImage().pixelColor(3, 545), QColor(255, 192, 128));

    QVERIFY(world.find<QAbstractButton>("Option1")->isChecked());
    QVERIFY(world.find<QLineEdit>("Text2")->isVisible());
    QVERIFY(world.find<QComboBox>("Combo1")->isVisible());
    QCOMPARE(world.find<QComboBox>("Combo1")->currentText(), QStringLiteral("KiloBytes"));
    QVERIFY(world.find<QLineEdit>("Text1")->isHidden());
    QVERIFY(world.find<QListWidget>("File1")->isHidden());
    QVERIFY(world.find<QLabel>("Label1")->isVisible());
    QCOMPARE(world.find<QLabel>("Label1")->text(), QStringLiteral("FileName"));
    QCOMPARE(world.find<QLabel>("Label4")->text(), caption);
    QVERIFY(world.find<QProgressBar>("progressBar")->isHidden());
    QVERIFY(world.find<PlanLine>("PlanLine")->text().isEmpty());
    QVERIFY(world.timerRanAtStart);
    QCOMPARE(world.find<QTimer>("Timer1")->interval(), 100);
    QCOMPARE(QApplication::focusWidget(), world.find<QWidget>("Command2"));
    // Tab goes round the controls in the window's order: Split, Join, unit, size, the lists,
    // the options (one stop for both), then what was added since.
    const QStringList tabOrder{"Command2", "Command3", "Combo1", "Text2", "Dir1", "File2", "Drive1",
                               "Drive2", "Dir2", "File3", "Option1", "CommonSizes", "ChecksumBox",
                               "RecoveryPieces", "SplitDestinationButton", "PlainPieces", "NoteBox",
                               "VerifyButton", "JoinDestinationButton"};
    QStringList visited;
    for (qsizetype stop = 0; stop <= tabOrder.size(); ++stop) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, tabOrder + QStringList{"Command2"});

    // Both sides start in the current directory, in the natural name order.
    for (const char* files : {"File3", "File2"})
        QCOMPARE(world.listed(files), (QStringList{"a.bin", "b.txt"}));
    for (const char* folders : {"Dir2", "Dir1"}) {
        auto* tree = world.find<QTreeWidget>(folders);
        QVERIFY(folderEntry(*tree, QStringLiteral("sub")) != nullptr);
        QCOMPARE(tree->currentItem()->text(0), world.dir().dirName());
    }
    QVERIFY(world.find<QComboBox>("Drive2")->currentText().startsWith(QLatin1Char('/')));
}

void Form1Test::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    const struct {
        const char* name;
        QRect twips;
        const char* caption;
    } table[] = {
        {"Label1", {360, 120, 1455, 255}, "FileName"},
        {"Option1", {360, 360, 2175, 375}, "Specify size"},
        {"Text2", {2880, 360, 1215, 315}, ""},
        {"Combo1", {4200, 360, 1455, 315}, "KiloBytes"},
        {"Option2", {360, 840, 2775, 375}, "Specify Number of files"},
        {"Text1", {4320, 840, 1215, 375}, ""},
        {"Label2", {360, 1800, 5295, 255}, ""},
        {"File1", {360, 2280, 4575, 1455}, ""},
        {"Drive2", {5880, 480, 3615, 315}, ""},
        {"Dir2", {5880, 1200, 4455, 1440}, ""},
        {"File3", {5880, 2760, 4455, 1260}, ""},
        {"Command2", {360, 4080, 1335, 375}, "Split"},
        {"Label4", {2760, 4080, 6015, 495}, "Quarb's File Splitter"},
        {"Command3", {360, 5040, 1335, 375}, "Join"},
        {"Drive1", {5880, 4920, 4455, 315}, ""},
        {"Dir1", {5880, 5400, 4455, 1215}, ""},
        {"Label3", {360, 5880, 4455, 375}, ""},
        {"File2", {5880, 6720, 4455, 1455}, ""},
    };
    for (const auto& row : table) {
        const QRect& t = row.twips;
        QTest::newRow(row.name) << QString::fromLatin1(row.name)
                                << QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15)
                                << QString::fromLatin1(row.caption);
    }
}

void Form1Test::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    WindowFixture world;
    QVERIFY(world.isReady());
    auto* widget = world.form().findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(QRect(widget->mapTo(&world.form(), QPoint(0, 0)), widget->size()), geometry);
    // A screen reader hears the control's name, not its value ("/  [vda]" for a drive); a
    // label's name is its text, and its description says what the text is.
    const QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    const QString heard = face->text(QAccessible::Name);
    QCOMPARE(heard, widget->accessibleName().isEmpty() ? caption : widget->accessibleName());
    QVERIFY(!heard.isEmpty() || !face->text(QAccessible::Description).isEmpty());
    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), caption);
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QCOMPARE(button->text(), caption);
    // What the window adds covers none of the table's controls.
    for (const char* added : {"progressBar", "ProgressText", "CancelButton", "OutcomeLabel", "OpenFolderButton",
                              "PlanLine", "CommonSizes", "ChecksumBox", "VerifyButton", "SplitDestination",
                              "JoinDestination"}) {
        const QWidget* part = world.find<QWidget>(added);
        const QRect shown(part->mapTo(&world.form(), QPoint(0, 0)), part->size());
        QVERIFY2(!shown.intersects(geometry), added);
    }
}

namespace {

// How far the window has gone when a screen reader looks.
enum class Stage { Start, Planned, Split };
// What the screen reader is asked: a text of the control, of the group around it, of its
// list's column, or of the control a label names.
enum class Heard { Name, Description, Group, Column, Labels };

} // namespace

void Form1Test::accessibleTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("heard");
    // "=": what the control shows, which must not be empty.
    QTest::addColumn<QString>("text");
    const struct {
        const char* name;
        Stage stage;
        Heard heard;
        const char* text;
    } table[] = {
        {"PlanPieces", Stage::Start, Heard::Name, ""},
        {"PlanPieces", Stage::Start, Heard::Description, "What the split will make"},
        {"PlanFile", Stage::Planned, Heard::Name, "movie.avi \u00B7 10 bytes"},
        {"PlanPieces", Stage::Planned, Heard::Name,
         "\u2192 1 piece of 10 bytes"},
        {"ProgressText", Stage::Start, Heard::Description, "Progress"},
        {"OutcomeLabel", Stage::Split, Heard::Name, "="},
        {"OutcomeLabel", Stage::Split, Heard::Description, "Outcome of the last run"},
        {"Label2", Stage::Split, Heard::Name, "movie.avi_split"},
        {"Label2", Stage::Split, Heard::Description, "Split folder"},
        {"Label3", Stage::Start, Heard::Description, "Joined folder"},
        {"SplitDestinationFolder", Stage::Start, Heard::Name, "beside the file"},
        {"SplitDestinationFolder", Stage::Start, Heard::Description, "Save pieces in:"},
        {"Option1", Stage::Start, Heard::Group, "How to cut the file"},
        {"Option2", Stage::Start, Heard::Group, "How to cut the file"},
        {"Dir2", Stage::Start, Heard::Column, "Folders"},
        {"Dir1", Stage::Start, Heard::Column, "Folders"},
        {"Label1", Stage::Start, Heard::Labels, "File to split"},
    };
    const char* const stages[] = {"at start", "planned", "split"};
    const char* const asked[] = {"name", "description", "group", "column", "labels"};
    for (const auto& row : table) {
        QTest::addRow("%s %s, %s", row.name, asked[int(row.heard)], stages[int(row.stage)])
            << QString::fromLatin1(row.name) << int(row.stage) << int(row.heard) << QString::fromUtf8(row.text);
    }
}

// What a screen reader hears of the window's lines, labels, options and lists: the text a
// person sees, kept current, with what each is for.
void Form1Test::accessibleTexts()
{
    QFETCH(QString, name);
    QFETCH(int, stage);
    QFETCH(int, heard);
    QFETCH(QString, text);
    WindowFixture world([](const QDir& dir) { TestFiles::write(dir.filePath("movie.avi"), "0123456789"); });
    QVERIFY(world.isReady());
    if (Stage(stage) != Stage::Start) {
        clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
        noRecovery(world);
        QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("1"));
        QVERIFY(world.settle());
    }
    if (Stage(stage) == Stage::Split) {
        QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
        QVERIFY(world.waitForRun());
    }

    auto* widget = world.find<QWidget>(qPrintable(name));
    QVERIFY(widget != nullptr);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(face != nullptr);
    if (text == QStringLiteral("=")) {
        text = qobject_cast<QLabel*>(widget)->text();
        QVERIFY(!text.isEmpty());
    }
    switch (Heard(heard)) {
    case Heard::Name:
        QCOMPARE(face->text(QAccessible::Name), text);
        break;
    case Heard::Description:
        QCOMPARE(face->text(QAccessible::Description), text);
        break;
    case Heard::Group:
        QCOMPARE(face->parent()->text(QAccessible::Name), text);
        break;
    case Heard::Column:
        QVERIFY(face->tableInterface() != nullptr);
        QCOMPARE(face->tableInterface()->columnDescription(0), text);
        break;
    case Heard::Labels: {
        const auto named = face->relations(QAccessible::Labelled);
        QCOMPARE(named.size(), 1);
        QCOMPARE(named.front().first->text(QAccessible::Name), text);
        break;
    }
    }
}

// The lists follow what comes and goes in the folders they show.
void Form1Test::folderChanges()
{
    WindowFixture world([](const QDir& dir) {
        TestFiles::write(dir.filePath("old.txt"), "o");
        dir.mkdir(QStringLiteral("pieces"));
    });
    QVERIFY(world.isReady());
    openFolder(*world.find<QTreeWidget>("Dir1"), QStringLiteral("pieces"), false);
    QVERIFY(world.settle());
    QCOMPARE(world.listed("File2"), QStringList());

    TestFiles::write(world.path(QStringLiteral("new.bin")), "n");
    QVERIFY(world.dir().mkdir(QStringLiteral("later")));
    TestFiles::write(world.path(QStringLiteral("pieces/movie.avi.0000")), "Quarb");
    QTRY_COMPARE(world.listed("File3"), (QStringList{"new.bin", "old.txt"}));
    QTRY_COMPARE(world.listed("File2"), QStringList{"movie.avi.0000"});
    QTRY_VERIFY(folderEntry(*world.find<QTreeWidget>("Dir2"), QStringLiteral("later")) != nullptr);

    // The folder shown goes: its side shows the folder it was in, without a word.
    QVERIFY(QFile::remove(world.path(QStringLiteral("pieces/movie.avi.0000"))));
    QVERIFY(world.dir().rmdir(QStringLiteral("pieces")));
    QTRY_COMPARE(world.find<QTreeWidget>("Dir1")->currentItem()->text(0), world.dir().dirName());
    QTRY_COMPARE(world.listed("File2"), (QStringList{"new.bin", "old.txt"}));
    QVERIFY(folderEntry(*world.find<QTreeWidget>("Dir1"), QStringLiteral("pieces")) == nullptr);
    QCOMPARE(world.feedback.events, QStringList());
}

void Form1Test::language_data()
{
    QTest::addColumn<QString>("locale");
    // "Split", "Join", Label1, the unit, the plan line, and what the plan line is for.
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("C: the texts as written")
        << "C"
        << QStringList{"Split", "Join", "FileName", "KiloBytes",
                       "movie.avi \u00B7 977 KB \u2192 4 pieces: 3 \u00D7 300 KB and one of 76.6 KB",
                       "What the split will make"};
    QTest::newRow("de_DE: German words and numbers")
        << "de_DE"
        << QStringList{"Teilen", "Zusammenf\u00FCgen", "Dateiname", "Kilobyte",
                       "movie.avi \u00B7 977 KB \u2192 4 Teile: 3 \u00D7 300 KB und eines mit 76,6 KB",
                       "Was die Teilung erzeugt"};
}

// The window speaks the language of the locale it is given, its numbers included; the engine
// composes the plan line in either.
void Form1Test::language()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, shown);
    WindowLanguage::use(QLocale(locale));
    const auto english = qScopeGuard([] { WindowLanguage::use(QLocale::c()); });
    WindowFixture world(
        [](const QDir& dir) { TestFiles::write(dir.filePath("movie.avi"), TestFiles::pattern(1000000)); });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    noRecovery(world);
    QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("300"));
    QVERIFY(world.settle());

    const QStringList seen{world.find<QAbstractButton>("Command2")->text(),
                           world.find<QAbstractButton>("Command3")->text(),
                           world.find<QLabel>("Label1")->text(),
                           world.find<QComboBox>("Combo1")->currentText(),
                           world.find<PlanLine>("PlanLine")->text(),
                           world.find<QWidget>("PlanPieces")->accessibleDescription()};
    QCOMPARE(seen, shown);
}

void Form1Test::modeSwitchKeepsBothTexts()
{
    WindowFixture world;
    QVERIFY(world.isReady());
    auto* size = world.find<QLineEdit>("Text2");
    auto* count = world.find<QLineEdit>("Text1");
    QTest::keyClicks(size, QStringLiteral("12"));
    QTest::mouseClick(world.find<QAbstractButton>("Option2"), Qt::LeftButton);
    QVERIFY(count->isVisible());
    QVERIFY(size->isHidden());
    QVERIFY(world.find<QComboBox>("Combo1")->isHidden());
    QTest::keyClicks(count, QStringLiteral("3"));
    QTest::mouseClick(world.find<QAbstractButton>("Option1"), Qt::LeftButton);
    QVERIFY(size->isVisible());
    QVERIFY(world.find<QComboBox>("Combo1")->isVisible());
    QVERIFY(count->isHidden());
    QCOMPARE(size->text(), QStringLiteral("12"));
    QCOMPARE(count->text(), QStringLiteral("3"));
}

void Form1Test::checkMessages_data()
{
    QTest::addColumn<bool>("selectFile");
    QTest::addColumn<bool>("byCount");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    // How "Split" is pressed: a click, or Return or Enter while it has the focus.
    QTest::addColumn<int>("key");
    QTest::newRow("no file selected") << false << false << "Please select the file." << "File3" << 0;
    QTest::newRow("no size") << true << false << "Incorrect split size" << "Text2" << int(Qt::Key_Return);
    QTest::newRow("no count") << true << true << "Incorrect Number of files specified." << "Text1"
                              << int(Qt::Key_Enter);
}

void Form1Test::checkMessages()
{
    QFETCH(bool, selectFile);
    QFETCH(bool, byCount);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(int, key);
    WindowFixture world([](const QDir& dir) { TestFiles::write(dir.filePath("data.bin"), "0123456789"); });
    QVERIFY(world.isReady());
    if (selectFile)
        clickFile(*world.find<QListWidget>("File3"), QStringLiteral("data.bin"));
    if (byCount)
        QTest::mouseClick(world.find<QAbstractButton>("Option2"), Qt::LeftButton);
    else if (!selectFile)
        QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("5"));
    auto* split = world.find<QAbstractButton>("Command2");
    if (key == 0) {
        QTest::mouseClick(split, Qt::LeftButton);
    } else {
        split->setFocus();
        QTest::keyClick(split, Qt::Key(key));
    }

    // The message comes first, while the focus is still on the button; then the focus moves.
    QCOMPARE(world.feedback.events,
             QStringList{QStringLiteral("message: %1 | %2 | focus Command2").arg(caption, message)});
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QVERIFY(!world.dir().exists(QStringLiteral("data.bin_split")));
    QVERIFY(world.find<QTimer>("Timer1")->isActive());
}

void Form1Test::planLine_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("byCount");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("unit");
    // The whole line, or with a leading "^" a pattern it must match.
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name) { return &QTest::newRow(name); };
    *row("300 KiloBytes of 1,000,000 bytes")
        << qint64(1000000) << false << "300" << 2
        << "movie.avi \u00B7 977 KB \u2192 4 pieces: 3 \u00D7 300 KB and one of 76.6 KB + 1 recovery piece of 304 KB";
    *row("the exact multiple") << qint64(614400) << false << "300" << 2
                               << "movie.avi \u00B7 600 KB \u2192 2 pieces of 300 KB + 1 recovery piece of 302 KB";
    *row("1023 KiloBytes stay KiloBytes") << 2 * MiB << false << "1023" << 2
                                          << "movie.avi \u00B7 2 MB \u2192 3 pieces: 2 \u00D7 1023 KB and one of 2 KB + 1 recovery piece of 1 MB";
    *row("1024 KiloBytes make a MegaByte") << 2 * MiB << false << "1024" << 2
                                           << "movie.avi \u00B7 2 MB \u2192 2 pieces of 1 MB + 1 recovery piece of 1 MB";
    *row("a piece larger than the file") << qint64(10) << false << "1" << 2
                                         << "movie.avi \u00B7 10 bytes \u2192 1 piece of 10 bytes"
                                         " \u00B7 No recovery pieces: the pieces are too small to carry them.";
    *row("a 16-digit size in Bytes") << qint64(10) << false << "1234567890123456" << 3
                                     << "movie.avi \u00B7 10 bytes \u2192 1 piece of 10 bytes"
                                        " \u00B7 No recovery pieces: the pieces are too small to carry them.";
    *row("4 files of 10 bytes") << qint64(10) << true << "4" << 2
                                << "movie.avi \u00B7 10 bytes \u2192 4 pieces: 3 \u00D7 3 bytes and one of 1 byte"
                                " \u00B7 No recovery pieces: the pieces are too small to carry them.";
    *row("2 files across a unit boundary") << MiB + 1 << true << "2" << 2
                                           << "movie.avi \u00B7 1 MB \u2192 2 pieces: 512 KB and 512 KB + 1 recovery piece of 514 KB";
    *row("no size yet") << qint64(10) << false << "" << 2 << "movie.avi \u00B7 10 bytes \u2192 enter a piece size";
    *row("no count yet") << qint64(10) << true << "" << 2
                         << "movie.avi \u00B7 10 bytes \u2192 enter the number of pieces";
    *row("a sparse 5 GiB file in 2 GigaBytes") << 5 * GiB << false << "2" << 0
                                               << "movie.avi \u00B7 5 GB \u2192 3 pieces: 2 \u00D7 2 GB and one of 1 GB + 1 recovery piece of 2 GB";
    // 5,368,709,120 one-byte pieces: more files, or more room, than the drive has.
    *row("a count of 1E+20 on a sparse 5 GiB file") << 5 * GiB << true << "100000000000000000000" << 2
                                                    << "^movie\\.avi \u00B7 5 GB 10(09|10): ";
    *row("the split folder exists") << qint64(-10) << false << "1" << 2
                                    << "movie.avi \u00B7 10 bytes Split folder already exist. Please delete the "
                                       "folder and then run the splitter again.";
}

void Form1Test::planLine()
{
    QFETCH(qint64, length);
    QFETCH(bool, byCount);
    QFETCH(QString, typed);
    QFETCH(int, unit);
    QFETCH(QString, shown);
    // A negative length: the file, and its split folder already there.
    WindowFixture world([&](const QDir& dir) {
        writeSource(dir.filePath("movie.avi"), std::abs(length));
        if (length < 0)
            dir.mkdir(QStringLiteral("movie.avi_split"));
    });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    if (byCount)
        QTest::mouseClick(world.find<QAbstractButton>("Option2"), Qt::LeftButton);
    else
        chooseUnit(*world.find<QComboBox>("Combo1"), unit);
    QTest::keyClicks(world.find<QLineEdit>(byCount ? "Text1" : "Text2"), typed);
    world.form().Timer1_Timer();
    QVERIFY(world.settle());

    auto* plan = world.find<PlanLine>("PlanLine");
    if (shown.startsWith(QLatin1Char('^'))) {
        QVERIFY2(QRegularExpression(shown).match(plan->text()).hasMatch(), qPrintable(plan->text()));
        QVERIFY(plan->isRefusal());
    } else {
        QCOMPARE(plan->text(), shown);
    }
    // What the line promises is what the split does.
    const qulonglong promised = promisedPieces(plan->text());
    if (promised > 0 && length > 0 && length < 16 * MiB) {
        QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
        QVERIFY(world.waitForRun());
        const QStringList pieces = QDir(world.path("movie.avi_split")).entryList({"movie.avi.[0-9]*"}, QDir::Files);
        QCOMPARE(qulonglong(pieces.size()), promised);
    }
}

void Form1Test::commonSizes_data()
{
    QTest::addColumn<int>("entry");
    // The largest piece file that still fits, after the encoding a mail gives it.
    QTest::addColumn<qint64>("fits");
    QTest::addColumn<bool>("mailed");
    QTest::newRow("FAT32 stick") << 0 << qint64(4294967295) << false;
    QTest::newRow("CD of 80 minutes") << 1 << qint64(737280000) << false;
    QTest::newRow("single-layer DVD+R, less its file system") << 2 << qint64(4700372992 - 2 * MiB) << false;
    QTest::newRow("mail of 25 MB") << 3 << qint64(25000000) << true;
    QTest::newRow("2 GiB") << 4 << 2 * GiB + 5 << false;
}

void Form1Test::commonSizes()
{
    QFETCH(int, entry);
    QFETCH(qint64, fits);
    QFETCH(bool, mailed);
    WindowFixture world([](const QDir& dir) { writeSource(dir.filePath("movie.avi"), 5 * GiB); });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    auto* sizes = world.find<QToolButton>("CommonSizes");
    QVERIFY(sizes->isVisible());
    sizes->menu()->actions().at(entry)->trigger();
    world.form().Timer1_Timer();
    QVERIFY(world.settle());

    // The split would go ahead, with pieces of the size the fields now ask for.
    QVERIFY(promisedPieces(world.find<PlanLine>("PlanLine")->text()) > 0);
    const std::uint64_t chunkBytes = SplitForm::bytes(world.find<NumericField>("Text2")->value(),
                                                      world.find<QComboBox>("Combo1")->currentIndex());
    const qint64 pieceFile = qint64(chunkBytes) + 5;
    // Base64 makes four characters of three bytes, in lines of 76 characters and a line break.
    const qint64 sent = mailed ? (pieceFile + 2) / 3 * 4 * 78 / 76 : pieceFile;
    QVERIFY2(sent <= fits, qPrintable(QString::number(sent)));
    // And not much below it: within 4 %.
    QVERIFY2(sent >= fits / 100 * 96, qPrintable(QString::number(sent)));
}

void Form1Test::split_data()
{
    QTest::addColumn<int>("sourceLength");
    QTest::addColumn<bool>("byCount");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QList<int>>("slices");
    QTest::addColumn<bool>("checksums");
    QTest::newRow("300 KiloBytes of 1,000,000 bytes")
        << 1000000 << false << "300" << 2 << QList<int>{307200, 307200, 307200, 78400} << true;
    QTest::newRow("4 files of 10 bytes") << 10 << true << "4" << 2 << QList<int>{3, 3, 3, 1} << true;
    QTest::newRow("a size beyond the file") << 10 << false << "1" << 2 << QList<int>{10} << true;
    QTest::newRow("1048576 Bytes, without checksums")
        << 1048577 << false << "1048576" << 3 << QList<int>{1048576, 1} << false;
}

void Form1Test::split()
{
    QFETCH(int, sourceLength);
    QFETCH(bool, byCount);
    QFETCH(QString, typed);
    QFETCH(int, unit);
    QFETCH(QList<int>, slices);
    QFETCH(bool, checksums);
    const QByteArray source = TestFiles::pattern(sourceLength);
    WindowFixture world([&](const QDir& dir) { TestFiles::write(dir.filePath("movie.avi"), source); });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    // The pieces alone; recovery pieces are the repair's test.
    noRecovery(world);
    auto* checksumBox = world.find<QAbstractButton>("ChecksumBox");
    QVERIFY(checksumBox->isChecked());
    if (!checksums)
        QTest::mouseClick(checksumBox, Qt::LeftButton);
    if (byCount) {
        QTest::mouseClick(world.find<QAbstractButton>("Option2"), Qt::LeftButton);
        QTest::keyClicks(world.find<QLineEdit>("Text1"), typed);
    } else {
        QTest::keyClicks(world.find<QLineEdit>("Text2"), typed);
        chooseUnit(*world.find<QComboBox>("Combo1"), unit);
    }
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    QVERIFY(world.waitForRun());

    // The outcome is shown, beside the beep, and the new folder opens in the file manager.
    const QString outcome = world.find<QLabel>("OutcomeLabel")->text();
    const QString written = QStringLiteral("%1 piece%2%3 written to movie.avi_split in ")
                                .arg(slices.size())
                                .arg(slices.size() == 1 ? "" : "s")
                                .arg(!checksums              ? ""
                                     : slices.size() == 1 ? " and its checksum file"
                                                          : " and their checksum file");
    QVERIFY2(outcome.startsWith(written) && outcome.endsWith(QStringLiteral(" s \u2014 send the whole folder.")),
             qPrintable(outcome));
    QTest::mouseClick(world.find<QAbstractButton>("OpenFolderButton"), Qt::LeftButton);
    QCOMPARE(world.feedback.events,
             (QStringList{QStringLiteral("beep | timer off"),
                          QStringLiteral("open folder: ") + world.path(QStringLiteral("movie.avi_split"))}));
    QCOMPARE(world.find<QLabel>("Label2")->text(), QStringLiteral("movie.avi_split"));
    QStringList pieces;
    QDir folder(world.path(QStringLiteral("movie.avi_split")));
    qsizetype offset = 0;
    for (int i = 0; i < slices.size(); ++i) {
        const QString name = QStringLiteral("movie.avi.%1").arg(i, 4, 10, QLatin1Char('0'));
        pieces << name;
        QCOMPARE(TestFiles::read(folder.filePath(name)), "Quarb" + source.mid(offset, slices[i]));
        offset += slices[i];
    }
    QCOMPARE(folder.entryList(QDir::Files, QDir::Name),
             checksums ? pieces + QStringList{"movie.avi.sha256"} : pieces);
    QVERIFY(world.find<QListWidget>("File1")->isVisible());
    QCOMPARE(world.listed("File1"), pieces);
    QVERIFY(world.find<QProgressBar>("progressBar")->isHidden());
    QVERIFY(world.find<QTimer>("Timer1")->isActive());
    // The fields and the selection are left as they were.
    QCOMPARE(world.find<QListWidget>("File3")->currentItem()->text(), QStringLiteral("movie.avi"));
    QCOMPARE(world.find<QLineEdit>(byCount ? "Text1" : "Text2")->text(), typed);
}

// A second split of the same file, for another medium: the folder of the first is never
// touched, and the next free name is offered, only taken on Yes.
void Form1Test::existingFolder()
{
    WindowFixture world([](const QDir& dir) { TestFiles::write(dir.filePath("x.bin"), "0123456789"); });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("x.bin"));
    QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("1"));
    for (const bool yes : {false, false, true}) {
        world.feedback.answer = yes;
        QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
        QVERIFY(world.waitForRun());
    }

    const QString question = QStringLiteral("question: x.bin_split already exists. Split into x.bin_split-2 instead?");
    QCOMPARE(world.feedback.events, (QStringList{"beep | timer off", question, question, "beep | timer off"}));
    QVERIFY(world.feedback.messages().isEmpty());
    for (const char* folder : {"x.bin_split", "x.bin_split-2"})
        QCOMPARE(QDir(world.path(folder)).entryList(QDir::Files), (QStringList{"x.bin.0000", "x.bin.sha256"}));
    QCOMPARE(world.find<QLabel>("Label2")->text(), QStringLiteral("x.bin_split-2"));
    QCOMPARE(world.listed("File1"), QStringList{"x.bin.0000"});
    // The plan still says why the plain name is refused.
    QVERIFY(world.find<PlanLine>("PlanLine")->isRefusal());
}

// A folder dropped on "Save pieces in" moves the plan's promise there, and the split keeps it.
void Form1Test::splitDestination()
{
    WindowFixture world([](const QDir& dir) {
        TestFiles::write(dir.filePath("movie.avi"), TestFiles::pattern(10));
        dir.mkdir(QStringLiteral("stick"));
    });
    QVERIFY(world.isReady());
    noRecovery(world);
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("4"));
    chooseUnit(*world.find<QComboBox>("Combo1"), SplitForm::bytesUnitIndex);
    QVERIFY(world.settle());
    auto* plan = world.find<PlanLine>("PlanLine");
    QCOMPARE(plan->text(), QStringLiteral("movie.avi \u00B7 10 bytes \u2192 3 pieces: 2 \u00D7 4 bytes and one of 2 bytes"));

    const QString stick = world.path(QStringLiteral("stick"));
    drop(*world.find<QWidget>("SplitDestination"), stick);
    QVERIFY(world.settle());
    QCOMPARE(world.find<QLabel>("SplitDestinationFolder")->text(), stick);
    QCOMPARE(plan->text(), QStringLiteral("movie.avi \u00B7 10 bytes \u2192 3 pieces: 2 \u00D7 4 bytes and one of 2 "
                                          "bytes in %1/movie.avi_split")
                               .arg(stick));
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    QCOMPARE(QDir(stick + QStringLiteral("/movie.avi_split")).entryList(QDir::Files),
             (QStringList{"movie.avi.0000", "movie.avi.0001", "movie.avi.0002", "movie.avi.sha256"}));
    QVERIFY(!world.dir().exists(QStringLiteral("movie.avi_split")));

    auto* picker = world.find<DestinationPicker>("SplitDestination");
    // Back beside the file, as the menu's entry does.
    picker->setFolder({});
    QVERIFY(world.settle());
    QCOMPARE(world.find<QLabel>("SplitDestinationFolder")->text(), QStringLiteral("beside the file"));
    QVERIFY(!plan->text().contains(stick));
}

namespace {

// How a split that is under way gets stopped, or not.
enum class Stop { CancelButton, Escape, CloseYes, CloseNo, CloseWhileEnding };

} // namespace

void Form1Test::stopDuringSplit_data()
{
    QTest::addColumn<int>("stop");
    QTest::addColumn<bool>("sparse");
    QTest::newRow("Cancel button") << int(Stop::CancelButton) << false;
    QTest::newRow("Escape") << int(Stop::Escape) << false;
    QTest::newRow("close, then stop and quit") << int(Stop::CloseYes) << false;
    QTest::newRow("close, then go on") << int(Stop::CloseNo) << false;
    QTest::newRow("close, and the split ends while asked") << int(Stop::CloseWhileEnding) << false;
    // Two pieces that are one hole each, hashed as zeros for their checksums: far longer than
    // a run is waited for, unless the hashing of a hole notices the stop too.
    QTest::newRow("Cancel button, a sparse file of 256 GiB") << int(Stop::CancelButton) << true;
}

void Form1Test::stopDuringSplit()
{
    QFETCH(int, stop);
    QFETCH(bool, sparse);
    const auto how = Stop(stop);
    const QByteArray source = TestFiles::pattern(3 * 4096);
    constexpr qint64 sparseLength = qint64(256) << 30;
    WindowFixture world([&](const QDir& dir) {
        if (sparse) {
            QFile file(dir.filePath("movie.avi"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(sparseLength));
        } else {
            TestFiles::write(dir.filePath("movie.avi"), source);
        }
    });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    if (sparse) {
        QTest::mouseClick(world.find<QAbstractButton>("Option2"), Qt::LeftButton);
        QTest::keyClicks(world.find<QLineEdit>("Text1"), QStringLiteral("2"));
    } else {
        QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("4"));
    }
    noRecovery(world);
    world.held.arm();
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    // The split holds in its first piece (at its signature, when the rest is a hole).
    QVERIFY(world.held.waitUntilHolding());

    const char* const inputs[] = {"Command2", "Command3", "VerifyButton", "Option1", "Option2",    "Text2",
                                  "Combo1",   "Drive2",   "Dir2",         "File3",   "ChecksumBox", "RecoveryPieces",
                                  "PlainPieces", "NoteBox"};
    for (const char* input : inputs)
        QVERIFY2(!world.find<QWidget>(input)->isEnabled(), input);
    auto* cancel = world.find<QPushButton>("CancelButton");
    QVERIFY(cancel->isVisible());
    QVERIFY(cancel->hasFocus());
    QCOMPARE(world.form().cursor().shape(), Qt::BusyCursor);
    QVERIFY(world.find<QProgressBar>("progressBar")->isVisible());

    QSignalSpy pressed(cancel, &QAbstractButton::clicked);
    switch (how) {
    case Stop::CancelButton:
        QTest::mouseClick(cancel, Qt::LeftButton);
        break;
    case Stop::Escape:
        QTest::keyClick(&world.form(), Qt::Key_Escape);
        QVERIFY(pressed.wait());
        break;
    case Stop::CloseYes:
    case Stop::CloseNo:
        world.feedback.answer = how == Stop::CloseYes;
        QVERIFY(!world.form().close());
        break;
    case Stop::CloseWhileEnding:
        // The person would say Yes, but the split ends first: the question goes unanswered.
        world.feedback.answer = true;
        world.feedback.whileAsking = [&] {
            world.held.release();
            QVERIFY(QTest::qWaitFor([&] { return world.feedback.events.contains(QStringLiteral("question withdrawn")); }));
        };
        QVERIFY(!world.form().close());
        break;
    }
    world.held.release();
    QVERIFY(world.waitForRun());

    const QString question = QStringLiteral("question: A split is running. Stop it and quit?");
    const QDir folder(world.path(QStringLiteral("movie.avi_split")));
    if (how == Stop::CloseNo || how == Stop::CloseWhileEnding) {
        // Nothing is lost: the split went on to the end.
        QStringList events{question, QStringLiteral("beep | timer off")};
        if (how == Stop::CloseWhileEnding)
            events.insert(1, QStringLiteral("question withdrawn"));
        QCOMPARE(world.feedback.events, events);
        QCOMPARE(folder.entryList(QDir::Files).size(), 4); // three pieces and their checksum file
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(TestFiles::read(folder.filePath(QStringLiteral("movie.avi.%1").arg(i, 4, 10, QLatin1Char('0')))),
                     "Quarb" + source.mid(i * 4096, 4096));
        }
    } else {
        // Stopped without a beep or a message, and nothing is left of it.
        QCOMPARE(world.feedback.events, how == Stop::CloseYes ? QStringList{question} : QStringList{});
        QVERIFY(!folder.exists());
        QCOMPARE(world.dir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"movie.avi"});
    }
    QCOMPARE(world.form().isVisible(), how != Stop::CloseYes);
    if (how == Stop::CancelButton || how == Stop::Escape) {
        QCOMPARE(world.find<QLabel>("OutcomeLabel")->text(), QStringLiteral("The split was cancelled."));
        // Nothing shows the folder that is gone.
        QCOMPARE(world.find<QLabel>("Label2")->text(), QString());
        QVERIFY(world.find<QListWidget>("File1")->isHidden());
        QCOMPARE(world.listed("File1"), QStringList());
    }
    for (const char* input : inputs)
        QVERIFY2(world.find<QWidget>(input)->isEnabled(), input);
    QVERIFY(cancel->isHidden());
    QCOMPARE(world.form().cursor().shape(), Qt::ArrowCursor);
}

void Form1Test::join_data()
{
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<bool>("folderOpens");
    QTest::newRow("double-click") << false << true;
    QTest::newRow("Enter, on a desktop without a file manager") << true << false;
}

void Form1Test::join()
{
    QFETCH(bool, byKeyboard);
    QFETCH(bool, folderOpens);
    const QByteArray source = TestFiles::pattern(1000000);
    WindowFixture world([&](const QDir& dir) { TestFiles::write(dir.filePath("movie.avi"), source); });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("300"));
    noRecovery(world);
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    QVERIFY(world.waitForRun());

    // The new folder shows up on the join side; opening it lists the pieces.
    openFolder(*world.find<QTreeWidget>("Dir1"), QStringLiteral("movie.avi_split"), byKeyboard);
    QVERIFY(world.settle());
    auto* file2 = world.find<QListWidget>("File2");
    QCOMPARE(file2->count(), 5); // four pieces and their checksum file
    QTest::mouseClick(world.find<QAbstractButton>("Command3"), Qt::LeftButton);
    QVERIFY(world.waitForRun());

    const QString folder = world.path(QStringLiteral("movie.avi_split"));
    QCOMPARE(TestFiles::read(folder + QStringLiteral("/movie.avi")), source);
    QCOMPARE(world.find<QLabel>("Label3")->text(), folder);
    QCOMPARE(world.listed("File2"), (QStringList{"movie.avi", "movie.avi.0000", "movie.avi.0001",
                                                 "movie.avi.0002", "movie.avi.0003", "movie.avi.sha256"}));
    QCOMPARE(world.find<QLabel>("OutcomeLabel")->text(), QStringLiteral("movie.avi rebuilt, 977 KB"));
    // The rebuilt file's folder opens in the file manager, or the window says why it cannot.
    world.feedback.folderOpens = folderOpens;
    QTest::mouseClick(world.find<QAbstractButton>("OpenFolderButton"), Qt::LeftButton);
    QStringList events{QStringLiteral("beep | timer off"), QStringLiteral("open folder: ") + folder};
    if (!folderOpens)
        events << QStringLiteral("message: %1 | No program to show folders is set up on this desktop. The folder is %2. "
                                 "| focus OpenFolderButton")
                      .arg(caption, folder);
    QCOMPARE(world.feedback.events, events);
    QVERIFY(world.find<QProgressBar>("progressBar")->isHidden());
}

void Form1Test::joinWithoutPieces_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("message"); // %1: the folder
    QTest::newRow("no piece") << "notes.2010" << QByteArray("n") << "The folder holds no pieces; nothing was joined."
                              << QString();
    QTest::newRow("a lone piece shorter than its signature")
        << "notes.0000" << QByteArray("Qua") << "The join failed: %2"
        << "1002: notes.0000 is damaged: it lacks the signature (in %1).";
    QTest::newRow("only the checksum file")
        << "notes.sha256" << QByteArray(64, 'a') + "  notes.0000\n" << "The join failed: %2"
        << "1005: notes.0000 is missing (in %1).";
}

// A folder without pieces is no failure: the outcome line says so, and nothing is written. A
// folder whose every piece is damaged or missing is no folder without pieces: the message box
// tells it, and the outcome line keeps it (%2: the message) once the box is closed.
void Form1Test::joinWithoutPieces()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, outcome);
    QFETCH(QString, message);
    WindowFixture world([&](const QDir& dir) { TestFiles::write(dir.filePath(file), bytes); });
    QVERIFY(world.isReady());
    QTest::mouseClick(world.find<QAbstractButton>("Command3"), Qt::LeftButton);
    QVERIFY(world.waitForRun());

    const QString told = message.arg(world.dir().path());
    QCOMPARE(world.find<QLabel>("OutcomeLabel")->text(), outcome.contains(QStringLiteral("%2")) ? outcome.arg(told) : outcome);
    QCOMPARE(world.feedback.messages(), message.isEmpty() ? QStringList() : QStringList{told});
    QCOMPARE(world.feedback.beeps(), 0);
    QCOMPARE(world.dir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{file});
}

// A refusal that names thousands of pieces keeps its sentence and its button on the screen, in
// a real message box: the names scroll in an area of their own, shown at once.
void Form1Test::longFindingsScroll()
{
    constexpr int count = 3000;
    WindowFixture world(
        [](const QDir& dir) {
            for (int i = 0; i < count; ++i)
                TestFiles::write(dir.filePath(QStringLiteral("x.%1").arg(i, 4, 10, QLatin1Char('0'))), "Junk");
        },
        {{}, true});
    QVERIFY(world.isReady());
    QString text;
    QString details;
    bool detailsShown = false;
    bool fits = false;
    const auto watch = answerMessageBoxes(world.form(), [&](const QMessageBox& box) {
        text = box.text();
        details = box.detailedText();
        const auto* area = box.findChild<QTextEdit*>();
        detailsShown = area != nullptr && area->isVisible();
        fits = box.frameGeometry().height() <= box.screen()->availableGeometry().height();
    });
    QTest::mouseClick(world.find<QAbstractButton>("Command3"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    QVERIFY(QTest::qWaitFor([&] { return !text.isEmpty(); }));
    QCOMPARE(text, "1002: 3,000 pieces are damaged: they lack the signature (in " + world.dir().path() + ").");
    QCOMPARE(details.split(QLatin1Char('\n')).size(), count);
    QVERIFY(details.endsWith(QStringLiteral("x.2999")));
    QVERIFY(detailsShown);
    QVERIFY(fits);
}

// A cancelled join leaves an earlier rebuilt file as it was and no file of its own.
void Form1Test::cancelJoin()
{
    const QByteArray earlier = TestFiles::pattern(9000).toBase64();
    QStringList names{QStringLiteral("movie.avi")};
    WindowFixture world([&](const QDir& dir) {
        dir.mkdir(QStringLiteral("movie.avi_split"));
        const QDir folder(dir.filePath(QStringLiteral("movie.avi_split")));
        TestFiles::write(folder.filePath(QStringLiteral("movie.avi")), earlier);
        for (int i = 0; i < 3; ++i) {
            names << QStringLiteral("movie.avi.%1").arg(i, 4, 10, QLatin1Char('0'));
            TestFiles::write(folder.filePath(names.back()), "Quarb" + TestFiles::pattern(4096 + i));
        }
    });
    QVERIFY(world.isReady());
    openFolder(*world.find<QTreeWidget>("Dir1"), QStringLiteral("movie.avi_split"), false);
    QVERIFY(world.settle());
    world.held.arm();
    QTest::mouseClick(world.find<QAbstractButton>("Command3"), Qt::LeftButton);
    QVERIFY(world.held.waitUntilHolding());
    QVERIFY(!world.find<QWidget>("Dir1")->isEnabled());
    QTest::mouseClick(world.find<QAbstractButton>("CancelButton"), Qt::LeftButton);
    world.held.release();
    QVERIFY(world.waitForRun());

    const QDir folder(world.path(QStringLiteral("movie.avi_split")));
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), names);
    QCOMPARE(TestFiles::read(folder.filePath(QStringLiteral("movie.avi"))), earlier);
    QCOMPARE(world.find<QLabel>("OutcomeLabel")->text(), QStringLiteral("The join was cancelled."));
    QVERIFY(world.feedback.events.isEmpty());
    QVERIFY(world.find<QWidget>("Dir1")->isEnabled());
}

namespace {

// What happens to a split's folder before Verify is pressed.
enum class Before { Nothing, FlipAByte, FlipAByteInEach, EmptyEach, RemoveEach, MisstateTheOriginal, RemoveAPiece,
                     NoChecksums, Cancel };

} // namespace

void Form1Test::verify_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("details");
    const QString pieces = QStringLiteral("movie.avi.0000, movie.avi.0001, movie.avi.0002 and movie.avi.0003");
    QTest::newRow("an intact folder") << int(Before::Nothing) << "All 4 pieces are intact." << QStringList{}
                                      << QString();
    QTest::newRow("a flipped byte in a middle piece")
        << int(Before::FlipAByte) << "Pieces not intact: 1 damaged."
        << QStringList{"movie.avi.0001 is damaged: its checksum differs."} << QString();
    QTest::newRow("a flipped byte in each of ten pieces")
        << int(Before::FlipAByteInEach) << "Pieces not intact: 10 damaged."
        << QStringList{"10 pieces are damaged: their checksums differ."}
        << "movie.avi.0000\nmovie.avi.0001\nmovie.avi.0002\nmovie.avi.0003\nmovie.avi.0004\nmovie.avi.0005\n"
           "movie.avi.0006\nmovie.avi.0007\nmovie.avi.0008\nmovie.avi.0009";
    QTest::newRow("every piece emptied") << int(Before::EmptyEach) << "Pieces not intact: 4 damaged."
                                         << QStringList{pieces + " are damaged: they lack the signature."} << QString();
    QTest::newRow("only the checksum file") << int(Before::RemoveEach) << "Pieces not intact: 4 missing."
                                            << QStringList{pieces + " are missing."} << QString();
    const QString misstated =
        QStringLiteral("The pieces are intact, but together they differ from the checksum of movie.avi.");
    QTest::newRow("a wrong line for the original")
        << int(Before::MisstateTheOriginal) << misstated << QStringList{misstated} << QString();
    QTest::newRow("a missing piece") << int(Before::RemoveAPiece) << "Pieces not intact: 1 missing."
                                     << QStringList{"movie.avi.0002 is missing."} << QString();
    QTest::newRow("no checksum file")
        << int(Before::NoChecksums)
        << "No checksum file: the pieces' content is not checked; 4 pieces carry the signature, with no gaps." << QStringList{}
        << QString();
    QTest::newRow("cancelled") << int(Before::Cancel) << "The verification was cancelled." << QStringList{}
                               << QString();
}

// Verify reads a folder as the join would, writes nothing, and says what it found.
void Form1Test::verify()
{
    QFETCH(int, before);
    QFETCH(QString, outcome);
    QFETCH(QStringList, messages);
    QFETCH(QString, details);
    WindowFixture world(
        [](const QDir& dir) { TestFiles::write(dir.filePath("movie.avi"), TestFiles::pattern(1000000)); });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    QTest::keyClicks(world.find<QLineEdit>("Text2"),
                     Before(before) == Before::FlipAByteInEach ? QStringLiteral("100") : QStringLiteral("300"));
    // Findings without recovery data; with it, see repair().
    noRecovery(world);
    if (Before(before) == Before::NoChecksums)
        QTest::mouseClick(world.find<QAbstractButton>("ChecksumBox"), Qt::LeftButton);
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    const QDir folder(world.path(QStringLiteral("movie.avi_split")));
    if (Before(before) == Before::FlipAByte) {
        QByteArray piece = TestFiles::read(folder.filePath(QStringLiteral("movie.avi.0001")));
        piece[1000] = char(piece[1000] ^ 1);
        TestFiles::write(folder.filePath(QStringLiteral("movie.avi.0001")), piece);
    } else if (Before(before) == Before::RemoveAPiece) {
        QVERIFY(QFile::remove(folder.filePath(QStringLiteral("movie.avi.0002"))));
    }
    for (const QString& piece : folder.entryList({QStringLiteral("movie.avi.0*")})) {
        const QString path = folder.filePath(piece);
        if (Before(before) == Before::FlipAByteInEach) {
            QByteArray bytes = TestFiles::read(path);
            bytes[100] = char(bytes[100] ^ 1);
            TestFiles::write(path, bytes);
        } else if (Before(before) == Before::EmptyEach) {
            TestFiles::write(path, QByteArray());
        } else if (Before(before) == Before::RemoveEach) {
            QVERIFY(QFile::remove(path));
        }
    }
    if (Before(before) == Before::MisstateTheOriginal) {
        const QString sums = folder.filePath(QStringLiteral("movie.avi.sha256"));
        QByteArray text = TestFiles::read(sums);
        const qsizetype line = text.indexOf("  movie.avi\n");
        text.replace(line - 64, 64, QByteArray(64, 'a'));
        TestFiles::write(sums, text);
    }
    const QStringList files = folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    openFolder(*world.find<QTreeWidget>("Dir1"), QStringLiteral("movie.avi_split"), false);
    QVERIFY(world.settle());
    world.feedback.events.clear();
    world.feedback.details.clear();

    if (Before(before) == Before::Cancel)
        world.held.arm();
    QTest::mouseClick(world.find<QAbstractButton>("VerifyButton"), Qt::LeftButton);
    if (Before(before) == Before::Cancel) {
        QVERIFY(world.held.waitUntilHolding());
        QVERIFY(world.find<QProgressBar>("progressBar")->isVisible());
        QVERIFY(!world.find<QWidget>("Command3")->isEnabled());
        QTest::mouseClick(world.find<QAbstractButton>("CancelButton"), Qt::LeftButton);
        world.held.release();
    }
    QVERIFY(world.waitForRun());

    QCOMPARE(world.find<QLabel>("OutcomeLabel")->text(), outcome);
    QCOMPARE(world.feedback.messages(), messages);
    QCOMPARE(world.feedback.details.join(QString()), details);
    QCOMPARE(world.feedback.beeps(), 0);
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), files);
    QVERIFY(world.find<QWidget>("Command3")->isEnabled());
}

// A split with its default recovery piece: Verify finds a missing piece and offers Repair, which
// rebuilds it byte for byte; a join that meets another missing piece asks, rebuilds it and joins.
void Form1Test::repair()
{
    const QByteArray source = TestFiles::pattern(1000000);
    WindowFixture world([&](const QDir& dir) { TestFiles::write(dir.filePath("movie.avi"), source); });
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), QStringLiteral("movie.avi"));
    QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("300"));
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    QVERIFY2(world.find<QLabel>("OutcomeLabel")->text().startsWith("4 pieces, their checksum file and 1 recovery piece written"),
             qPrintable(world.find<QLabel>("OutcomeLabel")->text()));
    const QDir folder(world.path(QStringLiteral("movie.avi_split")));
    const QString lost = folder.filePath(QStringLiteral("movie.avi.0002"));
    const QByteArray piece = TestFiles::read(lost);
    QVERIFY(QFile::remove(lost));
    openFolder(*world.find<QTreeWidget>("Dir1"), QStringLiteral("movie.avi_split"), false);
    QVERIFY(world.settle());
    auto* repair = world.find<QAbstractButton>("Repair");
    QVERIFY(!repair->isEnabled());
    world.feedback.events.clear();

    QTest::mouseClick(world.find<QAbstractButton>("VerifyButton"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    QCOMPARE(world.feedback.messages(),
             QStringList{"movie.avi.0002 is missing; it can be rebuilt from the 1 recovery piece (Repair)."});
    QVERIFY(repair->isEnabled());
    QTest::mouseClick(repair, Qt::LeftButton);
    QVERIFY(world.waitForRun());
    QCOMPARE(TestFiles::read(lost), piece);
    QCOMPARE(world.find<QLabel>("OutcomeLabel")->text(), QStringLiteral("movie.avi.0002 rebuilt; all 4 pieces are intact."));
    QVERIFY(world.listed("File2").contains(QStringLiteral("movie.avi.0002")));
    QVERIFY(!repair->isEnabled());

    // Join: the question, Yes, the repair and then the join.
    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("movie.avi.0001"))));
    world.feedback.events.clear();
    world.feedback.answer = true;
    QTest::mouseClick(world.find<QAbstractButton>("Command3"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    QCOMPARE(world.feedback.events.first(), QStringLiteral("question: Rebuild them from the recovery pieces and join?"));
    QCOMPARE(world.feedback.messages(), QStringList{});
    QCOMPARE(TestFiles::read(folder.filePath(QStringLiteral("movie.avi"))), source);
    QCOMPARE(world.find<QLabel>("OutcomeLabel")->text(), QStringLiteral("movie.avi rebuilt, 977 KB"));
}

void Form1Test::unreadableFolder()
{
    WindowFixture world([](const QDir& dir) {
        dir.mkpath(QStringLiteral("gone"));
        TestFiles::write(dir.filePath("kept.txt"), "k");
    });
    QVERIFY(world.isReady());
    auto* dirs = world.find<QTreeWidget>("Dir2");
    const int entries = dirs->topLevelItem(0) != nullptr ? dirs->model()->rowCount() : 0;
    QVERIFY(world.dir().rmdir(QStringLiteral("gone")));
    openFolder(*dirs, QStringLiteral("gone"), false);
    QVERIFY(world.settle());

    QCOMPARE(world.feedback.messages(),
             QStringList{"2: No such file or directory: " + world.path(QStringLiteral("gone"))});
    QCOMPARE(dirs->currentItem()->text(0), world.dir().dirName());
    // The tree follows the folder it shows: "gone" goes from it too.
    QTRY_VERIFY(folderEntry(*dirs, QStringLiteral("gone")) == nullptr);
    QCOMPARE(dirs->currentItem()->text(0), world.dir().dirName());
    QCOMPARE(dirs->model()->rowCount(), entries);
    QCOMPARE(world.listed("File3"), QStringList{"kept.txt"});
}

namespace {

enum class DriveChoice { Readable, Unreadable, Same };

} // namespace

void Form1Test::driveChange_data()
{
    QTest::addColumn<int>("choice");
    QTest::newRow("readable drive") << int(DriveChoice::Readable);
    QTest::newRow("drive that cannot be read") << int(DriveChoice::Unreadable);
    QTest::newRow("the drive already chosen") << int(DriveChoice::Same);
}

void Form1Test::driveChange()
{
    QFETCH(int, choice);
    const bool readable = DriveChoice(choice) != DriveChoice::Unreadable;
    WindowFixture world([](const QDir& dir) {
        dir.mkpath(QStringLiteral("stick/photos"));
        TestFiles::write(dir.filePath("stick/card.jpg"), "j");
        TestFiles::write(dir.filePath("here.txt"), "h");
    });
    QVERIFY(world.isReady());
    auto* drives = qobject_cast<DriveList*>(world.find<QComboBox>("Drive1"));
    QVERIFY(drives != nullptr);
    const std::string stick = world.path(readable ? "stick" : "missing").toStdString();
    drives->setDrives({{"/", "root"}, {stick, "stick"}});
    drives->followPath(world.dir().path().toStdString());
    if (DriveChoice(choice) == DriveChoice::Same) {
        // Picked again from the opened list: the folder stays where it was.
        drives->showPopup();
        QVERIFY(QTest::qWaitForWindowExposed(drives->view()->window()));
        QTest::keyClick(drives->view(), Qt::Key_Return);
    } else {
        QTest::keyClick(drives, Qt::Key_Down);
    }
    QVERIFY(world.settle());

    if (readable)
        QVERIFY(world.feedback.events.isEmpty());
    else
        QCOMPARE(world.feedback.messages(),
                 QStringList{"2: No such file or directory: " + world.path(QStringLiteral("missing"))});
    // Only another readable drive moves the join side; otherwise it stays, its drive too.
    auto* dirs = world.find<QTreeWidget>("Dir1");
    if (DriveChoice(choice) == DriveChoice::Readable) {
        QCOMPARE(dirs->currentItem()->text(0), QStringLiteral("stick"));
        QVERIFY(folderEntry(*dirs, QStringLiteral("photos")) != nullptr);
        QCOMPARE(world.listed("File2"), QStringList{"card.jpg"});
    } else {
        QCOMPARE(drives->currentIndex(), 0);
        QCOMPARE(dirs->currentItem()->text(0), world.dir().dirName());
        QCOMPARE(world.listed("File2"), QStringList{"here.txt"});
    }
    // The split side stays where it was.
    QCOMPARE(world.listed("File3"), QStringList{"here.txt"});
}

namespace {

// How a path reaches the window from outside.
enum class From { CommandLine, SplitOption, DropOnSplitHalf, DropOnJoinHalf };

} // namespace

void Form1Test::openFromOutside_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("path");
    // What each side shows afterwards: its folder, and the file chosen on the split side.
    QTest::addColumn<QString>("splitFolder");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("joinFolder");
    // Whether the path is refused with a message that names it.
    QTest::addColumn<bool>("refused");
    const QString here = QStringLiteral("here");
    QTest::newRow("a file on the command line")
        << int(From::CommandLine) << "videos/movie.avi" << "videos" << "movie.avi" << here << false;
    QTest::newRow("a folder on the command line")
        << int(From::CommandLine) << "videos/movie.avi_split" << here << "" << "movie.avi_split" << false;
    QTest::newRow("a file dropped on the split half")
        << int(From::DropOnSplitHalf) << "videos/movie.avi" << "videos" << "movie.avi" << here << false;
    QTest::newRow("a folder dropped on the split half")
        << int(From::DropOnSplitHalf) << "videos" << "videos" << "" << here << false;
    QTest::newRow("a folder dropped on the join half")
        << int(From::DropOnJoinHalf) << "videos/movie.avi_split" << here << "" << "movie.avi_split" << false;
    QTest::newRow("a piece dropped on the join half opens its folder")
        << int(From::DropOnJoinHalf) << "videos/movie.avi_split/movie.avi.0000" << here << ""
        << "movie.avi_split" << false;
    QTest::newRow("a FIFO on the command line is refused")
        << int(From::CommandLine) << "videos/pipe" << here << "" << here << true;
    QTest::newRow("a piece on the command line opens its folder to be joined")
        << int(From::CommandLine) << "videos/movie.avi_split/movie.avi.0000" << here << ""
        << "movie.avi_split" << false;
    QTest::newRow("a piece after --split is chosen to be split")
        << int(From::SplitOption) << "videos/movie.avi_split/movie.avi.0000" << "movie.avi_split"
        << "movie.avi.0000" << here << false;
    QTest::newRow("a missing piece named with markup is refused as it is named")
        << int(From::CommandLine) << "videos/<b>gone</b>.001" << here << "" << here << true;
}

void Form1Test::openFromOutside()
{
    QFETCH(int, from);
    QFETCH(QString, path);
    QFETCH(QString, splitFolder);
    QFETCH(QString, chosen);
    QFETCH(QString, joinFolder);
    QFETCH(bool, refused);
    WindowFixture world([](const QDir& dir) {
        dir.mkpath(QStringLiteral("videos/movie.avi_split"));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("videos/pipe"))).constData(), 0600) == 0);
        TestFiles::write(dir.filePath("videos/movie.avi"), "0123456789");
        TestFiles::write(dir.filePath("videos/camera.mov"), "c");
        TestFiles::write(dir.filePath("videos/movie.avi_split/movie.avi.0000"), "Quarb0123456789");
    });
    QVERIFY(world.isReady());
    const QString full = world.path(path);
    switch (From(from)) {
    case From::CommandLine:
        world.form().openPath(QFile::encodeName(full).toStdString());
        break;
    case From::SplitOption:
        world.form().openForSplit(QFile::encodeName(full).toStdString());
        break;
    case From::DropOnSplitHalf:
        drop(*world.find<QWidget>("File3"), full);
        break;
    case From::DropOnJoinHalf:
        drop(*world.find<QWidget>("File2"), full);
        break;
    }
    QVERIFY(world.settle());

    const auto shown = [&](const char* list, const QString& folder) {
        return world.find<QTreeWidget>(list)->currentItem()->text(0) ==
               (folder == QLatin1String("here") ? world.dir().dirName() : folder);
    };
    QVERIFY(shown("Dir2", splitFolder));
    QVERIFY(shown("Dir1", joinFolder));
    const QListWidgetItem* current = world.find<QListWidget>("File3")->currentItem();
    QCOMPARE(current != nullptr && current->isSelected() ? current->text() : QString(), chosen);
    if (!chosen.isEmpty()) {
        QVERIFY(world.find<PlanLine>("PlanLine")->text().startsWith(chosen));
        // The folder read once more (as at start-up, when its first reading comes late) keeps
        // the file chosen.
        openFolder(*world.find<QTreeWidget>("Dir2"), splitFolder, false);
        QVERIFY(world.settle());
        const auto selected = world.find<QListWidget>("File3")->selectedItems();
        QCOMPARE(selected.isEmpty() ? QString() : selected.front()->text(), chosen);
    }
    if (refused) {
        const QStringList messages = world.feedback.messages();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.front().contains(full), qPrintable(messages.front()));
    } else {
        QVERIFY(world.feedback.events.isEmpty());
    }
}

void Form1Test::settingsKeptBetweenRuns()
{
    QTemporaryDir settings;
    QVERIFY(settings.isValid());
    const WindowFixture::Options kept{settings.path(), false};
    WindowFixture first([](const QDir& dir) {
        dir.mkpath(QStringLiteral("videos"));
        dir.mkpath(QStringLiteral("pieces"));
    }, kept);
    QVERIFY(first.isReady());
    openFolder(*first.find<QTreeWidget>("Dir2"), QStringLiteral("videos"), false);
    openFolder(*first.find<QTreeWidget>("Dir1"), QStringLiteral("pieces"), false);
    const std::string videos = first.path(QStringLiteral("videos")).toStdString();
    const std::string pieces = first.path(QStringLiteral("pieces")).toStdString();
    first.find<DestinationPicker>("SplitDestination")->setFolder(videos);
    first.find<DestinationPicker>("JoinDestination")->setFolder(pieces);
    QVERIFY(first.settle());
    chooseUnit(*first.find<QComboBox>("Combo1"), 1);
    QTest::keyClicks(first.find<QLineEdit>("Text2"), QStringLiteral("700"));
    QTest::mouseClick(first.find<QAbstractButton>("Option2"), Qt::LeftButton);
    QTest::keyClicks(first.find<QLineEdit>("Text1"), QStringLiteral("3"));
    noRecovery(first);
    // The note follows "Pieces anyone can join" until it is set by hand.
    auto* note = first.find<QAbstractButton>("NoteBox");
    QVERIFY(!note->isChecked());
    QTest::mouseClick(first.find<QAbstractButton>("PlainPieces"), Qt::LeftButton);
    QVERIFY(note->isChecked());
    QVERIFY(first.form().close());

    // A second window, started elsewhere, comes back to all of it.
    {
        WindowFixture second({}, kept);
        QVERIFY(second.isReady());
        QCOMPARE(second.find<QTreeWidget>("Dir2")->currentItem()->text(0), QStringLiteral("videos"));
        QCOMPARE(second.find<QTreeWidget>("Dir1")->currentItem()->text(0), QStringLiteral("pieces"));
        QVERIFY(second.find<QAbstractButton>("Option2")->isChecked());
        QVERIFY(second.find<QLineEdit>("Text1")->isVisible());
        QCOMPARE(second.find<QLineEdit>("Text1")->text(), QStringLiteral("3"));
        QCOMPARE(second.find<QLineEdit>("Text2")->text(), QStringLiteral("700"));
        QCOMPARE(second.find<QComboBox>("Combo1")->currentText(), QStringLiteral("MegaBytes"));
        QCOMPARE(second.find<DestinationPicker>("SplitDestination")->folder(), videos);
        QCOMPARE(second.find<DestinationPicker>("JoinDestination")->folder(), pieces);
        QCOMPARE(second.find<QSpinBox>("RecoveryPieces")->value(), 0);
        QVERIFY(second.find<QAbstractButton>("PlainPieces")->isChecked());
        QVERIFY(second.find<QAbstractButton>("NoteBox")->isChecked());
        QVERIFY(second.form().close());
    }

    // A remembered folder that is gone: that side starts in the current directory instead.
    QVERIFY(QDir(first.path(QStringLiteral("pieces"))).removeRecursively());
    WindowFixture third({}, kept);
    QVERIFY(third.isReady());
    QCOMPARE(third.find<QTreeWidget>("Dir2")->currentItem()->text(0), QStringLiteral("videos"));
    QCOMPARE(third.find<QTreeWidget>("Dir1")->currentItem()->text(0), third.dir().dirName());
    QCOMPARE(third.find<DestinationPicker>("SplitDestination")->folder(), videos);
    QCOMPARE(third.find<DestinationPicker>("JoinDestination")->folder(), std::string());
    QVERIFY(third.feedback.events.isEmpty());
    QVERIFY(third.form().close());

    // A FIFO in the settings file's place, whose reading would wait for a writer before the
    // window appears: the window starts as on its first run, says so naming the file, and
    // neither opens nor replaces the FIFO. A writer stands by, so that a window that does
    // open it is caught at it instead of hanging.
    const QByteArray fifo =
        QFile::encodeName(QDir(settings.path()).filePath(QStringLiteral("quarb/file-splitter.conf")));
    QVERIFY(QFile::remove(QFile::decodeName(fifo)) && ::mkfifo(fifo.constData(), 0600) == 0);
    const FifoWriter writer(fifo);
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(QFile::decodeName(fifo))));
        WindowFixture fourth({}, kept);
        QVERIFY(fourth.isReady());
        QCOMPARE(fourth.find<QTreeWidget>("Dir2")->currentItem()->text(0), fourth.dir().dirName());
        QVERIFY(fourth.find<QAbstractButton>("Option1")->isChecked());
        QCOMPARE(fourth.find<QLineEdit>("Text2")->text(), QString());
        QVERIFY(fourth.form().close());
    }
    QVERIFY(!writer.wasOpened());
    struct stat info {};
    QVERIFY(::lstat(fifo.constData(), &info) == 0 && S_ISFIFO(info.st_mode));
}

void Form1Test::longNamesShortened()
{
    const QString name = QStringLiteral("holiday_2024_") + QString(80, QLatin1Char('a')) + QStringLiteral("_final.mov");
    WindowFixture world([&](const QDir& dir) { TestFiles::write(dir.filePath(name), "0123456789"); });
    QVERIFY(world.isReady());
    auto* files = world.find<QListWidget>("File3");
    const QModelIndex entry = files->model()->index(0, 0);
    QVERIFY(qobject_cast<ElidingDelegate*>(files->itemDelegate())->isElided(entry));
    QCOMPARE(tooltipAt(*files->viewport(), files->visualRect(entry).center()), name);
    // Nothing scrolls sideways: the name is shortened, not cut off.
    QVERIFY(files->horizontalScrollBar()->maximum() == 0);

    clickFile(*files, name);
    QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("1"));
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    for (const char* label : {"Label2", "PlanFile", "OutcomeLabel"}) {
        auto* shown = world.find<ElidedLabel>(label);
        QVERIFY2(shown->isElided(), label);
        QVERIFY2(shown->shownText().contains(QStringLiteral("\u2026")), label);
        QCOMPARE(tooltipAt(*shown, shown->rect().center()), shown->text());
    }
    QCOMPARE(world.find<QLabel>("Label2")->text(), name + QStringLiteral("_split"));
}

// Names are text, never markup: a name holding a link shows as it is, in the labels, in the
// tooltips that show it whole where it is shortened, and in a real message box, where a link
// could otherwise be clicked.
void Form1Test::markupShowsAsText()
{
    const QString name = QStringLiteral("<h1>BIG<font color=red>RED") + QString(100, QLatin1Char('a')) +
                         QStringLiteral("<a href=x>evil<b>");
    WindowFixture world(
        [&](const QDir& dir) {
            TestFiles::write(dir.filePath(name), "0123456789");
            dir.mkdir(QStringLiteral("pieces"));
            TestFiles::write(dir.filePath(QStringLiteral("pieces/%1.0000").arg(name)), "Quarb01234");
            TestFiles::write(dir.filePath(QStringLiteral("pieces/%1.0001").arg(name)), "Junk");
        },
        {{}, true});
    QVERIFY(world.isReady());
    clickFile(*world.find<QListWidget>("File3"), name);
    QTest::keyClicks(world.find<QLineEdit>("Text2"), QStringLiteral("4"));
    QTest::mouseClick(world.find<QAbstractButton>("Command2"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    int labels = 0;
    for (const QLabel* label : world.form().findChildren<QLabel*>()) {
        if (label->text().contains(name)) {
            ++labels;
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        }
    }
    QCOMPARE(labels, 3); // the plan, the split folder and the outcome
    for (const char* label : {"Label2", "PlanFile", "OutcomeLabel"}) {
        auto* shown = world.find<ElidedLabel>(label);
        QVERIFY2(shown->isElided(), label);
        QCOMPARE(tooltipAt(*shown, shown->rect().center()), shown->text());
    }
    auto* files = world.find<QListWidget>("File3");
    const QModelIndex entry = files->model()->index(0, 0);
    QVERIFY(qobject_cast<ElidingDelegate*>(files->itemDelegate())->isElided(entry));
    QCOMPARE(tooltipAt(*files->viewport(), files->visualRect(entry).center()), name);

    // The join refuses the damaged piece in a real message box.
    QString boxText;
    Qt::TextFormat boxFormat = Qt::AutoText;
    const auto watch = answerMessageBoxes(world.form(), [&](const QMessageBox& box) {
        boxText = box.text();
        boxFormat = box.textFormat();
    });
    openFolder(*world.find<QTreeWidget>("Dir1"), QStringLiteral("pieces"), false);
    QVERIFY(world.settle());
    QTest::mouseClick(world.find<QAbstractButton>("Command3"), Qt::LeftButton);
    QVERIFY(world.waitForRun());
    QVERIFY(QTest::qWaitFor([&] { return !boxText.isEmpty(); }));
    QVERIFY2(boxText.contains(name + QStringLiteral(".0001 is damaged")), qPrintable(boxText));
    QCOMPARE(boxFormat, Qt::PlainText);
}

void Form1Test::focusVisible_data()
{
    QTest::addColumn<QString>("name");
    for (const char* control : {"Command2", "Command3", "Combo1", "Text2", "Dir1", "File2", "Drive1", "Drive2",
                                "Dir2", "File3", "Option1", "Option2", "CommonSizes", "ChecksumBox", "VerifyButton"})
        QTest::newRow(control) << QString::fromLatin1(control);
}

// Wherever the keyboard focus goes, the control's edge shows it, whatever the style draws.
void Form1Test::focusVisible()
{
    QFETCH(QString, name);
    WindowFixture world([](const QDir& dir) { TestFiles::write(dir.filePath("a.bin"), "a"); });
    QVERIFY(world.isReady());
    auto* control = world.form().findChild<QWidget*>(name);
    world.find<QWidget>(name == QLatin1String("Command3") ? "Command2" : "Command3")->setFocus(Qt::TabFocusReason);
    const QImage before = world.form().grab().toImage();
    control->setFocus(Qt::TabFocusReason);
    QVERIFY(control->hasFocus());
    const QImage after = world.form().grab().toImage();

    const QRect edge(control->mapTo(&world.form(), QPoint(0, 0)), control->size());
    int changed = 0;
    int total = 0;
    const auto look = [&](int x, int y) {
        ++total;
        changed += before.pixel(x, y) != after.pixel(x, y) ? 1 : 0;
    };
    for (int x = edge.left(); x <= edge.right(); ++x) {
        look(x, edge.top());
        look(x, edge.bottom());
    }
    for (int y = edge.top(); y <= edge.bottom(); ++y) {
        look(edge.left(), y);
        look(edge.right(), y);
    }
    QVERIFY2(changed * 10 >= total * 9, qPrintable(QStringLiteral("%1 of %2").arg(changed).arg(total)));
}

void Form1Test::buttonColours_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("Fusion") << "Fusion";
    QTest::newRow("Windows") << "Windows";
}

void Form1Test::buttonColours()
{
    QFETCH(QString, style);
    const QString former = QApplication::style()->name();
    QVERIFY(QApplication::setStyle(style) != nullptr);
    {
        WindowFixture world;
        QVERIFY(world.isReady());
        for (const char* name : {"Command2", "Command3", "VerifyButton", "CommonSizes", "OpenFolderButton",
                                 "CancelButton"}) {
            auto* button = world.find<QAbstractButton>(name);
            const QImage face = button->grab().toImage();
            // Left of the caption, inside the frame.
            QCOMPARE(face.pixelColor(5, face.height() / 2), QColor(255, 192, 128));
        }
    }
    QApplication::setStyle(former);
}

void Form1Test::numericFields_data()
{
    QTest::addColumn<bool>("countField");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("afterTick");
    const char* const fields[] = {"size field", "count field"};
    for (int field = 0; field < 2; ++field) {
        const bool count = field == 1;
        const auto row = [&](const char* name) {
            return &QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(fields[field], name)));
        };
        *row("007") << count << "007" << "7";
        *row("0") << count << "0" << "";
        *row("000") << count << "000" << "";
        *row("0012") << count << "0012" << "12";
        *row("42") << count << "42" << "42";
        *row("letters, signs, point, Enter") << count << "4a-+.,e\r2 " << "42";
        *row("Backspace") << count << "123\b" << "12";
        *row("16 digits") << count << "1234567890123456" << "1.23456789012346E+15";
    }
}

void Form1Test::numericFields()
{
    QFETCH(bool, countField);
    QFETCH(QString, typed);
    QFETCH(QString, afterTick);
    WindowFixture world;
    QVERIFY(world.isReady());
    if (countField)
        QTest::mouseClick(world.find<QAbstractButton>("Option2"), Qt::LeftButton);
    auto* field = world.find<QLineEdit>(countField ? "Text1" : "Text2");
    QTest::keyClicks(field, typed);
    world.form().Timer1_Timer();
    QCOMPARE(field->text(), afterTick);
    world.form().Timer1_Timer();
    QCOMPARE(field->text(), afterTick);

    // The hidden field is rewritten too.
    auto* other = world.find<QLineEdit>(countField ? "Text2" : "Text1");
    other->setText(QStringLiteral("0012"));
    world.form().Timer1_Timer();
    QCOMPARE(other->text(), QStringLiteral("12"));
}

void Form1Test::pastedText_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    QTest::newRow("digits") << "12" << "5" << "125";
    QTest::newRow("leading zeros") << "" << "007" << "007";
    QTest::newRow("the field's own exponent form") << "" << "1.23456789012346E+15" << "1.23456789012346E+15";
    QTest::newRow("letters") << "12" << "3x" << "12";
    QTest::newRow("a sign") << "12" << "-5" << "12";
    QTest::newRow("a fraction") << "" << "1.5" << "";
    QTest::newRow("a decimal comma") << "" << "1,5" << "";
    QTest::newRow("zero") << "" << "0" << "";
    QTest::newRow("blanks") << "" << " 5" << "";
    QTest::newRow("an exponent form the field does not write") << "" << "1.5E+3" << "";
}

// Text that arrives without the keystroke filter is taken only as a whole positive number.
void Form1Test::pastedText()
{
    QFETCH(QString, before);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    WindowFixture world;
    QVERIFY(world.isReady());
    auto* size = world.find<QLineEdit>("Text2");
    QTest::keyClicks(size, before);
    QApplication::clipboard()->setText(pasted);
    // The paste shortcut arrives as a control character, which the filter swallows.
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    QApplication::sendEvent(size, &paste);
    QCOMPARE(size->text(), before);
    // Shift+Insert and the context menu paste.
    QTest::keyClick(size, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(size->text(), after);
    size->setText(before);
    size->paste();
    QCOMPARE(size->text(), after);
}

void Form1Test::rewriteKeepsCaret()
{
    WindowFixture world;
    QVERIFY(world.isReady());
    auto* size = world.find<QLineEdit>("Text2");
    QTest::keyClicks(size, QStringLiteral("1234"));
    QTest::keyClick(size, Qt::Key_Left);
    QTest::keyClick(size, Qt::Key_Left);
    QSignalSpy changes(size, &QLineEdit::textChanged);
    world.form().Timer1_Timer();
    QCOMPARE(changes.count(), 0);
    QCOMPARE(size->cursorPosition(), 2);

    QTest::keyClick(size, Qt::Key_Home);
    QTest::keyClicks(size, QStringLiteral("00"));
    QCOMPARE(size->text(), QStringLiteral("001234"));
    world.form().Timer1_Timer();
    QCOMPARE(size->text(), QStringLiteral("1234"));
    QCOMPARE(size->cursorPosition(), 2);
}

void Form1Test::titleColours()
{
    WindowFixture world;
    QVERIFY(world.isReady());
    const QList<QColor> first{{10, 10, 10}, {12, 15, 17}, {14, 20, 24}, {16, 25, 31}};
    for (const QColor& expected : first) {
        world.form().Timer1_Timer();
        QCOMPARE(titleColour(world), expected);
    }
    for (int tick = 5; tick < 117; ++tick)
        world.form().Timer1_Timer();
    QList<int> reds;
    for (int tick = 117; tick <= 121; ++tick) {
        world.form().Timer1_Timer();
        reds << titleColour(world).red();
    }
    QCOMPARE(reds, (QList<int>{242, 244, 246, 244, 242}));
}

void Form1Test::doubleClickTogglesTitle()
{
    WindowFixture world;
    QVERIFY(world.isReady());
    auto* title = world.find<QLabel>("Label4");
    world.form().Timer1_Timer();
    QCOMPARE(titleColour(world), QColor(10, 10, 10));
    QTest::mouseDClick(title, Qt::LeftButton);
    world.form().Timer1_Timer();
    world.form().Timer1_Timer();
    QCOMPARE(titleColour(world), QColor(10, 10, 10));
    QTest::mouseDClick(title, Qt::LeftButton);
    world.form().Timer1_Timer();
    QCOMPARE(titleColour(world), QColor(12, 15, 17));
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
