// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FolderInfo.h"
#include "fs/FolderUrl.h"

#include <cstdint>
#include <string>
#include <string_view>
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

/// What kind of scanner a category needs: the catalogue's "type" string,
/// parsed once when the catalogue is read (categoryKindOf).
enum class CategoryKind {
    Folder, // ordinary folders and files named by the catalogue (any other type string)
    Photo, // "Photo": nothing is measured; the category only counts as finished
    DeviceBackup, // "iTunes": old device backups
    Mail, // "Mail": mail attachments
    Localization, // "Localization": unused translations, listed for review only
    TaggedCaches, // "TaggedCaches": folders marked by a CACHEDIR.TAG
    Trash, // "Trash": a desktop Trash's files/ and info/, one row per trashed item with its record
    // Junk outside the home, below the system root (core/sysjunk); its
    // locations are fixed, not the catalogue's, and only the privileged
    // helper removes it.
    AptCache, // "AptCache": downloaded packages in the apt cache and partial downloads
    Journal, // "Journal": the systemd journal's archived files
    CrashDumps, // "CrashDumps": apport reports, kdump folders and systemd-coredump dumps
    SnapRevisions, // "SnapRevisions": revisions snapd keeps disabled
    FlatpakRuntimes, // "FlatpakRuntimes": runtimes no installed Flatpak application uses
    OldTemporaryFiles, // "VarTmp": entries of /var/tmp unchanged for 30 days
};

/// Whether categories of this kind hold system junk: found below the system
/// root and removed only by the privileged helper, never in process.
[[nodiscard]] constexpr bool isSystemKind(CategoryKind kind)
{
    switch (kind) {
    case CategoryKind::AptCache:
    case CategoryKind::Journal:
    case CategoryKind::CrashDumps:
    case CategoryKind::SnapRevisions:
    case CategoryKind::FlatpakRuntimes:
    case CategoryKind::OldTemporaryFiles:
        return true;
    default:
        return false;
    }
}

/// The kind a catalogue "type" string names; any unknown string is a folder category.
[[nodiscard]] CategoryKind categoryKindOf(std::string_view type);

/// One scannable group inside a module.
struct Category
{
    std::string title;
    std::string image; // image resource name
    std::int64_t size = 0; // bytes found by the last scan
    std::string description;
    FolderUrl url; // the single location scanned; url.url is "" when `urls` is used instead
    std::vector<FolderUrl> urls; // the locations scanned when url.url is ""
    std::string type = "Folder"; // as the catalogue writes it; the program asks `kind`
    CategoryKind kind = CategoryKind::Folder; // parsed from `type` when the catalogue is read
    std::vector<FolderInfoPtr> files; // result tree of the last scan; empty after loading
    int state = 0; // selection state of the category
    /// Programs whose data the category holds (the optional "runningApps"
    /// key, see namesProcess in RunningApps.h): while one of them runs for
    /// the user, the cleaner leaves the category alone. Empty: no such program.
    std::vector<std::string> runningApps;
    /// What the last scan could not measure, one sentence each (a folder it
    /// may not read, a tool that failed); empty when everything was measured.
    std::vector<std::string> notes;
    /// What the category never lists, measures or removes (the optional
    /// "exclude" key): paths relative to each of its folder locations, any
    /// component of which may hold a "*" wildcard ("JetBrains/*/LocalHistory").
    /// The cleaner treats what they match as kept items, judged again when
    /// it runs.
    std::vector<std::string> exclude;
};

/// Whether the category's findings are listed for review only and never
/// removed (unused localizations): the cleaner skips it, and the front ends
/// neither count it as selectable nor let it be ticked.
[[nodiscard]] inline bool isReviewOnly(const Category &category)
{
    return category.kind == CategoryKind::Localization;
}

/// One entry of the catalogue. Modules are addressed by their position:
/// 0 dashboard, 1 system junk, 2 application junk, 3 large and old files
/// (at least four categories: the size and age bands), 4 more tools (its
/// description holds the address of a web page), and after them, when the
/// catalogue has it, 5 system (junk outside the home).
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
