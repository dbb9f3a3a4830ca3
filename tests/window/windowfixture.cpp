#include "windowfixture.h"

#include "directorylist.h"
#include "drivelist.h"
#include "filelist.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

namespace {

// Long enough for a small run under the sanitizers on a busy machine.
constexpr int waitMilliseconds = 30000;

} // namespace

WindowFixture::WindowFixture(const std::function<void(const QDir&)>& prepare) : WindowFixture(prepare, Options{}) {}

WindowFixture::WindowFixture(const std::function<void(const QDir&)>& prepare, const Options& options)
    : m_former(QDir::currentPath())
{
    if (!m_dir.isValid() || !m_settings.isValid())
        return;
    if (prepare)
        prepare(QDir(m_dir.path()));
    QDir::setCurrent(m_dir.path());
    // The desktop's settings folder, which the window's settings file goes under.
    qputenv("XDG_CONFIG_HOME",
            QFile::encodeName(options.settingsPath.isEmpty() ? m_settings.path() : options.settingsPath));
    m_form = std::make_unique<Form1>(options.realFeedback ? UserFeedback::system() : feedback, held);
    feedback.window = m_form.get();
    auto* timer = find<QTimer>("Timer1");
    timerRanAtStart = timer != nullptr && timer->isActive();
    if (timer != nullptr)
        timer->stop();
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
    m_ready = QTest::qWaitForWindowExposed(m_form.get()) && QTest::qWaitForWindowActive(m_form.get()) &&
              settle();
}

bool WindowFixture::settle()
{
    return QTest::qWaitFor(
        [this] {
            if (m_form->isReading())
                return false;
            for (const auto* list : m_form->findChildren<DirectoryList*>())
                if (list->isReading())
                    return false;
            for (const auto* list : m_form->findChildren<FileList*>())
                if (list->isReading())
                    return false;
            for (const auto* list : m_form->findChildren<DriveList*>())
                if (list->isReading())
                    return false;
            return true;
        },
        waitMilliseconds);
}

QStringList WindowFixture::listed(const char* name)
{
    const auto* list = find<QListWidget>(name);
    if (list == nullptr)
        return {QStringLiteral("(no file list named %1)").arg(QString::fromLatin1(name))};
    QStringList names;
    for (int row = 0; row < list->count(); ++row)
        names << list->item(row)->text();
    return names;
}

bool WindowFixture::waitForRun()
{
    return QTest::qWaitFor([this] { return !m_form->isBusy(); }, waitMilliseconds) && settle();
}

WindowFixture::~WindowFixture()
{
    held.release();
    m_form.reset();
    QDir::setCurrent(m_former);
}
