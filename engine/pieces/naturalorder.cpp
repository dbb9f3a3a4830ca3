#include "engine/pieces/naturalorder.h"

#include <cstddef>

namespace qfs {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

unsigned char folded(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

int sign(long long value)
{
    return (value > 0) - (value < 0);
}

} // namespace

int NaturalOrder::compare(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    int tieBreak = 0; // first difference in leading zeros, kept for names otherwise equal
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t zerosA = 0;
            std::size_t zerosB = 0;
            while (i < a.size() && a[i] == '0') {
                ++i;
                ++zerosA;
            }
            while (j < b.size() && b[j] == '0') {
                ++j;
                ++zerosB;
            }
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            const std::size_t lengthA = endA - i;
            const std::size_t lengthB = endB - j;
            if (lengthA != lengthB)
                return lengthA < lengthB ? -1 : 1;
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i] < b[j] ? -1 : 1;
            }
            if (tieBreak == 0 && zerosA != zerosB)
                tieBreak = zerosA > zerosB ? -1 : 1;
            continue;
        }
        const unsigned char ca = folded(a[i]);
        const unsigned char cb = folded(b[j]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    if (tieBreak != 0)
        return tieBreak;
    return sign(static_cast<long long>(a.compare(b)));
}

} // namespace qfs
