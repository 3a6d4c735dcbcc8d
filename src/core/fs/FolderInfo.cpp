// FolderInfo: the record and its sizing operations. The
// deletion operations (deleteFile, tryDeleteFile) live in FolderDeletion.cpp.

#include "fs/FolderInfo.h"

#include "format/FileUrl.h"
#include "platform/Services.h"
#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <optional>
#include <string_view>
#include <utility>

namespace core {

using platform::services;

FolderInfo::FolderInfo(std::int64_t findexValue,
    std::string nameValue,
    IconRef iconValue,
    std::int64_t sizeValue,
    Rgba colorValue,
    bool isFolderValue,
    Timestamp dateValue,
    std::string urlValue,
    bool isPackageValue,
    std::vector<FolderInfoPtr> childrenValue,
    bool hiddenValue,
    int checkedValue)
    : findex(findexValue)
    , size(sizeValue)
    , date(dateValue)
    , name(std::move(nameValue))
    , url(std::move(urlValue))
    , icon(iconValue)
    , color(colorValue)
    , children(std::move(childrenValue))
    , checked(checkedValue)
    , isFolder(isFolderValue)
    , isPackage(isPackageValue)
    , hidden(hiddenValue)
{
}

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

std::int64_t FolderInfo::getFolderSize(const std::string &url)
{
    const std::optional<std::string> path = format::pathFromFileUrl(url);
    // The existence and is-directory check follows a link, as fileExistsAtPath:isDirectory: does.
    if (!path || !tree::isDirectoryFollowing(*path)) {
        return 0;
    }
    return tree::treeSize(*path, tree::TreeSizeOptions{ .threads = 0, .kept = tree::keptItemsHere() });
}

void FolderInfo::asyncGetFolderSize(const std::string &url, std::function<void(std::int64_t)> doneCalculating)
{
    // The dispatcher in force now serves both halves, even if a test swaps the services meanwhile.
    platform::Dispatcher *dispatch = services().dispatch;
    if (dispatch == nullptr) {
        // No queues installed (a program that never set up its services): answer inline.
        doneCalculating(getFolderSize(url));
        return;
    }
    dispatch->async([dispatch, url, done = std::move(doneCalculating)]() mutable {
        const std::int64_t total = getFolderSize(url);
        dispatch->asyncMain([total, done = std::move(done)] {
            done(total);
        });
    });
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

std::string FolderInfo::getUserHomeDirectory()
{
    std::string home = services().user.homeDir;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

} // namespace core
