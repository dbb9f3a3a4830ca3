#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qfs {

// The sentences that name the pieces a check found wrong, shared by the join's refusals and
// whoever shows a verification's report. One name gives "movie.avi.0003 is damaged: its
// checksum differs."; several are listed as "a, b and c are …", and beyond namedLimit names
// the rest are counted: "a, b, c, d, e and 12 more are …".
class CheckMessages {
public:
    static constexpr std::size_t namedLimit = 5;

    // REQUIRES for all: names is not empty; total >= names.size() (the names may be the first
    // of a longer list).
    static std::string damaged(const std::vector<std::string>& names);
    static std::string missing(const std::vector<std::string>& names, std::uint64_t total);
    static std::string unlisted(const std::vector<std::string>& names);
    // "a", "a and b", "a, b and c", "a, b, c, d, e and 3 more".
    static std::string nameList(const std::vector<std::string>& names, std::uint64_t total);
};

} // namespace qfs
