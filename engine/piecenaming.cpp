#include "piecenaming.h"

#include <cstdio>

namespace qfs {

namespace {

constexpr std::size_t indexSuffixLength = 5; // the dot and four digits

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

} // namespace

std::string PieceNaming::splitFolderName(std::string_view sourceFileName)
{
    return std::string(trimmed(sourceFileName)) + "_split";
}

std::string PieceNaming::splitFolderPath(std::string_view sourceDirectory,
                                         std::string_view sourceFileName)
{
    return joinPath(sourceDirectory, splitFolderName(sourceFileName));
}

std::string PieceNaming::joinPath(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string PieceNaming::pieceFileName(std::string_view sourceFileName, std::uint64_t index)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, ".%04llu", static_cast<unsigned long long>(index));
    return std::string(sourceFileName) + digits;
}

bool PieceNaming::isPieceName(std::string_view fileName)
{
    if (fileName.size() <= indexSuffixLength)
        return false;
    for (std::size_t i = fileName.size() - 4; i < fileName.size(); ++i) {
        if (fileName[i] < '0' || fileName[i] > '9')
            return false;
    }
    return true;
}

std::string PieceNaming::rebuiltFileName(std::string_view firstPieceName)
{
    if (firstPieceName.size() <= indexSuffixLength)
        return {};
    return std::string(firstPieceName.substr(0, firstPieceName.size() - indexSuffixLength));
}

} // namespace qfs
