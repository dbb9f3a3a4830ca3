#pragma once

#include <string>

namespace qfs {

// What a verification is asked to do: check the pieces in this folder, and the file they
// rebuild when it is there, without writing anything.
struct VerifyRequest {
    std::string folderPath;
};

} // namespace qfs
