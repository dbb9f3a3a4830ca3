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
    // Sizes are the data each piece carries, without its signature. Followed by recovery().
    static std::string pieces(const SplitPlan& plan);
    // What the plan's recovery data adds: " + 1 recovery piece of 700 MB", " + 2 recovery
    // pieces of 700 MB" (the bytes of the .par2 files per recovery piece), or, when some were
    // asked for and the pieces cannot carry them, " · " and the plan's reason. Empty when none
    // were asked for.
    static std::string recovery(const SplitPlan& plan);

private:
    static std::string piecesAlone(const SplitPlan& plan);
};

} // namespace qfs
