#pragma once

#include "engine/copy/workerthread.h"
#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/recovery/piecehasher.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace qfs {

class ChunkRing;

// Computes the recovery checksums of the pieces a split writes (PieceDigest), on a thread of
// its own that follows the split: each piece is read back as soon as it is complete, while it
// is still in the page cache and while the split copies the next ones. The checksums are then
// ready when the pieces are, and the recovery data takes one read of the pieces for its
// arithmetic alone (RecoveryCreator's `digests`) instead of one more for the MD5s, the costliest
// part of it.
//
// One thread calls every member; the reading thread is internal, and calls the file layer
// (openAt, pread, close) beside the split's own calls: the layer must allow that, as the
// system's does. Where no thread can be started, finish() reads the pieces itself: slower,
// never wrong. Memory: a few chunks of recoveryReadChunk, whatever the piece size.
class DigestFollower {
public:
    // Pieces are read from the opened folder, which must stay open until finish() or the end
    // of this object; a stop ends the reading within one read chunk.
    DigestFollower(FileLayer& layer, int folderFd, const std::string& folderPath, std::uint64_t sliceSize,
                   std::stop_token stop);
    // Stops the reading, dropping what is not read yet.
    ~DigestFollower();
    DigestFollower(const DigestFollower&) = delete;
    DigestFollower& operator=(const DigestFollower&) = delete;

    // The piece of this name, complete and closed, is next.
    void add(const std::string& name);
    // Waits until every piece added is read, and hands their digests over in the order they
    // were added, or the first failure (Cancelled on a stop).
    Error finish(std::vector<PieceDigest>& digests);

private:
    void run();
    Error digest(ChunkRing& ring, const std::string& name, PieceDigest& digest);

    FileLayer& m_layer;
    int m_folderFd;
    std::string m_folderPath;
    std::uint64_t m_sliceSize;
    std::stop_token m_stop;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;
    std::vector<PieceDigest> m_digests;
    Error m_error;
    bool m_busy = false;
    bool m_ending = false;
    WorkerThread m_thread{m_mutex, m_changed, m_ending};
};

} // namespace qfs
