#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/copy/hashpipe.h"
#include "engine/copy/slicecopier.h"

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

namespace qfs {

// Copies a slice of one file into another like SliceCopier, and hashes what it copies: each
// block is read once into a block of a HashPipe, written, and handed to the hash workers, so the
// data is read from the disk once and the hashing runs on the other core beside the copy.
// Holes of a sparse source stay holes in the destination and are hashed as the zeros they read
// as. With no destination it reads and hashes only.
class HashingCopier {
public:
    // blockSize: bytes of a file read and written per block.
    // kind: the hash of both streams.
    explicit HashingCopier(FileLayer& layer, std::size_t blockSize = SliceCopier::defaultBlockSize,
                           std::size_t blockCount = HashPipe::defaultBlockCount, HashKind kind = HashKind::Sha256);

    // From now on, copies end with Cancelled soon after a stop is requested: between blocks,
    // and between steps of a hole.
    void setStopToken(std::stop_token stop) { m_stop = std::move(stop); }
    // The hashes of everything copied so far: end pieces and collect the digests there.
    HashPipe& hashes() { return m_pipe; }

    // Writes `prefix` at dstOffset, followed by `length` bytes of src from srcOffset; with
    // dstFd < 0 nothing is written. The prefix goes to the piece stream (if it is among
    // `streams`), the slice to every stream of `streams`, holes as zeros. With `sparseSource`
    // the source's holes are left out of the destination; the caller then sets its final
    // length. srcPath names the source in errors, dstPath the destination. A worker that ran
    // out of memory ends the copy with ENOMEM.
    // REQUIRES: prefix is shorter than a page (4096 bytes).
    Error copy(int srcFd, std::uint64_t srcOffset, std::uint64_t length, int dstFd,
               std::uint64_t dstOffset, std::string_view prefix, unsigned streams, bool sparseSource,
               const std::string& srcPath, const std::string& dstPath,
               const SliceCopier::Advance& advance);

private:
    struct Target {
        int srcFd;
        int dstFd;
        unsigned streams;
        const std::string& srcPath;
        const std::string& dstPath;
        const SliceCopier::Advance& advance;
    };

    // Copies [begin, end) of the source, after `prefix`, to dstOffset on.
    Error copyRun(const Target& target, std::uint64_t begin, std::uint64_t end,
                  std::uint64_t dstOffset, std::string_view prefix);
    // Writes and hashes the prefix on its own (a slice that starts with a hole, or is empty).
    Error copyPrefix(const Target& target, std::uint64_t dstOffset, std::string_view prefix);
    // Hands a hole to the hashes as zeros, in steps of at most SliceCopier::stopCheckStep with
    // a look at the stop token before each.
    Error skipHole(const Target& target, std::uint64_t length);

    FileLayer& m_layer;
    std::size_t m_blockSize;
    HashPipe m_pipe;
    std::stop_token m_stop;
};

} // namespace qfs
