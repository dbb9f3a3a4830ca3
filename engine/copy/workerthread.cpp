#include "engine/copy/workerthread.h"

#include <system_error>

namespace qfs {

WorkerThread::WorkerThread(std::mutex& mutex, std::condition_variable& wake, bool& stopping) noexcept
    : m_mutex(mutex), m_wake(wake), m_stopping(stopping)
{
}

WorkerThread::~WorkerThread()
{
    stop();
}

bool WorkerThread::start(std::function<void()> loop)
{
    try {
        m_thread = std::thread(std::move(loop));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool WorkerThread::running() const
{
    return m_thread.joinable();
}

void WorkerThread::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

} // namespace qfs
