#pragma once

#include "fs/FolderInfo.h"
#include "fs/FolderUrl.h"

#include <cstdint>
#include <string>
#include <vector>

namespace core {

/// The plain value records of the module catalogue. They are copied when
/// read out of ModuleInfo::modules(); a change is seen by others only once
/// the changed copy has been written back there (on the main queue).
///
/// Selection states, here and in FolderInfo::checked: 1 selected, 0 not
/// selected, -1 partly selected.

/// One descriptive row of a module's overview.
struct Feature
{
    std::string image; // image resource name
    std::string description;

    bool operator==(const Feature &) const = default;
};

/// One scannable group inside a module.
struct Category
{
    std::string title;
    std::string image; // image resource name
    std::int64_t size = 0; // bytes found by the last scan
    std::string description;
    FolderUrl url; // the single location scanned; url.url is "" when `urls` is used instead
    std::vector<FolderUrl> urls; // the locations scanned when url.url is ""
    std::string type =
        "Folder"; // "iTunes", "Mail", "Photo", "Localization", "TaggedCaches"; anything else is a folder category
    std::vector<FolderInfoPtr> files; // result tree of the last scan; empty after loading
    int state = 0; // selection state of the category
    /// Programs whose data the category holds (the optional "runningApps"
    /// key, see namesProcess in RunningApps.h): while one of them runs for
    /// the user, the cleaner leaves the category alone. Empty: no such program.
    std::vector<std::string> runningApps;
};

/// One entry of the catalogue. Modules are addressed by their position:
/// 0 dashboard, 1 system junk, 2 application junk, 3 large and old files
/// (at least four categories: the size and age bands), 4 more tools (its
/// description holds the address of a web page).
struct Module
{
    std::string title;
    std::string image; // image resource name; screens add "_Overview" and "_Review"
    std::string tab; // stem of the module's screen identifiers ("systemJunk", ...)
    std::string description;
    std::vector<Feature> features;
    std::vector<Category> categories; // always present after loading, possibly empty
};

} // namespace core
