#include "engine/fs/folderlisting.h"
#include "engine/pieces/piecenaming.h"
#include "engine/joiner.h"
#include "engine/splitter.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <tuple>
#include <utility>

using namespace qfs;

namespace {

SplitRequest bySize(const TestFolder& folder, const std::string& file, std::uint64_t bytes)
{
    return SplitRequest{folder.path(), file, SplitMode::BySize, bytes, false};
}

SplitRequest byCount(const TestFolder& folder, const std::string& file, std::uint64_t count)
{
    return SplitRequest{folder.path(), file, SplitMode::ByCount, count, false};
}

std::vector<std::string> listing(const std::string& path)
{
    std::vector<std::string> names;
    EXPECT_FALSE(FolderListing::regularFiles(path, names).failed());
    return names;
}

std::vector<std::uintmax_t> pieceSizes(const std::string& folderPath)
{
    std::vector<std::uintmax_t> sizes;
    for (const std::string& name : listing(folderPath))
        sizes.push_back(std::filesystem::file_size(folderPath + "/" + name));
    return sizes;
}

// Joins the folder's listed pieces and returns the rebuilt file's bytes.
std::string joinBack(const std::string& folderPath, const std::string& rebuiltName,
                     std::size_t blockSize = SliceCopier::defaultBlockSize, bool kernelCopy = true)
{
    RecordingObserver observer;
    const Error error = observer.ended(Joiner(FileLayer::system(), blockSize, kernelCopy)
                                           .run(JoinRequest{folderPath}, observer));
    EXPECT_FALSE(error.failed()) << error.message();
    return readFile(folderPath + "/" + rebuiltName);
}

TEST(SplitterTest, MovieExampleMakesFourPiecesAndReportsInOrder)
{
    TestFolder folder;
    const std::string source = patternBytes(1000000);
    writeFile(folder.file("movie.avi"), source);
    RecordingObserver observer;
    SplitRequest request = bySize(folder, "movie.avi", 300 * 1024);
    request.writeChecksums = true;
    ASSERT_FALSE(observer.ended(Splitter().run(request, observer)).failed());

    EXPECT_EQ(observer.events, (std::vector<std::string>{
        "folder name: movie.avi_split", "folder opened",
        "piece: movie.avi.0000", "piece: movie.avi.0001", "piece: movie.avi.0002",
        "piece: movie.avi.0003", "checksums: movie.avi.sha256", "finished"}));
    const std::string pieces = folder.file("movie.avi_split");
    EXPECT_EQ(pieceSizes(pieces), (std::vector<std::uintmax_t>{307205, 307205, 307205, 78405, 400}));
    EXPECT_EQ(observer.lastDone, 1000000u);
    EXPECT_EQ(observer.lastTotal, 1000000u);
    EXPECT_EQ(joinBack(pieces, "movie.avi"), source);
}

TEST(SplitterTest, PieceBytesAreSignatureThenSlice)
{
    TestFolder folder;
    writeFile(folder.file("abc"), "ABCDEFGHIJKL");
    RecordingObserver observer;
    ASSERT_FALSE(observer.ended(Splitter().run(bySize(folder, "abc", 5), observer)).failed());
    const std::string pieces = folder.file("abc_split");
    EXPECT_EQ(listing(pieces), (std::vector<std::string>{"abc.0000", "abc.0001", "abc.0002"}));
    EXPECT_EQ(readFile(pieces + "/abc.0000"), "QuarbABCDE");
    EXPECT_EQ(readFile(pieces + "/abc.0001"), "QuarbFGHIJ");
    EXPECT_EQ(readFile(pieces + "/abc.0002"), "QuarbKL");
}

struct LayoutCase {
    const char* name;
    std::size_t length;
    SplitMode mode;
    std::uint64_t amount; // size in bytes, or count
    std::vector<std::uintmax_t> sizes;
};

class LayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, PieceSizesFollowTheChunkRule)
{
    const LayoutCase& c = GetParam();
    TestFolder folder;
    writeFile(folder.file("f"), patternBytes(c.length));
    RecordingObserver observer;
    const SplitRequest request = c.mode == SplitMode::BySize ? bySize(folder, "f", c.amount)
                                                             : byCount(folder, "f", c.amount);
    ASSERT_FALSE(observer.ended(Splitter().run(request, observer)).failed());
    EXPECT_EQ(pieceSizes(folder.file("f_split")), c.sizes);
}

INSTANTIATE_TEST_SUITE_P(Sources, LayoutTest, testing::Values(
    LayoutCase{"ExactMultiple", 614400, SplitMode::BySize, 307200, {307205, 307205}},
    LayoutCase{"SizeAboveLength", 100, SplitMode::BySize, 1000, {105}},
    LayoutCase{"EmptySourceGivesSignatureOnlyPiece", 0, SplitMode::BySize, 10, {5}},
    LayoutCase{"CountFourOfTen", 10, SplitMode::ByCount, 4, {8, 8, 8, 6}},
    LayoutCase{"CountSixOfTenGivesFive", 10, SplitMode::ByCount, 6, {7, 7, 7, 7, 7}},
    LayoutCase{"CountAboveLength", 3, SplitMode::ByCount, 10, {6, 6, 6}},
    LayoutCase{"CountOfEmptySource", 0, SplitMode::ByCount, 3, {5}},
    LayoutCase{"CountInExponentForm", 5, SplitMode::ByCount, 1234567890123460, {6, 6, 6, 6, 6}}),
    [](const auto& row) { return row.param.name; });

// Split and join round trips over lengths around the chunk size, in both modes, through the
// buffer with small blocks (so that block and page edges are crossed inside pieces) and
// through the kernel's copy for long runs; and with checksums, which the join then verifies.
struct RoundTripCase {
    std::size_t chunk;
    std::size_t blockSize;
    bool kernelCopy;
};

class RoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTest, JoinGivesBackTheSourceByteForByte)
{
    const auto [chunk, blockSize, kernelCopy] = GetParam();
    for (std::size_t length : {std::size_t(0), std::size_t(1), chunk - 1, chunk, chunk + 1,
                               3 * chunk, 3 * chunk + 7}) {
        for (const auto& [mode, checksums, format] :
             {std::tuple{SplitMode::BySize, false, PieceFormat::Signed},
              std::tuple{SplitMode::ByCount, false, PieceFormat::Signed},
              std::tuple{SplitMode::BySize, true, PieceFormat::Signed},
              std::tuple{SplitMode::BySize, false, PieceFormat::Plain},
              std::tuple{SplitMode::BySize, true, PieceFormat::Plain}}) {
            SCOPED_TRACE("length " + std::to_string(length) + (mode == SplitMode::BySize ? " by size" : " by count")
                         + (checksums ? " with checksums" : "")
                         + (format == PieceFormat::Plain ? " plain" : ""));
            TestFolder folder;
            const std::string source = patternBytes(length, unsigned(length));
            writeFile(folder.file("data.bin"), source);
            SplitRequest request = mode == SplitMode::BySize
                ? bySize(folder, "data.bin", chunk)
                : byCount(folder, "data.bin", 3);
            request.writeChecksums = checksums;
            request.format = format;
            RecordingObserver observer;
            const Error error =
                observer.ended(Splitter(FileLayer::system(), blockSize, kernelCopy).run(request, observer));
            ASSERT_FALSE(error.failed()) << error.message();
            EXPECT_EQ(joinBack(folder.file("data.bin_split"), "data.bin", blockSize, kernelCopy),
                      source);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Chunks, RoundTripTest, testing::Values(
    RoundTripCase{5, 4096, false}, RoundTripCase{4096, 4096, false},
    RoundTripCase{5000, 4096, false}, RoundTripCase{3 * 4096 + 11, 4096, false},
    RoundTripCase{40000, 8192, false}, RoundTripCase{300000, 16384, false},
    RoundTripCase{300000, 4096, true}, RoundTripCase{1 << 20, 4096, true},
    RoundTripCase{(1 << 20) + 3, SliceCopier::defaultBlockSize, true}),
    [](const auto& row) {
        return "Chunk" + std::to_string(row.param.chunk) + "Block" +
               std::to_string(row.param.blockSize) + (row.param.kernelCopy ? "Kernel" : "Buffer");
    });

// The split folder appears only complete; until then another program may take its name.
class TakesTheNameMidway : public RecordingObserver {
public:
    explicit TakesTheNameMidway(std::string folderPath) : m_folderPath(std::move(folderPath)) {}
    void pieceWritten(const std::string& pieceName) override
    {
        RecordingObserver::pieceWritten(pieceName);
        if (events.size() > 1 && events[events.size() - 2] != "folder opened")
            return;
        EXPECT_FALSE(std::filesystem::exists(m_folderPath)) << "a split folder with pieces still to come";
        ASSERT_EQ(::mkdir(m_folderPath.c_str(), 0755), 0);
        writeFile(m_folderPath + "/keep", "theirs");
    }

private:
    std::string m_folderPath;
};

TEST(SplitterTest, ExistingFolderOrFileOfThatNameGivesItsMessageAndWritesNothing)
{
    TestFolder folder;
    writeFile(folder.file("a.bin"), "hello");
    writeFile(folder.file("b.bin"), "hello");
    writeFile(folder.file("c.bin"), "hello");
    ASSERT_EQ(::mkdir(folder.file("a.bin_split").c_str(), 0755), 0);
    writeFile(folder.file("a.bin_split/keep"), "old");
    writeFile(folder.file("b.bin_split"), "a file");

    for (const char* name : {"a.bin", "b.bin"}) {
        RecordingObserver observer;
        EXPECT_TRUE(observer.ended(Splitter().run(bySize(folder, name, 1), observer)).failed());
        EXPECT_EQ(observer.events, (std::vector<std::string>{
            std::string("folder name: ") + name + "_split",
            std::string("failed: ") + Splitter::folderExistsMessage}));
    }
    EXPECT_EQ(listing(folder.file("a.bin_split")), std::vector<std::string>{"keep"});
    EXPECT_EQ(readFile(folder.file("b.bin_split")), "a file");

    // Taken while the pieces are written: refused at the end, the newcomer left alone.
    TakesTheNameMidway observer(folder.file("c.bin_split"));
    EXPECT_TRUE(observer.ended(Splitter().run(bySize(folder, "c.bin", 1), observer)).is(FolderExists));
    EXPECT_EQ(listing(folder.file("c.bin_split")), std::vector<std::string>{"keep"});
    EXPECT_EQ(entries(folder.path()),
              (std::vector<std::string>{"a.bin", "a.bin_split", "b.bin", "b.bin_split", "c.bin", "c.bin_split"}));
}

// Requests refused before the split folder exists: nothing at all may be created.
struct RefusalCase {
    const char* name;
    std::function<SplitRequest(const TestFolder&)> prepare;
    std::function<std::string(const TestFolder&)> event; // the observer's last event
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, LeavesTheFolderAsItWas)
{
    const RefusalCase& c = GetParam();
    TestFolder folder;
    const SplitRequest request = c.prepare(folder);
    const std::vector<std::string> before = entries(folder.path());
    RecordingObserver observer;
    EXPECT_TRUE(observer.ended(Splitter().run(request, observer)).failed());
    EXPECT_EQ(observer.events.back(), c.event(folder));
    EXPECT_EQ(entries(folder.path()), before);
}

// A name that leaves room for "name.99999" but not for "name.100000".
const std::string longName(249, 'n');

INSTANTIATE_TEST_SUITE_P(Requests, RefusalTest, testing::Values(
    RefusalCase{"VanishedSource",
                [](const TestFolder& f) { return bySize(f, "gone.bin", 1); },
                [](const TestFolder& f) { return "failed: 2: No such file or directory: " + f.file("gone.bin"); }},
    RefusalCase{"MissingSourceFolder",
                [](const TestFolder& f) {
                    SplitRequest request = bySize(f, "x", 1);
                    request.sourceDirectory = f.file("no/such/dir");
                    return request;
                },
                [](const TestFolder& f) { return "failed: 2: No such file or directory: " + f.file("no/such/dir"); }},
    RefusalCase{"Fifo",
                [](const TestFolder& f) {
                    ::mkfifo(f.file("pipe").c_str(), 0644);
                    return bySize(f, "pipe", 1);
                },
                [](const TestFolder& f) { return "failed: 1001: Not a regular file: " + f.file("pipe"); }},
    RefusalCase{"Directory",
                [](const TestFolder& f) {
                    ::mkdir(f.file("dir").c_str(), 0755);
                    return bySize(f, "dir", 1);
                },
                [](const TestFolder& f) { return "failed: 1001: Not a regular file: " + f.file("dir"); }},
    RefusalCase{"PieceNamesTooLongFromPiece100000",
                [](const TestFolder& f) {
                    writeFile(f.file(longName), std::string(100001, 'x'));
                    return byCount(f, longName, 100001);
                },
                [](const TestFolder& f) {
                    return "failed: 1011: The split needs names of 256 characters; this folder allows 255: " +
                           f.file(longName + "_split");
                }}),
    [](const auto& row) { return row.param.name; });

TEST(SplitterTest, BlanksAroundTheNameAreKeptForTheSourceAndPiecesButNotTheFolder)
{
    TestFolder folder;
    writeFile(folder.file(" spaced "), "0123456789");
    RecordingObserver observer;
    ASSERT_FALSE(observer.ended(Splitter().run(bySize(folder, " spaced ", 4), observer)).failed());
    EXPECT_EQ(listing(folder.file("spaced_split")),
              (std::vector<std::string>{" spaced .0000", " spaced .0001", " spaced .0002"}));
}

TEST(SplitterTest, PiecesFolderAndRebuiltFileGrantNoMoreThanTheSource)
{
    TestFolder folder;
    writeFile(folder.file("secret"), "0123456789");
    ASSERT_EQ(::chmod(folder.file("secret").c_str(), 0600), 0);
    RecordingObserver observer;
    SplitRequest request = bySize(folder, "secret", 4);
    request.writeChecksums = true;
    ASSERT_FALSE(observer.ended(Splitter().run(request, observer)).failed());
    const std::string pieces = folder.file("secret_split");
    EXPECT_EQ(joinBack(pieces, "secret"), "0123456789");
    const auto mode = [](const std::string& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mode & 0777;
    };
    EXPECT_EQ(mode(pieces), 0700u);
    for (const char* name : {"secret.0000", "secret.0001", "secret.0002", "secret.sha256", "secret"})
        EXPECT_EQ(mode(pieces + "/" + name), 0600u) << name;
}

// Users and groups of their own for the access rows; the system need not know them by name.
constexpr uid_t splitting = 61001; // owns the source, splits and joins it
constexpr uid_t colleague = 61002; // shares the splitting user's primary group, not the source's
constexpr uid_t member = 61003;    // of the source's group
constexpr gid_t staff = 61010;     // the splitting user's primary group
constexpr gid_t project = 61011;   // the source's group

// Runs `work` in a child process as this user, with this primary group and these others, and
// returns its exit status; 77 when the identity cannot be taken (not root).
int runAs(uid_t user, gid_t group, const std::vector<gid_t>& others, const std::function<int()>& work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr int cannot = 77;
        if (::setgroups(others.size(), others.data()) != 0 || ::setresgid(group, group, group) != 0
            || ::setresuid(user, user, user) != 0)
            ::_exit(cannot);
        ::_exit(work());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct GroupCase {
    const char* name;
    bool splitterInSourceGroup; // the splitting user may give what it makes the source's group
};

class GroupAccessTest : public testing::TestWithParam<GroupCase> {};

// A 0640 source of the project group, split and joined by its owner whose primary group is
// staff: a colleague in staff alone must not read what the split and the join make, which they
// could if it took the owner's group with the source's bits.
TEST_P(GroupAccessTest, WhoCannotReadTheSourceCannotReadThePiecesOrTheRebuiltFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    TestFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
    writeFile(folder.file("plans"), "0123456789");
    ASSERT_EQ(::chown(folder.file("plans").c_str(), splitting, project), 0);
    ASSERT_EQ(::chmod(folder.file("plans").c_str(), 0640), 0);
    const std::vector<gid_t> splitterGroups =
        GetParam().splitterInSourceGroup ? std::vector<gid_t>{staff, project} : std::vector<gid_t>{staff};
    const int made = runAs(splitting, staff, splitterGroups, [&] {
        RecordingObserver observer;
        SplitRequest request = bySize(folder, "plans", 4);
        request.writeChecksums = true;
        return Splitter().run(request, observer).failed() || Joiner().run(JoinRequest{folder.file("plans_split")}, observer).failed();
    });
    if (made == 77)
        GTEST_SKIP() << "cannot act as another user here";
    ASSERT_EQ(made, 0);

    // Every file is also linked into a folder anyone may enter, so that each is tried for
    // itself, not only behind its folder.
    const std::string pieces = folder.file("plans_split");
    const std::string open = folder.file("open");
    ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
    const std::vector<std::string> names = {"plans.0000", "plans.0001", "plans.0002", "plans.sha256", "plans"};
    for (const std::string& name : names)
        ASSERT_EQ(::link((pieces + "/" + name).c_str(), (open + "/" + name).c_str()), 0) << name;
    const auto readable = [&](const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    };
    const auto count = [&](uid_t user, const std::vector<gid_t>& groups) {
        return runAs(user, groups.front(), groups, [&] {
            int opened = readable(pieces) ? 1 : 0;
            for (const std::string& name : names)
                opened += readable(open + "/" + name) ? 1 : 0;
            return opened;
        });
    };
    EXPECT_EQ(count(colleague, {staff}), 0);
    // Where the owner could give the source's group, its members read as they read the source.
    if (GetParam().splitterInSourceGroup) {
        EXPECT_EQ(count(member, {project}), int(names.size()) + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, GroupAccessTest, testing::Values(
    GroupCase{"SplitterInTheSourcesGroup", true},
    GroupCase{"SplitterOutsideTheSourcesGroup", false}),
    [](const auto& row) { return row.param.name; });

// The folders of a destination row, under one test folder: "src" with the source "movie" in
// it, "other" and "joined" beside it, and whatever the row mounts, which goes before the
// folders do.
struct Places {
    Places()
    {
        for (const char* name : {"src", "other", "joined"})
            std::filesystem::create_directory(root.file(name));
        writeFile(root.file("src/movie"), source);
    }

    // A tmpfs with these options at root/name, or an empty path with `skip` set.
    std::string tmpfs(const std::string& name, const std::string& options)
    {
        return took(std::make_unique<TestMount>(root.file(name), options), name);
    }
    // `folder` seen read-only at root/name, or an empty path with `skip` set.
    std::string readOnlyView(const std::string& folder, const std::string& name)
    {
        return took(TestMount::readOnlyView(folder, root.file(name)), name);
    }
    std::string took(std::unique_ptr<TestMount> mount, const std::string& name)
    {
        if (!mount->mounted()) {
            skip = "cannot mount here: " + mount->reason();
            return {};
        }
        mounts.push_back(std::move(mount));
        return root.file(name);
    }

    const std::string source = patternBytes(300 * 1024);
    TestFolder root;
    std::vector<std::unique_ptr<TestMount>> mounts;
    std::string sourceFolder = root.file("src");
    std::string splitInto;             // the split's destination; empty: beside the source
    std::string joinInto;              // the join's; empty: the pieces folder
    bool replace = false;              // the join may replace a file of the rebuilt name
    bool readOnlyPieces = false;       // the join sees the pieces folder read-only
    std::string skip;
};

struct DestinationCase {
    const char* name;
    std::function<void(Places&)> prepare;
    // How the split and the join end (0: they succeed). A split refused with FolderExists is
    // tried again with the name nextFreeFolderName() offers, "movie_split-2"; a join refused
    // with OutputExists, again with replace.
    int splitCode;
    int joinCode;
    bool unprivileged = false; // the split runs as a user of its own, not as root
};

class DestinationTest : public testing::TestWithParam<DestinationCase> {};

TEST_P(DestinationTest, PiecesAndRebuiltFileGoWhereAskedOrNothingIsWritten)
{
    const DestinationCase& c = GetParam();
    Places places;
    c.prepare(places);
    if (!places.skip.empty())
        GTEST_SKIP() << places.skip;
    SplitRequest request{places.sourceFolder, "movie", SplitMode::BySize, 64 * 1024, true};
    request.destinationDirectory = places.splitInto;
    RecordingObserver observer;
    // The plan makes every check the run makes before it writes: both end alike.
    constexpr int planDisagrees = 99;
    const auto split = [&] {
        const auto planAndRun = [&] {
            const Error planned = Splitter().preview(request).error();
            Result<SplitResult> ran = Splitter().run(request, observer);
            EXPECT_EQ(planned.code, ran.error().code) << planned.message();
            return ran;
        };
        if (!c.unprivileged)
            return planAndRun();
        // The error's number comes back as the child's exit status (errno values fit).
        ::chmod(places.root.path().c_str(), 0755);
        ::chmod(places.sourceFolder.c_str(), 0755);
        const int status = runAs(splitting, staff, {staff}, [&] {
            const int planned = Splitter().preview(request).error().code;
            const int ran = Splitter().run(request, observer).error().code;
            return planned == ran ? ran : planDisagrees;
        });
        return status == 0 ? Result<SplitResult>(SplitResult{}) : Result<SplitResult>(Error{status, "", ""});
    };

    auto before = snapshot(places.root.path());
    Result<SplitResult> made = split();
    if (made.error().code == 77 && c.unprivileged)
        GTEST_SKIP() << "cannot act as another user here";
    EXPECT_EQ(made.error().code, c.splitCode) << made.error().message();
    if (made.failed()) {
        EXPECT_EQ(snapshot(places.root.path()), before) << "written before the refusal";
        if (!made.error().is(FolderExists))
            return;
        const Result<std::string> free = Splitter().nextFreeFolderName(request);
        ASSERT_FALSE(free.failed()) << free.error().message();
        request.folderName = free.value();
        EXPECT_EQ(request.folderName, "movie_split-2");
        made = split();
        ASSERT_FALSE(made.failed()) << made.error().message();
    }
    const std::string destination = places.splitInto.empty() ? places.sourceFolder : places.splitInto;
    EXPECT_EQ(std::filesystem::path(made->folderPath).parent_path(), destination);

    std::string pieces = made->folderPath;
    if (places.readOnlyPieces)
        pieces = places.readOnlyView(pieces, "view");
    if (!places.skip.empty())
        GTEST_SKIP() << places.skip;
    JoinRequest join{pieces, places.joinInto, places.replace};
    before = snapshot(places.root.path());
    const Result<JoinPlan> planned = Joiner().plan(join);
    Result<JoinResult> joined = Joiner().run(join, observer);
    EXPECT_EQ(joined.error().code, c.joinCode) << joined.error().message();
    EXPECT_EQ(planned.error().code, joined.error().code) << planned.error().message();
    if (!planned.failed()) {
        EXPECT_EQ(planned->length, places.source.size());
    }
    if (joined.failed()) {
        EXPECT_EQ(snapshot(places.root.path()), before) << "written before the refusal";
        if (!joined.error().is(OutputExists))
            return;
        join.replace = true;
        joined = Joiner().run(join, observer);
        ASSERT_FALSE(joined.failed()) << joined.error().message();
    }
    EXPECT_EQ(readFile(PieceNaming::joinPath(join.destinationDirectory.empty() ? pieces : join.destinationDirectory,
                                             "movie")),
              places.source);
}

INSTANTIATE_TEST_SUITE_P(Places, DestinationTest, testing::Values(
    DestinationCase{"BesideTheSource", [](Places&) {}, 0, 0},
    DestinationCase{"AnotherFolder",
                    [](Places& p) {
                        p.splitInto = p.root.file("other");
                        p.joinInto = p.root.file("joined");
                    },
                    0, 0},
    // Split from the disk onto a tmpfs, joined from there back onto the disk.
    DestinationCase{"AnotherFileSystem",
                    [](Places& p) {
                        p.splitInto = p.tmpfs("volume", "size=4m");
                        p.joinInto = p.root.file("joined");
                    },
                    0, 0},
    DestinationCase{"ReadOnlySourceFolder",
                    [](Places& p) {
                        p.sourceFolder = p.readOnlyView(p.sourceFolder, "disc");
                        p.splitInto = p.root.file("other");
                    },
                    0, 0},
    DestinationCase{"ReadOnlySourceFolderBesideIt",
                    [](Places& p) { p.sourceFolder = p.readOnlyView(p.sourceFolder, "disc"); }, EROFS, 0},
    DestinationCase{"ReadOnlyDestination",
                    [](Places& p) {
                        p.splitInto = p.tmpfs("volume", "size=4m");
                        if (!p.splitInto.empty() && !p.mounts.back()->makeReadOnly())
                            p.skip = "cannot make the tmpfs read-only: " + p.mounts.back()->reason();
                    },
                    EROFS, 0},
    DestinationCase{"UnwritableForTheUser",
                    [](Places& p) {
                        if (::geteuid() != 0)
                            p.skip = "needs root to act as another user";
                        ::chmod(p.root.file("other").c_str(), 0755);
                        p.splitInto = p.root.file("other");
                    },
                    EACCES, 0, true},
    DestinationCase{"DestinationWithoutRoom",
                    [](Places& p) { p.splitInto = p.tmpfs("volume", "size=128k"); }, NotEnoughSpace, 0},
    DestinationCase{"ExistingSplitFolder",
                    [](Places& p) {
                        p.splitInto = p.root.file("other");
                        std::filesystem::create_directory(p.root.file("other/movie_split"));
                        writeFile(p.root.file("other/movie_split/keep"), "an earlier split");
                    },
                    FolderExists, 0},
    // The pieces on read-only media: joined elsewhere, refused in place.
    DestinationCase{"ReadOnlyPiecesJoinedElsewhere",
                    [](Places& p) {
                        p.readOnlyPieces = true;
                        p.joinInto = p.root.file("joined");
                    },
                    0, 0},
    DestinationCase{"ReadOnlyPiecesJoinedInPlace", [](Places& p) { p.readOnlyPieces = true; }, 0, EROFS},
    DestinationCase{"JoinDestinationWithoutRoom",
                    [](Places& p) { p.joinInto = p.tmpfs("volume", "size=128k"); }, 0, NotEnoughSpace},
    DestinationCase{"FileOfTheNameInAChosenFolder",
                    [](Places& p) {
                        p.joinInto = p.root.file("joined");
                        writeFile(p.root.file("joined/movie"), "an older movie");
                    },
                    0, OutputExists},
    DestinationCase{"LinkOfTheNameIsNeverReplaced",
                    [](Places& p) {
                        p.joinInto = p.root.file("joined");
                        p.replace = true;
                        writeFile(p.root.file("elsewhere"), "theirs");
                        std::filesystem::create_symlink(p.root.file("elsewhere"), p.root.file("joined/movie"));
                    },
                    0, SymbolicLink}),
    [](const auto& row) { return row.param.name; });

TEST(SplitterTest, MoreThanTenThousandPiecesJoinBackInIndexOrder)
{
    TestFolder folder;
    const std::string source = patternBytes(10050);
    writeFile(folder.file("many"), source);
    RecordingObserver observer;
    ASSERT_FALSE(observer.ended(Splitter().run(bySize(folder, "many", 1), observer)).failed());
    const std::string pieces = folder.file("many_split");
    EXPECT_TRUE(std::filesystem::exists(pieces + "/many.10049"));
    EXPECT_EQ(joinBack(pieces, "many"), source);
}

// A sparse source beyond 4 GiB, with marker bytes on both sides of 2^31 and 2^32, whose
// last piece is all hole.
TEST(SplitterTest, LargeSparseSourceSplitsAndJoinsWithHolesKept)
{
    TestFolder folder;
    const std::string path = folder.file("big.img");
    const std::uint64_t length = 6ull << 30;
    const std::vector<std::uint64_t> markers = {0, (1ull << 31) - 1, 1ull << 31, (1ull << 32) - 1,
                                                1ull << 32, (5ull << 30) - 1};
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(length)), 0);
        for (std::size_t i = 0; i < markers.size(); ++i) {
            const char byte = char('a' + i);
            ASSERT_EQ(::pwrite(fd, &byte, 1, off_t(markers[i])), 1);
        }
        ::close(fd);
    }
    RecordingObserver observer;
    ASSERT_FALSE(observer.ended(Splitter().run(bySize(folder, "big.img", 1ull << 30), observer)).failed());
    const std::string pieces = folder.file("big.img_split");
    EXPECT_EQ(pieceSizes(pieces), std::vector<std::uintmax_t>(6, (1ull << 30) + 5));
    EXPECT_EQ(observer.lastDone, length);

    RecordingObserver joinObserver;
    ASSERT_FALSE(joinObserver.ended(Joiner().run(JoinRequest{pieces}, joinObserver)).failed());
    const std::string rebuilt = pieces + "/big.img";
    struct stat info {};
    ASSERT_EQ(::stat(rebuilt.c_str(), &info), 0);
    EXPECT_EQ(std::uint64_t(info.st_size), length);
    EXPECT_LT(std::uint64_t(info.st_blocks) * 512, 64ull << 20) << "holes were filled in";
    const int fd = ::open(rebuilt.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (std::size_t i = 0; i < markers.size(); ++i) {
        char around[3] = {};
        const std::uint64_t at = markers[i] == 0 ? 0 : markers[i] - 1;
        const ssize_t got = ::pread(fd, around, 3, off_t(at));
        ASSERT_GE(got, 2);
        const char expected = char('a' + i);
        EXPECT_EQ(around[markers[i] - at], expected) << "marker " << i;
    }
    ::close(fd);
    EXPECT_EQ(readRange(pieces + "/big.img.0002", 0, 6), std::string("Quarb") + 'c');
    EXPECT_EQ(readRange(pieces + "/big.img.0005", 0, 6), std::string("Quarb") + '\0');
}

} // namespace
