#include "engine/fs/tempname.h"

#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace qfs {

namespace {

constexpr std::string_view prefix = ".qfs-";
constexpr std::size_t randomLength = 12;
constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";

} // namespace

std::string TempName::random(std::string_view suffix)
{
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != ssize_t(sizeof bits)) {
        static std::atomic<std::uint64_t> counter{0};
        bits = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())
               ^ (++counter << 32) ^ std::uint64_t(::getpid());
    }
    std::string name(prefix);
    for (std::size_t i = 0; i < randomLength; ++i) {
        name += alphabet[bits % alphabet.size()];
        bits /= alphabet.size();
    }
    name += suffix;
    return name;
}

int TempName::makeFresh(std::string_view suffix, const std::function<bool(const std::string&)>& make,
                        std::string& name)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::string candidate = random(suffix);
        if (make(candidate)) {
            name = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

bool TempName::isOne(std::string_view name, std::string_view suffix)
{
    if (name.size() != prefix.size() + randomLength + suffix.size() || !name.starts_with(prefix)
        || !name.ends_with(suffix))
        return false;
    const std::string_view middle = name.substr(prefix.size(), randomLength);
    return middle.find_first_not_of(alphabet) == std::string_view::npos;
}

} // namespace qfs
