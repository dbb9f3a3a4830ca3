#include "heldlayer.h"

#include <QTest>

#include <chrono>

namespace {

constexpr int waitMilliseconds = 30000;

} // namespace

ssize_t HeldLayer::pread(int fd, void* buffer, std::size_t count, off_t offset)
{
    hold();
    return FileLayer::pread(fd, buffer, count, offset);
}

ssize_t HeldLayer::pwrite(int fd, const void* buffer, std::size_t count, off_t offset)
{
    hold();
    return FileLayer::pwrite(fd, buffer, count, offset);
}

ssize_t HeldLayer::copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset, std::size_t count)
{
    hold();
    return FileLayer::copyFileRange(inFd, inOffset, outFd, outOffset, count);
}

void HeldLayer::arm()
{
    const std::lock_guard lock(m_mutex);
    m_armed = true;
}

bool HeldLayer::waitUntilHolding()
{
    return QTest::qWaitFor(
        [this] {
            const std::lock_guard lock(m_mutex);
            return m_holding;
        },
        waitMilliseconds);
}

void HeldLayer::release()
{
    {
        const std::lock_guard lock(m_mutex);
        m_armed = false;
    }
    m_changed.notify_all();
}

void HeldLayer::hold()
{
    std::unique_lock lock(m_mutex);
    if (!m_armed)
        return;
    m_holding = true;
    m_changed.wait_for(lock, std::chrono::seconds(longestHold), [this] { return !m_armed; });
    m_armed = false;
    m_holding = false;
}
