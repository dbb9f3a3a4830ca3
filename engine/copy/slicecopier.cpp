#include "engine/copy/slicecopier.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace qfs {

namespace {

// Runs shorter than this are cheaper through the buffer than with extra calls to the kernel.
constexpr std::uint64_t kernelCopyMinimum = 256 * 1024;
// The kernel copies at most this much per call, so that progress is reported and a stop
// noticed as it goes.
constexpr std::uint64_t kernelCopyStep = SliceCopier::stopCheckStep;

std::uint64_t alignDown(std::uint64_t value)
{
    return roundDown(value, pageSize);
}

} // namespace

SliceCopier::SliceCopier(FileLayer& layer, std::size_t blockSize, bool kernelCopy)
    : m_layer(layer)
    , m_blockSize(std::max<std::size_t>(alignDown(blockSize), pageSize))
    , m_kernelCopy(kernelCopy)
    // Headroom page + block + a page for the bytes carried over between writes.
    , m_buffer(allocatePages(m_blockSize + 2 * pageSize))
{
}

Error SliceCopier::sourceShrank(const std::string& path)
{
    return Error{SourceChanged, "The file got shorter while it was being read", path};
}

Error SliceCopier::nextDataRegion(FileLayer& layer, int fd, std::uint64_t position, std::uint64_t limit,
                                  const std::string& path, DataRegion& region)
{
    region = {limit, limit};
    const off_t data = layer.lseek(fd, off_t(position), SEEK_DATA);
    if (data < 0)
        return errno == ENXIO ? Error{} : Error::fromErrno(errno, path);
    if (std::uint64_t(data) >= limit)
        return {};
    const off_t hole = layer.lseek(fd, data, SEEK_HOLE);
    if (hole < 0)
        return Error::fromErrno(errno, path);
    region = {std::uint64_t(data), std::min<std::uint64_t>(hole, limit)};
    return {};
}

Error SliceCopier::checkStillReaches(FileLayer& layer, int fd, std::uint64_t end, const std::string& path)
{
    struct stat now {};
    if (layer.fstat(fd, &now) != 0)
        return Error::fromErrno(errno, path);
    return std::uint64_t(now.st_size) < end ? sourceShrank(path) : Error{};
}

bool SliceCopier::mayBeSparse(const struct stat& info)
{
    return S_ISREG(info.st_mode) && std::uint64_t(info.st_blocks) * 512 < std::uint64_t(info.st_size);
}

Error SliceCopier::copy(int srcFd, std::uint64_t srcOffset, std::uint64_t length, int dstFd,
                        std::uint64_t dstOffset, std::string_view prefix, bool sparseSource,
                        const std::string& srcPath, const std::string& dstPath,
                        const Advance& advance)
{
    const std::uint64_t end = srcOffset + length;
    if (!sparseSource || length == 0)
        return copyRun(srcFd, srcOffset, end, dstFd, dstOffset, prefix, srcPath, dstPath, advance);

    // Copy the data regions one by one; the prefix goes with the first if it starts at once,
    // and is written on its own otherwise.
    const std::uint64_t dataOffset = dstOffset + prefix.size();
    const auto writePrefix = [&]() -> Error {
        const std::string_view bytes = std::exchange(prefix, {});
        if (bytes.empty())
            return {};
        return writeFully(m_layer, dstFd, reinterpret_cast<const std::byte*>(bytes.data()), bytes.size(),
                        dstOffset, dstPath);
    };
    std::uint64_t position = srcOffset;
    while (position < end) {
        DataRegion region{};
        if (Error e = nextDataRegion(m_layer, srcFd, position, end, srcPath, region); e.failed())
            return e;
        if (region.start >= end)
            break;
        const std::uint64_t dataStart = region.start;
        const std::uint64_t dataEnd = region.end;
        advance(dataStart - position);
        if (dataStart != srcOffset) {
            if (Error e = writePrefix(); e.failed())
                return e;
        }
        const std::string_view lead = std::exchange(prefix, {});
        const std::uint64_t target = dataOffset + (dataStart - srcOffset) - lead.size();
        if (Error e = copyRun(srcFd, dataStart, dataEnd, dstFd, target, lead, srcPath, dstPath,
                              advance); e.failed())
            return e;
        position = dataEnd;
    }
    if (Error e = writePrefix(); e.failed())
        return e;
    if (position < end) {
        if (Error e = checkStillReaches(m_layer, srcFd, end, srcPath); e.failed())
            return e;
    }
    advance(end - position);
    return {};
}

Error SliceCopier::copyRun(int srcFd, std::uint64_t begin, std::uint64_t end, int dstFd,
                           std::uint64_t dstOffset, std::string_view prefix,
                           const std::string& srcPath, const std::string& dstPath,
                           const Advance& advance)
{
    if (!m_kernelCopy || end - begin < kernelCopyMinimum)
        return bufferedRun(srcFd, begin, end, dstFd, dstOffset, prefix, srcPath, dstPath, advance);

    // The prefix and the bytes up to the destination's next page boundary go through the
    // buffer, so that the kernel writes whole, aligned pages.
    const std::uint64_t head = (pageSize - (dstOffset + prefix.size()) % pageSize) % pageSize;
    if (head > 0 || !prefix.empty()) {
        if (Error e = bufferedRun(srcFd, begin, begin + head, dstFd, dstOffset, prefix, srcPath,
                                  dstPath, advance); e.failed())
            return e;
        dstOffset += prefix.size() + head;
        begin += head;
    }
    bool supported = true;
    if (Error e = kernelRun(srcFd, begin, end, dstFd, dstOffset, srcPath, dstPath, advance,
                            supported); e.failed())
        return e;
    if (!supported) {
        m_kernelCopy = false;
        return bufferedRun(srcFd, begin, end, dstFd, dstOffset, {}, srcPath, dstPath, advance);
    }
    return {};
}

Error SliceCopier::kernelRun(int srcFd, std::uint64_t& begin, std::uint64_t end, int dstFd,
                             std::uint64_t& dstOffset, const std::string& srcPath,
                             const std::string& dstPath, const Advance& advance, bool& supported)
{
    while (begin < end) {
        if (m_stop.stop_requested())
            return Error::cancelled();
        off_t in = off_t(begin);
        off_t out = off_t(dstOffset);
        const ssize_t copied = m_layer.copyFileRange(
            srcFd, &in, dstFd, &out, std::size_t(std::min(end - begin, kernelCopyStep)));
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            // Nothing was copied: these say the kernel cannot do it for these files.
            if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
                supported = false;
                return {};
            }
            // The system does not say which side failed; a full disk is the destination's.
            return Error::fromErrno(errno, errno == ENOSPC || errno == EDQUOT ? dstPath : srcPath);
        }
        if (copied == 0)
            return sourceShrank(srcPath);
        begin += std::uint64_t(copied);
        dstOffset += std::uint64_t(copied);
        advance(std::uint64_t(copied));
    }
    return {};
}

Error SliceCopier::bufferedRun(int srcFd, std::uint64_t begin, std::uint64_t end, int dstFd,
                               std::uint64_t dstOffset, std::string_view prefix,
                               const std::string& srcPath, const std::string& dstPath,
                               const Advance& advance)
{
    std::byte* const base = m_buffer.get() + pageSize;
    std::size_t pending = prefix.size(); // bytes at base waiting to go to dstOffset
    if (!prefix.empty())
        std::memcpy(base, prefix.data(), prefix.size());

    std::uint64_t position = begin;
    while (position < end) {
        if (m_stop.stop_requested())
            return Error::cancelled();
        // Start reading at the page boundary when nothing waits in the buffer, so that the
        // file offsets of all reads are aligned; the bytes before `position` land in the
        // headroom and are never written.
        const std::uint64_t lead = pending == 0 ? position % pageSize : 0;
        const std::uint64_t readStart = position - lead;
        std::uint64_t want = std::min<std::uint64_t>(end - readStart, m_blockSize);
        if (readStart + want < end && alignDown(readStart + want) > readStart)
            want = alignDown(readStart + want) - readStart;
        std::byte* const target = base + pending - lead;

        std::size_t got = 0;
        if (Error e = readFully(m_layer, srcFd, target, std::size_t(want), readStart, srcPath, got); e.failed())
            return e;
        if (std::uint64_t(got) <= lead)
            return sourceShrank(srcPath);
        const std::uint64_t fresh = std::uint64_t(got) - lead;
        pending += fresh;
        position += fresh;

        // Write everything up to the last page boundary of the destination; carry the rest.
        const std::size_t count = position == end
            ? pending
            : std::size_t(alignDown(dstOffset + pending) > dstOffset
                              ? alignDown(dstOffset + pending) - dstOffset
                              : 0);
        if (count > 0) {
            if (Error e = writeFully(m_layer, dstFd, base, count, dstOffset, dstPath); e.failed())
                return e;
            dstOffset += count;
            pending -= count;
            std::memmove(base, base + count, pending);
        }
        advance(fresh);
    }
    if (pending > 0) // only a prefix with nothing after it
        return writeFully(m_layer, dstFd, base, pending, dstOffset, dstPath);
    return {};
}

} // namespace qfs
