#pragma once

#include "engine/text/wording.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qfs {

// Texts that describe the progress of a long run, the same in the window and on a terminal.
// Independent of the C library's locale: the words and the number marks are the Wording's,
// by default English with "." as the decimal point and "," grouping thousands.
class ProgressText {
public:
    // A byte count in the largest power-of-1024 unit (KB, MB, GB, TB) that leaves at least 1,
    // with three significant digits and no trailing zeros after the point:
    // 0 -> "0 bytes", 1 -> "1 byte", 512 -> "512 bytes", 1331 -> "1.3 KB",
    // 4.37 GiB -> "4.37 GB", 1000 KiB -> "1000 KB". Rounds to nearest; a value that rounds up
    // to 1024 of a unit is shown in the next one ("1 MB").
    static std::string bytes(std::uint64_t count, const Wording& words = Wording::english());

    // A whole number with its thousands grouped: 1024 -> "1,024".
    static std::string count(std::uint64_t value, const Wording& words = Wording::english());

    // A span of time, rounded to the nearest second below an hour and to the nearest minute
    // from an hour on: "4 s", "2 min 5 s", "1 h 3 min". Negative or not-a-number spans are "0 s".
    static std::string duration(double seconds, const Wording& words = Wording::english());

    // How long a finished run took: tenths of a second below ten seconds ("0.3 s", "2.1 s"),
    // then as duration() ("12 s", "2 min 5 s").
    static std::string elapsed(double seconds, const Wording& words = Wording::english());
};

// Turns a stream of (bytes done, total, seconds since the start) samples into the one-line
// progress text "42 % · 1.3 GB of 3.1 GB · 410 MB/s · 4 s left".
//
// The speed is an exponential moving average over roughly the last few seconds, so that one
// slow or fast burst (a cache flush, a cache hit) does not make the figure jump. Speed and time
// left appear only once the run has been measured for a while; until then the line holds the
// percentage and the bytes alone. The percentage is rounded down, so "100 %" means all done.
class ProgressMeter {
public:
    // How long the run is watched before a speed is shown.
    static constexpr double measuringSeconds = 1.0;
    // Samples closer together than this are folded into the next one.
    static constexpr double sampleSeconds = 0.2;
    // Time constant of the moving average: older rates fade by 1/e over this span.
    static constexpr double smoothingSeconds = 3.0;

    // The line is worded by `words`, which must outlive the meter.
    explicit ProgressMeter(const Wording& words = Wording::english()) : m_words(&words) {}

    // Takes one sample; elapsedSeconds must not go backwards between calls. Returns the line.
    std::string update(std::uint64_t done, std::uint64_t total, double elapsedSeconds);

    // Bytes per second, once it is meaningful.
    std::optional<double> speed() const;

private:
    const Wording* m_words;
    double m_lastSeconds = 0;
    std::uint64_t m_lastDone = 0;
    double m_speed = -1; // negative: no rate measured yet
    double m_elapsed = 0;
};

} // namespace qfs
