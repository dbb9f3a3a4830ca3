#include "engine/fs/error.h"

#include "engine/text/nametext.h"

#include <cstring>
#include <filesystem>

namespace qfs {

std::string Error::message() const
{
    if (code == CheckFailed || code == FolderExists)
        return description;
    std::string text = std::to_string(code) + ": " + description;
    if (path.empty())
        return text;
    if (!description.ends_with('.'))
        return text + ": " + NameText::printable(path);
    // One of the engine's sentences: the place goes inside it, before its full stop, so that
    // no ".:" follows it. A sentence that names the file already needs only its folder; one
    // that does not is about the folder it was given.
    const std::filesystem::path concerned(path);
    const std::string name = concerned.filename().string();
    const bool named = !name.empty() && description.find(NameText::printable(name)) != std::string::npos;
    const std::string place = named ? concerned.parent_path().string() : path;
    if (place.empty())
        return text;
    text.pop_back();
    return text + " (in " + NameText::printable(place) + ").";
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
