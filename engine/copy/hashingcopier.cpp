#include "engine/copy/hashingcopier.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qfs {

namespace {

std::uint64_t alignDown(std::uint64_t value)
{
    return roundDown(value, pageSize);
}

} // namespace

HashingCopier::HashingCopier(FileLayer& layer, std::size_t blockSize, std::size_t blockCount, HashKind kind)
    : m_layer(layer)
    , m_blockSize(std::max<std::size_t>(alignDown(blockSize), pageSize))
    // A page more than a block: room for a prefix in front of a full block of data.
    , m_pipe(m_blockSize + pageSize, blockCount, kind)
{
}

Error HashingCopier::copy(int srcFd, std::uint64_t srcOffset, std::uint64_t length, int dstFd,
                          std::uint64_t dstOffset, std::string_view prefix, unsigned streams,
                          bool sparseSource, const std::string& srcPath, const std::string& dstPath,
                          const SliceCopier::Advance& advance)
{
    const Target target{srcFd, dstFd, streams, srcPath, dstPath, advance};
    const std::uint64_t end = srcOffset + length;
    if (!sparseSource || length == 0)
        return copyRun(target, srcOffset, end, dstOffset, prefix);

    // Copy the data regions one by one. The hashes take the bytes in file order, so the
    // prefix goes first: with the first region if the slice starts with data, on its own
    // before a leading hole otherwise.
    const std::uint64_t dataOffset = dstOffset + prefix.size();
    std::uint64_t position = srcOffset;
    while (position < end) {
        SliceCopier::DataRegion region{};
        if (Error e = SliceCopier::nextDataRegion(m_layer, srcFd, position, end, srcPath, region); e.failed())
            return e;
        if (region.start >= end)
            break;
        const std::uint64_t dataStart = region.start;
        const std::uint64_t dataEnd = region.end;
        if (dataStart > position) {
            if (Error e = copyPrefix(target, dstOffset, std::exchange(prefix, {})); e.failed())
                return e;
            if (Error e = skipHole(target, dataStart - position); e.failed())
                return e;
        }
        const std::string_view lead = std::exchange(prefix, {});
        if (Error e = copyRun(target, dataStart, dataEnd, dataOffset + (dataStart - srcOffset) - lead.size(),
                              lead);
            e.failed())
            return e;
        position = dataEnd;
    }
    if (Error e = copyPrefix(target, dstOffset, prefix); e.failed())
        return e;
    if (position < end) {
        if (Error e = SliceCopier::checkStillReaches(m_layer, srcFd, end, srcPath); e.failed())
            return e;
    }
    return skipHole(target, end - position);
}

Error HashingCopier::skipHole(const Target& target, std::uint64_t length)
{
    while (length > 0) {
        if (m_stop.stop_requested())
            return Error::cancelled();
        const std::uint64_t step = std::min(length, SliceCopier::stopCheckStep);
        m_pipe.submitZeros(step, target.streams);
        target.advance(step);
        length -= step;
    }
    return {};
}

Error HashingCopier::copyPrefix(const Target& target, std::uint64_t dstOffset, std::string_view prefix)
{
    if (prefix.empty())
        return {};
    return copyRun(target, 0, 0, dstOffset, prefix);
}

Error HashingCopier::copyRun(const Target& target, std::uint64_t begin, std::uint64_t end,
                             std::uint64_t dstOffset, std::string_view prefix)
{
    std::uint64_t position = begin;
    while (position < end || !prefix.empty()) {
        if (m_stop.stop_requested())
            return Error::cancelled();
        if (m_pipe.failed())
            return Error::fromErrno(ENOMEM, target.dstFd >= 0 ? target.dstPath : target.srcPath);

        std::byte* const block = m_pipe.acquire();
        const std::size_t lead = prefix.size();
        if (lead > 0)
            std::memcpy(block, prefix.data(), lead);
        prefix = {};
        // Every write but the last ends on a page boundary of the destination, so that the
        // next one starts on one.
        std::uint64_t want = std::min<std::uint64_t>(end - position, m_blockSize);
        if (position + want < end && alignDown(dstOffset + lead + want) > dstOffset + lead)
            want = alignDown(dstOffset + lead + want) - dstOffset - lead;

        std::size_t got = 0;
        Error readError = readFully(m_layer, target.srcFd, block + lead, std::size_t(want), position,
                                    target.srcPath, got);
        if (readError.failed() || got < want) {
            m_pipe.release(block);
            return readError.failed() ? readError : SliceCopier::sourceShrank(target.srcPath);
        }
        const std::size_t filled = lead + std::size_t(got);
        if (target.dstFd >= 0) {
            if (Error e = writeFully(m_layer, target.dstFd, block, filled, dstOffset, target.dstPath); e.failed()) {
                m_pipe.release(block);
                return e;
            }
        }
        const bool toPiece = (target.streams & HashPipe::PieceStream) != 0;
        const bool toWhole = (target.streams & HashPipe::WholeStream) != 0;
        m_pipe.submit(block, toPiece ? HashPipe::Span{block, filled} : HashPipe::Span{},
                      toWhole ? HashPipe::Span{block + lead, std::size_t(got)} : HashPipe::Span{});
        dstOffset += filled;
        position += got;
        if (got > 0)
            target.advance(got);
    }
    return {};
}

} // namespace qfs
