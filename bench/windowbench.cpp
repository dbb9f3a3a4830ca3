// The window under load, driven off screen as a person would (pick the file, type the size,
// press "Split"). Three measurements, each printed with its target:
//
//   window_bench overhead [rounds]   a split into 100,000 pieces of 4 KiB through the window
//                                    against the engine alone; ratio of the best times
//   window_bench responsiveness      the largest lateness of a 10 ms timer on the window's
//                                    thread while it splits 1 GiB into 1 MiB pieces, and into
//                                    one piece of 1 GiB
//   window_bench cancel              the time from pressing Cancel to the end of the cleanup,
//                                    in a split of 4 GiB into one piece, pressed at 10, 25, 50
//                                    and 90 % of the way
//
// With no argument all three run. The files go to the temporary folder (TMPDIR).
#include "form1.h"
#include "engine/splitter.h"
#include "userfeedback.h"

#include "benchsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>

namespace {

using bench::writeRandomFile;

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = 1024 * KiB;
constexpr std::uint64_t GiB = 1024 * MiB;

constexpr int smallPieces = 100000;
constexpr double overheadTarget = 1.05;
constexpr int tickMilliseconds = 10;
constexpr double latenessTarget = 0.050;
constexpr double cancelTarget = 0.5;
// How far the splits of the cancel case get before Cancel is pressed, in thousandths.
constexpr int cancelPoints[] = {100, 250, 500, 900};

struct Timing {
    double wall = 0;
    double cpu = 0;       // user and system time of this process
    double threadCpu = 0; // of the window's thread alone
};

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double seconds(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

// Records messages and beeps; both end a run, so they also end the wait for it.
class QuietFeedback : public UserFeedback {
public:
    void message(QWidget&, const QString& text, const QString&) override
    {
        messages << text;
        quit();
    }
    bool confirm(QWidget&, const QString&) override { return true; }
    void beep() override
    {
        ++beeps;
        quit();
    }
    void notify(QWidget&, const QString&, const QString&) override {}

    QStringList messages;
    int beeps = 0;
    QEventLoop* waiting = nullptr;

private:
    void quit()
    {
        if (waiting != nullptr)
            waiting->quit();
    }
};

// Gives every run a folder of its own, beside a hard link to the source, and removes the
// folder of the run before, so that a file system of a few GiB holds any number of rounds.
class Bench {
public:
    explicit Bench(const QString& root) : m_root(root) {}
    ~Bench()
    {
        if (!m_last.empty())
            std::filesystem::remove_all(m_last);
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    std::string freshFolder(const std::string& source)
    {
        if (!m_last.empty())
            std::filesystem::remove_all(m_last);
        m_last = m_root.toStdString() + "/run" + std::to_string(++m_runs);
        std::filesystem::create_directory(m_last);
        std::filesystem::create_hard_link(source, m_last + "/source.bin");
        return m_last;
    }

private:
    QString m_root;
    std::string m_last;
    int m_runs = 0;
};

// The system's file layer, noting when the engine's copies (in the kernel, or through a
// buffer when it hashes what it writes) and removals end.
class WatchedLayer : public qfs::FileLayer {
public:
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override
    {
        const ssize_t result = FileLayer::pwrite(fd, buffer, count, offset);
        lastCopyEnd.store(now());
        return result;
    }
    ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset, std::size_t count) override
    {
        const ssize_t result = FileLayer::copyFileRange(inFd, inOffset, outFd, outOffset, count);
        lastCopyEnd.store(now());
        return result;
    }
    int unlinkAt(int dirFd, const char* path, int flags) override
    {
        const int result = FileLayer::unlinkAt(dirFd, path, flags);
        lastRemovalEnd.store(now());
        return result;
    }

    static std::int64_t now()
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    std::atomic<std::int64_t> lastCopyEnd{0};
    std::atomic<std::int64_t> lastRemovalEnd{0};
};

// A window opened in `folder` with source.bin selected and the size typed, ready to split.
class Window {
public:
    Window(const std::string& folder, const QString& size, int unitIndex,
           qfs::FileLayer& layer = qfs::FileLayer::system())
    {
        QDir::setCurrent(QString::fromStdString(folder));
        m_form = std::make_unique<Form1>(m_feedback, layer);
        m_form->show();
        if (!QTest::qWaitForWindowExposed(m_form.get()))
            std::fprintf(stderr, "window: not shown\n");
        auto* files = find<QListWidget>("File3");
        if (!QTest::qWaitFor([&] { return !files->findItems(QStringLiteral("source.bin"), Qt::MatchExactly).isEmpty(); }))
            std::fprintf(stderr, "window: the folder was not read\n");
        const auto found = files->findItems(QStringLiteral("source.bin"), Qt::MatchExactly);
        if (found.isEmpty()) {
            std::fprintf(stderr, "window: source.bin not listed\n");
            return;
        }
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(found.front()).center());
        QTest::keyClicks(find<QLineEdit>("Text2"), size);
        auto* units = find<QComboBox>("Combo1");
        units->setCurrentIndex(unitIndex);
    }
    ~Window() { QDir::setCurrent(QDir::rootPath()); }

    template <class Widget>
    Widget* find(const char* name)
    {
        return m_form->findChild<Widget*>(QString::fromLatin1(name));
    }

    void pressSplit() { QTest::mouseClick(find<QAbstractButton>("Command2"), Qt::LeftButton); }

    // Answers the window's events until the run has ended with a beep or a message.
    void waitForRun()
    {
        QEventLoop loop;
        m_feedback.waiting = &loop;
        if (m_form->isBusy())
            loop.exec();
        m_feedback.waiting = nullptr;
    }

    // Answers the window's events until the run has ended, calling `during` every millisecond.
    void watchRun(const std::function<void()>& during)
    {
        QEventLoop loop;
        QTimer poll;
        poll.setTimerType(Qt::PreciseTimer);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            during();
            if (!m_form->isBusy())
                loop.quit();
        });
        poll.start(1);
        loop.exec();
    }

    QuietFeedback& feedback() { return m_feedback; }

private:
    QuietFeedback m_feedback;
    std::unique_ptr<Form1> m_form;
};

// The largest lateness of a 10 ms timer on the window's thread, while it is running.
class LatenessProbe {
public:
    LatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = seconds(m_clock);
            worst = std::max(worst, now - m_last - tickMilliseconds / 1000.0);
            m_last = now;
            ++ticks;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_timer.start(tickMilliseconds);
    }
    void stop() { m_timer.stop(); }

    double worst = 0;
    int ticks = 0;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
};

Timing engineAlone(const std::string& folder)
{
    const qfs::SplitRequest request{folder, "source.bin", qfs::SplitMode::BySize, 4 << 10, true};
    qfs::SplitObserver nothing;
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    const qfs::Error error = qfs::Splitter().run(request, nothing).error();
    const Timing timing{seconds(clock), cpuSeconds() - cpuBefore};
    if (error.failed())
        std::fprintf(stderr, "engine: %s\n", error.message().c_str());
    return timing;
}

Timing throughWindow(const std::string& folder)
{
    Window window(folder, QStringLiteral("4"), 2);
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    const double threadBefore = threadCpuSeconds();
    clock.start();
    window.pressSplit();
    window.waitForRun();
    const Timing timing{seconds(clock), cpuSeconds() - cpuBefore, threadCpuSeconds() - threadBefore};
    const int listed = window.find<QListWidget>("File1")->count();
    if (listed != smallPieces || window.feedback().beeps != 1 || !window.feedback().messages.isEmpty())
        std::fprintf(stderr, "window: %d pieces listed, %d beeps, %lld messages\n", listed,
                     window.feedback().beeps, static_cast<long long>(window.feedback().messages.size()));
    return timing;
}

void overhead(const QString& root, int rounds)
{
    const std::string source = root.toStdString() + "/small.bin";
    writeRandomFile(source, smallPieces * 4 * KiB);
    Bench bench(root);
    Timing bestEngine{1e300, 1e300};
    Timing bestWindow{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        Timing engine;
        Timing window;
        // Alternating order, so that neither always runs on a warmer cache.
        if (round % 2 == 0) {
            engine = engineAlone(bench.freshFolder(source));
            window = throughWindow(bench.freshFolder(source));
        } else {
            window = throughWindow(bench.freshFolder(source));
            engine = engineAlone(bench.freshFolder(source));
        }
        std::printf("  round %d: engine %.3f s (cpu %.3f s), window %.3f s (cpu %.3f s, of which the "
                    "window's thread %.3f s)\n",
                    round + 1, engine.wall, engine.cpu, window.wall, window.cpu, window.threadCpu);
        bestEngine = {std::min(bestEngine.wall, engine.wall), std::min(bestEngine.cpu, engine.cpu)};
        bestWindow = {std::min(bestWindow.wall, window.wall), std::min(bestWindow.cpu, window.cpu)};
    }
    std::printf("overhead: split into %d pieces of 4 KiB, best of %d: engine alone %.3f s, through the "
                "window %.3f s, ratio %.3f (target at most %.2f); cpu ratio %.2f\n",
                smallPieces, rounds, bestEngine.wall, bestWindow.wall, bestWindow.wall / bestEngine.wall,
                overheadTarget, bestWindow.cpu / bestEngine.cpu);
}

void responsiveness(const QString& root)
{
    const std::string source = root.toStdString() + "/large.bin";
    writeRandomFile(source, GiB);
    Bench bench(root);
    {
        // The same timer with nothing running, for comparison: the machine's own share.
        LatenessProbe probe;
        probe.start();
        QTest::qWait(1000);
        probe.stop();
        std::printf("responsiveness: with no run, a 10 ms timer fired %d times in 1 s, at most %.1f ms late\n",
                    probe.ticks, probe.worst * 1000);
    }
    const struct {
        const char* name;
        const char* size;
        int unitIndex;
    } cases[] = {{"1 MiB pieces", "1", 1}, {"one piece", "1", 0}};
    for (const auto& c : cases) {
        Window window(bench.freshFolder(source), QString::fromLatin1(c.size), c.unitIndex);
        LatenessProbe probe;
        QElapsedTimer clock;
        probe.start();
        clock.start();
        window.pressSplit();
        window.waitForRun();
        probe.stop();
        std::printf("responsiveness: split of 1 GiB into %s took %.3f s; a 10 ms timer fired %d times, "
                    "at most %.1f ms late (target at most %.0f ms)\n",
                    c.name, seconds(clock), probe.ticks, probe.worst * 1000, latenessTarget * 1000);
    }
    std::filesystem::remove(source);
}

void cancel(const QString& root)
{
    const std::string source = root.toStdString() + "/huge.bin";
    writeRandomFile(source, 4 * GiB);
    Bench bench(root);
    for (const int cancelAt : cancelPoints) {
        const std::string folder = bench.freshFolder(source);
        WatchedLayer layer;
        Window window(folder, QStringLiteral("4"), 0, layer);
        auto* bar = window.find<QProgressBar>("progressBar");
        auto* cancelButton = window.find<QAbstractButton>("CancelButton");
        QElapsedTimer sinceCancel;
        std::int64_t pressed = 0;
        int pressedAt = -1;
        window.pressSplit();
        window.watchRun([&] {
            if (!sinceCancel.isValid() && bar->value() >= cancelAt) {
                pressedAt = bar->value();
                sinceCancel.start();
                pressed = WatchedLayer::now();
                QTest::mouseClick(cancelButton, Qt::LeftButton);
            }
        });
        const double took = sinceCancel.isValid() ? seconds(sinceCancel) : -1;
        const std::int64_t ended = WatchedLayer::now();
        const bool clean = !std::filesystem::exists(folder + "/source.bin_split");
        const auto ms = [](std::int64_t microseconds) { return double(microseconds) / 1000.0; };
        std::printf("cancel: split of 4 GiB into one piece, Cancel pressed at %.1f %%: the run ended %.3f s "
                    "later, its folder %s (target at most %.1f s). The copy under way ended %.0f ms "
                    "after the press, the removal of the piece and the folder took %.0f ms, and the "
                    "window knew %.0f ms later\n",
                    pressedAt / 10.0, took, clean ? "gone" : "STILL THERE", cancelTarget,
                    ms(layer.lastCopyEnd - pressed), ms(layer.lastRemovalEnd - layer.lastCopyEnd),
                    ms(ended - layer.lastRemovalEnd));
    }
    std::filesystem::remove(source);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "all";
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // The windows start where the benchmark puts them, not where the user's last run ended.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    if (what == "overhead" || what == "all")
        overhead(dir.path(), argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
    if (what == "responsiveness" || what == "all")
        responsiveness(dir.path());
    if (what == "cancel" || what == "all")
        cancel(dir.path());
    return 0;
}
