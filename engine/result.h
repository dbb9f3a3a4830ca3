#pragma once

#include "engine/fs/error.h"

#include <cassert>
#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <utility>

namespace qfs {

// What a run returns: its value when it succeeded, or the failure that ended it. Every run of
// the engine (split, join, verify) hands its outcome back this way; observers only report the
// progress on the way.
template <class T>
class Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    // REQUIRES: error.failed().
    Result(Error error) : m_error(std::move(error)) { assert(m_error.failed()); }

    bool failed() const { return m_error.failed(); }
    // Success (code 0) when the run succeeded.
    const Error& error() const { return m_error; }
    // REQUIRES: !failed().
    const T& value() const { return *m_value; }
    T& value() { return *m_value; }
    const T* operator->() const { return &*m_value; }

private:
    Error m_error;
    std::optional<T> m_value;
};

// Runs `work`, which fills a T and returns its failure, and hands back the value or the
// failure; running out of memory on the way becomes ENOMEM on `path`. Every run of the engine
// ends through here.
template <class T, class Work>
Result<T> runToResult(const std::string& path, Work&& work)
{
    T value;
    Error error;
    try {
        error = work(value);
    } catch (const std::bad_alloc&) {
        error = Error::fromErrno(ENOMEM, path);
    }
    if (error.failed())
        return error;
    return value;
}

} // namespace qfs
