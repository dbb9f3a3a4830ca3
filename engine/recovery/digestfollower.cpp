#include "engine/recovery/digestfollower.h"

#include "engine/recovery/chunkring.h"
#include "engine/recovery/recoverybuffer.h"

#include <fcntl.h>

#include <cerrno>
#include <memory>

namespace qfs {

namespace {

// Chunks in flight between the reading thread and the one that takes the other half of the
// hashing.
constexpr std::size_t ringSlots = 4;

} // namespace

DigestFollower::DigestFollower(FileLayer& layer, int folderFd, const std::string& folderPath, std::uint64_t sliceSize,
                               std::stop_token stop)
    : m_layer(layer), m_folderFd(folderFd), m_folderPath(folderPath), m_sliceSize(sliceSize), m_stop(std::move(stop))
{
    // No thread to be had: finish() reads the pieces.
    m_thread.start([this] { run(); });
}

DigestFollower::~DigestFollower()
{
    m_thread.stop();
}

void DigestFollower::add(const std::string& name)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(name);
    }
    m_changed.notify_all();
}

Error DigestFollower::finish(std::vector<PieceDigest>& digests)
{
    if (!m_thread.running()) {
        ChunkRing ring(recoveryReadChunk, ringSlots);
        while (!m_queue.empty() && !m_error.failed()) {
            PieceDigest digest;
            m_error = this->digest(ring, m_queue.front(), digest);
            m_digests.push_back(std::move(digest));
            m_queue.pop_front();
        }
    } else {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return (m_queue.empty() && !m_busy) || m_error.failed(); });
    }
    if (m_error.failed())
        return m_error;
    digests = std::move(m_digests);
    return {};
}

void DigestFollower::run()
{
    std::unique_ptr<ChunkRing> ring;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_ending || !m_queue.empty(); });
        if (m_ending || m_error.failed())
            return;
        const std::string name = m_queue.front();
        m_busy = true;
        lock.unlock();
        PieceDigest digest;
        Error error;
        try {
            if (!ring)
                ring = std::make_unique<ChunkRing>(recoveryReadChunk, ringSlots);
            error = this->digest(*ring, name, digest);
        } catch (const std::bad_alloc&) {
            error = Error::fromErrno(ENOMEM, m_folderPath + "/" + name);
        }
        lock.lock();
        m_queue.pop_front();
        m_busy = false;
        if (error.failed())
            m_error = std::move(error);
        else
            m_digests.push_back(std::move(digest));
        m_changed.notify_all();
    }
}

// The two halves of the hashing go to two threads: the whole file's MD5 to the ring's worker,
// the slices' MD5 and CRC-32 to this one, which also reads.
Error DigestFollower::digest(ChunkRing& ring, const std::string& name, PieceDigest& digest)
{
    const std::string path = m_folderPath + "/" + name;
    FileHandle piece(m_layer, m_layer.openAt(m_folderFd, name.c_str(),
                                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (!piece.isOpen())
        return Error::fromErrno(errno, path);
    PieceHasher hasher(m_sliceSize);
    for (std::uint64_t offset = 0;;) {
        bool ending = m_stop.stop_requested();
        {
            std::lock_guard lock(m_mutex);
            ending = ending || m_ending;
        }
        if (ending) {
            ring.drain();
            return Error::cancelled(m_folderPath);
        }
        std::size_t got = 0;
        ChunkRing::Slot& slot = ring.acquire();
        const Error error = readFully(m_layer, piece.fd(), slot.plain.data(), recoveryReadChunk, offset, path, got);
        if (!error.failed()) {
            const std::uint8_t* data = slot.plain.data();
            PieceHasher* whole = &hasher;
            ring.post(slot, [whole, data, got] { whole->addWhole(data, got); });
            hasher.addSlices(data, got);
        }
        ring.release(slot);
        if (error.failed()) {
            ring.drain();
            return error;
        }
        offset += got;
        if (got < recoveryReadChunk)
            break;
    }
    ring.drain();
    digest = hasher.finish();
    return {};
}

} // namespace qfs
