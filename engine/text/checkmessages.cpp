#include "engine/text/checkmessages.h"

#include "engine/text/plantext.h"
#include "engine/text/progresstext.h"
#include "engine/text/nametext.h"

#include <algorithm>

namespace qfs {

namespace {

// The finding for `names` of `total` pieces: `one` after a single name ("is damaged: its
// checksum differs."), `several` after a list or a count ("are damaged: …").
PieceFinding finding(const std::vector<std::string>& names, std::uint64_t total, const char* one,
                     const char* several)
{
    total = std::max<std::uint64_t>(total, names.size());
    PieceFinding found;
    if (total > CheckMessages::namedLimit || total > names.size()) {
        found.sentence = ProgressText::count(total) + " pieces " + several;
        if (total > names.size())
            found.sentence += " The first " + ProgressText::count(names.size()) + " are listed.";
        found.names = names;
        return found;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            found.sentence += i + 1 == names.size() ? " and " : ", ";
        found.sentence += NameText::printable(names[i]); // a received name may hold control characters
    }
    found.sentence += std::string(" ") + (names.size() == 1 ? one : several);
    return found;
}

} // namespace

PieceFinding CheckMessages::damaged(const std::vector<std::string>& names)
{
    return finding(names, names.size(), "is damaged: its checksum differs.", "are damaged: their checksums differ.");
}

PieceFinding CheckMessages::withoutSignature(const std::vector<std::string>& names)
{
    return finding(names, names.size(), "is damaged: it lacks the signature.", "are damaged: they lack the signature.");
}

PieceFinding CheckMessages::missing(const std::vector<std::string>& names, std::uint64_t total)
{
    return finding(names, total, "is missing.", "are missing.");
}

PieceFinding CheckMessages::unlisted(const std::vector<std::string>& names)
{
    return finding(names, names.size(), "is not in the checksum file.", "are not in the checksum file.");
}

std::string CheckMessages::joinedDiffers(const std::string& stem)
{
    return "The pieces are intact, but together they differ from the checksum of " + NameText::printable(stem) + ".";
}

std::string CheckMessages::wholeDiffers(const std::string& stem, const std::string& checksumFileName)
{
    return "Together the pieces differ from the checksum " + NameText::printable(checksumFileName) + " gives for "
           + NameText::printable(stem) + ": one of them is damaged.";
}

std::string CheckMessages::joinedLength(const std::string& stem, std::uint64_t length, std::uint64_t expected)
{
    return "The pieces hold " + PlanText::exactBytes(length) + ", but the checksum file gives "
           + NameText::printable(stem) + " " + PlanText::exactBytes(expected) + ".";
}

std::string CheckMessages::rebuildable(std::uint64_t lost, std::uint64_t recoveryPieces, std::string_view action)
{
    return std::string(lost == 1 ? "it" : "they") + " can be rebuilt from the " + ProgressText::count(recoveryPieces) +
           (recoveryPieces == 1 ? " recovery piece (" : " recovery pieces (") + std::string(action) + ").";
}

std::string CheckMessages::notAllRebuildable(std::uint64_t lost, std::uint64_t rebuildable)
{
    return ProgressText::count(lost) + (lost == 1 ? " piece is" : " pieces are") + " damaged or missing, but " +
           (rebuildable == 0 ? std::string("none") : "only " + ProgressText::count(rebuildable)) + " can be rebuilt.";
}

} // namespace qfs
