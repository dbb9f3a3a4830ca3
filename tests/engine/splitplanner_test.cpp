#include "splitplanner.h"

#include <gtest/gtest.h>

#include <limits>

using namespace qfs;

namespace {

SplitRequest request(const char* file, SplitMode mode, double size, std::int16_t unit, double count)
{
    return SplitRequest{"/data", file, mode, size, unit, count, true};
}

const double notANumber = std::numeric_limits<double>::quiet_NaN();

struct CheckCase {
    const char* name;
    SplitRequest request;
    const char* message; // nullptr: passes
    FocusTarget focus;
};

class CheckTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, RefusesWithTheMessageAndFocusOfTheFirstFailedCheck)
{
    const CheckCase& c = GetParam();
    const auto failure = SplitPlanner::validate(c.request);
    if (c.message == nullptr) {
        EXPECT_FALSE(failure.has_value());
        return;
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->focus, c.focus);
}

INSTANTIATE_TEST_SUITE_P(Requests, CheckTest, testing::Values(
    CheckCase{"NoFile", request("", SplitMode::BySize, 0, 2, 0), "Please select the file.", FocusTarget::FileList},
    CheckCase{"BlankFileBeatsGoodSize", request("   ", SplitMode::BySize, 300, 2, 4), "Please select the file.", FocusTarget::FileList},
    CheckCase{"ZeroSize", request("a", SplitMode::BySize, 0, 2, 4), "Incorrect split size", FocusTarget::SizeField},
    CheckCase{"SizeBelowOne", request("a", SplitMode::BySize, 0.4, 3, 0), "Incorrect split size", FocusTarget::SizeField},
    CheckCase{"UnknownUnit", request("a", SplitMode::BySize, 3, 7, 0), "Incorrect split size", FocusTarget::SizeField},
    CheckCase{"SizeModeIgnoresCount", request("a", SplitMode::BySize, 3, -1, 0), nullptr, FocusTarget::FileList},
    CheckCase{"EmptyCount", request("a", SplitMode::ByCount, 300, 2, 0), "Incorrect Number of files specified.", FocusTarget::CountField},
    CheckCase{"SizeNotANumber", request("a", SplitMode::BySize, notANumber, 2, 4), "Incorrect split size", FocusTarget::SizeField},
    CheckCase{"CountNotANumber", request("a", SplitMode::ByCount, 3, 2, notANumber), "Incorrect Number of files specified.", FocusTarget::CountField},
    CheckCase{"CountModeIgnoresSizeAndUnit", request("a", SplitMode::ByCount, 0, 9, 4), nullptr, FocusTarget::FileList}),
    [](const auto& row) { return row.param.name; });

TEST(SplitPlannerTest, ChunkSizeBySize)
{
    EXPECT_EQ(SplitPlanner::chunkSizeBySize(300, 2), 307200);
    EXPECT_EQ(SplitPlanner::chunkSizeBySize(2, 1), 2097152);
    EXPECT_EQ(SplitPlanner::chunkSizeBySize(1, 0), 1073741824);
    EXPECT_EQ(SplitPlanner::chunkSizeBySize(5, 3), 5);
    // Half-way values round to the even neighbour.
    EXPECT_EQ(SplitPlanner::chunkSizeBySize(2.5, 3), 2);
    EXPECT_EQ(SplitPlanner::chunkSizeBySize(3.5, 3), 4);
    EXPECT_EQ(SplitPlanner::chunkSizeBySize(5, -1), 0);
}

TEST(SplitPlannerTest, ChunkSizeByCountRoundsUp)
{
    EXPECT_EQ(SplitPlanner::chunkSizeByCount(4, 10), 3);
    EXPECT_EQ(SplitPlanner::chunkSizeByCount(6, 10), 2);
    EXPECT_EQ(SplitPlanner::chunkSizeByCount(10, 3), 1);
    EXPECT_EQ(SplitPlanner::chunkSizeByCount(3, 1000000), 333334);
    EXPECT_EQ(SplitPlanner::chunkSizeByCount(3, 0), 0);
}

TEST(SplitPlannerTest, Ceiling)
{
    EXPECT_EQ(SplitPlanner::ceiling(7, 1), 7);
    EXPECT_EQ(SplitPlanner::ceiling(7.2, 1), 8);
    EXPECT_EQ(SplitPlanner::ceiling(-7.2, 1), -7);
    EXPECT_EQ(SplitPlanner::ceiling(7, 2), 8);
    EXPECT_EQ(SplitPlanner::ceiling(7.2), 8);
}

TEST(SplitPlannerTest, MissingUnitBecomesKiloBytes)
{
    EXPECT_EQ(SplitPlanner::effectiveUnitIndex(-1), 2);
    EXPECT_EQ(SplitPlanner::effectiveUnitIndex(0), 0);
    EXPECT_EQ(sizeUnits[2].listText, "KiloBytes");
}

} // namespace
