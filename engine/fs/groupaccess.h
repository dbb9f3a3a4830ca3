#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"

#include <sys/types.h>

#include <string>

namespace qfs {

// The group of what the tool makes from a file: the pieces and their folder from the source,
// the rebuilt file from the pieces. They keep their source's permission bits, which only mean
// the same when the group is the same; a file made with the user's primary group would let that
// group in instead.
class GroupAccess {
public:
    // Leaves the group as the system gives it.
    static constexpr gid_t anyGroup = gid_t(-1);

    // Gives the new file or folder behind `fd` the group `group` when it does not have it
    // already: its owner may when a member of that group, and root may. Where the system
    // refuses (not a member; a file system without groups), the group's permission bits are
    // taken away instead, and those of others that the group lacks, so that it lets in no one
    // the source did not. anyGroup does nothing. Errors name `path`.
    static Error share(FileLayer& layer, int fd, gid_t group, const std::string& path);
};

} // namespace qfs
