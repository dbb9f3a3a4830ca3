#include "outcometext.h"

#include "checkmessages.h"
#include "nametext.h"
#include "progresstext.h"

#include <vector>

namespace qfs {

std::string OutcomeText::split(std::uint64_t pieces, const std::string& folderName, double seconds)
{
    return ProgressText::count(pieces) + (pieces == 1 ? " piece" : " pieces") + " written to " +
           NameText::printable(folderName) + " in " + ProgressText::elapsed(seconds);
}

std::string OutcomeText::join(const std::string& rebuiltName, std::uint64_t length)
{
    if (rebuiltName.empty())
        return "The folder holds no pieces; nothing was joined.";
    return NameText::printable(rebuiltName) + " rebuilt, " + ProgressText::bytes(length);
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
        sentences.push_back("The rebuilt " + NameText::printable(report.stem) + " differs from its checksum.");
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

} // namespace qfs
