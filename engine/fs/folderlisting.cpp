#include "engine/fs/folderlisting.h"

#include "engine/pieces/naturalorder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qfs {

Error FolderListing::regularFiles(const std::string& folderPath, std::vector<std::string>& names,
                                  FileLayer& layer)
{
    names.clear();
    FileHandle folder(layer, layer.openAt(AT_FDCWD, folderPath.c_str(),
                                          O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC, 0));
    if (!folder.isOpen())
        return Error::fromErrno(errno, folderPath);
    std::vector<FolderEntry> entries;
    if (layer.listFolder(folder.fd(), entries) != 0)
        return Error::fromErrno(errno, folderPath);
    for (FolderEntry& entry : entries) {
        bool regular = entry.type == DT_REG;
        // A link counts by what it leads to; some file systems tell no type at all.
        if (entry.type == DT_LNK || entry.type == DT_UNKNOWN) {
            struct stat info {};
            regular = layer.fstatAt(folder.fd(), entry.name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode);
        }
        if (regular)
            names.push_back(std::move(entry.name));
    }
    sortNaturally(names);
    return {};
}

void FolderListing::sortNaturally(std::vector<std::string>& names)
{
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalOrder::less(a, b); });
}

} // namespace qfs
