#include "galoisfield.h"

// The library's header declares C functions without saying so.
extern "C" {
#include <gf_complete.h>
}

#include <stdexcept>

namespace qfs {

namespace {

constexpr int wordBits = 16;
constexpr std::uint64_t generatorPolynomial = 0x1100B;
// 65535 = 3 * 5 * 17 * 257: an exponent coprime to it makes 2^exponent a generator.
constexpr std::uint32_t groupOrder = 65535;
constexpr std::uint16_t two = 2;

bool coprimeToGroupOrder(std::uint32_t exponent)
{
    return exponent % 3 != 0 && exponent % 5 != 0 && exponent % 17 != 0 && exponent % 257 != 0;
}

} // namespace

struct GaloisField::Field {
    gf_t gf{};
};

GaloisField::GaloisField() : m_field(std::make_unique<Field>()), m_exponents(new std::uint16_t[maxSourceSlices])
{
    if (gf_init_hard(&m_field->gf, wordBits, GF_MULT_DEFAULT, GF_REGION_DEFAULT, GF_DIVIDE_DEFAULT,
                     generatorPolynomial, 0, 0, nullptr, nullptr)
        == 0)
        throw std::runtime_error("GF(2^16) could not be set up");
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
    gf_free(&m_field->gf, 1);
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
