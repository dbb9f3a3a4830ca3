#include "engine/text/numbertext.h"

#include <charconv>
#include <cmath>

namespace qfs {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits the general number form keeps.
constexpr int significantDigits = 15;

} // namespace

double NumberText::val(std::string_view text)
{
    // Gather the characters of the leading number without its blanks, then convert them.
    std::string number;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && isBlank(text[i]))
            ++i;
    };
    auto takeDigits = [&] {
        bool any = false;
        for (skipBlanks(); i < text.size() && isDigit(text[i]); skipBlanks()) {
            number += text[i++];
            any = true;
        }
        return any;
    };

    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number += text[i++];
    bool mantissa = takeDigits();
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        mantissa = takeDigits() || mantissa;
    }
    if (!mantissa)
        return 0.0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::string exponent = "E";
        std::size_t back = i++;
        skipBlanks();
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            exponent += text[i++];
        const std::size_t before = exponent.size();
        for (skipBlanks(); i < text.size() && isDigit(text[i]); skipBlanks())
            exponent += text[i++];
        if (exponent.size() > before)
            number += exponent;
        else
            i = back;
    }
    // from_chars reads "." as the decimal point whatever the locale, unlike strtod.
    const char* begin = number.data();
    if (*begin == '+')
        ++begin;
    double value = 0.0;
    const auto result = std::from_chars(begin, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        const bool negative = *begin == '-';
        const bool hugeExponent = number.find("E-") == std::string::npos;
        value = hugeExponent ? HUGE_VAL : 0.0;
        return negative ? -value : value;
    }
    return value;
}

std::optional<double> NumberText::toNumber(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !(isDigit(text.front()) || text.front() == '.'))
        return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                           std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return negative ? -value : value;
}

std::string NumberText::formatGeneral(double value)
{
    if (value == 0.0)
        return "0";
    // to_chars writes the same under every locale; printf would take the decimal comma of one.
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general,
                                       significantDigits);
    std::string result(text, written.ptr);
    for (char& c : result) {
        if (c == 'e')
            c = 'E';
    }
    // The exponent is written with its sign and at least two digits ("E+15", "E-05").
    const auto e = result.find('E');
    if (e == std::string::npos)
        return result;
    std::string mantissa = result.substr(0, e);
    const char sign = result[e + 1];
    std::string digits = result.substr(e + 2);
    while (digits.size() > 2 && digits.front() == '0')
        digits.erase(0, 1);
    return mantissa + 'E' + sign + digits;
}

} // namespace qfs
