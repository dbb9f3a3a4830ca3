#include "engine/text/notetext.h"

#include "engine/pieces/piecenaming.h"
#include "engine/text/progresstext.h"

#include <algorithm>
#include <vector>

namespace qfs {

namespace {

// Characters Windows does not allow in a file name, and "%", which cmd.exe expands even inside
// double quotes.
constexpr std::string_view notForCmd = "\"%<>|?*:\\/";
constexpr char firstPrintable = ' ';
constexpr char deleteCharacter = '\x7f';
// The characters of a SHA-256 in hex: what `cut` keeps of sha256sum's line.
constexpr int sha256HexDigits = 64;
// tail starts after the signature at this byte, counted from 1.
constexpr std::size_t tailFirstByte = pieceSignature.size() + 1;

bool hasControl(std::string_view name)
{
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return (c >= 0 && c < firstPrintable) || c == deleteCharacter; });
}

// Collects the note's lines, each ended by CR LF.
class Lines {
public:
    void text(std::string_view line)
    {
        m_text += line;
        m_text += NoteText::lineEnd;
    }
    void command(std::string_view line)
    {
        m_text += NoteText::commandIndent;
        text(line);
    }
    void blank() { m_text += NoteText::lineEnd; }
    void heading(std::string_view title)
    {
        blank();
        text(title);
        text(std::string(title.size(), '-'));
    }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text;
};

std::string globOfWidth(std::size_t digits)
{
    std::string glob = ".";
    for (std::size_t k = 0; k < digits; ++k)
        glob += "[0-9]";
    return glob;
}

// The shell patterns that match the pieces' names, one per width, narrowest first: the shell
// sorts each pattern's names, which puts names of one width in the order of their numbers.
std::vector<std::string> pieceGlobs(const SplitPlan& plan)
{
    const std::string quoted = NoteText::shQuoted(plan.sourceFileName);
    const std::size_t widest = PieceNaming::indexDigits(plan.pieceName(plan.pieceCount - 1));
    std::vector<std::string> globs;
    for (std::size_t digits = PieceNaming::minimumDigits(plan.format); digits <= widest; ++digits)
        globs.push_back(quoted + globOfWidth(digits));
    return globs;
}

std::string joinedWords(const std::vector<std::string>& words, std::string_view separator)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : std::string(separator)) + word;
    return text;
}

// The sh lines of Linux and macOS; `sha256` is the command that hashes ("sha256sum",
// "shasum -a 256").
void shLines(Lines& lines, const SplitPlan& plan, const NoteText::Facts& facts, std::string_view sha256)
{
    const std::string& name = plan.sourceFileName;
    const std::string joining = NoteText::shQuoted(name + std::string(NoteText::joiningSuffix));
    if (facts.checksumFile) {
        const bool listsWhole = plan.format == PieceFormat::Signed;
        lines.command(std::string(sha256) + " -c " + (listsWhole ? "--ignore-missing " : "") +
                      NoteText::shQuoted(plan.checksumName));
    }
    const std::vector<std::string> globs = pieceGlobs(plan);
    if (plan.format == PieceFormat::Signed) {
        lines.command("for f in " + joinedWords(globs, " ") + "; do tail -c +" + std::to_string(tailFirstByte) +
                      " \"$f\"; done > " + joining);
    } else if (globs.size() == 1) {
        lines.command("cat " + globs.front() + " > " + joining);
    } else {
        lines.command("printf '%s\\0' " + joinedWords(globs, " ") + " | xargs -0 cat > " + joining);
    }
    const std::string rename = "mv " + joining + " " + NoteText::shQuoted(name);
    if (facts.wholeSha256.empty()) {
        lines.command(rename);
        return;
    }
    lines.command("[ \"$(" + std::string(sha256) + " < " + joining + " | cut -c1-" +
                  std::to_string(sha256HexDigits) + ")\" = " + facts.wholeSha256 + " ] && " + rename +
                  " && echo " + NoteText::shQuoted(name + ": OK"));
}

void windowsLines(Lines& lines, const SplitPlan& plan, const NoteText::Facts& facts)
{
    const std::string& name = plan.sourceFileName;
    const std::string joiningName = name + std::string(NoteText::joiningSuffix);
    const std::string joining = NoteText::cmdQuoted(joiningName);
    if (facts.checksumFile) {
        lines.text("To check a piece, compare the SHA-256 that this prints with the piece's line in " +
                   plan.checksumName + ":");
        lines.command("certutil -hashfile " + NoteText::cmdQuoted(plan.pieceName(0)) + " SHA256");
        lines.text("Then join the pieces, in this order:");
    }
    // The first line writes the joined file, each further one appends to it: copy with no
    // destination stores the files it combines under the first one's name.
    const std::string firstStart = "copy /y /b ";
    const std::string firstEnd = " " + joining;
    const std::string nextStart = "copy /b " + joining + "+";
    bool first = true;
    std::string names; // the pieces of the line being filled, joined by "+"
    const auto lineSize = [&](std::size_t namesSize) {
        return NoteText::commandIndent.size() + namesSize
               + (first ? firstStart.size() + firstEnd.size() : nextStart.size());
    };
    const auto flush = [&] {
        lines.command(first ? firstStart + names + firstEnd : nextStart + names);
        first = false;
        names.clear();
    };
    for (std::uint64_t index = 0; index < plan.pieceCount; ++index) {
        const std::string piece = NoteText::cmdQuoted(plan.pieceName(index));
        if (!names.empty() && lineSize(names.size() + 1 + piece.size()) > NoteText::cmdLineLimit)
            flush();
        names += (names.empty() ? "" : "+") + piece;
    }
    flush();
    if (!facts.wholeSha256.empty()) {
        lines.command("certutil -hashfile " + joining + " SHA256");
        lines.text("Only when it prints " + facts.wholeSha256 + ", give the joined file its name:");
    }
    lines.command("ren " + joining + " " + NoteText::cmdQuoted(name));
}

} // namespace

std::string NoteText::shQuoted(std::string_view name)
{
    std::string quoted = "'";
    if (name.starts_with('-'))
        quoted += "./";
    for (const char c : name) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string NoteText::cmdQuoted(std::string_view name)
{
    if (name.empty() || hasControl(name) || name.find_first_of(notForCmd) != std::string_view::npos)
        return {};
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted += '"';
    quoted += name;
    quoted += '"';
    return quoted;
}

std::string NoteText::howToJoin(const SplitPlan& plan, const Facts& facts)
{
    Lines lines;
    const std::string& name = plan.sourceFileName;
    const std::string title = "How to join " + name;
    lines.text(title);
    lines.text(std::string(title.size(), '='));
    lines.blank();
    const std::string first = plan.pieceName(0);
    const std::string last = plan.pieceName(plan.pieceCount - 1);
    const std::string count = ProgressText::count(plan.pieceCount);
    std::string pieces = plan.pieceCount == 1 ? "The piece " + first + " holds"
                                              : "The " + count + " pieces " + first + " to " + last + " hold";
    lines.text(pieces + " " + name + " (" + ProgressText::count(plan.sourceLength) + " bytes)" +
               (plan.format == PieceFormat::Plain ? ": put back to back in the order of their numbers, they are "
                                                    "that file again, byte for byte."
                                                  : ", each after a five-byte signature, \"Quarb\"."));
    if (facts.checksumFile)
        lines.text(plan.checksumName + " holds the SHA-256 checksum of every piece" +
                   (plan.format == PieceFormat::Signed ? " and of " + name : "") + ".");
    else
        lines.text("No checksum file came with the pieces: their content cannot be checked.");
    if (!facts.wholeSha256.empty())
        lines.text("The SHA-256 checksum of " + name + " is " + facts.wholeSha256 + ".");
    lines.text("Open a terminal in this folder and type or paste the lines for your system one after the "
               "other; stop when one reports a failure. The joined file is written as " + name +
               std::string(joiningSuffix) + " and takes its name only once it is complete" +
               (facts.wholeSha256.empty() ? "." : " and its checksum is the original's."));

    if (hasControl(name)) {
        lines.blank();
        lines.text("The file's name holds control characters, which cannot be written into a command here: "
                   "rename the pieces first, keeping their numbers.");
        return lines.take();
    }

    lines.heading("Linux");
    shLines(lines, plan, facts, "sha256sum");
    lines.heading("macOS");
    shLines(lines, plan, facts, "shasum -a 256");
    lines.heading("Windows (Command Prompt)");
    if (plan.format == PieceFormat::Signed) {
        lines.text("Each piece starts with a five-byte signature that the commands of Windows cannot leave out: "
                   "join them with Quarb's File Splitter there, or on Linux or macOS as above.");
    } else if (cmdQuoted(name).empty()) {
        lines.text("The file's name holds characters that Windows does not allow in a name or that the Command "
                   "Prompt would change (\" % < > | ? * : \\ /): rename the pieces first, keeping their numbers, "
                   "and join them with copy /b in the order of their numbers.");
    } else {
        windowsLines(lines, plan, facts);
    }
    if (plan.recovery.possible() && !plan.recovery.files.empty()) {
        lines.heading("Repairing lost or damaged pieces");
        lines.text("With par2 (package par2 on Debian and Ubuntu; on Windows MultiPar or QuickPar), before the "
                   "join; a damaged piece is kept with \".1\" added to its name:");
        lines.command("par2 repair " + shQuoted(plan.recovery.files.front().name));
    }
    return lines.take();
}

} // namespace qfs
