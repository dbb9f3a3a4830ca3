#pragma once

#include "engine/pieces/piecenaming.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qfs {

enum class SplitMode { BySize, ByCount };

// What a split is asked to do, in whole numbers: whoever takes the request from a person (the
// window's fields, the command line) has read and checked its text already.
struct SplitRequest {
    std::string sourceDirectory;
    std::string sourceFileName; // a plain name in sourceDirectory, exactly as listed; may carry blanks
    SplitMode mode = SplitMode::BySize;
    // BySize: the bytes of data in every piece but the last. ByCount: the number of pieces
    // wished for. At least 1; sizes from the source's length on make one piece, and so does 0.
    std::uint64_t amount = 0;
    bool writeChecksums = true; // also write "<name>.sha256" into the split folder
    // The folder the split folder is made in; empty: beside the source, in sourceDirectory.
    std::string destinationDirectory = {};
    // The split folder's name; empty: "<name>_split". Beside a split folder of that name, the
    // caller may pass the name Splitter::nextFreeFolderName() offers ("<name>_split-2"). A
    // plain name: no "/", not "." or "..", and not of the form of the engine's temporary names.
    std::string folderName = {};
    // Recovery pieces (PAR 2.0 volumes, "<name>.par2" and "<name>.vol<first>+<count>.par2")
    // written beside the pieces: any this many lost or damaged pieces can be rebuilt. 0 for
    // none, which is also what a request that does not say gets.
    std::uint32_t recoveryPieces = 0;
    // Signed pieces ("<name>.0000", …, each starting with the signature) or plain ones
    // ("<name>.001", …, bare slices that anyone can join by putting them back to back).
    PieceFormat format = PieceFormat::Signed;
    // Also write "<name>.how-to-join.txt", the commands a recipient without this program
    // checks and joins the pieces with. Unset: with plain pieces, not with signed ones.
    std::optional<bool> writeNote = {};
    bool wantsNote() const { return writeNote.value_or(format == PieceFormat::Plain); }
};

} // namespace qfs
