#include "engine/text/nametext.h"


namespace qfs {

namespace {

constexpr char32_t lastC0Control = 0x1F;
constexpr char32_t deleteControl = 0x7F;
constexpr char32_t lastC1Control = 0x9F;
constexpr char32_t escapeCharacter = 0x1B;
constexpr char32_t lastCodePoint = 0x10FFFF;
constexpr char32_t firstSurrogate = 0xD800;
constexpr char32_t lastSurrogate = 0xDFFF;

// What each length of UTF-8 sequence starts with, and the smallest code point it may carry (a
// smaller one is an overlong form, which is not UTF-8).
struct SequenceKind {
    unsigned char leadMask;
    unsigned char leadBits;
    std::size_t length;
    char32_t smallest;
};
constexpr SequenceKind sequenceKinds[] = {
    {0x80, 0x00, 1, 0x0},
    {0xE0, 0xC0, 2, 0x80},
    {0xF0, 0xE0, 3, 0x800},
    {0xF8, 0xF0, 4, 0x10000},
};
constexpr unsigned char continuationMask = 0xC0;
constexpr unsigned char continuationBits = 0x80;
constexpr int bitsPerContinuation = 6;
constexpr int bitsPerOctalDigit = 3;
constexpr unsigned octalDigitMask = 07;

// The length of the UTF-8 sequence `text` starts with, and its code point; 0 when the first
// byte starts none.
std::size_t sequenceAt(std::string_view text, char32_t& point)
{
    const auto lead = static_cast<unsigned char>(text.front());
    for (const SequenceKind& kind : sequenceKinds) {
        if ((lead & kind.leadMask) != kind.leadBits)
            continue;
        if (text.size() < kind.length)
            return 0;
        point = lead & static_cast<unsigned char>(~kind.leadMask);
        for (std::size_t i = 1; i < kind.length; ++i) {
            const auto next = static_cast<unsigned char>(text[i]);
            if ((next & continuationMask) != continuationBits)
                return 0;
            point = (point << bitsPerContinuation) | (next & static_cast<unsigned char>(~continuationMask));
        }
        if (point < kind.smallest || point > lastCodePoint || (point >= firstSurrogate && point <= lastSurrogate))
            return 0;
        return kind.length;
    }
    return 0;
}

bool isControl(char32_t point)
{
    return point <= lastC0Control || (point >= deleteControl && point <= lastC1Control);
}

// The letters a shell's $'…' knows for the common control characters.
char escapeLetter(char32_t point)
{
    switch (point) {
    case '\a': return 'a';
    case '\b': return 'b';
    case '\t': return 't';
    case '\n': return 'n';
    case '\v': return 'v';
    case '\f': return 'f';
    case '\r': return 'r';
    case escapeCharacter: return 'e';
    default: return 0;
    }
}

void appendOctal(std::string& text, unsigned char byte)
{
    text += '\\';
    for (int shift = 2 * bitsPerOctalDigit; shift >= 0; shift -= bitsPerOctalDigit)
        text += char('0' + ((unsigned(byte) >> shift) & octalDigitMask));
}

bool isPrintable(std::string_view name)
{
    for (std::size_t i = 0; i < name.size();) {
        char32_t point = 0;
        const std::size_t length = sequenceAt(name.substr(i), point);
        if (length == 0 || isControl(point))
            return false;
        i += length;
    }
    return true;
}

} // namespace

std::string NameText::printable(std::string_view name)
{
    if (isPrintable(name))
        return std::string(name);
    std::string text = "$'";
    for (std::size_t i = 0; i < name.size();) {
        char32_t point = 0;
        const std::size_t length = sequenceAt(name.substr(i), point);
        if (length == 0) {
            appendOctal(text, static_cast<unsigned char>(name[i]));
            ++i;
            continue;
        }
        if (!isControl(point)) {
            if (point == '\\' || point == '\'')
                text += '\\';
            text.append(name.substr(i, length));
        } else if (const char letter = escapeLetter(point); letter != 0) {
            text += '\\';
            text += letter;
        } else {
            for (std::size_t k = 0; k < length; ++k)
                appendOctal(text, static_cast<unsigned char>(name[i + k]));
        }
        i += length;
    }
    text += '\'';
    return text;
}

} // namespace qfs
