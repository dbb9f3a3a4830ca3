#pragma once

#include "engine/fs/error.h"

#include <cassert>
#include <optional>
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

} // namespace qfs
