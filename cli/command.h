#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qfs::cli {

// The exit statuses of `quarb`. A run stopped by a signal exits with 128 + the signal's number
// (130 after Ctrl+C), once what it wrote has been removed again.
enum ExitStatus : int {
    Done = 0,
    WrongUsage = 1,
    // The work failed or was refused; the message names the file.
    WorkFailed = 2,
    // Damaged or missing pieces were found (and, for a repair, could not all be rebuilt:
    // nothing was written then).
    PiecesDamaged = 3,
    SignalBase = 128,
};

// One command line, parsed and checked: every number is already a number.
struct Command {
    enum class Kind { Split, Join, Verify, Repair };
    enum class PieceRule { BySize, ByCount };

    Kind kind = Kind::Split;
    // The file to split, or the folder to join, verify or repair, as given.
    std::string path;
    PieceRule rule = PieceRule::BySize;
    // Whole bytes (at least 1) for BySize; a whole number of pieces (at least 1) for ByCount.
    std::uint64_t amount = 0;
    bool writeChecksums = true;
    // The folder the split folder or the rebuilt file goes into; empty: beside the file, or
    // in the pieces folder.
    std::string output;
    // A join may replace a file of the rebuilt name in the output folder.
    bool force = false;
    // Split: the recovery pieces to write beside the pieces.
    std::uint32_t recoveryPieces = 1;
    // Split: plain pieces rather than signed ones, and the note for a recipient (unset: with
    // plain pieces only).
    bool plainPieces = false;
    std::optional<bool> writeNote;
    // Join: rebuild damaged and missing pieces from the recovery pieces first.
    bool repair = false;
    bool quiet = false;
};

} // namespace qfs::cli
