#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/fs/groupaccess.h"
#include "engine/copy/sha256.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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
// A checksum file may come from anyone: reading it never looks outside its folder, holds no
// more than one line in memory, and no input makes it fail other than with a message.
class ChecksumFile {
public:
    // The largest checksum file read or written: some 1.5 million lines for names of 20
    // characters. A larger file is refused before anything is read or allocated for it.
    static constexpr std::uint64_t maximumSize = 128 * 1024 * 1024;
    // The longest line read: far beyond a line for the longest name a file system allows,
    // every character escaped.
    static constexpr std::size_t maximumLineLength = 8192;

    // Takes each entry of a file as read() finds it, with the number of its line; returns
    // false to stop reading (no error).
    using EntryVisitor = std::function<bool(ChecksumEntry& entry, std::size_t lineNumber)>;

    // One line as sha256sum writes it in text mode, "\n" included. When the name holds a
    // backslash, a newline or a carriage return, the line starts with a backslash and those
    // are written as "\\", "\n" and "\r".
    static std::string formatLine(const Sha256::Digest& digest, std::string_view name);
    // The length of formatLine()'s line for this name: the sum over a set of pieces tells
    // before anything is written whether its checksum file stays within maximumSize.
    static std::uint64_t lineSize(std::string_view name);

    // One line of a checksum file, its line end left out. Reads what sha256sum reads: the "*"
    // binary marker, a CR before the line end, blank lines, lines starting with "#", escaped
    // names, hexadecimal digits in either case, leading blanks, and the lines of
    // "sha256sum --tag", "SHA256 (<name>) = <64 hex digits>" (the name ends at the last ")").
    // `entry` is empty for a blank line or a comment.
    // Refuses with ChecksumFileInvalid, naming the line: a line that is not a checksum line or
    // longer than maximumLineLength; a hash that is not 64 hexadecimal digits; a name that is
    // empty, ".", "..", holds a slash or a NUL, or has a bad escape sequence. The error's
    // path is left empty.
    static Error parseLine(std::string_view line, std::size_t lineNumber, std::optional<ChecksumEntry>& entry);
    // A refusal of the line, as parseLine() words its own: "line 3 <what>".
    static Error lineError(std::size_t lineNumber, std::string_view what);

    // The entries of a whole checksum file's text, in the order of its lines: parseLine() on
    // every line, and a name listed twice is refused too. On failure `entries` holds the
    // entries of the lines before the bad one.
    static Error parse(std::string_view text, std::vector<ChecksumEntry>& entries);

    // Reads `fileName` in the opened folder line by line, handing each entry to `visit`.
    // Refuses a symbolic link (SymbolicLink), anything but a regular file (NotRegularFile) and
    // a file larger than maximumSize (ChecksumFileInvalid) before reading it; a bad line ends
    // the reading with parseLine()'s refusal. Names listed twice are the visitor's business.
    // Memory stays at one block and one line whatever the file holds. Every error carries the
    // file's path.
    static Error read(FileLayer& layer, int folderFd, const std::string& folderPath,
                      const std::string& fileName, const EntryVisitor& visit);

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
