// Failures of the file system in the middle of a split or a join: a full disk on a small
// tmpfs, and read, write and close errors injected through the file layer.
#include "engine/fs/folderlisting.h"
#include "engine/joiner.h"
#include "engine/splitter.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stop_token>

using namespace qfs;

namespace {

// Fails the n-th call of one kind with the given errno; can also cut every write short.
// TempWrite counts only the writes to temporary files (the checksum file on its way), and lets
// each of them through half before the failing one. FolderRename is the split's last step but
// one: giving its finished folder the real name; Flush, before it, puts the pieces on the disk
// (syncfs, fdatasync); FolderFlush, after it, the folder that holds the new name (fsync).
// SourceGrows fails nothing: at the n-th read it adds a byte to the end of the file read.
class FaultyLayer : public FileLayer {
public:
    enum class Call { Read, Write, Close, KernelCopy, TempWrite, FolderRename, Flush, FolderFlush, SourceGrows };

    FaultyLayer(Call call, int failAt, int err) : m_call(call), m_failAt(failAt), m_errno(err) {}

    std::size_t maxWrite = 0; // 0: no limit

    int openAt(int dirFd, const char* path, int flags, mode_t mode) override
    {
        const int fd = FileLayer::openAt(dirFd, path, flags, mode);
        if (fd >= 0 && ((flags & O_TMPFILE) == O_TMPFILE || (path[0] == '.' && (flags & O_DIRECTORY) == 0)))
            m_tempFd = fd;
        return fd;
    }
    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override
    {
        if (fails(Call::Read))
            return -1;
        if (fails(Call::SourceGrows)) {
            const int writable = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_APPEND);
            EXPECT_EQ(::write(writable, "+", 1), 1);
            ::close(writable);
        }
        return FileLayer::pread(fd, buffer, count, offset);
    }
    int syncfs(int fd) override { return fails(Call::Flush) ? -1 : FileLayer::syncfs(fd); }
    int fdatasync(int fd) override { return fails(Call::Flush) ? -1 : FileLayer::fdatasync(fd); }
    int fsync(int fd) override { return fails(Call::FolderFlush) ? -1 : FileLayer::fsync(fd); }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override
    {
        if (fails(Call::Write) || (fd == m_tempFd && fails(Call::TempWrite)))
            return -1;
        if (maxWrite > 0 && count > maxWrite)
            count = maxWrite;
        if (fd == m_tempFd && m_call == Call::TempWrite)
            count = (count + 1) / 2;
        return FileLayer::pwrite(fd, buffer, count, offset);
    }
    ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                          std::size_t count) override
    {
        if (fails(Call::KernelCopy))
            return -1;
        return FileLayer::copyFileRange(inFd, inOffset, outFd, outOffset, count);
    }
    int renameNoReplaceAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override
    {
        if (fails(Call::FolderRename))
            return -1;
        return FileLayer::renameNoReplaceAt(oldDirFd, oldPath, newDirFd, newPath);
    }
    int close(int fd) override
    {
        const int result = FileLayer::close(fd);
        return fails(Call::Close) ? -1 : result;
    }

private:
    bool fails(Call call)
    {
        if (call != m_call || ++m_calls != m_failAt)
            return false;
        errno = m_errno;
        return true;
    }

    Call m_call;
    int m_failAt;
    int m_errno;
    int m_calls = 0;
    int m_tempFd = -1;
};


struct FaultCase {
    const char* name;
    FaultyLayer::Call call;
    int failAt;
    int err;
    const char* message;
    bool checksums = false;
};

class SplitFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(SplitFaultTest, EndsInOneMessageAndLeavesNothing)
{
    const FaultCase& c = GetParam();
    TestFolder folder;
    writeFile(folder.file("src"), patternBytes(4 * 4096));
    FaultyLayer layer(c.call, c.failAt, c.err);
    RecordingObserver observer;
    const Error error = observer.ended(Splitter(layer, 4096).run(
        SplitRequest{folder.path(), "src", SplitMode::BySize, 4096, c.checksums}, observer));
    EXPECT_EQ(error.code, c.err);
    EXPECT_EQ(observer.events.back().rfind(std::string("failed: ") + c.message + ": ", 0), 0u);
    EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "finished"), 0);
    // The pieces written before the failure and the folder are gone again.
    EXPECT_EQ(entries(folder.path()), std::vector<std::string>{"src"});
}

// Each 4096-byte piece takes one read and one write (signature and slice together), with
// checksums or without. The source's own close comes last; the checksum file is written after
// the last piece.
INSTANTIATE_TEST_SUITE_P(Faults, SplitFaultTest, testing::Values(
    FaultCase{"ReadErrorInThirdPiece", FaultyLayer::Call::Read, 3, EIO, "5: Input/output error"},
    FaultCase{"DiskFullInSecondPiece", FaultyLayer::Call::Write, 2, ENOSPC, "28: No space left on device"},
    FaultCase{"QuotaOnFirstWrite", FaultyLayer::Call::Write, 1, EDQUOT, "122: Disk quota exceeded"},
    FaultCase{"CloseOfFirstPieceFails", FaultyLayer::Call::Close, 1, EIO, "5: Input/output error"},
    FaultCase{"ReadErrorInThirdHashedPiece", FaultyLayer::Call::Read, 3, EIO, "5: Input/output error", true},
    FaultCase{"ChecksumFileHalfWritten", FaultyLayer::Call::TempWrite, 2, ENOSPC, "28: No space left on device",
              true},
    FaultCase{"FinishedFolderCannotTakeItsName", FaultyLayer::Call::FolderRename, 1, EIO, "5: Input/output error",
              true},
    FaultCase{"PiecesCannotBeFlushedToTheDisk", FaultyLayer::Call::Flush, 1, EIO, "5: Input/output error"},
    FaultCase{"NewNameCannotBeFlushedToTheDisk", FaultyLayer::Call::FolderFlush, 1, EIO, "5: Input/output error"},
    FaultCase{"SourceGrowsWhileItIsRead", FaultyLayer::Call::SourceGrows, 2, SourceChanged,
              "1013: The file got longer while it was being read"}),
    [](const auto& row) { return row.param.name; });

TEST(FaultsTest, JoinThatFailsHalfWayLeavesTheEarlierOutputAsItWas)
{
    TestFolder folder;
    writeFile(folder.file("j"), "the earlier j");
    writeFile(folder.file("j.0000"), "Quarb" + patternBytes(4096));
    writeFile(folder.file("j.0001"), "Quarb" + patternBytes(4096, 2));
    FaultyLayer layer(FaultyLayer::Call::Write, 2, ENOSPC);
    RecordingObserver observer;
    const Error error = observer.ended(Joiner(layer, 4096).run(JoinRequest{folder.path()}, observer));
    EXPECT_EQ(error.message(), "28: No space left on device: " + folder.file("j"));
    EXPECT_EQ(observer.events.back(), "failed: " + error.message());
    EXPECT_EQ(readFile(folder.file("j")), "the earlier j");
    EXPECT_EQ(entries(folder.path()), (std::vector<std::string>{"j", "j.0000", "j.0001"}));
}

struct KernelCopyCase {
    const char* name;
    int err;
    const char* message; // nullptr: the copy falls back to the buffer and succeeds
};

class KernelCopyFaultTest : public testing::TestWithParam<KernelCopyCase> {};

TEST_P(KernelCopyFaultTest, RefusalFallsBackAndFailureIsReported)
{
    const KernelCopyCase& c = GetParam();
    TestFolder folder;
    const std::string source = patternBytes(3 << 20);
    writeFile(folder.file("k"), source);
    FaultyLayer layer(FaultyLayer::Call::KernelCopy, 2, c.err);
    RecordingObserver observer;
    const Error error = observer.ended(Splitter(layer).run(
        SplitRequest{folder.path(), "k", SplitMode::BySize, 1 << 20, false}, observer));
    const std::string pieces = folder.file("k_split");
    if (c.message == nullptr) {
        ASSERT_FALSE(error.failed()) << error.message();
        ASSERT_FALSE(observer.ended(Joiner().run(JoinRequest{pieces}, observer)).failed());
        EXPECT_EQ(readFile(pieces + "/k"), source);
    } else {
        EXPECT_EQ(observer.events.back().rfind(std::string("failed: ") + c.message + ": ", 0), 0u);
        EXPECT_EQ(entries(folder.path()), std::vector<std::string>{"k"});
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, KernelCopyFaultTest, testing::Values(
    KernelCopyCase{"CrossDeviceFallsBack", EXDEV, nullptr},
    KernelCopyCase{"UnsupportedFallsBack", EOPNOTSUPP, nullptr},
    KernelCopyCase{"ReadErrorIsReported", EIO, "5: Input/output error"},
    KernelCopyCase{"DiskFullIsReported", ENOSPC, "28: No space left on device"}),
    [](const auto& row) { return row.param.name; });

// Asks the run to stop while its first kernel copy is under way, and counts the copies.
class StoppingLayer : public FileLayer {
public:
    ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                          std::size_t count) override
    {
        if (++copies == 1)
            stop.request_stop();
        return FileLayer::copyFileRange(inFd, inOffset, outFd, outOffset, count);
    }

    std::stop_source stop;
    int copies = 0;
};

struct StopCase {
    const char* name;
    bool join;
};

class KernelCopyStopTest : public testing::TestWithParam<StopCase> {};

// One piece of 20 MiB takes two kernel copies (of at most 16 MiB): a stop during the first
// ends the run at once instead of at the end of the piece.
TEST_P(KernelCopyStopTest, StopsAfterTheKernelCopyUnderWay)
{
    constexpr std::size_t length = 20 << 20;
    TestFolder folder;
    StoppingLayer layer;
    RecordingObserver observer;
    Error error;
    if (GetParam().join) {
        writeFile(folder.file("j.0000"), "Quarb" + patternBytes(length));
        error = Joiner(layer).run(JoinRequest{folder.path()}, observer, layer.stop.get_token()).error();
    } else {
        writeFile(folder.file("src"), patternBytes(length));
        error = Splitter(layer)
                    .run(SplitRequest{folder.path(), "src", SplitMode::BySize, 1ull << 30, false}, observer,
                         layer.stop.get_token())
                    .error();
        EXPECT_EQ(entries(folder.path()), std::vector<std::string>{"src"});
    }
    EXPECT_EQ(error.code, Cancelled) << error.message();
    EXPECT_EQ(layer.copies, 1);
}

INSTANTIATE_TEST_SUITE_P(Stop, KernelCopyStopTest, testing::Values(StopCase{"Split", false}, StopCase{"Join", true}),
                         [](const auto& row) { return row.param.name; });

TEST(FaultsTest, ShortWritesStillCopyEveryByte)
{
    TestFolder folder;
    const std::string source = patternBytes(50000);
    writeFile(folder.file("s"), source);
    FaultyLayer layer(FaultyLayer::Call::Write, 0, 0);
    layer.maxWrite = 777;
    RecordingObserver observer;
    ASSERT_FALSE(Splitter(layer, 8192, false).run(
        SplitRequest{folder.path(), "s", SplitMode::ByCount, 3, false}, observer).failed());
    const std::string pieces = folder.file("s_split");
    ASSERT_FALSE(Joiner(layer, 8192, false).run(JoinRequest{pieces}, observer).failed());
    EXPECT_EQ(readFile(pieces + "/s"), source);
}

// Tells the split the destination is a FAT drive.
class FatLayer : public FileLayer {
public:
    int fstatfs(int fd, struct statfs* info) override
    {
        const int result = FileLayer::fstatfs(fd, info);
        info->f_type = 0x4d44;
        return result;
    }
};

struct VolumeCase {
    const char* name;
    const char* options;    // of the tmpfs
    std::uint64_t sourceBytes; // written out up to denseLimit, a hole beyond it
    std::uint64_t pieceBytes;
    bool fat;
    int code;
};

class VolumeRefusalTest : public testing::TestWithParam<VolumeCase> {};

TEST_P(VolumeRefusalTest, RefusesBeforeWritingAndSaysWhatIsNeeded)
{
    const VolumeCase& c = GetParam();
    TestFolder folder;
    const std::string volume = folder.file("volume");
    TestMount tiny(volume, c.options);
    if (!tiny.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << tiny.reason();
    // Large sources are sparse: their length costs the small volume nothing.
    constexpr std::uint64_t denseLimit = 1 << 20;
    writeFile(volume + "/src", patternBytes(std::size_t(std::min(c.sourceBytes, denseLimit))));
    std::filesystem::resize_file(volume + "/src", c.sourceBytes);
    FatLayer fat;
    RecordingObserver observer;
    const Error error = Splitter(c.fat ? fat : FileLayer::system())
                            .run(SplitRequest{volume, "src", SplitMode::BySize, c.pieceBytes, true}, observer)
                            .error();
    EXPECT_EQ(error.code, c.code) << error.message();
    EXPECT_EQ(entries(volume), std::vector<std::string>{"src"});
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumeRefusalTest, testing::Values(
    VolumeCase{"NotEnoughSpace", "size=1m", 600 << 10, 64 << 10, false, NotEnoughSpace},
    VolumeCase{"NotEnoughInodes", "size=1m,nr_inodes=40", 100, 1, false, NotEnoughInodes},
    VolumeCase{"PieceBeyondTheFatLimit", "size=1m", 5ull << 30, 4ull << 30, true, PieceTooLarge}),
    [](const auto& row) { return row.param.name; });

// A disk that fills up after the checks: the space is taken by another file between the first
// and the second piece.
class FillingLayer : public FileLayer {
public:
    explicit FillingLayer(std::string filler) : m_filler(std::move(filler)) {}

    int openAt(int dirFd, const char* path, int flags, mode_t mode) override
    {
        if ((flags & O_CREAT) != 0 && ++m_created == 2) {
            const int fd = FileLayer::openAt(AT_FDCWD, m_filler.c_str(), O_WRONLY | O_CREAT, 0600);
            const std::string block(4096, 'f');
            while (::write(fd, block.data(), block.size()) > 0) {
            }
            ::close(fd);
        }
        return FileLayer::openAt(dirFd, path, flags, mode);
    }

private:
    std::string m_filler;
    int m_created = 0;
};

TEST(FaultsTest, DiskThatFillsUpDuringTheSplitLeavesNothing)
{
    TestFolder folder;
    const std::string volume = folder.file("volume");
    TestMount tiny(volume, "size=2m");
    if (!tiny.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << tiny.reason();
    writeFile(volume + "/src", patternBytes(300 * 1024));
    FillingLayer layer(volume + "/filler");
    RecordingObserver observer;
    const Error error =
        Splitter(layer).run(SplitRequest{volume, "src", SplitMode::BySize, 64 * 1024, false}, observer).error();
    EXPECT_EQ(error.code, ENOSPC) << error.message();
    EXPECT_EQ(entries(volume), (std::vector<std::string>{"filler", "src"}));
}

} // namespace
