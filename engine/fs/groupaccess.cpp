#include "engine/fs/groupaccess.h"

#include <sys/stat.h>

#include <cerrno>

namespace qfs {

namespace {

constexpr mode_t groupBits = 0070;
constexpr mode_t otherBits = 0007;
constexpr int groupShift = 3;

} // namespace

Error GroupAccess::share(FileLayer& layer, int fd, gid_t group, const std::string& path)
{
    if (group == anyGroup)
        return {};
    struct stat info {};
    if (layer.fstat(fd, &info) != 0)
        return Error::fromErrno(errno, path);
    if (info.st_gid == group || layer.fchgrp(fd, group) == 0)
        return {};
    // Members of the group it got would be let in by the group's bits; everyone else who is
    // not its owner by the others' bits, also members of the source's group, whom the source
    // gave only the group's.
    const mode_t mode = info.st_mode & permissionBits;
    const mode_t others = mode & otherBits & ((mode & groupBits) >> groupShift);
    const mode_t narrowed = (mode & ~(groupBits | otherBits)) | others;
    if (narrowed != mode && layer.fchmod(fd, narrowed) != 0)
        return Error::fromErrno(errno, path);
    return {};
}

} // namespace qfs
