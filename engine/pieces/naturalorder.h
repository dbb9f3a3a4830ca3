#pragma once

#include <string_view>

namespace qfs {

// The order in which the tool lists file names: letters compare without regard to case and
// a run of digits compares by its value, so "movie.avi.9999" comes before "movie.avi.10000".
// Names that differ only in case or leading zeros still get a fixed order.
class NaturalOrder {
public:
    // Negative, zero or positive as a sorts before, with or after b.
    static int compare(std::string_view a, std::string_view b);
    static bool less(std::string_view a, std::string_view b) { return compare(a, b) < 0; }
};

} // namespace qfs
