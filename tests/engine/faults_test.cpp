// Failures of the file system in the middle of a split or a join: a full disk on a small
// tmpfs, and read, write and close errors injected through the file layer.
#include "folderlisting.h"
#include "joiner.h"
#include "splitter.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace qfs;

namespace {

// Fails the n-th call of one kind with the given errno; can also cut every write short.
class FaultyLayer : public FileLayer {
public:
    enum class Call { Read, Write, Close, KernelCopy };

    FaultyLayer(Call call, int failAt, int err) : m_call(call), m_failAt(failAt), m_errno(err) {}

    std::size_t maxWrite = 0; // 0: no limit

    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override
    {
        if (fails(Call::Read))
            return -1;
        return FileLayer::pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override
    {
        if (fails(Call::Write))
            return -1;
        if (maxWrite > 0 && count > maxWrite)
            count = maxWrite;
        return FileLayer::pwrite(fd, buffer, count, offset);
    }
    ssize_t copyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                          std::size_t count) override
    {
        if (fails(Call::KernelCopy))
            return -1;
        return FileLayer::copyFileRange(inFd, inOffset, outFd, outOffset, count);
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
};

std::vector<std::string> listing(const std::string& path)
{
    std::vector<std::string> names;
    EXPECT_FALSE(FolderListing::regularFiles(path, names).failed());
    return names;
}

struct FaultCase {
    const char* name;
    FaultyLayer::Call call;
    int failAt;
    int err;
    const char* message;
    std::size_t piecesLeft; // pieces complete before the failure
};

class SplitFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(SplitFaultTest, EndsInOneMessageAndKeepsTheClosedPieces)
{
    const FaultCase& c = GetParam();
    TestFolder folder;
    writeFile(folder.file("src"), patternBytes(4 * 4096));
    FaultyLayer layer(c.call, c.failAt, c.err);
    RecordingObserver observer;
    const Error error = Splitter(layer, 4096).run(
        SplitRequest{folder.path(), "src", SplitMode::BySize, "4096", 3, ""}, observer);
    EXPECT_EQ(error.code, c.err);
    EXPECT_EQ(observer.events.back().rfind(std::string("failed: ") + c.message + ": ", 0), 0u);
    EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "finished"), 0);
    std::size_t written = 0;
    for (const std::string& event : observer.events)
        written += event.rfind("piece: ", 0) == 0;
    EXPECT_EQ(written, c.piecesLeft);
    // Only the whole pieces stay: the one that failed is removed.
    EXPECT_EQ(listing(folder.file("src_split")).size(), c.piecesLeft);
}

// Each 4096-byte piece takes one read and one write (signature and slice together). The
// source's own close comes last.
INSTANTIATE_TEST_SUITE_P(Faults, SplitFaultTest, testing::Values(
    FaultCase{"ReadErrorInThirdPiece", FaultyLayer::Call::Read, 3, EIO, "5: Input/output error", 2},
    FaultCase{"DiskFullInSecondPiece", FaultyLayer::Call::Write, 2, ENOSPC, "28: No space left on device", 1},
    FaultCase{"QuotaOnFirstWrite", FaultyLayer::Call::Write, 1, EDQUOT, "122: Disk quota exceeded", 0},
    FaultCase{"CloseOfFirstPieceFails", FaultyLayer::Call::Close, 1, EIO, "5: Input/output error", 0}),
    [](const auto& row) { return row.param.name; });

TEST(FaultsTest, JoinReportsAWriteErrorAndKeepsWhatWasWritten)
{
    TestFolder folder;
    writeFile(folder.file("j.0000"), "Quarb" + patternBytes(4096));
    writeFile(folder.file("j.0001"), "Quarb" + patternBytes(4096, 2));
    FaultyLayer layer(FaultyLayer::Call::Write, 2, ENOSPC);
    RecordingObserver observer;
    const Error error = Joiner(layer, 4096).run(JoinRequest{folder.path(), listing(folder.path())}, observer);
    EXPECT_EQ(error.message(), "28: No space left on device: " + folder.file("j"));
    EXPECT_EQ(observer.events.back(), "failed: " + error.message());
    EXPECT_EQ(std::filesystem::file_size(folder.file("j")), 4096u);
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
    const Error error = Splitter(layer).run(
        SplitRequest{folder.path(), "k", SplitMode::BySize, "1", 1, ""}, observer);
    const std::string pieces = folder.file("k_split");
    if (c.message == nullptr) {
        ASSERT_FALSE(error.failed()) << error.message();
        ASSERT_FALSE(Joiner().run(JoinRequest{pieces, listing(pieces)}, observer).failed());
        EXPECT_EQ(readFile(pieces + "/k"), source);
    } else {
        EXPECT_EQ(observer.events.back().rfind(std::string("failed: ") + c.message + ": ", 0), 0u);
        EXPECT_EQ(listing(pieces), std::vector<std::string>{"k.0000"});
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, KernelCopyFaultTest, testing::Values(
    KernelCopyCase{"CrossDeviceFallsBack", EXDEV, nullptr},
    KernelCopyCase{"UnsupportedFallsBack", EOPNOTSUPP, nullptr},
    KernelCopyCase{"ReadErrorIsReported", EIO, "5: Input/output error"},
    KernelCopyCase{"DiskFullIsReported", ENOSPC, "28: No space left on device"}),
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
        SplitRequest{folder.path(), "s", SplitMode::ByCount, "", 2, "3"}, observer).failed());
    const std::string pieces = folder.file("s_split");
    ASSERT_FALSE(Joiner(layer, 8192, false).run(JoinRequest{pieces, listing(pieces)}, observer).failed());
    EXPECT_EQ(readFile(pieces + "/s"), source);
}

// A real full disk: a 512 KiB tmpfs holding a 300 KiB source, split into 64 KiB pieces.
TEST(FaultsTest, FullDiskOnASmallFileSystem)
{
    TestFolder folder;
    const std::string mountPoint = folder.file("small");
    std::filesystem::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};

    writeFile(mountPoint + "/src", patternBytes(300 * 1024));
    RecordingObserver observer;
    const Error error = Splitter().run(
        SplitRequest{mountPoint, "src", SplitMode::BySize, "64", 2, ""}, observer);
    EXPECT_EQ(error.code, ENOSPC);
    EXPECT_EQ(observer.events.back().rfind("failed: 28: No space left on device: " + mountPoint, 0), 0u);
    // The pieces reported as written are on disk and whole; the one that failed is gone.
    std::vector<std::string> reported;
    for (const std::string& event : observer.events) {
        if (event.rfind("piece: ", 0) == 0)
            reported.push_back(event.substr(7));
    }
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(listing(mountPoint + "/src_split"), reported);
    for (const std::string& name : reported)
        EXPECT_EQ(std::filesystem::file_size(mountPoint + "/src_split/" + name), 65536u + 5);
}

} // namespace
