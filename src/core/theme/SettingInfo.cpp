// SPDX-License-Identifier: GPL-3.0-or-later
#include "theme/SettingInfo.h"

#include "format/Plist.h"
#include "theme/ResourceTable.h"

namespace core {

SettingInfo::Table SettingInfo::parseSettings(const format::PlistValue &root)
{
    Table table;
    const auto *dict = root.dict();
    if (dict == nullptr) {
        return table;
    }
    for (const auto &[key, value] : *dict) {
        if (const auto *text = value.string()) {
            table.insert_or_assign(key, *text);
        } else {
            table.erase(key);
        }
    }
    return table;
}

SettingInfo::Table SettingInfo::AllSettings()
{
    const auto root = theme_detail::readResource("Setting");
    return root ? parseSettings(*root) : Table();
}

std::string SettingInfo::valueOf(std::string_view key)
{
    const Table all = AllSettings();
    if (const auto found = all.find(key); found != all.end()) {
        return found->second;
    }
    theme_detail::logOnce("Setting \"" + std::string(key) + "\" missing");
    return {};
}

std::string SettingInfo::settingsFolder()
{
    std::string path = theme_detail::resourcePath("Setting");
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace core
