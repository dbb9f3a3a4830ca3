#include "terminalprogress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace qfs::cli {

namespace {

constexpr const char* carriageReturn = "\r";
constexpr const char* clearToEndOfLine = "\x1b[K";

// The text cut to at most `columns` characters (UTF-8 code points; the line holds no wide ones).
std::string fitted(const std::string& text, std::size_t columns)
{
    constexpr unsigned char continuationMask = 0xC0;
    constexpr unsigned char continuationBits = 0x80;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & continuationMask) == continuationBits)
            continue;
        if (shown++ == columns)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

TerminalProgress::TerminalProgress(int fd, bool wanted)
    : m_fd(fd),
      m_enabled(wanted && ::isatty(fd) == 1),
      m_start(std::chrono::steady_clock::now())
{
}

void TerminalProgress::report(std::uint64_t done, std::uint64_t total)
{
    m_done.store(done, std::memory_order_relaxed);
    m_total.store(total, std::memory_order_relaxed);
    m_reported.store(true, std::memory_order_release);
}

void TerminalProgress::draw()
{
    if (!m_enabled || !m_reported.load(std::memory_order_acquire))
        return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    std::string line = m_meter.update(m_done.load(std::memory_order_relaxed),
                                      m_total.load(std::memory_order_relaxed), elapsed);
    winsize size{};
    // Leave the last column free: writing into it makes some terminals wrap at once.
    if (::ioctl(m_fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        line = fitted(line, std::size_t(size.ws_col) - 1);
    write(carriageReturn + line + clearToEndOfLine);
    m_shown = true;
}

void TerminalProgress::clear()
{
    if (!m_shown)
        return;
    write(std::string(carriageReturn) + clearToEndOfLine);
    m_shown = false;
}

void TerminalProgress::write(const std::string& text)
{
    // Progress is a courtesy: a terminal that fails to take it costs nothing else.
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t written = ::write(m_fd, text.data() + at, text.size() - at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        at += std::size_t(written);
    }
}

} // namespace qfs::cli
