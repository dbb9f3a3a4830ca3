#include "engine/recovery/chunkring.h"

#include "engine/recovery/galoisfield.h"

namespace qfs {

ChunkRing::ChunkRing(std::size_t slotBytes, std::size_t slotCount)
    : m_slots(slotCount), m_holders(slotCount, 0)
{
    for (std::size_t i = 0; i < slotCount; ++i) {
        m_slots[i].plain = AlignedBuffer(slotBytes);
        m_slots[i].region = AlignedBuffer(GaloisField::regionSize(slotBytes));
        m_free.push_back(slotCount - 1 - i);
    }
    // Without a thread, post() does the work itself.
    m_thread.start([this] { run(); });
}

ChunkRing::~ChunkRing()
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.clear();
    }
    m_thread.stop();
}

ChunkRing::Slot& ChunkRing::acquire()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty(); });
    const std::size_t slot = m_free.back();
    m_free.pop_back();
    m_holders[slot] = 1;
    return m_slots[slot];
}

void ChunkRing::post(Slot& slot, std::function<void()> work)
{
    if (!m_thread.running()) {
        work();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        const auto index = std::size_t(&slot - m_slots.data());
        ++m_holders[index];
        m_jobs.push_back({index, std::move(work)});
    }
    m_changed.notify_all();
}

void ChunkRing::release(Slot& slot)
{
    {
        std::lock_guard lock(m_mutex);
        letGo(std::size_t(&slot - m_slots.data()));
    }
    m_changed.notify_all();
}

void ChunkRing::letGo(std::size_t slot)
{
    if (--m_holders[slot] == 0)
        m_free.push_back(slot);
}

void ChunkRing::drain()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void ChunkRing::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_stopping)
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        job.work();
        lock.lock();
        m_busy = false;
        letGo(job.slot);
        m_changed.notify_all();
    }
}

} // namespace qfs
