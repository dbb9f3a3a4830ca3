#pragma once

#include "engine/fs/filelayer.h"

#include <condition_variable>
#include <mutex>

// The system's file layer, except that once armed it holds the engine's next read or write
// (through a buffer or in the kernel) until release(): a test then acts while a run is surely
// under way, without guessing at timings; a verification, which writes nothing, too. A hold that is never released ends by itself after
// `longestHold`, so a failing test cannot hang.
class HeldLayer : public qfs::FileLayer {
public:
    static constexpr int longestHold = 60; // seconds

    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override;
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override;
    ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                          std::size_t count) override;

    // The next read or write waits.
    void arm();
    // Waits, answering the window's events, until a write is held. False after a long while.
    bool waitUntilHolding();
    // Lets the held call, and every later one, go on.
    void release();

private:
    void hold();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_armed = false;
    bool m_holding = false;
};
