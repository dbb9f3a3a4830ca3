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

// What a split of a given source will make.
struct SplitPlan {
    std::uint64_t sourceLength = 0;
    std::uint64_t chunkBytes = 0;     // data bytes of every piece but the last
    std::uint64_t pieceCount = 0;     // at least 1: an empty source gives one signature-only piece
    std::uint64_t lastPieceBytes = 0; // data bytes of the last piece
};

// The checks of a split request and the rules that turn it into a chunk size and a layout.
class SplitPlanner {
public:
    // The first check the request fails, with its fixed message and the control to focus.
    // A size or count that is not a number (NaN) fails like one below 1.
    static std::optional<CheckFailure> validate(const SplitRequest& request);

    // The unit index the split uses: a missing selection becomes "KiloBytes".
    static std::int16_t effectiveUnitIndex(std::int16_t unitIndex);

    // Size times the unit's factor, rounded half to even; 0 for an unknown unit.
    static double chunkSizeBySize(double size, std::int16_t unitIndex);

    // The source length over the count, rounded up.
    // REQUIRES: count >= 1.
    static double chunkSizeByCount(double count, double sourceLength);

    // The smallest multiple of factor not below x. The factor must not be 0.
    static double ceiling(double x, double factor = 1.0);

    // The pieces a split of a source of this length makes.
    // REQUIRES: validate(request) passed.
    static SplitPlan plan(const SplitRequest& request, std::uint64_t sourceLength);
};

} // namespace qfs
