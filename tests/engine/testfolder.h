#pragma once

#include "engine/joiner.h"
#include "engine/splitter.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// A fresh folder under the system's temporary directory, removed with all it holds.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A file system mounted for one test, on a folder of its own (made if missing): a tmpfs, as
// small as the test wants, or another folder seen again read-only (a bind mount remounted
// read-only). Unmounted, lazily and with everything on it, when it goes, so that a test that
// fails leaves no mount behind. Where mounting is not allowed, mounted() is false and reason()
// says why: the test skips.
class TestMount {
public:
    // A tmpfs with these options ("size=1m,nr_inodes=40").
    TestMount(const std::string& path, const std::string& options);
    // `folder`, seen read-only at `path`.
    static std::unique_ptr<TestMount> readOnlyView(const std::string& folder, const std::string& path);
    ~TestMount();
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

    // Makes the mounted file system read-only from now on; false when it cannot be.
    bool makeReadOnly();
    bool mounted() const { return m_mounted; }
    const std::string& reason() const { return m_reason; }

private:
    explicit TestMount(std::string path) : m_path(std::move(path)) {}
    // Records the outcome of a mount call.
    bool took(bool succeeded);

    std::string m_path;
    bool m_mounted = false;
    std::string m_reason;
};

// A folder opened for the engine's *at() calls, closed again with this.
class OpenFolder {
public:
    explicit OpenFolder(const std::string& path);
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    int fd() const { return m_fd; }

private:
    int m_fd;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
std::string readRange(const std::string& path, std::uint64_t offset, std::size_t count);
// Every name in a folder, of any kind, sorted.
std::vector<std::string> entries(const std::string& path);
// Everything under a folder, links not followed: relative path -> "folder", "link to <target>"
// or "file <bytes>".
std::map<std::string, std::string> snapshot(const std::string& root);
// Deterministic bytes that differ from offset to offset.
std::string patternBytes(std::size_t length, unsigned seed = 1);

// Records every observer call as one line of text, in order, and then how the run ended.
class RecordingObserver : public qfs::SplitObserver, public qfs::JoinObserver {
public:
    void folderNameShown(const std::string& folderName) override;
    void folderOpened(const std::string& folderPath) override;
    void pieceWritten(const std::string& pieceName) override;
    void folderShown(const std::string& folderPath) override;
    void verifying(const std::string& checksumFileName) override;
    // Progress is only counted, to keep the event list readable.
    void progress(std::uint64_t done, std::uint64_t total) override;

    // Records the end of a run after its reports, and returns its failure: a split's
    // "checksums: <name>" (when it wrote them) and "finished", a join's "joined: <name>", or
    // "failed: <message>".
    qfs::Error ended(const qfs::Result<qfs::SplitResult>& result);
    qfs::Error ended(const qfs::Result<qfs::JoinResult>& result);

    std::vector<std::string> events;
    int progressCalls = 0;
    std::uint64_t lastDone = 0;
    std::uint64_t lastTotal = 0;
};
