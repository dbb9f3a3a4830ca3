#include "folderlisting.h"
#include "naturalorder.h"
#include "piecenaming.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>

using qfs::PieceNaming;

namespace {

TEST(PieceNamingTest, FolderNameAndPath)
{
    EXPECT_EQ(PieceNaming::splitFolderName("movie.avi"), "movie.avi_split");
    EXPECT_EQ(PieceNaming::splitFolderName("  movie.avi "), "movie.avi_split");
    EXPECT_EQ(PieceNaming::splitFolderPath("/data", "movie.avi"), "/data/movie.avi_split");
    EXPECT_EQ(PieceNaming::splitFolderPath("/data/", "movie.avi"), "/data/movie.avi_split");
    EXPECT_EQ(PieceNaming::splitFolderPath("/", "x.bin"), "/x.bin_split");
    EXPECT_EQ(PieceNaming::splitFolderPath("", "x.bin"), "x.bin_split");
}

TEST(PieceNamingTest, PieceNamesPadToFourDigitsAndThenWiden)
{
    EXPECT_EQ(PieceNaming::pieceFileName("movie.avi", 0), "movie.avi.0000");
    EXPECT_EQ(PieceNaming::pieceFileName("movie.avi", 42), "movie.avi.0042");
    EXPECT_EQ(PieceNaming::pieceFileName("movie.avi", 9999), "movie.avi.9999");
    EXPECT_EQ(PieceNaming::pieceFileName("movie.avi", 10000), "movie.avi.10000");
    EXPECT_EQ(PieceNaming::pieceFileName(" a ", 1), " a .0001");
}

struct NameCase {
    const char* name;
    const char* fileName;
    bool isPiece;
    const char* rebuilt;
};

class PieceNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(PieceNameTest, RecognisesPiecesAndTheirRebuiltName)
{
    const NameCase& c = GetParam();
    EXPECT_EQ(PieceNaming::isPieceName(c.fileName), c.isPiece);
    if (c.isPiece) {
        EXPECT_EQ(PieceNaming::rebuiltFileName(c.fileName), c.rebuilt);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, PieceNameTest, testing::Values(
    NameCase{"FirstPiece", "movie.avi.0000", true, "movie.avi"},
    NameCase{"WidenedIndex", "movie.avi.10000", true, "movie.avi."},
    NameCase{"YearSuffix", "notes.2010", true, "notes"},
    NameCase{"OnlyDigits", "2010", false, ""},
    NameCase{"NothingLeft", "a2010", false, ""},
    NameCase{"Text", "readme.txt", false, ""},
    NameCase{"ThreeDigits", "x.123", false, ""},
    NameCase{"Sign", "x.+123", false, ""},
    NameCase{"Point", "x.1.23", false, ""},
    NameCase{"Exponent", "x.1E10", false, ""},
    NameCase{"Blank", "x. 123", false, ""},
    NameCase{"NonAsciiDigits", "x.\xd9\xa1\xd9\xa2", false, ""}),
    [](const auto& row) { return row.param.name; });

TEST(NaturalOrderTest, DigitRunsCompareByValueAndCaseIsIgnored)
{
    std::vector<std::string> expected = {
        "a.bin", "A.bin.0000", "a.bin.0001", "a.bin.0002", "a.bin.9999", "a.bin.10000",
        "a.bin.10001", "B.txt", "b010", "b10", "b11", "movie.avi", "movie.avi.0000",
    };
    std::vector<std::string> names = expected;
    std::mt19937 random(7);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(names.begin(), names.end(), random);
        qfs::FolderListing::sortNaturally(names);
        EXPECT_EQ(names, expected);
    }
    EXPECT_EQ(qfs::NaturalOrder::compare("x", "x"), 0);
    EXPECT_NE(qfs::NaturalOrder::compare("a", "A"), 0);
}

TEST(FolderListingTest, ListsRegularFilesAndLinksToThemInNaturalOrder)
{
    TestFolder folder;
    for (const char* name : {"p.10000", "p.9999", "P.0001", "other"})
        writeFile(folder.file(name), "x");
    ASSERT_EQ(::mkdir(folder.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("other", folder.file("link").c_str()), 0);
    ASSERT_EQ(::symlink("sub", folder.file("dirlink").c_str()), 0);
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0644), 0);

    std::vector<std::string> names;
    ASSERT_FALSE(qfs::FolderListing::regularFiles(folder.path(), names).failed());
    EXPECT_EQ(names, (std::vector<std::string>{"link", "other", "P.0001", "p.9999", "p.10000"}));

    const qfs::Error missing = qfs::FolderListing::regularFiles(folder.file("none"), names);
    EXPECT_EQ(missing.message(), "2: No such file or directory: " + folder.file("none"));
}

} // namespace
