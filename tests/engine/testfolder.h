#pragma once

#include "joinobserver.h"
#include "splitobserver.h"

#include <map>
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

// Records every observer call as one line of text, in order.
class RecordingObserver : public qfs::SplitObserver, public qfs::JoinObserver {
public:
    void checkFailed(const std::string& message, qfs::FocusTarget focus) override;
    void folderNameShown(const std::string& folderName) override;
    void folderOpened(const std::string& folderPath) override;
    void unitDefaulted(std::int16_t unitIndex) override;
    void pieceWritten(const std::string& pieceName) override;
    void checksumsWritten(const std::string& fileName) override;
    void finished() override;
    void failed(const qfs::Error& error) override;
    void folderShown(const std::string& folderPath) override;
    void verifying(const std::string& checksumFileName) override;
    void finished(const std::string& rebuiltName, std::uint64_t length) override;
    // Progress is only counted, to keep the event list readable.
    void progress(std::uint64_t done, std::uint64_t total) override;

    std::vector<std::string> events;
    int progressCalls = 0;
    std::uint64_t lastDone = 0;
    std::uint64_t lastTotal = 0;
};
