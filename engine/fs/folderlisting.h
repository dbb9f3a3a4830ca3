#pragma once

#include "engine/fs/error.h"
#include "engine/fs/filelayer.h"

#include <string>
#include <vector>

namespace qfs {

// The names of a folder's regular files (and links to regular files), in natural order:
// what the tool's file lists show and what a join is handed. `folderPath` is followed like any
// path the user chose, links included.
class FolderListing {
public:
    static Error regularFiles(const std::string& folderPath, std::vector<std::string>& names,
                              FileLayer& layer = FileLayer::system());
    static void sortNaturally(std::vector<std::string>& names);
};

} // namespace qfs
