#pragma once

#include "engine/text/checkmessages.h"
#include "engine/fs/leftovers.h"
#include "engine/repairer.h"
#include "engine/verifyobserver.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qfs {

// The one-line report of a finished run, in the units of the progress line (ProgressText).
// Names appear in NameText::printable's form.
class OutcomeText {
public:
    // What a split made and what the sender is to send: "7 pieces, their checksum file and 1
    // recovery piece written to movie.avi_split in 2.1 s — send the whole folder.", leaving out
    // what it did not write ("7 pieces written to …").
    static std::string split(std::uint64_t pieces, bool checksumFile, std::uint64_t recoveryPieces,
                             const std::string& folderName, double seconds);
    // What ends every split's line: the recipient needs every file of the folder.
    static constexpr const char* sendFolder = " \u2014 send the whole folder.";
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
    // finding for each kind of fault; empty when intact. With recovery data, what it can
    // rebuild follows (CheckMessages::rebuildable(), `repairAction` naming what rebuilds):
    // "movie.avi.0003 is missing; it can be rebuilt from the 2 recovery pieces (Repair).", or
    // a finding of its own when it cannot rebuild them all or cannot be used.
    static std::vector<PieceFinding> verifyFindings(const VerifyReport& report,
                                                    std::string_view repairAction = "Repair");

    // What a repair did: "movie.avi.0003 rebuilt; all 1,024 pieces are intact.", "3 pieces
    // rebuilt; …", "All 1,024 pieces are intact; nothing to rebuild."; when pieces are still
    // damaged or missing, what was rebuilt and that the folder holds no recovery pieces (or
    // that some are still wrong: the findings name them).
    static std::string repair(const RepairResult& result);
    static constexpr const char* noPiecesRepaired = "The folder holds no pieces; nothing was repaired.";

    // The outcome line of a split or a join, with what it removed before it started, left by
    // earlier runs that were cut short: "...; removed an unfinished split of 3.2 GB left by an
    // earlier run". The line alone when nothing was removed.
    static std::string withLeftovers(const std::string& line, const Leftovers& removed);
};

} // namespace qfs
