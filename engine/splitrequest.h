#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qfs {

enum class SplitMode { BySize, ByCount };

// One entry of the unit list: its text and how many bytes one unit holds.
struct SizeUnit {
    std::string_view listText;
    double factor;
};

inline constexpr std::array<SizeUnit, 4> sizeUnits{{
    {"GigaBytes", 1073741824.0},
    {"MegaBytes", 1048576.0},
    {"KiloBytes", 1024.0},
    {"Bytes", 1.0},
}};

// The unit chosen when the unit list has no selection.
inline constexpr std::int16_t defaultUnitIndex = 2;

// What the window hands over when "Split" is pressed.
struct SplitRequest {
    std::string sourceDirectory;
    std::string sourceFileName; // exactly as listed; may carry blanks
    SplitMode mode = SplitMode::BySize;
    std::string sizeText;
    std::int16_t unitIndex = -1; // -1: nothing selected
    std::string countText;
};

} // namespace qfs
