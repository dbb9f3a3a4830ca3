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
// The unit whose factor is 1: a size given in bytes.
inline constexpr std::int16_t bytesUnitIndex = 3;

// What a split is asked to do. Text has been turned into numbers where it entered (the
// window's fields, the command line); a value that is not a number is NaN.
struct SplitRequest {
    std::string sourceDirectory;
    std::string sourceFileName; // a plain name in sourceDirectory, exactly as listed; may carry blanks
    SplitMode mode = SplitMode::BySize;
    double size = 0;             // piece size in units of unitIndex
    std::int16_t unitIndex = -1; // -1: nothing selected
    double count = 0;            // number of pieces wished for
    bool writeChecksums = true;  // also write "<name>.sha256" into the split folder
};

} // namespace qfs
