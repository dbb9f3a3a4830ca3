#include "engine/pieces/piecenaming.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace qfs {

namespace {

constexpr std::uint64_t decimalBase = 10;

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

std::string PieceNaming::numberedSplitFolderName(std::string_view sourceFileName, std::uint64_t number)
{
    return splitFolderName(sourceFileName) + "-" + std::to_string(number);
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

std::string PieceNaming::pieceFileName(std::string_view sourceFileName, std::uint64_t number, PieceFormat format)
{
    if (format == PieceFormat::Signed)
        return pieceFileName(sourceFileName, number);
    char digits[24];
    std::snprintf(digits, sizeof digits, ".%03llu", static_cast<unsigned long long>(number));
    return std::string(sourceFileName) + digits;
}

std::string PieceNaming::noteFileName(std::string_view sourceFileName)
{
    return std::string(sourceFileName) + std::string(noteSuffix);
}

std::size_t PieceNaming::minimumDigits(PieceFormat format)
{
    return format == PieceFormat::Signed ? signedDigits : plainDigits;
}

std::uint64_t PieceNaming::firstNumber(PieceFormat format)
{
    return format == PieceFormat::Signed ? 0 : 1;
}

std::uint64_t PieceNaming::firstWiderNumber(std::size_t digits)
{
    std::uint64_t number = 1;
    for (std::size_t k = 0; k < digits; ++k) {
        if (number > std::numeric_limits<std::uint64_t>::max() / decimalBase)
            return std::numeric_limits<std::uint64_t>::max();
        number *= decimalBase;
    }
    return number;
}

std::optional<PieceNaming::Parsed> PieceNaming::parse(std::string_view fileName, PieceFormat format)
{
    return parse(fileName, minimumDigits(format));
}

std::size_t PieceNaming::indexDigits(std::string_view fileName)
{
    if (!parse(fileName, 1))
        return 0;
    return fileName.size() - fileName.rfind('.') - 1;
}

std::optional<PieceNaming::Parsed> PieceNaming::parse(std::string_view fileName, std::size_t minimum)
{
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::nullopt;
    const std::string_view digits = fileName.substr(dot + 1);
    if (digits.size() < minimum || digits.empty())
        return std::nullopt;
    std::uint64_t index = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    // from_chars takes no sign and no blank: only digits pass, and too many of them overflow.
    if (ec != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return Parsed{fileName.substr(0, dot), index};
}

} // namespace qfs
