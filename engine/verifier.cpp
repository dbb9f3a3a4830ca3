#include "engine/verifier.h"

#include "engine/copy/hashingcopier.h"
#include "engine/pieces/piecechecksums.h"
#include "engine/pieces/piecenaming.h"
#include "engine/pieces/pieceset.h"
#include "engine/recovery/folderrecovery.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <set>
#include <utility>

namespace qfs {

void VerifyObserver::folderShown(const std::string&) {}
void VerifyObserver::progress(std::uint64_t, std::uint64_t) {}

namespace {

// Piece names in index order; names of one index (which a refused set never has) by name.
void sortByIndex(std::vector<std::string>& names)
{
    const auto key = [](const std::string& name) {
        const auto parsed = PieceNaming::parse(name, PieceNaming::plainDigits);
        return std::make_pair(parsed ? parsed->index : 0, std::string_view(name));
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
}

} // namespace

Verifier::Verifier(FileLayer& layer, std::size_t blockSize) : m_layer(layer), m_blockSize(blockSize) {}

Result<VerifyReport> Verifier::run(const VerifyRequest& request, VerifyObserver& observer, std::stop_token stop)
{
    FolderRecovery recovery;
    return run(request, observer, std::move(stop), recovery);
}

Result<VerifyReport> Verifier::run(const VerifyRequest& request, VerifyObserver& observer, std::stop_token stop,
                                   FolderRecovery& recovery)
{
    observer.folderShown(request.folderPath);
    return runToResult<VerifyReport>(request.folderPath, [&](VerifyReport& report) {
        TotalKept kept(observer);
        std::set<std::string> verified;
        if (Error e = check(request, kept, stop, report, verified); e.failed() || request.piecesOnly)
            return e;
        return examineRecovery(request, observer, stop, verified, kept.total(), report, recovery);
    });
}

Error Verifier::examineRecovery(const VerifyRequest& request, VerifyObserver& observer, const std::stop_token& stop,
                                const std::set<std::string>& verified, std::uint64_t doneBefore,
                                VerifyReport& report, FolderRecovery& recovery)
{
    if (report.stem.empty())
        return {};
    FileHandle folder(m_layer, m_layer.openAt(AT_FDCWD, request.folderPath.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, request.folderPath);
    const RecoveryRun run{stop, [&](std::uint64_t done, std::uint64_t total) {
                              observer.progress(doneBefore + done, doneBefore + total);
                          }};
    if (Error e = FolderRecovery::examine(m_layer, folder.fd(), request.folderPath, verified, run, recovery);
        e.failed()) {
        if (e.is(Cancelled))
            e.path = request.folderPath;
        return e;
    }
    report.hasRecovery = recovery.found;
    report.recoveryUnusable = recovery.found && !recovery.usable();
    if (!recovery.usable())
        return {};
    // What the recovery data finds wrong with the set's pieces beyond what the checks above
    // found: without a checksum file they see no more than signatures and gaps.
    const std::set<std::string> damaged(report.damaged.begin(), report.damaged.end());
    const std::set<std::string> missing(report.missing.begin(), report.missing.end());
    bool added = false;
    for (const PieceCheck& piece : recovery.check.pieces) {
        const auto parsed = PieceNaming::parse(piece.name, report.format);
        if (!parsed || parsed->stem != report.stem || damaged.count(piece.name) != 0 || missing.count(piece.name) != 0)
            continue;
        if (piece.condition == PieceCondition::Damaged) {
            report.damaged.push_back(piece.name);
            added = true;
        } else if (piece.condition == PieceCondition::Missing) {
            if (report.missing.size() < PieceSet::listLimit)
                report.missing.push_back(piece.name);
            ++report.missingCount;
            added = true;
        }
    }
    if (added) {
        sortByIndex(report.damaged);
        sortByIndex(report.missing);
    }
    report.lostPieces = recovery.check.lostPieces;
    report.rebuildablePieces = recovery.check.rebuildablePieces;
    report.recoveryPieces = recovery.check.recoveryPieces;
    return {};
}

Error Verifier::check(const VerifyRequest& request, VerifyObserver& observer, const std::stop_token& stop,
                      VerifyReport& report, std::set<std::string>& verified)
{
    FileHandle folder(m_layer, m_layer.openAt(AT_FDCWD, request.folderPath.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, request.folderPath);
    PieceSet set;
    if (Error e = PieceSet::survey(m_layer, folder.fd(), request.folderPath, set); e.failed())
        return e;
    if (set.empty())
        return {};
    report.stem = set.stem();
    report.format = set.format();
    report.piecesChecked = set.pieces().size() + set.damaged().size();
    report.damaged = set.damaged();
    report.withoutSignature = set.damaged();
    report.missing = set.missing();
    report.missingCount = set.missingCount();

    PieceChecksums sums;
    if (Error e = PieceChecksums::read(m_layer, folder.fd(), request.folderPath, set, sums, report.hasChecksumFile);
        e.failed())
        return e;
    if (!report.hasChecksumFile)
        return {};
    report.checksumFileName = sums.fileName;
    report.checksumFileListsPieces = sums.listsPieces();
    report.unlisted = sums.unlisted;
    // Listed pieces that are not there: the gaps among them are named and counted already.
    report.missingCount += sums.missingBeyondGaps;
    std::set<std::string> named(report.missing.begin(), report.missing.end());
    for (const std::string& name : sums.missing) {
        if (named.insert(name).second)
            report.missing.push_back(name);
    }
    sortByIndex(report.missing);
    if (report.missing.size() > PieceSet::listLimit)
        report.missing.resize(PieceSet::listLimit);
    // With every piece there, signed and listed, the join would go on to their data: it is
    // hashed too, in the same pass, to be compared with the original's line as the join does.
    const bool joinable = sums.whole && !set.pieces().empty() && report.damaged.empty() && report.missingCount == 0
                          && report.unlisted.empty();
    // A length the file gives for the original is compared as the join compares it, before
    // anything is read.
    const bool lengthDiffers = joinable && sums.wholeSize && *sums.wholeSize != set.dataBytes();
    // A checksum file of the original file alone (.crc): every piece is read for the whole
    // stream only.
    const bool wholeOnly = !sums.listsPieces() && joinable && !lengthDiffers;

    // Everything to read: the listed signed pieces, and the rebuilt file when it can be compared.
    const std::string rebuiltPath = PieceNaming::joinPath(request.folderPath, set.stem());
    FileHandle rebuilt(m_layer, -1);
    struct stat rebuiltInfo {};
    if (sums.whole && !request.piecesOnly) {
        if (Error e = openRebuilt(folder.fd(), rebuiltPath, set.stem(), rebuilt, rebuiltInfo); e.failed())
            return e;
    }
    std::uint64_t total = rebuilt.isOpen() ? std::uint64_t(rebuiltInfo.st_size) : 0;
    for (std::size_t k = 0; k < set.pieces().size(); ++k) {
        if (sums.expected[k] || wholeOnly)
            total += set.pieces()[k].size;
    }
    std::uint64_t done = 0;
    const auto advance = [&](std::uint64_t bytes) {
        done += bytes;
        observer.progress(done, total);
    };

    HashingCopier copier(m_layer, m_blockSize, HashPipe::defaultBlockCount, sums.kind());
    copier.setStopToken(stop);
    std::vector<std::size_t> hashed;
    const unsigned streams = wholeOnly ? unsigned(HashPipe::WholeStream)
                             : joinable && !lengthDiffers ? HashPipe::bothStreams
                                                          : unsigned(HashPipe::PieceStream);
    if (Error e = hashPieces(request, folder.fd(), set, sums, streams, copier, advance, hashed); e.failed())
        return e;
    std::vector<Sha256::Digest> digests;
    const Sha256::Digest joined = copier.hashes().finish(digests);
    if (rebuilt.isOpen()) {
        if (Error e = copier.copy(rebuilt.fd(), 0, std::uint64_t(rebuiltInfo.st_size), -1, 0, {},
                                  HashPipe::WholeStream, SliceCopier::mayBeSparse(rebuiltInfo), rebuiltPath,
                                  rebuiltPath, advance);
            e.failed()) {
            if (e.is(Cancelled))
                e.path = request.folderPath;
            return e;
        }
    }
    const Sha256::Digest whole = copier.hashes().finish(digests);
    if (copier.hashes().failed())
        return Error::fromErrno(ENOMEM, rebuiltPath);
    for (std::size_t i = 0; i < hashed.size(); ++i) {
        const std::size_t k = hashed[i];
        if (digests[i] != *sums.expected[k])
            report.damaged.push_back(set.pieces()[k].name);
        else
            verified.insert(set.pieces()[k].name);
    }
    sortByIndex(report.damaged);
    report.joinedDamaged = joinable && report.damaged.empty() && (lengthDiffers || joined != *sums.whole);
    if (lengthDiffers) {
        report.joinedLength = set.dataBytes();
        report.expectedLength = *sums.wholeSize;
    }
    if (rebuilt.isOpen()) {
        report.rebuiltChecked = true;
        report.rebuiltDamaged = whole != *sums.whole
                                || (sums.wholeSize && *sums.wholeSize != std::uint64_t(rebuiltInfo.st_size));
    }
    return {};
}

Error Verifier::hashPieces(const VerifyRequest& request, int folderFd, const PieceSet& set,
                           const PieceChecksums& sums, unsigned streams, HashingCopier& copier,
                           const SliceCopier::Advance& advance, std::vector<std::size_t>& hashed)
{
    const std::uint64_t signatureLength = set.headerBytes();
    std::string head;
    const bool everyPiece = (streams & HashPipe::PieceStream) == 0;
    for (std::size_t k = 0; k < set.pieces().size(); ++k) {
        const PieceFile& expected = set.pieces()[k];
        if (!sums.expected[k] && !everyPiece)
            continue;
        OpenPiece piece(m_layer);
        if (Error e = PieceSet::open(m_layer, folderFd, request.folderPath, expected, piece); e.failed())
            return e;
        // The signature goes into the piece's hash only; its data, as the join reads it, into
        // the whole stream too when `streams` has it.
        if (Error e = set.readSignature(m_layer, piece, head); e.failed())
            return e;
        if (Error e = copier.copy(piece.handle.fd(), signatureLength, expected.size - signatureLength, -1, 0, head,
                                  streams, piece.sparse, piece.path, piece.path, advance);
            e.failed())
            return e.withStopPath(request.folderPath);
        advance(signatureLength);
        if (everyPiece)
            continue;
        copier.hashes().endPiece();
        hashed.push_back(k);
    }
    return {};
}

Error Verifier::openRebuilt(int folderFd, const std::string& path, const std::string& name, FileHandle& file,
                            struct stat& info)
{
    const int fd = m_layer.openAt(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (fd < 0) {
        // Not there yet, or a symbolic link that is not followed: nothing to compare.
        if (errno == ENOENT || errno == ELOOP)
            return {};
        return Error::fromErrno(errno, path);
    }
    FileHandle opened(m_layer, fd);
    if (m_layer.fstat(fd, &info) != 0)
        return Error::fromErrno(errno, path);
    if (S_ISREG(info.st_mode))
        file = std::move(opened);
    return {};
}

} // namespace qfs
