#include "error.h"

#include <cstring>

namespace qfs {

std::string Error::message() const
{
    return std::to_string(code) + ": " + description;
}

Error Error::fromErrno(int err, std::string path)
{
    return Error{err, std::strerror(err), std::move(path)};
}

} // namespace qfs
