#include "outcometext.h"

#include "progresstext.h"

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

} // namespace qfs
