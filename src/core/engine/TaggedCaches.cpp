// SPDX-License-Identifier: GPL-3.0-or-later
// The tagged caches scanner: folders marked with a CACHEDIR.TAG anywhere in the home.
#include "engine/ModuleInfo.h"
#include "engine/PersonalFolders.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "tree/DirectoryIo.h"
#include "tree/TaggedFolders.h"

#include <fcntl.h>
#include <unistd.h>

namespace core {

namespace {

/// The identities of `paths` (following links, as a scan opens a location),
/// and of every folder above each of them.
void identifyLocations(const std::vector<std::string> &paths, tree::FileIdSet &locations, tree::FileIdSet &above)
{
    for (const std::string &path : paths) {
        tree::FileId id;
        if (!tree::FileIdSet::identify(path, true, id)) {
            continue;
        }
        locations.insert(id);
        const tree::detail::UniqueFd folder(tree::detail::openFolderOf(path));
        if (folder.isValid()) {
            (void)tree::detail::forEachFolderUpward(folder.get(), [&above](tree::FileId folderId) {
                if (above.contains(folderId)) {
                    return true; // known up to "/" already
                }
                above.insert(folderId);
                return false;
            });
        }
    }
}

} // namespace

void ModuleInfo::scanTaggedCaches(Category &category,
    const Progress &progress,
    const ShowPercent &showPercent,
    const std::vector<std::string> &otherLocations)
{
    if (category.state == -1) {
        category.state = 0;
    }
    const int state = category.state;
    std::string root = FolderInfo::getUserHomeDirectory();
    if (!category.url.url.empty()) {
        category.url.checked = state;
        root = format::pathFromFileUrl(category.url.url).value_or(std::string());
    }

    tree::FileIdSet locations;
    tree::FileIdSet holdingLocations;
    identifyLocations(otherLocations, locations, holdingLocations);
    // The user's own folders are never offered, whoever tagged them (backup tools are told to skip
    // a tagged Downloads or VM folder the same way).
    const tree::FileIdSet personal = personalFolders(platform::services().user);
    tree::TagSearchOptions options;
    options.neverListed = &personal;
    options.kept = tree::keptItemsHere();
    options.skipped = &locations;
    options.holdingSkipped = &holdingLocations;
    options.owner = static_cast<std::uint32_t>(::geteuid());
    const std::vector<std::string> found =
        root.empty() ? std::vector<std::string>{} : tree::findTaggedFolders(root, options);
    postShowPercent(showPercent, 0.5F);

    category.files.clear();
    category.size = 0;
    const float increment = found.empty() ? 0.5F : 0.5F / static_cast<float>(found.size());
    for (const std::string &path : found) {
        FolderUrl location{ format::fileUrlFromPath(path, true), "Folder", state };
        if (FolderInfoPtr record = FolderInfo::folderInfo(location, true, progress)) {
            record->findex = static_cast<std::int64_t>(category.files.size());
            category.size += record->size;
            category.files.push_back(std::move(record));
        }
        postShowPercent(showPercent, increment);
    }
    if (found.empty()) {
        postShowPercent(showPercent, increment);
    }
}

} // namespace core
