#include "splitter.h"

#include "piecenaming.h"
#include "splitplanner.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <new>
#include <optional>

namespace qfs {

const char* const Splitter::folderExistsMessage =
    "Split folder already exist. Please delete the folder and then run the splitter again.";

Splitter::Splitter(FileLayer& layer, std::size_t blockSize, bool kernelCopy)
    : m_layer(layer), m_blockSize(blockSize), m_kernelCopy(kernelCopy)
{
}

Error Splitter::run(const SplitRequest& request, SplitObserver& observer)
{
    if (const auto check = SplitPlanner::validate(request)) {
        observer.checkFailed(check->message, check->focus);
        return Error{CheckFailed, check->message, {}};
    }
    Error error;
    try {
        error = writePieces(request, observer);
    } catch (const std::bad_alloc&) {
        error = Error::fromErrno(ENOMEM, {});
    }
    if (error.failed()) {
        observer.failed(error.code == EEXIST && error.path == PieceNaming::splitFolderPath(
                                                                  request.sourceDirectory,
                                                                  request.sourceFileName)
                            ? folderExistsMessage
                            : error.message());
    }
    return error;
}

Error Splitter::writePieces(const SplitRequest& request, SplitObserver& observer)
{
    const std::string folderName = PieceNaming::splitFolderName(request.sourceFileName);
    observer.folderNameShown(folderName);

    const std::string folderPath =
        PieceNaming::splitFolderPath(request.sourceDirectory, request.sourceFileName);
    if (m_layer.mkdirAt(AT_FDCWD, folderPath.c_str(), 0777) != 0)
        return Error::fromErrno(errno, folderPath);
    FileHandle folder(m_layer, m_layer.openAt(AT_FDCWD, folderPath.c_str(),
                                              O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, folderPath);
    observer.folderOpened(folderPath);

    const std::int16_t unit = SplitPlanner::effectiveUnitIndex(request.unitIndex);
    if (unit != request.unitIndex)
        observer.unitDefaulted(unit);
    double chunk = 0;
    if (request.mode == SplitMode::BySize)
        chunk = SplitPlanner::chunkSizeBySize(request.sizeText, unit);

    // The source is opened by its exact listed name. O_NONBLOCK keeps a FIFO from hanging
    // the open; anything but a regular file is refused right after.
    const std::string sourcePath =
        PieceNaming::joinPath(request.sourceDirectory, request.sourceFileName);
    FileHandle source(m_layer, m_layer.openAt(AT_FDCWD, sourcePath.c_str(),
                                              O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!source.isOpen())
        return Error::fromErrno(errno, sourcePath);
    struct stat info {};
    if (m_layer.fstat(source.fd(), &info) != 0)
        return Error::fromErrno(errno, sourcePath);
    if (!S_ISREG(info.st_mode))
        return Error{NotRegularFile, "Not a regular file", sourcePath};
    const auto length = std::uint64_t(info.st_size);

    if (request.mode == SplitMode::ByCount) {
        const auto byCount = SplitPlanner::chunkSizeByCount(request.countText, double(length));
        if (!byCount)
            return Error{NotANumber, "The number of files is not a number",
                         {}};
        chunk = *byCount;
    }
    // A chunk at least as long as the source makes one piece; otherwise it is a whole
    // number of bytes (at least 1) below the length and fits 64 bits.
    const std::uint64_t chunkBytes =
        !(chunk < double(length)) ? length : std::uint64_t(std::max(chunk, 1.0));

    SliceCopier copier(m_layer, m_blockSize, m_kernelCopy);
    const bool sparse = SliceCopier::mayBeSparse(info);
    std::uint64_t done = 0;
    const auto advance = [&](std::uint64_t bytes) {
        done += bytes;
        observer.progress(done, length);
    };

    std::uint64_t remaining = length;
    for (std::uint64_t index = 0;; ++index) {
        const bool last = remaining <= chunkBytes;
        const std::uint64_t sliceLength = last ? remaining : chunkBytes;
        const std::string pieceName = PieceNaming::pieceFileName(request.sourceFileName, index);
        if (Error e = writePiece(source.fd(), sourcePath, index * chunkBytes, sliceLength, sparse,
                                 folder.fd(), folderPath, pieceName, copier, advance);
            e.failed())
            return e;
        observer.pieceWritten(pieceName);
        if (last)
            break;
        remaining -= chunkBytes;
    }
    if (const int err = source.close(); err != 0)
        return Error::fromErrno(err, sourcePath);
    observer.finished();
    return {};
}

Error Splitter::writePiece(int sourceFd, const std::string& sourcePath, std::uint64_t offset,
                           std::uint64_t sliceLength, bool sparse, int folderFd,
                           const std::string& folderPath, const std::string& pieceName,
                           SliceCopier& copier, const SliceCopier::Advance& advance)
{
    const std::string piecePath = PieceNaming::joinPath(folderPath, pieceName);
    FileHandle piece(m_layer, m_layer.openAt(folderFd, pieceName.c_str(),
                                             O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!piece.isOpen())
        return Error::fromErrno(errno, piecePath);
    Error error = copier.copy(sourceFd, offset, sliceLength, piece.fd(), 0, pieceSignature, sparse,
                              sourcePath, piecePath, advance);
    if (!error.failed() && sparse &&
        m_layer.ftruncate(piece.fd(), off_t(pieceSignature.size() + sliceLength)) != 0)
        error = Error::fromErrno(errno, piecePath);
    if (!error.failed()) {
        if (const int err = piece.close(); err != 0)
            error = Error::fromErrno(err, piecePath);
    }
    // A piece that is not whole would join into a wrong file without a word: remove it.
    if (error.failed())
        m_layer.unlinkAt(folderFd, pieceName.c_str());
    return error;
}

} // namespace qfs
