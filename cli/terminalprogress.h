#pragma once

#include "engine/text/progresstext.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace qfs::cli {

// The progress of a run as one line on a terminal, redrawn in place. Does nothing at all when
// the descriptor is not a terminal, so that no progress ends up in a pipe or a log.
//
// report() may be called from any thread (the engine's worker); draw() and clear() belong to
// one thread, which calls draw() at the rate it wants the line redrawn.
class TerminalProgress {
public:
    explicit TerminalProgress(int fd, bool wanted = true);

    bool enabled() const { return m_enabled; }

    // The latest figures; cheap, lock-free.
    void report(std::uint64_t done, std::uint64_t total);

    // Redraws the line from the latest figures, cut to the terminal's width.
    void draw();
    // Removes the line, so that what is printed next starts on a clean line.
    void clear();

private:
    void write(const std::string& text);

    int m_fd;
    bool m_enabled;
    bool m_shown = false;
    std::atomic<std::uint64_t> m_done{0};
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<bool> m_reported{false};
    std::chrono::steady_clock::time_point m_start;
    ProgressMeter m_meter;
};

} // namespace qfs::cli
