#pragma once

#include "engine/pieces/piecenaming.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qfs {

// What a check of a folder of pieces found. Names are plain file names in the folder, in index
// order; a caller shows "All 1,024 pieces are intact." when intact() holds and there was a
// checksum file, says that there was nothing to verify against when there was none, and
// otherwise lists what is wrong (OutcomeText words it as the join words its refusals). All
// that would make a join of the folder refuse is among what is wrong.
struct VerifyReport {
    // The file the pieces rebuild; empty when the folder holds no set of pieces.
    std::string stem;
    // Signed pieces or plain ones (see PieceSet).
    PieceFormat format = PieceFormat::Signed;
    // The folder holds the set's checksum file, named here: "<stem>.sha256", or another form
    // (PieceChecksums). checksumFileListsPieces: it has lines for the pieces; a ".crc" file
    // vouches only for the pieces' data together (joinedDamaged) and the rebuilt file.
    bool hasChecksumFile = false;
    std::string checksumFileName;
    bool checksumFileListsPieces = true;
    // Pieces of the set that were examined: their signatures checked, and with a checksum file
    // every listed piece read and hashed.
    std::uint64_t piecesChecked = 0;
    // The rebuilt file was there (a regular file) and the checksum file has its line: it was
    // read and compared too; rebuiltDamaged says it differs.
    bool rebuiltChecked = false;
    bool rebuiltDamaged = false;
    // Every piece is there, signed, listed and matches its checksum, but their data together
    // differs from the checksum file's line for the original file.
    bool joinedDamaged = false;
    // With joinedDamaged, when the checksum file gives the original's length (a ".crc" file)
    // and the pieces' data has another: the two lengths.
    std::uint64_t joinedLength = 0;
    std::uint64_t expectedLength = 0;
    // Pieces that lack their signature or whose checksum differs.
    std::vector<std::string> damaged;
    // Those of them that lack their signature.
    std::vector<std::string> withoutSignature;
    // Pieces that are not there: gaps in the indices, and pieces the checksum file lists. A
    // hostile folder can have billions of gaps: at most PieceSet::listLimit of them are named,
    // and missingCount counts them all.
    std::vector<std::string> missing;
    std::uint64_t missingCount = 0;
    // Pieces the checksum file has no line for: nothing vouches for them.
    std::vector<std::string> unlisted;

    // The folder holds recovery data (.par2 files). recoveryUnusable: it cannot be used
    // (damaged, or of more than one set). Otherwise the pieces were checked against it too, and
    // what it found damaged or missing is among `damaged` and `missing`: without a checksum
    // file it is the only check of the pieces' contents.
    bool hasRecovery = false;
    bool recoveryUnusable = false;
    // Pieces damaged or missing as the recovery data sees them, how many of those it can
    // rebuild, and how many whole recovery pieces it holds that can be used.
    std::uint32_t lostPieces = 0;
    std::uint32_t rebuildablePieces = 0;
    std::uint32_t recoveryPieces = 0;
    // A repair would rebuild every piece the recovery data finds damaged or missing.
    bool canRebuild() const { return hasRecovery && !recoveryUnusable && lostPieces > 0 && rebuildablePieces == lostPieces; }

    bool intact() const
    {
        return damaged.empty() && missingCount == 0 && unlisted.empty() && !rebuiltDamaged && !joinedDamaged;
    }
};

// What a verification reports while it goes. Every call has an empty default. What it found
// is what Verifier::run returns.
class VerifyObserver {
public:
    virtual ~VerifyObserver() = default;

    // The folder being checked, before anything else happens.
    virtual void folderShown(const std::string& folderPath);
    // Bytes read so far, of the total.
    virtual void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal);
};

// Passes a run's reports on to another observer, keeping the last progress total: a run that
// goes on with more work after it reports that work's progress from there on.
class TotalKept : public VerifyObserver {
public:
    explicit TotalKept(VerifyObserver& inner) : m_inner(inner) {}
    void folderShown(const std::string& folderPath) override { m_inner.folderShown(folderPath); }
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_total = bytesTotal;
        m_inner.progress(bytesDone, bytesTotal);
    }
    std::uint64_t total() const { return m_total; }

private:
    VerifyObserver& m_inner;
    std::uint64_t m_total = 0;
};

} // namespace qfs
