#include "piecechecksums.h"

#include "checksumfile.h"
#include "piecenaming.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace qfs {

namespace {

constexpr std::string_view checksumSuffix = ".sha256";

} // namespace

std::string PieceChecksums::fileNameFor(const std::string& stem)
{
    return stem + std::string(checksumSuffix);
}

Error PieceChecksums::read(FileLayer& layer, int folderFd, const std::string& folderPath,
                           const PieceSet& set, PieceChecksums& sums, bool& found)
{
    sums = PieceChecksums();
    sums.fileName = fileNameFor(set.stem());
    found = false;
    std::vector<ChecksumEntry> entries;
    if (Error e = ChecksumFile::read(layer, folderFd, folderPath, sums.fileName, entries); e.failed()) {
        if (e.code == ENOENT || e.code == ENAMETOOLONG)
            return {};
        return e;
    }
    found = true;

    std::unordered_map<std::string, std::size_t> position;
    for (std::size_t k = 0; k < set.pieces().size(); ++k)
        position.emplace(set.pieces()[k].name, k);
    const std::unordered_set<std::string> damaged(set.damaged().begin(), set.damaged().end());
    sums.expected.resize(set.pieces().size());

    std::vector<std::pair<std::uint64_t, std::string>> missing;
    for (ChecksumEntry& entry : entries) {
        if (entry.name == set.stem()) {
            sums.whole = entry.digest;
            continue;
        }
        const auto parsed = PieceNaming::parse(entry.name);
        if (!parsed || parsed->stem != set.stem())
            continue;
        if (const auto at = position.find(entry.name); at != position.end())
            sums.expected[at->second] = entry.digest;
        else if (damaged.count(entry.name) == 0)
            missing.emplace_back(parsed->index, std::move(entry.name));
    }
    std::sort(missing.begin(), missing.end());
    for (auto& [index, name] : missing)
        sums.missing.push_back(std::move(name));
    for (std::size_t k = 0; k < set.pieces().size(); ++k) {
        if (!sums.expected[k])
            sums.unlisted.push_back(set.pieces()[k].name);
    }
    return {};
}

} // namespace qfs
