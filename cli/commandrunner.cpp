#include "commandrunner.h"

#include "interruptiblerun.h"
#include "joiner.h"
#include "nametext.h"
#include "outcometext.h"
#include "splitter.h"
#include "terminalprogress.h"
#include "verifier.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

namespace qfs::cli {

namespace {

constexpr const char* programName = "quarb";
// Names listed below a finding stand out from the lines that are sentences.
constexpr const char* nameIndent = "  ";
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

// Every text this program prints goes through here, a line at a time. The engine puts names
// into its texts in NameText::printable's form; should a control character still come
// through, the line it is on is quoted whole, so that nothing printed can move the cursor or
// restyle the terminal. This holds on a terminal and off it: a log read later is as safe.
std::string printableLines(const std::string& text)
{
    std::string printed;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        printed += NameText::printable(std::string_view(text).substr(start, end - start));
        if (end == std::string::npos)
            return printed;
        printed += '\n';
        start = end + 1;
    }
}

// Whether the description already names the file its error is about. Only the engine's texts
// that are built around the names of pieces do; the system's error texts never name a file,
// whatever words they share with its name ("No such file or directory" holds the name "e").
bool namesItsFile(const Error& error)
{
    switch (error.code) {
    case PieceDamaged:
    case MissingPiece:
    case MixedPieces:
    case DuplicatePiece:
    case ChecksumFileInvalid:
        break;
    default:
        return false;
    }
    const std::string name = std::filesystem::path(error.path).filename().string();
    return !name.empty() && error.description.find(NameText::printable(name)) != std::string::npos;
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
    const std::string description = printableLines(error.description);
    if (error.path.empty() || namesItsFile(error))
        return description;
    return NameText::printable(error.path) + ": " + description;
}

int CommandRunner::split(const Command& command)
{
    const std::filesystem::path file(command.path);
    const std::string name = file.filename().string();
    if (name.empty() || name == "." || name == "..") {
        // A name that can only be a folder's: say what is really there ("plainfile/" is a
        // file, and "Not a directory" says why it cannot be taken as written).
        struct stat info {};
        if (::stat(command.path.c_str(), &info) != 0)
            return failure(Error::fromErrno(errno, command.path), 0);
        m_err << programName << ": " << NameText::printable(command.path) << ": is a folder; split takes a file\n";
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
    // Nothing rebuilt is no success for a script that goes on to remove the folder.
    if (watch.m_rebuiltName.empty())
        return failure(Error{CheckFailed, OutcomeText::noPiecesJoined, command.path}, 0);
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

    // The same words as the window's and the join's: the findings by name on standard error,
    // the line that sums them up as the summary.
    const VerifyReport& report = watch.m_report;
    if (report.stem.empty())
        return failure(Error{CheckFailed, OutcomeText::noPiecesVerified, command.path}, 0);
    for (const PieceFinding& finding : OutcomeText::verifyFindings(report)) {
        m_err << programName << ": " << printableLines(finding.sentence) << '\n';
        listNames(finding.names);
    }
    const int status = summary(command, OutcomeText::verify(report));
    return status == Done && !report.intact() ? PiecesDamaged : status;
}

int CommandRunner::failure(const Error& error, int signal)
{
    if (error.is(Cancelled) && signal != 0)
        return SignalBase + signal;
    m_err << programName << ": " << describe(error) << '\n';
    listNames(error.names);
    if (error.is(PieceDamaged) || error.is(MissingPiece) || error.is(UnlistedPiece))
        return PiecesDamaged;
    return WorkFailed;
}

void CommandRunner::listNames(const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        m_err << nameIndent << NameText::printable(name) << '\n';
}

int CommandRunner::summary(const Command& command, const std::string& text)
{
    if (command.quiet)
        return Done;
    m_out << printableLines(text) << '\n' << std::flush;
    if (!m_out) {
        m_err << programName << ": cannot write to standard output\n";
        return WorkFailed;
    }
    return Done;
}

} // namespace qfs::cli
