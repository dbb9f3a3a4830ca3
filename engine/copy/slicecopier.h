#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string_view>

namespace qfs {

// Copies a slice of one file into another. Long runs are copied by the kernel, from page
// cache to page cache, once the destination offset is page-aligned: the bytes before that
// (the 5-byte signature and the start of the slice) go through the buffer. Short runs, and
// file systems that cannot copy in the kernel, go through one bounded buffer; after its first
// block, reads and writes start at page-aligned file offsets on both sides and the shift
// between them is absorbed by carrying a few bytes inside the buffer.
// Holes of a sparse source are skipped and stay holes in the destination.
class SliceCopier {
public:
    static constexpr std::size_t defaultBlockSize = 128 * 1024;
    // The most bytes a copy, or the hashing of a hole, deals with between two looks at the stop
    // token: a stop ends a run within the time this takes, whatever the file.
    static constexpr std::uint64_t stopCheckStep = 16 * 1024 * 1024;

    // With kernelCopy false every byte goes through the buffer.
    SliceCopier(FileLayer& layer, std::size_t blockSize, bool kernelCopy = true);

    // Called with the number of source bytes just dealt with (copied or skipped as a hole).
    using Advance = std::function<void(std::uint64_t)>;

    // From now on, copies end with Cancelled soon after a stop is requested: between blocks
    // of the buffer and between kernel copies of at most stopCheckStep bytes.
    void setStopToken(std::stop_token stop) { m_stop = std::move(stop); }

    // Writes `prefix` at dstOffset, followed by `length` bytes of src from srcOffset.
    // With `sparseSource` the source's holes are left out; the caller then sets the
    // destination's final length. srcPath names the source in errors, dstPath the destination.
    Error copy(int srcFd, std::uint64_t srcOffset, std::uint64_t length, int dstFd,
               std::uint64_t dstOffset, std::string_view prefix, bool sparseSource,
               const std::string& srcPath, const std::string& dstPath, const Advance& advance);

    // Whether a file of this stat may have holes worth skipping.
    static bool mayBeSparse(const struct stat& info);

    // A run of data in a file with holes: [start, end).
    struct DataRegion {
        std::uint64_t start;
        std::uint64_t end;
    };
    // The first run of data at or after `position`, cut at `limit`; start == limit when only
    // a hole is left before it. Errors name `path`.
    static Error nextDataRegion(FileLayer& layer, int fd, std::uint64_t position, std::uint64_t limit,
                                const std::string& path, DataRegion& region);
    // A hole that reaches the end of a slice may be a source cut short meanwhile, not a hole
    // (the pieces would silently hold zeros where its data was): SourceChanged unless the file
    // still reaches `end`.
    static Error checkStillReaches(FileLayer& layer, int fd, std::uint64_t end, const std::string& path);
    // The failure of a source that got shorter while it was read.
    static Error sourceShrank(const std::string& path);

private:
    Error copyRun(int srcFd, std::uint64_t begin, std::uint64_t end, int dstFd,
                  std::uint64_t dstOffset, std::string_view prefix, const std::string& srcPath,
                  const std::string& dstPath, const Advance& advance);
    Error bufferedRun(int srcFd, std::uint64_t begin, std::uint64_t end, int dstFd,
                      std::uint64_t dstOffset, std::string_view prefix, const std::string& srcPath,
                      const std::string& dstPath, const Advance& advance);
    // Copies in the kernel as far as it can; `begin` and `dstOffset` move along. Returns
    // false in `supported` when the kernel refuses this pair of files.
    Error kernelRun(int srcFd, std::uint64_t& begin, std::uint64_t end, int dstFd,
                    std::uint64_t& dstOffset, const std::string& srcPath,
                    const std::string& dstPath, const Advance& advance, bool& supported);

    FileLayer& m_layer;
    std::size_t m_blockSize;
    bool m_kernelCopy;
    PageBuffer m_buffer; // one page of headroom, then the data
    std::stop_token m_stop;
};

} // namespace qfs
