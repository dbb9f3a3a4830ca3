#pragma once

#include "engine/fs/filelayer.h"
#include "engine/copy/streamhash.h"
#include "engine/copy/workerthread.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace qfs {

// Hashes the bytes a copy moves, on worker threads, while the thread that reads and writes them
// goes on. Two streams: the piece stream (each piece file, signature included, one digest per
// piece) and the whole stream (the data of all pieces, which is the original file), both with
// the hash kind the pipe was made for.
//
// The bytes travel in a small ring of blocks: the copying thread takes a free block, fills and
// writes it, and hands it over; the block comes back once every stream it was given to is done
// with it. Memory stays at blockCount blocks whatever the size of the files, and the copying
// thread waits when it is that far ahead of the hashing.
//
// One thread (the copying thread) calls every member; the workers are internal.
class HashPipe {
public:
    enum Stream : unsigned { PieceStream = 1u, WholeStream = 2u };
    static constexpr unsigned bothStreams = PieceStream | WholeStream;
    static constexpr std::size_t defaultBlockCount = 8;

    // Bytes of one block handed to the streams; the block must stay untouched until returned.
    struct Span {
        const std::byte* data = nullptr;
        std::size_t size = 0;
    };

    // Starts one worker per stream. Where threads cannot be started, every hash is computed on
    // the calling thread inside submit(): slower, never wrong.
    // Throws std::bad_alloc when the blocks or the hash contexts cannot be had.
    // REQUIRES: blockBytes > 0, blockCount > 0.
    HashPipe(std::size_t blockBytes, std::size_t blockCount = defaultBlockCount, HashKind kind = HashKind::Sha256);
    // Stops the workers; work not yet done is dropped.
    ~HashPipe();
    HashPipe(const HashPipe&) = delete;
    HashPipe& operator=(const HashPipe&) = delete;

    // A free block of the constructor's blockBytes (rounded up to whole pages), page-aligned,
    // the caller's until it hands it back with submit() or release(). Waits while every block
    // is with the workers.
    std::byte* acquire();
    // Gives a block from acquire() back unused.
    void release(std::byte* block);
    // Hands the spans of `block` to the piece and the whole stream, after everything handed
    // over before; an empty span leaves that stream out. The caller gives the block up.
    // REQUIRES: block came from acquire(); both spans lie inside it.
    void submit(std::byte* block, Span piece, Span whole);
    // Adds `count` zero bytes (a hole of a sparse file) to the given streams. The zeros hold a
    // block of the ring until they are hashed, as data does: the caller waits when it is that
    // far ahead, and hands a long hole over in steps, checking between them for a stop, so that
    // neither it nor a worker is ever more than a few steps of hashing away from noticing one.
    void submitZeros(std::uint64_t count, unsigned streams);
    // Adds a few bytes (at most a block's) to the given streams.
    void submitBytes(std::string_view bytes, unsigned streams);
    // Ends the piece stream's current piece: its digest becomes the next of the piece digests,
    // and the stream starts on the next piece.
    void endPiece();

    // Appends to `digests` the digests of ended pieces that are complete and not yet taken by
    // an earlier call; never waits. The first call starts with the first piece.
    void takeFinishedPieces(std::vector<StreamHash::Digest>& digests);
    // Waits until everything handed over is hashed, appends the remaining piece digests to
    // `digests`, and returns the whole stream's digest; the whole stream then starts anew.
    StreamHash::Digest finish(std::vector<StreamHash::Digest>& digests);
    // True when a worker could not get memory from the hash library: the digests are then
    // worthless and the caller reports ENOMEM.
    bool failed() const { return m_failed.load(std::memory_order_relaxed); }

private:
    enum class Kind { Data, Zeros, EndPiece };
    struct Item {
        Kind kind;
        std::size_t block; // index of the block held: Data and Zeros
        Span span;
        std::uint64_t zeros;
    };
    struct Worker {
        StreamHash hash;
        std::mutex mutex;
        std::condition_variable wake; // work arrived or the pipe is stopping
        std::condition_variable idle; // the queue ran empty
        std::deque<Item> items;
        bool busy = false;
        bool stopping = false;
        std::vector<StreamHash::Digest> digests; // piece stream only: one per ended piece
        WorkerThread thread{mutex, wake, stopping};
    };
    void post(Worker& worker, const Item& item);
    void process(Worker& worker, const Item& item);
    void run(Worker& worker);
    void giveBack(std::size_t block);
    std::size_t indexOf(const std::byte* block) const;

    std::size_t m_blockBytes;
    std::size_t m_blockCount;
    PageBuffer m_memory;
    std::unique_ptr<std::atomic<int>[]> m_holders; // streams still holding each block
    std::mutex m_freeMutex;
    std::condition_variable m_freed;
    std::vector<std::size_t> m_free;
    Worker m_piece;
    Worker m_whole;
    bool m_threaded = false;
    std::size_t m_taken = 0; // piece digests handed out by takeFinishedPieces()/finish()
    std::atomic<bool> m_failed{false};
};

} // namespace qfs
