#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qfs {

// The thread of a worker loop that waits on its owner's condition variable until its owner's
// stop flag is set. Starting may fail where the system gives no thread; the owner then does the
// work on its own thread. Stopping sets the flag under the owner's mutex, wakes every waiter and
// waits for the loop to return.
//
// Declare it after the mutex, condition variable and flag it refers to, so that it stops before
// they go.
class WorkerThread {
public:
    WorkerThread(std::mutex& mutex, std::condition_variable& wake, bool& stopping) noexcept;
    // stop().
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `loop` on a thread of its own; false, with nothing started, when the system gives no
    // thread. At most once. The loop must return once it sees the stop flag set.
    bool start(std::function<void()> loop);
    // Whether start() succeeded and stop() has not run yet.
    bool running() const;
    // Ends the loop as the class comment says; nothing when it is not running.
    void stop();

private:
    std::mutex& m_mutex;
    std::condition_variable& m_wake;
    bool& m_stopping;
    std::thread m_thread;
};

} // namespace qfs
