#include "piecehasher.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace qfs {

namespace {

// zlib's crc32() takes its length as a uInt.
constexpr std::size_t crcStep = std::size_t(1) << 30;
constexpr std::size_t zeroBlock = 64 * 1024;

std::uint32_t crcAdd(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const std::size_t step = std::min(size, crcStep);
        crc = std::uint32_t(crc32(crc, data, uInt(step)));
        data += step;
        size -= step;
    }
    return crc;
}

} // namespace

PieceHasher::PieceHasher(std::uint64_t sliceSize) : m_sliceSize(sliceSize) {}

void PieceHasher::add(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (m_length < Par2::hashedStart)
        m_start.add(bytes, std::min<std::uint64_t>(size, Par2::hashedStart - m_length));
    m_length += size;
    m_file.add(bytes, size);
    while (size > 0) {
        const std::size_t step = std::size_t(std::min<std::uint64_t>(size, m_sliceSize - m_inSlice));
        addToSlice(bytes, step);
        bytes += step;
        size -= step;
        if (m_inSlice == m_sliceSize)
            closeSlice();
    }
}

void PieceHasher::addToSlice(const std::uint8_t* data, std::size_t size)
{
    if (m_sliceOwnState)
        m_slice.add(data, size);
    m_crc = crcAdd(m_crc, data, size);
    m_inSlice += size;
}

void PieceHasher::closeSlice()
{
    Par2::SliceChecksum checksum;
    checksum.md5 = m_sliceOwnState ? m_slice.finish() : Md5(m_file).finish();
    m_sliceOwnState = true;
    checksum.crc = m_crc;
    m_digest.slices.push_back(checksum);
    m_crc = 0;
    m_inSlice = 0;
}

PieceDigest PieceHasher::finish()
{
    if (m_inSlice > 0 && !m_sliceOwnState) {
        // A file of one short slice: its padding goes into a copy of the file's state.
        m_slice = m_file;
        m_sliceOwnState = true;
    }
    m_digest.length = m_length;
    m_digest.md5 = m_file.finish();
    m_digest.startMd5 = m_start.finish();
    if (m_inSlice > 0) {
        // The last slice counts as padded with zeros up to the slice size.
        static const std::array<std::uint8_t, zeroBlock> zeros{};
        while (m_inSlice < m_sliceSize) {
            const std::size_t step = std::size_t(std::min<std::uint64_t>(zeros.size(), m_sliceSize - m_inSlice));
            addToSlice(zeros.data(), step);
        }
        closeSlice();
    }
    return std::move(m_digest);
}

} // namespace qfs
