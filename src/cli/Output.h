#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace cli {

/// A path or name shown to a person: invalid UTF-8 bytes become U+FFFD.
/// The lossless form of a path is its file URL.
std::string displayText(std::string_view bytes);

/// Prints one JSON document on stdout (invalid UTF-8 replaced, never thrown on).
void printJson(const nlohmann::json &document);

/// An absolute form of a path given on the command line (relative to the
/// working directory); trailing slashes dropped. No link is resolved.
std::string absolutePath(const std::string &path);

} // namespace cli
