#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qfs {

// GF(2^16) with the generator polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B), the field the
// recovery volumes are computed in, through GF-Complete. Field elements are 16-bit words;
// data regions are sequences of little-endian 16-bit words.
class GaloisField {
public:
    GaloisField();
    ~GaloisField();
    GaloisField(const GaloisField&) = delete;
    GaloisField& operator=(const GaloisField&) = delete;

    // The largest number of source slices a recovery set may have: there are only this many
    // usable constants (powers of 2 whose exponent shares no factor with 65535).
    static constexpr std::uint32_t maxSourceSlices = 32768;

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
    // dest ^= factor * source, word by word. REQUIRES: bytes is even and below 2 GiB.
    void multiplyAdd(const void* source, void* dest, std::uint16_t factor, std::size_t bytes) const;

private:
    struct Field;
    std::unique_ptr<Field> m_field;
    // Exponents of the source constants, filled once.
    std::unique_ptr<std::uint16_t[]> m_exponents;
};

} // namespace qfs
