// Recovery volumes against the real par2: what we write it accepts and repairs with, what it
// writes we repair with, and recovery data that is short, damaged or lying.
#include "engine/recovery/md5.h"
#include "engine/recovery/recoverycreator.h"
#include "engine/recovery/recoveryrepairer.h"
#include "engine/recovery/recoveryset.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <stop_token>

using namespace qfs;
namespace fs = std::filesystem;

namespace {

const char* const par2Tool = "/usr/bin/par2";
constexpr std::size_t pieceSize = 10000;
constexpr std::size_t lastPieceSize = 4321;
constexpr int pieceCount = 5;

std::string pieceName(int index)
{
    char name[16];
    std::snprintf(name, sizeof name, "x.%04d", index);
    return name;
}

std::vector<RecoveryPiece> makePieces(const TestFolder& folder, std::size_t pieceBytes = pieceSize,
                                      std::size_t lastBytes = lastPieceSize)
{
    std::vector<RecoveryPiece> pieces;
    for (int i = 0; i < pieceCount; ++i) {
        const std::size_t size = i + 1 == pieceCount ? lastBytes : pieceBytes;
        writeFile(folder.file(pieceName(i)), patternBytes(size, unsigned(i + 1)));
        pieces.push_back({pieceName(i), size});
    }
    return pieces;
}

bool runPar2(const TestFolder& folder, const std::string& arguments)
{
    const std::string command = "cd '" + folder.path() + "' && " + par2Tool + " " + arguments + " > /dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

Error createOurs(const TestFolder& folder, const std::vector<RecoveryPiece>& pieces, std::uint32_t recoveryPieces,
                 RecoveryPlan& plan, bool withDigests = false)
{
    plan = planRecovery("x", pieces, recoveryPieces);
    std::vector<PieceDigest> digests;
    for (std::size_t i = 0; withDigests && i < pieces.size(); ++i) {
        // In odd chunks, to cross slice ends anywhere.
        constexpr std::size_t chunk = 999;
        const std::string bytes = readFile(folder.file(pieces[i].name));
        PieceHasher hasher(plan.sliceSize);
        for (std::size_t at = 0; at < bytes.size(); at += chunk)
            hasher.add(bytes.data() + at, std::min(chunk, bytes.size() - at));
        digests.push_back(hasher.finish());
    }
    OpenFolder dir(folder.path());
    return RecoveryCreator(FileLayer::system()).create(dir.fd(), folder.path(), plan, pieces, RecoveryRun{}, digests);
}

// Reads, checks and repairs with our code.
Error repairOurs(const TestFolder& folder, RecoveryCheck& check, const RecoveryRun& run = {},
                 const std::set<std::string>& verified = {})
{
    OpenFolder dir(folder.path());
    RecoverySetReader reader(FileLayer::system());
    RecoverySet set;
    bool found = false;
    if (Error error = reader.read(dir.fd(), folder.path(), entries(folder.path()), run, set, found); error.failed())
        return error;
    EXPECT_TRUE(found);
    if (Error error = reader.check(dir.fd(), folder.path(), set, run, check, verified); error.failed())
        return error;
    return RecoveryRepairer(FileLayer::system()).repair(dir.fd(), folder.path(), set, check, run);
}

// OursFromDigests: our files from checksums computed beforehand, as a split computes them.
// Split: the pieces and recovery files a split of the file "x" writes.
enum class Maker { Ours, OursFromDigests, Par2OurSlice, Par2PieceSlice, Split };
enum class Damage { DeletePiece, DamagePiece };
enum class Fixer { Ours, Par2 };

// Splits a file "x" of the pieces' bytes with one recovery piece, and moves what the split
// folder holds into the test's folder.
void splitWithRecovery(const TestFolder& folder)
{
    std::string bytes;
    for (int i = 0; i < pieceCount; ++i)
        bytes += patternBytes(i + 1 == pieceCount ? lastPieceSize : pieceSize, unsigned(i + 1));
    writeFile(folder.file("x"), bytes);
    SplitRequest request{folder.path(), "x", SplitMode::BySize, pieceSize, true};
    request.recoveryPieces = 1;
    SplitObserver quiet;
    const auto result = Splitter().run(request, quiet);
    ASSERT_FALSE(result.failed()) << result.error().message();
    ASSERT_EQ(result->recoveryPieces, 1u);
    for (const std::string& name : entries(result->folderPath))
        fs::rename(result->folderPath + "/" + name, folder.file(name));
    fs::remove(result->folderPath);
    fs::remove(folder.file("x"));
}

struct RoundTrip {
    const char* name;
    Maker maker;
    Damage damage;
    Fixer repairer;
};

class RecoveryRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RecoveryRoundTrip, RebuildsThePieceByteForByte)
{
    if (access(par2Tool, X_OK) != 0)
        GTEST_SKIP() << "par2 is not installed";
    const RoundTrip& row = GetParam();
    TestFolder folder;
    const std::vector<RecoveryPiece> pieces = makePieces(folder);
    std::string pieceList;
    for (const RecoveryPiece& piece : pieces)
        pieceList += " " + piece.name;
    RecoveryPlan plan = planRecovery("x", pieces, 1);
    ASSERT_TRUE(plan.possible());
    switch (row.maker) {
    case Maker::Ours:
    case Maker::OursFromDigests:
        ASSERT_FALSE(createOurs(folder, pieces, 1, plan, row.maker == Maker::OursFromDigests).failed());
        for (const RecoveryFile& file : plan.files) {
            EXPECT_EQ(fs::file_size(folder.file(file.name)), file.size) << file.name;
            EXPECT_LE(file.size, pieceSize) << file.name;
        }
        EXPECT_TRUE(runPar2(folder, "verify x.par2"));
        break;
    case Maker::Par2OurSlice:
        ASSERT_TRUE(runPar2(folder, "create -q -n1 -s" + std::to_string(plan.sliceSize) + " -c2 x.par2" + pieceList));
        break;
    case Maker::Par2PieceSlice:
        ASSERT_TRUE(runPar2(folder, "create -q -n1 -s" + std::to_string(pieceSize) + " -c1 x.par2" + pieceList));
        break;
    case Maker::Split:
        splitWithRecovery(folder);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_TRUE(runPar2(folder, "verify x.par2"));
        break;
    }
    const std::string original = readFile(folder.file(pieceName(1)));
    if (row.damage == Damage::DeletePiece) {
        fs::remove(folder.file(pieceName(1)));
    } else {
        std::string bytes = original;
        bytes[pieceSize / 2] ^= 0x5A;
        writeFile(folder.file(pieceName(1)), bytes);
    }
    if (row.repairer == Fixer::Par2) {
        ASSERT_TRUE(runPar2(folder, "repair x.par2"));
    } else {
        RecoveryCheck check;
        const Error error = repairOurs(folder, check);
        ASSERT_FALSE(error.failed()) << error.message();
        EXPECT_EQ(check.lostPieces, 1u);
    }
    EXPECT_EQ(readFile(folder.file(pieceName(1))), original);
}

INSTANTIATE_TEST_SUITE_P(
    Recovery, RecoveryRoundTrip,
    ::testing::Values(RoundTrip{"OursByPar2Deleted", Maker::Ours, Damage::DeletePiece, Fixer::Par2},
                      RoundTrip{"OursByPar2Damaged", Maker::Ours, Damage::DamagePiece, Fixer::Par2},
                      RoundTrip{"OursByUsDeleted", Maker::Ours, Damage::DeletePiece, Fixer::Ours},
                      RoundTrip{"OursByUsDamaged", Maker::Ours, Damage::DamagePiece, Fixer::Ours},
                      RoundTrip{"OursFromDigestsByPar2", Maker::OursFromDigests, Damage::DamagePiece, Fixer::Par2},
                      RoundTrip{"Par2OurSliceByUs", Maker::Par2OurSlice, Damage::DeletePiece, Fixer::Ours},
                      RoundTrip{"Par2PieceSliceByUs", Maker::Par2PieceSlice, Damage::DamagePiece, Fixer::Ours},
                      RoundTrip{"SplitByPar2Deleted", Maker::Split, Damage::DeletePiece, Fixer::Par2},
                      RoundTrip{"SplitByPar2Damaged", Maker::Split, Damage::DamagePiece, Fixer::Par2}),
    [](const ::testing::TestParamInfo<RoundTrip>& row) { return std::string(row.param.name); });

// Bad recovery data: what is done to the folder after our recovery files are written.
struct BadRecovery {
    const char* name;
    std::function<void(const TestFolder&)> spoil;
    int code;
    const char* message;
    // A piece the caller claims to have verified.
    const char* verified = nullptr;
};

// Rewrites the first recovery packet of a volume: its data changed by `change`, its MD5 made
// right again, so only the rebuilt piece can tell.
void lieInVolume(const TestFolder& folder)
{
    std::string volume = readFile(folder.file("x.vol0+1.par2"));
    constexpr std::size_t dataStart = 68;
    const std::uint64_t length = [&] {
        std::uint64_t value = 0;
        std::memcpy(&value, volume.data() + 8, sizeof value);
        return value;
    }();
    volume[dataStart + 10] ^= 0x01;
    const Md5Digest md5 = Md5::of(volume.data() + 32, length - 32);
    std::memcpy(volume.data() + 16, md5.data(), md5.size());
    writeFile(folder.file("x.vol0+1.par2"), volume);
}

class RecoveryRefused : public ::testing::TestWithParam<BadRecovery> {};

TEST_P(RecoveryRefused, WritesNothing)
{
    const BadRecovery& row = GetParam();
    TestFolder folder;
    const std::vector<RecoveryPiece> pieces = makePieces(folder);
    RecoveryPlan plan;
    ASSERT_FALSE(createOurs(folder, pieces, 1, plan).failed());
    fs::remove(folder.file(pieceName(1)));
    row.spoil(folder);
    const auto before = snapshot(folder.path());
    RecoveryCheck check;
    std::set<std::string> verified;
    if (row.verified != nullptr)
        verified.insert(row.verified);
    const Error error = repairOurs(folder, check, {}, verified);
    EXPECT_EQ(error.code, row.code) << error.message();
    EXPECT_NE(error.message().find(row.message), std::string::npos) << error.message();
    EXPECT_EQ(snapshot(folder.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Recovery, RecoveryRefused,
    ::testing::Values(
        BadRecovery{"TooManyLost", [](const TestFolder& f) { fs::remove(f.file(pieceName(3))); },
                    RecoveryInsufficient, "2 pieces are damaged or missing, but only 1 can be rebuilt"},
        BadRecovery{"TruncatedVolume",
                    [](const TestFolder& f) { fs::resize_file(f.file("x.vol1+1.par2"), fs::file_size(f.file("x.vol1+1.par2")) / 2); },
                    RecoveryInsufficient, "1 piece is damaged or missing, but only 0 can be rebuilt"},
        BadRecovery{"WrongPacketLength",
                    [](const TestFolder& f) {
                        std::string volume = readFile(f.file("x.vol0+1.par2"));
                        volume[8] = char(volume[8] - 4);
                        writeFile(f.file("x.vol0+1.par2"), volume);
                    },
                    RecoveryInsufficient, "but only 0 can be rebuilt"},
        BadRecovery{"LyingVolume", lieInVolume, RecoveryDamaged, "recovery data is damaged"},
        BadRecovery{"DamagedPieceTakenAsVerified",
                    [](const TestFolder& f) {
                        std::string bytes = readFile(f.file(pieceName(2)));
                        bytes[pieceSize / 3] ^= 0x01;
                        writeFile(f.file(pieceName(2)), bytes);
                    },
                    RecoveryDamaged, "recovery data is damaged", "x.0002"}),
    [](const ::testing::TestParamInfo<BadRecovery>& row) { return std::string(row.param.name); });

// A stop requested at the first progress report ends each stage with Cancelled and leaves the
// folder as it was. Split: a split's, once it computes its recovery data.
enum class Stage { Create, Read, Check, Repair, Split };

struct CancelCase {
    const char* name;
    Stage stage;
};

class RecoveryCancelled : public ::testing::TestWithParam<CancelCase> {};

TEST_P(RecoveryCancelled, LeavesTheFolderAsItWas)
{
    // Over a read chunk of .par2 data, of pieces and of arithmetic, so that each stage reports.
    constexpr std::size_t largePiece = std::size_t(3) << 19;
    const Stage stage = GetParam().stage;
    TestFolder folder;
    const std::vector<RecoveryPiece> pieces = makePieces(folder, largePiece, largePiece - 1);
    RecoveryPlan plan;
    std::stop_source stop;
    RecoveryRun run{stop.get_token(), [&](std::uint64_t, std::uint64_t) { stop.request_stop(); }};
    if (stage != Stage::Create) {
        ASSERT_FALSE(createOurs(folder, pieces, 1, plan).failed());
        fs::remove(folder.file(pieceName(1)));
    }
    const auto before = snapshot(folder.path());
    Error error;
    if (stage == Stage::Split) {
        // A stop once the pieces are written: the recovery data is the last thing to go.
        class StopAfterPieces : public SplitObserver {
        public:
            explicit StopAfterPieces(std::stop_source& source) : m_source(source) {}
            void progress(std::uint64_t done, std::uint64_t) override
            {
                if (done > 2 * largePiece)
                    m_source.request_stop();
            }

        private:
            std::stop_source& m_source;
        } observer(stop);
        writeFile(folder.file("x"), patternBytes(2 * largePiece));
        const auto snapshotBefore = snapshot(folder.path());
        SplitRequest request{folder.path(), "x", SplitMode::BySize, largePiece / 2, true};
        request.recoveryPieces = 1;
        error = Splitter().run(request, observer, stop.get_token()).error();
        EXPECT_EQ(snapshot(folder.path()), snapshotBefore);
        EXPECT_EQ(error.code, Cancelled) << error.message();
        return;
    }
    if (stage == Stage::Create) {
        plan = planRecovery("x", pieces, 1);
        OpenFolder dir(folder.path());
        error = RecoveryCreator(FileLayer::system()).create(dir.fd(), folder.path(), plan, pieces, run);
    } else {
        OpenFolder dir(folder.path());
        RecoverySetReader reader(FileLayer::system());
        RecoverySet set;
        bool found = false;
        error = reader.read(dir.fd(), folder.path(), entries(folder.path()), stage == Stage::Read ? run : RecoveryRun{},
                            set, found);
        RecoveryCheck check;
        if (!error.failed())
            error = reader.check(dir.fd(), folder.path(), set, stage == Stage::Check ? run : RecoveryRun{}, check);
        if (!error.failed())
            error = RecoveryRepairer(FileLayer::system()).repair(dir.fd(), folder.path(), set, check, run);
    }
    EXPECT_EQ(error.code, Cancelled) << error.message();
    EXPECT_EQ(snapshot(folder.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Recovery, RecoveryCancelled,
                         ::testing::Values(CancelCase{"Create", Stage::Create}, CancelCase{"Read", Stage::Read},
                                           CancelCase{"Check", Stage::Check}, CancelCase{"Repair", Stage::Repair},
                                           CancelCase{"Split", Stage::Split}),
                         [](const ::testing::TestParamInfo<CancelCase>& row) { return std::string(row.param.name); });

} // namespace
