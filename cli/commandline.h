#pragma once

#include "command.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>
#include <variant>

namespace qfs::cli {

// The arguments of `quarb`, read with CLI11:
//   quarb split FILE (--size SIZE | --count N) [--no-checksums] [--recovery N] [--plain] [--note|--no-note] [-q|--quiet]
//   quarb join FOLDER [--repair] [-q|--quiet]
//   quarb verify FOLDER [-q|--quiet]
//   quarb repair FOLDER [-q|--quiet]
//   quarb --help | --version, and --help after each command.
class CommandLine {
public:
    // Either the command to run, or the exit status when there is nothing to run: help or the
    // version was printed to `out` (Done), or one line saying what is wrong, pointing to
    // --help, was printed to `err` (WrongUsage).
    static std::variant<Command, ExitStatus> parse(int argc, const char* const* argv,
                                                   std::ostream& out, std::ostream& err);

    // SIZE: digits with an optional fraction ("1.5"), then an optional unit: K, M, G or T,
    // powers of 1024 as the window's units and the progress line's "MB", optionally followed by
    // "B" or "iB" ("700M", "700MB", "700MiB" are one size), or "B" alone for bytes; letters in
    // either case. Nothing else: no sign, no exponent, no blanks. The result is in whole bytes,
    // rounded to nearest (half to even, as the window rounds), and sizes beyond
    // `largestAmount` count as `largestAmount`, since every size from the file's length on
    // gives one piece. Empty when the text is not such a size or comes to less than one byte.
    static std::optional<std::uint64_t> sizeInBytes(std::string_view text);

    // COUNT: decimal digits only, at least 1; counts beyond `largestAmount` count as that.
    // "1E+20", "2.0" and "+3" are refused: a script that means a count writes it in digits.
    static std::optional<std::uint64_t> pieceCount(std::string_view text);

    // RECOVERY: decimal digits only, 0 included; counts beyond `largestRecovery` count as that
    // (more recovery pieces than pieces are as many as pieces).
    static std::optional<std::uint32_t> recoveryCount(std::string_view text);
    static constexpr std::uint32_t largestRecovery = 1u << 16;

    // 2^63: more bytes than any file can hold, and more pieces than any file can be cut into.
    static constexpr std::uint64_t largestAmount = std::uint64_t(1) << 63;
};

} // namespace qfs::cli
