#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qfs {

// The number rules the tool applies to the text of its numeric fields.
class NumberText {
public:
    // The value of the number at the start of the text: blanks are skipped, "." is the only
    // decimal point, an exponent ("1E+20") is read; reading stops at the first character
    // that cannot continue the number, and text with no number gives 0.
    static double val(std::string_view text);

    // The whole text as a number, independent of the locale; blanks around it are allowed.
    // Empty when the text is not a number.
    static std::optional<double> toNumber(std::string_view text);

    // General number-to-text: no leading blank, up to 15 significant digits, exponent form
    // for magnitudes of 1E+15 and more ("1.23456789012346E+15").
    static std::string formatGeneral(double value);
};

} // namespace qfs
