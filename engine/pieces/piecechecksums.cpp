#include "engine/pieces/piecechecksums.h"

#include "engine/pieces/checksumfile.h"
#include "engine/pieces/piecenaming.h"

#include <cerrno>
#include <iterator>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace qfs {

std::string PieceChecksums::fileNameFor(const std::string& stem)
{
    return stem + std::string(suffix);
}

Error PieceChecksums::read(FileLayer& layer, int folderFd, const std::string& folderPath,
                           const PieceSet& set, PieceChecksums& sums, bool& found)
{
    found = false;
    for (const ChecksumFormat format :
         {ChecksumFormat::Sha256, ChecksumFormat::Md5, ChecksumFormat::Sfv, ChecksumFormat::WholeCrc}) {
        sums = PieceChecksums();
        sums.format = format;
        sums.fileName = set.stem() + std::string(ChecksumFile::suffixOf(format));
        if (Error e = readOne(layer, folderFd, folderPath, set, sums, found); e.failed() || found)
            return e;
    }
    sums = PieceChecksums();
    return {};
}

Error PieceChecksums::readOne(FileLayer& layer, int folderFd, const std::string& folderPath,
                              const PieceSet& set, PieceChecksums& sums, bool& found)
{
    std::unordered_map<std::string_view, std::size_t> position;
    std::unordered_set<std::uint64_t> present;
    for (std::size_t k = 0; k < set.pieces().size(); ++k) {
        position.emplace(set.pieces()[k].name, k);
        present.insert(set.pieces()[k].index);
    }
    const std::unordered_set<std::string_view> damaged(set.damaged().begin(), set.damaged().end());
    for (const std::string& name : set.damaged()) {
        if (const auto parsed = set.parse(name))
            present.insert(parsed->index);
    }
    // The line of each piece's and the stem's entry, to notice a second one.
    std::vector<std::size_t> pieceLine(set.pieces().size(), 0);
    std::size_t wholeLine = 0;
    // The listed pieces that are not there, lowest indices first, with their lines.
    std::map<std::pair<std::uint64_t, std::string>, std::size_t> missing;
    std::vector<std::optional<StreamHash::Digest>> expected(set.pieces().size());
    Error refusal;
    const auto listedTwice = [&](std::size_t line, std::size_t first) {
        refusal = ChecksumFile::lineError(line, "names the same file as line " + std::to_string(first));
        return false;
    };

    const Error error = ChecksumFile::read(layer, folderFd, folderPath, sums.fileName,
                                           [&](ChecksumEntry& entry, std::size_t line) {
        if (entry.name == set.stem() || !sums.listsPieces()) {
            if (wholeLine != 0)
                return listedTwice(line, wholeLine);
            wholeLine = line;
            sums.whole = entry.digest;
            sums.wholeSize = entry.size;
            return true;
        }
        const auto parsed = set.parse(entry.name);
        if (!parsed || parsed->stem != set.stem() || damaged.count(entry.name) != 0)
            return true;
        if (const auto at = position.find(entry.name); at != position.end()) {
            if (pieceLine[at->second] != 0)
                return listedTwice(line, pieceLine[at->second]);
            pieceLine[at->second] = line;
            expected[at->second] = entry.digest;
            return true;
        }
        const bool gap = parsed->index < set.endIndex() && present.count(parsed->index) == 0
                         && entry.name == set.pieceName(parsed->index);
        auto key = std::make_pair(parsed->index, std::move(entry.name));
        if (const auto earlier = missing.find(key); earlier != missing.end())
            return listedTwice(line, earlier->second);
        if (!gap)
            ++sums.missingBeyondGaps;
        // Beyond the names kept, a piece is only counted.
        if (missing.size() < PieceSet::listLimit || key < missing.rbegin()->first) {
            missing.emplace(std::move(key), line);
            if (missing.size() > PieceSet::listLimit)
                missing.erase(std::prev(missing.end()));
        }
        return true;
    });
    if (error.failed()) {
        if (error.code == ENOENT || error.code == ENAMETOOLONG)
            return {};
        sums = PieceChecksums();
        return error;
    }
    if (refusal.failed()) {
        refusal.path = PieceNaming::joinPath(folderPath, sums.fileName);
        sums = PieceChecksums();
        return refusal;
    }
    found = true;
    sums.expected = std::move(expected);
    for (auto& [key, line] : missing)
        sums.missing.push_back(key.second);
    for (std::size_t k = 0; k < set.pieces().size() && sums.listsPieces(); ++k) {
        if (!sums.expected[k])
            sums.unlisted.push_back(set.pieces()[k].name);
    }
    return {};
}

} // namespace qfs
