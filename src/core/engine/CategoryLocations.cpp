// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CategoryLocations.h"

#include "format/FileUrl.h"
#include "tree/PathPattern.h"

#include <sys/stat.h>
#include <unordered_set>

namespace core {

namespace {

tree::MatchKind matchKindOf(const FolderUrl &url)
{
    return url.type == "File" ? tree::MatchKind::File : tree::MatchKind::Folder;
}

/// "~/" and the path below the home, or the path itself when it lies elsewhere.
std::string labelOf(const std::string &path, const std::string &homeDir)
{
    const std::string prefix = homeDir == "/" ? homeDir : homeDir + "/";
    return path.starts_with(prefix) ? "~/" + path.substr(prefix.size()) : path;
}

void addLocation(std::vector<ScanLocation> &out, const FolderUrl &written, const std::string &homeDir)
{
    if (!hasWildcard(written)) {
        out.push_back(ScanLocation{ written, std::string() });
        return;
    }
    const std::optional<tree::PathPattern> pattern = tree::PathPattern::fromFileUrl(written.url);
    if (!pattern) {
        return;
    }
    tree::ExpandOptions options;
    options.last = matchKindOf(written);
    options.markers = written.markers;
    options.confineTo = homeDir;
    for (const std::string &path : tree::expandPattern(*pattern, std::string(), options)) {
        FolderUrl match = written;
        match.url = format::fileUrlFromPath(path, options.last == tree::MatchKind::Folder);
        match.markers.clear();
        out.push_back(ScanLocation{ std::move(match), labelOf(path, homeDir) });
    }
}

struct IdHash
{
    std::size_t operator()(const tree::FileId &id) const noexcept
    {
        return std::hash<std::uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ULL ^ id.device);
    }
};

} // namespace

bool hasWildcard(const FolderUrl &url)
{
    return url.url.find('*') != std::string::npos;
}

bool hasWildcard(const Category &category)
{
    if (!category.url.url.empty()) {
        return hasWildcard(category.url);
    }
    for (const FolderUrl &url : category.urls) {
        if (hasWildcard(url)) {
            return true;
        }
    }
    return false;
}

std::vector<ScanLocation> scanLocations(
    const Category &category, const std::string &homeDir, const tree::FileIdSet *taken)
{
    std::vector<ScanLocation> all;
    if (!category.url.url.empty()) {
        addLocation(all, category.url, homeDir);
    } else {
        for (const FolderUrl &url : category.urls) {
            addLocation(all, url, homeDir);
        }
    }
    std::vector<ScanLocation> out;
    out.reserve(all.size());
    std::unordered_set<tree::FileId, IdHash> seen;
    for (ScanLocation &location : all) {
        const std::optional<std::string> path = format::pathFromFileUrl(location.url.url);
        tree::FileId id;
        if (path && tree::FileIdSet::identify(*path, true, id)
            && (!seen.insert(id).second || (!location.label.empty() && taken != nullptr && taken->contains(id)))) {
            continue; // reached before by another route, or listed by another category
        }
        out.push_back(std::move(location));
    }
    return out;
}

tree::FileIdSet placesOf(const std::vector<Category> &categories, const std::string &homeDir)
{
    tree::FileIdSet places;
    for (const Category &category : categories) {
        for (const ScanLocation &location : scanLocations(category, homeDir)) {
            tree::FileId id;
            const std::optional<std::string> path = format::pathFromFileUrl(location.url.url);
            if (path && tree::FileIdSet::identify(*path, true, id)) {
                places.insert(id);
            }
        }
    }
    return places;
}

std::vector<std::string> excludedPaths(const Category &category, const std::vector<ScanLocation> &locations)
{
    std::vector<std::string> paths;
    if (category.exclude.empty()) {
        return paths;
    }
    tree::ExpandOptions options;
    options.last = tree::MatchKind::Any;
    for (const ScanLocation &location : locations) {
        if (location.url.type == "File") {
            continue;
        }
        const std::optional<std::string> base = format::pathFromFileUrl(location.url.url);
        if (!base) {
            continue;
        }
        for (const std::string &excluded : category.exclude) {
            if (const std::optional<tree::PathPattern> pattern = tree::PathPattern::fromRelative(excluded)) {
                for (std::string &path : tree::expandPattern(*pattern, *base, options)) {
                    paths.push_back(std::move(path));
                }
            }
        }
    }
    return paths;
}

std::shared_ptr<const tree::KeptItems> keptWithExclusions(
    const Category &category, const std::string &homeDir, std::shared_ptr<const tree::KeptItems> kept)
{
    if (category.exclude.empty()) {
        return kept;
    }
    const std::vector<std::string> excluded = excludedPaths(category, scanLocations(category, homeDir));
    if (excluded.empty()) {
        return kept;
    }
    return tree::KeptItems::resolve(excluded, kept.get());
}

} // namespace core
