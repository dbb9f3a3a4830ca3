#pragma once

#include "engine/splitplan.h"
#include "engine/text/wording.h"

#include <cstdint>
#include <string>

namespace qfs {

// The plan line's words: what a split is about to cut and into what, or what a join is about
// to rebuild, with the sizes in the units of the progress line (ProgressText), worded by a
// Wording (by default the tool's English).
class PlanText {
public:
    // "movie.avi · 4.37 GB". The name is taken as it is.
    static std::string file(const std::string& name, std::uint64_t length, const Wording& words = Wording::english());

    // What the plan makes, led by an arrow:
    //   one piece          "→ 1 piece of 10 bytes"
    //   equal pieces       "→ 5 pieces of 874 MB"
    //   two pieces         "→ 2 pieces: 700 MB and 137 MB"
    //   a shorter last one "→ 7 pieces: 6 × 700 MB and one of 137 MB"
    // Sizes are the data each piece carries, without its signature. Followed by recovery().
    static std::string pieces(const SplitPlan& plan, const Wording& words = Wording::english());
    // The same, and where they go: "→ 7 pieces of 700 MB in /media/stick/movie.avi_split",
    // the recovery data after the folder.
    // The folder is taken as it is: the caller may shorten it ("~/movie.avi_split").
    static std::string piecesIn(const SplitPlan& plan, const std::string& folder,
                                const Wording& words = Wording::english());

    // What a join makes, and where: "→ movie.avi, 4.37 GB, in ~/Videos". The name and the
    // folder are taken as they are.
    static std::string joined(const std::string& name, std::uint64_t length, const std::string& folder,
                              const Wording& words = Wording::english());

    // An exact number of bytes, as the refusals of a plan give it: "1 byte", "4096 bytes".
    static std::string exactBytes(std::uint64_t bytes, const Wording& words = Wording::english());

    // What the plan's recovery data adds: " + 1 recovery piece of 700 MB", " + 2 recovery
    // pieces of 700 MB" (the bytes of the .par2 files per recovery piece), or, when some were
    // asked for and the pieces cannot carry them, " · " and the plan's reason. Empty when none
    // were asked for.
    static std::string recovery(const SplitPlan& plan, const Wording& words = Wording::english());

private:
    static std::string piecesAlone(const SplitPlan& plan, const Wording& words);
};

} // namespace qfs
