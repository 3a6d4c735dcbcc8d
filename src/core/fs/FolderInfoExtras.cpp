// SPDX-License-Identifier: GPL-3.0-or-later
// FolderInfo operations defined for completeness: the record type offers
// them, but no front end calls them (the cleaner removes through removeAt and
// tree::removeBelow, sizes come from getFolderSize and the listings). Kept
// apart so the operations the program uses stay easy to read; one test each
// in FolderInfoExtrasTest.
#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "platform/Services.h"
#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <cerrno>
#include <optional>

namespace core {

using platform::services;

const std::vector<ResourceKey> &FolderInfo::keysToRead()
{
    // A function-local static: built once, safely under concurrent first use.
    static const std::vector<ResourceKey> keys = {
        ResourceKey::LocalizedName,
        ResourceKey::Path,
        ResourceKey::FileSize,
        ResourceKey::CustomIcon,
        ResourceKey::EffectiveIcon,
        ResourceKey::TypeIdentifier,
        ResourceKey::ContentModificationDate,
        ResourceKey::IsDirectory,
        ResourceKey::IsPackage,
        ResourceKey::IsHidden,
    };
    return keys;
}

std::map<std::string, std::int64_t> FolderInfo::getFolderUsageWithFilter(
    const std::string &url, const std::function<bool(const std::string &entryUrl)> &filter)
{
    std::map<std::string, std::int64_t> usage;
    const std::optional<std::string> path = format::pathFromFileUrl(url);
    if (!path) {
        return usage;
    }
    tree::WalkOptions options;
    options.kept = tree::keptItemsHere();
    options.skipHidden = true;
    options.skipPackageDescendants = true;
    options.skipSubdirectoryDescendants = true;
    options.wantStat = false;
    tree::Walker walker(*path, options);
    while (const tree::WalkItem *entry = walker.next()) {
        if (filter && filter(format::fileUrlFromPath(entry->path, entry->isDir))) {
            continue;
        }
        // "Exists and is a directory" follows links, and so does the measured
        // tree's root: a link to a folder is measured as that folder.
        if (tree::isDirectoryFollowing(entry->path)) {
            usage[entry->path] =
                tree::treeSize(entry->path, tree::TreeSizeOptions{ .threads = 0, .kept = tree::keptItemsHere() });
        }
    }
    return usage;
}

void FolderInfo::asyncGetFolderUsageWithFilter(const std::string &url,
    std::function<bool(const std::string &entryUrl)> filter,
    std::function<void(std::map<std::string, std::int64_t>)> doneCalculating)
{
    platform::Dispatcher *dispatch = services().dispatch;
    if (dispatch == nullptr) {
        doneCalculating(getFolderUsageWithFilter(url, filter));
        return;
    }
    dispatch->async([dispatch, url, filter = std::move(filter), done = std::move(doneCalculating)]() mutable {
        std::map<std::string, std::int64_t> usage = getFolderUsageWithFilter(url, filter);
        dispatch->asyncMain([usage = std::move(usage), done = std::move(done)]() mutable {
            done(std::move(usage));
        });
    });
}

std::int64_t FolderInfo::fastFolderSizeAtFSRef(const std::string &theFilePath)
{
    platform::LogSink *log = services().log;
    const auto diagnostic = [log](std::string_view line) {
        if (log != nullptr) {
            log->standardOutput(line);
        }
    };
    const bool exists = tree::existsFollowing(theFilePath);
    diagnostic(theFilePath);
    diagnostic(exists ? "true" : "false");
    if (!exists) {
        return 0;
    }
    // The shallow listing of names, hidden ones included (contentsOfDirectoryAtPath:).
    // A path that is not a listable folder lists nothing, so it adds 0.
    tree::WalkOptions options;
    options.kept = tree::keptItemsHere();
    options.skipSubdirectoryDescendants = true;
    options.wantStat = false;
    tree::Walker walker(theFilePath, options);
    std::int64_t total = 0;
    while (const tree::WalkItem *entry = walker.next()) {
        if (entry->name.find(".DS_Store") != std::string::npos) {
            continue;
        }
        // Plain concatenation, no escaping, as the diagnostic lines show it. Its path is
        // what a URL parser makes of it; when the string does not parse (a
        // name with "%" not followed by two hex digits), the joined path.
        const std::string childUrl = "file://" + theFilePath + "/" + entry->name;
        diagnostic(childUrl);
        const std::string childPath = format::pathFromFileUrl(childUrl).value_or(theFilePath + "/" + entry->name);
        if (!tree::existsFollowing(childPath)) {
            continue;
        }
        // The item's own values: a link to a folder is a small file here, never followed.
        const tree::WalkItem values = tree::statItem(childPath);
        if (!values.statOk) {
            continue;
        }
        if (values.isDir) {
            total += fastFolderSizeAtFSRef(childPath);
        } else if (values.hasSize) {
            total += values.size;
        }
    }
    return total;
}

Status FolderInfo::tryDeleteFile(const std::string &url)
{
    const std::optional<std::string> path = format::pathFromFileUrl(url);
    if (!path) {
        return Error{ EINVAL, url, "not a file URL" };
    }
    tree::RemovalRequest request;
    request.homeDir = platform::services().user.homeDir;
    tree::RemovalOutcome outcome = removeAt(*path, request);
    if (outcome.alreadyGone) {
        return Error::fromErrno(ENOENT, *path);
    }
    if (!outcome.error) {
        return Ok{};
    }
    if (outcome.refused()) {
        if (platform::LogSink *log = platform::services().log) {
            log->standardOutput(*path + "  is not deletable!");
        }
    }
    return *outcome.error;
}

bool FolderInfo::deleteFile(const std::string &url)
{
    return tryDeleteFile(url).has_value();
}

} // namespace core
