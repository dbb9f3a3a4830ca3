#include "drivelist.h"
#include "numericfield.h"
#include "titleanimator.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <clocale>
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

QTEST_APPLESS_MAIN(PartsTest)
#include "parts_test.moc"
