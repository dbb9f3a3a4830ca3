#include "engine/splitter.h"

#include "engine/fs/atomicfile.h"
#include "engine/pieces/checksumfile.h"
#include "engine/fs/groupaccess.h"
#include "engine/copy/hashingcopier.h"
#include "engine/fs/leftovers.h"
#include "engine/pieces/piecechecksums.h"
#include "engine/pieces/piecenaming.h"
#include "engine/fs/tempname.h"
#include "engine/text/notetext.h"
#include "engine/text/plantext.h"
#include "engine/recovery/digestfollower.h"
#include "engine/recovery/recoverycreator.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>
#include <optional>

namespace qfs {

void SplitObserver::folderNameShown(const std::string&) {}
void SplitObserver::folderOpened(const std::string&) {}
void SplitObserver::pieceWritten(const std::string&) {}
void SplitObserver::progress(std::uint64_t, std::uint64_t) {}

namespace {


// How many of the newest pieces a failed or stopped split lets go of in the background.
constexpr std::size_t piecesClosedInBackground = 64;
constexpr mode_t readBits = 0444;
constexpr mode_t ownerAll = 0700;

// A folder that lets in exactly those who may read the source, and its owner.
mode_t folderModeFor(mode_t sourceMode)
{
    const mode_t readers = sourceMode & readBits;
    return ownerAll | readers | (readers >> 2); // r -> r-x
}

// Pieces carry the source's read and write bits, never more.
mode_t pieceModeFor(mode_t sourceMode)
{
    return sourceMode & (permissionBits & ~mode_t(0111));
}

// The size of the checksum file of a split: a line per piece, then, for signed pieces, the
// original's line (plain pieces' file lists the pieces alone, so that sha256sum -c passes on a
// good set before the join). Piece names widen by a digit at every power of ten.
std::uint64_t checksumFileSize(const SplitPlan& plan)
{
    constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t size = plan.format == PieceFormat::Signed ? ChecksumFile::lineSize(plan.sourceFileName) : 0;
    const std::uint64_t firstNumber = PieceNaming::firstNumber(plan.format);
    std::uint64_t first = 0;
    std::size_t digits = PieceNaming::minimumDigits(plan.format);
    while (first < plan.pieceCount) {
        // The first index written with one digit more.
        const std::uint64_t widthEnd = PieceNaming::firstWiderNumber(digits) - firstNumber;
        const std::uint64_t end = std::min(plan.pieceCount, widthEnd);
        const std::uint64_t line = ChecksumFile::lineSize(plan.pieceName(first));
        if (end - first > (most - size) / line)
            return most; // absurd counts are refused anyway
        size += (end - first) * line;
        first = end;
        ++digits;
    }
    return size;
}

// The note for this plan, with a stand-in for the original's checksum where the note will
// have it: as long as the real one.
std::string noteFor(const SplitPlan& plan, bool checksums, const std::string& wholeSha256)
{
    return NoteText::howToJoin(plan, NoteText::Facts{checksums, checksums ? wholeSha256 : std::string()});
}

} // namespace

struct Splitter::Source {
    explicit Source(FileLayer& layer) : directory(layer, -1), file(layer, -1), destination(layer) {}

    FileHandle directory;
    FileHandle file;
    std::string path;
    struct stat info {};
    // The folder the split folder goes into: the source's own unless the request names another.
    Destination destination;
};

namespace {

// Whether a split folder's name the caller chose is a plain name of the destination, and none
// that the engine takes for its own work (which a later run would tidy away).
bool plainFolderName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
           && name.find('\0') == std::string::npos && !TempName::isOne(name, TempName::folderSuffix)
           && !TempName::isOne(name, TempName::fileSuffix);
}

} // namespace

const char* const Splitter::folderExistsMessage =
    "Split folder already exist. Please delete the folder and then run the splitter again.";

Splitter::Splitter(FileLayer& layer, std::size_t blockSize, bool kernelCopy)
    : m_layer(layer), m_blockSize(blockSize), m_kernelCopy(kernelCopy)
{
}

Result<SplitPlan> Splitter::preview(const SplitRequest& request)
{
    Source source(m_layer);
    SplitPlan plan = SplitPlan::named(request);
    if (Error error = survey(request, source, plan); error.failed())
        return error;
    return plan;
}

Result<SplitResult> Splitter::run(const SplitRequest& request, SplitObserver& observer, std::stop_token stop)
{
    Error error;
    SplitResult result;
    try {
        result.plan = SplitPlan::named(request);
        observer.folderNameShown(result.plan.folderName);
        Source source(m_layer);
        error = openFolder(request, source);
        if (!error.failed()) {
            // Before the check of the free space, which what they hold would count against.
            result.leftovers = Leftovers::removeFrom(m_layer, source.destination.fd());
            error = survey(request, source, result.plan);
        }
        if (!error.failed())
            error = writePieces(request, source, result.plan, observer, stop, result);
    } catch (const std::bad_alloc&) {
        error = Error::fromErrno(ENOMEM, PieceNaming::joinPath(request.sourceDirectory, request.sourceFileName));
    }
    if (error.failed())
        return error;
    return result;
}

Error Splitter::openFolder(const SplitRequest& request, Source& source)
{
    const std::string& directoryPath = request.sourceDirectory.empty() ? std::string(".")
                                                                       : request.sourceDirectory;
    source.directory = FileHandle(m_layer, m_layer.openAt(AT_FDCWD, directoryPath.c_str(),
                                                          O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!source.directory.isOpen())
        return Error::fromErrno(errno, request.sourceDirectory);
    if (request.destinationDirectory.empty())
        return source.destination.take(source.directory.fd(), request.sourceDirectory);
    return source.destination.open(request.destinationDirectory);
}

Result<std::string> Splitter::nextFreeFolderName(const SplitRequest& request)
{
    return runToResult<std::string>(request.sourceDirectory, [&](std::string& name) {
        Source source(m_layer);
        if (Error e = openFolder(request, source); e.failed())
            return e;
        const std::string& folderPath = source.destination.path();
        for (std::uint64_t number = firstFolderNumber; number <= lastFolderNumber; ++number) {
            name = PieceNaming::numberedSplitFolderName(request.sourceFileName, number);
            struct stat existing {};
            if (m_layer.fstatAt(source.destination.fd(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
                continue;
            if (errno != ENOENT)
                return Error::fromErrno(errno, PieceNaming::joinPath(folderPath, name));
            return Error{};
        }
        return Error{FolderExists, folderExistsMessage,
                     PieceNaming::joinPath(folderPath, PieceNaming::splitFolderName(request.sourceFileName))};
    });
}

Error Splitter::survey(const SplitRequest& request, Source& source, SplitPlan& plan)
{
    if (!source.directory.isOpen()) {
        if (Error e = openFolder(request, source); e.failed())
            return e;
    }
    const Destination& destination = source.destination;

    // The split folder must not be there yet.
    const std::string& folderPath = plan.folderPath;
    if (!plainFolderName(plan.folderName))
        return Error::fromErrno(EINVAL, folderPath);
    struct stat existing {};
    if (m_layer.fstatAt(destination.fd(), plan.folderName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return Error{FolderExists, folderExistsMessage, folderPath};

    // The source is opened by its exact listed name. O_NONBLOCK keeps a FIFO from hanging
    // the open; anything but a regular file is refused right after.
    source.path = PieceNaming::joinPath(request.sourceDirectory, request.sourceFileName);
    source.file = FileHandle(m_layer, m_layer.openAt(source.directory.fd(), request.sourceFileName.c_str(),
                                                     O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!source.file.isOpen())
        return Error::fromErrno(errno, source.path);
    if (m_layer.fstat(source.file.fd(), &source.info) != 0)
        return Error::fromErrno(errno, source.path);
    if (!S_ISREG(source.info.st_mode))
        return Error{NotRegularFile, "Not a regular file", source.path};

    plan.cut(request, std::uint64_t(source.info.st_size));

    if (Error e = destination.checkWritable(); e.failed())
        return e;

    // Names: the folder, the widest piece name (the last), and the checksum file.
    std::size_t longest = std::max(plan.folderName.size(), plan.pieceName(plan.pieceCount - 1).size());
    if (request.writeChecksums)
        longest = std::max(longest, plan.checksumName.size());
    longest = std::max(longest, plan.noteName.size());
    for (const RecoveryFile& file : plan.recovery.files)
        longest = std::max(longest, file.name.size());
    if (destination.longestName() > 0 && longest > destination.longestName()) {
        return Error{NameTooLong,
                     "The split needs names of " + std::to_string(longest) +
                         " characters; this folder allows " + std::to_string(destination.longestName()),
                     folderPath};
    }

    const std::uint64_t largestPiece = plan.headerBytes() + std::max(plan.chunkBytes, plan.lastPieceBytes);
    if (!destination.holdsFileOf(largestPiece)) {
        return Error{PieceTooLarge,
                     "A piece would be " + PlanText::exactBytes(largestPiece) +
                         "; files on this drive hold at most " + PlanText::exactBytes(Destination::fatLargestFile),
                     folderPath};
    }

    // Inodes: the folder, every piece, the checksum file and the recovery files. Some file
    // systems (btrfs) have no fixed number of inodes and report none.
    const std::uint64_t inodes =
        plan.pieceCount + 1 + (request.writeChecksums ? 1 : 0) + (plan.noteName.empty() ? 0 : 1) +
        plan.recovery.files.size();
    if (destination.countsInodes() && inodes > destination.freeInodes()) {
        return Error{NotEnoughInodes,
                     "The split needs " + std::to_string(inodes) + " new files; the file system has room for " +
                         std::to_string(destination.freeInodes()),
                     folderPath};
    }

    const std::uint64_t checksumBytes =
        request.writeChecksums ? checksumFileSize(plan) : 0;
    if (checksumBytes > ChecksumFile::maximumSize) {
        return Error{ChecksumFileInvalid,
                     "The checksum file would have " + PlanText::exactBytes(checksumBytes) + ", more than the " +
                         std::to_string(ChecksumFile::maximumSize) +
                         " a checksum file may have: split into fewer pieces, or without checksums",
                     PieceNaming::joinPath(folderPath, plan.checksumName)};
    }

    // Space: every piece takes whole blocks. Holes of a sparse source stay holes.
    const std::uint64_t block = destination.block();
    const std::uint64_t signature = plan.headerBytes();
    std::uint64_t needed = (plan.pieceCount - 1) * roundUp(signature + plan.chunkBytes, block) +
                           roundUp(signature + plan.lastPieceBytes, block);
    if (SliceCopier::mayBeSparse(source.info)) {
        const std::uint64_t allocated = std::uint64_t(source.info.st_blocks) * 512;
        needed = std::min(needed, allocated + plan.pieceCount * block);
    }
    needed += block; // the folder
    needed += roundUp(checksumBytes, block);
    if (!plan.noteName.empty())
        needed += roundUp(noteFor(plan, request.writeChecksums, std::string(Sha256::hexSize, '0')).size(), block);
    for (const RecoveryFile& file : plan.recovery.files)
        needed += roundUp(file.size, block);
    const std::uint64_t available = destination.available();
    if (needed > available) {
        return Error{NotEnoughSpace,
                     "The pieces need " + PlanText::exactBytes(needed) + "; " + PlanText::exactBytes(available) +
                         " are free",
                     folderPath};
    }

    return {};
}

Error Splitter::writePieces(const SplitRequest& request, const Source& source, const SplitPlan& plan,
                            SplitObserver& observer, const std::stop_token& stop, SplitResult& result)
{
    const std::string& folderPath = plan.folderPath;
    const int directoryFd = source.destination.fd();

    // The pieces go into a folder under a temporary name in the destination, which takes the
    // split folder's name only once every piece and the checksum file are complete: a split
    // cut short by a crash or a kill leaves no folder of that name with a partial piece in it.
    // While it is open, the folder is locked as this run's: a run that finds it unlocked takes
    // it for the leftover of a run that was killed, and removes it.
    std::string workName;
    FileHandle folder(m_layer, -1);
    const int workError = TempName::makeFresh(TempName::folderSuffix, [&](const std::string& name) {
        if (m_layer.mkdirAt(directoryFd, name.c_str(), folderModeFor(source.info.st_mode)) != 0)
            return false;
        folder = FileHandle(m_layer, m_layer.openAt(directoryFd, name.c_str(),
                                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
        if (!folder.isOpen()) {
            const int err = errno;
            m_layer.unlinkAt(directoryFd, name.c_str(), AT_REMOVEDIR);
            errno = err;
            return false;
        }
        if (Leftovers::claim(m_layer, directoryFd, name.c_str(), folder.fd()))
            return true;
        // Taken for a leftover the moment it appeared: whoever took it removes it.
        folder = FileHandle(m_layer, -1);
        errno = EEXIST;
        return false;
    }, workName);
    if (workError != 0)
        return Error::fromErrno(workError, folderPath);

    // From here on a failure removes what this run made: the pieces, then the folder. The
    // newest pieces are held open while their names go, and closed in the background: freeing
    // their cached pages can take longer than the rest of the cleanup.
    std::uint64_t made = 0;
    bool checksumsMade = false;
    bool noteMade = false;
    bool recoveryMade = false;
    std::optional<DigestFollower> follower;
    const auto undo = [&](Error error) {
        follower.reset();
        std::vector<int> held;
        if (folder.isOpen()) {
            for (std::uint64_t index = made; index-- > 0;) {
                const std::string name = plan.pieceName(index);
                if (held.size() < piecesClosedInBackground) {
                    const int fd = m_layer.openAt(folder.fd(), name.c_str(),
                                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
                    if (fd >= 0)
                        held.push_back(fd);
                }
                m_layer.unlinkAt(folder.fd(), name.c_str());
            }
            if (checksumsMade)
                m_layer.unlinkAt(folder.fd(), plan.checksumName.c_str());
            if (noteMade)
                m_layer.unlinkAt(folder.fd(), plan.noteName.c_str());
            for (std::size_t i = 0; recoveryMade && i < plan.recovery.files.size(); ++i)
                m_layer.unlinkAt(folder.fd(), plan.recovery.files[i].name.c_str());
        }
        m_layer.unlinkAt(directoryFd, workName.c_str(), AT_REMOVEDIR);
        m_layer.closeInBackground(std::move(held));
        return error;
    };
    if (Error e = GroupAccess::share(m_layer, folder.fd(), source.info.st_gid, folderPath); e.failed())
        return undo(e);
    observer.folderOpened(folderPath);

    // With checksums every byte goes through the hashing copier's ring, and the kernel's copy
    // is left out: the hash has to see the bytes anyway.
    std::optional<SliceCopier> copier;
    std::optional<HashingCopier> hashing;
    if (request.writeChecksums) {
        hashing.emplace(m_layer, m_blockSize);
        hashing->setStopToken(stop);
    } else {
        copier.emplace(m_layer, m_blockSize, m_kernelCopy);
        copier->setStopToken(stop);
    }
    // The recovery data is computed from the pieces once they are written: its share of the
    // progress counts as the pieces' bytes once more, whatever number of reads it takes.
    const std::uint64_t recoveryShare =
        plan.recovery.possible() ? plan.sourceLength + plan.pieceCount * plan.headerBytes() : 0;
    const std::uint64_t total = plan.sourceLength + recoveryShare;
    std::uint64_t done = 0;
    const auto advance = [&](std::uint64_t bytes) {
        done += bytes;
        observer.progress(done, total);
    };
    const mode_t pieceMode = pieceModeFor(source.info.st_mode);
    // The recovery checksums of each piece are taken as soon as it is written, beside the copy
    // of the next ones: what is left after the last piece is the recovery arithmetic alone.
    if (plan.recovery.possible())
        follower.emplace(m_layer, folder.fd(), folderPath, plan.recovery.sliceSize, stop);
    for (std::uint64_t index = 0; index < plan.pieceCount; ++index) {
        if (stop.stop_requested())
            return undo(Error::cancelled(folderPath));
        const bool last = index + 1 == plan.pieceCount;
        const std::string pieceName = plan.pieceName(index);
        ++made; // a piece that fails half-way is removed with the others
        const Slice slice{index * plan.chunkBytes, last ? plan.lastPieceBytes : plan.chunkBytes};
        if (Error e = writePiece(source, slice, folder.fd(), folderPath, pieceName, plan.format, pieceMode, source.info.st_gid,
                                 copier ? &*copier : nullptr, hashing ? &*hashing : nullptr, advance);
            e.failed()) {
            if (e.is(Cancelled))
                e.path = folderPath;
            return undo(e);
        }
        if (follower)
            follower->add(pieceName);
        observer.pieceWritten(pieceName);
    }
    // A source that grew meanwhile was cut at its old length: as wrong as one that shrank.
    if (Error e = checkLength(source, plan.sourceLength); e.failed())
        return undo(e);
    std::string wholeSha256;
    if (hashing) {
        if (stop.stop_requested())
            return undo(Error::cancelled(folderPath));
        if (Error e = writeChecksums(plan, *hashing, folder.fd(), pieceMode, source.info.st_gid, wholeSha256);
            e.failed())
            return undo(e);
        checksumsMade = true;
    }
    if (!plan.noteName.empty()) {
        if (stop.stop_requested())
            return undo(Error::cancelled(folderPath));
        if (Error e = writeNote(plan, noteFor(plan, request.writeChecksums, wholeSha256), folder.fd(), pieceMode,
                                source.info.st_gid);
            e.failed())
            return undo(e);
        noteMade = true;
    }
    if (plan.recovery.possible()) {
        if (stop.stop_requested())
            return undo(Error::cancelled(folderPath));
        // The copy's buffers are done with: the recovery arithmetic has the memory to itself.
        hashing.reset();
        copier.reset();
        const auto recoveryProgress = [&](std::uint64_t part, std::uint64_t of) {
            const auto share = of == 0 ? 0 : std::uint64_t(static_cast<long double>(recoveryShare) * part / of);
            observer.progress(plan.sourceLength + std::min(share, recoveryShare), total);
        };
        // Before the folder's flush and name: a failure or a stop goes back to a split that
        // never was, like one during the pieces.
        std::vector<PieceDigest> digests;
        Error e = follower->finish(digests);
        follower.reset();
        if (!e.failed())
            e = RecoveryCreator(m_layer, source.info.st_gid)
                    .create(folder.fd(), folderPath, plan.recovery, plan.pieceFiles(plan.pieceCount),
                            RecoveryRun{stop, recoveryProgress}, digests);
        if (e.failed()) {
            if (e.is(Cancelled))
                e.path = folderPath;
            return undo(e);
        }
        recoveryMade = true;
    }
    // Everything in the folder goes to the disk before the folder takes its name: a power cut
    // must not leave a split folder of pieces that were only in memory.
    if (Error e = flushFolder(folder.fd(), folderPath); e.failed())
        return undo(e);
    if (Error e = publishFolder(directoryFd, workName, plan); e.failed())
        return undo(e);
    // Only the flushed parent makes the new name last; until then the split is not done. When
    // that fails, the folder gives the name back and goes like any failed split's (unless the
    // name cannot be given back: then the complete folder stays, and the failure is reported).
    if (m_layer.fsync(directoryFd) != 0) {
        const Error error = Error::fromErrno(errno, folderPath);
        if (m_layer.renameNoReplaceAt(directoryFd, plan.folderName.c_str(), directoryFd, workName.c_str()) != 0)
            return error;
        return undo(error);
    }
    result.folderPath = folderPath;
    result.pieces = plan.pieceCount;
    if (checksumsMade)
        result.checksumName = plan.checksumName;
    if (noteMade)
        result.noteName = plan.noteName;
    if (recoveryMade)
        result.recoveryPieces = plan.recovery.recoveryPieces;
    return {};
}

Error Splitter::publishFolder(int directoryFd, const std::string& workName, const SplitPlan& plan)
{
    const std::string& folderName = plan.folderName;
    const std::string& folderPath = plan.folderPath;
    if (m_layer.renameNoReplaceAt(directoryFd, workName.c_str(), directoryFd, folderName.c_str()) == 0)
        return {};
    if (errno == EEXIST)
        return Error{FolderExists, folderExistsMessage, folderPath};
    if (errno != EINVAL)
        return Error::fromErrno(errno, folderPath);
    // A file system that cannot refuse to replace: look first. A folder that appears in
    // between is only replaced when it is empty; a file or a non-empty folder fails the rename.
    struct stat existing;
    if (m_layer.fstatAt(directoryFd, folderName.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return Error{FolderExists, folderExistsMessage, folderPath};
    if (m_layer.renameAt(directoryFd, workName.c_str(), directoryFd, folderName.c_str()) != 0)
        return Error::fromErrno(errno, folderPath);
    return {};
}

Error Splitter::checkLength(const Source& source, std::uint64_t length)
{
    struct stat now {};
    if (m_layer.fstat(source.file.fd(), &now) != 0)
        return Error::fromErrno(errno, source.path);
    if (std::uint64_t(now.st_size) < length)
        return SliceCopier::sourceShrank(source.path);
    if (std::uint64_t(now.st_size) > length)
        return Error{SourceChanged, "The file got longer while it was being read", source.path};
    return {};
}

Error Splitter::flushFolder(int folderFd, const std::string& folderPath)
{
    // One flush of the file system, rather than one per piece as it is closed: each of those
    // waits for the disk on its own, which made a split into 100,000 pieces of 4 KiB take 365 s
    // instead of 10 s, and one into 1 MiB pieces twice as long, on an ext4 image; for pieces of
    // 256 MiB the two cost the same. It also writes what others have not yet flushed on that
    // file system, which a busy one makes dearer.
    if (m_layer.syncfs(folderFd) != 0)
        return Error::fromErrno(errno, folderPath);
    return {};
}

Error Splitter::writeNote(const SplitPlan& plan, const std::string& text, int folderFd, mode_t mode, gid_t group)
{
    AtomicFile file(m_layer);
    if (Error e = file.create(folderFd, plan.folderPath, plan.noteName, mode, group); e.failed())
        return e;
    if (Error e = writeFully(m_layer, file.fd(), text.data(), text.size(), 0,
                             PieceNaming::joinPath(plan.folderPath, plan.noteName));
        e.failed())
        return e;
    return file.commit();
}

Error Splitter::writeChecksums(const SplitPlan& plan, HashingCopier& hashing, int folderFd, mode_t mode,
                               gid_t group, std::string& wholeSha256)
{
    const std::string& folderPath = plan.folderPath;
    const std::string& checksumName = plan.checksumName;
    std::vector<Sha256::Digest> digests;
    const Sha256::Digest whole = hashing.hashes().finish(digests);
    if (hashing.hashes().failed())
        return Error::fromErrno(ENOMEM, PieceNaming::joinPath(folderPath, checksumName));
    std::vector<ChecksumEntry> entries;
    entries.reserve(digests.size() + 1);
    for (std::uint64_t index = 0; index < digests.size(); ++index)
        entries.push_back({plan.pieceName(index), digests[index]});
    if (plan.format == PieceFormat::Signed)
        entries.push_back({plan.sourceFileName, whole});
    wholeSha256 = Sha256::hex(whole);
    return ChecksumFile::write(m_layer, folderFd, folderPath, checksumName, entries, mode, group);
}

Error Splitter::writePiece(const Source& source, const Slice& slice, int folderFd, const std::string& folderPath,
                           const std::string& pieceName, PieceFormat format, mode_t mode, gid_t group,
                           SliceCopier* copier, HashingCopier* hashing, const SliceCopier::Advance& advance)
{
    const std::string piecePath = PieceNaming::joinPath(folderPath, pieceName);
    FileHandle piece(m_layer, m_layer.openAt(folderFd, pieceName.c_str(),
                                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!piece.isOpen())
        return Error::fromErrno(errno, piecePath);
    if (Error e = GroupAccess::share(m_layer, piece.fd(), group, piecePath); e.failed())
        return e;
    const bool sparse = SliceCopier::mayBeSparse(source.info);
    const std::string_view header = format == PieceFormat::Signed ? pieceSignature : std::string_view();
    Error e;
    if (hashing != nullptr) {
        e = hashing->copy(source.file.fd(), slice.offset, slice.length, piece.fd(), 0, header,
                          HashPipe::bothStreams, sparse, source.path, piecePath, advance);
        if (!e.failed())
            hashing->hashes().endPiece();
    } else {
        e = copier->copy(source.file.fd(), slice.offset, slice.length, piece.fd(), 0, header, sparse,
                         source.path, piecePath, advance);
    }
    if (e.failed())
        return e;
    if (sparse && m_layer.ftruncate(piece.fd(), off_t(header.size() + slice.length)) != 0)
        return Error::fromErrno(errno, piecePath);
    if (const int err = piece.close(); err != 0)
        return Error::fromErrno(err, piecePath);
    return {};
}

} // namespace qfs
