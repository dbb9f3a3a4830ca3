#include "commandline.h"

#include "engine/text/nametext.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

namespace qfs::cli {

namespace {

constexpr const char* programName = "quarb";

// The units a size may end in: a letter for a power of 1024, as the window's units and the
// progress line's "MB" are, optionally followed by "B" or "iB"; bytes are written as no unit
// or as "B". Letters and "B" in either case: "700m", "700MB", "700MiB" and "700mib" agree.
constexpr struct {
    char letter;
    double factor;
} units[] = {{'K', 1024.0}, {'M', 1048576.0}, {'G', 1073741824.0}, {'T', 1099511627776.0}};

char upper(char letter)
{
    return char(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
}

std::optional<double> unitFactor(char letter)
{
    for (const auto& unit : units)
        if (unit.letter == upper(letter))
            return unit.factor;
    return std::nullopt;
}

// Takes the unit off the end of a size, "1.5GiB" leaving "1.5": its factor, 1 for none or
// "B"; empty for an ending that is no unit.
std::optional<double> takeUnit(std::string_view& text)
{
    const auto endsWith = [&](std::string_view suffix) {
        if (text.size() < suffix.size())
            return false;
        for (std::size_t i = 0; i < suffix.size(); ++i)
            if (upper(text[text.size() - suffix.size() + i]) != upper(suffix[i]))
                return false;
        return true;
    };
    bool binary = false; // "iB": only after a letter, "KiB"; a bare "iB" is no unit
    if (endsWith("iB")) {
        text.remove_suffix(2);
        binary = true;
    } else if (endsWith("B")) {
        text.remove_suffix(1);
    }
    if (text.empty() || (text.back() >= '0' && text.back() <= '9') || text.back() == '.')
        return binary ? std::nullopt : std::optional<double>(1.0);
    const auto factor = unitFactor(text.back());
    if (factor)
        text.remove_suffix(1);
    return factor;
}

constexpr double largest = double(CommandLine::largestAmount);

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits with at most one ".", and at least one digit: the only numbers the arguments take.
std::optional<double> plainNumber(std::string_view text, bool allowFraction)
{
    bool digit = false;
    bool point = false;
    for (const char c : text) {
        if (isDigit(c)) {
            digit = true;
        } else if (c == '.' && allowFraction && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digit)
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value,
                                              std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        // Beyond what a double holds: huge when a digit before the point is not 0, else tiny.
        const bool huge = text.find_first_of("123456789") < text.find('.');
        return huge ? largest : 0.0;
    }
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return std::min(value, largest);
}

constexpr const char* commandList = "the commands are split, join, verify and repair";

// CLI11's messages start with a capital; ours, after "quarb: ", do not, unless the first word is
// a name such as FILE.
std::string sentence(std::string text)
{
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
        std::islower(static_cast<unsigned char>(text[1])))
        text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string helpHint(const CLI::App* command)
{
    std::string hint = programName;
    if (command != nullptr)
        hint += " " + command->get_name();
    return " (see '" + hint + " --help')";
}

} // namespace

std::optional<std::uint64_t> CommandLine::sizeInBytes(std::string_view text)
{
    const auto factor = takeUnit(text);
    if (!factor)
        return std::nullopt;
    const auto number = plainNumber(text, true);
    if (!number)
        return std::nullopt;
    // nearbyint rounds half to even in the default rounding mode, as the window does.
    const double bytes = std::min(std::nearbyint(*number * *factor), largest);
    if (bytes < 1)
        return std::nullopt;
    return std::uint64_t(bytes);
}

std::optional<std::uint64_t> CommandLine::pieceCount(std::string_view text)
{
    const auto number = plainNumber(text, false);
    if (!number || *number < 1)
        return std::nullopt;
    return std::uint64_t(*number);
}

std::optional<std::uint32_t> CommandLine::recoveryCount(std::string_view text)
{
    const auto number = plainNumber(text, false);
    if (!number)
        return std::nullopt;
    return std::uint32_t(std::min(*number, double(largestRecovery)));
}

std::variant<Command, ExitStatus> CommandLine::parse(int argc, const char* const* argv,
                                                     std::ostream& out, std::ostream& err)
{
    CLI::App app{"Cuts a file into numbered pieces in a folder beside it or in another folder, and "
                 "joins such pieces back into the original file, byte for byte.",
                 programName};
    app.set_version_flag("--version", std::string(programName) +
                                          " (Quarb's File Splitter) " QFS_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 wrong usage, 2 the work failed or was refused, "
               "3 damaged or missing pieces found (repair: not all of them can be rebuilt, and nothing "
               "was written), 130 interrupted (nothing is left behind).");

    Command command;
    std::string sizeText;
    std::string countText;
    std::string recoveryText;
    bool noChecksums = false;
    bool note = false;

    const auto addQuiet = [&](CLI::App* sub) {
        sub->add_flag("-q,--quiet", command.quiet, "Print no progress and no summary, only errors");
    };
    CLI::App* split = app.add_subcommand(
        "split", "Cut FILE into numbered pieces, FILE.0000, FILE.0001, ..., in a new folder "
                 "FILE_split beside it (or in DIR), with the checksum file FILE.sha256 and one recovery piece "
                 "(FILE.par2, FILE.vol*.par2).");
    split->add_option("FILE", command.path, "The file to split")->required()->type_name("");
    CLI::Option* size = split->add_option(
        "-s,--size", sizeText,
        "Size of every piece but the last: a number of bytes, or one with a unit K, M, G or T, "
        "each 1024 times the last (M = MB = MiB = 1024^2 bytes, as in the window), in either case, "
        "e.g. 700M, 700MB, 4.7GB, 1.5g, 1048576; a fraction of a byte is rounded to the nearest");
    size->type_name("SIZE");
    CLI::Option* count = split->add_option(
        "-n,--count", countText, "Number of pieces wished for: a whole number, at least 1");
    count->type_name("N");
    split->add_flag("--no-checksums", noChecksums, "Leave out the checksum file FILE.sha256");
    CLI::Option* splitOutput = split->add_option(
        "-o,--output", command.output, "Make the folder FILE_split in DIR instead of beside FILE");
    splitOutput->type_name("DIR");
    CLI::Option* recoveryOption = split->add_option("--recovery", recoveryText,
                      "Recovery pieces to write beside the pieces, FILE.par2 and FILE.vol*.par2 (PAR 2.0): "
                      "any N lost or damaged pieces can then be rebuilt, here with 'quarb repair' or "
                      "anywhere with 'par2 repair FILE.par2'. Default 1; 0 for none")
        ->type_name("N");
    split->add_flag("--plain", command.plainPieces,
                    "Write plain pieces FILE.001, FILE.002, ...: bare slices that anyone can join by putting "
                    "them back to back (cat, copy /b), with the note FILE.how-to-join.txt unless --no-note");
    CLI::Option* noteOption = split->add_flag("--note,!--no-note", note,
                    "Write, or leave out, the note FILE.how-to-join.txt: the commands that check and join the "
                    "pieces on Linux, macOS and Windows. Default: with --plain only");
    addQuiet(split);

    CLI::App* join = app.add_subcommand(
        "join", "Write the pieces in FOLDER back to back into one file in FOLDER (or in DIR), "
                "named after the first piece, and check them against the folder's checksum file.");
    join->add_option("FOLDER", command.path, "The folder of pieces")->required()->type_name("");
    CLI::Option* joinOutput = join->add_option(
        "-o,--output", command.output,
        "Write the rebuilt file into DIR instead of FOLDER; FOLDER is then only read");
    joinOutput->type_name("DIR");
    join->add_flag("--force", command.force,
                   "Replace a file of the rebuilt name in DIR (one in FOLDER itself is always replaced)");
    join->add_flag("--repair", command.repair,
                   "First rebuild damaged and missing pieces from the recovery pieces in FOLDER, as "
                   "'quarb repair' does");
    addQuiet(join);

    CLI::App* verify = app.add_subcommand(
        "verify", "Check the pieces in FOLDER, and the rebuilt file if it is there, against "
                  "the folder's checksum file, without writing anything.");
    verify->add_option("FOLDER", command.path, "The folder of pieces")->required()->type_name("");
    addQuiet(verify);

    CLI::App* repair = app.add_subcommand(
        "repair", "Rebuild the damaged and missing pieces in FOLDER from the recovery pieces there "
                  "(the .par2 files a split writes), each checked against the recovery data and the "
                  "checksum file before it replaces anything. Nothing is written when they cannot all be rebuilt.");
    repair->add_option("FOLDER", command.path, "The folder of pieces")->required()->type_name("");
    addQuiet(repair);

    const auto usage = [&](const std::string& what) {
        const CLI::App* chosen = nullptr;
        for (const CLI::App* sub : {split, join, verify, repair})
            if (sub->parsed())
                chosen = sub;
        // CLI11's texts may quote an argument: printed as a name would be.
        err << programName << ": " << NameText::printable(what) << helpHint(chosen) << '\n';
        return WrongUsage;
    };

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        app.exit(e, out, err);
        return Done;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            app.exit(e, out, err);
            return Done;
        }
        if (app.get_subcommands().empty() && dynamic_cast<const CLI::RequiredError*>(&e)) {
            // CLI11 says only that a subcommand is required; say which word it did not know.
            if (argc > 1)
                return usage("'" + NameText::printable(argv[1]) + "' is not a command; " + commandList);
            return usage(std::string("a command is required; ") + commandList);
        }
        return usage(sentence(e.what()));
    }

    if (command.path.empty())
        return usage(std::string(split->parsed() ? "FILE" : "FOLDER") + " is empty");
    if (splitOutput->count() + joinOutput->count() > 0 && command.output.empty())
        return usage("DIR is empty");
    if (join->parsed()) {
        command.kind = Command::Kind::Join;
        return command;
    }
    if (verify->parsed()) {
        command.kind = Command::Kind::Verify;
        return command;
    }
    if (repair->parsed()) {
        command.kind = Command::Kind::Repair;
        return command;
    }

    command.kind = Command::Kind::Split;
    command.writeChecksums = !noChecksums;
    if (noteOption->count() > 0)
        command.writeNote = note;
    if (recoveryOption->count() > 0) {
        const auto recovery = recoveryCount(recoveryText);
        if (!recovery)
            return usage("the recovery count '" + NameText::printable(recoveryText) + "' is not a whole number");
        command.recoveryPieces = *recovery;
    }
    if ((size->count() > 0) == (count->count() > 0))
        return usage("give either --size SIZE or --count N");
    if (size->count() > 0) {
        const auto bytes = sizeInBytes(sizeText);
        if (!bytes)
            return usage("the size '" + NameText::printable(sizeText) +
                         "' is not a size: give a number of bytes of at least 1, optionally with a unit K, M, G "
                         "or T (powers of 1024), e.g. 700M or 1.5G");
        command.rule = Command::PieceRule::BySize;
        command.amount = *bytes;
    } else {
        const auto pieces = pieceCount(countText);
        if (!pieces)
            return usage("the count '" + NameText::printable(countText) + "' is not a whole number of at least 1");
        command.rule = Command::PieceRule::ByCount;
        command.amount = *pieces;
    }
    return command;
}

} // namespace qfs::cli
