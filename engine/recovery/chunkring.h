#pragma once

#include "engine/copy/workerthread.h"
#include "engine/recovery/recoverybuffer.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
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

    // Reads bytes [begin, end) of the file `fd` (named `path` in errors), a chunk of at most
    // recoveryReadChunk bytes at a time, each into a free slot's plain buffer, and hands each to
    // `use(slot, at, step)` for the file's bytes [at, at + step). `use` may post work on the slot
    // and returns its failure; the slot is given up after it. Each chunk is counted on `meter`,
    // which ends the reading with Cancelled once a stop is requested. Does not drain.
    // REQUIRES: the slots hold recoveryReadChunk bytes.
    template <class Use>
    Error read(FileLayer& layer, int fd, std::uint64_t begin, std::uint64_t end, const std::string& path,
               RunMeter& meter, Use&& use);

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
    WorkerThread m_thread{m_mutex, m_changed, m_stopping};
};

template <class Use>
Error ChunkRing::read(FileLayer& layer, int fd, std::uint64_t begin, std::uint64_t end, const std::string& path,
                      RunMeter& meter, Use&& use)
{
    for (std::uint64_t at = begin; at < end;) {
        const auto step = std::size_t(std::min<std::uint64_t>(recoveryReadChunk, end - at));
        Slot& slot = acquire();
        Error error = readExactly(layer, fd, slot.plain.data(), step, at, path);
        if (!error.failed())
            error = use(slot, at, step);
        release(slot);
        if (error.failed())
            return error;
        at += step;
        if (Error stop = meter.advance(step); stop.failed())
            return stop;
    }
    return {};
}

} // namespace qfs
