#include "folderlisting.h"
#include "joiner.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace qfs;

namespace {

struct Piece {
    std::string name;
    std::string bytes; // the whole file, signature included
};

struct JoinCase {
    const char* name;
    std::vector<Piece> files;
    std::string rebuiltName; // empty: nothing is rebuilt
    std::string rebuilt;
    std::string failure; // empty: the join succeeds
    std::string failureFile = {};
};

class JoinTest : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinTest, RebuildsFromTheListedPieces)
{
    const JoinCase& c = GetParam();
    TestFolder folder;
    for (const Piece& piece : c.files)
        writeFile(folder.file(piece.name), piece.bytes);
    std::vector<std::string> names;
    ASSERT_FALSE(FolderListing::regularFiles(folder.path(), names).failed());

    RecordingObserver observer;
    const Error error = Joiner(FileLayer::system(), 4096).run(JoinRequest{folder.path()}, observer);
    if (c.failure.empty()) {
        EXPECT_FALSE(error.failed()) << error.message();
        EXPECT_EQ(observer.events.back(), "joined: " + c.rebuiltName);
    } else {
        EXPECT_EQ(observer.events.back(), "failed: " + c.failure + ": " + folder.file(c.failureFile));
    }
    if (c.rebuiltName.empty()) {
        std::vector<std::string> after;
        ASSERT_FALSE(FolderListing::regularFiles(folder.path(), after).failed());
        EXPECT_EQ(after, names) << "nothing may be created";
    } else {
        EXPECT_EQ(readFile(folder.file(c.rebuiltName)), c.rebuilt);
    }
}

const std::string big = patternBytes(3 * 4096 + 100);

INSTANTIATE_TEST_SUITE_P(Folders, JoinTest, testing::Values(
    JoinCase{"ForeignFilesSkipped",
             {{"readme.txt", "hello"}, {"m.0000", "QuarbAB"}, {"m.0001", "QuarbCD"}, {"m.bak", "x"}},
             "m", "ABCD", ""},
    JoinCase{"SignatureIsNotCompared", {{"m.0000", "xxxxxAB"}, {"m.0001", "12345CD"}}, "m", "ABCD", ""},
    JoinCase{"TwoSourcesGoIntoTheFirstOutput",
             {{"a.bin.0000", "Quarb1"}, {"a.bin.0001", "Quarb2"}, {"b.bin.0000", "Quarb3"}},
             "a.bin", "123", ""},
    JoinCase{"GapIsClosedUp", {{"x.0000", "QuarbAA"}, {"x.0002", "QuarbCC"}}, "x", "AACC", ""},
    JoinCase{"LargePiecesCrossBlocks", {{"b.0000", "Quarb" + big}, {"b.0001", "Quarb" + big}}, "b", big + big, ""},
    JoinCase{"NumericEndingCountsAsPiece", {{"notes.2010", "QuarbN"}}, "notes", "N", ""},
    JoinCase{"SignatureOnlyPieceRebuildsEmptyFile", {{"e.0000", "Quarb"}}, "e", "", ""},
    JoinCase{"NoPieces", {{"readme.txt", "hello"}}, "", "", ""},
    JoinCase{"EmptyFolder", {}, "", "", ""},
    JoinCase{"ExistingLongerOutputIsCut",
             {{"m", "stale stale stale"}, {"m.0000", "QuarbAB"}, {"m.0001", "QuarbC"}}, "m", "ABC", ""},
    JoinCase{"TooShortPieceStopsWithItsName",
             {{"s.0000", "QuarbAB"}, {"s.0001", "Qua"}, {"s.0002", "QuarbCD"}}, "s", "AB",
             "1002: Piece shorter than its 5-byte signature", "s.0001"}),
    [](const auto& row) { return row.param.name; });

TEST(JoinerTest, MissingFolderIsReportedNotThrown)
{
    TestFolder folder;
    RecordingObserver observer;
    EXPECT_TRUE(Joiner().run(JoinRequest{folder.file("nowhere")}, observer).failed());
    EXPECT_EQ(observer.events.back(), "failed: 2: No such file or directory: " + folder.file("nowhere"));
}

} // namespace
