#include "engine/fs/error.h"

#include "engine/text/nametext.h"

#include <cstring>

namespace qfs {

std::string Error::message() const
{
    if (code == CheckFailed || code == FolderExists)
        return description;
    std::string text = std::to_string(code) + ": " + description;
    if (!path.empty())
        text += ": " + NameText::printable(path);
    return text;
}

Error Error::fromErrno(int err, std::string path)
{
    return Error{err, std::strerror(err), std::move(path)};
}

Error Error::cancelled(std::string path)
{
    return Error{Cancelled, "Cancelled", std::move(path)};
}

Error Error::withStopPath(const std::string& stopPath) const
{
    Error error = *this;
    if (error.is(Cancelled))
        error.path = stopPath;
    return error;
}

} // namespace qfs
