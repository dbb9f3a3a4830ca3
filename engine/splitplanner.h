#pragma once

#include "splitrequest.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qfs {

// The control a failed check sends the focus to.
enum class FocusTarget { FileList, SizeField, CountField };

struct CheckFailure {
    std::string message;
    FocusTarget focus;
};

// The checks of a split request and the rules that turn it into a chunk size.
class SplitPlanner {
public:
    static std::optional<CheckFailure> validate(const SplitRequest& request);

    // The unit index the split uses: a missing selection becomes "KiloBytes".
    static std::int16_t effectiveUnitIndex(std::int16_t unitIndex);

    // Size times the unit's factor, rounded half to even; 0 for an unknown unit.
    static double chunkSizeBySize(const std::string& sizeText, std::int16_t unitIndex);

    // The source length over the count, rounded up. Empty when the count is not a number.
    static std::optional<double> chunkSizeByCount(const std::string& countText,
                                                  double sourceLength);

    // The smallest multiple of factor not below x. The factor must not be 0.
    static double ceiling(double x, double factor = 1.0);
};

} // namespace qfs
