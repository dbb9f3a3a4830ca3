#pragma once

#include "engine/splitplan.h"

#include <cstdint>
#include <string>

namespace qfs {

// The plan line's words: what a split is about to cut and into what, with the sizes in the
// units of the progress line (ProgressText).
class PlanText {
public:
    // "movie.avi · 4.37 GB". The name is taken as it is.
    static std::string file(const std::string& name, std::uint64_t length);

    // What the plan makes, led by an arrow:
    //   one piece          "→ 1 piece of 10 bytes"
    //   equal pieces       "→ 5 pieces of 874 MB"
    //   two pieces         "→ 2 pieces: 700 MB and 137 MB"
    //   a shorter last one "→ 7 pieces: 6 × 700 MB and one of 137 MB"
    // Sizes are the data each piece carries, without its signature.
    static std::string pieces(const SplitPlan& plan);
};

} // namespace qfs
