#include "checkmessages.h"

#include "nametext.h"

#include <algorithm>

namespace qfs {

std::string CheckMessages::nameList(const std::vector<std::string>& names, std::uint64_t total)
{
    total = std::max<std::uint64_t>(total, names.size());
    const std::size_t shown = std::min(names.size(), namedLimit);
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += i + 1 == shown && total == shown ? " and " : ", ";
        text += NameText::printable(names[i]); // a received name may hold control characters
    }
    if (total > shown)
        text += " and " + std::to_string(total - shown) + " more";
    return text;
}

std::string CheckMessages::damaged(const std::vector<std::string>& names)
{
    return nameList(names, names.size())
           + (names.size() == 1 ? " is damaged: its checksum differs." : " are damaged: their checksums differ.");
}

std::string CheckMessages::missing(const std::vector<std::string>& names, std::uint64_t total)
{
    return nameList(names, total) + (std::max<std::uint64_t>(total, names.size()) == 1 ? " is missing." : " are missing.");
}

std::string CheckMessages::unlisted(const std::vector<std::string>& names)
{
    return nameList(names, names.size())
           + (names.size() == 1 ? " is not in the checksum file." : " are not in the checksum file.");
}

} // namespace qfs
