#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"
#include "engine/fs/groupaccess.h"
#include "engine/copy/streamhash.h"

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
    // Of the file's hash kind (ChecksumFile::hashOf).
    StreamHash::Digest digest{};
    // The file's length in bytes, where the checksum file gives it (the .crc form does).
    std::optional<std::uint64_t> size = {};

    bool operator==(const ChecksumEntry&) const = default;
};

// The forms of checksum file read, told apart by the ending of the file's name:
// - Sha256: what sha256sum writes and this program writes, "<64 hex digits>  <name>" lines;
// - Md5: the same lines of md5sum, with 32 digits;
// - Sfv: "<name> <8 hex digits>" lines of CRC-32s, ";" starting a comment; the name may hold
//   blanks, the checksum is the last field;
// - WholeCrc: the ".crc" file other splitters write beside their pieces, "filename=<name>",
//   "size=<bytes>" and "crc32=<8 hex digits>" lines describing the one file the pieces
//   rebuild, not the pieces.
enum class ChecksumFormat { Sha256, Md5, Sfv, WholeCrc };

// Checksum files in the format of the standard sha256sum tool, so that pieces can be checked
// without this program: one "<64 hex digits>  <name>" line per file; and, to read only, the
// other forms of ChecksumFormat.
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

    // The form of a file by its name: ".md5", ".sfv" and ".crc" (in any case) are those forms,
    // anything else is read as sha256sum's lines.
    static ChecksumFormat formatOf(std::string_view fileName);
    // What a form's file names end with: ".sha256", ".md5", ".sfv", ".crc".
    static std::string_view suffixOf(ChecksumFormat format);
    // The hash a form's checksums are of.
    static HashKind hashOf(ChecksumFormat format);

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
    // With Md5, md5sum's lines the same way ("MD5 (<name>) = …" tagged); with Sfv, an SFV line
    // (a CR before the line end, blank lines, leading blanks and ";" comments are read too).
    // Refuses with ChecksumFileInvalid, naming the line: a line that is not a checksum line or
    // longer than maximumLineLength; a hash that is not the form's number of hexadecimal
    // digits; a name that is empty, ".", "..", holds a slash or a NUL, or has a bad escape
    // sequence. The error's path is left empty.
    // REQUIRES: format is not WholeCrc, whose lines only make an entry together (read()).
    static Error parseLine(std::string_view line, std::size_t lineNumber, std::optional<ChecksumEntry>& entry,
                           ChecksumFormat format = ChecksumFormat::Sha256);
    // A refusal of the line, as parseLine() words its own: "line 3 <what>".
    static Error lineError(std::size_t lineNumber, std::string_view what);

    // The entries of a whole checksum file's text, in the order of its lines: parseLine() on
    // every line, and a name listed twice is refused too. On failure `entries` holds the
    // entries of the lines before the bad one.
    // REQUIRES: format is not WholeCrc.
    static Error parse(std::string_view text, std::vector<ChecksumEntry>& entries,
                       ChecksumFormat format = ChecksumFormat::Sha256);

    // Reads `fileName` in the opened folder line by line, in the form formatOf() gives it,
    // handing each entry to `visit`.
    // Refuses a symbolic link (SymbolicLink), anything but a regular file (NotRegularFile) and
    // a file larger than maximumSize (ChecksumFileInvalid) before reading it; a bad line ends
    // the reading with parseLine()'s refusal. Names listed twice are the visitor's business.
    // A WholeCrc file makes one entry, with its size, at its end (numbered with the last of its
    // three lines); other "key=value" lines are left alone. It is refused, naming the line,
    // for a line without "=", a second line of one of the three keys, a size that is no number
    // of bytes, a crc32 that is not 8 hexadecimal digits or a hostile name as above; and,
    // naming no line, when one of the three is not there.
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
