#include "commandrunner.h"

#include "interruptiblerun.h"
#include "joiner.h"
#include "outcometext.h"
#include "splitter.h"
#include "terminalprogress.h"
#include "verifier.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>

namespace qfs::cli {

namespace {

constexpr const char* programName = "quarb";
// How often the progress line is redrawn at most.
constexpr std::chrono::milliseconds redrawInterval{100};

// Runs the job with the progress line, and removes the line before anything else is printed.
InterruptibleRun::Outcome runWithProgress(TerminalProgress& progress,
                                          const std::function<Error(std::stop_token)>& job)
{
    const auto outcome = InterruptibleRun::run(
        job, progress.enabled() ? std::function<void()>([&] { progress.draw(); }) : nullptr,
        redrawInterval);
    progress.clear();
    return outcome;
}

class SplitWatch : public SplitObserver {
public:
    explicit SplitWatch(TerminalProgress& progress) : m_progress(progress) {}
    void folderOpened(const std::string& folderPath) override { m_folder = folderPath; }
    void pieceWritten(const std::string&) override { ++m_pieces; }
    void leftoversRemoved(const Leftovers& removed) override { m_leftovers = removed; }
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_progress.report(bytesDone, bytesTotal);
    }

    std::string m_folder;
    std::uint64_t m_pieces = 0;
    Leftovers m_leftovers;

private:
    TerminalProgress& m_progress;
};

class JoinWatch : public JoinObserver {
public:
    explicit JoinWatch(TerminalProgress& progress) : m_progress(progress) {}
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_progress.report(bytesDone, bytesTotal);
    }
    void finished(const std::string& rebuiltName, std::uint64_t length) override
    {
        m_rebuiltName = rebuiltName;
        m_length = length;
    }
    void leftoversRemoved(const Leftovers& removed) override { m_leftovers = removed; }

    std::string m_rebuiltName;
    std::uint64_t m_length = 0;
    Leftovers m_leftovers;

private:
    TerminalProgress& m_progress;
};

class VerifyWatch : public VerifyObserver {
public:
    explicit VerifyWatch(TerminalProgress& progress) : m_progress(progress) {}
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_progress.report(bytesDone, bytesTotal);
    }
    void finished(const VerifyReport& report) override { m_report = report; }

    VerifyReport m_report{};

private:
    TerminalProgress& m_progress;
};

} // namespace

int CommandRunner::run(const Command& command)
{
    switch (command.kind) {
    case Command::Kind::Split:
        return split(command);
    case Command::Kind::Join:
        return join(command);
    case Command::Kind::Verify:
        return verify(command);
    }
    return WrongUsage;
}

std::string CommandRunner::describe(const Error& error)
{
    if (error.path.empty())
        return error.description;
    const std::string name = std::filesystem::path(error.path).filename().string();
    if (error.description.find(error.path) != std::string::npos ||
        (!name.empty() && error.description.find(name) != std::string::npos))
        return error.description;
    return error.path + ": " + error.description;
}

int CommandRunner::split(const Command& command)
{
    const std::filesystem::path file(command.path);
    const std::string name = file.filename().string();
    if (name.empty() || name == "." || name == "..") {
        m_err << programName << ": " << command.path << ": is a folder; split takes a file\n";
        return WorkFailed;
    }
    SplitRequest request;
    request.sourceDirectory = file.parent_path().string();
    request.sourceFileName = name;
    if (command.rule == Command::PieceRule::BySize) {
        request.mode = SplitMode::BySize;
        request.size = command.amount;
        request.unitIndex = bytesUnitIndex;
    } else {
        request.mode = SplitMode::ByCount;
        request.count = command.amount;
    }
    request.writeChecksums = command.writeChecksums;

    TerminalProgress progress(STDERR_FILENO, !command.quiet);
    SplitWatch watch(progress);
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = runWithProgress(progress, [&](std::stop_token stop) {
        return Splitter().run(request, watch, stop);
    });
    if (outcome.error.failed())
        return failure(outcome.error, outcome.signal);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return summary(command, OutcomeText::withLeftovers(OutcomeText::split(watch.m_pieces, watch.m_folder, took.count()),
                                                       watch.m_leftovers));
}

int CommandRunner::join(const Command& command)
{
    JoinRequest request;
    request.folderPath = command.path;
    TerminalProgress progress(STDERR_FILENO, !command.quiet);
    JoinWatch watch(progress);
    const auto outcome = runWithProgress(progress, [&](std::stop_token stop) {
        return Joiner().run(request, watch, stop);
    });
    if (outcome.error.failed())
        return failure(outcome.error, outcome.signal);
    return summary(command,
                   OutcomeText::withLeftovers(OutcomeText::join(watch.m_rebuiltName, watch.m_length), watch.m_leftovers));
}

int CommandRunner::verify(const Command& command)
{
    VerifyRequest request;
    request.folderPath = command.path;
    TerminalProgress progress(STDERR_FILENO, !command.quiet);
    VerifyWatch watch(progress);
    const auto outcome = runWithProgress(progress, [&](std::stop_token stop) {
        return Verifier().run(request, watch, stop);
    });
    if (outcome.error.failed())
        return failure(outcome.error, outcome.signal);

    // The same words as the window's: the findings by name on standard error, the line that
    // sums them up as the summary.
    const VerifyReport& report = watch.m_report;
    if (!report.intact()) {
        std::istringstream findings(OutcomeText::verifyFindings(report));
        for (std::string line; std::getline(findings, line);)
            m_err << programName << ": " << line << "\n";
    }
    const int status = summary(command, OutcomeText::verify(report));
    return status == Done && !report.intact() ? PiecesDamaged : status;
}

int CommandRunner::failure(const Error& error, int signal)
{
    if (error.is(Cancelled) && signal != 0)
        return SignalBase + signal;
    m_err << programName << ": " << describe(error) << '\n';
    if (error.is(PieceDamaged) || error.is(MissingPiece))
        return PiecesDamaged;
    return WorkFailed;
}

int CommandRunner::summary(const Command& command, const std::string& text)
{
    if (command.quiet)
        return Done;
    m_out << text << '\n' << std::flush;
    if (!m_out) {
        m_err << programName << ": cannot write to standard output\n";
        return WorkFailed;
    }
    return Done;
}

} // namespace qfs::cli
