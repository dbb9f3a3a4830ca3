#include "engine/pieces/checksumfile.h"

#include "engine/fs/atomicfile.h"
#include "engine/pieces/piecenaming.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <limits>
#include <unordered_map>

namespace qfs {

namespace {

// Written by sha256sum between the hash and a name read in text mode; "*" marks binary mode,
// which reads the same bytes on this system.
constexpr char textMarker = ' ';
constexpr char binaryMarker = '*';
constexpr char escapeMark = '\\';
constexpr char commentMark = '#';
constexpr std::string_view blanks = " \t";
constexpr std::string_view escapedCharacters = "\\\n\r";
// "sha256sum --tag" writes "SHA256 (<name>) = <hash>", "md5sum --tag" "MD5 (<name>) = <hash>".
constexpr std::string_view sha256Tag = "SHA256";
constexpr std::string_view md5Tag = "MD5";
constexpr char sfvCommentMark = ';';
// The keys of a .crc file's lines, and what separates a key from its value.
constexpr std::string_view crcNameKey = "filename";
constexpr std::string_view crcSizeKey = "size";
constexpr std::string_view crcChecksumKey = "crc32";
constexpr char crcSeparator = '=';
// The decimal digits of the largest 64-bit number.
constexpr std::size_t maximumSizeDigits = 20;
constexpr unsigned decimalBase = 10;
constexpr char tagOpen = '(';
constexpr char tagClose = ')';
constexpr char tagEquals = '=';
// The file is written in blocks of about this size rather than line by line, and read in
// blocks of this size.
constexpr std::size_t writeBlock = 64 * 1024;
constexpr std::size_t readBlock = 64 * 1024;

constexpr const char* notAChecksumLine = "is not a checksum line";

// Undoes formatLine()'s escapes; false on a backslash that starts no known sequence.
bool unescape(std::string_view raw, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != escapeMark) {
            name += raw[i];
            continue;
        }
        if (++i == raw.size())
            return false;
        switch (raw[i]) {
        case '\\': name += '\\'; break;
        case 'n': name += '\n'; break;
        case 'r': name += '\r'; break;
        default: return false;
        }
    }
    return true;
}

bool notInTheFolder(std::string_view name)
{
    return name == "." || name == ".." || name.find('/') != std::string_view::npos;
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string checksumDigits(HashKind kind)
{
    return "has a checksum that is not " + std::to_string(2 * StreamHash::digestSize(kind)) + " hexadecimal digits";
}

// The checks every name read from a checksum file passes, whatever its form.
Error checkName(const std::string& name, std::size_t lineNumber)
{
    if (name.empty())
        return ChecksumFile::lineError(lineNumber, "names no file");
    if (name.find('\0') != std::string::npos)
        return ChecksumFile::lineError(lineNumber, "has a NUL character in its file name");
    if (notInTheFolder(name))
        return ChecksumFile::lineError(lineNumber, "names a file that is not in the folder");
    return {};
}

// An SFV line: "<name> <8 hex digits>", the name possibly with blanks of its own.
Error parseSfvLine(std::string_view line, std::size_t lineNumber, std::optional<ChecksumEntry>& entry)
{
    line = trimmed(line);
    if (line.empty() || line.front() == sfvCommentMark)
        return {};
    const std::size_t split = line.find_last_of(blanks);
    if (split == std::string_view::npos)
        return ChecksumFile::lineError(lineNumber, notAChecksumLine);
    const auto digest = StreamHash::fromHex(line.substr(split + 1), HashKind::Crc32);
    if (!digest)
        return ChecksumFile::lineError(lineNumber, checksumDigits(HashKind::Crc32));
    std::string name(trimmed(line.substr(0, split)));
    if (Error e = checkName(name, lineNumber); e.failed())
        return e;
    entry = ChecksumEntry{std::move(name), *digest};
    return {};
}

// What a .crc file's lines have said so far, with the line of each key.
struct WholeCrcLines {
    std::string name;
    std::uint64_t size = 0;
    StreamHash::Digest digest{};
    std::size_t nameLine = 0;
    std::size_t sizeLine = 0;
    std::size_t digestLine = 0;

    Error take(std::string_view line, std::size_t lineNumber)
    {
        if (trimmed(line).empty())
            return {};
        const std::size_t separator = line.find(crcSeparator);
        if (separator == std::string_view::npos)
            return ChecksumFile::lineError(lineNumber, notAChecksumLine);
        const std::string_view key = trimmed(line.substr(0, separator));
        const std::string_view value = line.substr(separator + 1);
        const auto once = [&](std::size_t& keyLine) {
            if (keyLine != 0)
                return ChecksumFile::lineError(lineNumber, "repeats line " + std::to_string(keyLine));
            keyLine = lineNumber;
            return Error{};
        };
        if (equalIgnoringCase(key, crcNameKey)) {
            if (Error e = once(nameLine); e.failed())
                return e;
            // The name as it stands: a name may begin or end with blanks.
            name = value;
            return checkName(name, lineNumber);
        }
        if (equalIgnoringCase(key, crcSizeKey)) {
            if (Error e = once(sizeLine); e.failed())
                return e;
            return parseSize(trimmed(value), lineNumber);
        }
        if (equalIgnoringCase(key, crcChecksumKey)) {
            if (Error e = once(digestLine); e.failed())
                return e;
            const auto parsed = StreamHash::fromHex(trimmed(value), HashKind::Crc32);
            if (!parsed)
                return ChecksumFile::lineError(lineNumber, checksumDigits(HashKind::Crc32));
            digest = *parsed;
        }
        // Other keys say nothing about the contents.
        return {};
    }

    Error parseSize(std::string_view digits, std::size_t lineNumber)
    {
        const auto refuse = [&] { return ChecksumFile::lineError(lineNumber, "has a size that is not a number of bytes"); };
        if (digits.empty() || digits.size() > maximumSizeDigits)
            return refuse();
        size = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return refuse();
            const auto digit = std::uint64_t(c - '0');
            if (size > (std::numeric_limits<std::uint64_t>::max() - digit) / decimalBase)
                return refuse();
            size = size * decimalBase + digit;
        }
        return {};
    }

    bool complete() const { return nameLine != 0 && sizeLine != 0 && digestLine != 0; }
    std::size_t lastLine() const { return std::max({nameLine, sizeLine, digestLine}); }
};

Error tooLarge(std::uint64_t size, std::string path)
{
    return Error{ChecksumFileInvalid,
                 "The checksum file has " + std::to_string(size) + " bytes, more than the "
                     + std::to_string(ChecksumFile::maximumSize) + " a checksum file may have",
                 std::move(path)};
}

} // namespace

ChecksumFormat ChecksumFile::formatOf(std::string_view fileName)
{
    for (const ChecksumFormat format : {ChecksumFormat::Md5, ChecksumFormat::Sfv, ChecksumFormat::WholeCrc}) {
        const std::string_view suffix = suffixOf(format);
        if (fileName.size() > suffix.size()
            && equalIgnoringCase(fileName.substr(fileName.size() - suffix.size()), suffix))
            return format;
    }
    return ChecksumFormat::Sha256;
}

std::string_view ChecksumFile::suffixOf(ChecksumFormat format)
{
    switch (format) {
    case ChecksumFormat::Md5: return ".md5";
    case ChecksumFormat::Sfv: return ".sfv";
    case ChecksumFormat::WholeCrc: return ".crc";
    case ChecksumFormat::Sha256: break;
    }
    return ".sha256";
}

HashKind ChecksumFile::hashOf(ChecksumFormat format)
{
    switch (format) {
    case ChecksumFormat::Md5: return HashKind::Md5;
    case ChecksumFormat::Sfv:
    case ChecksumFormat::WholeCrc: return HashKind::Crc32;
    case ChecksumFormat::Sha256: break;
    }
    return HashKind::Sha256;
}

std::string ChecksumFile::formatLine(const Sha256::Digest& digest, std::string_view name)
{
    const bool escaped = name.find_first_of(escapedCharacters) != std::string_view::npos;
    std::string line;
    line.reserve(lineSize(name));
    if (escaped)
        line += escapeMark;
    line += Sha256::hex(digest);
    line += ' ';
    line += textMarker;
    for (const char c : name) {
        if (!escaped || escapedCharacters.find(c) == std::string_view::npos) {
            line += c;
            continue;
        }
        line += escapeMark;
        line += c == '\n' ? 'n' : c == '\r' ? 'r' : c;
    }
    line += '\n';
    return line;
}

std::uint64_t ChecksumFile::lineSize(std::string_view name)
{
    const auto escapes = std::uint64_t(std::count_if(name.begin(), name.end(), [](char c) {
        return escapedCharacters.find(c) != std::string_view::npos;
    }));
    // The hash, the blank and the marker, the name, the newline; escaping adds a backslash
    // at the start and one per escaped character.
    return (escapes > 0 ? 1 + escapes : 0) + Sha256::hexSize + 2 + name.size() + 1;
}

Error ChecksumFile::lineError(std::size_t lineNumber, std::string_view what)
{
    return Error{ChecksumFileInvalid, "line " + std::to_string(lineNumber) + " " + std::string(what), {}};
}

Error ChecksumFile::parseLine(std::string_view line, std::size_t lineNumber, std::optional<ChecksumEntry>& entry,
                              ChecksumFormat format)
{
    entry.reset();
    if (line.size() > maximumLineLength)
        return lineError(lineNumber, "is longer than a checksum line can be");
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (format == ChecksumFormat::Sfv)
        return parseSfvLine(line, lineNumber, entry);
    const HashKind kind = hashOf(format);
    const std::string_view tagAlgorithm = kind == HashKind::Md5 ? md5Tag : sha256Tag;
    std::size_t i = line.find_first_not_of(blanks);
    if (i == std::string_view::npos || line.front() == commentMark)
        return {};

    const bool escaped = line[i] == escapeMark;
    if (escaped)
        ++i;
    std::string_view rest = line.substr(i);
    std::string_view hash;
    std::string_view rawName;
    if (rest.starts_with(tagAlgorithm)) {
        // "SHA256 (<name>) = <hash>": the name runs to the last closing parenthesis, as
        // sha256sum reads it, so that a name may hold parentheses itself.
        rest.remove_prefix(tagAlgorithm.size());
        if (rest.starts_with(' '))
            rest.remove_prefix(1);
        if (!rest.starts_with(tagOpen))
            return lineError(lineNumber, notAChecksumLine);
        rest.remove_prefix(1);
        const std::size_t close = rest.rfind(tagClose);
        if (close == std::string_view::npos)
            return lineError(lineNumber, notAChecksumLine);
        rawName = rest.substr(0, close);
        std::string_view tail = rest.substr(close + 1);
        tail.remove_prefix(std::min(tail.find_first_not_of(blanks), tail.size()));
        if (!tail.starts_with(tagEquals))
            return lineError(lineNumber, notAChecksumLine);
        tail.remove_prefix(1);
        tail.remove_prefix(std::min(tail.find_first_not_of(blanks), tail.size()));
        hash = tail;
    } else {
        const std::size_t hashEnd = rest.find_first_of(blanks);
        if (hashEnd == std::string_view::npos || hashEnd + 1 >= rest.size()
            || (rest[hashEnd + 1] != textMarker && rest[hashEnd + 1] != binaryMarker))
            return lineError(lineNumber, notAChecksumLine);
        hash = rest.substr(0, hashEnd);
        rawName = rest.substr(hashEnd + 2);
    }
    const auto digest = StreamHash::fromHex(hash, kind);
    if (!digest)
        return lineError(lineNumber, checksumDigits(kind));

    std::string name;
    if (!escaped)
        name = rawName;
    else if (!unescape(rawName, name))
        return lineError(lineNumber, "has a bad escape sequence in its file name");
    if (Error e = checkName(name, lineNumber); e.failed())
        return e;
    entry = ChecksumEntry{std::move(name), *digest};
    return {};
}

Error ChecksumFile::parse(std::string_view text, std::vector<ChecksumEntry>& entries, ChecksumFormat format)
{
    entries.clear();
    std::unordered_map<std::string, std::size_t> lineOfName;
    std::size_t lineNumber = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n', position), text.size());
        std::optional<ChecksumEntry> entry;
        if (Error e = parseLine(text.substr(position, end - position), lineNumber, entry, format); e.failed())
            return e;
        position = end + 1;
        if (!entry)
            continue;
        const auto [first, added] = lineOfName.try_emplace(entry->name, lineNumber);
        if (!added)
            return lineError(lineNumber, "names the same file as line " + std::to_string(first->second));
        entries.push_back(std::move(*entry));
    }
    return {};
}

Error ChecksumFile::read(FileLayer& layer, int folderFd, const std::string& folderPath,
                         const std::string& fileName, const EntryVisitor& visit)
{
    const std::string path = PieceNaming::joinPath(folderPath, fileName);
    // O_NONBLOCK: opening a FIFO of that name must not wait for a writer.
    const int fd = layer.openAt(folderFd, fileName.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) {
        if (errno == ELOOP)
            return Error{SymbolicLink, "The checksum file is a symbolic link", path};
        return Error::fromErrno(errno, path);
    }
    FileHandle file(layer, fd);
    struct stat info;
    if (layer.fstat(fd, &info) != 0)
        return Error::fromErrno(errno, path);
    if (!S_ISREG(info.st_mode))
        return Error{NotRegularFile, "The checksum file is not a regular file", path};
    if (std::uint64_t(info.st_size) > maximumSize)
        return tooLarge(std::uint64_t(info.st_size), path);

    std::string block(readBlock, '\0');
    // The start of a line that goes on in the next block; never longer than a line may be.
    std::string pending;
    std::size_t lineNumber = 0;
    bool stopped = false;
    const ChecksumFormat format = formatOf(fileName);
    WholeCrcLines wholeCrc;
    const auto take = [&](std::string_view line) {
        std::optional<ChecksumEntry> entry;
        Error error;
        if (format != ChecksumFormat::WholeCrc) {
            error = parseLine(line, ++lineNumber, entry, format);
        } else if (line.size() > maximumLineLength) {
            error = lineError(++lineNumber, "is longer than a checksum line can be");
        } else {
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            error = wholeCrc.take(line, ++lineNumber);
        }
        if (!error.failed() && entry && !visit(*entry, lineNumber))
            stopped = true;
        error.path = error.failed() ? path : std::string();
        return error;
    };
    // Keeps a part of a line for the next block; one byte beyond the longest line is enough
    // for parseLine() to refuse it.
    const auto keep = [&](std::string_view part) {
        const std::size_t room = maximumLineLength + 1 - std::min(pending.size(), maximumLineLength + 1);
        pending.append(part.substr(0, room));
    };
    std::uint64_t offset = 0;
    while (!stopped) {
        std::size_t got = 0;
        if (Error e = readFully(layer, fd, block.data(), block.size(), offset, path, got); e.failed())
            return e;
        if (got == 0)
            break;
        offset += std::uint64_t(got);
        // The file grew after fstat().
        if (offset > maximumSize)
            return tooLarge(offset, path);
        std::string_view data(block.data(), std::size_t(got));
        while (!stopped) {
            const std::size_t newline = data.find('\n');
            if (newline == std::string_view::npos) {
                keep(data);
                break;
            }
            std::string_view line = data.substr(0, newline);
            data.remove_prefix(newline + 1);
            if (!pending.empty()) {
                keep(line);
                line = pending;
            }
            if (Error e = take(line); e.failed())
                return e;
            pending.clear();
        }
    }
    if (!stopped && !pending.empty()) {
        if (Error e = take(pending); e.failed())
            return e;
    }
    if (format != ChecksumFormat::WholeCrc || stopped)
        return {};
    if (!wholeCrc.complete())
        return Error{ChecksumFileInvalid, "The checksum file lacks a filename=, size= or crc32= line", path};
    ChecksumEntry entry{std::move(wholeCrc.name), wholeCrc.digest, wholeCrc.size};
    visit(entry, wholeCrc.lastLine());
    return {};
}

Error ChecksumFile::write(FileLayer& layer, int folderFd, const std::string& folderPath,
                          const std::string& fileName, const std::vector<ChecksumEntry>& entries,
                          mode_t mode, gid_t group)
{
    const std::string path = PieceNaming::joinPath(folderPath, fileName);
    std::uint64_t size = 0;
    for (const ChecksumEntry& entry : entries)
        size += lineSize(entry.name);
    if (size > maximumSize)
        return tooLarge(size, path);

    AtomicFile file(layer);
    if (Error error = file.create(folderFd, folderPath, fileName, mode, group); error.failed())
        return error;
    std::string block;
    std::uint64_t offset = 0;
    for (const ChecksumEntry& entry : entries) {
        block += formatLine(entry.digest, entry.name);
        if (block.size() >= writeBlock) {
            if (Error error = writeFully(layer, file.fd(), block.data(), block.size(), offset, path);
                error.failed())
                return error;
            offset += block.size();
            block.clear();
        }
    }
    if (Error error = writeFully(layer, file.fd(), block.data(), block.size(), offset, path); error.failed())
        return error;
    return file.commit();
}

} // namespace qfs
