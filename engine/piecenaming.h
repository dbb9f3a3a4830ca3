#pragma once

#include <cstdint>
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
    // The split folder beside the source; no separator is doubled.
    static std::string splitFolderPath(std::string_view sourceDirectory,
                                       std::string_view sourceFileName);
    // The directory and a name in it, joined by one "/" unless the directory ends in one;
    // an empty directory is the current one.
    static std::string joinPath(std::string_view directory, std::string_view name);
    // "movie.avi", 3 -> "movie.avi.0003"; indices from 10000 on simply widen.
    static std::string pieceFileName(std::string_view sourceFileName, std::uint64_t index);
    // True when the name ends in exactly four ASCII digits and leaves a rebuilt name.
    static bool isPieceName(std::string_view fileName);
    // The first piece's name less its dot and four digits: "movie.avi.0000" -> "movie.avi".
    static std::string rebuiltFileName(std::string_view firstPieceName);
};

} // namespace qfs
