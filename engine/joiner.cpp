#include "joiner.h"

#include "folderlisting.h"
#include "piecenaming.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>

namespace qfs {

namespace {

// Each piece counts this many progress units, spread over its bytes.
constexpr std::uint64_t unitsPerPiece = 1u << 16;

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
    std::vector<std::string> listed;
    if (Error e = FolderListing::regularFiles(request.folderPath, listed); e.failed())
        return e;
    std::vector<const std::string*> pieces;
    for (const std::string& name : listed) {
        if (PieceNaming::isPieceName(name))
            pieces.push_back(&name);
    }
    if (pieces.empty())
        return {};

    FileHandle folder(m_layer, m_layer.openAt(AT_FDCWD, request.folderPath.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, request.folderPath);

    rebuiltName = PieceNaming::rebuiltFileName(*pieces.front());
    const std::string outputPath = PieceNaming::joinPath(request.folderPath, rebuiltName);
    // An existing output is opened, not replaced, and cut to the rebuilt length at the end.
    // O_NONBLOCK keeps a FIFO of that name from hanging the open.
    FileHandle output(m_layer, m_layer.openAt(folder.fd(), rebuiltName.c_str(),
                                              O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!output.isOpen())
        return Error::fromErrno(errno, outputPath);
    struct stat outputInfo {};
    if (m_layer.fstat(output.fd(), &outputInfo) != 0)
        return Error::fromErrno(errno, outputPath);
    if (!S_ISREG(outputInfo.st_mode))
        return Error{NotRegularFile, "Not a regular file", outputPath};

    SliceCopier copier(m_layer, m_blockSize, m_kernelCopy);
    copier.setStopToken(stop);
    const std::uint64_t total = pieces.size() * unitsPerPiece;
    std::uint64_t offset = 0;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        if (stop.stop_requested())
            return Error{Cancelled, "Cancelled", request.folderPath};
        const std::string& name = *pieces[k];
        const std::string piecePath = PieceNaming::joinPath(request.folderPath, name);
        FileHandle piece(m_layer, m_layer.openAt(folder.fd(), name.c_str(),
                                                 O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
        if (!piece.isOpen())
            return Error::fromErrno(errno, piecePath);
        struct stat info {};
        if (m_layer.fstat(piece.fd(), &info) != 0)
            return Error::fromErrno(errno, piecePath);
        if (!S_ISREG(info.st_mode))
            return Error{NotRegularFile, "Not a regular file", piecePath};
        if (info.st_dev == outputInfo.st_dev && info.st_ino == outputInfo.st_ino)
            return Error{MixedPieces, "The rebuilt file is one of the pieces", piecePath};
        const auto signatureLength = std::uint64_t(pieceSignature.size());
        if (std::uint64_t(info.st_size) < signatureLength)
            return Error{PieceDamaged, "Piece shorter than its 5-byte signature", piecePath};

        const std::uint64_t dataLength = std::uint64_t(info.st_size) - signatureLength;
        std::uint64_t copied = 0;
        const auto advance = [&](std::uint64_t bytes) {
            copied += bytes;
            const double share = dataLength == 0 ? 1.0 : double(copied) / double(dataLength);
            observer.progress(k * unitsPerPiece + std::uint64_t(share * unitsPerPiece), total);
        };
        if (Error e = copier.copy(piece.fd(), signatureLength, dataLength, output.fd(), offset, {},
                                  SliceCopier::mayBeSparse(info), piecePath, outputPath, advance);
            e.failed())
            return e;
        if (const int err = piece.close(); err != 0)
            return Error::fromErrno(err, piecePath);
        offset += dataLength;
    }
    observer.progress(total, total);
    if (m_layer.ftruncate(output.fd(), off_t(offset)) != 0)
        return Error::fromErrno(errno, outputPath);
    if (const int err = output.close(); err != 0)
        return Error::fromErrno(err, outputPath);
    length = offset;
    return {};
}

} // namespace qfs
