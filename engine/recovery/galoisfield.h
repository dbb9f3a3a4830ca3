#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qfs {

// GF(2^16) with the generator polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B), the field the
// recovery volumes are computed in, through GF-Complete. Field elements are 16-bit words;
// data is a sequence of little-endian 16-bit words.
//
// Region arithmetic works on regions in the library's own arrangement of the words within each
// block of regionBlock bytes, where its vector code is about three times as fast as on plain
// words: data goes in with toRegionLayout() and comes out with fromRegionLayout(). Where the
// processor or the library offers no such arrangement the two are plain copies.
// The const members may be called from several threads at once.
class GaloisField {
public:
    GaloisField();
    ~GaloisField();
    GaloisField(const GaloisField&) = delete;
    GaloisField& operator=(const GaloisField&) = delete;

    // The largest number of source slices a recovery set may have: there are only this many
    // usable constants (powers of 2 whose exponent shares no factor with 65535).
    static constexpr std::uint32_t maxSourceSlices = 32768;
    // Regions are whole blocks of this many bytes.
    static constexpr std::size_t regionBlock = 32;
    // Where regions start: the library needs source and destination equally aligned.
    static constexpr std::size_t regionAlignment = 64;

    std::uint16_t multiply(std::uint16_t a, std::uint16_t b) const;
    // REQUIRES: b != 0.
    std::uint16_t divide(std::uint16_t a, std::uint16_t b) const;
    std::uint16_t power(std::uint16_t base, std::uint32_t exponent) const;
    // The constant of the source slice at `index` in the set's order: 2 raised to the
    // index-th exponent (counting from 0) not divisible by 3, 5, 17 or 257.
    // REQUIRES: index < maxSourceSlices.
    std::uint16_t sourceConstant(std::uint32_t index) const;
    // The coefficient of source slice `index` in the recovery slice of `exponent`.
    std::uint16_t coefficient(std::uint32_t index, std::uint32_t exponent) const
    {
        return power(sourceConstant(index), exponent);
    }

    // The number of bytes a region of `bytes` data bytes takes: whole blocks, the rest zeros.
    static constexpr std::size_t regionSize(std::size_t bytes)
    {
        return (bytes + regionBlock - 1) / regionBlock * regionBlock;
    }
    // Writes `bytes` plain bytes as a region of regionSize(bytes) bytes to `region`, the end
    // padded with zeros. REQUIRES: region is aligned to regionAlignment.
    void toRegionLayout(const void* plain, void* region, std::size_t bytes) const;
    // Writes the first `bytes` plain bytes of `region` to `plain`.
    void fromRegionLayout(const void* region, void* plain, std::size_t bytes) const;
    // dest ^= factor * source over `bytes` bytes of two regions.
    // REQUIRES: bytes is a multiple of regionBlock and below 2 GiB; source and dest aligned to
    // regionAlignment.
    void multiplyAdd(const void* source, void* dest, std::uint16_t factor, std::size_t bytes) const;

private:
    // Whether a multiplication through the arrangement converted here gives the right words.
    bool arrangementHolds() const;

    struct Field;
    std::unique_ptr<Field> m_field;
    // Exponents of the source constants, filled once.
    std::unique_ptr<std::uint16_t[]> m_exponents;
    // Whether regions are in the library's arrangement rather than plain words.
    bool m_altered = false;
};

} // namespace qfs
