#include "engine/recovery/piecehasher.h"

#include <isa-l/crc.h>

#include <algorithm>
#include <array>

namespace qfs {

namespace {

constexpr std::size_t zeroBlock = 64 * 1024;

const std::array<std::uint8_t, zeroBlock>& zeros()
{
    static const std::array<std::uint8_t, zeroBlock> block{};
    return block;
}

// Feeds `count` zero bytes to `feed`, a block at a time.
template <typename Feed>
void addZeros(std::uint64_t count, Feed feed)
{
    while (count > 0) {
        const std::size_t step = std::size_t(std::min<std::uint64_t>(zeroBlock, count));
        feed(zeros().data(), step);
        count -= step;
    }
}

} // namespace

std::uint32_t crc32Add(std::uint32_t crc, const void* data, std::size_t size)
{
    // ISA-L picks the processor's carry-less multiply at run time: about ten times zlib's pace.
    return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

PieceHasher::PieceHasher(std::uint64_t sliceSize) : m_sliceSize(sliceSize) {}

void PieceHasher::addWhole(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (m_wholeLength < Par2::hashedStart)
        m_start.add(bytes, std::size_t(std::min<std::uint64_t>(size, Par2::hashedStart - m_wholeLength)));
    if (!m_firstSliceDone && m_wholeLength + size >= m_sliceSize) {
        // The first slice's MD5 is the file's MD5 state where the slice ends.
        const std::size_t inFirst = std::size_t(m_sliceSize - m_wholeLength);
        m_file.add(bytes, inFirst);
        m_firstSliceMd5 = Md5(m_file).finish();
        m_firstSliceDone = true;
        bytes += inFirst;
        size -= inFirst;
        m_wholeLength += inFirst;
    }
    m_file.add(bytes, size);
    m_wholeLength += size;
}

void PieceHasher::addSlices(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
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
    // The first slice's MD5 comes from the whole half.
    if (!m_slices.empty())
        m_slice.add(data, size);
    m_crc = crc32Add(m_crc, data, size);
    m_inSlice += size;
}

void PieceHasher::closeSlice()
{
    Par2::SliceChecksum checksum;
    // The first slice's MD5 is the whole half's, filled in by finish().
    if (!m_slices.empty())
        checksum.md5 = m_slice.finish();
    checksum.crc = m_crc;
    m_slices.push_back(checksum);
    m_crc = 0;
    m_inSlice = 0;
}

PieceDigest PieceHasher::finish()
{
    PieceDigest digest;
    digest.length = m_wholeLength;
    if (!m_firstSliceDone && m_wholeLength > 0) {
        // A file of one short slice: its padding goes into a copy of the file's state.
        Md5 first(m_file);
        addZeros(m_sliceSize - m_wholeLength, [&](const std::uint8_t* data, std::size_t size) { first.add(data, size); });
        m_firstSliceMd5 = first.finish();
    }
    digest.md5 = m_file.finish();
    digest.startMd5 = m_start.finish();
    if (m_inSlice > 0) {
        // The last slice counts as padded with zeros up to the slice size.
        addZeros(m_sliceSize - m_inSlice, [&](const std::uint8_t* data, std::size_t size) { addToSlice(data, size); });
        closeSlice();
    }
    digest.slices = std::move(m_slices);
    if (!digest.slices.empty())
        digest.slices.front().md5 = m_firstSliceMd5;
    return digest;
}

} // namespace qfs
