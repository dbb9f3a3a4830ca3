#include "engine/pieces/checksumfile.h"

#include "engine/fs/atomicfile.h"
#include "engine/pieces/piecenaming.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
// "sha256sum --tag" writes "SHA256 (<name>) = <hash>".
constexpr std::string_view tagAlgorithm = "SHA256";
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

Error tooLarge(std::uint64_t size, std::string path)
{
    return Error{ChecksumFileInvalid,
                 "The checksum file has " + std::to_string(size) + " bytes, more than the "
                     + std::to_string(ChecksumFile::maximumSize) + " a checksum file may have",
                 std::move(path)};
}

} // namespace

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

Error ChecksumFile::parseLine(std::string_view line, std::size_t lineNumber, std::optional<ChecksumEntry>& entry)
{
    entry.reset();
    if (line.size() > maximumLineLength)
        return lineError(lineNumber, "is longer than a checksum line can be");
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
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
    const auto digest = Sha256::fromHex(hash);
    if (!digest)
        return lineError(lineNumber, "has a checksum that is not 64 hexadecimal digits");

    std::string name;
    if (!escaped)
        name = rawName;
    else if (!unescape(rawName, name))
        return lineError(lineNumber, "has a bad escape sequence in its file name");
    if (name.empty())
        return lineError(lineNumber, "names no file");
    if (name.find('\0') != std::string::npos)
        return lineError(lineNumber, "has a NUL character in its file name");
    if (notInTheFolder(name))
        return lineError(lineNumber, "names a file that is not in the folder");
    entry = ChecksumEntry{std::move(name), *digest};
    return {};
}

Error ChecksumFile::parse(std::string_view text, std::vector<ChecksumEntry>& entries)
{
    entries.clear();
    std::unordered_map<std::string, std::size_t> lineOfName;
    std::size_t lineNumber = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n', position), text.size());
        std::optional<ChecksumEntry> entry;
        if (Error e = parseLine(text.substr(position, end - position), lineNumber, entry); e.failed())
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
    const auto take = [&](std::string_view line) {
        std::optional<ChecksumEntry> entry;
        Error error = parseLine(line, ++lineNumber, entry);
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
    if (!stopped && !pending.empty())
        return take(pending);
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
