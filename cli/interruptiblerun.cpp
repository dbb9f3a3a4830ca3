#include "interruptiblerun.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <new>
#include <thread>

namespace qfs::cli {

namespace {

// Closes a descriptor when the run ends, whichever way.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

InterruptibleRun::Outcome InterruptibleRun::run(const std::function<Error(std::stop_token)>& job,
                                                const std::function<void()>& tick,
                                                std::chrono::milliseconds tickInterval)
{
    sigset_t stopSignals;
    ::sigemptyset(&stopSignals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal our parent chose to ignore stays ignored (nohup, background jobs of a
        // script): Linux queues a blocked signal even when it is ignored, so it must not be
        // watched at all.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        ::sigaddset(&stopSignals, signal);
    }
    if (const int error = ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr); error != 0)
        return {Error::fromErrno(error, "pthread_sigmask"), 0};
    const Descriptor signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    if (signals.fd() < 0)
        return {Error::fromErrno(errno, "signalfd"), 0};
    const Descriptor finished(::eventfd(0, EFD_CLOEXEC));
    if (finished.fd() < 0)
        return {Error::fromErrno(errno, "eventfd"), 0};

    Outcome outcome;
    {
        std::jthread worker([&](std::stop_token stop) {
            try {
                outcome.error = job(stop);
            } catch (const std::bad_alloc&) {
                outcome.error = Error::fromErrno(ENOMEM, {});
            }
            const std::uint64_t one = 1;
            // Cannot fail: the counter is far from its limit and the descriptor is open.
            [[maybe_unused]] const ssize_t written = ::write(finished.fd(), &one, sizeof one);
        });

        enum { SignalSlot, FinishedSlot };
        std::array<pollfd, 2> watched{{{signals.fd(), POLLIN, 0}, {finished.fd(), POLLIN, 0}}};
        const int timeout = tick ? int(tickInterval.count()) : -1;
        for (;;) {
            const int ready = ::poll(watched.data(), watched.size(), timeout);
            if (ready < 0 && errno != EINTR)
                break; // cannot watch any more: wait for the job below, without ticks
            if (ready > 0 && (watched[SignalSlot].revents & POLLIN) != 0) {
                signalfd_siginfo info{};
                if (::read(signals.fd(), &info, sizeof info) == ssize_t(sizeof info) &&
                    outcome.signal == 0) {
                    outcome.signal = int(info.ssi_signo);
                    worker.request_stop();
                }
            }
            if (ready > 0 && (watched[FinishedSlot].revents & POLLIN) != 0)
                break;
            if (ready == 0 && tick)
                tick();
        }
        // Joined here rather than by the destructor, which would also ask the job to stop.
        worker.join();
    }
    return outcome;
}

} // namespace qfs::cli
