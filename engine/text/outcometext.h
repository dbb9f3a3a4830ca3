#pragma once

#include "engine/text/checkmessages.h"
#include "engine/fs/leftovers.h"
#include "engine/verifyobserver.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qfs {

// The one-line report of a finished run, in the units of the progress line (ProgressText).
// Names appear in NameText::printable's form.
class OutcomeText {
public:
    // "7 pieces written to movie.avi_split in 2.1 s".
    static std::string split(std::uint64_t pieces, const std::string& folderName, double seconds);
    // "movie.avi rebuilt, 4.37 GB"; an empty name (the folder held no pieces) gives
    // noPiecesJoined.
    static std::string join(const std::string& rebuiltName, std::uint64_t length);
    // What a join or a verification of a folder without pieces says.
    static constexpr const char* noPiecesJoined = "The folder holds no pieces; nothing was joined.";
    static constexpr const char* noPiecesVerified = "The folder holds no pieces; nothing was verified.";

    // What a verification found, in a line: "All 1,024 pieces are intact.", "No checksum file
    // to verify against; 12 pieces carry the signature, with no gaps.", or the counts of what
    // is wrong ("Pieces not intact: 2 damaged, 1 missing.").
    static std::string verify(const VerifyReport& report);
    // What is wrong, by name, in the words of the join's refusals (CheckMessages'), one
    // finding for each kind of fault; empty when intact.
    static std::vector<PieceFinding> verifyFindings(const VerifyReport& report);

    // The outcome line of a split or a join, with what it removed before it started, left by
    // earlier runs that were cut short: "...; removed an unfinished split of 3.2 GB left by an
    // earlier run". The line alone when nothing was removed.
    static std::string withLeftovers(const std::string& line, const Leftovers& removed);
};

} // namespace qfs
