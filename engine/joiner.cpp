#include "joiner.h"

#include "atomicfile.h"
#include "piecenaming.h"
#include "pieceset.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>

namespace qfs {

namespace {

constexpr mode_t permissionBits = 0777;

} // namespace

Joiner::Joiner(FileLayer& layer, std::size_t blockSize, bool kernelCopy)
    : m_layer(layer), m_blockSize(blockSize), m_kernelCopy(kernelCopy)
{
}

Error Joiner::run(const JoinRequest& request, JoinObserver& observer, std::stop_token stop)
{
    observer.folderShown(request.folderPath);
    std::string rebuiltName;
    std::uint64_t length = 0;
    Error error;
    try {
        error = joinPieces(request, observer, stop, rebuiltName, length);
    } catch (const std::bad_alloc&) {
        error = Error::fromErrno(ENOMEM, {});
    }
    if (error.failed())
        observer.failed(error);
    else
        observer.finished(rebuiltName, length);
    return error;
}

Error Joiner::joinPieces(const JoinRequest& request, JoinObserver& observer, const std::stop_token& stop,
                         std::string& rebuiltName, std::uint64_t& length)
{
    FileHandle folder(m_layer, m_layer.openAt(AT_FDCWD, request.folderPath.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, request.folderPath);
    PieceSet set;
    if (Error e = PieceSet::scan(m_layer, folder.fd(), request.folderPath, set); e.failed())
        return e;
    if (set.empty())
        return {};

    const std::string outputPath = PieceNaming::joinPath(request.folderPath, set.stem());
    AtomicFile output(m_layer);
    if (Error e = output.create(folder.fd(), request.folderPath, set.stem(),
                                set.pieces().front().mode & permissionBits);
        e.failed())
        return e;

    SliceCopier copier(m_layer, m_blockSize, m_kernelCopy);
    copier.setStopToken(stop);
    const std::uint64_t total = set.dataBytes();
    std::uint64_t done = 0;
    const auto advance = [&](std::uint64_t bytes) {
        done += bytes;
        observer.progress(done, total);
    };
    const auto signatureLength = std::uint64_t(pieceSignature.size());
    std::uint64_t offset = 0;
    for (const PieceFile& expected : set.pieces()) {
        if (stop.stop_requested())
            return Error{Cancelled, "Cancelled", request.folderPath};
        const std::string piecePath = PieceNaming::joinPath(request.folderPath, expected.name);
        FileHandle piece(m_layer, m_layer.openAt(folder.fd(), expected.name.c_str(),
                                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
        if (!piece.isOpen())
            return Error::fromErrno(errno, piecePath);
        struct stat info {};
        if (m_layer.fstat(piece.fd(), &info) != 0)
            return Error::fromErrno(errno, piecePath);
        // The piece that was checked is the piece that is read.
        if (info.st_dev != expected.device || info.st_ino != expected.inode ||
            std::uint64_t(info.st_size) != expected.size)
            return Error{SourceChanged, "The piece changed while the pieces were being joined", piecePath};

        const std::uint64_t dataLength = expected.size - signatureLength;
        if (Error e = copier.copy(piece.fd(), signatureLength, dataLength, output.fd(), offset, {},
                                  SliceCopier::mayBeSparse(info), piecePath, outputPath, advance);
            e.failed()) {
            if (e.is(Cancelled))
                e.path = request.folderPath;
            return e;
        }
        if (const int err = piece.close(); err != 0)
            return Error::fromErrno(err, piecePath);
        offset += dataLength;
    }
    // Holes at the end of the last piece leave the file short until it is given its length.
    if (m_layer.ftruncate(output.fd(), off_t(offset)) != 0)
        return Error::fromErrno(errno, outputPath);
    if (Error e = output.commit(); e.failed())
        return e;
    rebuiltName = set.stem();
    length = offset;
    return {};
}

} // namespace qfs
