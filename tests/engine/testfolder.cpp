#include "testfolder.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

TestFolder::TestFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qfs-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TestFolder::~TestFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

TestMount::TestMount(const std::string& path, const std::string& options) : m_path(path)
{
    std::filesystem::create_directory(path);
    took(::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0);
}

std::unique_ptr<TestMount> TestMount::readOnlyView(const std::string& folder, const std::string& path)
{
    std::unique_ptr<TestMount> view(new TestMount(path));
    std::filesystem::create_directory(path);
    if (view->took(::mount(folder.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0) && !view->makeReadOnly()) {
        ::umount2(path.c_str(), MNT_DETACH);
        view->m_mounted = false;
    }
    return view;
}

TestMount::~TestMount()
{
    if (m_mounted)
        ::umount2(m_path.c_str(), MNT_DETACH);
}

bool TestMount::makeReadOnly()
{
    // A bind mount takes MS_RDONLY only through a remount of its own, which also suits a tmpfs.
    const bool done = ::mount(nullptr, m_path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    if (!done)
        m_reason = std::strerror(errno);
    return done;
}

bool TestMount::took(bool succeeded)
{
    m_mounted = succeeded;
    m_reason = succeeded ? "" : std::strerror(errno);
    return succeeded;
}

OpenFolder::OpenFolder(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

OpenFolder::~OpenFolder()
{
    ::close(m_fd);
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string readRange(const std::string& path, std::uint64_t offset, std::size_t count)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), std::streamsize(count));
    bytes.resize(std::size_t(in.gcount()));
    return bytes;
}

std::vector<std::string> entries(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> snapshot(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> seen;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = it->path().lexically_relative(root).string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status))
            seen[relative] = "link to " + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(status))
            seen[relative] = "folder";
        else
            seen[relative] = "file " + readFile(it->path().string());
    }
    return seen;
}

std::string patternBytes(std::size_t length, unsigned seed)
{
    std::string bytes(length, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = char(state >> 16);
    }
    return bytes;
}

void RecordingObserver::folderNameShown(const std::string& folderName)
{
    events.push_back("folder name: " + folderName);
}

void RecordingObserver::folderOpened(const std::string&)
{
    events.push_back("folder opened");
}

void RecordingObserver::pieceWritten(const std::string& pieceName)
{
    events.push_back("piece: " + pieceName);
}

void RecordingObserver::verifying(const std::string& checksumFileName)
{
    events.push_back("verifying: " + checksumFileName);
}

void RecordingObserver::folderShown(const std::string&)
{
    events.push_back("join folder shown");
}

qfs::Error RecordingObserver::ended(const qfs::Result<qfs::SplitResult>& result)
{
    if (result.failed()) {
        events.push_back("failed: " + result.error().message());
    } else {
        if (!result->checksumName.empty())
            events.push_back("checksums: " + result->checksumName);
        events.push_back("finished");
    }
    return result.error();
}

qfs::Error RecordingObserver::ended(const qfs::Result<qfs::JoinResult>& result)
{
    events.push_back(result.failed() ? "failed: " + result.error().message() : "joined: " + result->rebuiltName);
    return result.error();
}

void RecordingObserver::progress(std::uint64_t done, std::uint64_t total)
{
    ++progressCalls;
    lastDone = done;
    lastTotal = total;
}
