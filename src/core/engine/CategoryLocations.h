// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Catalogue.h"
#include "tree/KeptItems.h"

#include <memory>
#include <string>
#include <vector>

namespace core {

/// One place a category is scanned, as the file system stands now.
struct ScanLocation
{
    FolderUrl url; // a written location, or one a pattern matched (written out)
    /// For a match of a pattern: how a person tells it from its siblings,
    /// the path from the home ("~/.var/app/org.gimp.GIMP/cache"); else "".
    std::string label;
};

/// Whether the catalogue location `url` holds a wildcard ("*" written as is).
[[nodiscard]] bool hasWildcard(const FolderUrl &url);

/// Whether any location of `category` holds a wildcard.
[[nodiscard]] bool hasWildcard(const Category &category);

/// The locations to scan for `category` now: its `url`, else its `urls`, in
/// order, each location with a wildcard replaced by what it matches now
/// (tree::expandPattern: folders for "Folder", "Children" and
/// "FolderWithChildren", regular files for "File"; its markers required;
/// confined to the home `homeDir` when written inside it). A place reached
/// twice (two patterns, or a link such as ~/.steam/steam leading into
/// another location) is kept once, where it comes first; a match of a
/// pattern that is one of `taken` (places other categories list) is left
/// out. Reads only the folders the wildcards stand in.
[[nodiscard]] std::vector<ScanLocation> scanLocations(
    const Category &category, const std::string &homeDir, const tree::FileIdSet *taken = nullptr);

/// The identities of the places `categories` list now (their locations,
/// patterns expanded), for scanLocations' `taken`.
[[nodiscard]] tree::FileIdSet placesOf(const std::vector<Category> &categories, const std::string &homeDir);

/// The paths the category's exclusions match now below each of `locations`
/// that is a folder; empty when it has none. Nothing is followed below a
/// location's own folder.
[[nodiscard]] std::vector<std::string> excludedPaths(
    const Category &category, const std::vector<ScanLocation> &locations);

/// The items a scan or a clean of `category` leaves alone: `kept` (the
/// always-keep list, may be null) and what the category's exclusions match
/// now below its locations. Null when both are empty; `kept` itself when
/// the category excludes nothing that is there.
[[nodiscard]] std::shared_ptr<const tree::KeptItems> keptWithExclusions(
    const Category &category, const std::string &homeDir, std::shared_ptr<const tree::KeptItems> kept);

} // namespace core
