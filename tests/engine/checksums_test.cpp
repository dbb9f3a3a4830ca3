// SHA-256, checksum files in the format of sha256sum, and the atomic files they are written
// through.
#include "engine/fs/atomicfile.h"
#include "engine/pieces/checksumfile.h"
#include "engine/copy/sha256.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <tuple>

using namespace qfs;

namespace {

const std::string emptyHash = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::string abcHash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string md5Abc = "900150983cd24fb0d6963f7d28e17f72";
const std::string checksumName = "set.sha256";

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return char(std::toupper(c)); });
    return text;
}

// Every entry of a checksum file, as ChecksumFile::read() hands them over.
Error readEntries(const OpenFolder& dir, const std::string& folder, const std::string& name,
                  std::vector<ChecksumEntry>& entries)
{
    return ChecksumFile::read(FileLayer::system(), dir.fd(), folder, name, [&](ChecksumEntry& entry, std::size_t) {
        entries.push_back(entry);
        return true;
    });
}

// Refuses O_TMPFILE as file systems without it do, and fails one kind of call.
class FaultyLayer : public FileLayer {
public:
    enum class Call { None, Write, Close, Link, Rename, Chmod };

    FaultyLayer(bool refuseUnnamed = false, Call call = Call::None, int err = 0)
        : m_refuseUnnamed(refuseUnnamed), m_call(call), m_errno(err) {}

    int openAt(int dirFd, const char* path, int flags, mode_t mode) override
    {
        if (m_refuseUnnamed && (flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return FileLayer::openAt(dirFd, path, flags, mode);
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override
    {
        return fails(Call::Write) ? -1 : FileLayer::pwrite(fd, buffer, count, offset);
    }
    int close(int fd) override
    {
        const int result = FileLayer::close(fd);
        return fails(Call::Close) ? -1 : result;
    }
    int linkAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) override
    {
        return fails(Call::Link) ? -1 : FileLayer::linkAt(oldDirFd, oldPath, newDirFd, newPath, flags);
    }
    int renameAt(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath) override
    {
        return fails(Call::Rename) ? -1 : FileLayer::renameAt(oldDirFd, oldPath, newDirFd, newPath);
    }
    int fchmod(int fd, mode_t mode) override
    {
        return fails(Call::Chmod) ? -1 : FileLayer::fchmod(fd, mode);
    }

private:
    bool fails(Call call)
    {
        if (call != m_call)
            return false;
        errno = m_errno;
        return true;
    }

    bool m_refuseUnnamed;
    Call m_call;
    int m_errno;
};

TEST(Sha256Test, KnownAnswersAcrossReuse)
{
    Sha256 hash;
    EXPECT_EQ(Sha256::hex(hash.finish()), emptyHash);
    hash.update("a", 1);
    hash.update("bc", 2);
    EXPECT_EQ(Sha256::hex(hash.finish()), abcHash);
    EXPECT_EQ(Sha256::fromHex(upper(abcHash)), Sha256::of("abc"));
}

struct AcceptedCase {
    const char* name;
    std::string text;
    std::vector<std::string> names; // each with the digest of "abc"
    ChecksumFormat format = ChecksumFormat::Sha256;
};

class ChecksumParseTest : public testing::TestWithParam<AcceptedCase> {};

TEST_P(ChecksumParseTest, ReadsWhatSha256sumReads)
{
    std::vector<ChecksumEntry> entries;
    const Error error = ChecksumFile::parse(GetParam().text, entries, GetParam().format);
    ASSERT_FALSE(error.failed()) << error.message();
    std::vector<ChecksumEntry> expected;
    StreamHash abc(ChecksumFile::hashOf(GetParam().format));
    abc.update("abc", 3);
    const StreamHash::Digest digest = abc.finish();
    for (const std::string& name : GetParam().names)
        expected.push_back({name, digest});
    EXPECT_EQ(entries, expected);
}

INSTANTIATE_TEST_SUITE_P(Checksums, ChecksumParseTest, testing::Values(
    AcceptedCase{"BinaryMarker", abcHash + " *a.0000\n", {"a.0000"}},
    AcceptedCase{"CrlfBlankLinesAndComment",
                 "# by hand\r\n\r\n" + abcHash + "  a\r\n \t\r\n" + abcHash + "  b", {"a", "b"}},
    AcceptedCase{"EscapedNames", "\\" + abcHash + "  back\\\\slash\n\\" + abcHash + "  new\\nline\\rcr\n",
                 {"back\\slash", "new\nline\rcr"}},
    AcceptedCase{"UnescapedBackslashIsLiteral", abcHash + "  a\\nb\n", {"a\\nb"}},
    AcceptedCase{"UppercaseHex", upper(abcHash) + "  A\n", {"A"}},
    AcceptedCase{"BlanksKeptInName", "  " + abcHash + "\t   lead and trail \n", {"  lead and trail "}},
    AcceptedCase{"TagLines",
                 "SHA256 (a.0000) = " + abcHash + "\n\\SHA256 (new\\nline) = " + abcHash + "\r\nSHA256 (p(x) ) = "
                     + upper(abcHash) + "\nSHA256(tight)=" + abcHash,
                 {"a.0000", "new\nline", "p(x) ", "tight"}},
    AcceptedCase{"Md5sumLines", md5Abc + "  a\n" + upper(md5Abc) + " *b\r\nMD5 (c) = " + md5Abc + "\n",
                 {"a", "b", "c"}, ChecksumFormat::Md5},
    AcceptedCase{"SfvLines", "; comment\r\n\n  name with  blanks \t352441C2\r\nx 352441c2", {"name with  blanks", "x"},
                 ChecksumFormat::Sfv}),
    [](const auto& row) { return row.param.name; });

struct RefusedCase {
    const char* name;
    std::string text;
    const char* description;
    ChecksumFormat format = ChecksumFormat::Sha256;
};

class ChecksumRefusalTest : public testing::TestWithParam<RefusedCase> {};

const char* const notHex = "line 1 has a checksum that is not 64 hexadecimal digits";
const char* const notInFolder = "line 1 names a file that is not in the folder";
const char* const badEscape = "line 1 has a bad escape sequence in its file name";

TEST_P(ChecksumRefusalTest, NamesTheLine)
{
    std::vector<ChecksumEntry> entries;
    const Error error = ChecksumFile::parse(GetParam().text, entries, GetParam().format);
    EXPECT_EQ(error.code, ChecksumFileInvalid);
    EXPECT_EQ(error.description, GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(Checksums, ChecksumRefusalTest, testing::Values(
    RefusedCase{"MalformedLine", abcHash + "  a\nhello world\n", "line 2 is not a checksum line"},
    RefusedCase{"HashWithoutName", abcHash + " \n", "line 1 is not a checksum line"},
    RefusedCase{"ShortHash", abcHash.substr(1) + "  a\n", notHex},
    RefusedCase{"NonHexHash", "g" + abcHash.substr(1) + "  a\n", notHex},
    RefusedCase{"EmptyName", abcHash + "  \n", "line 1 names no file"},
    RefusedCase{"Slash", abcHash + "  ../../etc/passwd\n", notInFolder},
    RefusedCase{"DotDot", abcHash + " *..\n", notInFolder},
    RefusedCase{"Nul", abcHash + "  a" + std::string(1, '\0') + "b\n",
                "line 1 has a NUL character in its file name"},
    RefusedCase{"BadEscape", "\\" + abcHash + "  a\\tb\n", badEscape},
    RefusedCase{"TrailingBackslash", "\\" + abcHash + "  a\\\n", badEscape},
    RefusedCase{"Duplicate", abcHash + "  a\n\n" + emptyHash + " *a\n",
                "line 3 names the same file as line 1"},
    RefusedCase{"TagSlash", "SHA256 (../../etc/passwd) = " + abcHash + "\n", notInFolder},
    RefusedCase{"TagDotDot", "SHA256 (..) = " + abcHash + "\n", notInFolder},
    RefusedCase{"TagBadEscape", "\\SHA256 (a\\tb) = " + abcHash + "\n", badEscape},
    RefusedCase{"TagShortHash", "SHA256 (a) = " + abcHash.substr(1) + "\n", notHex},
    RefusedCase{"TagWithoutEquals", "SHA256 (a) " + abcHash + "\n", "line 1 is not a checksum line"},
    RefusedCase{"OtherAlgorithm", "MD5 (a) = 900150983cd24fb0d6963f7d28e17f72\n", "line 1 is not a checksum line"},
    RefusedCase{"LineTooLong", abcHash + "  " + std::string(ChecksumFile::maximumLineLength, 'n') + "\n",
                "line 1 is longer than a checksum line can be"},
    RefusedCase{"Md5ShortHash", md5Abc.substr(1) + "  a\n", "line 1 has a checksum that is not 32 hexadecimal digits",
                ChecksumFormat::Md5},
    RefusedCase{"SfvWithoutChecksum", "a\n", "line 1 is not a checksum line", ChecksumFormat::Sfv},
    RefusedCase{"SfvSlash", "../a 352441C2\n", notInFolder, ChecksumFormat::Sfv}),
    [](const auto& row) { return row.param.name; });

// Every cut of awkward text either parses or is refused: no index runs off a line's end.
TEST(ChecksumTextTest, EveryTruncationIsHandled)
{
    const std::string text = "\\" + abcHash + "  a\\\\b\\n\r\n#\r\n \t\n" + abcHash + "\t*c\\\n\\SHA256 (d\\\\) = "
                             + abcHash + "\n\\\\  \\";
    for (std::size_t length = 0; length <= text.size(); ++length) {
        std::vector<ChecksumEntry> entries;
        const Error error = ChecksumFile::parse(std::string_view(text).substr(0, length), entries);
        EXPECT_TRUE(!error.failed() || error.is(ChecksumFileInvalid)) << length;
    }
}

const std::vector<std::string> awkwardNames = {
    "movie.avi.0000", "back\\slash", "new\nline", "cr\rreturn", " lead", "*star", "#hash"};

std::vector<ChecksumEntry> writeAwkwardFiles(const std::string& folder)
{
    std::vector<ChecksumEntry> entries;
    for (std::size_t i = 0; i < awkwardNames.size(); ++i) {
        const std::string bytes = patternBytes(1000 + i, unsigned(i));
        writeFile(folder + "/" + awkwardNames[i], bytes);
        entries.push_back({awkwardNames[i], Sha256::of(bytes)});
    }
    return entries;
}

TEST(ChecksumFileTest, ReadsBackWhatItWrote)
{
    TestFolder folder;
    std::vector<ChecksumEntry> written = writeAwkwardFiles(folder.path());
    // Enough lines that some run across the blocks the file is read in.
    for (unsigned i = 0; i < 3000; ++i)
        written.push_back({"filler\\" + std::to_string(i), Sha256::of(std::to_string(i))});
    OpenFolder dir(folder.path());
    ASSERT_FALSE(ChecksumFile::write(FileLayer::system(), dir.fd(), folder.path(), checksumName,
                                     written, 0644).failed());
    std::vector<ChecksumEntry> read;
    const Error error = readEntries(dir, folder.path(), checksumName, read);
    ASSERT_FALSE(error.failed()) << error.message();
    EXPECT_EQ(read, written);
}

// The real tool checks what we write, and what it writes reads back as the same entries and
// formats to the same bytes.
TEST(ChecksumFileTest, AgreesWithSha256sum)
{
    if (::access("/usr/bin/sha256sum", X_OK) != 0)
        GTEST_SKIP() << "sha256sum is not installed";
    TestFolder folder;
    const std::string data = folder.file("data");
    std::filesystem::create_directory(data);
    std::vector<ChecksumEntry> ours = writeAwkwardFiles(data);

    ASSERT_EQ(std::system(("cd " + data + " && /usr/bin/sha256sum -- * > ../theirs").c_str()), 0);
    const std::string theirText = readFile(folder.file("theirs"));
    std::vector<ChecksumEntry> theirs;
    ASSERT_FALSE(ChecksumFile::parse(theirText, theirs).failed());
    std::string ourText;
    for (const ChecksumEntry& entry : theirs)
        ourText += ChecksumFile::formatLine(entry.digest, entry.name);
    EXPECT_EQ(ourText, theirText);
    // Their --tag lines name the same files with the same checksums.
    ASSERT_EQ(std::system(("cd " + data + " && /usr/bin/sha256sum --tag -- * > ../tagged").c_str()), 0);
    std::vector<ChecksumEntry> tagged;
    const Error taggedError = ChecksumFile::parse(readFile(folder.file("tagged")), tagged);
    ASSERT_FALSE(taggedError.failed()) << taggedError.message();
    EXPECT_EQ(tagged, theirs);
    const auto byName = [](const ChecksumEntry& a, const ChecksumEntry& b) { return a.name < b.name; };
    std::sort(theirs.begin(), theirs.end(), byName);
    std::sort(ours.begin(), ours.end(), byName);
    EXPECT_EQ(theirs, ours);

    OpenFolder dir(data);
    ASSERT_FALSE(ChecksumFile::write(FileLayer::system(), dir.fd(), data, checksumName, ours, 0644).failed());
    const std::string check = "cd " + data + " && /usr/bin/sha256sum --quiet --strict -c " + checksumName;
    EXPECT_EQ(std::system(check.c_str()), 0);
}

enum class AtFinalName { Nothing, File, Symlink, DanglingSymlink, Folder, FolderAppearsLater };

struct CommitCase {
    const char* name;
    AtFinalName existing;
    int code;
};

class AtomicCommitTest : public testing::TestWithParam<std::tuple<CommitCase, bool>> {};

TEST_P(AtomicCommitTest, ReplacesTheNameNeverWhatItPointsTo)
{
    const auto& [c, refuseUnnamed] = GetParam();
    TestFolder folder;
    TestFolder outside;
    const std::string out = folder.file("out");
    writeFile(outside.file("target"), "keep");
    switch (c.existing) {
    case AtFinalName::File: writeFile(out, "old"); break;
    case AtFinalName::Symlink: std::filesystem::create_symlink(outside.file("target"), out); break;
    case AtFinalName::DanglingSymlink: std::filesystem::create_symlink(outside.file("absent"), out); break;
    case AtFinalName::Folder: std::filesystem::create_directory(out); break;
    default: break;
    }
    const mode_t oldUmask = ::umask(077);
    FaultyLayer layer(refuseUnnamed);
    OpenFolder dir(folder.path());
    AtomicFile file(layer);
    // The set-user-ID bit is dropped, and the umask narrows nothing.
    Error error = file.create(dir.fd(), folder.path(), "out", 04640);
    ::umask(oldUmask);
    if (!error.failed()) {
        ASSERT_EQ(::pwrite(file.fd(), "new", 3, 0), 3);
        if (c.existing == AtFinalName::FolderAppearsLater)
            std::filesystem::create_directory(out);
        error = file.commit();
    }

    EXPECT_EQ(error.code, c.code);
    if (c.code == 0) {
        EXPECT_EQ(readFile(out), "new");
        struct stat info;
        ASSERT_EQ(::lstat(out.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode, S_IFREG | 0640);
    } else {
        EXPECT_EQ(error.path, out);
        EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::symlink_status(out)));
    }
    EXPECT_EQ(entries(folder.path()), std::vector<std::string>{"out"});
    EXPECT_EQ(entries(outside.path()), std::vector<std::string>{"target"});
    EXPECT_EQ(readFile(outside.file("target")), "keep");
}

INSTANTIATE_TEST_SUITE_P(Atomic, AtomicCommitTest, testing::Combine(testing::Values(
    CommitCase{"NewName", AtFinalName::Nothing, 0},
    CommitCase{"ReplacesFile", AtFinalName::File, 0},
    CommitCase{"ReplacesSymlink", AtFinalName::Symlink, 0},
    CommitCase{"ReplacesDanglingSymlink", AtFinalName::DanglingSymlink, 0},
    CommitCase{"RefusesFolder", AtFinalName::Folder, OutputIsFolder},
    CommitCase{"RefusesFolderThatAppears", AtFinalName::FolderAppearsLater, OutputIsFolder}),
    testing::Bool()),
    [](const auto& row) {
        return std::string(std::get<0>(row.param).name) + (std::get<1>(row.param) ? "NamedTemp" : "Unnamed");
    });

struct WriteFaultCase {
    const char* name;
    FaultyLayer::Call call;
    int err;
    bool refuseUnnamed;
};

class ChecksumWriteFaultTest : public testing::TestWithParam<WriteFaultCase> {};

TEST_P(ChecksumWriteFaultTest, LeavesTheFolderAsItWas)
{
    const WriteFaultCase& c = GetParam();
    TestFolder folder;
    writeFile(folder.file(checksumName), "old");
    const std::vector<ChecksumEntry> sums = writeAwkwardFiles(folder.path());
    const std::vector<std::string> before = entries(folder.path());
    FaultyLayer layer(c.refuseUnnamed, c.call, c.err);
    OpenFolder dir(folder.path());
    const Error error = ChecksumFile::write(layer, dir.fd(), folder.path(), checksumName, sums, 0644);
    EXPECT_EQ(error.code, c.err);
    EXPECT_EQ(error.path, folder.file(checksumName));
    EXPECT_EQ(entries(folder.path()), before);
    EXPECT_EQ(readFile(folder.file(checksumName)), "old");
}

INSTANTIATE_TEST_SUITE_P(Faults, ChecksumWriteFaultTest, testing::Values(
    WriteFaultCase{"ChmodFails", FaultyLayer::Call::Chmod, EPERM, false},
    WriteFaultCase{"WriteFails", FaultyLayer::Call::Write, ENOSPC, false},
    WriteFaultCase{"WriteFailsInNamedTemp", FaultyLayer::Call::Write, ENOSPC, true},
    WriteFaultCase{"CloseFails", FaultyLayer::Call::Close, EIO, false},
    WriteFaultCase{"LinkFails", FaultyLayer::Call::Link, EMLINK, false},
    WriteFaultCase{"RenameFails", FaultyLayer::Call::Rename, EIO, false},
    WriteFaultCase{"RenameFailsFromNamedTemp", FaultyLayer::Call::Rename, EIO, true}),
    [](const auto& row) { return row.param.name; });

TEST(AtomicFileTest, NamedTempIsHiddenAndGoesOnDiscard)
{
    TestFolder folder;
    FaultyLayer layer(true);
    OpenFolder dir(folder.path());
    AtomicFile file(layer);
    ASSERT_FALSE(file.create(dir.fd(), folder.path(), "out.0000", 0600).failed());
    const std::vector<std::string> names = entries(folder.path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].front(), '.');
    EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(names[0].back())));
    file.discard();
    file.discard();
    EXPECT_TRUE(entries(folder.path()).empty());
}

enum class Planted { Symlink, TooLarge, Fifo, LongLine };

struct ReadCase {
    const char* name;
    Planted planted;
    int code;
};

class ChecksumReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ChecksumReadTest, RefusesNamingTheFile)
{
    const ReadCase& c = GetParam();
    TestFolder folder;
    TestFolder outside;
    const std::string path = folder.file(checksumName);
    writeFile(outside.file("list"), abcHash + "  a\n");
    switch (c.planted) {
    case Planted::Symlink: std::filesystem::create_symlink(outside.file("list"), path); break;
    case Planted::TooLarge: std::filesystem::resize_file(outside.file("list"), ChecksumFile::maximumSize + 1);
        std::filesystem::rename(outside.file("list"), path); break; // sparse: almost nothing is written
    case Planted::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
    case Planted::LongLine: writeFile(path, abcHash + "  " + std::string(200 * 1024, 'n') + "\n"); break;
    }
    OpenFolder dir(folder.path());
    std::vector<ChecksumEntry> entries;
    const Error error = readEntries(dir, folder.path(), checksumName, entries);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.path, path);
    EXPECT_TRUE(entries.empty());
    if (c.planted == Planted::TooLarge) {
        EXPECT_NE(error.description.find(std::to_string(ChecksumFile::maximumSize + 1)), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Checksums, ChecksumReadTest, testing::Values(
    ReadCase{"Symlink", Planted::Symlink, SymbolicLink},
    ReadCase{"TooLarge", Planted::TooLarge, ChecksumFileInvalid},
    ReadCase{"Fifo", Planted::Fifo, NotRegularFile},
    ReadCase{"LineLongerThanABlock", Planted::LongLine, ChecksumFileInvalid}),
    [](const auto& row) { return row.param.name; });

} // namespace
