#include "engine/copy/hashpipe.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qfs {

namespace {

// Holes are hashed from this many zero bytes at a time.
constexpr std::size_t zeroChunk = 64 * 1024;
const std::array<std::byte, zeroChunk> zeroBytes{};

} // namespace

HashPipe::HashPipe(std::size_t blockBytes, std::size_t blockCount, HashKind kind)
    : m_blockBytes(std::size_t(roundUp(blockBytes, pageSize)))
    , m_blockCount(blockCount)
    , m_memory(allocatePages(m_blockBytes * m_blockCount))
{
    m_piece.hash = StreamHash(kind);
    m_whole.hash = StreamHash(kind);
    m_holders = std::make_unique<std::atomic<int>[]>(m_blockCount);
    m_free.reserve(m_blockCount);
    for (std::size_t i = m_blockCount; i > 0; --i)
        m_free.push_back(i - 1);

    m_threaded = m_piece.thread.start([this] { run(m_piece); }) && m_whole.thread.start([this] { run(m_whole); });
    if (!m_threaded)
        m_piece.thread.stop(); // No threads to be had: submit() hashes on the calling thread.
}

HashPipe::~HashPipe()
{
    m_piece.thread.stop();
    m_whole.thread.stop();
}

std::size_t HashPipe::indexOf(const std::byte* block) const
{
    return std::size_t(block - m_memory.get()) / m_blockBytes;
}

std::byte* HashPipe::acquire()
{
    std::unique_lock lock(m_freeMutex);
    m_freed.wait(lock, [this] { return !m_free.empty(); });
    const std::size_t block = m_free.back();
    m_free.pop_back();
    return m_memory.get() + block * m_blockBytes;
}

void HashPipe::giveBack(std::size_t block)
{
    {
        std::lock_guard lock(m_freeMutex);
        m_free.push_back(block);
    }
    m_freed.notify_one();
}

void HashPipe::release(std::byte* block)
{
    giveBack(indexOf(block));
}

void HashPipe::submit(std::byte* block, Span piece, Span whole)
{
    const std::size_t index = indexOf(block);
    const int holders = (piece.size > 0 ? 1 : 0) + (whole.size > 0 ? 1 : 0);
    if (holders == 0) {
        giveBack(index);
        return;
    }
    m_holders[index].store(holders, std::memory_order_relaxed);
    if (piece.size > 0)
        post(m_piece, Item{Kind::Data, index, piece, 0});
    if (whole.size > 0)
        post(m_whole, Item{Kind::Data, index, whole, 0});
}

void HashPipe::submitZeros(std::uint64_t count, unsigned streams)
{
    const bool toPiece = (streams & PieceStream) != 0;
    const bool toWhole = (streams & WholeStream) != 0;
    if (count == 0 || (!toPiece && !toWhole))
        return;
    const std::size_t index = indexOf(acquire());
    m_holders[index].store((toPiece ? 1 : 0) + (toWhole ? 1 : 0), std::memory_order_relaxed);
    if (toPiece)
        post(m_piece, Item{Kind::Zeros, index, {}, count});
    if (toWhole)
        post(m_whole, Item{Kind::Zeros, index, {}, count});
}

void HashPipe::submitBytes(std::string_view bytes, unsigned streams)
{
    std::byte* block = acquire();
    std::memcpy(block, bytes.data(), std::min(bytes.size(), m_blockBytes));
    const Span span{block, std::min(bytes.size(), m_blockBytes)};
    submit(block, (streams & PieceStream) != 0 ? span : Span{}, (streams & WholeStream) != 0 ? span : Span{});
}

void HashPipe::endPiece()
{
    post(m_piece, Item{Kind::EndPiece, 0, {}, 0});
}

void HashPipe::post(Worker& worker, const Item& item)
{
    if (!m_threaded) {
        process(worker, item);
        return;
    }
    {
        std::lock_guard lock(worker.mutex);
        worker.items.push_back(item);
    }
    worker.wake.notify_one();
}

// Runs on the worker's thread, or on the caller's when there are no workers. Only the hashing
// happens outside the worker's lock; the digests are appended under it.
void HashPipe::process(Worker& worker, const Item& item)
{
    try {
        if (!failed()) {
            switch (item.kind) {
            case Kind::Data:
                worker.hash.update(item.span.data, item.span.size);
                break;
            case Kind::Zeros:
                for (std::uint64_t left = item.zeros; left > 0;) {
                    const std::size_t step = std::size_t(std::min<std::uint64_t>(left, zeroChunk));
                    worker.hash.update(zeroBytes.data(), step);
                    left -= step;
                }
                break;
            case Kind::EndPiece: {
                const StreamHash::Digest digest = worker.hash.finish();
                std::lock_guard lock(worker.mutex);
                worker.digests.push_back(digest);
                break;
            }
            }
        }
    } catch (const std::bad_alloc&) {
        m_failed.store(true, std::memory_order_relaxed);
    }
    if (item.kind != Kind::EndPiece && m_holders[item.block].fetch_sub(1, std::memory_order_acq_rel) == 1)
        giveBack(item.block);
}

void HashPipe::run(Worker& worker)
{
    std::unique_lock lock(worker.mutex);
    for (;;) {
        worker.wake.wait(lock, [&] { return worker.stopping || !worker.items.empty(); });
        if (worker.stopping)
            return;
        const Item item = worker.items.front();
        worker.items.pop_front();
        worker.busy = true;
        lock.unlock();
        process(worker, item);
        lock.lock();
        worker.busy = false;
        if (worker.items.empty())
            worker.idle.notify_all();
    }
}

void HashPipe::takeFinishedPieces(std::vector<StreamHash::Digest>& digests)
{
    std::lock_guard lock(m_piece.mutex);
    digests.insert(digests.end(), m_piece.digests.begin() + std::ptrdiff_t(m_taken), m_piece.digests.end());
    m_taken = m_piece.digests.size();
}

StreamHash::Digest HashPipe::finish(std::vector<StreamHash::Digest>& digests)
{
    if (m_threaded) {
        for (Worker* worker : {&m_piece, &m_whole}) {
            std::unique_lock lock(worker->mutex);
            worker->idle.wait(lock, [&] { return worker->items.empty() && !worker->busy; });
        }
    }
    takeFinishedPieces(digests);
    // The whole stream's worker is idle: its hash is this thread's to finish.
    std::lock_guard lock(m_whole.mutex);
    return m_whole.hash.finish();
}

} // namespace qfs
