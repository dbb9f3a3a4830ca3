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
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr int pieceCount = 100000;
constexpr std::size_t pieceSize = 4096;

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

double engineAlone(const std::string& folder)
{
    qfs::SplitRequest request;
    request.sourceDirectory = folder;
    request.sourceFileName = "source.bin";
    request.sizeText = "4";
    request.unitIndex = 2;
    qfs::SplitObserver nothing;
    QElapsedTimer clock;
    clock.start();
    const qfs::Error error = qfs::Splitter().run(request, nothing);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (error.failed())
        std::fprintf(stderr, "engine: %s\n", error.message().c_str());
    return seconds;
}

double throughWindow(const QString& folder)
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
        return -1;
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(found.front()).center());
    QTest::keyClicks(window.findChild<QLineEdit*>(QStringLiteral("Text2")), QStringLiteral("4"));
    auto* split = window.findChild<QAbstractButton*>(QStringLiteral("Command2"));

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(split, Qt::LeftButton);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    const int listed = window.findChild<QListWidget*>(QStringLiteral("File1"))->count();
    if (listed != pieceCount || feedback.beeps != 1 || !feedback.messages.isEmpty())
        std::fprintf(stderr, "window: %d pieces listed, %d beeps, %lld messages\n", listed,
                     feedback.beeps, static_cast<long long>(feedback.messages.size()));
    return seconds;
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
    const std::string folder = dir.path().toStdString();
    const std::filesystem::path pieces = folder + "/source.bin_split";
    writeSource(folder + "/source.bin");

    double bestEngine = 1e300;
    double bestWindow = 1e300;
    for (int round = 0; round < rounds; ++round) {
        std::filesystem::remove_all(pieces);
        const double engine = engineAlone(folder);
        std::filesystem::remove_all(pieces);
        const double window = throughWindow(dir.path());
        std::filesystem::remove_all(pieces);
        std::printf("round %d: engine %.3f s, window %.3f s\n", round + 1, engine, window);
        bestEngine = std::min(bestEngine, engine);
        bestWindow = std::min(bestWindow, window);
    }
    std::printf("split into %d pieces of %zu bytes: engine alone %.3f s, through the window "
                "%.3f s, ratio %.2f (target at most 1.5)\n",
                pieceCount, pieceSize, bestEngine, bestWindow, bestWindow / bestEngine);
    QDir::setCurrent(QDir::rootPath());
    return 0;
}
