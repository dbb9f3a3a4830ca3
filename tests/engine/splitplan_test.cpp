#include "engine/splitplan.h"

#include "engine/pieces/piecenaming.h"
#include "engine/text/plantext.h"

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

// The format covers 32,768 slices, two to a piece: one piece more (of one slice) and the plan
// says before the split that there will be no recovery pieces.
TEST(SplitPlanTest, RecoveryPiecesWithinTheFormat)
{
    constexpr std::uint64_t chunk = std::uint64_t(8) << 20;
    constexpr std::uint64_t mostPieces = 16384;
    SplitRequest request{"/data", "a.bin", SplitMode::BySize, chunk, true};
    request.recoveryPieces = 2;
    const SplitPlan within = SplitPlan::make(request, mostPieces * chunk);
    ASSERT_TRUE(within.recovery.possible()) << within.recovery.reason;
    EXPECT_EQ(within.recovery.recoveryPieces, 2u);
    for (const RecoveryFile& file : within.recovery.files)
        EXPECT_LE(file.size, chunk + pieceSignature.size()) << file.name;
    const SplitPlan beyond = SplitPlan::make(request, mostPieces * chunk + 1);
    EXPECT_FALSE(beyond.recovery.possible());
    EXPECT_NE(PlanText::pieces(beyond).find(beyond.recovery.reason), std::string::npos);
}

} // namespace
