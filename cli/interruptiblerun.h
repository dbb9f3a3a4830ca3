#pragma once

#include "engine/fs/error.h"

#include <chrono>
#include <functional>
#include <stop_token>

namespace qfs::cli {

// Runs one engine job on a worker thread and turns SIGINT, SIGTERM and SIGHUP into a stop
// request for it, so that an interrupted run still removes what it wrote before the program
// ends. No signal handler runs at all: the signals are blocked in every thread and read from a
// signalfd by the calling thread, which also calls `tick` while it waits. A signal that was
// ignored when the program started (nohup, a background job of a script) stays ignored.
class InterruptibleRun {
public:
    struct Outcome {
        Error error;
        // The signal that asked the run to stop, or 0.
        int signal = 0;
    };

    // The job gets the stop token it must honour. `tick` runs on the calling thread about every
    // `tickInterval` while the job runs (never when it is empty). A second signal while the
    // job is cleaning up changes nothing: the cleanup is what leaves the disk as it was.
    //
    // Needs: to be called before any other thread exists, so that every thread inherits the
    // blocked signals. The signals stay blocked afterwards, so one that arrives after the job
    // is over is recorded in `signal` only if it arrived while the job ran.
    static Outcome run(const std::function<Error(std::stop_token)>& job,
                       const std::function<void()>& tick,
                       std::chrono::milliseconds tickInterval);
};

} // namespace qfs::cli
