#pragma once

#include <string>
#include <vector>

namespace qfs {

// What the window hands over when "Join" is pressed.
struct JoinRequest {
    std::string folderPath;
    std::vector<std::string> listedNames; // in the order the file list shows them
};

} // namespace qfs
