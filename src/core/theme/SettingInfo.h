// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace core {

namespace format {
struct PlistValue;
}

/// Settings values (product name and links) by key, from the property list
/// "SpruceSetting.plist" (the resource `bundlename` + "Setting", found
/// through platform::services().resources).
///
/// No cache: every call reads and parses the file again. Only string values
/// count: a key whose value is a number, a dictionary or anything else is
/// absent. Never throws; a missing or unreadable file or an absent key
/// writes one system-log line (once per path or key) and reads as "".
/// Links are opened by the GUI; a link that is not an absolute URL is
/// resolved against settingsFolder(), so the file can name the help pages
/// shipped beside it ("help/index.html").
class SettingInfo
{
public:
    SettingInfo() = delete;

    using Table = std::map<std::string, std::string, std::less<>>;

    /// Every string entry of the settings file, read now.
    static Table AllSettings(); // NOLINT(readability-identifier-naming)

    /// The value under `key`; "" when the file has none or not a string.
    static std::string valueOf(std::string_view key);

    /// The string entries of a parsed settings document; a root that is
    /// not a dictionary gives an empty table. Pure.
    static Table parseSettings(const format::PlistValue &root);

    /// The folder that holds the settings file in use (no trailing slash), or "" when none is found.
    static std::string settingsFolder();
};

} // namespace core
