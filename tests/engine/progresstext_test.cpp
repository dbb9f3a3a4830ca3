#include "engine/text/progresstext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

using qfs::ProgressMeter;
using qfs::ProgressText;

namespace {

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = KiB * KiB;
constexpr std::uint64_t GiB = MiB * KiB;

// Another language's words and marks, with the parts of one template in another order.
qfs::Wording otherWords()
{
    qfs::Wording words;
    words.decimalPoint = ",";
    words.groupSeparator = ".";
    words.manyBytes = "%1 Byte";
    words.timeLeft = "noch %1";
    words.doneOfTotal = "von %2: %1";
    return words;
}

// A meter fed a steady rate, sampled ten times a second up to `seconds`.
std::string steadyRun(std::uint64_t bytesPerSecond, std::uint64_t total, double seconds,
                      const qfs::Wording& words = qfs::Wording::english())
{
    ProgressMeter meter(words);
    std::string line;
    for (int tick = 1; tick <= int(std::lround(seconds * 10)); ++tick) {
        const double t = tick / 10.0;
        line = meter.update(std::min(total, std::uint64_t(double(bytesPerSecond) * t)), total, t);
    }
    return line;
}

struct TextCase {
    const char* name;
    std::function<std::string()> make;
    const char* expected;
};

class ProgressTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ProgressTextTest, Reads)
{
    EXPECT_EQ(GetParam().make(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, ProgressTextTest, testing::Values(
    TextCase{"NoBytes", [] { return ProgressText::bytes(0); }, "0 bytes"},
    TextCase{"LastByteCount", [] { return ProgressText::bytes(KiB - 1); }, "1023 bytes"},
    TextCase{"TwoDigitsOfKilobytes", [] { return ProgressText::bytes(1331); }, "1.3 KB"},
    TextCase{"ThreeDigitsOfGigabytes", [] { return ProgressText::bytes(4692251771); }, "4.37 GB"},
    TextCase{"RoundsUpIntoTheNextUnit", [] { return ProgressText::bytes(MiB - 1); }, "1 MB"},
    TextCase{"NoUnitBeyondTerabytes", [] { return ProgressText::bytes(5 * KiB * KiB * GiB); }, "5120 TB"},
    TextCase{"CountBelowAThousand", [] { return ProgressText::count(999); }, "999"},
    TextCase{"CountGroupsThousands", [] { return ProgressText::count(1234567); }, "1,234,567"},
    TextCase{"Seconds", [] { return ProgressText::duration(4.4); }, "4 s"},
    TextCase{"MinutesAndSeconds", [] { return ProgressText::duration(125); }, "2 min 5 s"},
    TextCase{"RoundsUpToAnHour", [] { return ProgressText::duration(3599.6); }, "1 h 0 min"},
    TextCase{"HoursAndMinutes", [] { return ProgressText::duration(3790); }, "1 h 3 min"},
    TextCase{"NotANumber", [] { return ProgressText::duration(std::nan("")); }, "0 s"},
    TextCase{"ElapsedInTenths", [] { return ProgressText::elapsed(2.14); }, "2.1 s"},
    TextCase{"ElapsedRoundsIntoWholeSeconds", [] { return ProgressText::elapsed(9.96); }, "10 s"},
    TextCase{"NoSpeedBeforeItIsMeasured",
             [] { return steadyRun(100 * MiB, GiB, 0.5); }, "4 % \u00B7 50 MB of 1 GB"},
    TextCase{"SteadySpeedAndTimeLeft",
             [] { return steadyRun(100 * MiB, GiB, 4); },
             "39 % \u00B7 400 MB of 1 GB \u00B7 100 MB/s \u00B7 6 s left"},
    TextCase{"NoTimeLeftWhenDone",
             [] { return steadyRun(100 * MiB, 300 * MiB, 3); },
             "100 % \u00B7 300 MB of 300 MB \u00B7 100 MB/s"},
    // Another language: its marks and words, its order of the parts; a part's own "%2" stays.
    TextCase{"OtherDecimalPoint", [] { return ProgressText::bytes(4692251771, otherWords()); }, "4,37 GB"},
    TextCase{"OtherGroupSeparator", [] { return ProgressText::count(1234567, otherWords()); }, "1.234.567"},
    TextCase{"OtherWords", [] { return ProgressText::bytes(KiB - 1, otherWords()); }, "1023 Byte"},
    TextCase{"OtherOrderOfParts",
             [] { return steadyRun(100 * MiB, GiB, 4, otherWords()); },
             "39 % \u00B7 von 1 GB: 400 MB \u00B7 100 MB/s \u00B7 noch 6 s"},
    TextCase{"PartsAreNotFilledAgain", [] { return qfs::Wording::fill("%2 and %1", {"%2", "b"}); }, "b and %2"}),
    [](const auto& row) { return row.param.name; });

} // namespace
