// Splits a file into 100,000 pieces of 4 KiB twice over: once through the window, driven off
// screen as a person would (pick the file, type the size, press "Split"), and once through the
// engine alone with an observer that does nothing. Prints both times and their ratio.
#include "form1.h"
#include "splitter.h"
#include "userfeedback.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int pieceCount = 100000;
constexpr std::size_t pieceSize = 4096;

struct Timing {
    double wall = 0;
    double cpu = 0; // user and system time of this process
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Measures one call.
template <class Work>
Timing measure(Work&& work)
{
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    work();
    return {double(clock.nsecsElapsed()) / 1e9, cpuSeconds() - cpuBefore};
}

class QuietFeedback : public UserFeedback {
public:
    void message(QWidget&, const QString& text) override { messages << text; }
    void beep() override { ++beeps; }

    QStringList messages;
    int beeps = 0;
};

void writeSource(const std::string& path)
{
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = char(i * 2654435761u >> 24);
    std::ofstream out(path, std::ios::binary);
    std::size_t left = pieceCount * pieceSize;
    while (left > 0) {
        const std::size_t n = std::min(left, block.size());
        out.write(block.data(), std::streamsize(n));
        left -= n;
    }
}

Timing engineAlone(const std::string& folder)
{
    qfs::SplitRequest request;
    request.sourceDirectory = folder;
    request.sourceFileName = "source.bin";
    request.size = 4;
    request.unitIndex = 2;
    qfs::SplitObserver nothing;
    qfs::Error error;
    const Timing timing = measure([&] { error = qfs::Splitter().run(request, nothing); });
    if (error.failed())
        std::fprintf(stderr, "engine: %s\n", error.message().c_str());
    return timing;
}

Timing throughWindow(const QString& folder)
{
    QDir::setCurrent(folder);
    QuietFeedback feedback;
    Form1 window(feedback);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "window: not shown\n");
    auto* files = window.findChild<QListWidget*>(QStringLiteral("File3"));
    const auto found = files->findItems(QStringLiteral("source.bin"), Qt::MatchExactly);
    if (found.isEmpty())
        return {};
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(found.front()).center());
    QTest::keyClicks(window.findChild<QLineEdit*>(QStringLiteral("Text2")), QStringLiteral("4"));
    auto* split = window.findChild<QAbstractButton*>(QStringLiteral("Command2"));

    // While the split runs the window keeps answering its event loop: this timer sees the
    // progress bar come up.
    auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    int looks = 0;
    int barShown = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        ++looks;
        barShown += bar->isVisible() ? 1 : 0;
    });
    watcher.start(100);

    const Timing timing = measure([&] { QTest::mouseClick(split, Qt::LeftButton); });
    watcher.stop();
    std::printf("  window: event loop looked in %d times, progress bar seen %d times, hidden at "
                "the end: %s\n",
                looks, barShown, bar->isHidden() ? "yes" : "no");

    const int listed = window.findChild<QListWidget*>(QStringLiteral("File1"))->count();
    if (listed != pieceCount || feedback.beeps != 1 || !feedback.messages.isEmpty())
        std::fprintf(stderr, "window: %d pieces listed, %d beeps, %lld messages\n", listed,
                     feedback.beeps, static_cast<long long>(feedback.messages.size()));
    return timing;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const std::string source = dir.path().toStdString() + "/source.bin";
    writeSource(source);

    // Every run splits in a folder of its own, beside a hard link to the same source, so that
    // no run writes where an earlier one has just deleted; the runs alternate in order.
    int runs = 0;
    const auto freshFolder = [&] {
        const std::string folder = dir.path().toStdString() + "/run" + std::to_string(++runs);
        std::filesystem::create_directory(folder);
        std::filesystem::create_hard_link(source, folder + "/source.bin");
        return folder;
    };
    Timing bestEngine{1e300, 1e300};
    Timing bestWindow{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        Timing engine;
        Timing window;
        if (round % 2 == 0) {
            engine = engineAlone(freshFolder());
            window = throughWindow(QString::fromStdString(freshFolder()));
        } else {
            window = throughWindow(QString::fromStdString(freshFolder()));
            engine = engineAlone(freshFolder());
        }
        std::printf("round %d: engine %.3f s (cpu %.3f s), window %.3f s (cpu %.3f s)\n",
                    round + 1, engine.wall, engine.cpu, window.wall, window.cpu);
        bestEngine = {std::min(bestEngine.wall, engine.wall), std::min(bestEngine.cpu, engine.cpu)};
        bestWindow = {std::min(bestWindow.wall, window.wall), std::min(bestWindow.cpu, window.cpu)};
    }
    QDir::setCurrent(QDir::rootPath());
    std::printf("split into %d pieces of %zu bytes, best of %d: engine alone %.3f s, through the "
                "window %.3f s, ratio %.2f (target at most 1.5); cpu ratio %.2f\n",
                pieceCount, pieceSize, rounds, bestEngine.wall, bestWindow.wall,
                bestWindow.wall / bestEngine.wall, bestWindow.cpu / bestEngine.cpu);
    return 0;
}
