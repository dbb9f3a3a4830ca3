#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qfs {

// The five bytes at the start of every piece file.
inline constexpr std::string_view pieceSignature = "Quarb";

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
    // A piece's name taken apart: "movie.avi.0003" is piece 3 of "movie.avi", the stem, which
    // is also the name of the file the pieces rebuild.
    struct Parsed {
        std::string_view stem;
        std::uint64_t index;
    };
    // Takes apart a name of the piece pattern: a stem of at least one character, a dot, and
    // four or more ASCII digits whose value fits 64 bits. Empty for every other name.
    static std::optional<Parsed> parse(std::string_view fileName);
};

} // namespace qfs
