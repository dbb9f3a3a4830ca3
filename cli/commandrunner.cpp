#include "commandrunner.h"

#include "interruptiblerun.h"
#include "engine/joiner.h"
#include "engine/repairer.h"
#include "engine/text/nametext.h"
#include "engine/text/outcometext.h"
#include "engine/text/progresstext.h"
#include "engine/pieces/piecenaming.h"
#include "engine/splitter.h"
#include "terminalprogress.h"
#include "engine/verifier.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>

namespace qfs::cli {

namespace {

constexpr const char* programName = "quarb";
// Names listed below a finding stand out from the lines that are sentences.
constexpr const char* nameIndent = "  ";
// How often the progress line is redrawn at most.
constexpr std::chrono::milliseconds redrawInterval{100};

// What the engine reports while it runs: the progress, drawn on the terminal, and how many
// pieces a split wrote, for the line that says what a stopped run removed.
class ProgressShown : public SplitObserver, public JoinObserver, public VerifyObserver {
public:
    explicit ProgressShown(TerminalProgress& progress) : m_progress(progress) {}
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_progress.report(bytesDone, bytesTotal);
        m_bytes = bytesDone;
    }
    void pieceWritten(const std::string&) override { ++m_pieces; }
    std::uint64_t pieces() const { return m_pieces; }
    std::uint64_t bytes() const { return m_bytes; }

private:
    TerminalProgress& m_progress;
    std::uint64_t m_pieces = 0;
    std::uint64_t m_bytes = 0;
};

// What one of the engine's runs returned, the signal that stopped it (or 0), and the pieces it
// wrote and the bytes it got through before it ended.
template <class Value>
struct Ran {
    Result<Value> result;
    int signal;
    std::uint64_t piecesWritten;
    std::uint64_t bytesDone;
};

// Does one of the engine's runs, `engine.run(request, observer, stop)`, with the progress
// line, and removes the line before anything else is printed.
template <class Engine, class Request>
auto runWithProgress(bool quiet, Engine engine, const Request& request)
{
    TerminalProgress progress(STDERR_FILENO, !quiet);
    ProgressShown shown(progress);
    std::optional<decltype(engine.run(request, shown))> result;
    const auto outcome = InterruptibleRun::run(
        [&](std::stop_token stop) {
            result.emplace(engine.run(request, shown, std::move(stop)));
            return result->error();
        },
        progress.enabled() ? std::function<void()>([&] { progress.draw(); }) : nullptr, redrawInterval);
    progress.clear();
    return Ran{std::move(*result), outcome.signal, shown.pieces(), shown.bytes()};
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
    case RecoveryDamaged:
        break;
    default:
        return false;
    }
    const std::string name = std::filesystem::path(error.path).filename().string();
    return !name.empty() && error.description.find(NameText::printable(name)) != std::string::npos;
}

// Whether the error is the refusal of this folder to be written into: a read-only medium, or
// one this user may not write to.
bool refusesWriting(const Error& error, const std::string& folder)
{
    return (error.code == EROFS || error.code == EACCES) && error.path == (folder.empty() ? "." : folder);
}

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
    case Command::Kind::Repair:
        return repair(command);
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
    SplitRequest request{file.parent_path().string(), name,
                         command.rule == Command::PieceRule::BySize ? SplitMode::BySize : SplitMode::ByCount,
                         command.amount, command.writeChecksums};
    request.destinationDirectory = command.output;
    request.recoveryPieces = command.recoveryPieces;
    request.format = command.plainPieces ? PieceFormat::Plain : PieceFormat::Signed;
    request.writeNote = command.writeNote;
    const auto start = std::chrono::steady_clock::now();
    [[maybe_unused]] const auto [result, signal, written, bytes] = runWithProgress(command.quiet, Splitter(), request);
    if (result.failed()) {
        const int status = failure(result.error(), signal,
                                   written == 0 ? std::string(nothingWritten)
                                                : "removed the " + ProgressText::count(written) +
                                                      (written == 1 ? " piece" : " pieces") + " written so far");
        if (result.error().is(FolderExists)) {
            // The window offers the next free name; here the way out is another folder.
            const std::string taken = NameText::printable(PieceNaming::splitFolderName(name));
            const auto free = Splitter().nextFreeFolderName(request);
            hint(taken + " is taken" +
                 (free.failed() ? "" : " (the next free name there is " + NameText::printable(free.value()) + ")") +
                 ": use --output DIR or remove it");
        } else if (command.output.empty() && refusesWriting(result.error(), request.sourceDirectory)) {
            hint("use --output DIR to put the pieces into another folder");
        }
        return status;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Recovery pieces asked for that these pieces cannot carry: the split went on without.
    if (result->plan.recoveryWanted > 0 && !result->plan.recovery.reason.empty())
        m_err << programName << ": " << printableLines(result->plan.recovery.reason) << '\n';
    const std::string made = OutcomeText::split(result->pieces, !result->checksumName.empty(), result->recoveryPieces,
                                                result->folderPath, took.count());
    return summary(command, OutcomeText::withLeftovers(made, result->leftovers));
}

int CommandRunner::join(const Command& command)
{
    if (command.repair) {
        if (const int status = repairFolder(command, false); status != Done)
            return status;
    }
    [[maybe_unused]] const auto [result, signal, written, bytes] =
        runWithProgress(command.quiet, Joiner(), JoinRequest{command.path, command.output, command.force});
    if (result.failed()) {
        // The rebuilt file grows under a temporary name, which the join removes when stopped.
        const int status =
            failure(result.error(), signal, bytes == 0 ? nothingWritten : "removed the partly rebuilt file");
        if (result.error().is(OutputExists))
            hint("use --force to replace it");
        else if (command.output.empty() && refusesWriting(result.error(), command.path))
            hint("use --output DIR to write the rebuilt file into another folder");
        return status;
    }
    // Nothing rebuilt is no success for a script that goes on to remove the folder.
    if (result->rebuiltName.empty())
        return failure(Error{CheckFailed, OutcomeText::noPiecesJoined, command.path}, 0);
    return summary(command, OutcomeText::withLeftovers(OutcomeText::join(result->rebuiltName, result->length),
                                                       result->leftovers));
}

int CommandRunner::verify(const Command& command)
{
    [[maybe_unused]] const auto [result, signal, written, bytes] = runWithProgress(command.quiet, Verifier(), VerifyRequest{command.path});
    if (result.failed())
        return failure(result.error(), signal);

    // The same words as the window's and the join's: the findings by name on standard error,
    // the line that sums them up as the summary.
    const VerifyReport& report = result.value();
    if (report.stem.empty())
        return failure(Error{CheckFailed, OutcomeText::noPiecesVerified, command.path}, 0);
    for (const PieceFinding& finding : OutcomeText::verifyFindings(report, "quarb repair")) {
        m_err << programName << ": " << printableLines(finding.sentence) << '\n';
        listNames(finding.names);
    }
    const int status = summary(command, OutcomeText::verify(report));
    return status == Done && !report.intact() ? PiecesDamaged : status;
}

int CommandRunner::repair(const Command& command)
{
    return repairFolder(command, true);
}

int CommandRunner::repairFolder(const Command& command, bool summaryShown)
{
    [[maybe_unused]] const auto [result, signal, written, bytes] = runWithProgress(command.quiet, Repairer(), RepairRequest{command.path});
    if (result.failed())
        return failure(result.error(), signal, "no piece was replaced");
    if (result->found.stem.empty())
        return failure(Error{CheckFailed, summaryShown ? OutcomeText::noPiecesRepaired : OutcomeText::noPiecesJoined,
                             command.path},
                       0);
    if (!result->piecesIntact()) {
        for (const PieceFinding& finding : OutcomeText::verifyFindings(result->remaining, "quarb repair")) {
            m_err << programName << ": " << printableLines(finding.sentence) << '\n';
            listNames(finding.names);
        }
        m_err << programName << ": " << printableLines(OutcomeText::repair(result.value())) << '\n';
        return PiecesDamaged;
    }
    if (!summaryShown && result->rebuilt.empty())
        return Done;
    return summary(command, OutcomeText::repair(result.value()));
}

int CommandRunner::failure(const Error& error, int signal, const std::string& undone)
{
    if (error.is(Cancelled) && signal != 0) {
        m_err << programName << ": stopped; " << undone << '\n';
        return SignalBase + signal;
    }
    m_err << programName << ": " << describe(error) << '\n';
    listNames(error.names);
    if (error.is(PieceDamaged) || error.is(MissingPiece) || error.is(UnlistedPiece) || error.is(RecoveryInsufficient) ||
        error.is(RecoveryDamaged))
        return PiecesDamaged;
    return WorkFailed;
}

void CommandRunner::hint(const std::string& text)
{
    m_err << programName << ": " << text << '\n';
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
