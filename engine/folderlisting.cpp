#include "folderlisting.h"

#include "naturalorder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qfs {

Error FolderListing::regularFiles(const std::string& folderPath, std::vector<std::string>& names)
{
    names.clear();
    DIR* dir = ::opendir(folderPath.c_str());
    if (dir == nullptr)
        return Error::fromErrno(errno, folderPath);
    const int dirFd = ::dirfd(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            regular = ::fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
        }
        if (regular)
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0)
        return Error::fromErrno(readError, folderPath);
    sortNaturally(names);
    return {};
}

void FolderListing::sortNaturally(std::vector<std::string>& names)
{
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalOrder::less(a, b); });
}

} // namespace qfs
