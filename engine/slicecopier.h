#pragma once

#include "error.h"
#include "filelayer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace qfs {

// Copies a slice of one file into another through one bounded buffer. After the first
// block, reads and writes start at page-aligned file offsets on both sides; the shift
// between them (the 5-byte signature) is absorbed by carrying a few bytes inside the buffer.
// Holes of a sparse source are skipped and stay holes in the destination.
class SliceCopier {
public:
    static constexpr std::size_t defaultBlockSize = 1024 * 1024;

    SliceCopier(FileLayer& layer, std::size_t blockSize);

    // Called with the number of source bytes just dealt with (copied or skipped as a hole).
    using Advance = std::function<void(std::uint64_t)>;

    // Writes `prefix` at dstOffset, followed by `length` bytes of src from srcOffset.
    // With `sparseSource` the source's holes are left out; the caller then sets the
    // destination's final length. srcPath names the source in errors, dstPath the destination.
    Error copy(int srcFd, std::uint64_t srcOffset, std::uint64_t length, int dstFd,
               std::uint64_t dstOffset, std::string_view prefix, bool sparseSource,
               const std::string& srcPath, const std::string& dstPath, const Advance& advance);

    // Whether a file of this stat may have holes worth skipping.
    static bool mayBeSparse(const struct stat& info);

private:
    Error copyRun(int srcFd, std::uint64_t begin, std::uint64_t end, int dstFd,
                  std::uint64_t dstOffset, std::string_view prefix, const std::string& srcPath,
                  const std::string& dstPath, const Advance& advance);
    Error writeAll(int fd, const std::byte* data, std::size_t count, std::uint64_t offset,
                   const std::string& path);

    struct FreeDeleter {
        void operator()(std::byte* p) const;
    };

    FileLayer& m_layer;
    std::size_t m_blockSize;
    std::unique_ptr<std::byte[], FreeDeleter> m_buffer; // one page of headroom, then the data
};

} // namespace qfs
