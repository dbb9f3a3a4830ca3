#include "engine/recovery/galoisfield.h"

// The library's header declares C functions without saying so.
extern "C" {
#include <gf_complete.h>
}

#include <cstring>
#include <stdexcept>

namespace qfs {

namespace {

constexpr int wordBits = 16;
constexpr std::uint64_t generatorPolynomial = 0x1100B;
// 65535 = 3 * 5 * 17 * 257: an exponent coprime to it makes 2^exponent a generator.
constexpr std::uint32_t groupOrder = 65535;
constexpr std::uint16_t two = 2;
// The region method with the library's own word arrangement: 16-bit words split into 4-bit
// pieces, looked up 16 at a time by the vector unit.
constexpr int splitWordBits = 16;
constexpr int splitTableBits = 4;
// Within a block, the high bytes of its words come first, then the low bytes.
constexpr std::size_t wordsPerBlock = GaloisField::regionBlock / 2;
// A few blocks of words that differ in both bytes, and a factor, to prove the arrangement.
constexpr std::size_t probeBytes = 4 * GaloisField::regionBlock;
constexpr std::uint16_t probeFactor = 0xA5C3;

bool coprimeToGroupOrder(std::uint32_t exponent)
{
    return exponent % 3 != 0 && exponent % 5 != 0 && exponent % 17 != 0 && exponent % 257 != 0;
}

} // namespace

struct GaloisField::Field {
    gf_t gf{};
    bool initialised = false;
};

GaloisField::GaloisField() : m_field(std::make_unique<Field>()), m_exponents(new std::uint16_t[maxSourceSlices])
{
    // The library's arrangement where it has one and it is the one converted to and from here;
    // otherwise its default method on plain words.
    if (gf_init_hard(&m_field->gf, wordBits, GF_MULT_SPLIT_TABLE, GF_REGION_ALTMAP, GF_DIVIDE_DEFAULT,
                     generatorPolynomial, splitWordBits, splitTableBits, nullptr, nullptr)
        != 0) {
        m_field->initialised = true;
        m_altered = true;
        if (!arrangementHolds()) {
            gf_free(&m_field->gf, 1);
            m_field->initialised = false;
            m_altered = false;
        }
    }
    if (!m_field->initialised) {
        if (gf_init_hard(&m_field->gf, wordBits, GF_MULT_DEFAULT, GF_REGION_DEFAULT, GF_DIVIDE_DEFAULT,
                         generatorPolynomial, 0, 0, nullptr, nullptr)
            == 0)
            throw std::runtime_error("GF(2^16) could not be set up");
        m_field->initialised = true;
    }
    std::uint32_t exponent = 0;
    for (std::uint32_t i = 0; i < maxSourceSlices; ++i) {
        do
            ++exponent;
        while (!coprimeToGroupOrder(exponent));
        m_exponents[i] = std::uint16_t(exponent);
    }
}

GaloisField::~GaloisField()
{
    if (m_field->initialised)
        gf_free(&m_field->gf, 1);
}

bool GaloisField::arrangementHolds() const
{
    std::uint8_t plain[probeBytes];
    for (std::size_t i = 0; i < probeBytes; ++i)
        plain[i] = std::uint8_t(i * 37 + 11);
    alignas(regionAlignment) std::uint8_t source[probeBytes];
    alignas(regionAlignment) std::uint8_t product[probeBytes] = {};
    toRegionLayout(plain, source, probeBytes);
    multiplyAdd(source, product, probeFactor, probeBytes);
    std::uint8_t result[probeBytes];
    fromRegionLayout(product, result, probeBytes);
    for (std::size_t i = 0; i < probeBytes; i += 2) {
        const auto word = std::uint16_t(plain[i] | plain[i + 1] << 8);
        const auto expected = multiply(word, probeFactor);
        if (result[i] != (expected & 0xFF) || result[i + 1] != expected >> 8)
            return false;
    }
    return true;
}

void GaloisField::toRegionLayout(const void* plain, void* region, std::size_t bytes) const
{
    const auto* in = static_cast<const std::uint8_t*>(plain);
    auto* out = static_cast<std::uint8_t*>(region);
    const std::size_t size = regionSize(bytes);
    if (!m_altered) {
        std::memcpy(out, in, bytes);
        std::memset(out + bytes, 0, size - bytes);
        return;
    }
    const std::size_t whole = bytes / regionBlock * regionBlock;
    // Plain loops the compiler turns into vector shuffles.
    for (std::size_t block = 0; block < whole; block += regionBlock) {
        for (std::size_t i = 0; i < wordsPerBlock; ++i) {
            out[block + i] = in[block + 2 * i + 1];
            out[block + wordsPerBlock + i] = in[block + 2 * i];
        }
    }
    if (whole < size) {
        std::uint8_t last[regionBlock] = {};
        std::memcpy(last, in + whole, bytes - whole);
        for (std::size_t i = 0; i < wordsPerBlock; ++i) {
            out[whole + i] = last[2 * i + 1];
            out[whole + wordsPerBlock + i] = last[2 * i];
        }
    }
}

void GaloisField::fromRegionLayout(const void* region, void* plain, std::size_t bytes) const
{
    const auto* in = static_cast<const std::uint8_t*>(region);
    auto* out = static_cast<std::uint8_t*>(plain);
    if (!m_altered) {
        std::memcpy(out, in, bytes);
        return;
    }
    const std::size_t whole = bytes / regionBlock * regionBlock;
    for (std::size_t block = 0; block < whole; block += regionBlock) {
        for (std::size_t i = 0; i < wordsPerBlock; ++i) {
            out[block + 2 * i + 1] = in[block + i];
            out[block + 2 * i] = in[block + wordsPerBlock + i];
        }
    }
    if (whole < bytes) {
        std::uint8_t last[regionBlock];
        for (std::size_t i = 0; i < wordsPerBlock; ++i) {
            last[2 * i + 1] = in[whole + i];
            last[2 * i] = in[whole + wordsPerBlock + i];
        }
        std::memcpy(out + whole, last, bytes - whole);
    }
}

std::uint16_t GaloisField::multiply(std::uint16_t a, std::uint16_t b) const
{
    return std::uint16_t(m_field->gf.multiply.w32(&m_field->gf, a, b));
}

std::uint16_t GaloisField::divide(std::uint16_t a, std::uint16_t b) const
{
    return std::uint16_t(m_field->gf.divide.w32(&m_field->gf, a, b));
}

std::uint16_t GaloisField::power(std::uint16_t base, std::uint32_t exponent) const
{
    // Every nonzero element's order divides 65535, so the exponent can be reduced first.
    if (base != 0)
        exponent %= groupOrder;
    std::uint16_t result = 1;
    std::uint16_t square = base;
    while (exponent != 0) {
        if (exponent & 1)
            result = multiply(result, square);
        square = multiply(square, square);
        exponent >>= 1;
    }
    return result;
}

std::uint16_t GaloisField::sourceConstant(std::uint32_t index) const
{
    return power(two, m_exponents[index]);
}

void GaloisField::multiplyAdd(const void* source, void* dest, std::uint16_t factor,
                              std::size_t bytes) const
{
    if (bytes == 0 || factor == 0)
        return;
    m_field->gf.multiply_region.w32(&m_field->gf, const_cast<void*>(source), dest, factor,
                                    int(bytes), 1);
}

} // namespace qfs
