#include "engine/splitplan.h"

#include <gtest/gtest.h>

using namespace qfs;

namespace {

struct PlanCase {
    const char* name;
    SplitMode mode;
    std::uint64_t amount;
    std::uint64_t length;
    std::uint64_t chunk;
    std::uint64_t pieces;
    std::uint64_t last;
};

class PlanTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, CutsTheSourceAsTheRequestAsks)
{
    const PlanCase& c = GetParam();
    const SplitPlan plan = SplitPlan::make(SplitRequest{"/data", "a.bin", c.mode, c.amount, true}, c.length);
    EXPECT_EQ(plan.chunkBytes, c.chunk);
    EXPECT_EQ(plan.pieceCount, c.pieces);
    EXPECT_EQ(plan.lastPieceBytes, c.last);
    EXPECT_EQ(plan.sourceLength, c.length);
}

// A count's chunk is the length over the count, rounded up.
INSTANTIATE_TEST_SUITE_P(Requests, PlanTest, testing::Values(
    PlanCase{"SizeWithShorterLast", SplitMode::BySize, 300, 1000, 300, 4, 100},
    PlanCase{"SizeAboveLength", SplitMode::BySize, 5000, 1000, 1000, 1, 1000},
    PlanCase{"CountFourOfTen", SplitMode::ByCount, 4, 10, 3, 4, 1},
    PlanCase{"CountSixOfTenGivesFive", SplitMode::ByCount, 6, 10, 2, 5, 2},
    PlanCase{"CountAboveLength", SplitMode::ByCount, 10, 3, 1, 3, 1},
    PlanCase{"CountThreeOfAMillion", SplitMode::ByCount, 3, 1000000, 333334, 3, 333332},
    PlanCase{"CountOfEmptySource", SplitMode::ByCount, 3, 0, 0, 1, 0},
    PlanCase{"LargestCount", SplitMode::ByCount, std::uint64_t(-1), 5, 1, 5, 1}),
    [](const auto& row) { return row.param.name; });

TEST(SplitPlanTest, NamesTheFolderPiecesAndChecksumFile)
{
    const SplitPlan plan = SplitPlan::make(SplitRequest{"/data/", " movie.avi", SplitMode::BySize, 1, true}, 10001);
    EXPECT_EQ(plan.folderName, "movie.avi_split");
    EXPECT_EQ(plan.folderPath, "/data/movie.avi_split");
    EXPECT_EQ(plan.checksumName, " movie.avi.sha256");
    EXPECT_EQ(plan.pieceName(3), " movie.avi.0003");
    EXPECT_EQ(plan.pieceName(plan.pieceCount - 1), " movie.avi.10000");
}

} // namespace
