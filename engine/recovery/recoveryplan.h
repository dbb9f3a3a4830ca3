#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qfs {

// A file the recovery data protects: a piece as it is on disk, signature included.
struct RecoveryPiece {
    std::string name;
    std::uint64_t size = 0;
};

// One .par2 file to write. The index (<name>.par2) holds no recovery slices; a volume
// (<name>.vol<first>+<count>.par2) holds the recovery slices of exponents first..first+count-1.
struct RecoveryFile {
    std::string name;
    std::uint64_t size = 0;
    std::uint32_t firstExponent = 0;
    std::uint32_t sliceCount = 0;
    // Whether the file repeats the main, file description and slice checksum packets, so that
    // it can repair on its own when the index is lost.
    bool holdsIndex = false;
};

// Why a split gets no recovery data.
enum class RecoveryRefusal {
    None,
    // No recovery pieces were asked for, or there are no pieces.
    NoneWanted,
    // A piece is empty: it has no slice to protect.
    EmptyPiece,
    // More source slices than the format allows.
    TooManySlices,
    // The pieces are too small to hold the recovery index or a recovery slice within the
    // size of the largest piece.
    PiecesTooSmall,
    // A piece's name is one the recovery data may not carry (RecoverySetReader::plainName():
    // a control character): a repair would refuse it.
    UnusableName,
};

// The layout of a set's recovery files.
//
// Every .par2 file is at most as large as the largest piece, so that it fits wherever a piece
// fits. A slice of a whole piece cannot: its packet adds a header. So each piece is cut into
// two slices (slice size: half the largest piece, rounded up to a multiple of 4), each volume
// holds one recovery slice, and one recovery piece is two volumes of a bit more than half a
// piece each. The index must fit into one file of that size too; that is the floor for small
// pieces (about 260 bytes of index per piece plus its name).
struct RecoveryPlan {
    RecoveryRefusal refusal = RecoveryRefusal::None;
    // A sentence for the plan line when refused; empty otherwise.
    std::string reason;

    std::uint64_t sliceSize = 0;
    std::uint32_t slicesPerPiece = 0;
    std::uint32_t sourceSlices = 0;
    std::uint32_t recoveryPieces = 0;
    std::uint32_t recoverySlices = 0;
    // The index first, then the volumes in exponent order.
    std::vector<RecoveryFile> files;
    std::uint64_t totalBytes = 0;

    bool possible() const { return refusal == RecoveryRefusal::None; }
};

// How a set's pieces slice up: two slices for the largest piece, and the format's limits.
inline constexpr std::uint32_t recoverySlicesPerPiece = 2;
// The text of the creator packet every .par2 file carries.
inline constexpr std::string_view recoveryCreator = "Created by quarb, the file splitter.";

// Lays out the recovery files for `pieces` (in any order) so that any `recoveryPieces`
// pieces may be lost or damaged and rebuilt. Reads nothing; the sizes are exact.
// `baseName` is the name the .par2 files start with (the original file's name).
RecoveryPlan planRecovery(std::string_view baseName, const std::vector<RecoveryPiece>& pieces,
                          std::uint32_t recoveryPieces);

} // namespace qfs
