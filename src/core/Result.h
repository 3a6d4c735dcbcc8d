// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <system_error>
#include <utility>
#include <variant>

namespace core {

/// What went wrong with one operation: an errno-style code (0 when there is
/// none), the path concerned, and a human-readable message for that path.
struct Error
{
    int code = 0;
    std::string path;
    std::string message;

    /// An error from an errno value; the message is the platform's text for it.
    static Error fromErrno(int errnoValue, std::string path)
    {
        return Error{ errnoValue, std::move(path), std::system_category().message(errnoValue) };
    }
};

/// A small expected-like value: either a T or an Error. Shaped like
/// std::expected (has_value/value/error) so it can become one under C++23.
template<typename T> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_v(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Error error)
        : m_v(std::in_place_index<1>, std::move(error))
    {
    }

    bool has_value() const { return m_v.index() == 0; } // NOLINT(readability-identifier-naming)
    explicit operator bool() const { return has_value(); }
    T &value() & { return std::get<0>(m_v); }
    const T &value() const & { return std::get<0>(m_v); }
    T &&value() && { return std::get<0>(std::move(m_v)); }
    const Error &error() const { return std::get<1>(m_v); }

private:
    std::variant<T, Error> m_v;
};

/// Result of an operation that yields nothing but success or an Error.
struct Ok
{
};
using Status = Result<Ok>;

} // namespace core
