#include "engine/joiner.h"

#include "engine/fs/atomicfile.h"
#include "engine/text/checkmessages.h"
#include "engine/copy/hashingcopier.h"
#include "engine/fs/leftovers.h"
#include "engine/text/nametext.h"
#include "engine/pieces/piecechecksums.h"
#include "engine/pieces/piecenaming.h"
#include "engine/pieces/pieceset.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>

namespace qfs {

void JoinObserver::folderShown(const std::string&) {}
void JoinObserver::verifying(const std::string&) {}
void JoinObserver::progress(std::uint64_t, std::uint64_t) {}

Joiner::Joiner(FileLayer& layer, std::size_t blockSize, bool kernelCopy)
    : m_layer(layer), m_blockSize(blockSize), m_kernelCopy(kernelCopy)
{
}

Result<JoinResult> Joiner::run(const JoinRequest& request, JoinObserver& observer, std::stop_token stop)
{
    return runOnSet<JoinResult>(m_layer, request.folderPath, PieceSet::Reading::Join, observer,
                                [&](const FileHandle& folder, const PieceSet& set, JoinResult& result) {
                                    return joinPieces(request, folder, set, observer, stop, result);
                                });
}

Error Joiner::joinPieces(const JoinRequest& request, const FileHandle& folder, const PieceSet& set,
                         JoinObserver& observer, const std::stop_token& stop, JoinResult& result)
{
    PieceChecksums sums;
    bool verify = false;
    if (Error e = PieceChecksums::read(m_layer, folder.fd(), request.folderPath, set, sums, verify); e.failed())
        return e;
    if (verify) {
        if (sums.missingBeyondGaps > 0)
            return refusal(MissingPiece, sums.missing,
                           CheckMessages::missing(sums.missing, sums.missingBeyondGaps), request.folderPath);
        if (!sums.unlisted.empty())
            return refusal(UnlistedPiece, sums.unlisted, CheckMessages::unlisted(sums.unlisted),
                           request.folderPath);
        observer.verifying(sums.fileName);
    }
    // Only a checksum file that went away since the set was read leaves a set without pieces.
    if (set.pieces().empty())
        return {};

    result.leftovers = Leftovers::removeFrom(m_layer, folder.fd());
    AtomicFile output(m_layer);
    if (Error e = output.create(folder.fd(), request.folderPath, set.stem(),
                                set.pieces().front().mode & permissionBits, set.pieces().front().group);
        e.failed())
        return e;

    const std::uint64_t total = set.dataBytes();
    std::uint64_t done = 0;
    const auto advance = [&](std::uint64_t bytes) {
        done += bytes;
        observer.progress(done, total);
    };
    std::uint64_t written = 0;
    Error error = verify ? copyVerified(request, set, sums, folder.fd(), output, stop, advance, written)
                         : copyPieces(request, set, folder.fd(), output, stop, advance, written);
    if (error.failed())
        return error;
    // Holes at the end of the last piece leave the file short until it is given its length.
    if (m_layer.ftruncate(output.fd(), off_t(written)) != 0)
        return Error::fromErrno(errno, PieceNaming::joinPath(request.folderPath, set.stem()));
    if (Error e = output.commit(); e.failed())
        return e;
    result.rebuiltName = set.stem();
    result.length = written;
    return {};
}

Error Joiner::copyPieces(const JoinRequest& request, const PieceSet& set, int folderFd, AtomicFile& output,
                         const std::stop_token& stop, const SliceCopier::Advance& advance, std::uint64_t& offset)
{
    SliceCopier copier(m_layer, m_blockSize, m_kernelCopy);
    copier.setStopToken(stop);
    const std::string outputPath = PieceNaming::joinPath(request.folderPath, set.stem());
    const auto signatureLength = std::uint64_t(pieceSignature.size());
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
    HashingCopier copier(m_layer, m_blockSize);
    copier.setStopToken(stop);
    HashPipe& hashes = copier.hashes();
    const std::string outputPath = PieceNaming::joinPath(request.folderPath, set.stem());
    const auto signatureLength = std::uint64_t(pieceSignature.size());
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
            if (digests[k] != *sums.expected[k]) {
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
        if (Error e = PieceSet::readSignature(m_layer, piece, head); e.failed())
            return e;
        hashes.submitBytes(head, HashPipe::PieceStream);
        const std::uint64_t dataLength = expected.size - signatureLength;
        if (Error e = copier.copy(piece.handle.fd(), signatureLength, dataLength, damagedFound ? -1 : output.fd(),
                                  offset, {}, damagedFound ? HashPipe::PieceStream : HashPipe::bothStreams,
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
        if (digests[k] != *sums.expected[k])
            damaged.push_back(pieces[k].name);
    }
    if (!damaged.empty())
        return refusal(PieceDamaged, damaged, CheckMessages::damaged(damaged), request.folderPath);
    if (sums.whole && whole != *sums.whole)
        return Error{PieceDamaged, CheckMessages::joinedDiffers(set.stem()), outputPath};
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
