#pragma once

#include "md5.h"
#include "par2format.h"

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

// Computes a PieceDigest from a file's bytes fed in order, in chunks of any size. A caller
// that reads or writes the file anyway (a split) can feed it on the way.
class PieceHasher {
public:
    // REQUIRES: sliceSize > 0.
    explicit PieceHasher(std::uint64_t sliceSize);

    void add(const void* data, std::size_t size);
    // The digest of everything added; the hasher is spent afterwards.
    PieceDigest finish();

private:
    void addToSlice(const std::uint8_t* data, std::size_t size);
    void closeSlice();

    std::uint64_t m_sliceSize;
    std::uint64_t m_length = 0;
    std::uint64_t m_inSlice = 0;
    Md5 m_file;
    Md5 m_start;
    // The first slice's MD5 is the file's MD5 state at its end, so it needs no state of its own.
    Md5 m_slice;
    bool m_sliceOwnState = false;
    std::uint32_t m_crc = 0;
    PieceDigest m_digest;
};

} // namespace qfs
