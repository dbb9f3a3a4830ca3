#pragma once

#include "error.h"
#include "filelayer.h"
#include "groupaccess.h"
#include "sha256.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qfs {

struct ChecksumEntry {
    std::string name;
    Sha256::Digest digest{};

    bool operator==(const ChecksumEntry&) const = default;
};

// Checksum files in the format of the standard sha256sum tool, so that pieces can be checked
// without this program: one "<64 hex digits>  <name>" line per file.
// A checksum file may come from anyone: reading it never looks outside its folder, and no
// input makes it fail other than with a message.
class ChecksumFile {
public:
    // The largest checksum file read or written: some 1.5 million lines for names of 20
    // characters. A larger file is refused before anything is read or allocated for it.
    static constexpr std::uint64_t maximumSize = 128 * 1024 * 1024;

    // One line as sha256sum writes it in text mode, "\n" included. When the name holds a
    // backslash, a newline or a carriage return, the line starts with a backslash and those
    // are written as "\\", "\n" and "\r".
    static std::string formatLine(const Sha256::Digest& digest, std::string_view name);
    // The length of formatLine()'s line for this name: the sum over a set of pieces tells
    // before anything is written whether its checksum file stays within maximumSize.
    static std::uint64_t lineSize(std::string_view name);

    // The entries of a checksum file's text, in the order of its lines. Reads what sha256sum
    // reads: the "*" binary marker, CRLF line ends, blank lines, lines starting with "#",
    // escaped names, hexadecimal digits in either case, leading blanks.
    // Refuses with ChecksumFileInvalid, naming the line: a line that is not a checksum line; a
    // hash that is not 64 hexadecimal digits; a name that is empty, ".", "..", holds a slash
    // or a NUL, or has a bad escape sequence; a name listed twice. On failure `entries` holds
    // the entries of the lines before the bad one. The error's path is left empty.
    static Error parse(std::string_view text, std::vector<ChecksumEntry>& entries);

    // Reads and parses `fileName` in the opened folder. Refuses a symbolic link (SymbolicLink),
    // anything but a regular file (NotRegularFile) and a file larger than maximumSize
    // (ChecksumFileInvalid) before reading it. Every error carries the file's path.
    static Error read(FileLayer& layer, int folderFd, const std::string& folderPath,
                      const std::string& fileName, std::vector<ChecksumEntry>& entries);

    // Writes one line per entry to `fileName` in the opened folder, through an AtomicFile: the
    // file appears complete and flushed to the disk, with permission bits mode & 0777 and the
    // group as AtomicFile::create() gives it, or not at all, and an earlier
    // file of that name stays as it was on failure. Lines that would exceed maximumSize are
    // refused (ChecksumFileInvalid) before the file is created. Every error carries the
    // file's path.
    // REQUIRES: folderFd is an open directory; fileName and every entry's name are plain
    // names (no slash, no NUL).
    static Error write(FileLayer& layer, int folderFd, const std::string& folderPath,
                       const std::string& fileName, const std::vector<ChecksumEntry>& entries,
                       mode_t mode, gid_t group = GroupAccess::anyGroup);
};

} // namespace qfs
