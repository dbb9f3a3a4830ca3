#include "engine/text/numbertext.h"

#include <gtest/gtest.h>

#include <cmath>

using qfs::NumberText;

namespace {

struct ValCase {
    const char* name;
    const char* text;
    double value;
};

class ValTest : public testing::TestWithParam<ValCase> {};

TEST_P(ValTest, ReadsTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(NumberText::val(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, ValTest, testing::Values(
    ValCase{"Empty", "", 0},
    ValCase{"Plain", "300", 300},
    ValCase{"LeadingZeros", "007", 7},
    ValCase{"BlanksAroundAndInside", "  1 2 3  ", 123},
    ValCase{"StopsAtLetter", "12abc", 12},
    ValCase{"NoNumber", "abc", 0},
    ValCase{"DecimalPoint", "1.5", 1.5},
    ValCase{"CommaIsNoDecimalPoint", "1,5", 1},
    ValCase{"ExponentFormOfTheFields", "1.23456789012346E+15", 1.23456789012346e15},
    ValCase{"BareExponentLetterIgnored", "5E", 5},
    ValCase{"Negative", "-4", -4},
    ValCase{"PointOnly", ".", 0}),
    [](const auto& row) { return row.param.name; });

TEST(NumberTextTest, ToNumberTakesOnlyWholeNumbers)
{
    EXPECT_EQ(NumberText::toNumber(" 42 "), 42.0);
    EXPECT_EQ(NumberText::toNumber("1.23456789012346E+15"), 1.23456789012346e15);
    EXPECT_EQ(NumberText::toNumber("-3"), -3.0);
    EXPECT_FALSE(NumberText::toNumber("").has_value());
    EXPECT_FALSE(NumberText::toNumber("12abc").has_value());
    EXPECT_FALSE(NumberText::toNumber("1,5").has_value());
    EXPECT_FALSE(NumberText::toNumber("inf").has_value());
}

TEST(NumberTextTest, FormatsLikeTheNumericFieldsShowNumbers)
{
    EXPECT_EQ(NumberText::formatGeneral(0), "0");
    EXPECT_EQ(NumberText::formatGeneral(7), "7");
    EXPECT_EQ(NumberText::formatGeneral(123456789012345), "123456789012345");
    EXPECT_EQ(NumberText::formatGeneral(1234567890123456), "1.23456789012346E+15");
    EXPECT_EQ(NumberText::formatGeneral(1e20), "1E+20");
    EXPECT_EQ(NumberText::formatGeneral(1.5e-5), "1.5E-05");
    EXPECT_EQ(NumberText::formatGeneral(2.5), "2.5");
    // What the field shows reads back to the same value.
    EXPECT_EQ(NumberText::val(NumberText::formatGeneral(1.23456789012346e15)), 1.23456789012346e15);
}

} // namespace
