#pragma once

#include "engine/recovery/md5.h"
#include "engine/recovery/par2format.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qfs {

// What the recovery index records of one file: its whole MD5, the MD5 of its first 16 KiB,
// and the MD5 and CRC-32 of every slice (the last one padded with zeros).
struct PieceDigest {
    std::uint64_t length = 0;
    Md5Digest md5{};
    Md5Digest startMd5{};
    std::vector<Par2::SliceChecksum> slices;
};

// The CRC-32 the slice checksums use (the reflected IEEE one of zip and gzip), continued from
// `crc` over `size` more bytes; 0 starts a new one.
std::uint32_t crc32Add(std::uint32_t crc, const void* data, std::size_t size);

// Computes a PieceDigest from a file's bytes fed in order, in chunks of any size. A caller
// that reads or writes the file anyway (a split) can feed it on the way.
//
// The work has two halves of about equal cost that touch separate state, so that two threads
// can share it: the whole half (MD5 of the file, of its first 16 KiB, and of its first slice,
// which is the file's MD5 state at the slice's end) and the slice half (CRC-32 of every slice,
// MD5 of every slice after the first). add() feeds both on one thread.
class PieceHasher {
public:
    // REQUIRES: sliceSize > 0.
    explicit PieceHasher(std::uint64_t sliceSize);

    void add(const void* data, std::size_t size)
    {
        addWhole(data, size);
        addSlices(data, size);
    }
    // Each half must get every byte of the file, in order; the two may run on two threads at
    // once, but neither half on two.
    void addWhole(const void* data, std::size_t size);
    void addSlices(const void* data, std::size_t size);
    // The digest of everything added; the hasher is spent afterwards.
    // REQUIRES: both halves got the same bytes, and the threads that fed them are done.
    PieceDigest finish();

private:
    void addToSlice(const std::uint8_t* data, std::size_t size);
    void closeSlice();

    std::uint64_t m_sliceSize;
    // The whole half.
    std::uint64_t m_wholeLength = 0;
    Md5 m_file;
    Md5 m_start;
    Md5Digest m_firstSliceMd5{};
    bool m_firstSliceDone = false;
    // The slice half.
    std::uint64_t m_inSlice = 0;
    Md5 m_slice;
    std::uint32_t m_crc = 0;
    std::vector<Par2::SliceChecksum> m_slices;
};

} // namespace qfs
