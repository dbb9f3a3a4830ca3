#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"

#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <string>

namespace qfs {

// The folder a split or a join writes into, and what its file system can take: what both
// check there before they write their first byte. The folder is opened once and everything
// in it is then reached relative to it (the *at() calls), so that the checks and the writing
// are about the same folder even if its path is changed meanwhile.
class Destination {
public:
    // statfs's type of the FAT family, whose files end one byte short of 4 GiB.
    static constexpr long fatMagic = 0x4d44;
    static constexpr std::uint64_t fatLargestFile = (std::uint64_t(4) << 30) - 1;

    explicit Destination(FileLayer& layer) : m_layer(layer), m_folder(layer, -1) {}

    // Opens the folder at `path` ("" is the current folder) and reads what its file system
    // can take. The path is followed as given, links included, as the user gave it; names
    // inside it never are. Errors about the folder itself name `path` (or ".").
    Error open(const std::string& path);
    // The same for a folder the caller has open already; `fd` must stay open while this is used.
    Error take(int fd, const std::string& path);

    // Succeeds when this user may create and remove names in the folder: EROFS when the
    // folder is on a read-only mount (whoever asks, root too), else the system's refusal
    // (EACCES) of writing and searching for the effective user. Errors name the folder.
    Error checkWritable() const;

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }
    // The unit the file system hands out space in.
    std::uint64_t block() const;
    // Bytes an unprivileged user may still fill.
    std::uint64_t available() const;
    // Whether the file system counts its inodes (btrfs has no fixed number and reports none),
    // and how many an unprivileged user may still take.
    bool countsInodes() const { return m_volume.f_files > 0; }
    std::uint64_t freeInodes() const { return m_volume.f_favail; }
    // The longest name a file may have there; 0 when the file system does not say.
    std::uint64_t longestName() const { return m_volume.f_namemax; }
    // Whether a file of this many bytes fits the file system's largest file (FAT's limit).
    bool holdsFileOf(std::uint64_t bytes) const;
    // Whether `other` is this folder itself.
    bool isFolder(int other) const;

    // Whether the folder at `path` can be written, as checkWritable() says: for a caller that
    // wants to know before it asks for a run, such as one that offers another folder when the
    // pieces' own cannot take the rebuilt file.
    static Error checkWritable(const std::string& path, FileLayer& layer = FileLayer::system());

private:
    Error survey();
    // The failure of a call about the folder itself; the current folder is named ".".
    Error failure(int err) const;

    FileLayer& m_layer;
    FileHandle m_folder; // only when opened here
    int m_fd = -1;
    std::string m_path;
    struct statvfs m_volume {};
    long m_type = 0;
};

} // namespace qfs
