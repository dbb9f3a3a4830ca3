#include "drivelist.h"
#include "numericfield.h"
#include "splitform.h"
#include "titleanimator.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>

class PartsTest : public QObject {
    Q_OBJECT

private slots:
    void keyFilter_data();
    void keyFilter();
    void numbersUnderGermanLocale();
    void titleStaysWithinItsRange();
    void drives_data();
    void drives();
    void splitFields_data();
    void splitFields();
};

void PartsTest::keyFilter_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("passed");
    QTest::newRow("Backspace") << 8 << 8;
    QTest::newRow("Tab") << 9 << 9;
    QTest::newRow("0") << int('0') << int('0');
    QTest::newRow("9") << int('9') << int('9');
    QTest::newRow("letter") << int('a') << 0;
    QTest::newRow("minus") << int('-') << 0;
    QTest::newRow("point") << int('.') << 0;
    QTest::newRow("Enter") << 13 << 0;
    QTest::newRow("paste shortcut") << 22 << 0;
    QTest::newRow("superscript two") << 0xB2 << 0;
    QTest::newRow("beyond the code page") << 0x130 << 0;
}

void PartsTest::keyFilter()
{
    QFETCH(int, code);
    QFETCH(int, passed);
    QCOMPARE(int(NumericField::FilterNumericKey(std::int16_t(code))), passed);
}

// Under de_DE the C library writes and reads a decimal comma; the fields must not notice.
void PartsTest::numbersUnderGermanLocale()
{
    // Debian ships no compiled de_DE locale: one is made from the locale sources (package
    // locales) in a folder of the test's own.
    const QString sources = QStringLiteral("/usr/share/i18n/locales/de_DE");
    if (QStandardPaths::findExecutable(QStringLiteral("localedef")).isEmpty() || !QFile::exists(sources))
        QSKIP("localedef or the de_DE locale sources (package locales) are missing");
    QTemporaryDir locales;
    QVERIFY(locales.isValid());
    // localedef exits with 1 on mere warnings; the compiled locale is what counts.
    QProcess::execute(QStringLiteral("localedef"),
                      {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                       locales.filePath(QStringLiteral("de_DE.UTF-8"))});
    qputenv("LOCPATH", QFile::encodeName(locales.path()));
    const std::string former = std::setlocale(LC_ALL, nullptr);
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    char written[16] = {};
    std::snprintf(written, sizeof written, "%.1f", 1.5);

    const QStringList normalised{NumericField::normalizedText(QStringLiteral("1234567890123456")),
                                 NumericField::normalizedText(QStringLiteral("1.23456789012346E+15")),
                                 NumericField::normalizedText(QStringLiteral("0042"))};
    const QList<double> read{NumericField::valueOf(QStringLiteral("1.23456789012346E+15")),
                             NumericField::valueOf(QStringLiteral("42"))};
    const bool acceptable = NumericField::isAcceptable(QStringLiteral("1.23456789012346E+15"));
    std::setlocale(LC_ALL, former.c_str());
    qunsetenv("LOCPATH");

    QVERIFY(german);
    QCOMPARE(QByteArray(written), QByteArray("1,5"));
    QCOMPARE(normalised, (QStringList{"1.23456789012346E+15", "1.23456789012346E+15", "42"}));
    QCOMPARE(read, (QList<double>{1.23456789012346e15, 42}));
    QVERIFY(acceptable);
}

void PartsTest::titleStaysWithinItsRange()
{
    TitleAnimator animator;
    TitleAnimator::Colour low{255, 255, 255};
    TitleAnimator::Colour high{0, 0, 0};
    TitleAnimator::Colour shown{};
    for (int tick = 0; tick < 10000; ++tick) {
        QVERIFY(animator.tick(shown));
        low = {std::min(low.red, shown.red), std::min(low.green, shown.green), std::min(low.blue, shown.blue)};
        high = {std::max(high.red, shown.red), std::max(high.green, shown.green),
                std::max(high.blue, shown.blue)};
    }
    QCOMPARE((QList<int>{low.red, low.green, low.blue}), (QList<int>{8, 5, 3}));
    QCOMPARE((QList<int>{high.red, high.green, high.blue}), (QList<int>{246, 250, 248}));
}

void PartsTest::drives_data()
{
    QTest::addColumn<QString>("mounts");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("desktop")
        << "/dev/sda2 / ext4 rw 0 0\n"
           "proc /proc proc rw 0 0\n"
           "sysfs /sys sysfs rw 0 0\n"
           "tmpfs /run tmpfs rw 0 0\n"
           "/dev/sda1 /boot/efi vfat rw 0 0\n"
           "/dev/loop3 /snap/core22/1380 squashfs ro 0 0\n"
           "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
           "server:/export /mnt/archive nfs4 rw 0 0\n"
           "server:/srv /srv/share nfs4 rw 0 0\n"
           "/dev/sda3 /home ext4 rw 0 0\n"
           "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
        << "/home/ann"
        << QStringList{"/  [sda2]", "/home  [sda3]", "/media/ann/USB STICK  [sdb1]",
                       "/mnt/archive  [server:/export]"};
    QTest::newRow("container with its root on overlay")
        << "overlay / overlay rw 0 0\nproc /proc proc rw 0 0\ntmpfs /mnt/tools tmpfs ro 0 0\n"
        << "/root" << QStringList{"/  [overlay]"};
    QTest::newRow("home on the root volume")
        << "/dev/nvme0n1p2 / btrfs rw 0 0\n/dev/sdc1 /run/media/bob/photos exfat rw 0 0\n"
        << "/home/bob" << QStringList{"/  [nvme0n1p2]", "/run/media/bob/photos  [sdc1]"};
}

void PartsTest::drives()
{
    QFETCH(QString, mounts);
    QFETCH(QString, home);
    QFETCH(QStringList, shown);
    QStringList texts;
    for (const DriveList::Drive& drive : DriveList::parseMounts(mounts.toStdString(), home.toStdString()))
        texts << DriveList::textOf(drive);
    QCOMPARE(texts, shown);
}

void PartsTest::splitFields_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("bySize");
    QTest::addColumn<double>("size");
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("count");
    // The refusal's message and focus (SplitForm::Focus), or an empty message and the amount
    // of the request.
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("focus");
    QTest::addColumn<quint64>("amount");
    const double notANumber = std::nan("");
    const int fileList = int(SplitForm::Focus::FileList);
    const int sizeField = int(SplitForm::Focus::SizeField);
    const int countField = int(SplitForm::Focus::CountField);
    const auto refused = [](const char* row, const char* file, bool bySize, double size, int unit, double count,
                            const char* message, int focus) {
        QTest::newRow(row) << QString::fromLatin1(file) << bySize << size << unit << count
                           << QString::fromLatin1(message) << focus << quint64(0);
    };
    const auto taken = [](const char* row, bool bySize, double size, int unit, double count, quint64 amount) {
        QTest::newRow(row) << QStringLiteral("a") << bySize << size << unit << count << QString() << 0 << amount;
    };
    refused("no file", "", true, 0, 2, 0, "Please select the file.", fileList);
    refused("blank file beats a good size", "   ", true, 300, 2, 4, "Please select the file.", fileList);
    refused("zero size", "a", true, 0, 2, 4, "Incorrect split size", sizeField);
    refused("size below one", "a", true, 0.4, 3, 0, "Incorrect split size", sizeField);
    refused("unknown unit", "a", true, 3, 7, 0, "Incorrect split size", sizeField);
    refused("empty count", "a", false, 300, 2, 0, "Incorrect Number of files specified.", countField);
    refused("size not a number", "a", true, notANumber, 2, 4, "Incorrect split size", sizeField);
    refused("count not a number", "a", false, 3, 2, notANumber, "Incorrect Number of files specified.", countField);
    taken("size mode ignores the count, no unit is KiloBytes", true, 3, -1, 0, 3072);
    taken("count mode ignores size and unit", false, 0, 9, 4, 4);
    taken("KiloBytes", true, 300, 2, 0, 307200);
    taken("MegaBytes", true, 2, 1, 0, 2097152);
    taken("GigaBytes", true, 1, 0, 0, 1073741824);
    taken("Bytes", true, 5, 3, 0, 5);
    // Half-way values round to the even neighbour.
    taken("half rounds down to even", true, 2.5, 3, 0, 2);
    taken("half rounds up to even", true, 3.5, 3, 0, 4);
    taken("a size beyond 64 bits", true, 1e30, 0, 0, ~quint64(0));
    taken("a count in exponent form", false, 0, 2, 1.23456789012346e15, 1234567890123460);
}

void PartsTest::splitFields()
{
    QFETCH(QString, file);
    QFETCH(bool, bySize);
    QFETCH(double, size);
    QFETCH(int, unit);
    QFETCH(double, count);
    QFETCH(QString, message);
    QFETCH(int, focus);
    QFETCH(quint64, amount);
    const auto reading = SplitForm::read({"/data", file.toStdString(), bySize, size, unit, count, true});
    if (!message.isEmpty()) {
        const auto* refusal = std::get_if<SplitForm::Refusal>(&reading);
        QVERIFY(refusal != nullptr);
        QCOMPARE(refusal->message, message);
        QCOMPARE(int(refusal->focus), focus);
        return;
    }
    const auto* request = std::get_if<qfs::SplitRequest>(&reading);
    QVERIFY(request != nullptr);
    QCOMPARE(request->mode, bySize ? qfs::SplitMode::BySize : qfs::SplitMode::ByCount);
    QCOMPARE(quint64(request->amount), amount);
    QCOMPARE(SplitForm::bytes(5, -1), std::uint64_t(0));
}

QTEST_APPLESS_MAIN(PartsTest)
#include "parts_test.moc"
