#include "engine/recovery/recoveryrepairer.h"

#include "engine/recovery/chunkring.h"
#include "engine/recovery/galoisfield.h"
#include "engine/recovery/md5.h"
#include "engine/fs/groupaccess.h"
#include "engine/fs/tempname.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace qfs {

namespace {

constexpr mode_t fallbackMode = 0644;
constexpr std::string_view tempSuffix = ".tmp";
// The most lost slices a repair solves for: its matrix and its table of factors per pass (one
// per source slice, at most 32768) then stay within 64 MiB.
constexpr std::uint32_t maxLostSlices = 1024;
// Chunks in flight between the reading thread and the worker.
constexpr std::size_t ringSlots = 4;

// A rebuilt file under a temporary name, removed unless it takes its final name.
struct RebuiltFile {
    FileLayer* layer = nullptr;
    int folderFd = -1;
    std::size_t fileIndex = 0;
    std::string tempName;
    std::unique_ptr<FileHandle> handle;
    bool replaces = false;

    ~RebuiltFile()
    {
        if (!tempName.empty())
            layer->unlinkAt(folderFd, tempName.c_str());
    }
};

struct Source {
    int fd = -1;
    std::string path;
    std::uint64_t offset = 0;       // of the slice's first byte in the file
    std::uint64_t available = 0;    // bytes of the slice in the file
    RebuiltFile* copyTo = nullptr;  // an intact slice of a file being rebuilt
    std::uint32_t slice = 0;        // its index in the set; intact source slices only
};

// Inverts `matrix` (rows x rows, row-major) in place over the field; `singular` when it has no
// inverse. Looks at the stop token once per row operation: many lost slices take a while.
Error invert(const GaloisField& field, std::vector<std::uint16_t>& matrix, std::size_t rows,
             const RunMeter& meter, bool& singular)
{
    singular = false;
    std::vector<std::uint16_t> inverse(rows * rows, 0);
    for (std::size_t i = 0; i < rows; ++i)
        inverse[i * rows + i] = 1;
    for (std::size_t col = 0; col < rows; ++col) {
        if (Error error = meter.stopped(); error.failed())
            return error;
        std::size_t pivot = col;
        while (pivot < rows && matrix[pivot * rows + col] == 0)
            ++pivot;
        if (pivot == rows) {
            singular = true;
            return {};
        }
        for (std::size_t k = 0; k < rows; ++k) {
            std::swap(matrix[pivot * rows + k], matrix[col * rows + k]);
            std::swap(inverse[pivot * rows + k], inverse[col * rows + k]);
        }
        const std::uint16_t scale = matrix[col * rows + col];
        for (std::size_t k = 0; k < rows; ++k) {
            matrix[col * rows + k] = field.divide(matrix[col * rows + k], scale);
            inverse[col * rows + k] = field.divide(inverse[col * rows + k], scale);
        }
        for (std::size_t row = 0; row < rows; ++row) {
            if (Error error = meter.stopped(); error.failed())
                return error;
            const std::uint16_t factor = matrix[row * rows + col];
            if (row == col || factor == 0)
                continue;
            for (std::size_t k = 0; k < rows; ++k) {
                matrix[row * rows + k] ^= field.multiply(factor, matrix[col * rows + k]);
                inverse[row * rows + k] ^= field.multiply(factor, inverse[col * rows + k]);
            }
        }
    }
    matrix = std::move(inverse);
    return {};
}

} // namespace

Error RecoveryRepairer::repair(int folderFd, const std::string& folderPath, const RecoverySet& set,
                               const RecoveryCheck& check, const RecoveryRun& run,
                               const RebuiltCheck& rebuiltCheck)
{
    if (check.lostPieces == 0)
        return {};
    if (!check.canRepair())
        return {RecoveryInsufficient,
                std::to_string(check.lostPieces)
                    + (check.lostPieces == 1 ? " piece is" : " pieces are")
                    + " damaged or missing, but only " + std::to_string(check.rebuildablePieces)
                    + " can be rebuilt",
                folderPath};
    // The matrices and factor tables grow with the square of the lost slices: a folder that
    // claims more than this many is not solved.
    if (check.lostSlices > maxLostSlices)
        return {RecoveryInsufficient,
                "Too many slices are lost to be rebuilt here: " + std::to_string(check.lostSlices) + ", at most "
                    + std::to_string(maxLostSlices),
                folderPath};
    GaloisField field;
    RunMeter meter(run, 0);

    // The lost slices, and the files to rebuild.
    std::vector<std::uint32_t> lost;
    std::vector<std::unique_ptr<RebuiltFile>> rebuilt;
    std::vector<RebuiltFile*> rebuiltOf(set.files.size(), nullptr);
    // A rebuilt file lets in no one that any intact piece does not, and has their group
    // (the first's).
    mode_t mode = fallbackMode;
    gid_t group = GroupAccess::anyGroup;
    bool modeFound = false;
    for (std::size_t f = 0; f < set.files.size(); ++f) {
        const PieceCheck& piece = check.pieces[f];
        if (piece.condition == PieceCondition::Intact) {
            struct stat info {};
            if (m_layer.fstatAt(folderFd, piece.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                mode = (modeFound ? mode : permissionBits) & info.st_mode & permissionBits;
                if (!modeFound)
                    group = info.st_gid;
                modeFound = true;
            }
            continue;
        }
        auto file = std::make_unique<RebuiltFile>();
        file->layer = &m_layer;
        file->folderFd = folderFd;
        file->fileIndex = f;
        file->replaces = piece.condition == PieceCondition::Damaged;
        rebuiltOf[f] = file.get();
        rebuilt.push_back(std::move(file));
        for (std::size_t s = 0; s < piece.sliceIntact.size(); ++s)
            if (!piece.sliceIntact[s])
                lost.push_back(set.files[f].firstSlice + std::uint32_t(s));
    }
    const std::size_t count = lost.size();
    std::vector<RecoverySliceData> used(set.recovery.begin(), set.recovery.begin() + std::ptrdiff_t(count));
    std::vector<std::uint16_t> matrix(count * count);
    for (std::size_t a = 0; a < count; ++a) {
        if (Error error = meter.stopped(); error.failed())
            return error;
        for (std::size_t b = 0; b < count; ++b)
            matrix[a * count + b] = field.coefficient(lost[b], used[a].exponent);
    }
    bool singular = false;
    if (Error error = invert(field, matrix, count, meter, singular); error.failed())
        return error;
    if (singular)
        return {RecoveryInsufficient, "The recovery slices at hand cannot rebuild these pieces", folderPath};

    for (auto& file : rebuilt) {
        const std::string path = folderPath + "/" + set.files[file->fileIndex].name;
        int fd = -1;
        const int err = TempName::makeFresh(
            tempSuffix,
            [&](const std::string& name) {
                fd = m_layer.openAt(folderFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
                return fd >= 0;
            },
            file->tempName);
        if (err != 0)
            return Error::fromErrno(err, path);
        file->handle = std::make_unique<FileHandle>(m_layer, fd);
        if (m_layer.fchmod(file->handle->fd(), mode) != 0)
            return Error::fromErrno(errno, path);
        if (Error error = GroupAccess::share(m_layer, file->handle->fd(), group, path); error.failed())
            return error;
    }

    // Every slice read: the intact source slices (with their coefficients per recovery slice)
    // and the recovery slices used.
    std::vector<std::unique_ptr<FileHandle>> handles;
    std::vector<Source> sources;
    for (std::size_t f = 0; f < set.files.size(); ++f) {
        if (Error error = meter.stopped(); error.failed())
            return error;
        const RecoverySetFile& file = set.files[f];
        const PieceCheck& piece = check.pieces[f];
        if (std::none_of(piece.sliceIntact.begin(), piece.sliceIntact.end(), [](bool b) { return b; }))
            continue;
        const std::string path = folderPath + "/" + file.name;
        const int fd = m_layer.openAt(folderFd, file.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
        if (fd < 0)
            return Error::fromErrno(errno, path);
        handles.push_back(std::make_unique<FileHandle>(m_layer, fd));
        for (std::size_t s = 0; s < piece.sliceIntact.size(); ++s) {
            if (!piece.sliceIntact[s])
                continue;
            Source source;
            source.fd = fd;
            source.path = path;
            source.offset = s * set.sliceSize;
            source.available = std::min(set.sliceSize, file.length - source.offset);
            source.copyTo = rebuiltOf[f];
            source.slice = file.firstSlice + std::uint32_t(s);
            sources.push_back(source);
        }
    }
    const std::size_t intactSources = sources.size();
    for (const RecoverySliceData& data : used) {
        const std::string path = folderPath + "/" + data.volume;
        const int fd = m_layer.openAt(folderFd, data.volume.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
        if (fd < 0)
            return Error::fromErrno(errno, path);
        handles.push_back(std::make_unique<FileHandle>(m_layer, fd));
        sources.push_back({fd, path, data.dataOffset, set.sliceSize, nullptr});
    }

    // Per lost slice b: out[b] = sum_a inverse[b][a] * (recovery[a] + sum_j factor[j][a] * intact[j]).
    std::uint64_t total = 0;
    for (const Source& source : sources)
        total += source.available;
    const RangePlan ranges = planRanges(set.sliceSize, std::uint32_t(count));
    total *= (count + ranges.slicesPerPass - 1) / ranges.slicesPerPass;
    for (const auto& file : rebuilt)
        total += set.files[file->fileIndex].length;  // read again for its MD5
    meter.addToTotal(total);
    const std::size_t stride = alignedStride(ranges.width);
    AlignedBuffer outputs(stride * ranges.slicesPerPass);
    AlignedBuffer buffer(recoveryReadChunk);
    // Per source, the factor of each output slice of the pass.
    std::vector<std::uint16_t> passFactors;
    // An intact source slice's coefficient in each recovery slice used.
    std::vector<std::uint16_t> coefficients(count);
    // Declared after what its worker uses, so that it ends first.
    ChunkRing ring(recoveryReadChunk, ringSlots);
    for (std::size_t first = 0; first < count; first += ranges.slicesPerPass) {
        const std::size_t outputsNow = std::min<std::size_t>(ranges.slicesPerPass, count - first);
        passFactors.assign(sources.size() * outputsNow, 0);
        for (std::size_t j = 0; j < sources.size(); ++j) {
            if (Error error = meter.stopped(); error.failed())
                return error;
            for (std::size_t a = 0; j < intactSources && a < count; ++a)
                coefficients[a] = field.coefficient(sources[j].slice, used[a].exponent);
            for (std::size_t b = 0; b < outputsNow; ++b) {
                const std::uint16_t* row = matrix.data() + (first + b) * count;
                std::uint16_t factor = 0;
                if (j < intactSources) {
                    for (std::size_t a = 0; a < count; ++a)
                        factor ^= field.multiply(row[a], coefficients[a]);
                } else {
                    factor = row[j - intactSources];
                }
                passFactors[j * outputsNow + b] = factor;
            }
        }
        // The worker takes the larger half of the slices: the reader also reads and converts.
        const std::size_t toWorker = (outputsNow + 1) / 2;
        for (std::uint64_t offset = 0; offset < set.sliceSize; offset += ranges.width) {
            std::memset(outputs.data(), 0, outputs.size());
            const std::uint64_t width = std::min(ranges.width, set.sliceSize - offset);
            for (std::size_t j = 0; j < sources.size(); ++j) {
                const Source& source = sources[j];
                const std::uint16_t* factors = passFactors.data() + j * outputsNow;
                const std::uint64_t end = std::min(offset + width, source.available);
                // The source's bytes of this range lie at source.offset on in its file.
                const std::uint64_t begin = source.offset + offset;
                const auto use = [&](ChunkRing::Slot& slot, std::uint64_t at, std::size_t step) {
                    if (source.copyTo != nullptr && first == 0) {
                        const RecoverySetFile& file = set.files[source.copyTo->fileIndex];
                        if (Error error = writeFully(m_layer, source.copyTo->handle->fd(), slot.plain.data(), step, at,
                                                     folderPath + "/" + file.name);
                            error.failed())
                            return error;
                    }
                    field.toRegionLayout(slot.plain.data(), slot.region.data(), step);
                    const std::uint8_t* region = slot.region.data();
                    const std::size_t regionBytes = GaloisField::regionSize(step);
                    std::uint8_t* target = outputs.data() + (at - begin);
                    ring.post(slot, [&field, region, regionBytes, target, stride, factors, toWorker] {
                        for (std::size_t b = 0; b < toWorker; ++b)
                            field.multiplyAdd(region, target + b * stride, factors[b], regionBytes);
                    });
                    for (std::size_t b = toWorker; b < outputsNow; ++b)
                        field.multiplyAdd(region, target + b * stride, factors[b], regionBytes);
                    return Error{};
                };
                if (Error error = ring.read(m_layer, source.fd, begin, source.offset + end, source.path, meter, use);
                    error.failed())
                    return error;
            }
            ring.drain();
            // Each rebuilt range goes to its file, up to the file's length.
            for (std::size_t b = 0; b < outputsNow; ++b) {
                const std::uint32_t slice = lost[first + b];
                const auto owner = std::upper_bound(set.files.begin(), set.files.end(), slice,
                                                    [](std::uint32_t s, const RecoverySetFile& f) { return s < f.firstSlice; }) - 1;
                const std::uint64_t start = std::uint64_t(slice - owner->firstSlice) * set.sliceSize + offset;
                if (start >= owner->length)
                    continue;
                const std::uint64_t length = std::min<std::uint64_t>(width, owner->length - start);
                RebuiltFile* file = rebuiltOf[std::size_t(owner - set.files.begin())];
                for (std::uint64_t done = 0; done < length;) {
                    const auto step = std::size_t(std::min<std::uint64_t>(buffer.size(), length - done));
                    field.fromRegionLayout(outputs.data() + b * stride + done, buffer.data(), step);
                    if (Error error = writeFully(m_layer, file->handle->fd(), buffer.data(), step, start + done,
                                                 folderPath + "/" + owner->name);
                        error.failed())
                        return error;
                    done += step;
                }
            }
        }
    }

    // Every rebuilt file must be what the index recorded before any takes its name.
    for (auto& file : rebuilt) {
        const RecoverySetFile& entry = set.files[file->fileIndex];
        const std::string path = folderPath + "/" + entry.name;
        const int fd = file->handle->fd();
        if (m_layer.ftruncate(fd, off_t(entry.length)) != 0)
            return Error::fromErrno(errno, path);
        Md5 md5;
        for (std::uint64_t at = 0; at < entry.length;) {
            const std::size_t step = std::size_t(std::min<std::uint64_t>(buffer.size(), entry.length - at));
            if (Error error = readExactly(m_layer, fd, buffer.data(), step, at, path); error.failed())
                return error;
            md5.add(buffer.data(), step);
            at += step;
            if (Error error = meter.advance(step); error.failed())
                return error;
        }
        if (md5.finish() != entry.md5)
            return {RecoveryDamaged, "The recovery data is damaged: the rebuilt piece does not match", path};
        if (rebuiltCheck) {
            if (Error error = rebuiltCheck(fd, entry.name); error.failed())
                return error;
        }
    }
    if (Error error = meter.stopped(); error.failed())
        return error;
    for (auto& file : rebuilt) {
        const RecoverySetFile& entry = set.files[file->fileIndex];
        const std::string path = folderPath + "/" + entry.name;
        if (int err = file->handle->close(); err != 0)
            return Error::fromErrno(err, path);
        int result = file->replaces
                         ? m_layer.renameAt(folderFd, file->tempName.c_str(), folderFd, entry.name.c_str())
                         : m_layer.renameNoReplaceAt(folderFd, file->tempName.c_str(), folderFd, entry.name.c_str());
        if (result != 0 && !file->replaces && errno == EINVAL)
            result = m_layer.renameAt(folderFd, file->tempName.c_str(), folderFd, entry.name.c_str());
        if (result != 0)
            return Error::fromErrno(errno, path);
        file->tempName.clear();
    }
    meter.complete();
    return {};
}

} // namespace qfs
