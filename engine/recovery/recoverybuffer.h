#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace qfs {

// How a recovery run reports and is stopped: `progress` gets bytes done and the total;
// the run checks `stop` at least every recoveryReadChunk bytes read, computed or hashed (also
// inside one large packet, slice or file) and then ends with Cancelled, leaving nothing.
struct RecoveryRun {
    std::stop_token stop;
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// Memory for the recovery arithmetic: the recovery (or rebuilt) slices' current byte range
// all live at once, so their count times the range stays within this, whatever the slice size.
inline constexpr std::size_t recoveryWorkingMemory = std::size_t(64) << 20;
// The most read at once from one slice.
inline constexpr std::size_t recoveryReadChunk = std::size_t(1) << 20;
// The smallest byte range worth a pass; fewer slices per pass below it.
inline constexpr std::size_t recoveryMinimumRange = std::size_t(256) << 10;

// Counts a run's bytes: reports progress and looks at the stop token every recoveryReadChunk
// bytes, so that no file, packet or slice, however large, is worked through unchecked.
class RunMeter {
public:
    RunMeter(const RecoveryRun& run, std::uint64_t total) : m_run(run), m_total(total) {}

    // Counts `bytes` as done; Cancelled when a stop was requested (looked at once the bytes
    // since the last look reach a read chunk).
    Error advance(std::uint64_t bytes);
    // Cancelled when a stop was requested; looks now.
    Error stopped() const;
    void addToTotal(std::uint64_t bytes) { m_total += bytes; }
    // Reports the run complete.
    void complete() const;

private:
    const RecoveryRun& m_run;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    std::uint64_t m_sinceCheck = 0;
};

// A zeroed block aligned for the processor's vector instructions.
class AlignedBuffer {
public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(std::size_t size);
    std::uint8_t* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }

private:
    struct Free {
        void operator()(std::uint8_t* data) const;
    };
    std::unique_ptr<std::uint8_t[], Free> m_data;
    std::size_t m_size = 0;
};

// The distance between two slices' ranges in one buffer: the region arithmetic needs its
// source and destination equally aligned.
inline constexpr std::size_t rangeAlignment = 64;
inline constexpr std::size_t alignedStride(std::uint64_t width)
{
    return std::size_t((width + rangeAlignment - 1) / rangeAlignment * rangeAlignment);
}

// Reads exactly `count` bytes at `offset` (the seam's readFully()); a file that ends early fails
// with SourceChanged.
Error readExactly(FileLayer& layer, int fd, void* data, std::size_t count, std::uint64_t offset,
                  const std::string& path);

// Byte ranges [offset, offset + width) of every slice at a time, in as many passes over the
// slices (groups of the output slices) as memory needs.
struct RangePlan {
    std::uint64_t width = 0;
    std::uint32_t slicesPerPass = 0;
};
RangePlan planRanges(std::uint64_t sliceSize, std::uint32_t outputSlices);

} // namespace qfs
