#pragma once

#include "engine/fs/destination.h"
#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/fs/leftovers.h"
#include "engine/copy/slicecopier.h"
#include "engine/result.h"
#include "engine/splitplan.h"
#include "engine/splitrequest.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

namespace qfs {

// What a split reports while it goes, in the order it happens. Every call has an empty
// default. How it ended is what Splitter::run returns.
class SplitObserver {
public:
    virtual ~SplitObserver() = default;

    // The split folder's name, before the folder is created.
    virtual void folderNameShown(const std::string& folderName);
    // The split is about to write its pieces; they will be in folderPath when it finishes.
    // Until then the folder has a temporary name.
    virtual void folderOpened(const std::string& folderPath);
    // A piece file is complete and closed.
    virtual void pieceWritten(const std::string& pieceName);
    // Bytes dealt with so far, of the total: the source's bytes copied, then, with recovery
    // pieces, the pieces' bytes once more as the recovery data is computed from them.
    virtual void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal);
};

class HashingCopier;

// What a finished split made.
struct SplitResult {
    SplitPlan plan;
    // The split folder, under its final name, and the pieces in it.
    std::string folderPath;
    std::uint64_t pieces = 0;
    // The checksum file in the folder; empty when the request asked for none.
    std::string checksumName;
    // The note for a recipient in the folder (NoteText); empty when the request asked for none.
    std::string noteName;
    // The recovery pieces written (plan.recovery's files); 0 when none were asked for or the
    // plan could not carry them (plan.recovery.reason says why).
    std::uint32_t recoveryPieces = 0;
    // What earlier runs cut short had left in the destination folder, removed before the split.
    Leftovers leftovers;
};

// Cuts a source file into numbered pieces in a new folder, beside it or in the destination
// folder the request names. Everything that can be checked is checked before the folder is
// created: the request, that the source opens as a regular file, and that the destination can
// be written and takes the names, the space, the inodes and the size of every piece. The request's numbers are taken as they are (see SplitRequest); the split is
// planned once (SplitPlan) and carried out as planned. The pieces are written into a new
// folder under a hidden temporary name (".qfs-<random>.part"), in the destination, that is
// renamed to "<name>_split" once all of them are complete, so the split folder never holds a partial
// piece. Before that rename, the pieces and the checksum
// file are flushed to the disk; after it, the folder that holds the new name: a split reported
// done outlasts a power cut. A split that fails or is stopped removes what it wrote, the folder
// included; so does one whose source changed its length meanwhile (SourceChanged).
//
// The pieces, the checksum file and the folder keep the source's permission bits (the folder
// adds search where reading is allowed) and get the source's group (see GroupAccess), so that
// they let in no one the source does not. While the split writes, it holds a lock on its hidden
// folder; before it starts, it removes from the destination what earlier runs that were cut
// short left there (Leftovers), which its result counts. A split folder already there is
// never merged into or replaced: the split is refused (FolderExists), and
// nextFreeFolderName() offers a name for another one beside it.
//
// With SplitRequest::writeChecksums the split also writes "<name>.sha256" into the folder after
// the last piece, in the format of sha256sum: a line per piece (the whole piece file, signature
// included), then a line for the original file under its own name. The hashes are taken from
// the bytes as they are copied, on another thread; the source is read once.
//
// Plain pieces (SplitRequest::format) are bare slices, "<name>.001", "<name>.002", …, copied
// like the signed ones but without the signature in front, so that the kernel's copy keeps the
// source's alignment; their checksum file lists the pieces alone, and the original's SHA-256
// goes into the note instead. With SplitRequest::wantsNote() the split writes the note for a
// recipient, "<name>.how-to-join.txt" (NoteText), after the checksum file: counted, named and
// removed on failure like it.
//
// With SplitRequest::recoveryPieces the split also writes the recovery files of its plan
// (SplitPlan::recovery, PAR 2.0) into the folder after the checksum file, computed from the
// pieces just written (still in the page cache) by a RecoveryCreator: they are checked for
// space, inodes and names with the rest before the folder is created, take the pieces'
// permission bits and the source's group, and go with everything else on failure or stop.
class Splitter {
public:
    // blockSize: bytes per read and write where the data goes through a buffer; kernelCopy:
    // whether long runs may be copied by the kernel (not with checksums, which read every byte).
    explicit Splitter(FileLayer& layer = FileLayer::system(),
                      std::size_t blockSize = SliceCopier::defaultBlockSize,
                      bool kernelCopy = true);

    // Runs every check of run() and works out the pieces, creating nothing: the plan, or the
    // failure run() would return (FolderExists when the split folder is there).
    Result<SplitPlan> preview(const SplitRequest& request);

    // Runs the whole split, telling the observer as it goes, and returns what it made or the
    // failure; after a failure the pieces and the folder it had made are gone again. A stop
    // request ends it with Cancelled.
    Result<SplitResult> run(const SplitRequest& request, SplitObserver& observer, std::stop_token stop = {});

    // The message shown when the split folder is already there.
    static const char* const folderExistsMessage;

    // The numbers nextFreeFolderName() tries, "<name>_split-2" up to "<name>_split-100": a
    // destination holding all of those wants tidying, not another number.
    static constexpr std::uint64_t firstFolderNumber = 2;
    static constexpr std::uint64_t lastFolderNumber = 100;

    // The first of "<name>_split-2", "<name>_split-3", … that nothing in the request's
    // destination is named (of any kind, links included), for a split beside one made before:
    // the caller passes it back in SplitRequest::folderName once the user agrees. Fails when
    // the folders cannot be opened or looked into, and with FolderExists (naming the plain
    // split folder) when every number is taken.
    Result<std::string> nextFreeFolderName(const SplitRequest& request);

private:
    struct Source;

    // Opens the source's folder and the destination.
    Error openFolder(const SplitRequest& request, Source& source);
    // Opens the source (and its folder unless it is open already) and checks the destination,
    // cutting `plan`. REQUIRES: plan has the request's names (SplitPlan::named).
    Error survey(const SplitRequest& request, Source& source, SplitPlan& plan);
    Error writePieces(const SplitRequest& request, const Source& source, const SplitPlan& plan,
                      SplitObserver& observer, const std::stop_token& stop, SplitResult& result);
    struct Slice {
        std::uint64_t offset;
        std::uint64_t length;
    };
    // Copies through `hashing` when it is given, through `copier` otherwise.
    Error writePiece(const Source& source, const Slice& slice, int folderFd, const std::string& folderPath,
                     const std::string& pieceName, PieceFormat format, mode_t mode, gid_t group,
                     SliceCopier* copier, HashingCopier* hashing, const SliceCopier::Advance& advance);
    // SourceChanged unless the source still has the length it was planned for.
    Error checkLength(const Source& source, std::uint64_t length);
    // Puts the folder's pieces, checksum file and names on the disk (syncfs).
    Error flushFolder(int folderFd, const std::string& folderPath);
    // Gives the filled temporary folder the split folder's name, never replacing anything of
    // that name (FolderExists when something took it meanwhile).
    Error publishFolder(int directoryFd, const std::string& workName, const SplitPlan& plan);
    // Also gives the original's SHA-256 in hex.
    Error writeChecksums(const SplitPlan& plan, HashingCopier& hashing, int folderFd, mode_t mode, gid_t group,
                         std::string& wholeSha256);
    // Writes the note for a recipient (NoteText) under the plan's note name.
    Error writeNote(const SplitPlan& plan, const std::string& text, int folderFd, mode_t mode, gid_t group);

    FileLayer& m_layer;
    std::size_t m_blockSize;
    bool m_kernelCopy;
};

} // namespace qfs
