#include "checksumfile.h"

#include "atomicfile.h"
#include "piecenaming.h"

#include <fcntl.h>
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
// The file is written in blocks of about this size rather than line by line.
constexpr std::size_t writeBlock = 64 * 1024;

Error lineError(std::size_t lineNumber, std::string_view what)
{
    return Error{ChecksumFileInvalid, "line " + std::to_string(lineNumber) + " " + std::string(what),
                 {}};
}

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

Error ChecksumFile::parse(std::string_view text, std::vector<ChecksumEntry>& entries)
{
    entries.clear();
    std::unordered_map<std::string, std::size_t> lineOfName;
    std::size_t lineNumber = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n', position), text.size());
        std::string_view line = text.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::size_t i = line.find_first_not_of(blanks);
        if (i == std::string_view::npos || line.front() == commentMark)
            continue;

        const bool escaped = line[i] == escapeMark;
        if (escaped)
            ++i;
        const std::size_t hashEnd = line.find_first_of(blanks, i);
        if (hashEnd == std::string_view::npos || hashEnd + 1 >= line.size()
            || (line[hashEnd + 1] != textMarker && line[hashEnd + 1] != binaryMarker))
            return lineError(lineNumber, "is not a checksum line");
        const auto digest = Sha256::fromHex(line.substr(i, hashEnd - i));
        if (!digest)
            return lineError(lineNumber, "has a checksum that is not 64 hexadecimal digits");

        const std::string_view rawName = line.substr(hashEnd + 2);
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
        const auto [first, added] = lineOfName.try_emplace(name, lineNumber);
        if (!added)
            return lineError(lineNumber, "names the same file as line "
                                             + std::to_string(first->second));
        entries.push_back(ChecksumEntry{std::move(name), *digest});
    }
    return {};
}

Error ChecksumFile::read(FileLayer& layer, int folderFd, const std::string& folderPath,
                         const std::string& fileName, std::vector<ChecksumEntry>& entries)
{
    entries.clear();
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

    // One byte more than the size notices a file that grew after fstat().
    std::string text(std::size_t(info.st_size) + 1, '\0');
    std::size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            if (length > maximumSize)
                return tooLarge(length, path);
            text.resize(std::min<std::size_t>(2 * length, maximumSize + 1));
        }
        const ssize_t got = layer.pread(fd, text.data() + length, text.size() - length,
                                        off_t(length));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Error::fromErrno(errno, path);
        if (got == 0)
            break;
        length += std::size_t(got);
    }
    text.resize(length);

    Error error = parse(text, entries);
    error.path = error.failed() ? path : std::string();
    return error;
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
