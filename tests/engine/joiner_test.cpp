#include "engine/joiner.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

using namespace qfs;
namespace fs = std::filesystem;

namespace {

// A folder of pieces ("pieces") beside files that are not the join's business ("outside").
struct World {
    TestFolder root;
    std::string pieces = root.file("pieces");
    std::string outside = root.file("outside");

    World()
    {
        fs::create_directory(pieces);
        fs::create_directory(outside);
        fs::create_directory(outside + "/victimdir");
        writeFile(outside + "/victim.txt", "precious");
    }
    ~World()
    {
        for (const int fd : locked)
            ::close(fd);
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    std::string at(const std::string& name) const { return pieces + "/" + name; }
    void file(const std::string& name, const std::string& bytes) const { writeFile(at(name), bytes); }
    void link(const std::string& name, const std::string& target) const { fs::create_symlink(target, at(name)); }
    // A file that a run still going holds locked, as long as the world lasts.
    void lockedFile(const std::string& name, const std::string& bytes) const
    {
        file(name, bytes);
        const int fd = ::open(at(name).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        locked.push_back(fd);
    }

    mutable std::vector<int> locked;
};

using Files = std::vector<std::pair<std::string, std::string>>;

// Prepares the folder of pieces with these files (name, bytes), then does `then`.
std::function<void(const World&)> files(Files named, std::function<void(const World&)> then = [](const World&) {})
{
    return [named = std::move(named), then = std::move(then)](const World& w) {
        for (const auto& [name, bytes] : named)
            w.file(name, bytes);
        then(w);
    };
}

struct HostileCase {
    const char* name;
    std::function<void(const World&)> prepare;
    int code;                // 0: the join succeeds
    std::string named;       // success: the rebuilt file ("" for none); failure: the file the message names
    std::string rebuilt = {}; // the rebuilt bytes on success
    std::vector<std::string> removed = {}; // on success: entries that go, with all they hold
};

class HostileFolderTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileFolderTest, WritesOnlyTheRebuiltFileAndTouchesNothingOutside)
{
    const HostileCase& c = GetParam();
    World world;
    c.prepare(world);
    const auto outsideBefore = snapshot(world.outside);
    auto piecesBefore = snapshot(world.pieces);

    RecordingObserver observer;
    const Error error = observer.ended(Joiner(FileLayer::system(), 4096).run(JoinRequest{world.pieces}, observer));

    EXPECT_EQ(snapshot(world.outside), outsideBefore);
    if (c.code != 0) {
        EXPECT_EQ(error.code, c.code) << error.message();
        EXPECT_EQ(error.path, world.at(c.named));
        EXPECT_EQ(snapshot(world.pieces), piecesBefore) << "a refused join writes nothing";
        return;
    }
    ASSERT_FALSE(error.failed()) << error.message();
    EXPECT_EQ(observer.events.back(), "joined: " + c.named);
    if (!c.named.empty())
        piecesBefore[c.named] = "file " + c.rebuilt;
    for (const std::string& gone : c.removed)
        std::erase_if(piecesBefore, [&](const auto& entry) {
            return entry.first == gone || entry.first.starts_with(gone + "/");
        });
    EXPECT_EQ(snapshot(world.pieces), piecesBefore);
}

const std::string big = patternBytes(3 * 4096 + 100);

INSTANTIATE_TEST_SUITE_P(Folders, HostileFolderTest, testing::Values(
    HostileCase{"ForeignFilesSkipped",
                files({{"readme.txt", "hello"}, {"m.0000", "QuarbAB"}, {"m.0001", "QuarbCD"},
                       {"notes.2010", "no signature, other stem"}}),
                0, "m", "ABCD"},
    HostileCase{"LargePiecesCrossBlocks",
                files({{"b.0000", "Quarb" + big}, {"b.0001", "Quarb" + big}}),
                0, "b", big + big},
    HostileCase{"SignatureOnlyPieceRebuildsEmptyFile", files({{"e.0000", "Quarb"}}), 0, "e", ""},
    HostileCase{"EmptyFolder", files({}), 0, ""},
    HostileCase{"ThesisBesideThesis2024IsNoJoin",
                files({{"thesis", "my thesis"}, {"thesis_2024", "Quarb of a sort"}, {"IMG_2024", "photo"},
                       {"taxes.2023", "no signature"}}),
                0, ""},
    HostileCase{"ExistingLongerOutputIsReplaced",
                files({{"m", "stale stale stale"}, {"m.0000", "QuarbAB"}, {"m.0001", "QuarbC"}}),
                0, "m", "ABC"},
    HostileCase{"OutputLinkedToAFileOutside",
                files({{"m.0000", "QuarbAB"}}, [](const World& w) { w.link("m", w.outside + "/victim.txt"); }),
                0, "m", "AB"},
    HostileCase{"OutputLinkedToAFolderOutside",
                files({{"m.0000", "QuarbAB"}}, [](const World& w) { w.link("m", w.outside + "/victimdir"); }),
                0, "m", "AB"},
    HostileCase{"OutputIsADanglingLinkOutside",
                files({{"m.0000", "QuarbAB"}}, [](const World& w) { w.link("m", "../outside/evil.desktop"); }),
                0, "m", "AB"},
    HostileCase{"OutputLinkedToAPiece",
                files({{"m.0000", "QuarbAB"}, {"m.0001", "QuarbCD"}}, [](const World& w) { w.link("m", "m.0000"); }),
                0, "m", "ABCD"},
    HostileCase{"OutputHardLinkedToAFileOutside",
                files({{"m.0000", "QuarbAB"}},
                      [](const World& w) { fs::create_hard_link(w.outside + "/victim.txt", w.at("m")); }),
                0, "m", "AB"},
    // What killed runs left goes: only unlocked entries of the exact hidden names, never what a
    // link leads to, and of a split's folder only what a split writes.
    HostileCase{"LeftoversOfKilledRunsGo",
                [](const World& w) {
                    w.file("m.0000", "QuarbAB");
                    w.file(".qfs-killedjoin01.tmp", "half a rebuilt file");
                    fs::create_directory(w.at(".qfs-killedsplit1.part"));
                    w.file(".qfs-killedsplit1.part/v.0000", "QuarbV");
                    w.file(".qfs-killedsplit1.part/.qfs-killedsums01.tmp", "half a checksum file");
                    fs::create_directory(w.at(".qfs-killedsplit2.part"));
                    w.file(".qfs-killedsplit2.part/v.0000", "QuarbV");
                    w.file(".qfs-killedsplit2.part/notes.txt", "not a split's");
                    w.lockedFile(".qfs-runningjoin1.tmp", "still being written");
                    w.link(".qfs-linkedfile01.tmp", w.outside + "/victim.txt");
                    writeFile(w.outside + "/victimdir/v.0000", "QuarbV");
                    w.link(".qfs-linkedfoldr1.part", w.outside + "/victimdir");
                    w.file(".qfs-short.tmp", "not of our names");
                },
                0, "m", "AB", {".qfs-killedjoin01.tmp", ".qfs-killedsplit1.part", ".qfs-killedsplit2.part/v.0000"}},
    HostileCase{"OutputIsAFolder",
                files({{"m.0000", "QuarbAB"}}, [](const World& w) { fs::create_directory(w.at("m")); }),
                OutputIsFolder, "m"},
    HostileCase{"PieceLinkedToAFileOutside",
                files({{"m.0000", "QuarbAB"}}, [](const World& w) { w.link("m.0001", w.outside + "/victim.txt"); }),
                SymbolicLink, "m.0001"},
    HostileCase{"TwoStems",
                files({{"a.bin.0000", "Quarb1"}, {"a.bin.0001", "Quarb2"}, {"b.bin.0000", "Quarb3"}}),
                MixedPieces, "b.bin.0000"},
    HostileCase{"OutputNameIsAPieceOfAnotherStem",
                files({{"r.0001.0000", "QuarbAB"}, {"r.0001", "QuarbCD"}}),
                MixedPieces, "r.0001.0000"},
    HostileCase{"Gap", files({{"x.0000", "QuarbAA"}, {"x.0002", "QuarbCC"}}), MissingPiece, "x.0001"},
    HostileCase{"DuplicateIndex",
                files({{"x.0000", "QuarbAA"}, {"x.0001", "QuarbBB"}, {"x.00001", "QuarbBB"}}),
                DuplicatePiece, "x.0001"},
    HostileCase{"DamagedSignature", files({{"m.0000", "QuarbAB"}, {"m.0001", "XuarbCD"}}), PieceDamaged, "m.0001"},
    HostileCase{"PieceShorterThanItsSignature",
                files({{"s.0000", "QuarbAB"}, {"s.0001", "Qua"}, {"s.0002", "QuarbCD"}}),
                PieceDamaged, "s.0001"}),
    [](const auto& row) { return row.param.name; });

TEST(JoinerTest, SparsePiecesOverALongerFileLeaveNoOldBytes)
{
    World world;
    writeFile(world.at("d"), std::string(1 << 20, 'x'));
    const std::string piece = world.at("d.0000");
    writeFile(piece, "QuarbA");
    fs::resize_file(piece, 512 << 10); // a hole up to the end
    RecordingObserver observer;
    ASSERT_FALSE(observer.ended(Joiner().run(JoinRequest{world.pieces}, observer)).failed());
    EXPECT_EQ(readFile(world.at("d")), "A" + std::string((512 << 10) - 6, '\0'));
}

TEST(JoinerTest, MissingFolderIsReportedNotThrown)
{
    TestFolder folder;
    RecordingObserver observer;
    EXPECT_TRUE(observer.ended(Joiner().run(JoinRequest{folder.file("nowhere")}, observer)).failed());
    EXPECT_EQ(observer.events.back(), "failed: 2: No such file or directory: " + folder.file("nowhere"));
}

} // namespace
