#pragma once

#include <string>
#include <vector>

namespace qfs {

// The tool's own failure numbers, kept above the range the system uses for errno. An Error's
// code is either one of these or an errno value.
enum ErrorCode : int {
    // The request was refused by its checks; the description is the check's fixed message.
    CheckFailed = 1000,
    // A source, piece or output that should be a regular file is something else.
    NotRegularFile = 1001,
    // A piece is shorter than its signature, does not start with it, or fails its checksum.
    PieceDamaged = 1002,
    // The folder holds pieces of more than one file.
    MixedPieces = 1003,
    // 1004 is no longer given: sizes and counts are checked where they are typed.
    // A piece of the set is missing (a gap in the indices, or a piece the checksum file lists).
    MissingPiece = 1005,
    // Two pieces carry the same index.
    DuplicatePiece = 1006,
    // A piece, or a name the tool would write, is a symbolic link.
    SymbolicLink = 1007,
    // The file a join would write is a folder.
    OutputIsFolder = 1008,
    // The destination lacks the free space for all the pieces, or for the rebuilt file.
    NotEnoughSpace = 1009,
    // The destination lacks the free inodes for all the pieces, or for the rebuilt file.
    NotEnoughInodes = 1010,
    // A name the split or the join would create is longer than the destination allows.
    NameTooLong = 1011,
    // A piece, or the rebuilt file, would be larger than the destination's largest file.
    PieceTooLarge = 1012,
    // The source changed (got shorter) while it was being read.
    SourceChanged = 1013,
    // The user stopped the run; what it had written is gone again.
    Cancelled = 1014,
    // The checksum file cannot be used: malformed, too large, or naming files outside the folder.
    ChecksumFileInvalid = 1015,
    // The split folder is already there; the description is the fixed message for it.
    FolderExists = 1016,
    // A piece of the set has no line in the set's checksum file: nothing vouches for it.
    UnlistedPiece = 1017,
    // More pieces are damaged or missing than the recovery data can rebuild.
    RecoveryInsufficient = 1018,
    // The recovery data cannot be used, or a piece rebuilt from it fails its checksums.
    RecoveryDamaged = 1019,
    // A join into a folder of the user's choosing found a file of the rebuilt name there, and
    // was not asked to replace it.
    OutputExists = 1020,
};

// A failure as a value: the number, its description, and the path it concerns.
// A default-constructed Error means success.
struct Error {
    int code = 0;
    std::string description;
    std::string path;
    // The pieces a refusal stands for when they are more than its description names
    // (CheckMessages): every one of them, to be shown below the description, one a line.
    std::vector<std::string> names = {};

    bool failed() const { return code != 0; }
    bool is(ErrorCode own) const { return code == own; }

    // The text shown to the user. Fixed messages (a refused check, an existing split folder)
    // are shown as they are; every other failure as "number: description", with the file or
    // folder it concerns (NameText::printable's form of it): after ": " when the description is
    // a system's phrase ("2: No such file or directory: /a/b"); inside the sentence when it is
    // one of the engine's, which end in a full stop: "1005: b.0042 is missing (in /a).", the
    // folder only when the sentence names the file itself.
    std::string message() const;

    static Error fromErrno(int err, std::string path);
    // The end of a run the user stopped; `path` is the folder or file the run was writing.
    static Error cancelled(std::string path = {});
    // The same failure, but a Cancelled one names `stopPath`: the copiers stop without a path,
    // and a stopped run names what it works on (its folder), not the file it was at.
    Error withStopPath(const std::string& stopPath) const;
};

} // namespace qfs
