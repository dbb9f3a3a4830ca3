#include "engine/joiner.h"

#include "engine/fs/atomicfile.h"
#include "engine/fs/destination.h"
#include "engine/text/checkmessages.h"
#include "engine/copy/hashingcopier.h"
#include "engine/fs/leftovers.h"
#include "engine/text/nametext.h"
#include "engine/pieces/piecechecksums.h"
#include "engine/pieces/piecenaming.h"
#include "engine/pieces/pieceset.h"
#include "engine/text/outcometext.h"
#include "engine/text/plantext.h"
#include "engine/verifier.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace qfs {

void JoinObserver::folderShown(const std::string&) {}
void JoinObserver::verifying(const std::string&) {}
void JoinObserver::progress(std::uint64_t, std::uint64_t) {}

namespace {

// Passes a verification's progress on to the join's observer: the folder is shown already.
class ProgressPassed : public VerifyObserver {
public:
    explicit ProgressPassed(JoinObserver& observer) : m_observer(observer) {}
    void progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        m_observer.progress(bytesDone, bytesTotal);
    }

private:
    JoinObserver& m_observer;
};

} // namespace

Joiner::Joiner(FileLayer& layer, std::size_t blockSize, bool kernelCopy)
    : m_layer(layer), m_blockSize(blockSize), m_kernelCopy(kernelCopy)
{
}

Result<JoinResult> Joiner::run(const JoinRequest& request, JoinObserver& observer, std::stop_token stop)
{
    observer.folderShown(request.folderPath);
    return runToResult<JoinResult>(request.folderPath,
                                   [&](JoinResult& result) { return joinPieces(request, observer, stop, result); });
}

struct Joiner::Survey {
    explicit Survey(FileLayer& layer) : folder(layer, -1), destination(layer) {}

    FileHandle folder;
    PieceSet set;
    PieceChecksums sums;
    bool verify = false;
    Destination destination;
    AtomicFile::Existing existing = AtomicFile::Existing::Replace;
    JoinPlan plan;
};

Result<JoinPlan> Joiner::plan(const JoinRequest& request)
{
    return runToResult<JoinPlan>(request.folderPath, [&](JoinPlan& plan) {
        Survey found(m_layer);
        const Error error = survey(request, found);
        plan = std::move(found.plan);
        return error;
    });
}

Error Joiner::survey(const JoinRequest& request, Survey& found)
{
    found.folder = FileHandle(m_layer, m_layer.openAt(AT_FDCWD, request.folderPath.c_str(),
                                                      O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!found.folder.isOpen())
        return Error::fromErrno(errno, request.folderPath);
    const PieceSet& set = found.set;
    if (Error e = PieceSet::scan(m_layer, found.folder.fd(), request.folderPath, found.set); e.failed())
        return e;
    if (set.empty())
        return {};

    const PieceChecksums& sums = found.sums;
    if (Error e = PieceChecksums::read(m_layer, found.folder.fd(), request.folderPath, set, found.sums,
                                       found.verify);
        e.failed())
        return e;
    if (found.verify) {
        if (sums.missingBeyondGaps > 0)
            return refusal(MissingPiece, sums.missing,
                           CheckMessages::missing(sums.missing, sums.missingBeyondGaps), request.folderPath);
        if (!sums.unlisted.empty())
            return refusal(UnlistedPiece, sums.unlisted, CheckMessages::unlisted(sums.unlisted),
                           request.folderPath);
        found.plan.checksumFileName = sums.fileName;
        // A length the checksum file gives for the original file is checked before anything is
        // written: pieces that hold more or less cannot rebuild it.
        if (sums.wholeSize && *sums.wholeSize != set.dataBytes())
            return Error{PieceDamaged, CheckMessages::joinedLength(set.stem(), set.dataBytes(), *sums.wholeSize),
                         request.folderPath};
    }
    // Only a checksum file that went away since the set was read leaves a set without pieces.
    if (set.pieces().empty())
        return {};

    Destination& destination = found.destination;
    JoinPlan& plan = found.plan;
    if (request.destinationDirectory.empty()) {
        if (Error e = destination.take(found.folder.fd(), request.folderPath); e.failed())
            return e;
    } else {
        if (Error e = destination.open(request.destinationDirectory); e.failed())
            return e;
        plan.intoPiecesFolder = destination.isFolder(found.folder.fd());
    }
    plan.destinationPath = destination.path();
    plan.length = set.dataBytes();
    const std::string outputPath = PieceNaming::joinPath(destination.path(), set.stem());
    if (Error e = destination.checkWritable(); e.failed())
        return e;
    if (destination.longestName() > 0 && set.stem().size() > destination.longestName()) {
        return Error{NameTooLong,
                     "The joined file needs a name of " + std::to_string(set.stem().size()) +
                         " characters; this folder allows " + std::to_string(destination.longestName()),
                     outputPath};
    }
    // Joining into the pieces folder again rebuilds the same file over the last one, as it
    // always did; a folder of the user's choosing keeps what it holds unless told otherwise.
    found.existing = plan.intoPiecesFolder ? AtomicFile::Existing::Replace
                     : request.replace     ? AtomicFile::Existing::ReplaceFile
                                           : AtomicFile::Existing::Keep;
    if (Error e = AtomicFile::admits(m_layer, destination.fd(), destination.path(), set.stem(), found.existing,
                                     plan.replaces);
        e.failed())
        return e;
    if (!destination.holdsFileOf(plan.length)) {
        return Error{PieceTooLarge,
                     "The joined file would be " + PlanText::exactBytes(plan.length) +
                         "; files on this drive hold at most " + PlanText::exactBytes(Destination::fatLargestFile),
                     outputPath};
    }
    if (destination.countsInodes() && destination.freeInodes() < 1)
        return Error{NotEnoughInodes, "The joined file needs a new file; the file system has room for none",
                     outputPath};
    // The file takes whole blocks, and the holes of sparse pieces stay holes. An earlier file
    // of the name gives its room back only once the new one has replaced it.
    const std::uint64_t block = destination.block();
    std::uint64_t needed = roundUp(plan.length, block);
    std::uint64_t allocated = 0;
    for (const PieceFile& piece : set.pieces())
        allocated += piece.allocated;
    if (allocated < plan.length)
        needed = std::min(needed, allocated + set.pieces().size() * block);
    if (needed > destination.available()) {
        return Error{NotEnoughSpace,
                     "The joined file needs " + PlanText::exactBytes(needed) + "; " +
                         PlanText::exactBytes(destination.available()) + " are free",
                     outputPath};
    }
    plan.rebuiltName = set.stem();
    return {};
}

Error Joiner::joinPieces(const JoinRequest& request, JoinObserver& observer, const std::stop_token& stop,
                         JoinResult& result)
{
    Survey found(m_layer);
    if (Error e = survey(request, found); e.failed())
        return everyFault(request, observer, stop, std::move(e));
    if (found.verify)
        observer.verifying(found.sums.fileName);
    const JoinPlan& plan = found.plan;
    if (plan.rebuiltName.empty())
        return {};
    const PieceSet& set = found.set;
    const int destinationFd = found.destination.fd();

    result.leftovers = Leftovers::removeFrom(m_layer, destinationFd);
    AtomicFile output(m_layer);
    if (Error e = output.create(destinationFd, plan.destinationPath, plan.rebuiltName,
                                set.pieces().front().mode & permissionBits, set.pieces().front().group,
                                found.existing);
        e.failed())
        return e;

    std::uint64_t done = 0;
    const auto advance = [&](std::uint64_t bytes) {
        done += bytes;
        observer.progress(done, plan.length);
    };
    std::uint64_t written = 0;
    const int folderFd = found.folder.fd();
    Error error = found.verify ? copyVerified(request, set, found.sums, folderFd, output, stop, advance, written)
                               : copyPieces(request, set, folderFd, output, stop, advance, written);
    if (error.failed())
        return error;
    // Holes at the end of the last piece leave the file short until it is given its length.
    if (m_layer.ftruncate(output.fd(), off_t(written)) != 0)
        return Error::fromErrno(errno, output.finalPath());
    if (Error e = output.commit(); e.failed())
        return e;
    result.rebuiltName = plan.rebuiltName;
    result.length = written;
    result.destinationPath = plan.destinationPath;
    return {};
}

Error Joiner::everyFault(const JoinRequest& request, JoinObserver& observer, const std::stop_token& stop,
                         Error first)
{
    if (!first.is(PieceDamaged) && !first.is(MissingPiece) && !first.is(UnlistedPiece))
        return first;
    // Only the pieces: the rebuilt file and the recovery data are no business of a refusal.
    ProgressPassed passed(observer);
    auto checked = Verifier(m_layer, m_blockSize).run(VerifyRequest{request.folderPath, true}, passed, stop);
    if (checked.failed())
        return checked.error().is(Cancelled) ? checked.error() : first;
    const std::vector<PieceFinding> findings = OutcomeText::verifyFindings(checked.value());
    // One kind of fault (or none: the folder changed since) is what the first refusal says.
    if (findings.size() < 2)
        return first;
    Error all{first.code, {}, request.folderPath};
    for (const PieceFinding& finding : findings) {
        all.description += (all.description.empty() ? "" : " ") + finding.sentence;
        all.names.insert(all.names.end(), finding.names.begin(), finding.names.end());
    }
    return all;
}

Error Joiner::copyPieces(const JoinRequest& request, const PieceSet& set, int folderFd, AtomicFile& output,
                         const std::stop_token& stop, const SliceCopier::Advance& advance, std::uint64_t& offset)
{
    SliceCopier copier(m_layer, m_blockSize, m_kernelCopy);
    copier.setStopToken(stop);
    const std::string outputPath = output.finalPath();
    const std::uint64_t signatureLength = set.headerBytes();
    for (const PieceFile& expected : set.pieces()) {
        if (stop.stop_requested())
            return Error::cancelled(request.folderPath);
        OpenPiece piece(m_layer);
        if (Error e = PieceSet::open(m_layer, folderFd, request.folderPath, expected, piece); e.failed())
            return e;
        const std::uint64_t dataLength = expected.size - signatureLength;
        if (Error e = copier.copy(piece.handle.fd(), signatureLength, dataLength, output.fd(), offset, {},
                                  piece.sparse, piece.path, outputPath, advance);
            e.failed())
            return e.withStopPath(request.folderPath);
        if (const int err = piece.handle.close(); err != 0)
            return Error::fromErrno(err, piece.path);
        offset += dataLength;
    }
    return {};
}

Error Joiner::copyVerified(const JoinRequest& request, const PieceSet& set, const PieceChecksums& sums,
                           int folderFd, AtomicFile& output, const std::stop_token& stop,
                           const SliceCopier::Advance& advance, std::uint64_t& offset)
{
    HashingCopier copier(m_layer, m_blockSize, HashPipe::defaultBlockCount, sums.kind());
    copier.setStopToken(stop);
    HashPipe& hashes = copier.hashes();
    // A checksum file of the original file alone (.crc) leaves the pieces' own hashes out.
    const unsigned pieceStream = sums.listsPieces() ? unsigned(HashPipe::PieceStream) : 0u;
    const std::string outputPath = output.finalPath();
    const std::uint64_t signatureLength = set.headerBytes();
    const std::vector<PieceFile>& pieces = set.pieces();
    std::vector<Sha256::Digest> digests;
    digests.reserve(pieces.size());
    std::string head;
    // Once a piece is found damaged, nothing more is written: the rest is only read and hashed,
    // so that the message names every damaged piece.
    bool damagedFound = false;
    const auto compareFinished = [&] {
        const std::size_t before = digests.size();
        hashes.takeFinishedPieces(digests);
        for (std::size_t k = before; k < digests.size() && !damagedFound; ++k) {
            if (sums.expected[k] && digests[k] != *sums.expected[k]) {
                damagedFound = true;
                output.discard();
            }
        }
    };
    for (const PieceFile& expected : pieces) {
        if (stop.stop_requested())
            return Error::cancelled(request.folderPath);
        OpenPiece piece(m_layer);
        if (Error e = PieceSet::open(m_layer, folderFd, request.folderPath, expected, piece); e.failed())
            return e;
        // The piece's own signature bytes go into its hash, as sha256sum would read them.
        if (Error e = set.readSignature(m_layer, piece, head); e.failed())
            return e;
        hashes.submitBytes(head, pieceStream);
        const std::uint64_t dataLength = expected.size - signatureLength;
        if (Error e = copier.copy(piece.handle.fd(), signatureLength, dataLength, damagedFound ? -1 : output.fd(),
                                  offset, {}, damagedFound ? pieceStream : pieceStream | HashPipe::WholeStream,
                                  piece.sparse, piece.path, outputPath, advance);
            e.failed())
            return e.withStopPath(request.folderPath);
        hashes.endPiece();
        if (const int err = piece.handle.close(); err != 0)
            return Error::fromErrno(err, piece.path);
        offset += dataLength;
        compareFinished();
    }

    const Sha256::Digest whole = hashes.finish(digests);
    if (hashes.failed())
        return Error::fromErrno(ENOMEM, outputPath);
    std::vector<std::string> damaged;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        if (sums.expected[k] && digests[k] != *sums.expected[k])
            damaged.push_back(pieces[k].name);
    }
    if (!damaged.empty())
        return refusal(PieceDamaged, damaged, CheckMessages::damaged(damaged), request.folderPath);
    if (sums.whole && whole != *sums.whole)
        return Error{PieceDamaged,
                     sums.listsPieces() ? CheckMessages::joinedDiffers(set.stem())
                                        : CheckMessages::wholeDiffers(set.stem(), sums.fileName),
                     outputPath};
    return {};
}

Error Joiner::refusal(int code, const std::vector<std::string>& names, PieceFinding finding,
                      const std::string& folderPath)
{
    return Error{code, std::move(finding.sentence),
                 names.size() == 1 ? PieceNaming::joinPath(folderPath, names.front()) : folderPath,
                 std::move(finding.names)};
}

} // namespace qfs
