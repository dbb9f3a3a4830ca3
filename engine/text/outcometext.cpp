#include "engine/text/outcometext.h"

#include "engine/text/checkmessages.h"
#include "engine/pieces/piecechecksums.h"
#include "engine/text/nametext.h"
#include "engine/text/progresstext.h"

#include <string_view>
#include <unordered_set>
#include <vector>

namespace qfs {

std::string OutcomeText::split(std::uint64_t pieces, bool checksumFile, std::uint64_t recoveryPieces,
                               const std::string& folderName, double seconds)
{
    std::vector<std::string> made{ProgressText::count(pieces) + (pieces == 1 ? " piece" : " pieces")};
    if (checksumFile)
        made.push_back(pieces == 1 ? "its checksum file" : "their checksum file");
    if (recoveryPieces > 0)
        made.push_back(ProgressText::count(recoveryPieces) +
                       (recoveryPieces == 1 ? " recovery piece" : " recovery pieces"));
    std::string list = made.front();
    for (std::size_t i = 1; i < made.size(); ++i)
        list += (i + 1 == made.size() ? " and " : ", ") + made[i];
    return list + " written to " + NameText::printable(folderName) + " in " + ProgressText::elapsed(seconds) +
           sendFolder;
}

std::string OutcomeText::join(const std::string& rebuiltName, std::uint64_t length)
{
    if (rebuiltName.empty())
        return noPiecesJoined;
    return NameText::printable(rebuiltName) + " rebuilt, " + ProgressText::bytes(length);
}

namespace {

std::string pieces(std::uint64_t count)
{
    return ProgressText::count(count) + (count == 1 ? " piece" : " pieces");
}

// The finding of pieces whose data together differs from the original file's checksum.
std::string joinedFinding(const VerifyReport& report)
{
    if (report.joinedLength != report.expectedLength)
        return CheckMessages::joinedLength(report.stem, report.joinedLength, report.expectedLength);
    return report.checksumFileListsPieces ? CheckMessages::joinedDiffers(report.stem)
                                          : CheckMessages::wholeDiffers(report.stem, report.checksumFileName);
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
        return noPiecesVerified;
    // Without a checksum file neither format proves that a piece was not replaced.
    const char* const noChecksums = "No checksum file: the pieces' content is not checked";
    if (report.intact()) {
        if (!report.hasChecksumFile)
            return std::string(noChecksums) + "; " + pieces(report.piecesChecked) +
                   (report.format == PieceFormat::Plain ? ","
                    : report.piecesChecked == 1         ? " carries the signature,"
                                                        : " carry the signature,") +
                   " with no gaps.";
        const std::string rebuilt = report.rebuiltChecked ? " and the rebuilt file" : "";
        // A checksum file of another program's is named: the folder may hold more than one.
        if (!report.checksumFileName.ends_with(PieceChecksums::suffix)) {
            const std::string file = NameText::printable(report.checksumFileName);
            if (!report.checksumFileListsPieces)
                return "The " + pieces(report.piecesChecked) + " together" + rebuilt + " match " + file + ".";
            if (report.piecesChecked == 1)
                return "The 1 piece" + rebuilt + (rebuilt.empty() ? " matches " : " match ") + file + ".";
            return "All " + pieces(report.piecesChecked) + rebuilt + " match " + file + ".";
        }
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
    if (report.joinedDamaged)
        sentences.push_back(joinedFinding(report));
    if (report.rebuiltDamaged)
        sentences.push_back("The rebuilt " + NameText::printable(report.stem) + " differs from its checksum.");
    return joined(sentences, " ");
}

namespace {

// What the recovery data can do, after the findings of damaged and missing pieces (the first
// `pieceFindings` of `findings`): a clause of the one such finding that names its pieces,
// otherwise a sentence of its own.
void addRebuilding(const VerifyReport& report, std::string_view repairAction, std::size_t pieceFindings,
                   std::vector<PieceFinding>& findings)
{
    if (!report.hasRecovery)
        return;
    if (report.recoveryUnusable) {
        findings.push_back({CheckMessages::recoveryUnusable, {}});
        return;
    }
    if (report.lostPieces == 0)
        return;
    if (!report.canRebuild()) {
        findings.push_back({CheckMessages::notAllRebuildable(report.lostPieces, report.rebuildablePieces), {}});
        return;
    }
    const std::string clause = CheckMessages::rebuildable(report.lostPieces, report.recoveryPieces, repairAction);
    if (pieceFindings == 1 && findings.front().names.empty() && findings.front().sentence.ends_with('.')) {
        std::string& sentence = findings.front().sentence;
        sentence.back() = ';';
        sentence += " " + clause;
        return;
    }
    std::string own = clause;
    own.front() = char(own.front() - 'a' + 'A');
    findings.push_back({own, {}});
}

} // namespace

std::vector<PieceFinding> OutcomeText::verifyFindings(const VerifyReport& report, std::string_view repairAction)
{
    std::vector<PieceFinding> findings;
    const std::unordered_set<std::string_view> unsignedPieces(report.withoutSignature.begin(),
                                                              report.withoutSignature.end());
    std::vector<std::string> checksumDiffers;
    for (const std::string& name : report.damaged) {
        if (unsignedPieces.count(name) == 0)
            checksumDiffers.push_back(name);
    }
    if (!report.withoutSignature.empty())
        findings.push_back(CheckMessages::withoutSignature(report.withoutSignature));
    if (!checksumDiffers.empty())
        findings.push_back(CheckMessages::damaged(checksumDiffers));
    if (report.missingCount > 0)
        findings.push_back(CheckMessages::missing(report.missing, report.missingCount));
    const std::size_t pieceFindings = findings.size();
    if (!report.unlisted.empty())
        findings.push_back(CheckMessages::unlisted(report.unlisted));
    if (report.joinedDamaged)
        findings.push_back({joinedFinding(report), {}});
    if (report.rebuiltDamaged)
        findings.push_back(CheckMessages::damaged({report.stem}));
    addRebuilding(report, repairAction, pieceFindings, findings);
    return findings;
}

std::string OutcomeText::repair(const RepairResult& result)
{
    if (result.found.stem.empty())
        return noPiecesRepaired;
    std::string rebuilt;
    if (result.rebuilt.size() > CheckMessages::namedLimit) {
        rebuilt = pieces(result.rebuilt.size());
    } else {
        for (std::size_t i = 0; i < result.rebuilt.size(); ++i)
            rebuilt += (i == 0 ? "" : i + 1 == result.rebuilt.size() ? " and " : ", ") +
                       NameText::printable(result.rebuilt[i]);
    }
    const std::uint64_t total = result.found.piecesChecked + result.found.missingCount;
    if (result.piecesIntact()) {
        const std::string intact = total == 1 ? "the 1 piece is intact" : "all " + pieces(total) + " are intact";
        if (rebuilt.empty())
            return char(intact[0] - 'a' + 'A') + intact.substr(1) + "; nothing to rebuild.";
        return rebuilt + " rebuilt; " + intact + ".";
    }
    if (!result.found.hasRecovery)
        return "The folder holds no recovery pieces; nothing was rebuilt.";
    return (rebuilt.empty() ? std::string("Nothing") : rebuilt) + " rebuilt; pieces are still damaged or missing.";
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
