#include "engine/recovery/recoverybuffer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qfs {

namespace {

constexpr std::size_t vectorAlignment = 64;

} // namespace

void AlignedBuffer::Free::operator()(std::uint8_t* data) const
{
    std::free(data);
}

AlignedBuffer::AlignedBuffer(std::size_t size) : m_size(size)
{
    const std::size_t rounded = (size + vectorAlignment - 1) / vectorAlignment * vectorAlignment;
    m_data.reset(static_cast<std::uint8_t*>(std::aligned_alloc(vectorAlignment, rounded == 0 ? vectorAlignment : rounded)));
    if (!m_data)
        throw std::bad_alloc();
    std::memset(m_data.get(), 0, rounded);
}

Error RunMeter::advance(std::uint64_t bytes)
{
    m_done += bytes;
    m_sinceCheck += bytes;
    if (m_sinceCheck < recoveryReadChunk)
        return {};
    m_sinceCheck = 0;
    if (Error error = stopped(); error.failed())
        return error;
    // A damaged file is read more than once: done may pass the planned total.
    if (m_run.progress)
        m_run.progress(std::min(m_done, m_total), m_total);
    return {};
}

Error RunMeter::stopped() const
{
    if (m_run.stop.stop_requested())
        return Error::cancelled();
    return {};
}

void RunMeter::complete() const
{
    if (m_run.progress)
        m_run.progress(m_total, m_total);
}

Error readExactly(FileLayer& layer, int fd, void* data, std::size_t count, std::uint64_t offset,
                  const std::string& path)
{
    std::size_t got = 0;
    if (Error error = readFully(layer, fd, data, count, offset, path, got); error.failed())
        return error;
    if (got < count)
        return {SourceChanged, "The file got shorter while it was read", path};
    return {};
}

RangePlan planRanges(std::uint64_t sliceSize, std::uint32_t outputSlices)
{
    RangePlan plan;
    if (outputSlices == 0)
        return plan;
    const std::uint64_t perSlice = recoveryWorkingMemory / outputSlices;
    if (perSlice >= sliceSize) {
        plan.width = sliceSize;
        plan.slicesPerPass = outputSlices;
        return plan;
    }
    // Ranges stay a multiple of the vector width, so that every range starts aligned.
    constexpr std::uint64_t step = 64;
    plan.width = std::max<std::uint64_t>(perSlice, recoveryMinimumRange) / step * step;
    plan.slicesPerPass = std::uint32_t(std::max<std::uint64_t>(1, recoveryWorkingMemory / plan.width));
    plan.slicesPerPass = std::min(plan.slicesPerPass, outputSlices);
    return plan;
}

} // namespace qfs
