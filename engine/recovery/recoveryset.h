#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/recovery/md5.h"
#include "engine/recovery/par2format.h"
#include "engine/recovery/recoverybuffer.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qfs {

// A file of the recovery set as its index describes it, in the set's slice order.
struct RecoverySetFile {
    std::string name;
    Md5Digest fileId{};
    Md5Digest md5{};
    std::uint64_t length = 0;
    std::vector<Par2::SliceChecksum> slices;
    std::uint32_t firstSlice = 0;
};

// A recovery slice whose packet checksum is right: where its data lies.
struct RecoverySliceData {
    std::string volume;
    std::uint64_t dataOffset = 0;
    std::uint32_t exponent = 0;
};

// What the .par2 files of a folder say, checked: every packet used had the right length and
// MD5, all belong to one set, every name is a plain file name, every count is bounded.
struct RecoverySet {
    Md5Digest setId{};
    std::uint64_t sliceSize = 0;
    std::uint32_t sourceSlices = 0;
    // The most slices one file has: how many recovery slices make one "recovery piece".
    std::uint32_t slicesPerPiece = 0;
    std::vector<RecoverySetFile> files;
    // In exponent order, one per exponent.
    std::vector<RecoverySliceData> recovery;
};

enum class PieceCondition { Intact, Damaged, Missing };

struct PieceCheck {
    std::string name;
    PieceCondition condition = PieceCondition::Intact;
    // For each of the file's slices: whether it is on disk as recorded.
    std::vector<bool> sliceIntact;
};

// What a check of the pieces against the set found, counted for the messages:
// "it can be rebuilt from the 2 recovery pieces", "3 pieces are damaged or missing, but only
// 2 can be rebuilt".
struct RecoveryCheck {
    std::vector<PieceCheck> pieces;
    std::uint32_t lostSlices = 0;
    std::uint32_t usableRecoverySlices = 0;
    // Damaged and missing pieces.
    std::uint32_t lostPieces = 0;
    // Whole pieces the usable recovery slices amount to.
    std::uint32_t recoveryPieces = 0;
    // How many of the lost pieces can be rebuilt (all of them when canRepair).
    std::uint32_t rebuildablePieces = 0;
    bool canRepair() const { return lostSlices <= usableRecoverySlices; }
};

class RecoverySetReader {
public:
    explicit RecoverySetReader(FileLayer& layer) : m_layer(layer) {}

    // Reads every name in `names` that ends in ".par2" (others are ignored) from the opened
    // folder, links not followed. Damaged packets are skipped, as is anything of another set.
    // `found` is false when no .par2 file is among the names (nothing to do, no error).
    // Fails with RecoveryDamaged when the files hold no usable set, more than one set, or a set
    // whose index is incomplete or out of bounds. Progress counts the bytes of the .par2 files.
    Error read(int folderFd, const std::string& folderPath, const std::vector<std::string>& names,
               const RecoveryRun& run, RecoverySet& set, bool& found);

    // Checks the set's files in the folder: whole-file MD5 and length, and for a damaged file
    // each slice's MD5 and CRC-32 in place. Reads every file once (a damaged one twice); two
    // threads hash files in turn. A file named in `verified` (one the caller has just checked
    // against its own checksums) is taken as intact without a read when its length is right;
    // should it not be what the set describes after all, a piece rebuilt with it fails its MD5
    // and is not kept.
    Error check(int folderFd, const std::string& folderPath, const RecoverySet& set,
                const RecoveryRun& run, RecoveryCheck& result, const std::set<std::string>& verified = {});

    // True for a name the tool may create: not empty, no slash, not "." or "..", no control
    // character.
    static bool plainName(const std::string& name);

private:
    FileLayer& m_layer;
};

} // namespace qfs
