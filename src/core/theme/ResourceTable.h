// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "format/Plist.h"

#include <optional>
#include <string>
#include <string_view>

namespace core::theme_detail {

/// Path of the resource `bundlename` + `suffix` + ".plist", or "" when the
/// resource locator finds none.
std::string resourcePath(std::string_view suffix);

/// Reads the property list of `resourcePath(suffix)`. nullopt (after one
/// system-log line per path and reason, for the life of the process) when
/// the file is missing or cannot be read.
std::optional<format::PlistValue> readResource(std::string_view suffix);

/// Writes `line` to the system log the first time it is seen in this
/// process; later calls with the same line do nothing. Thread-safe.
void logOnce(const std::string &line);

} // namespace core::theme_detail
