#include "engine/fs/folderlisting.h"
#include "engine/text/nametext.h"
#include "engine/pieces/naturalorder.h"
#include "engine/pieces/piecenaming.h"
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
    const char* stem;
    std::uint64_t index;
};

class PieceNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(PieceNameTest, TakesPieceNamesApart)
{
    const NameCase& c = GetParam();
    const auto parsed = PieceNaming::parse(c.fileName);
    ASSERT_EQ(parsed.has_value(), c.isPiece);
    if (c.isPiece) {
        EXPECT_EQ(parsed->stem, c.stem);
        EXPECT_EQ(parsed->index, c.index);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, PieceNameTest, testing::Values(
    NameCase{"FirstPiece", "movie.avi.0000", true, "movie.avi", 0},
    NameCase{"WidenedIndex", "movie.avi.10000", true, "movie.avi", 10000},
    NameCase{"ExtraZeros", "movie.avi.00005", true, "movie.avi", 5},
    NameCase{"YearSuffix", "notes.2010", true, "notes", 2010},
    NameCase{"NoDot", "thesis_2024", false, "", 0},
    NameCase{"OnlyDigits", "2010", false, "", 0},
    NameCase{"EmptyStem", ".2010", false, "", 0},
    NameCase{"Text", "readme.txt", false, "", 0},
    NameCase{"ThreeDigits", "x.123", false, "", 0},
    NameCase{"Sign", "x.+1234", false, "", 0},
    NameCase{"Point", "x.1.23", false, "", 0},
    NameCase{"Exponent", "x.1E10", false, "", 0},
    NameCase{"Blank", "x. 1234", false, "", 0},
    NameCase{"BeyondSixtyFourBits", "x.99999999999999999999", false, "", 0},
    NameCase{"NonAsciiDigits", "x.\xd9\xa1\xd9\xa2\xd9\xa3\xd9\xa4", false, "", 0}),
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

// Names as messages print them: what a terminal would act on is escaped, whatever the encoding.
struct PrintedNameCase {
    const char* name;
    std::string fileName;
    std::string printed;
};

class PrintedNameTest : public testing::TestWithParam<PrintedNameCase> {};

TEST_P(PrintedNameTest, EscapesWhatATerminalWouldActOn)
{
    const PrintedNameCase& c = GetParam();
    const std::string printed = qfs::NameText::printable(c.fileName);
    EXPECT_EQ(printed, c.printed);
    EXPECT_EQ(qfs::NameText::printable(printed), printed);
}

INSTANTIATE_TEST_SUITE_P(Names, PrintedNameTest, testing::Values(
    PrintedNameCase{"PlainTextAsItIs", "it's a \\ \xc3\xa9t\xc3\xa9.0001", "it's a \\ \xc3\xa9t\xc3\xa9.0001"},
    PrintedNameCase{"EscapeSequenceQuoted", "a'\r\x1b[2Kb\\", "$'a\\'\\r\\e[2Kb\\\\'"},
    PrintedNameCase{"EncodedC1Control", "a\xc2\x9b" "2Jb", "$'a\\302\\2332Jb'"},
    PrintedNameCase{"BytesThatAreNotUtf8", "a\x9b\xc3(\xed\xa0\x80", "$'a\\233\\303(\\355\\240\\200'"},
    PrintedNameCase{"NulAndDelete", std::string("a\0\x7f", 3), "$'a\\000\\177'"}),
    [](const auto& row) { return row.param.name; });

} // namespace
