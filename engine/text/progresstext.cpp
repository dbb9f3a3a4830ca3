#include "engine/text/progresstext.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace qfs {

namespace {

constexpr double unitStep = 1024.0;
constexpr std::array<std::string_view, 4> byteUnits{"KB", "MB", "GB", "TB"};
constexpr std::size_t significantDigits = 3;
constexpr int secondsPerMinute = 60;
constexpr int secondsPerHour = 60 * secondsPerMinute;
constexpr std::string_view separator = " \u00B7 ";

// The value with `significantDigits` digits (more when it has more before the point),
// rounded to nearest, without trailing zeros after the point. Needs 1 <= value.
std::string significant(double value, const Wording& words)
{
    int decimals = int(significantDigits) - 1;
    for (double limit = 10; value >= limit && decimals > 0; limit *= 10)
        --decimals;
    std::array<char, 32> buffer{};
    // to_chars does not consult the locale, unlike printf.
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    std::string text(buffer.data(), result.ptr);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    if (const auto point = text.find('.'); point != std::string::npos)
        text.replace(point, 1, words.decimalPoint);
    return text;
}

} // namespace

std::string ProgressText::bytes(std::uint64_t count, const Wording& words)
{
    if (count < std::uint64_t(unitStep))
        return Wording::fill(count == 1 ? words.oneByte : words.manyBytes, {std::to_string(count)});
    double value = double(count) / unitStep;
    std::size_t unit = 0;
    // Whole units round half to even, so from 1023.5 on the text would read "1024".
    const double roundsToNextUnit = unitStep - 0.5;
    while (value >= roundsToNextUnit && unit + 1 < byteUnits.size()) {
        value /= unitStep;
        ++unit;
    }
    return significant(value, words) + " " + std::string(byteUnits[unit]);
}

std::string ProgressText::count(std::uint64_t value, const Wording& words)
{
    constexpr std::size_t groupWidth = 3;
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % groupWidth == 0)
            text += words.groupSeparator;
        text += digits[i];
    }
    return text;
}

std::string ProgressText::duration(double seconds, const Wording& words)
{
    if (!(seconds > 0))
        return Wording::fill(words.seconds, {"0"});
    const double whole = std::round(seconds);
    if (whole < secondsPerMinute)
        return Wording::fill(words.seconds, {std::to_string(int(whole))});
    if (whole < secondsPerHour) {
        const int total = int(whole);
        return Wording::fill(words.minutesSeconds,
                             {std::to_string(total / secondsPerMinute), std::to_string(total % secondsPerMinute)});
    }
    const double minutes = std::round(seconds / secondsPerMinute);
    const std::uint64_t hours = std::uint64_t(minutes) / secondsPerMinute;
    return Wording::fill(words.hoursMinutes,
                         {std::to_string(hours), std::to_string(std::uint64_t(minutes) % secondsPerMinute)});
}

std::string ProgressText::elapsed(double seconds, const Wording& words)
{
    constexpr double tenthsPerSecond = 10;
    constexpr double tenthsShown = 100; // up to 9.9 s
    const double tenths = seconds > 0 ? std::round(seconds * tenthsPerSecond) : 0.0;
    if (!(tenths < tenthsShown))
        return duration(seconds, words);
    std::array<char, 16> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                      tenths / tenthsPerSecond, std::chars_format::fixed, 1);
    std::string text(buffer.data(), result.ptr);
    text.replace(text.find('.'), 1, words.decimalPoint);
    return Wording::fill(words.seconds, {text});
}

std::string ProgressMeter::update(std::uint64_t done, std::uint64_t total, double elapsedSeconds)
{
    m_elapsed = elapsedSeconds;
    if (elapsedSeconds < measuringSeconds) {
        // Too few samples to smooth: the plain average since the start seeds the average.
        if (elapsedSeconds > 0)
            m_speed = double(done) / elapsedSeconds;
        m_lastSeconds = elapsedSeconds;
        m_lastDone = done;
    } else if (const double span = elapsedSeconds - m_lastSeconds; span >= sampleSeconds) {
        const double rate = done >= m_lastDone ? double(done - m_lastDone) / span : 0.0;
        if (m_speed < 0) {
            m_speed = rate;
        } else {
            const double weight = 1.0 - std::exp(-span / smoothingSeconds);
            m_speed += weight * (rate - m_speed);
        }
        m_lastSeconds = elapsedSeconds;
        m_lastDone = done;
    }

    constexpr double fullPercent = 100.0;
    const double percent =
        total == 0 ? fullPercent
                   : std::min(fullPercent, std::floor(fullPercent * double(done) / double(total)));
    const Wording& words = *m_words;
    std::string line = Wording::fill(words.percent, {std::to_string(int(percent))}) + std::string(separator) +
                       Wording::fill(words.doneOfTotal,
                                     {ProgressText::bytes(done, words), ProgressText::bytes(total, words)});
    if (const auto rate = speed()) {
        line += std::string(separator) +
                Wording::fill(words.perSecond, {ProgressText::bytes(std::uint64_t(std::llround(*rate)), words)});
        if (done < total)
            line += std::string(separator) +
                    Wording::fill(words.timeLeft, {ProgressText::duration(double(total - done) / *rate, words)});
    }
    return line;
}

std::optional<double> ProgressMeter::speed() const
{
    if (m_elapsed < measuringSeconds || !(m_speed > 0))
        return std::nullopt;
    return m_speed;
}

} // namespace qfs
