#include "engine/text/wording.h"

namespace qfs {

std::string Wording::fill(std::string_view pattern, std::initializer_list<std::string_view> parts)
{
    std::string text;
    text.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool marker = pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
                            pattern[i + 1] <= '9';
        const std::size_t index = marker ? std::size_t(pattern[i + 1] - '1') : parts.size();
        if (index < parts.size()) {
            text += parts.begin()[index];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

const Wording& Wording::english()
{
    static const Wording words;
    return words;
}

} // namespace qfs
