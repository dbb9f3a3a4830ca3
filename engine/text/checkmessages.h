#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qfs {

// What a check found wrong with some pieces, worded for a person: one sentence, and when the
// sentence does not name them all, the names of every piece it stands for, to be shown one a
// line below it.
struct PieceFinding {
    std::string sentence;
    std::vector<std::string> names;
};

// The sentences that name the pieces a check found wrong, shared by the join's refusals and
// whoever shows a verification's report, so that both say the same. Up to namedLimit names
// go into the sentence: "movie.avi.0003 is damaged: its checksum differs.", "a, b and c are
// …". More are counted in the sentence, "12 pieces are damaged: their checksums differ.", and
// every one of them is listed in the finding's names.
class CheckMessages {
public:
    static constexpr std::size_t namedLimit = 5;

    // REQUIRES for all: names is not empty; total >= names.size() (the names may be the first
    // of a longer list, which only missing pieces can be: a hostile folder can have billions
    // of gaps, named up to a limit and counted beyond it).
    static PieceFinding damaged(const std::vector<std::string>& names);
    static PieceFinding withoutSignature(const std::vector<std::string>& names);
    static PieceFinding missing(const std::vector<std::string>& names, std::uint64_t total);
    static PieceFinding unlisted(const std::vector<std::string>& names);
    // Every piece matches its checksum, but their data together does not match the line for
    // the file they rebuild, named `stem`.
    static std::string joinedDiffers(const std::string& stem);
    // The same with a checksum file that has no lines for the pieces (a ".crc" file), named
    // `checksumFileName`: there is no telling which piece is damaged.
    static std::string wholeDiffers(const std::string& stem, const std::string& checksumFileName);
    // The pieces' data together has `length` bytes, but the checksum file gives the file they
    // rebuild, named `stem`, `expected` bytes.
    static std::string joinedLength(const std::string& stem, std::uint64_t length, std::uint64_t expected);

    // What recovery data can do for `lost` damaged or missing pieces. All of them: "it can be
    // rebuilt from the 2 recovery pieces (Repair).", "they can be …" for more than one, with
    // `action` (what rebuilds them: the window's button, the command line's command) in the
    // brackets; a clause to follow a finding's "; ". Fewer: the sentence "3 pieces are damaged
    // or missing, but only 2 can be rebuilt." (or "… but none can be rebuilt.").
    static std::string rebuildable(std::uint64_t lost, std::uint64_t recoveryPieces, std::string_view action);
    static std::string notAllRebuildable(std::uint64_t lost, std::uint64_t rebuildable);
    // Recovery data that cannot be used.
    static constexpr const char* recoveryUnusable = "The recovery pieces cannot be used: they are damaged.";
};

} // namespace qfs
