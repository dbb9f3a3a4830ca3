#pragma once

#include <string>

namespace qfs {

// What a join is asked to do: put the pieces in this folder back together. The join reads the
// folder itself, so what it joins is what is there when it starts.
struct JoinRequest {
    std::string folderPath;
};

} // namespace qfs
