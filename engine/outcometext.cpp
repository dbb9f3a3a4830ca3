#include "outcometext.h"

#include "checkmessages.h"
#include "progresstext.h"

#include <vector>

namespace qfs {

std::string OutcomeText::split(std::uint64_t pieces, const std::string& folderName, double seconds)
{
    return ProgressText::count(pieces) + (pieces == 1 ? " piece" : " pieces") + " written to " +
           folderName + " in " + ProgressText::elapsed(seconds);
}

std::string OutcomeText::join(const std::string& rebuiltName, std::uint64_t length)
{
    if (rebuiltName.empty())
        return "The folder holds no pieces; nothing was joined.";
    return rebuiltName + " rebuilt, " + ProgressText::bytes(length);
}

namespace {

std::string pieces(std::uint64_t count)
{
    return ProgressText::count(count) + (count == 1 ? " piece" : " pieces");
}

std::string joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

} // namespace

std::string OutcomeText::verify(const VerifyReport& report)
{
    if (report.stem.empty())
        return "The folder holds no pieces; nothing was verified.";
    const char* const noChecksums = "No checksum file to verify against";
    if (report.intact()) {
        if (!report.hasChecksumFile)
            return std::string(noChecksums) + "; " + pieces(report.piecesChecked) +
                   (report.piecesChecked == 1 ? " carries" : " carry") + " the signature, with no gaps.";
        const std::string rebuilt = report.rebuiltChecked ? " and the rebuilt file" : "";
        if (report.piecesChecked == 1)
            return "The 1 piece" + rebuilt + (rebuilt.empty() ? " is" : " are") + " intact.";
        return "All " + pieces(report.piecesChecked) + rebuilt + " are intact.";
    }
    std::vector<std::string> counts;
    if (!report.damaged.empty())
        counts.push_back(ProgressText::count(report.damaged.size()) + " damaged");
    if (report.missingCount > 0)
        counts.push_back(ProgressText::count(report.missingCount) + " missing");
    if (!report.unlisted.empty())
        counts.push_back(ProgressText::count(report.unlisted.size()) + " not in the checksum file");
    std::vector<std::string> sentences;
    if (!report.hasChecksumFile)
        sentences.push_back(std::string(noChecksums) + ".");
    if (!counts.empty())
        sentences.push_back("Pieces not intact: " + joined(counts, ", ") + ".");
    if (report.rebuiltDamaged)
        sentences.push_back("The rebuilt " + report.stem + " differs from its checksum.");
    return joined(sentences, " ");
}

std::string OutcomeText::verifyFindings(const VerifyReport& report)
{
    std::vector<std::string> lines;
    if (!report.damaged.empty()) {
        // Without a checksum file, what marks a piece as damaged is its missing signature.
        lines.push_back(report.hasChecksumFile
                            ? CheckMessages::damaged(report.damaged)
                            : CheckMessages::nameList(report.damaged, report.damaged.size()) +
                                  (report.damaged.size() == 1 ? " lacks the signature." : " lack the signature."));
    }
    if (!report.missing.empty())
        lines.push_back(CheckMessages::missing(report.missing, report.missingCount));
    else if (report.missingCount > 0)
        lines.push_back(pieces(report.missingCount) + (report.missingCount == 1 ? " is missing." : " are missing."));
    if (!report.unlisted.empty())
        lines.push_back(CheckMessages::unlisted(report.unlisted));
    if (report.rebuiltDamaged)
        lines.push_back(CheckMessages::damaged({report.stem}));
    return joined(lines, "\n");
}

namespace {

// "an unfinished split of 3.2 GB", "2 unfinished joins of 40 GB".
std::string unfinished(std::uint64_t count, std::uint64_t bytes, const char* kind)
{
    return (count == 1 ? std::string("an") : ProgressText::count(count)) + " unfinished " + kind +
           (count == 1 ? "" : "s") + " of " + ProgressText::bytes(bytes);
}

} // namespace

std::string OutcomeText::withLeftovers(const std::string& line, const Leftovers& removed)
{
    std::vector<std::string> kinds;
    if (removed.splits > 0)
        kinds.push_back(unfinished(removed.splits, removed.splitBytes, "split"));
    if (removed.joins > 0)
        kinds.push_back(unfinished(removed.joins, removed.joinBytes, "join"));
    if (kinds.empty())
        return line;
    const bool one = removed.splits + removed.joins == 1;
    return line + "; removed " + joined(kinds, " and ") + (one ? " left by an earlier run" : " left by earlier runs");
}

} // namespace qfs
