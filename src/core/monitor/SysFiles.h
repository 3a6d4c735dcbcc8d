// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "format/Utf8.h"

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

/// Small helpers shared by the readers of /proc and /sys: whole-file reads
/// without iostreams, strict number parsing, UTF-8 repair and a log-once
/// diagnostic. Every function here is thread-safe and never throws.
namespace core::sysfiles {

/// services().sysRoot + `relative` (relative has no leading "/").
std::string sysPath(std::string_view relative);

/// The whole content of a small file (at most `limit` bytes are kept).
/// The error carries errno, so a caller can tell a vanished /proc/<pid>
/// (ENOENT, ESRCH) from one it may not read.
Result<std::string> readFile(const std::string &path, std::size_t limit = std::size_t{ 1 } << 20U);

/// readFile without the reason: nullopt when the file cannot be read.
std::optional<std::string> readText(const std::string &path);

/// `text` without leading and trailing spaces, tabs, newlines and NULs.
std::string_view trim(std::string_view text);

/// The whole of `text` (after trim) as a number of type T; nullopt for an
/// empty text, trailing garbage or a value out of T's range.
template<typename T> std::optional<T> parseNumber(std::string_view text)
{
    text = trim(text);
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    T value{};
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

/// A file holding one integer (sysfs attributes); nullopt when absent or not a number.
std::optional<long long> readInteger(const std::string &path);

/// The file's trimmed text; nullopt when it cannot be read.
std::optional<std::string> readTrimmed(const std::string &path);

/// Names in a directory (without "." and ".."), byte-sorted; empty when it cannot be read.
std::vector<std::string> listDirectory(const std::string &path);

/// True when every byte of `name` is a decimal digit (and there is one).
bool isAllDigits(std::string_view name);

using format::repairUtf8;

/// Writes `line` to the system log the first time `key` is seen in this
/// process, so an absent sensor polled every two seconds is reported once.
void logOnce(const std::string &key, std::string_view line);

} // namespace core::sysfiles
