// Command lines run against the real `quarb` executable, in a fresh folder each.
#include "cli/commandline.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr int signalExitBase = 128;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

// Deterministic bytes that differ from offset to offset.
std::string patternBytes(std::size_t length)
{
    std::string bytes(length, '\0');
    unsigned state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = char(state >> 16);
    }
    return bytes;
}

// The names in a folder, sorted; empty when it is not there.
std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Finished {
    int status = -1; // the exit status, or -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

// A folder to work in, and the program started in it with its output caught in files beside it.
// Everything is removed with the sandbox.
class Sandbox {
public:
    Sandbox()
    {
        std::string pattern = (fs::temp_directory_path() / "qfs-cli-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary folder");
        m_root = pattern;
        fs::create_directory(work());
    }
    ~Sandbox()
    {
        for (const fs::path& mount : m_mounts)
            ::umount2(mount.c_str(), MNT_DETACH);
        fs::remove_all(m_root);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    fs::path work() const { return m_root / "work"; }

    // Makes the folder read-only (a bind mount of it onto itself, remounted read-only) until
    // the sandbox goes; skips the test where mounting is not allowed.
    void makeReadOnly(const fs::path& folder)
    {
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
            GTEST_SKIP() << "cannot mount here: " << std::strerror(errno);
        m_mounts.push_back(folder);
        if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            GTEST_SKIP() << "cannot remount read-only here: " << std::strerror(errno);
    }

    // Starts `quarb args...` in the work folder; stdout and stderr go to files outside it.
    pid_t start(const std::vector<std::string>& args) const
    {
        const std::string out = (m_root / "out").string();
        const std::string err = (m_root / "err").string();
        const std::string dir = work().string();
        std::vector<const char*> argv{QUARB_PATH};
        for (const auto& arg : args)
            argv.push_back(arg.c_str());
        argv.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (outFd < 0 || errFd < 0 || ::dup2(outFd, STDOUT_FILENO) < 0 ||
                ::dup2(errFd, STDERR_FILENO) < 0 || ::chdir(dir.c_str()) != 0)
                ::_exit(127);
            ::execv(argv[0], const_cast<char* const*>(argv.data()));
            ::_exit(127);
        }
        return child;
    }

    Finished wait(pid_t child) const
    {
        int status = 0;
        Finished finished;
        if (::waitpid(child, &status, 0) == child && WIFEXITED(status))
            finished.status = WEXITSTATUS(status);
        finished.out = readFile(m_root / "out");
        finished.err = readFile(m_root / "err");
        return finished;
    }
    std::string errorOutput() const { return readFile(m_root / "err"); }

    Finished run(const std::vector<std::string>& args) const { return wait(start(args)); }

private:
    fs::path m_root;
    std::vector<fs::path> m_mounts;
};

// One command line: what is there before, the arguments, the exit status, and what must hold
// afterwards on disk and in the output.
struct Row {
    const char* name;
    std::function<void(Sandbox&, const fs::path&)> prepare;
    std::vector<std::string> args;
    int status;
    std::function<void(const fs::path&, const Finished&)> check;
    // The row needs the split's checksum file and the checks of join and verify against it.
    bool needsChecksums = false;
};

class CommandLineTest : public testing::TestWithParam<Row> {
protected:
    Sandbox m_sandbox;
};

const std::string source = patternBytes(2 * MiB + 12345);

void writeSource(Sandbox&, const fs::path& dir)
{
    writeFile(dir / "movie avi", source);
}

// The source split by quarb itself, then moved away, so that a join has to rebuild it.
std::function<void(Sandbox&, const fs::path&)> splitAndRemove(std::vector<std::string> args)
{
    return [args](Sandbox& test, const fs::path& dir) {
        writeSource(test, dir);
        const Finished split = test.run(args);
        ASSERT_EQ(split.status, 0) << split.err;
        fs::remove(dir / "movie avi");
    };
}

// A split with checksums of a source of this name, whose middle piece then has one byte flipped.
std::function<void(Sandbox&, const fs::path&)> splitAndDamageNamed(const std::string& name)
{
    return [name](Sandbox& test, const fs::path& dir) {
        writeFile(dir / name, source);
        const Finished split = test.run({"split", name, "--size", "1M"});
        ASSERT_EQ(split.status, 0) << split.err;
        fs::remove(dir / name);
        std::fstream piece(dir / (name + "_split") / (name + ".0001"),
                           std::ios::binary | std::ios::in | std::ios::out);
        piece.seekp(100);
        piece.put('\xff' ^ source[MiB + 95]);
    };
}

void splitAndDamage(Sandbox& test, const fs::path& dir)
{
    splitAndDamageNamed("movie avi")(test, dir);
}

// A name that, printed as it is, returns to the start of the line and clears it.
const std::string lineClearingName = "movie\r\x1b[2K avi";

// Whether the text holds a control character other than the line break.
bool holdsControls(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < ' ' && c != '\n') || byte == 0x7f;
    });
}

// A split with checksums into pieces of 300 KiB, movie avi.0000 … movie avi.0006, each with a
// byte flipped.
void splitAndDamageEvery(Sandbox& test, const fs::path& dir)
{
    splitAndRemove({"split", "movie avi", "--size", "300K"})(test, dir);
    for (const auto& entry : fs::directory_iterator(dir / "movie avi_split")) {
        if (entry.path().extension() == ".sha256" || entry.path().extension() == ".par2")
            continue;
        std::fstream piece(entry.path(), std::ios::binary | std::ios::in | std::ios::out);
        piece.seekg(10);
        const char byte = char(piece.get());
        piece.seekp(10);
        piece.put(char(~byte));
    }
}

// A split with checksums whose checksum file is all that is left of it.
void splitAndRemovePieces(Sandbox& test, const fs::path& dir)
{
    splitAndRemove({"split", "movie avi", "--size", "1M"})(test, dir);
    for (const char* piece : {"movie avi.0000", "movie avi.0001", "movie avi.0002"})
        fs::remove(dir / "movie avi_split" / piece);
}

// A split with checksums whose line for the original carries another checksum.
void splitAndMisstateTheOriginal(Sandbox& test, const fs::path& dir)
{
    splitAndRemove({"split", "movie avi", "--size", "1M"})(test, dir);
    const fs::path sums = dir / "movie avi_split" / "movie avi.sha256";
    std::string text = readFile(sums);
    const std::size_t line = text.find("  movie avi\n");
    text.replace(line - 64, 64, std::string(64, 'a'));
    writeFile(sums, text);
}

// The recovery files of a split of "movie avi" with one recovery piece.
const std::vector<std::string> recoveryFiles{"movie avi.par2", "movie avi.vol0+1.par2", "movie avi.vol1+1.par2"};

std::vector<std::string> withRecoveryFiles(std::vector<std::string> names)
{
    names.insert(names.end(), recoveryFiles.begin(), recoveryFiles.end());
    std::sort(names.begin(), names.end());
    return names;
}

// A piece file as the split writes it: the signature, then its share of the source.
std::string pieceBytes(std::size_t index)
{
    return "Quarb" + source.substr(index * MiB, MiB);
}

// A split into pieces of 1 MiB with two recovery pieces, whose first piece is then removed
// and whose second has a byte flipped.
void splitAndLoseTwo(Sandbox& test, const fs::path& dir)
{
    splitAndRemove({"split", "movie avi", "--size", "1M", "--recovery", "2"})(test, dir);
    fs::remove(dir / "movie avi_split" / "movie avi.0000");
    std::string piece = readFile(dir / "movie avi_split" / "movie avi.0001");
    piece[MiB / 2] = char(~piece[MiB / 2]);
    writeFile(dir / "movie avi_split" / "movie avi.0001", piece);
}

// A split with one recovery piece, then `spoil` done in its folder.
std::function<void(Sandbox&, const fs::path&)> splitAndSpoil(std::function<void(const fs::path&)> spoil)
{
    return [spoil](Sandbox& test, const fs::path& dir) {
        splitAndRemove({"split", "movie avi", "--size", "1M"})(test, dir);
        spoil(dir / "movie avi_split");
    };
}

// A folder with a file of its own and no pieces.
void folderWithoutPieces(Sandbox&, const fs::path& dir)
{
    fs::create_directory(dir / "movie avi_split");
    writeFile(dir / "movie avi_split" / "notes.2010", "no signature");
}

const char* const misstatedOriginal = "The pieces are intact, but together they differ from the checksum of movie avi.";

// The names of the seven damaged pieces, one a line below the sentence that counts them.
std::string everyPieceNamed(const std::string& sentence)
{
    std::string text = sentence + "\n";
    for (int i = 0; i < 7; ++i)
        text += "  movie avi.000" + std::to_string(i) + "\n";
    return text;
}

// Whether this build's split writes the checksum file; rows that need it wait for it.
bool splitWritesChecksums()
{
    static const bool writes = [] {
        const Sandbox probe;
        writeFile(probe.work() / "probe", "probe");
        probe.run({"split", "probe", "-s", "1"});
        return fs::exists(probe.work() / "probe_split" / "probe.sha256");
    }();
    return writes;
}

// Usage errors: exit 1, one line on stderr that points to --help, nothing written.
void usageError(const fs::path& dir, const Finished& result)
{
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find("--help"), std::string::npos) << result.err;
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"movie avi"});
}

TEST_P(CommandLineTest, Runs)
{
    const Row& row = GetParam();
    if (row.needsChecksums && !splitWritesChecksums())
        GTEST_SKIP() << "the engine does not write checksum files yet";
    if (row.prepare)
        row.prepare(m_sandbox, m_sandbox.work());
    if (HasFatalFailure() || IsSkipped())
        return;
    const Finished result = m_sandbox.run(row.args);
    EXPECT_EQ(result.status, row.status) << result.err;
    row.check(m_sandbox.work(), result);
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandLineTest, testing::Values(
    Row{"SplitBySize", writeSource, {"split", "movie avi", "-s", "1M"}, 0,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(namesIn(dir / "movie avi_split"),
                      withRecoveryFiles({"movie avi.0000", "movie avi.0001", "movie avi.0002", "movie avi.sha256"}));
            EXPECT_EQ(fs::file_size(dir / "movie avi_split" / "movie avi.0000"), MiB + 5);
            for (const std::string& name : recoveryFiles)
                EXPECT_LE(fs::file_size(dir / "movie avi_split" / name), MiB + 5) << name;
            EXPECT_EQ(result.out.rfind("3 pieces, their checksum file and 1 recovery piece written to movie avi_split in ", 0), 0u)
                << result.out;
            EXPECT_EQ(result.err, ""); // no progress into a file
        },
        true},
    Row{"JoinAfterSplitByCount", splitAndRemove({"split", "movie avi", "--count", "4"}),
        {"join", "movie avi_split"}, 0,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_TRUE(fs::exists(dir / "movie avi_split" / "movie avi.0003"));
            EXPECT_FALSE(fs::exists(dir / "movie avi_split" / "movie avi.0004"));
            EXPECT_EQ(readFile(dir / "movie avi_split" / "movie avi"), source);
            EXPECT_NE(result.out.find("movie avi rebuilt"), std::string::npos) << result.out;
        }},
    Row{"JoinAfterSplitBySizeWithoutChecksumsQuietly",
        splitAndRemove({"split", "movie avi", "-s", "1.5M", "--no-checksums", "--quiet"}),
        {"join", "movie avi_split", "--quiet"}, 0,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(namesIn(dir / "movie avi_split"),
                      withRecoveryFiles({"movie avi", "movie avi.0000", "movie avi.0001"}));
            EXPECT_EQ(fs::file_size(dir / "movie avi_split" / "movie avi.0000"), 3 * MiB / 2 + 5);
            EXPECT_EQ(readFile(dir / "movie avi_split" / "movie avi"), source);
            EXPECT_EQ(result.out, "");
        }},
    // Plain pieces with the note by default, joined back; without the note on request.
    Row{"PlainPiecesWithTheNoteJoinBack",
        splitAndRemove({"split", "movie avi", "-s", "1M", "--plain", "--recovery", "0"}),
        {"join", "movie avi_split"}, 0,
        [](const fs::path& dir, const Finished&) {
            EXPECT_EQ(namesIn(dir / "movie avi_split"),
                      (std::vector<std::string>{"movie avi", "movie avi.001", "movie avi.002", "movie avi.003",
                                                "movie avi.how-to-join.txt", "movie avi.sha256"}));
            EXPECT_EQ(readFile(dir / "movie avi_split" / "movie avi.001"), source.substr(0, MiB));
            EXPECT_EQ(readFile(dir / "movie avi_split" / "movie avi"), source);
        },
        true},
    Row{"PlainPiecesWithoutTheNote", writeSource,
        {"split", "movie avi", "-s", "1M", "--plain", "--no-note", "--no-checksums", "--recovery", "0"}, 0,
        [](const fs::path& dir, const Finished&) {
            EXPECT_EQ(namesIn(dir / "movie avi_split"),
                      (std::vector<std::string>{"movie avi.001", "movie avi.002", "movie avi.003"}));
        }},
    Row{"TwentyDigitSizeMakesOnePiece", writeSource,
        {"split", "movie avi", "-s", "99999999999999999999", "--no-checksums", "--recovery", "0"}, 0,
        [](const fs::path& dir, const Finished&) {
            EXPECT_EQ(namesIn(dir / "movie avi_split"), std::vector<std::string>{"movie avi.0000"});
        }},
    Row{"SizeZero", writeSource, {"split", "movie avi", "-s", "0"}, 1, usageError},
    Row{"SizeNegative", writeSource, {"split", "movie avi", "-s", "-5"}, 1, usageError},
    Row{"SizeWithUnknownUnit", writeSource, {"split", "movie avi", "-s", "12Q"}, 1, usageError},
    Row{"SizeAndCount", writeSource, {"split", "movie avi", "-s", "1M", "-n", "2"}, 1, usageError},
    Row{"CountNotWhole", writeSource, {"split", "movie avi", "-n", "1E+20"}, 1, usageError},
    // The system's text, "No such file or directory", holds the name: the path is still given.
    Row{"MissingFile", nullptr, {"split", "directory", "-s", "1M"}, 2,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_NE(result.err.find("quarb: directory: "), std::string::npos) << result.err;
            EXPECT_EQ(namesIn(dir), std::vector<std::string>{});
        }},
    Row{"FileUsedAsFolder", writeSource, {"split", "movie avi/", "-s", "1M"}, 2,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_NE(result.err.find("quarb: movie avi/: "), std::string::npos) << result.err;
            EXPECT_EQ(result.err.find("is a folder"), std::string::npos) << result.err;
            EXPECT_EQ(namesIn(dir), std::vector<std::string>{"movie avi"});
        }},
    Row{"ExistingFolder",
        [](Sandbox& test, const fs::path& dir) {
            writeSource(test, dir);
            fs::create_directory(dir / "movie avi_split");
            writeFile(dir / "movie avi_split" / "keep", "mine");
        },
        {"split", "movie avi", "-s", "1M"}, 2,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_NE(result.err.find("movie avi_split"), std::string::npos) << result.err;
            // The way out: another folder, or the next free name the window would offer.
            EXPECT_NE(result.err.find("movie avi_split-2"), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("--output"), std::string::npos) << result.err;
            EXPECT_EQ(namesIn(dir / "movie avi_split"), std::vector<std::string>{"keep"});
        }},
    Row{"SplitIntoAnotherFolder",
        [](Sandbox& test, const fs::path& dir) {
            writeSource(test, dir);
            fs::create_directory(dir / "out");
        },
        {"split", "movie avi", "-s", "1M", "--output", "out"}, 0,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"movie avi", "out"}));
            EXPECT_EQ(namesIn(dir / "out" / "movie avi_split").size(), 3u + 1u + recoveryFiles.size());
            EXPECT_EQ(result.out.rfind("3 pieces, their checksum file and 1 recovery piece written to out/movie avi_split in ", 0), 0u)
                << result.out;
        },
        true},
    // The pieces on read-only media, joined into another folder: nothing is written beside them.
    Row{"ReadOnlyPiecesJoinedIntoAnotherFolder",
        [](Sandbox& test, const fs::path& dir) {
            splitAndRemove({"split", "movie avi", "-s", "1M"})(test, dir);
            fs::create_directory(dir / "out");
            test.makeReadOnly(dir / "movie avi_split");
        },
        {"join", "movie avi_split", "-o", "out"}, 0,
        [](const fs::path& dir, const Finished&) {
            EXPECT_EQ(readFile(dir / "out" / "movie avi"), source);
            EXPECT_EQ(namesIn(dir / "movie avi_split").size(), 3u + 1u + recoveryFiles.size());
        },
        true},
    Row{"ReadOnlyPiecesJoinedInPlace",
        [](Sandbox& test, const fs::path& dir) {
            splitAndRemove({"split", "movie avi", "-s", "1M"})(test, dir);
            test.makeReadOnly(dir / "movie avi_split");
        },
        {"join", "movie avi_split"}, 2,
        [](const fs::path&, const Finished& result) {
            EXPECT_NE(result.err.find("--output"), std::string::npos) << result.err;
        }},
    Row{"JoinKeepsAFileOfTheNameInAnotherFolder",
        [](Sandbox& test, const fs::path& dir) {
            splitAndRemove({"split", "movie avi", "-s", "1M"})(test, dir);
            fs::create_directory(dir / "out");
            writeFile(dir / "out" / "movie avi", "mine");
        },
        {"join", "movie avi_split", "-o", "out"}, 2,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_NE(result.err.find("--force"), std::string::npos) << result.err;
            EXPECT_EQ(readFile(dir / "out" / "movie avi"), "mine");
            EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{"movie avi"});
        }},
    Row{"JoinWithForceReplacesIt",
        [](Sandbox& test, const fs::path& dir) {
            splitAndRemove({"split", "movie avi", "-s", "1M"})(test, dir);
            fs::create_directory(dir / "out");
            writeFile(dir / "out" / "movie avi", "mine");
        },
        {"join", "movie avi_split", "-o", "out", "--force"}, 0,
        [](const fs::path& dir, const Finished&) {
            EXPECT_EQ(readFile(dir / "out" / "movie avi"), source);
        }},
    Row{"DamagedFolderJoin", splitAndDamage, {"join", "movie avi_split"}, 3,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_NE(result.err.find("movie avi.0001"), std::string::npos) << result.err;
            EXPECT_EQ(namesIn(dir / "movie avi_split").size(), 3u + 1u + 3u); // nothing written
        },
        true},
    Row{"DamagedFolderVerify", splitAndDamage, {"verify", "movie avi_split"}, 3,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: movie avi.0001 is damaged: its checksum differs; it can be rebuilt from the "
                                  "1 recovery piece (quarb repair).\n");
            EXPECT_EQ(namesIn(dir / "movie avi_split").size(), 3u + 1u + 3u);
        },
        true},
    Row{"DamagedFolderJoinRepaired", splitAndDamage, {"join", "movie avi_split", "--repair"}, 0,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(readFile(dir / "movie avi_split" / "movie avi"), source);
            EXPECT_EQ(result.out.rfind("movie avi.0001 rebuilt; all 3 pieces are intact.\nmovie avi rebuilt", 0), 0u)
                << result.out;
        },
        true},
    Row{"RepairOfADeletedAndADamagedPiece", splitAndLoseTwo, {"repair", "movie avi_split"}, 0,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(readFile(dir / "movie avi_split" / "movie avi.0000"), pieceBytes(0));
            EXPECT_EQ(readFile(dir / "movie avi_split" / "movie avi.0001"), pieceBytes(1));
            EXPECT_EQ(result.out, "movie avi.0000 and movie avi.0001 rebuilt; all 3 pieces are intact.\n");
            EXPECT_EQ(namesIn(dir / "movie avi_split").size(), 3u + 1u + 5u); // no temporary file left
        },
        true},
    // Recovery data that cannot rebuild what is lost: exit 3, the reason, nothing written.
    Row{"RepairOfMoreThanTheRecoveryCovers",
        splitAndSpoil([](const fs::path& folder) {
            fs::remove(folder / "movie avi.0000");
            fs::remove(folder / "movie avi.0002");
        }),
        {"repair", "movie avi_split"}, 3,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: movie avi_split: 2 pieces are damaged or missing, but only 1 can be "
                                  "rebuilt.\n");
            EXPECT_EQ(namesIn(dir / "movie avi_split"),
                      withRecoveryFiles({"movie avi.0001", "movie avi.sha256"}));
        },
        true},
    Row{"RepairWithTruncatedVolumes",
        splitAndSpoil([](const fs::path& folder) {
            fs::remove(folder / "movie avi.0001");
            for (const char* volume : {"movie avi.vol0+1.par2", "movie avi.vol1+1.par2"})
                fs::resize_file(folder / volume, fs::file_size(folder / volume) / 2);
        }),
        {"repair", "movie avi_split"}, 3,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: movie avi_split: 1 piece is damaged or missing, but none can be rebuilt.\n");
            EXPECT_FALSE(fs::exists(dir / "movie avi_split" / "movie avi.0001"));
        },
        true},
    // A rebuilt piece that does not match the checksum file is not kept.
    Row{"RepairRefusedByTheChecksumFile",
        splitAndSpoil([](const fs::path& folder) {
            fs::remove(folder / "movie avi.0001");
            std::string sums = readFile(folder / "movie avi.sha256");
            const std::size_t line = sums.find("  movie avi.0001\n");
            sums.replace(line - 64, 64, std::string(64, 'b'));
            writeFile(folder / "movie avi.sha256", sums);
        }),
        {"repair", "movie avi_split"}, 3,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: The recovery data is damaged: the rebuilt movie avi.0001 does not match its "
                                  "checksum.\n");
            EXPECT_EQ(namesIn(dir / "movie avi_split").size(), 2u + 1u + 3u); // nothing written
            EXPECT_FALSE(fs::exists(dir / "movie avi_split" / "movie avi.0001"));
        },
        true},
    Row{"FolderWithoutPiecesJoin", folderWithoutPieces, {"join", "movie avi_split"}, 2,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: movie avi_split: The folder holds no pieces; nothing was joined.\n");
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(namesIn(dir / "movie avi_split"), std::vector<std::string>{"notes.2010"});
        }},
    Row{"FolderWithoutPiecesVerify", folderWithoutPieces, {"verify", "movie avi_split"}, 2,
        [](const fs::path&, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: movie avi_split: The folder holds no pieces; nothing was verified.\n");
            EXPECT_EQ(result.out, "");
        }},
    Row{"OnlyTheChecksumFileJoin", splitAndRemovePieces, {"join", "movie avi_split"}, 3,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: movie avi_split: movie avi.0000, movie avi.0001 and movie avi.0002 are "
                                  "missing.\n");
            EXPECT_EQ(namesIn(dir / "movie avi_split"), withRecoveryFiles({"movie avi.sha256"}));
        },
        true},
    Row{"OnlyTheChecksumFileVerify", splitAndRemovePieces, {"verify", "movie avi_split"}, 3,
        [](const fs::path&, const Finished& result) {
            EXPECT_EQ(result.err, "quarb: movie avi.0000, movie avi.0001 and movie avi.0002 are missing.\n"
                                  "quarb: 3 pieces are damaged or missing, but only 1 can be rebuilt.\n");
            EXPECT_EQ(result.out, "Pieces not intact: 3 missing.\n");
        },
        true},
    Row{"MisstatedOriginalJoin", splitAndMisstateTheOriginal, {"join", "movie avi_split"}, 3,
        [](const fs::path& dir, const Finished& result) {
            EXPECT_NE(result.err.find(misstatedOriginal), std::string::npos) << result.err;
            EXPECT_FALSE(fs::exists(dir / "movie avi_split" / "movie avi"));
        },
        true},
    Row{"MisstatedOriginalVerify", splitAndMisstateTheOriginal, {"verify", "movie avi_split"}, 3,
        [](const fs::path&, const Finished& result) {
            EXPECT_EQ(result.err, std::string("quarb: ") + misstatedOriginal + "\n");
        },
        true},
    Row{"PieceNotInTheChecksumFileJoin",
        [](Sandbox& test, const fs::path& dir) {
            splitAndRemove({"split", "movie avi", "--size", "1M"})(test, dir);
            writeFile(dir / "movie avi_split" / "movie avi.0003", "Quarb and more");
        },
        {"join", "movie avi_split"}, 3,
        [](const fs::path&, const Finished& result) {
            EXPECT_NE(result.err.find("movie avi.0003 is not in the checksum file."), std::string::npos)
                << result.err;
        },
        true},
    Row{"EveryPieceDamagedJoin", splitAndDamageEvery, {"join", "movie avi_split"}, 3,
        [](const fs::path&, const Finished& result) {
            EXPECT_EQ(result.err, everyPieceNamed("quarb: movie avi_split: 7 pieces are damaged: their checksums "
                                                  "differ."));
        },
        true},
    Row{"EveryPieceDamagedVerify", splitAndDamageEvery, {"verify", "movie avi_split"}, 3,
        [](const fs::path&, const Finished& result) {
            EXPECT_EQ(result.err, everyPieceNamed("quarb: 7 pieces are damaged: their checksums differ.") +
                                      "quarb: 7 pieces are damaged or missing, but only 2 can be rebuilt.\n");
            EXPECT_EQ(result.out, "Pieces not intact: 7 damaged.\n");
        },
        true},
    Row{"ControlCharactersInNamesEscaped", splitAndDamageNamed(lineClearingName),
        {"verify", lineClearingName + "_split"}, 3,
        [](const fs::path&, const Finished& result) {
            EXPECT_FALSE(holdsControls(result.err)) << result.err;
            EXPECT_FALSE(holdsControls(result.out)) << result.out;
            // Quoted as a shell takes it back.
            EXPECT_NE(result.err.find("$'movie\\r\\e[2K avi.0001'"), std::string::npos) << result.err;
        },
        true},
    Row{"HelpOfACommand", nullptr, {"split", "--help"}, 0,
        [](const fs::path&, const Finished& result) {
            EXPECT_NE(result.out.find("--count"), std::string::npos) << result.out;
            EXPECT_EQ(result.err, "");
        }}),
    [](const auto& row) { return row.param.name; });

// The user guide's lines for a recipient without this program, taken from the guide as printed
// there (the sh block after its marker), run with /bin/sh in a folder of pieces made by quarb:
// they rebuild the file from a complete folder, and fail, leaving nothing behind, on a missing,
// a damaged or an extra piece.
struct RecipeRow {
    const char* name;
    std::function<void(const fs::path& pieces)> spoil;
    bool rebuilds;
};

class RecipeTest : public testing::TestWithParam<RecipeRow> {};

std::string guideRecipe()
{
    const std::string guide = readFile(USER_GUIDE_PATH);
    const std::string marker = "<!-- recipe: check and join signed pieces -->\n```sh\n";
    const std::size_t start = guide.find(marker);
    if (start == std::string::npos)
        return {};
    const std::size_t body = start + marker.size();
    return guide.substr(body, guide.find("```", body) - body);
}

TEST_P(RecipeTest, FailsUnlessEveryPieceIsThereIntactAndAlone)
{
    const RecipeRow& row = GetParam();
    const std::string recipe = guideRecipe();
    ASSERT_FALSE(recipe.empty()) << "no marked recipe in " << USER_GUIDE_PATH;
    const Sandbox sandbox;
    const std::string original = patternBytes(5000);
    writeFile(sandbox.work() / "movie.avi", original);
    const Finished split = sandbox.run({"split", "movie.avi", "-s", "1K", "-q"});
    ASSERT_EQ(split.status, 0) << split.err;
    const fs::path pieces = sandbox.work() / "movie.avi_split";
    row.spoil(pieces);
    const std::vector<std::string> before = namesIn(pieces);
    const fs::path script = sandbox.work().parent_path() / "recipe.sh";
    writeFile(script, recipe);

    // Its list of pieces goes into the sandbox too, not the system's temporary folder.
    const std::string command = "cd '" + pieces.string() + "' && TMPDIR='" + script.parent_path().string() +
                                "' /bin/sh '" + script.string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (row.rebuilds) {
        EXPECT_EQ(WEXITSTATUS(status), 0);
        std::vector<std::string> after = before;
        after.push_back("movie.avi");
        std::sort(after.begin(), after.end());
        EXPECT_EQ(namesIn(pieces), after);
        EXPECT_EQ(readFile(pieces / "movie.avi"), original);
    } else {
        EXPECT_NE(WEXITSTATUS(status), 0);
        EXPECT_EQ(namesIn(pieces), before) << "the recipe left a file behind";
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, RecipeTest, testing::Values(
    RecipeRow{"Complete", [](const fs::path&) {}, true},
    RecipeRow{"MissingPiece", [](const fs::path& p) { fs::remove(p / "movie.avi.0002"); }, false},
    RecipeRow{"DamagedPiece",
              [](const fs::path& p) {
                  std::fstream piece(p / "movie.avi.0001", std::ios::binary | std::ios::in | std::ios::out);
                  piece.seekp(100);
                  piece.put('\0');
              },
              false},
    RecipeRow{"StrayPartFile",
              [](const fs::path& p) { writeFile(p / "movie.avi.0002.part", readFile(p / "movie.avi.0002").substr(0, 300)); },
              false}),
    [](const auto& row) { return row.param.name; });

// Sizes as people write them, and what they come to; empty: refused as wrong usage.
struct SizeRow {
    const char* text;
    std::optional<std::uint64_t> bytes;
};

TEST(QuarbTest, SizeTextsInBytes)
{
    constexpr std::uint64_t KiB = 1024;
    constexpr std::uint64_t GiB = 1024 * MiB;
    const SizeRow rows[] = {
        {"1048576", MiB},  {"700B", 700},        {"1K", KiB},           {"1k", KiB},
        {"1KB", KiB},      {"1KiB", KiB},        {"700M", 700 * MiB},   {"700m", 700 * MiB},
        {"700MB", 700 * MiB}, {"700MiB", 700 * MiB}, {"700mib", 700 * MiB}, {"1.5G", 3 * GiB / 2},
        {"4.7GB", 5046586573}, {"2T", 2 * 1024 * GiB}, {"1.5", 2}, {"2.5", 2}, // half to even, as the window
        {"0.4", std::nullopt}, {"0", std::nullopt},  {"", std::nullopt},  {"M", std::nullopt},
        {"iB", std::nullopt},  {"5iB", std::nullopt}, {"12Q", std::nullopt}, {"1.2.3M", std::nullopt},
        {"-5M", std::nullopt}, {"1e6", std::nullopt}, {"7 MB", std::nullopt}, {"5MBB", std::nullopt},
        {"1,5G", std::nullopt},
    };
    for (const SizeRow& row : rows)
        EXPECT_EQ(qfs::cli::CommandLine::sizeInBytes(row.text), row.bytes) << row.text;
}

// Ctrl+C during a long split: the program removes what it wrote, then exits with 130.
TEST(QuarbTest, InterruptedSplitLeavesNothing)
{
    const Sandbox sandbox;
    // A sparse source of many small pieces: cheap on disk, and long enough to be interrupted.
    constexpr std::uint64_t sourceLength = 4096 * MiB;
    const fs::path sourcePath = sandbox.work() / "long.bin";
    {
        std::ofstream create(sourcePath);
    }
    fs::resize_file(sourcePath, sourceLength);

    const pid_t child = sandbox.start({"split", "long.bin", "-s", "4K", "--no-checksums"});
    // The pieces fill a folder of a temporary name until the split is done.
    const auto underWay = [&] {
        for (const auto& entry : fs::directory_iterator(sandbox.work()))
            if (entry.is_directory() && fs::exists(entry.path() / "long.bin.0100"))
                return true;
        return false;
    };
    const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!underWay() && std::chrono::steady_clock::now() < patience) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            GTEST_SKIP() << "the split ended before it could be interrupted (exit "
                         << WEXITSTATUS(status) << ": " << sandbox.errorOutput() << ")";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(::kill(child, SIGINT), 0);
    const Finished result = sandbox.wait(child);
    EXPECT_EQ(result.status, signalExitBase + SIGINT) << result.err;
    // One line says what was undone: "quarb: stopped; removed the 312 pieces written so far".
    EXPECT_EQ(result.err.rfind("quarb: stopped; removed the ", 0), 0u) << result.err;
    EXPECT_TRUE(result.err.ends_with(" pieces written so far\n")) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(namesIn(sandbox.work()), std::vector<std::string>{"long.bin"});
    EXPECT_EQ(fs::file_size(sourcePath), sourceLength);
}

} // namespace
