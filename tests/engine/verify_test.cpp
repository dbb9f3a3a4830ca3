// Checksums across the split, the join and the verification: what the real sha256sum thinks of
// them, folders damaged on the way, and stopping half-way.
#include "engine/joiner.h"
#include "engine/text/outcometext.h"
#include "engine/splitter.h"
#include "engine/text/notetext.h"
#include "testfolder.h"
#include "engine/verifier.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

using namespace qfs;
namespace fs = std::filesystem;

namespace {

const char* const sha256sum = "/usr/bin/sha256sum";

// Whether sha256sum, run in the folder, accepts every line of the checksum file it can check
// (every line, with ignoreMissing false).
bool sha256sumAccepts(const std::string& folder, const std::string& checksumFile, bool ignoreMissing)
{
    const std::string command = "cd '" + folder + "' && " + sha256sum + " --quiet --strict -c "
                                + (ignoreMissing ? "--ignore-missing " : "") + "'" + checksumFile
                                + "' > /dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// What a verification returned: its report, or its failure.
struct VerifyRecorder {
    VerifyReport report;
    Error error;
};

VerifyRecorder verify(const std::string& folder)
{
    VerifyObserver quiet;
    const Result<VerifyReport> result = Verifier(FileLayer::system(), 4096).run(VerifyRequest{folder}, quiet);
    return result.failed() ? VerifyRecorder{{}, result.error()} : VerifyRecorder{result.value(), {}};
}

void flipByte(const std::string& path, std::uint64_t offset)
{
    std::string bytes = readFile(path);
    bytes[offset] = char(~bytes[offset]);
    writeFile(path, bytes);
}

Error splitWithChecksums(const TestFolder& folder, const std::string& name, std::uint64_t pieceBytes)
{
    RecordingObserver observer;
    return Splitter(FileLayer::system(), 4096)
        .run(SplitRequest{folder.path(), name, SplitMode::BySize, pieceBytes, true}, observer)
        .error();
}

// A source of 3 × 64 KiB + 100 bytes: dense, or with holes at the start of pieces, a piece
// that is all hole, and a hole at the end.
struct SourceCase {
    const char* name;
    bool sparse;
};

class ChecksumRoundTripTest : public testing::TestWithParam<SourceCase> {};

TEST_P(ChecksumRoundTripTest, Sha256sumAcceptsThePiecesAndTheRebuiltFile)
{
    constexpr std::size_t piece = 64 * 1024;
    constexpr std::size_t length = 3 * piece + 100;
    TestFolder folder;
    const std::string path = folder.file("src");
    if (GetParam().sparse) {
        writeFile(path, "");
        fs::resize_file(path, length);
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string data = patternBytes(8192);
        for (const std::uint64_t at : {piece + 20000, 2 * piece - 8192})
            ASSERT_EQ(::pwrite(fd, data.data(), data.size(), off_t(at)), ssize_t(data.size()));
        ::close(fd);
    } else {
        writeFile(path, patternBytes(length));
    }
    const std::string source = readFile(path);
    ASSERT_FALSE(splitWithChecksums(folder, "src", double(piece)).failed());
    const std::string pieces = folder.file("src_split");
    if (GetParam().sparse) {
        struct stat info {};
        ASSERT_EQ(::stat((pieces + "/src.0000").c_str(), &info), 0);
        EXPECT_LT(std::uint64_t(info.st_blocks) * 512, piece) << "a hole was filled in";
    }
    const bool haveTool = ::access(sha256sum, X_OK) == 0;
    if (haveTool) {
        EXPECT_TRUE(sha256sumAccepts(pieces, "src.sha256", true));
    }

    VerifyRecorder before = verify(pieces);
    ASSERT_FALSE(before.error.failed()) << before.error.message();
    EXPECT_TRUE(before.report.intact());
    EXPECT_TRUE(before.report.hasChecksumFile);
    EXPECT_EQ(before.report.piecesChecked, 4u);
    EXPECT_FALSE(before.report.rebuiltChecked);

    RecordingObserver joined;
    const Error error = joined.ended(Joiner(FileLayer::system(), 4096).run(JoinRequest{pieces}, joined));
    ASSERT_FALSE(error.failed()) << error.message();
    EXPECT_EQ(joined.events, (std::vector<std::string>{"join folder shown", "verifying: src.sha256", "joined: src"}));
    EXPECT_EQ(readFile(pieces + "/src"), source);
    if (haveTool) {
        EXPECT_TRUE(sha256sumAccepts(pieces, "src.sha256", false));
    }

    VerifyRecorder after = verify(pieces);
    EXPECT_TRUE(after.report.intact());
    EXPECT_TRUE(after.report.rebuiltChecked);
    flipByte(pieces + "/src", length / 2);
    VerifyRecorder damaged = verify(pieces);
    EXPECT_TRUE(damaged.report.rebuiltDamaged);
    EXPECT_FALSE(damaged.report.intact());
    EXPECT_TRUE(damaged.report.damaged.empty());
}

INSTANTIATE_TEST_SUITE_P(Sources, ChecksumRoundTripTest,
                         testing::Values(SourceCase{"Dense", false}, SourceCase{"Sparse", true}),
                         [](const auto& row) { return row.param.name; });

// A split of "m" into m.0000 … m.0003 (three of 4096 bytes, one of 1000) and m.sha256, beside an
// earlier m, then damaged. Both the join and the verification must see it, in the same words,
// and neither may write anything.
struct DamageCase {
    const char* name;
    std::function<void(const TestFolder&, const std::string& pieces)> damage;
    int joinCode;
    std::string joinText;   // the join's description
    bool verifyFails;       // the verification fails as the join does, rather than reporting
    bool hasChecksumFile;
    std::vector<std::string> damaged, missing, unlisted;
    bool joinedDamaged = false;
};

class DamagedFolderTest : public testing::TestWithParam<DamageCase> {};

TEST_P(DamagedFolderTest, JoinRefusesAndVerifyReportsWritingNothing)
{
    const DamageCase& c = GetParam();
    TestFolder folder;
    writeFile(folder.file("m"), patternBytes(3 * 4096 + 1000));
    ASSERT_FALSE(splitWithChecksums(folder, "m", 4096).failed());
    const std::string pieces = folder.file("m_split");
    writeFile(pieces + "/m", "an earlier m");
    c.damage(folder, pieces);
    const auto before = snapshot(folder.path());

    RecordingObserver joined;
    const Error error = joined.ended(Joiner(FileLayer::system(), 4096).run(JoinRequest{pieces}, joined));
    EXPECT_EQ(error.code, c.joinCode) << error.message();
    EXPECT_EQ(error.description, c.joinText);
    EXPECT_EQ(error.message().find(".:"), std::string::npos) << error.message();
    EXPECT_EQ(snapshot(folder.path()), before) << "the join wrote something";

    const VerifyRecorder checked = verify(pieces);
    EXPECT_EQ(snapshot(folder.path()), before) << "the verification wrote something";
    if (c.verifyFails) {
        EXPECT_EQ(checked.error.code, c.joinCode);
        EXPECT_EQ(checked.error.description, c.joinText);
        return;
    }
    ASSERT_FALSE(checked.error.failed()) << checked.error.message();
    const VerifyReport& report = checked.report;
    EXPECT_EQ(report.hasChecksumFile, c.hasChecksumFile);
    EXPECT_EQ(report.damaged, c.damaged);
    EXPECT_EQ(report.missing, c.missing);
    EXPECT_EQ(report.missingCount, c.missing.size());
    EXPECT_EQ(report.unlisted, c.unlisted);
    EXPECT_EQ(report.joinedDamaged, c.joinedDamaged);
    EXPECT_EQ(report.rebuiltDamaged, c.hasChecksumFile) << "the earlier m is no rebuilt m";
    EXPECT_FALSE(report.intact());
    std::string findings;
    for (const PieceFinding& finding : OutcomeText::verifyFindings(report))
        findings += (findings.empty() ? "" : " ") + finding.sentence;
    EXPECT_NE(findings.find(c.joinText), std::string::npos) << "the verification words it as the join: " << findings;
}

const std::string aHash(64, 'a');

INSTANTIATE_TEST_SUITE_P(Folders, DamagedFolderTest, testing::Values(
    DamageCase{"FlippedByteInAMiddlePiece",
               [](const TestFolder&, const std::string& p) { flipByte(p + "/m.0001", 100); },
               PieceDamaged, "m.0001 is damaged: its checksum differs.", false, true, {"m.0001"}, {}, {}},
    DamageCase{"TwoDamagedPieces",
               [](const TestFolder&, const std::string& p) {
                   flipByte(p + "/m.0000", 4000);
                   flipByte(p + "/m.0002", 5);
               },
               PieceDamaged, "m.0000 and m.0002 are damaged: their checksums differ.", false, true,
               {"m.0000", "m.0002"}, {}, {}},
    DamageCase{"TruncatedLastPiece",
               [](const TestFolder&, const std::string& p) { fs::resize_file(p + "/m.0003", 500); },
               PieceDamaged, "m.0003 is damaged: its checksum differs.", false, true, {"m.0003"}, {}, {}},
    DamageCase{"MissingMiddlePiece",
               [](const TestFolder&, const std::string& p) { fs::remove(p + "/m.0001"); },
               MissingPiece, "m.0001 is missing.", false, true, {}, {"m.0001"}, {}},
    DamageCase{"MissingLastPiece",
               [](const TestFolder&, const std::string& p) { fs::remove(p + "/m.0003"); },
               MissingPiece, "m.0003 is missing.", false, true, {}, {"m.0003"}, {}},
    DamageCase{"PieceNotInTheChecksumFile",
               [](const TestFolder&, const std::string& p) { writeFile(p + "/m.0004", "Quarb more"); },
               UnlistedPiece, "m.0004 is not in the checksum file.", false, true, {}, {}, {"m.0004"}},
    DamageCase{"WrongLineForTheOriginal",
               [](const TestFolder&, const std::string& p) {
                   std::string sums = readFile(p + "/m.sha256");
                   const std::size_t line = sums.find("  m\n");
                   sums.replace(line - aHash.size(), aHash.size(), aHash);
                   writeFile(p + "/m.sha256", sums);
               },
               PieceDamaged, "The pieces are intact, but together they differ from the checksum of m.", false,
               true, {}, {}, {}, true},
    DamageCase{"EveryPieceEmptied",
               [](const TestFolder&, const std::string& p) {
                   for (const char* piece : {"/m.0000", "/m.0001", "/m.0002", "/m.0003"})
                       fs::resize_file(p + piece, 0);
               },
               PieceDamaged, "m.0000, m.0001, m.0002 and m.0003 are damaged: they lack the signature.", false, true,
               {"m.0000", "m.0001", "m.0002", "m.0003"}, {}, {}},
    DamageCase{"EverySignatureCutOff",
               [](const TestFolder&, const std::string& p) {
                   for (const char* piece : {"/m.0000", "/m.0001", "/m.0002", "/m.0003"})
                       writeFile(p + piece, readFile(p + piece).substr(5));
               },
               PieceDamaged, "m.0000, m.0001, m.0002 and m.0003 are damaged: they lack the signature.", false, true,
               {"m.0000", "m.0001", "m.0002", "m.0003"}, {}, {}},
    DamageCase{"LoneShortPiece",
               [](const TestFolder&, const std::string& p) {
                   for (const char* file : {"/m.0000", "/m.0001", "/m.0002", "/m.0003", "/m.sha256"})
                       fs::remove(p + file);
                   writeFile(p + "/m.0000", "Qua");
               },
               PieceDamaged, "m.0000 is damaged: it lacks the signature.", false, false, {"m.0000"}, {}, {}},
    DamageCase{"OnlyTheChecksumFile",
               [](const TestFolder&, const std::string& p) {
                   for (const char* piece : {"/m.0000", "/m.0001", "/m.0002", "/m.0003"})
                       fs::remove(p + piece);
               },
               MissingPiece, "m.0000, m.0001, m.0002 and m.0003 are missing.", false, true, {},
               {"m.0000", "m.0001", "m.0002", "m.0003"}, {}},
    DamageCase{"UnsignedPiecesAfterAGapListed",
               [](const TestFolder&, const std::string& p) {
                   fs::remove(p + "/m.0000");
                   for (const char* piece : {"/m.0001", "/m.0002", "/m.0003"})
                       writeFile(p + piece, "no signature");
               },
               PieceDamaged, "m.0001, m.0002 and m.0003 are damaged: they lack the signature. m.0000 is missing.",
               false, true, {"m.0001", "m.0002", "m.0003"}, {"m.0000"}, {}},
    // Faults of several kinds are named at once, by the join as by the verification.
    DamageCase{"MissingAndDamagedPieces",
               [](const TestFolder&, const std::string& p) {
                   fs::remove(p + "/m.0003");
                   flipByte(p + "/m.0001", 100);
               },
               MissingPiece, "m.0001 is damaged: its checksum differs. m.0003 is missing.", false, true, {"m.0001"},
               {"m.0003"}, {}},
    DamageCase{"GapAndAnUnlistedPiece",
               [](const TestFolder&, const std::string& p) {
                   fs::remove(p + "/m.0001");
                   writeFile(p + "/m.0004", "Quarb more");
               },
               MissingPiece, "m.0001 is missing. m.0004 is not in the checksum file.", false, true, {}, {"m.0001"},
               {"m.0004"}},
    DamageCase{"MalformedLine",
               [](const TestFolder&, const std::string& p) {
                   writeFile(p + "/m.sha256", readFile(p + "/m.sha256") + "not a checksum line\n");
               },
               ChecksumFileInvalid, "line 6 is not a checksum line", true, true, {}, {}, {}},
    DamageCase{"HostileName",
               [](const TestFolder&, const std::string& p) {
                   writeFile(p + "/m.sha256", readFile(p + "/m.sha256") + aHash + "  ../m\n");
               },
               ChecksumFileInvalid, "line 6 names a file that is not in the folder", true, true, {}, {}, {}},
    DamageCase{"ChecksumFileIsASymbolicLink",
               [](const TestFolder& f, const std::string& p) {
                   fs::rename(p + "/m.sha256", f.file("elsewhere.sha256"));
                   fs::create_symlink(f.file("elsewhere.sha256"), p + "/m.sha256");
               },
               SymbolicLink, "The checksum file is a symbolic link", true, true, {}, {}, {}},
    DamageCase{"NoChecksumFileAndAPieceWithoutItsSignature",
               [](const TestFolder&, const std::string& p) {
                   fs::remove(p + "/m.sha256");
                   flipByte(p + "/m.0002", 0);
               },
               PieceDamaged, "m.0002 is damaged: it lacks the signature.", false, false, {"m.0002"}, {}, {}}),
    [](const auto& row) { return row.param.name; });

// The CRC-32 of a file as gzip computes it: the last eight bytes of its output start with it,
// least significant byte first. In capitals, as SFV and .crc files hold it.
std::string gzipCrc(const TestFolder& folder, const std::string& path)
{
    const std::string packed = folder.file("crc.gz");
    if (std::system(("gzip -c -n '" + path + "' > '" + packed + "'").c_str()) != 0)
        return "gzip failed";
    const std::string bytes = readFile(packed);
    fs::remove(packed);
    constexpr std::size_t trailer = 8;
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < 4; ++i)
        crc |= std::uint32_t(std::uint8_t(bytes[bytes.size() - trailer + i])) << (8 * i);
    char text[9];
    std::snprintf(text, sizeof text, "%08X", crc);
    return text;
}

// The split of "m" above, its m.sha256 replaced by a checksum file of another program, made
// by the real tool or written as that program writes it. The good set verifies and joins,
// naming the file; after a byte of m.0001 is changed the join refuses, naming the piece where
// the file can (not a .crc, which describes the whole file only), and writes nothing. Rows
// without a good set start from a checksum file that refuses the set, or is refused itself.
struct ForeignCase {
    const char* name;
    std::function<void(const TestFolder&, const std::string& pieces)> make;
    const char* checksumFile;
    std::string intactText;          // the verification's outcome of the good set; empty: none
    int code;                        // the join's refusal after the damage, or of the file itself
                                     // (ChecksumFileInvalid: the verification fails alike)
    std::string text;
    std::vector<std::string> damaged; // the verification's report after the damage
};

class ForeignChecksumTest : public testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignChecksumTest, VerifiesAndJoinsNamingTheDamagedPiece)
{
    const ForeignCase& c = GetParam();
    TestFolder folder;
    writeFile(folder.file("m"), patternBytes(3 * 4096 + 1000));
    ASSERT_FALSE(splitWithChecksums(folder, "m", 4096).failed());
    const std::string pieces = folder.file("m_split");
    c.make(folder, pieces);
    const auto join = [&] {
        RecordingObserver joined;
        return joined.ended(Joiner(FileLayer::system(), 4096).run(JoinRequest{pieces}, joined));
    };

    if (!c.intactText.empty()) {
        const VerifyRecorder good = verify(pieces);
        ASSERT_FALSE(good.error.failed()) << good.error.message();
        EXPECT_EQ(good.report.checksumFileName, c.checksumFile);
        EXPECT_EQ(OutcomeText::verify(good.report), c.intactText);
        const Error joined = join();
        ASSERT_FALSE(joined.failed()) << joined.message();
        EXPECT_EQ(readFile(pieces + "/m"), readFile(folder.file("m")));
        fs::remove(pieces + "/m");
        flipByte(pieces + "/m.0001", 100);
    }
    const auto before = snapshot(folder.path());
    const Error refused = join();
    EXPECT_EQ(refused.code, c.code) << refused.message();
    EXPECT_EQ(refused.description, c.text);
    EXPECT_EQ(snapshot(folder.path()), before) << "the join wrote something";
    const VerifyRecorder checked = verify(pieces);
    if (c.code == ChecksumFileInvalid) {
        EXPECT_EQ(checked.error.code, c.code);
        EXPECT_EQ(checked.error.description, c.text);
        return;
    }
    ASSERT_FALSE(checked.error.failed()) << checked.error.message();
    EXPECT_EQ(checked.report.damaged, c.damaged);
    EXPECT_FALSE(checked.report.intact());
    const auto findings = OutcomeText::verifyFindings(checked.report);
    EXPECT_TRUE(std::any_of(findings.begin(), findings.end(), [&](const PieceFinding& f) { return f.sentence == c.text; }))
        << "the verification words it as the join";
}

const char* const pieceNames = "m.0000 m.0001 m.0002 m.0003";

INSTANTIATE_TEST_SUITE_P(Files, ForeignChecksumTest, testing::Values(
    ForeignCase{"Md5ByMd5sum",
                [](const TestFolder&, const std::string& p) {
                    fs::remove(p + "/m.sha256");
                    ASSERT_EQ(std::system(("cd '" + p + "' && md5sum -b " + pieceNames + " > m.md5").c_str()), 0);
                },
                "m.md5", "All 4 pieces match m.md5.", PieceDamaged, "m.0001 is damaged: its checksum differs.",
                {"m.0001"}},
    ForeignCase{"SfvWithCommentsAndCrlf",
                [](const TestFolder& f, const std::string& p) {
                    fs::remove(p + "/m.sha256");
                    std::string sfv = "; made by hand\r\n\r\n";
                    for (const char* piece : {"m.0000", "m.0001", "m.0002", "m.0003"})
                        sfv += std::string(piece) + "  " + gzipCrc(f, p + "/" + piece) + "\r\n";
                    writeFile(p + "/m.sfv", sfv);
                },
                "m.sfv", "All 4 pieces match m.sfv.", PieceDamaged, "m.0001 is damaged: its checksum differs.",
                {"m.0001"}},
    ForeignCase{"CrcOfTheWholeFile",
                [](const TestFolder& f, const std::string& p) {
                    fs::remove(p + "/m.sha256");
                    writeFile(p + "/m.crc", "filename=m\r\nsize=13288\r\ncrc32=" + gzipCrc(f, f.file("m")) + "\r\n");
                },
                "m.crc", "The 4 pieces together match m.crc.", PieceDamaged,
                "Together the pieces differ from the checksum m.crc gives for m: one of them is damaged.", {}},
    ForeignCase{"CrcOfAnotherLength",
                [](const TestFolder& f, const std::string& p) {
                    fs::remove(p + "/m.sha256");
                    writeFile(p + "/m.crc", "filename=m\nsize=13289\ncrc32=" + gzipCrc(f, f.file("m")) + "\n");
                },
                "m.crc", "", PieceDamaged, "The pieces hold 13288 bytes, but the checksum file gives m 13289 bytes.",
                {}},
    ForeignCase{"Sha256WinsOverAnUnreadableMd5",
                [](const TestFolder&, const std::string& p) { writeFile(p + "/m.md5", "not md5sum's\n"); },
                "m.sha256", "All 4 pieces are intact.", PieceDamaged, "m.0001 is damaged: its checksum differs.",
                {"m.0001"}},
    ForeignCase{"SfvNamingAFileOutside",
                [](const TestFolder&, const std::string& p) {
                    fs::remove(p + "/m.sha256");
                    writeFile(p + "/m.sfv", "m.0000 00000000\n../m.0001 00000000\n");
                },
                "m.sfv", "", ChecksumFileInvalid, "line 2 names a file that is not in the folder", {}},
    ForeignCase{"CrcWithoutItsChecksum",
                [](const TestFolder&, const std::string& p) {
                    fs::remove(p + "/m.sha256");
                    writeFile(p + "/m.crc", "filename=m\nsize=13288\n");
                },
                "m.crc", "", ChecksumFileInvalid, "The checksum file lacks a filename=, size= or crc32= line", {}}),
    [](const auto& row) { return row.param.name; });

// Runs a shell command line in a folder with /bin/sh; true when it exits with 0.
bool shellAccepts(const std::string& folder, const std::string& line)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(folder.c_str()) == 0) {
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The command lines of the note's section under this heading, without their indent.
std::vector<std::string> noteCommands(const std::string& note, const std::string& heading)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < note.size();) {
        const std::size_t end = note.find("\r\n", at);
        if (end == std::string::npos)
            break;
        lines.push_back(note.substr(at, end - at));
        at = end + 2;
    }
    std::vector<std::string> commands;
    bool inside = false;
    for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
        if (lines[k + 1] == std::string(lines[k].size(), '-') && !lines[k].empty()) {
            inside = lines[k] == heading;
            continue;
        }
        if (inside && lines[k].starts_with(NoteText::commandIndent))
            commands.push_back(lines[k].substr(NoteText::commandIndent.size()));
    }
    if (inside && !lines.empty() && lines.back().starts_with(NoteText::commandIndent))
        commands.push_back(lines.back().substr(NoteText::commandIndent.size()));
    return commands;
}

// Runs the lines one after the other until one fails; true when all passed.
bool runLines(const std::string& folder, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        if (!shellAccepts(folder, line))
            return false;
    }
    return !lines.empty();
}

// Plain pieces, and the note for a recipient, with the tools a recipient has: the pieces put
// back to back are the source; the note's Linux and macOS lines, run as printed, rebuild it on a
// good set and refuse a damaged or incomplete one (no file of the name appears); its Windows
// lines name every piece in order, quoted, within cmd.exe's line length.
enum class Harm { None, FlipByte, RemovePiece };

struct NoteCase {
    const char* name;
    std::string file;
    std::size_t length;
    std::uint64_t pieceBytes;
    PieceFormat format;
    bool checksums;
    Harm harm;
    std::uint64_t harmedIndex = 1;
};

class NoteCommandsTest : public testing::TestWithParam<NoteCase> {};

TEST_P(NoteCommandsTest, RebuildTheSourceOnlyFromAGoodSet)
{
    const NoteCase& c = GetParam();
    TestFolder folder;
    const std::string source = patternBytes(c.length, 7);
    writeFile(folder.file(c.file), source);
    SplitRequest request{folder.path(), c.file, SplitMode::BySize, c.pieceBytes, c.checksums};
    request.format = c.format;
    request.writeNote = true;
    RecordingObserver observer;
    const Result<SplitResult> split = Splitter(FileLayer::system(), 4096).run(request, observer);
    ASSERT_FALSE(split.failed()) << split.error().message();
    const SplitPlan& plan = split->plan;
    const std::string pieces = split->folderPath;
    const std::string note = readFile(pieces + "/" + split->noteName);
    for (std::size_t at = note.find('\n'); at != std::string::npos; at = note.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && note[at - 1] == '\r') << "a line of the note without CR LF";

    std::vector<std::string> names;
    std::string concatenated;
    for (std::uint64_t index = 0; index < plan.pieceCount; ++index) {
        names.push_back(plan.pieceName(index));
        concatenated += readFile(pieces + "/" + names.back());
    }
    if (c.format == PieceFormat::Plain) {
        EXPECT_EQ(concatenated, source);
        // Windows: every piece once, in order, in double quotes, within the line limit; the
        // first line writes the joined file, every next one appends to it.
        const std::string joining = "\"" + c.file + ".joining\"";
        std::vector<std::string> listed;
        std::size_t copyLines = 0;
        for (const std::string& line : noteCommands(note, "Windows (Command Prompt)")) {
            if (!line.starts_with("copy "))
                continue;
            EXPECT_LE(line.size() + NoteText::commandIndent.size(), NoteText::cmdLineLimit);
            std::string sources = line.substr(line.find('"'));
            if (copyLines++ == 0) {
                ASSERT_TRUE(sources.ends_with(" " + joining)) << line;
                sources.resize(sources.size() - joining.size() - 1);
            } else {
                ASSERT_TRUE(sources.starts_with(joining + "+")) << line;
                sources.erase(0, joining.size() + 1);
            }
            for (std::size_t at = 0; at <= sources.size();) {
                const std::size_t plus = std::min(sources.find("\"+\"", at), sources.size());
                const std::size_t end = plus == sources.size() ? plus : plus + 1;
                listed.push_back(sources.substr(at, end - at));
                at = end + 1;
            }
        }
        std::vector<std::string> quoted;
        for (const std::string& name : names)
            quoted.push_back("\"" + name + "\"");
        EXPECT_EQ(listed, quoted);
        EXPECT_EQ(copyLines > 1, c.length / c.pieceBytes > 500) << "the copy lines are not cut where they must be";
    } else {
        EXPECT_EQ(concatenated.size(), source.size() + plan.pieceCount * pieceSignature.size());
    }

    const std::string harmed = pieces + "/" + plan.pieceName(c.harmedIndex);
    if (c.harm == Harm::FlipByte)
        flipByte(harmed, readFile(harmed).size() - 1);
    if (c.harm == Harm::RemovePiece)
        fs::remove(harmed);
    const std::string rebuilt = pieces + "/" + c.file;
    EXPECT_EQ(runLines(pieces, noteCommands(note, "Linux")), c.harm == Harm::None);
    EXPECT_EQ(fs::exists(rebuilt), c.harm == Harm::None);
    if (c.harm == Harm::None) {
        EXPECT_EQ(readFile(rebuilt), source);
    }
    fs::remove(rebuilt);
    fs::remove(pieces + "/" + c.file + ".joining");
    // macOS: the whole section where shasum is there (it comes with perl), else its cat line.
    std::vector<std::string> mac = noteCommands(note, "macOS");
    if (::access("/usr/bin/shasum", X_OK) != 0)
        mac.erase(std::remove_if(mac.begin(), mac.end(), [](const std::string& l) { return l.starts_with("shasum"); }),
                  mac.end());
    EXPECT_EQ(runLines(pieces, mac), c.harm == Harm::None);
    EXPECT_EQ(fs::exists(rebuilt), c.harm == Harm::None);
}

INSTANTIATE_TEST_SUITE_P(Sets, NoteCommandsTest, testing::Values(
    NoteCase{"PlainGood", "it's a movie", 3 * 4096 + 100, 4096, PieceFormat::Plain, true, Harm::None},
    NoteCase{"PlainDamaged", "it's a movie", 3 * 4096 + 100, 4096, PieceFormat::Plain, true, Harm::FlipByte},
    NoteCase{"PlainMissing", "it's a movie", 3 * 4096 + 100, 4096, PieceFormat::Plain, true, Harm::RemovePiece},
    NoteCase{"PlainPast999Good", "-dash & co", 1001 * 8, 8, PieceFormat::Plain, true, Harm::None},
    NoteCase{"PlainPast999Missing", "-dash & co", 1001 * 8, 8, PieceFormat::Plain, true, Harm::RemovePiece,
             1000},
    NoteCase{"PlainWithoutChecksums", "m", 2 * 4096, 4096, PieceFormat::Plain, false, Harm::None},
    NoteCase{"SignedGood", "m", 3 * 4096 + 100, 4096, PieceFormat::Signed, true, Harm::None},
    NoteCase{"SignedDamaged", "m", 3 * 4096 + 100, 4096, PieceFormat::Signed, true, Harm::FlipByte}),
    [](const auto& row) { return row.param.name; });

// Numbered sets of other tools (GNU split's numeric suffixes), joined and verified as plain
// pieces; a gap is a missing piece, and plain pieces beside signed ones are refused.
struct ForeignSetCase {
    const char* name;
    std::string commands; // run in the folder, which holds "f"
    int joinCode;
    std::string verifyText; // the verification's outcome, or its failure
};

class ForeignSetTest : public testing::TestWithParam<ForeignSetCase> {};

TEST_P(ForeignSetTest, JoinsAndVerifiesOrRefusesAsAnySet)
{
    const ForeignSetCase& c = GetParam();
    if (::access("/usr/bin/split", X_OK) != 0)
        GTEST_SKIP() << "no split";
    TestFolder folder;
    const std::string source = patternBytes(3 * 4096 + 100, 3);
    writeFile(folder.file("f"), source);
    ASSERT_TRUE(shellAccepts(folder.path(), c.commands + " && rm f"));
    const auto before = snapshot(folder.path());

    const VerifyRecorder checked = verify(folder.path());
    EXPECT_EQ(checked.error.failed() ? checked.error.description : OutcomeText::verify(checked.report),
              c.verifyText);
    RecordingObserver joined;
    const Error error = joined.ended(Joiner(FileLayer::system(), 4096).run(JoinRequest{folder.path()}, joined));
    EXPECT_EQ(error.code, c.joinCode) << error.message();
    if (c.joinCode == 0) {
        EXPECT_EQ(readFile(folder.file("f")), source);
    } else {
        EXPECT_EQ(snapshot(folder.path()), before) << "a refused join wrote something";
    }
}

INSTANTIATE_TEST_SUITE_P(Sets, ForeignSetTest, testing::Values(
    ForeignSetCase{"NumericSuffixesFromOne", "split --numeric-suffixes=1 -a 3 -b 4096 f f.", 0,
                "No checksum file: the pieces' content is not checked; 4 pieces, with no gaps."},
    ForeignSetCase{"NumericSuffixesFromZero", "split --numeric-suffixes=0 -a 3 -b 4096 f f.", 0,
                "No checksum file: the pieces' content is not checked; 4 pieces, with no gaps."},
    ForeignSetCase{"Gap", "split --numeric-suffixes=1 -a 3 -b 4096 f f. && rm f.002", MissingPiece,
                "No checksum file: the pieces' content is not checked. Pieces not intact: 1 missing."},
    ForeignSetCase{"BesideSignedPieces",
                "split --numeric-suffixes=1 -a 3 -b 4096 f f. && printf Quarb > g.0000", MixedPieces,
                "The folder holds pieces of more than one file: f.001 and g.0000"}),
    [](const auto& row) { return row.param.name; });

// Asks for a stop at the first progress report.
class StoppingObserver : public SplitObserver, public JoinObserver, public VerifyObserver {
public:
    void progress(std::uint64_t, std::uint64_t) override { stop.request_stop(); }
    std::stop_source stop;
};

enum class Work { Split, Join, Verify };

class StopTest : public testing::TestWithParam<Work> {};

TEST_P(StopTest, StopHalfWayLeavesTheFolderAsItWas)
{
    const Work work = GetParam();
    TestFolder folder;
    writeFile(folder.file("big"), patternBytes(2 << 20));
    if (work != Work::Split) {
        ASSERT_FALSE(splitWithChecksums(folder, "big", 64 * 1024).failed());
    }
    const std::string pieces = folder.file("big_split");
    const auto before = snapshot(folder.path());

    StoppingObserver observer;
    Error error;
    switch (work) {
    case Work::Split:
        error = Splitter(FileLayer::system(), 4096)
                    .run(SplitRequest{folder.path(), "big", SplitMode::BySize, 64 * 1024, true}, observer,
                         observer.stop.get_token())
                    .error();
        break;
    case Work::Join:
        error = Joiner(FileLayer::system(), 4096).run(JoinRequest{pieces}, observer, observer.stop.get_token()).error();
        break;
    case Work::Verify:
        error = Verifier(FileLayer::system(), 4096)
                    .run(VerifyRequest{pieces}, observer, observer.stop.get_token())
                    .error();
        break;
    }
    EXPECT_EQ(error.code, Cancelled) << error.message();
    EXPECT_EQ(snapshot(folder.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Runs, StopTest, testing::Values(Work::Split, Work::Join, Work::Verify),
                         [](const auto& row) {
                             return std::string(row.param == Work::Split  ? "HashedSplit"
                                                : row.param == Work::Join ? "VerifiedJoin"
                                                                          : "Verify");
                         });

} // namespace
