#pragma once

#include <string>

namespace qfs {

// Our own error numbers, kept above the range the system uses for errno.
enum ErrorCode : int {
    NotRegularFile = 1001,
    PieceTooShort = 1002,
    OutputIsAPiece = 1003,
    CountNotANumber = 1004,
};

// A failure as a value: the number, its description, and the path it concerns.
// A default-constructed Error means success.
struct Error {
    int code = 0;
    std::string description;
    std::string path;

    bool failed() const { return code != 0; }
    // The text shown to the user: "number: description".
    std::string message() const;

    static Error fromErrno(int err, std::string path);
};

} // namespace qfs
