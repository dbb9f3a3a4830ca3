#include "engine/recovery/recoverycreator.h"

#include "engine/fs/atomicfile.h"
#include "engine/recovery/chunkring.h"
#include "engine/recovery/galoisfield.h"
#include "engine/recovery/par2format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>

namespace qfs {

namespace {

// Chunks in flight between the reading thread and the worker.
constexpr std::size_t ringSlots = 4;

// What the work on one byte of a piece costs, relative to an MD5 of it, as measured with
// libcrypto, GF-Complete's vector code and ISA-L: the two threads share the work by these.
constexpr double md5Cost = 1.0;
constexpr double crcCost = 0.05;
// Per recovery slice.
constexpr double multiplyCost = 0.25;
// Reading the chunk and converting it for the arithmetic, on the reading thread.
constexpr double readCost = 0.15;

struct SourcePiece {
    std::string name;
    std::string path;
    std::uint64_t size = 0;
    std::unique_ptr<FileHandle> file;
    Md5Digest fileId{};
    std::uint32_t firstSlice = 0;
    std::uint32_t sliceCount = 0;
    PieceDigest digest;
    std::unique_ptr<PieceHasher> hasher;
};

// Where a recovery slice's data lies: in which output file, at which offset.
struct SliceSpot {
    std::size_t file = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t packetOffset = 0;
};

class CreateRun {
public:
    CreateRun(FileLayer& layer, int folderFd, const std::string& folderPath,
              const RecoveryPlan& plan, const RecoveryRun& run, gid_t group)
        : m_layer(layer), m_folderFd(folderFd), m_folderPath(folderPath), m_plan(plan), m_meter(run, 0),
          m_group(group)
    {
    }

    Error execute(const std::vector<RecoveryPiece>& pieces, const std::vector<PieceDigest>& digests);

private:
    std::string pathOf(const std::string& name) const { return m_folderPath + "/" + name; }
    Error openPieces(const std::vector<RecoveryPiece>& pieces, const std::vector<PieceDigest>& digests);
    Error openOutputs();
    // Reads every piece once for its checksums alone.
    Error hashPieces();
    // How many of `outputs` recovery slices the worker computes, beside its half of the
    // checksums when `hashing`, so that both threads have about as much to do.
    std::uint32_t workerOutputs(std::uint32_t outputs, bool hashing) const;
    Error computeRange(std::uint32_t firstOutput, std::uint32_t outputs, std::uint64_t offset,
                       std::uint64_t width, bool hashing);
    Error writeRange(std::uint32_t firstOutput, std::uint32_t outputs, std::uint64_t offset,
                     std::uint64_t width);
    Error writeIndexPackets();
    Error commitAll();

    FileLayer& m_layer;
    int m_folderFd;
    const std::string& m_folderPath;
    const RecoveryPlan& m_plan;
    RunMeter m_meter;
    gid_t m_group;
    GaloisField m_field;
    std::vector<SourcePiece> m_pieces;
    Md5Digest m_setId{};
    std::string m_mainPacket;
    mode_t m_mode = 0;
    std::vector<std::unique_ptr<AtomicFile>> m_outputs;
    std::vector<SliceSpot> m_spots;
    std::vector<Md5> m_packetHashes;
    AlignedBuffer m_accumulators;
    std::size_t m_stride = 0;
    AlignedBuffer m_plainOutput;
    // Declared last: its worker uses the members above, so it ends first.
    std::unique_ptr<ChunkRing> m_ring;
};

Error CreateRun::openPieces(const std::vector<RecoveryPiece>& pieces, const std::vector<PieceDigest>& digests)
{
    if (!digests.empty() && digests.size() != pieces.size())
        return {EINVAL, "The checksums given do not fit the pieces", m_folderPath};
    std::vector<std::uint8_t> start(Par2::hashedStart);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const RecoveryPiece& piece = pieces[i];
        if (Error error = m_meter.stopped(); error.failed())
            return error;
        SourcePiece source;
        source.name = piece.name;
        source.path = pathOf(piece.name);
        source.size = piece.size;
        source.sliceCount = std::uint32_t(Par2::sliceCount(piece.size, m_plan.sliceSize));
        const int fd = m_layer.openAt(m_folderFd, piece.name.c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
        if (fd < 0)
            return Error::fromErrno(errno, source.path);
        source.file = std::make_unique<FileHandle>(m_layer, fd);
        struct stat info {};
        if (m_layer.fstat(fd, &info) != 0)
            return Error::fromErrno(errno, source.path);
        if (!S_ISREG(info.st_mode))
            return {NotRegularFile, "Not a regular file", source.path};
        if (std::uint64_t(info.st_size) != piece.size)
            return {SourceChanged, "The piece changed size", source.path};
        if (m_pieces.empty())
            m_mode = info.st_mode & permissionBits;
        if (!digests.empty()) {
            source.digest = digests[i];
            if (source.digest.length != piece.size || source.digest.slices.size() != source.sliceCount)
                return {EINVAL, "The checksums given do not fit the piece", source.path};
            source.fileId = Par2::fileId(source.digest.startMd5, piece.size, piece.name);
        } else {
            const auto startSize = std::size_t(std::min<std::uint64_t>(piece.size, Par2::hashedStart));
            if (Error error = readExactly(m_layer, fd, start.data(), startSize, 0, source.path); error.failed())
                return error;
            source.fileId = Par2::fileId(Md5::of(start.data(), startSize), piece.size, piece.name);
            source.hasher = std::make_unique<PieceHasher>(m_plan.sliceSize);
        }
        m_pieces.push_back(std::move(source));
    }
    // The source slices are numbered in the order of the file IDs.
    std::sort(m_pieces.begin(), m_pieces.end(), [](const SourcePiece& a, const SourcePiece& b) {
        return Par2::fileIdLess(a.fileId, b.fileId);
    });
    std::vector<Md5Digest> ids;
    std::uint32_t slice = 0;
    for (SourcePiece& piece : m_pieces) {
        piece.firstSlice = slice;
        slice += piece.sliceCount;
        ids.push_back(piece.fileId);
    }
    const std::string body = Par2::mainBody(m_plan.sliceSize, ids);
    m_setId = Md5::of(body.data(), body.size());
    m_mainPacket = Par2::packet(m_setId, Par2::mainType, body);
    return {};
}

Error CreateRun::openOutputs()
{
    const std::uint64_t packetSize = Par2::recoveryPacketSize(m_plan.sliceSize);
    m_spots.resize(m_plan.recoverySlices);
    for (std::size_t i = 0; i < m_plan.files.size(); ++i) {
        if (Error error = m_meter.stopped(); error.failed())
            return error;
        const RecoveryFile& file = m_plan.files[i];
        auto output = std::make_unique<AtomicFile>(m_layer);
        if (Error error = output->create(m_folderFd, m_folderPath, file.name, m_mode, m_group); error.failed())
            return error;
        m_outputs.push_back(std::move(output));
        for (std::uint32_t k = 0; k < file.sliceCount; ++k) {
            SliceSpot& spot = m_spots[file.firstExponent + k];
            spot.file = i;
            spot.packetOffset = k * packetSize;
            spot.dataOffset = spot.packetOffset + Par2::headerSize + Par2::recoveryFixedSize;
        }
    }
    for (std::uint32_t exponent = 0; exponent < m_plan.recoverySlices; ++exponent) {
        m_packetHashes.push_back(Par2::packetHashStart(m_setId, Par2::recoverySliceType));
        std::string field;
        Par2::putU32(field, exponent);
        m_packetHashes.back().add(field.data(), field.size());
    }
    return {};
}

Error CreateRun::hashPieces()
{
    for (SourcePiece& piece : m_pieces) {
        PieceHasher* hasher = piece.hasher.get();
        if (Error error = m_ring->read(m_layer, piece.file->fd(), 0, piece.size, piece.path, m_meter,
                                       [&](ChunkRing::Slot& slot, std::uint64_t, std::size_t step) {
                                           const std::uint8_t* data = slot.plain.data();
                                           m_ring->post(slot, [hasher, data, step] { hasher->addWhole(data, step); });
                                           hasher->addSlices(data, step);
                                           return Error{};
                                       });
            error.failed())
            return error;
    }
    m_ring->drain();
    return {};
}

std::uint32_t CreateRun::workerOutputs(std::uint32_t outputs, bool hashing) const
{
    // The worker: the whole half of the checksums and w slices; the reader: the slice half,
    // reading and converting, and the other slices. Both are to come out equal.
    double whole = 0;
    double slices = 0;
    if (hashing) {
        // The slice half hashes every slice but the first of each piece, and CRCs all.
        const double laterSlices = 1.0 - double(m_pieces.size()) / double(m_plan.sourceSlices);
        whole = md5Cost;
        slices = md5Cost * laterSlices + crcCost;
    }
    const double share = (slices + readCost + multiplyCost * outputs - whole) / (2 * multiplyCost);
    return std::uint32_t(std::clamp(std::lround(share), 0L, long(outputs)));
}

// Adds bytes [offset, offset + width) of every source slice, times its coefficients, into the
// range of the recovery slices firstOutput..firstOutput+outputs-1, then writes that range.
// With `hashing`, the pieces are read whole and in order, and their checksums come along.
Error CreateRun::computeRange(std::uint32_t firstOutput, std::uint32_t outputs, std::uint64_t offset,
                              std::uint64_t width, bool hashing)
{
    std::memset(m_accumulators.data(), 0, m_stride * outputs);
    const std::uint32_t toWorker = workerOutputs(outputs, hashing);
    std::vector<std::uint16_t> factors(outputs);
    for (SourcePiece& piece : m_pieces) {
        PieceHasher* hasher = hashing ? piece.hasher.get() : nullptr;
        for (std::uint32_t s = 0; s < piece.sliceCount; ++s) {
            const std::uint16_t constant = m_field.sourceConstant(piece.firstSlice + s);
            for (std::uint32_t k = 0; k < outputs; ++k)
                factors[k] = m_field.power(constant, firstOutput + k);
            const std::vector<std::uint16_t> workerFactors(factors.begin(), factors.begin() + toWorker);
            const std::uint64_t sliceStart = std::uint64_t(s) * m_plan.sliceSize;
            const std::uint64_t begin = sliceStart + offset;
            const std::uint64_t end = std::min(begin + width, std::min(sliceStart + m_plan.sliceSize, piece.size));
            const auto use = [&](ChunkRing::Slot& slot, std::uint64_t at, std::size_t step) {
                m_field.toRegionLayout(slot.plain.data(), slot.region.data(), step);
                const std::uint8_t* plain = slot.plain.data();
                const std::uint8_t* region = slot.region.data();
                const std::size_t regionBytes = GaloisField::regionSize(step);
                std::uint8_t* target = m_accumulators.data() + (at - begin);
                const std::size_t stride = m_stride;
                const GaloisField& field = m_field;
                if (hasher != nullptr || !workerFactors.empty())
                    m_ring->post(slot, [=, &field] {
                        if (hasher != nullptr)
                            hasher->addWhole(plain, step);
                        for (std::size_t k = 0; k < workerFactors.size(); ++k)
                            field.multiplyAdd(region, target + k * stride, workerFactors[k], regionBytes);
                    });
                if (hasher != nullptr)
                    hasher->addSlices(plain, step);
                for (std::uint32_t k = toWorker; k < outputs; ++k)
                    m_field.multiplyAdd(region, target + k * stride, factors[k], regionBytes);
                return Error{};
            };
            if (Error error = m_ring->read(m_layer, piece.file->fd(), begin, end, piece.path, m_meter, use);
                error.failed())
                return error;
        }
    }
    m_ring->drain();
    return writeRange(firstOutput, outputs, offset, width);
}

// Writes the computed range of each recovery slice, back in plain words, and adds it to the
// slice's packet MD5.
Error CreateRun::writeRange(std::uint32_t firstOutput, std::uint32_t outputs, std::uint64_t offset,
                            std::uint64_t width)
{
    const std::uint64_t length = std::min(width, m_plan.sliceSize - offset);
    for (std::uint32_t k = 0; k < outputs; ++k) {
        const std::uint32_t exponent = firstOutput + k;
        const SliceSpot& spot = m_spots[exponent];
        const std::uint8_t* region = m_accumulators.data() + k * m_stride;
        for (std::uint64_t done = 0; done < length;) {
            const auto step = std::size_t(std::min<std::uint64_t>(recoveryReadChunk, length - done));
            m_field.fromRegionLayout(region + done, m_plainOutput.data(), step);
            m_packetHashes[exponent].add(m_plainOutput.data(), step);
            if (Error error = writeFully(m_layer, m_outputs[spot.file]->fd(), m_plainOutput.data(), step,
                                         spot.dataOffset + offset + done, pathOf(m_plan.files[spot.file].name));
                error.failed())
                return error;
            done += step;
        }
    }
    return {};
}

Error CreateRun::writeIndexPackets()
{
    std::string index = m_mainPacket;
    for (const SourcePiece& piece : m_pieces) {
        index += Par2::packet(m_setId, Par2::fileDescriptionType,
                              Par2::fileDescriptionBody(piece.fileId, piece.digest.md5,
                                                        piece.digest.startMd5, piece.size, piece.name));
        index += Par2::packet(m_setId, Par2::sliceChecksumType,
                              Par2::sliceChecksumBody(piece.fileId, piece.digest.slices));
    }
    const std::string creator =
        Par2::packet(m_setId, Par2::creatorType, Par2::creatorBody(recoveryCreator));
    const std::uint64_t packetSize = Par2::recoveryPacketSize(m_plan.sliceSize);
    for (std::uint32_t exponent = 0; exponent < m_plan.recoverySlices; ++exponent) {
        const SliceSpot& spot = m_spots[exponent];
        const std::string head =
            Par2::header(m_setId, Par2::recoverySliceType, packetSize, m_packetHashes[exponent].finish());
        std::string field;
        Par2::putU32(field, exponent);
        const std::string start = head + field;
        if (Error error = writeFully(m_layer, m_outputs[spot.file]->fd(), start.data(), start.size(),
                                     spot.packetOffset, pathOf(m_plan.files[spot.file].name));
            error.failed())
            return error;
    }
    for (std::size_t i = 0; i < m_plan.files.size(); ++i) {
        const RecoveryFile& file = m_plan.files[i];
        const std::string tail = (file.holdsIndex ? index : std::string()) + creator;
        const std::uint64_t at = file.sliceCount * packetSize;
        if (at + tail.size() != file.size)
            return {EINVAL, "The recovery file does not come out at its planned size", pathOf(file.name)};
        if (Error error = writeFully(m_layer, m_outputs[i]->fd(), tail.data(), tail.size(), at, pathOf(file.name));
            error.failed())
            return error;
    }
    return {};
}

Error CreateRun::commitAll()
{
    for (std::size_t i = 0; i < m_outputs.size(); ++i) {
        if (Error error = m_outputs[i]->commit(); error.failed()) {
            // Those already in place go again: either all files are there or none.
            for (std::size_t j = 0; j < i; ++j)
                m_layer.unlinkAt(m_folderFd, m_plan.files[j].name.c_str());
            return error;
        }
    }
    return {};
}

Error CreateRun::execute(const std::vector<RecoveryPiece>& pieces, const std::vector<PieceDigest>& digests)
{
    if (Error error = openPieces(pieces, digests); error.failed())
        return error;
    if (Error error = openOutputs(); error.failed())
        return error;
    const std::uint64_t dataBytes =
        std::accumulate(m_pieces.begin(), m_pieces.end(), std::uint64_t(0),
                        [](std::uint64_t sum, const SourcePiece& piece) { return sum + piece.size; });
    const RangePlan ranges = planRanges(m_plan.sliceSize, m_plan.recoverySlices);
    const std::uint32_t passes =
        (m_plan.recoverySlices + ranges.slicesPerPass - 1) / ranges.slicesPerPass;
    const bool hashing = digests.empty();
    // With whole slices in memory at once, the pieces are read in order: the checksums come
    // along; otherwise they take a read of their own.
    const bool hashAlong = hashing && passes == 1 && ranges.width == m_plan.sliceSize;
    m_meter.addToTotal(dataBytes * passes + (hashing && !hashAlong ? dataBytes : 0));
    m_stride = alignedStride(ranges.width);
    m_accumulators = AlignedBuffer(m_stride * ranges.slicesPerPass);
    m_plainOutput = AlignedBuffer(recoveryReadChunk);
    m_ring = std::make_unique<ChunkRing>(recoveryReadChunk, ringSlots);

    if (hashing && !hashAlong) {
        if (Error error = hashPieces(); error.failed())
            return error;
    }
    for (std::uint32_t first = 0; first < m_plan.recoverySlices; first += ranges.slicesPerPass) {
        const std::uint32_t outputs = std::min(ranges.slicesPerPass, m_plan.recoverySlices - first);
        for (std::uint64_t offset = 0; offset < m_plan.sliceSize; offset += ranges.width) {
            if (Error error = computeRange(first, outputs, offset, ranges.width, hashAlong); error.failed())
                return error;
        }
    }
    for (SourcePiece& piece : m_pieces) {
        if (!piece.hasher)
            continue;
        piece.digest = piece.hasher->finish();
        // The checksums must describe the bytes the arithmetic saw.
        const Md5Digest id = Par2::fileId(piece.digest.startMd5, piece.digest.length, piece.name);
        if (piece.digest.length != piece.size || id != piece.fileId)
            return {SourceChanged, "The piece changed while the recovery data was computed", piece.path};
    }
    if (Error error = writeIndexPackets(); error.failed())
        return error;
    if (Error error = m_meter.stopped(); error.failed())
        return error;
    if (Error error = commitAll(); error.failed())
        return error;
    m_meter.complete();
    return {};
}

} // namespace

Error RecoveryCreator::create(int folderFd, const std::string& folderPath, const RecoveryPlan& plan,
                              const std::vector<RecoveryPiece>& pieces, const RecoveryRun& run,
                              const std::vector<PieceDigest>& digests)
{
    if (!plan.possible())
        return {EINVAL, "No recovery data can be made for these pieces", folderPath};
    CreateRun create(m_layer, folderFd, folderPath, plan, run, m_group);
    return create.execute(pieces, digests);
}

} // namespace qfs
