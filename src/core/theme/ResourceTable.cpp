// SPDX-License-Identifier: GPL-3.0-or-later
#include "theme/ResourceTable.h"

#include "engine/ModuleInfo.h"
#include "platform/Services.h"

#include <mutex>
#include <set>

namespace core::theme_detail {

std::string resourcePath(std::string_view suffix)
{
    const std::string name = std::string(ModuleInfo::bundlename) + std::string(suffix);
    return platform::services().resources.path(name, "plist").value_or(std::string());
}

std::optional<format::PlistValue> readResource(std::string_view suffix)
{
    const std::string path = resourcePath(suffix);
    if (path.empty()) {
        logOnce("Resource " + std::string(ModuleInfo::bundlename) + std::string(suffix) + ".plist not found");
        return std::nullopt;
    }
    // The theme and settings tables have a few hundred nodes each.
    constexpr std::size_t TableNodes = std::size_t{ 1 } << 16U;
    auto loaded = format::loadPlistFile(path, TableNodes);
    if (!loaded) {
        logOnce("Cannot read " + path + ": " + loaded.error().message);
        return std::nullopt;
    }
    return std::move(loaded).value();
}

void logOnce(const std::string &line)
{
    static std::mutex mutex;
    static std::set<std::string, std::less<>> seen;
    {
        std::lock_guard lock(mutex);
        if (!seen.insert(line).second) {
            return;
        }
    }
    if (auto *log = platform::services().log) {
        log->systemLog(line);
    }
}

} // namespace core::theme_detail
