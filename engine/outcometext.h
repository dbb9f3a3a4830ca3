#pragma once

#include "verifyobserver.h"

#include <cstdint>
#include <string>

namespace qfs {

// The one-line report of a finished run, in the units of the progress line (ProgressText).
// Names appear in NameText::printable's form.
class OutcomeText {
public:
    // "7 pieces written to movie.avi_split in 2.1 s".
    static std::string split(std::uint64_t pieces, const std::string& folderName, double seconds);
    // "movie.avi rebuilt, 4.37 GB"; an empty name (the folder held no pieces) gives
    // "The folder holds no pieces; nothing was joined."
    static std::string join(const std::string& rebuiltName, std::uint64_t length);

    // What a verification found, in a line: "All 1,024 pieces are intact.", "No checksum file
    // to verify against; 12 pieces carry the signature, with no gaps.", or the counts of what
    // is wrong ("Pieces not intact: 2 damaged, 1 missing.").
    static std::string verify(const VerifyReport& report);
    // What is wrong, by name, a sentence a line (CheckMessages'); empty when intact.
    static std::string verifyFindings(const VerifyReport& report);
};

} // namespace qfs
