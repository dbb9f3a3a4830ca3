#include "engine/recovery/recoveryset.h"

#include "engine/recovery/chunkring.h"
#include "engine/recovery/galoisfield.h"
#include "engine/recovery/piecehasher.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace qfs {

namespace {

constexpr std::string_view par2Suffix = ".par2";
// Packets other than recovery slices are read whole; none of a set within the format's limits
// is larger (a main packet of 32768 files is 512 KiB).
constexpr std::uint64_t largestIndexPacket = std::uint64_t(2) << 20;
// Exponents are reduced modulo the multiplicative group's order; one at or above it repeats one.
constexpr std::uint32_t exponentLimit = 65535;
constexpr unsigned char firstPrintable = 0x20;
constexpr unsigned char deleteCharacter = 0x7F;
// Chunks in flight between the thread that reads the pieces and the one hashing every other.
constexpr std::size_t checkRingSlots = 4;

struct Packet {
    std::string type;
    std::string body;
};

// Everything one set's valid packets say, before it is put together.
struct SetPackets {
    std::vector<std::string> mains;
    std::map<Md5Digest, std::string> descriptions;
    std::map<Md5Digest, std::string> checksums;
    std::map<std::uint32_t, RecoverySliceData> recovery;
    std::uint64_t recoveryDataLength = 0;
    bool mixedRecoveryLengths = false;
};

Md5Digest digestAt(const std::uint8_t* data)
{
    Md5Digest digest;
    std::memcpy(digest.data(), data, digest.size());
    return digest;
}

Error damaged(const std::string& what, const std::string& path)
{
    return {RecoveryDamaged, "The recovery data cannot be used: " + what, path};
}

class FileScanner {
public:
    FileScanner(FileLayer& layer, int fd, std::uint64_t size, std::string name, std::string path,
                std::map<Md5Digest, SetPackets>& sets, RunMeter& meter)
        : m_layer(layer), m_fd(fd), m_size(size), m_name(std::move(name)), m_path(std::move(path)),
          m_sets(sets), m_meter(meter), m_buffer(recoveryReadChunk)
    {
    }

    Error scan();

private:
    // Where the next magic starts at or after `from`; m_size when there is none.
    Error nextMagic(std::uint64_t from, std::uint64_t& found);
    // Checks the packet at `offset`; `valid` tells whether its length and MD5 are right.
    Error tryPacket(std::uint64_t offset, std::uint64_t& length, bool& valid);

    FileLayer& m_layer;
    int m_fd;
    std::uint64_t m_size;
    std::string m_name;
    std::string m_path;
    std::map<Md5Digest, SetPackets>& m_sets;
    RunMeter& m_meter;
    AlignedBuffer m_buffer;
};

Error FileScanner::nextMagic(std::uint64_t from, std::uint64_t& found)
{
    found = m_size;
    while (from + Par2::magic.size() <= m_size) {
        const std::size_t step = std::size_t(std::min<std::uint64_t>(m_buffer.size(), m_size - from));
        if (Error error = readExactly(m_layer, m_fd, m_buffer.data(), step, from, m_path); error.failed())
            return error;
        const void* hit = memmem(m_buffer.data(), step, Par2::magic.data(), Par2::magic.size());
        if (hit != nullptr) {
            found = from + std::uint64_t(static_cast<const std::uint8_t*>(hit) - m_buffer.data());
            return {};
        }
        if (step < Par2::magic.size())
            break;
        // A long stretch without a packet is worked through under the stop token too.
        if (Error error = m_meter.advance(step); error.failed())
            return error;
        from += step - (Par2::magic.size() - 1);
    }
    return {};
}

Error FileScanner::tryPacket(std::uint64_t offset, std::uint64_t& length, bool& valid)
{
    valid = false;
    std::uint8_t head[Par2::headerSize];
    if (offset + Par2::headerSize > m_size)
        return {};
    if (Error error = readExactly(m_layer, m_fd, head, sizeof head, offset, m_path); error.failed())
        return error;
    if (std::memcmp(head, Par2::magic.data(), Par2::magic.size()) != 0)
        return {};
    length = Par2::getU64(head + Par2::lengthOffset);
    if (length < Par2::headerSize || length % Par2::alignment != 0 || length > m_size - offset)
        return {};
    const std::string type(reinterpret_cast<const char*>(head + Par2::typeOffset), Par2::typeSize);
    const bool isRecovery = type == Par2::recoverySliceType;
    const std::uint64_t bodyLength = length - Par2::headerSize;
    if (isRecovery ? bodyLength < Par2::recoveryFixedSize : bodyLength > largestIndexPacket)
        return {};

    Md5 md5;
    md5.add(head + Par2::setIdOffset, Par2::headerSize - Par2::setIdOffset);
    std::string body;
    std::uint8_t exponentField[Par2::recoveryFixedSize] = {};
    for (std::uint64_t at = 0; at < bodyLength;) {
        const std::size_t step = std::size_t(std::min<std::uint64_t>(m_buffer.size(), bodyLength - at));
        if (Error error = readExactly(m_layer, m_fd, m_buffer.data(), step, offset + Par2::headerSize + at, m_path);
            error.failed())
            return error;
        md5.add(m_buffer.data(), step);
        if (Error error = m_meter.advance(step); error.failed())
            return error;
        if (isRecovery && at == 0)
            std::memcpy(exponentField, m_buffer.data(), sizeof exponentField);
        else if (!isRecovery)
            body.append(reinterpret_cast<const char*>(m_buffer.data()), step);
        at += step;
    }
    if (md5.finish() != digestAt(head + Par2::packetHashOffset))
        return {};
    valid = true;

    SetPackets& set = m_sets[digestAt(head + Par2::setIdOffset)];
    if (type == Par2::mainType) {
        set.mains.push_back(std::move(body));
    } else if (type == Par2::fileDescriptionType && body.size() >= Par2::fileDescriptionFixedSize) {
        set.descriptions.emplace(digestAt(reinterpret_cast<const std::uint8_t*>(body.data())), body);
    } else if (type == Par2::sliceChecksumType && body.size() >= Par2::sliceChecksumFixedSize) {
        set.checksums.emplace(digestAt(reinterpret_cast<const std::uint8_t*>(body.data())), body);
    } else if (isRecovery) {
        const std::uint32_t exponent = Par2::getU32(exponentField);
        const std::uint64_t dataLength = bodyLength - Par2::recoveryFixedSize;
        if (exponent < exponentLimit) {
            if (set.recovery.empty())
                set.recoveryDataLength = dataLength;
            else if (set.recoveryDataLength != dataLength)
                set.mixedRecoveryLengths = true;
            set.recovery.emplace(exponent,
                                 RecoverySliceData{m_name, offset + Par2::headerSize + Par2::recoveryFixedSize, exponent});
        }
    }
    return {};
}

Error FileScanner::scan()
{
    std::uint64_t offset = 0;
    while (offset + Par2::headerSize <= m_size) {
        if (Error error = m_meter.stopped(); error.failed())
            return error;
        std::uint64_t length = 0;
        bool valid = false;
        if (Error error = tryPacket(offset, length, valid); error.failed())
            return error;
        if (valid) {
            offset += length;
            continue;
        }
        // A damaged packet: go on at the next magic, as the packet may have lost bytes.
        if (Error error = nextMagic(offset + 1, offset); error.failed())
            return error;
    }
    return {};
}

bool endsWith(const std::string& name, std::string_view suffix)
{
    return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

Error buildSet(const Md5Digest& setId, SetPackets& packets, const std::string& folderPath, RecoverySet& set)
{
    // The main packet's MD5 is the set ID: a main packet of another content belongs elsewhere.
    const std::string* main = nullptr;
    for (const std::string& body : packets.mains)
        if (Md5::of(body.data(), body.size()) == setId)
            main = &body;
    if (main == nullptr)
        return damaged("its main packet is missing or damaged", folderPath);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(main->data());
    if (main->size() < Par2::mainFixedSize)
        return damaged("its main packet is too short", folderPath);
    set.setId = setId;
    set.sliceSize = Par2::getU64(bytes);
    const std::uint32_t count = Par2::getU32(bytes + sizeof(std::uint64_t));
    if (set.sliceSize == 0 || set.sliceSize % Par2::alignment != 0 || count == 0
        || count > GaloisField::maxSourceSlices
        || Par2::mainFixedSize + std::uint64_t(count) * sizeof(Md5Digest) > main->size())
        return damaged("its main packet is out of bounds", folderPath);
    if (!packets.recovery.empty() && (packets.mixedRecoveryLengths || packets.recoveryDataLength != set.sliceSize))
        return damaged("its recovery slices are not of the slice size", folderPath);

    std::uint64_t slices = 0;
    std::set<std::string> names;
    for (std::uint32_t i = 0; i < count; ++i) {
        RecoverySetFile file;
        file.fileId = digestAt(bytes + Par2::mainFixedSize + i * sizeof(Md5Digest));
        const auto description = packets.descriptions.find(file.fileId);
        const auto checksums = packets.checksums.find(file.fileId);
        if (description == packets.descriptions.end() || checksums == packets.checksums.end())
            return damaged("the description of a file is missing", folderPath);
        const auto* fd = reinterpret_cast<const std::uint8_t*>(description->second.data());
        file.md5 = digestAt(fd + sizeof(Md5Digest));
        file.length = Par2::getU64(fd + 3 * sizeof(Md5Digest));
        file.name = description->second.substr(Par2::fileDescriptionFixedSize);
        file.name.erase(std::find(file.name.begin(), file.name.end(), '\0'), file.name.end());
        if (!RecoverySetReader::plainName(file.name) || !names.insert(file.name).second)
            return damaged("it names a file that cannot be in this folder", folderPath);
        const std::uint64_t fileSlices = Par2::sliceCount(file.length, set.sliceSize);
        const std::string& checksumBody = checksums->second;
        if (fileSlices > GaloisField::maxSourceSlices
            || (checksumBody.size() - Par2::sliceChecksumFixedSize) != fileSlices * Par2::sliceEntrySize)
            return damaged("the slice checksums of a file do not match its length", folderPath);
        slices += fileSlices;
        if (slices > GaloisField::maxSourceSlices)
            return damaged("it has more slices than the format allows", folderPath);
        const auto* entries = reinterpret_cast<const std::uint8_t*>(checksumBody.data()) + Par2::sliceChecksumFixedSize;
        for (std::uint64_t s = 0; s < fileSlices; ++s) {
            Par2::SliceChecksum checksum;
            checksum.md5 = digestAt(entries + s * Par2::sliceEntrySize);
            checksum.crc = Par2::getU32(entries + s * Par2::sliceEntrySize + sizeof(Md5Digest));
            file.slices.push_back(checksum);
        }
        file.firstSlice = std::uint32_t(slices - fileSlices);
        set.slicesPerPiece = std::max(set.slicesPerPiece, std::uint32_t(fileSlices));
        set.files.push_back(std::move(file));
    }
    set.sourceSlices = std::uint32_t(slices);
    for (auto& [exponent, data] : packets.recovery)
        set.recovery.push_back(data);
    return {};
}

} // namespace

bool RecoverySetReader::plainName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < firstPrintable || byte == deleteCharacter;
    });
}

Error RecoverySetReader::read(int folderFd, const std::string& folderPath,
                              const std::vector<std::string>& names, const RecoveryRun& run,
                              RecoverySet& set, bool& found)
{
    found = false;
    set = RecoverySet{};
    std::map<Md5Digest, SetPackets> sets;
    // Opened first, so that progress has a total.
    struct Candidate {
        std::string name;
        std::unique_ptr<FileHandle> file;
        std::uint64_t size = 0;
    };
    std::vector<Candidate> candidates;
    RunMeter meter(run, 0);
    for (const std::string& name : names) {
        if (!endsWith(name, par2Suffix) || !plainName(name))
            continue;
        found = true;
        if (Error error = meter.stopped(); error.failed())
            return error;
        const int fd = m_layer.openAt(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
        if (fd < 0)
            continue;  // A link or an unreadable file is no recovery data.
        auto file = std::make_unique<FileHandle>(m_layer, fd);
        struct stat info {};
        if (m_layer.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        meter.addToTotal(std::uint64_t(info.st_size));
        candidates.push_back({name, std::move(file), std::uint64_t(info.st_size)});
    }
    for (const Candidate& candidate : candidates) {
        FileScanner scanner(m_layer, candidate.file->fd(), candidate.size, candidate.name,
                            folderPath + "/" + candidate.name, sets, meter);
        if (Error error = scanner.scan(); error.failed())
            return error;
    }
    if (!found)
        return {};
    std::vector<Md5Digest> withMain;
    for (const auto& [id, packets] : sets)
        for (const std::string& body : packets.mains)
            if (Md5::of(body.data(), body.size()) == id) {
                withMain.push_back(id);
                break;
            }
    if (withMain.empty())
        return damaged("no intact main packet", folderPath);
    if (withMain.size() > 1)
        return damaged("the folder holds recovery files of more than one set", folderPath);
    return buildSet(withMain.front(), sets[withMain.front()], folderPath, set);
}

namespace {

// Reads a file's slice `index` in place (zeros past the end of the file) and compares it with
// its recorded checksums.
Error sliceMatches(FileLayer& layer, int fd, std::uint64_t fileSize, std::uint64_t sliceSize,
                   std::uint64_t index, const Par2::SliceChecksum& expected, AlignedBuffer& buffer,
                   const std::string& path, RunMeter& meter, bool& matches)
{
    Md5 md5;
    std::uint32_t crc = 0;
    const std::uint64_t start = index * sliceSize;
    std::memset(buffer.data(), 0, buffer.size());
    for (std::uint64_t at = 0; at < sliceSize;) {
        const std::size_t step = std::size_t(std::min<std::uint64_t>(buffer.size(), sliceSize - at));
        const std::uint64_t inFile = start + at < fileSize ? std::min<std::uint64_t>(step, fileSize - start - at) : 0;
        if (inFile > 0) {
            if (Error error = readExactly(layer, fd, buffer.data(), std::size_t(inFile), start + at, path); error.failed())
                return error;
        }
        std::memset(buffer.data() + inFile, 0, step - std::size_t(inFile));
        md5.add(buffer.data(), step);
        crc = crc32Add(crc, buffer.data(), step);
        at += step;
        if (Error error = meter.advance(step); error.failed())
            return error;
    }
    matches = md5.finish() == expected.md5 && crc == expected.crc;
    return {};
}

} // namespace

Error RecoverySetReader::check(int folderFd, const std::string& folderPath, const RecoverySet& set,
                               const RecoveryRun& run, RecoveryCheck& result,
                               const std::set<std::string>& verified)
{
    result = RecoveryCheck{};
    AlignedBuffer buffer(recoveryReadChunk);
    std::uint64_t total = 0;
    for (const RecoverySetFile& file : set.files)
        total += file.length;
    RunMeter meter(run, total);
    // First every file's length and whole MD5, files taking turns at being hashed on the worker;
    // then the slices of those that do not match.
    std::vector<std::unique_ptr<Md5>> hashes(set.files.size());
    std::vector<std::uint64_t> sizes(set.files.size(), 0);
    {
        ChunkRing ring(recoveryReadChunk, checkRingSlots);
        bool onWorker = false;
        for (std::size_t f = 0; f < set.files.size(); ++f) {
            if (Error error = meter.stopped(); error.failed())
                return error;
            const RecoverySetFile& file = set.files[f];
            PieceCheck piece;
            piece.name = file.name;
            piece.sliceIntact.assign(file.slices.size(), false);
            piece.condition = PieceCondition::Missing;
            const std::string path = folderPath + "/" + file.name;
            const int fd = m_layer.openAt(folderFd, file.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
            FileHandle handle(m_layer, fd);
            struct stat info {};
            if (fd >= 0 && m_layer.fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
                piece.condition = PieceCondition::Damaged;
                sizes[f] = std::uint64_t(info.st_size);
            }
            result.pieces.push_back(std::move(piece));
            if (sizes[f] != file.length || result.pieces[f].condition == PieceCondition::Missing)
                continue;
            if (verified.count(file.name) != 0) {
                result.pieces[f].condition = PieceCondition::Intact;
                if (Error error = meter.advance(file.length); error.failed())
                    return error;
                continue;
            }
            hashes[f] = std::make_unique<Md5>();
            Md5* md5 = hashes[f].get();
            onWorker = !onWorker;
            if (Error error = ring.read(m_layer, fd, 0, file.length, path, meter,
                                        [&](ChunkRing::Slot& slot, std::uint64_t, std::size_t step) {
                                            const std::uint8_t* data = slot.plain.data();
                                            if (onWorker)
                                                ring.post(slot, [md5, data, step] { md5->add(data, step); });
                                            else
                                                md5->add(data, step);
                                            return Error{};
                                        });
                error.failed())
                return error;
        }
        ring.drain();
    }
    std::vector<std::uint32_t> lostPerPiece;
    for (std::size_t f = 0; f < set.files.size(); ++f) {
        const RecoverySetFile& file = set.files[f];
        PieceCheck& piece = result.pieces[f];
        if (hashes[f] && hashes[f]->finish() == file.md5)
            piece.condition = PieceCondition::Intact;
        if (piece.condition == PieceCondition::Intact) {
            piece.sliceIntact.assign(file.slices.size(), true);
            continue;
        }
        if (piece.condition == PieceCondition::Damaged) {
            if (Error error = meter.stopped(); error.failed())
                return error;
            const std::string path = folderPath + "/" + file.name;
            const int fd = m_layer.openAt(folderFd, file.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
            FileHandle handle(m_layer, fd);
            struct stat info {};
            // A file that changed in between counts as missing.
            if (fd < 0 || m_layer.fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
                || std::uint64_t(info.st_size) != sizes[f]) {
                piece.condition = PieceCondition::Missing;
            } else {
                for (std::size_t s = 0; s < file.slices.size(); ++s) {
                    bool matches = false;
                    if (s * set.sliceSize < sizes[f]) {
                        if (Error error = sliceMatches(m_layer, fd, std::min(sizes[f], file.length), set.sliceSize, s,
                                                       file.slices[s], buffer, path, meter, matches);
                            error.failed())
                            return error;
                    }
                    piece.sliceIntact[s] = matches;
                }
            }
        }
        const auto lost = std::uint32_t(std::count(piece.sliceIntact.begin(), piece.sliceIntact.end(), false));
        ++result.lostPieces;
        lostPerPiece.push_back(lost);
        result.lostSlices += lost;
    }
    result.usableRecoverySlices = std::uint32_t(set.recovery.size());
    result.recoveryPieces = set.slicesPerPiece == 0 ? 0 : result.usableRecoverySlices / set.slicesPerPiece;
    // The pieces that lost least go first.
    std::sort(lostPerPiece.begin(), lostPerPiece.end());
    std::uint32_t used = 0;
    for (std::uint32_t lost : lostPerPiece) {
        if (used + lost > result.usableRecoverySlices)
            break;
        used += lost;
        ++result.rebuildablePieces;
    }
    meter.complete();
    return {};
}

} // namespace qfs
