#pragma once

#include "engine/recovery/recoverybuffer.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qfs {

// A second thread for the recovery work on the chunks a reading thread reads: the reader takes
// a slot, fills it, hands part of the work on it to the worker, does the rest itself, and gives
// the slot up; the slot is free again once both are done with it. Memory stays at slotCount
// slots, and the reader waits when it is that far ahead of the worker.
//
// One thread (the reader) calls every member; the worker is internal. Where no thread can be
// started, post() runs the work at once on the reader's thread: slower, never wrong.
class ChunkRing {
public:
    struct Slot {
        // The chunk as read, and the same bytes as a region for the field arithmetic.
        AlignedBuffer plain;
        AlignedBuffer region;
    };

    // Each slot holds `slotBytes` plain bytes (plus room for padding) in both buffers.
    ChunkRing(std::size_t slotBytes, std::size_t slotCount);
    // Drops work not yet started, waits for the running one, and ends the worker.
    ~ChunkRing();
    ChunkRing(const ChunkRing&) = delete;
    ChunkRing& operator=(const ChunkRing&) = delete;

    // A free slot; waits while every slot is in use.
    Slot& acquire();
    // Runs `work` on the worker after everything posted before; the slot stays in use until it
    // has run. At most once per acquire().
    void post(Slot& slot, std::function<void()> work);
    // The reader is done with the slot.
    void release(Slot& slot);
    // Waits until all posted work has run.
    void drain();

private:
    struct Job {
        std::size_t slot;
        std::function<void()> work;
    };
    void run();
    // REQUIRES: m_mutex held.
    void letGo(std::size_t slot);

    std::vector<Slot> m_slots;
    std::vector<int> m_holders;
    std::vector<std::size_t> m_free;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_stopping = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

} // namespace qfs
