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
    , children(std::move(childrenValue))
    , checked(checkedValue)
    , isFolder(isFolderValue)
    , isPackage(isPackageValue)
    , hidden(hiddenValue)
    , m_name(std::move(nameValue))
    , m_url(std::move(urlValue))
    , m_icon(iconValue)
    , m_color(colorValue)
{
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

std::string FolderInfo::getUserHomeDirectory()
{
    std::string home = services().user.homeDir;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

} // namespace core
