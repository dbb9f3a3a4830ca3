#include "recoverycreator.h"

#include "atomicfile.h"
#include "galoisfield.h"
#include "par2format.h"
#include "piecehasher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <cstring>

namespace qfs {

namespace {

constexpr mode_t permissionBits = 0777;

struct SourcePiece {
    std::string name;
    std::string path;
    std::uint64_t size = 0;
    std::unique_ptr<FileHandle> file;
    Md5Digest fileId{};
    std::uint32_t firstSlice = 0;
    std::uint32_t sliceCount = 0;
    PieceDigest digest;
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
              const RecoveryPlan& plan, const RecoveryRun& run)
        : m_layer(layer), m_folderFd(folderFd), m_folderPath(folderPath), m_plan(plan), m_meter(run, 0)
    {
    }

    Error execute(const std::vector<RecoveryPiece>& pieces);

private:
    std::string pathOf(const std::string& name) const { return m_folderPath + "/" + name; }
    Error openPieces(const std::vector<RecoveryPiece>& pieces);
    Error openOutputs();
    Error hashPieces();
    Error computeRange(std::uint32_t firstOutput, std::uint32_t outputs, std::uint64_t offset,
                       std::uint64_t width, bool hashing, std::vector<PieceHasher>* hashers);
    Error writeIndexPackets();
    Error commitAll();

    FileLayer& m_layer;
    int m_folderFd;
    const std::string& m_folderPath;
    const RecoveryPlan& m_plan;
    RunMeter m_meter;
    GaloisField m_field;
    std::vector<SourcePiece> m_pieces;
    Md5Digest m_setId{};
    std::string m_mainPacket;
    mode_t m_mode = 0;
    std::vector<std::unique_ptr<AtomicFile>> m_outputs;
    std::vector<SliceSpot> m_spots;
    std::vector<Md5> m_packetHashes;
    AlignedBuffer m_accumulators;
    AlignedBuffer m_readBuffer;
};

Error CreateRun::openPieces(const std::vector<RecoveryPiece>& pieces)
{
    std::vector<std::uint8_t> start(Par2::hashedStart);
    for (const RecoveryPiece& piece : pieces) {
        if (Error error = m_meter.stopped(); error.failed())
            return error;
        SourcePiece source;
        source.name = piece.name;
        source.path = pathOf(piece.name);
        source.size = piece.size;
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
        const std::size_t startSize = std::size_t(std::min<std::uint64_t>(piece.size, Par2::hashedStart));
        if (Error error = readFully(m_layer, fd, start.data(), startSize, 0, source.path); error.failed())
            return error;
        source.fileId = Par2::fileId(Md5::of(start.data(), startSize), piece.size, piece.name);
        source.sliceCount = std::uint32_t(Par2::sliceCount(piece.size, m_plan.sliceSize));
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
        const RecoveryFile& file = m_plan.files[i];
        auto output = std::make_unique<AtomicFile>(m_layer);
        if (Error error = output->create(m_folderFd, m_folderPath, file.name, m_mode); error.failed())
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
        PieceHasher hasher(m_plan.sliceSize);
        for (std::uint64_t offset = 0; offset < piece.size;) {
            const std::size_t step = std::size_t(std::min<std::uint64_t>(recoveryReadChunk, piece.size - offset));
            if (Error error = readFully(m_layer, piece.file->fd(), m_readBuffer.data(), step, offset, piece.path);
                error.failed())
                return error;
            hasher.add(m_readBuffer.data(), step);
            offset += step;
            if (Error error = m_meter.advance(step); error.failed())
                return error;
        }
        piece.digest = hasher.finish();
    }
    return {};
}

// Adds bytes [offset, offset + width) of every source slice, times its coefficients, into the
// range of the recovery slices firstOutput..firstOutput+outputs-1, then writes that range.
Error CreateRun::computeRange(std::uint32_t firstOutput, std::uint32_t outputs, std::uint64_t offset,
                              std::uint64_t width, bool hashing, std::vector<PieceHasher>* hashers)
{
    const std::size_t stride = alignedStride(width);
    std::memset(m_accumulators.data(), 0, stride * outputs);
    std::vector<std::uint16_t> factors(outputs);
    for (std::size_t p = 0; p < m_pieces.size(); ++p) {
        SourcePiece& piece = m_pieces[p];
        for (std::uint32_t s = 0; s < piece.sliceCount; ++s) {
            const std::uint32_t index = piece.firstSlice + s;
            const std::uint16_t constant = m_field.sourceConstant(index);
            for (std::uint32_t k = 0; k < outputs; ++k)
                factors[k] = m_field.power(constant, firstOutput + k);
            const std::uint64_t sliceStart = std::uint64_t(s) * m_plan.sliceSize;
            const std::uint64_t begin = sliceStart + offset;
            const std::uint64_t end = std::min(begin + width, std::min(sliceStart + m_plan.sliceSize, piece.size));
            for (std::uint64_t at = begin; at < end;) {
                const std::size_t step = std::size_t(std::min<std::uint64_t>(recoveryReadChunk, end - at));
                if (Error error = readFully(m_layer, piece.file->fd(), m_readBuffer.data(), step, at, piece.path);
                    error.failed())
                    return error;
                if (hashing)
                    (*hashers)[p].add(m_readBuffer.data(), step);
                // The region arithmetic works on 16-bit words; the file's end pads with zeros.
                std::size_t words = step;
                if (words % 2 != 0)
                    m_readBuffer.data()[words++] = 0;
                for (std::uint32_t k = 0; k < outputs; ++k)
                    m_field.multiplyAdd(m_readBuffer.data(),
                                        m_accumulators.data() + k * stride + (at - begin),
                                        factors[k], words);
                at += step;
                if (Error error = m_meter.advance(step); error.failed())
                    return error;
            }
        }
    }
    const std::uint64_t length = std::min(width, m_plan.sliceSize - offset);
    for (std::uint32_t k = 0; k < outputs; ++k) {
        const std::uint32_t exponent = firstOutput + k;
        const std::uint8_t* data = m_accumulators.data() + k * stride;
        m_packetHashes[exponent].add(data, std::size_t(length));
        const SliceSpot& spot = m_spots[exponent];
        if (Error error = writeFully(m_layer, m_outputs[spot.file]->fd(), data, std::size_t(length),
                                     spot.dataOffset + offset, pathOf(m_plan.files[spot.file].name));
            error.failed())
            return error;
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

Error CreateRun::execute(const std::vector<RecoveryPiece>& pieces)
{
    if (Error error = openPieces(pieces); error.failed())
        return error;
    if (Error error = openOutputs(); error.failed())
        return error;
    const std::uint64_t dataBytes =
        std::accumulate(m_pieces.begin(), m_pieces.end(), std::uint64_t(0),
                        [](std::uint64_t sum, const SourcePiece& piece) { return sum + piece.size; });
    const RangePlan ranges = planRanges(m_plan.sliceSize, m_plan.recoverySlices);
    const std::uint32_t passes =
        (m_plan.recoverySlices + ranges.slicesPerPass - 1) / ranges.slicesPerPass;
    // With whole slices in memory at once, the pieces are read in order: the checksums come
    // along; otherwise they take a pass of their own.
    const bool hashAlong = passes == 1 && ranges.width == m_plan.sliceSize;
    m_meter.addToTotal(dataBytes * passes + (hashAlong ? 0 : dataBytes));
    m_accumulators = AlignedBuffer(alignedStride(ranges.width) * ranges.slicesPerPass);
    m_readBuffer = AlignedBuffer(recoveryReadChunk + 2);

    std::vector<PieceHasher> hashers;
    if (hashAlong) {
        for (std::size_t p = 0; p < m_pieces.size(); ++p)
            hashers.emplace_back(m_plan.sliceSize);
    } else if (Error error = hashPieces(); error.failed()) {
        return error;
    }
    for (std::uint32_t first = 0; first < m_plan.recoverySlices; first += ranges.slicesPerPass) {
        const std::uint32_t outputs = std::min(ranges.slicesPerPass, m_plan.recoverySlices - first);
        for (std::uint64_t offset = 0; offset < m_plan.sliceSize; offset += ranges.width) {
            if (Error error = computeRange(first, outputs, offset, ranges.width, hashAlong, &hashers);
                error.failed())
                return error;
        }
    }
    for (std::size_t p = 0; hashAlong && p < m_pieces.size(); ++p)
        m_pieces[p].digest = hashers[p].finish();
    for (const SourcePiece& piece : m_pieces) {
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
                              const std::vector<RecoveryPiece>& pieces, const RecoveryRun& run)
{
    if (!plan.possible())
        return {EINVAL, "No recovery data can be made for these pieces", folderPath};
    CreateRun create(m_layer, folderFd, folderPath, plan, run);
    return create.execute(pieces);
}

} // namespace qfs
