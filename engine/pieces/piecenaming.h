#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qfs {

// The five bytes at the start of every signed piece file.
inline constexpr std::string_view pieceSignature = "Quarb";

// How pieces are made. Signed: the signature, then the slice, named "<name>.0000", "<name>.0001",
// … Plain: the bare slice, named "<name>.001", "<name>.002", …, which anyone can join by
// putting the files back to back (and which other tools' numbered sets are too).
enum class PieceFormat { Signed, Plain };

// Names of the split folder, the pieces, and the file a join rebuilds.
class PieceNaming {
public:
    // "movie.avi" -> "movie.avi_split" (blanks around the file name removed).
    static std::string splitFolderName(std::string_view sourceFileName);
    // The name of a split folder made beside one of the plain name: "movie.avi", 2 ->
    // "movie.avi_split-2".
    static std::string numberedSplitFolderName(std::string_view sourceFileName, std::uint64_t number);
    // The split folder beside the source; no separator is doubled.
    static std::string splitFolderPath(std::string_view sourceDirectory,
                                       std::string_view sourceFileName);
    // The directory and a name in it, joined by one "/" unless the directory ends in one;
    // an empty directory is the current one.
    static std::string joinPath(std::string_view directory, std::string_view name);
    // "movie.avi", 3 -> "movie.avi.0003"; indices from 10000 on simply widen.
    static std::string pieceFileName(std::string_view sourceFileName, std::uint64_t index);
    // "movie.avi" -> "movie.avi.how-to-join.txt", the note for a recipient beside the pieces.
    static std::string noteFileName(std::string_view sourceFileName);
    static constexpr std::string_view noteSuffix = ".how-to-join.txt";
    // The name of the piece of this number in a set of the format: "movie.avi", 3 ->
    // "movie.avi.0003" (signed) or "movie.avi.003" (plain: three digits, wider from 1000 on).
    static std::string pieceFileName(std::string_view sourceFileName, std::uint64_t number, PieceFormat format);
    // The digits of the format's shortest piece names, and the number of its first piece as
    // this program writes it (plain sets of other tools may start at 0 too).
    static std::size_t minimumDigits(PieceFormat format);
    static std::uint64_t firstNumber(PieceFormat format);
    // The number of the first piece whose name is `digits` + 1 characters wide (where the
    // names of the format widen next); `digits` at least minimumDigits(format).
    static std::uint64_t firstWiderNumber(std::size_t digits);
    // A piece's name taken apart: "movie.avi.0003" is piece 3 of "movie.avi", the stem, which
    // is also the name of the file the pieces rebuild.
    struct Parsed {
        std::string_view stem;
        std::uint64_t index;
    };
    // Takes apart a name of the piece pattern: a stem of at least one character, a dot, and
    // `minimum` (four unless told) or more ASCII digits whose value fits 64 bits. Empty for
    // every other name.
    static std::optional<Parsed> parse(std::string_view fileName, std::size_t minimum = signedDigits);
    // The same with the digits the format's names have at least.
    static std::optional<Parsed> parse(std::string_view fileName, PieceFormat format);
    // The digits of the index in a name parse() takes, 0 for any other name.
    static std::size_t indexDigits(std::string_view fileName);

    static constexpr std::size_t signedDigits = 4;
    static constexpr std::size_t plainDigits = 3;
};

} // namespace qfs
