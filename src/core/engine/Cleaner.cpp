// Selection propagation and the cleaner.
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "tree/Removal.h"
#include "tree/Walker.h"

#include <algorithm>
#include <cerrno>

namespace core {

namespace {

/// Renumbers `findex` along the list and returns the sum of the sizes.
std::int64_t renumber(std::vector<FolderInfoPtr> &records)
{
    std::int64_t total = 0;
    for (std::size_t k = 0; k < records.size(); ++k) {
        records[k]->findex = static_cast<std::int64_t>(k);
        total += records[k]->size;
    }
    return total;
}

/// Drops the given records (by identity) from the list, keeping the order of the rest.
void removeRecords(std::vector<FolderInfoPtr> &records, const std::vector<FolderInfoPtr> &gone)
{
    std::erase_if(records, [&gone](const FolderInfoPtr &record) {
        return std::find(gone.begin(), gone.end(), record) != gone.end();
    });
}

/// Checks that the item at the record's path is still what the scan saw (a
/// folder that became a link, or a file that became a folder, is not touched)
/// and, in a dry run, that it could be removed. Then, unless dry, removes it.
Status removeRecord(const FolderInfo &record, bool dryRun)
{
    const auto path = format::pathFromFileUrl(record.url);
    if (!path) {
        return Error{ EINVAL, record.url, "not a valid file URL" };
    }
    const tree::WalkItem now = tree::statItem(*path);
    if (!now.statOk) {
        return Error::fromErrno(ENOENT, *path);
    }
    const bool wasLink = record.icon.kind == IconRef::Kind::Symlink;
    if (now.isDir != record.isFolder || now.isSymlink != wasLink) {
        return Error{ 0, *path, "changed since the scan; not deleted" };
    }
    if (!dryRun) {
        return FolderInfo::tryDeleteFile(record.url);
    }
    if (tree::isProtectedPath(*path, platform::services().user.homeDir)) {
        return Error{ EPERM, *path, "protected location" };
    }
    if (!tree::isDeletable(*path)) {
        return Error{ EACCES, *path, "not deletable" };
    }
    return Ok{};
}

std::string displayPath(const FolderInfo &record)
{
    return format::pathFromFileUrl(record.url).value_or(record.url);
}

} // namespace

int ModuleInfo::calculateParentState(const std::vector<FolderInfoPtr> &files)
{
    if (files.empty()) {
        return 0;
    }
    std::int64_t sum = 0;
    for (const auto &file : files) {
        if (file->checked == -1) {
            sum = -1;
            break;
        }
        sum += file->checked;
    }
    if (sum == 0) {
        return 0;
    }
    return sum == static_cast<std::int64_t>(files.size()) ? 1 : -1;
}

void ModuleInfo::updateState(
    int state, int moduleIndex, int categoryIndex, std::optional<int> fileIndex, std::optional<int> childrenIndex)
{
    Category &category =
        modules().at(static_cast<std::size_t>(moduleIndex)).categories.at(static_cast<std::size_t>(categoryIndex));
    if (!fileIndex) {
        category.state = state;
        return;
    }
    if (*fileIndex == -1) {
        for (const auto &file : category.files) {
            file->checked = state;
            if (childrenIndex == -1) {
                for (const auto &child : file->children) {
                    child->checked = state;
                }
            }
        }
    } else {
        FolderInfo &file = *category.files.at(static_cast<std::size_t>(*fileIndex));
        if (!childrenIndex) {
            file.checked = state;
        } else if (*childrenIndex == -1) {
            for (const auto &child : file.children) {
                child->checked = state;
            }
            if (!file.children.empty()) {
                file.checked = calculateParentState(file.children);
            }
        } else {
            file.children.at(static_cast<std::size_t>(*childrenIndex))->checked = state;
            file.checked = calculateParentState(file.children);
        }
    }
    category.state = calculateParentState(category.files);
}

void ModuleInfo::cleanModule(int moduleIndex, Progress progress, ShowPercent showPercent, Done done)
{
    cleanModule(moduleIndex, std::move(progress), std::move(showPercent), std::move(done), CleanOptions{});
}

void ModuleInfo::cleanModule(
    int moduleIndex, Progress progress, ShowPercent showPercent, Done done, CleanOptions options)
{
    platform::Dispatcher *dispatch = platform::services().dispatch;
    // The records are shared with the catalogue; the job only reads them, and
    // every change to them is posted back to the main queue.
    std::vector<Category> categories = modules().at(static_cast<std::size_t>(moduleIndex)).categories;

    dispatch->async([dispatch,
                        moduleIndex,
                        categories = std::move(categories),
                        progress = std::move(progress),
                        showPercent = std::move(showPercent),
                        done = std::move(done),
                        options = std::move(options)] {
        const bool dryRun = options.dryRun;
        auto deleteOne = [&](const FolderInfoPtr &record) {
            Status outcome = removeRecord(*record, dryRun);
            if (outcome) {
                postProgress(progress, displayPath(*record), record->size);
                if (options.removed) {
                    dispatch->asyncMain([removed = options.removed, record] {
                        removed(*record);
                    });
                }
                return true;
            }
            if (options.failed) {
                dispatch->asyncMain([failed = options.failed, record, error = outcome.error()] {
                    failed(*record, error);
                });
            }
            return false;
        };

        const auto categoryCount = static_cast<float>(categories.size());
        for (std::size_t i = 0; i < categories.size(); ++i) {
            const Category &category = categories[i];
            if (category.type == "Localization") {
                platform::services().log->systemLog("Localization clean is not support in current version");
                continue;
            }
            if (category.state == 0) {
                continue;
            }
            const auto fileCount = static_cast<float>(category.files.size());
            std::vector<FolderInfoPtr> removedFiles;
            for (std::size_t j = 0; j < category.files.size(); ++j) {
                const FolderInfoPtr &file = category.files[j];
                if (file->checked == -1) {
                    std::vector<FolderInfoPtr> removedChildren;
                    for (const auto &child : file->children) {
                        if (child->checked == 1 && deleteOne(child)) {
                            removedChildren.push_back(child);
                        }
                    }
                    if (!dryRun) {
                        dispatch->asyncMain([file, removedChildren = std::move(removedChildren)] {
                            removeRecords(file->children, removedChildren);
                            file->size = renumber(file->children);
                        });
                    }
                } else if (file->checked == 1 && deleteOne(file)) {
                    removedFiles.push_back(file);
                }
                const float fraction = (static_cast<float>(i) + static_cast<float>(j + 1) / fileCount) / categoryCount;
                postShowPercent(showPercent, fraction);
            }
            if (!dryRun) {
                dispatch->asyncMain([moduleIndex, i, removedFiles = std::move(removedFiles)] {
                    auto &live = modules().at(static_cast<std::size_t>(moduleIndex)).categories;
                    if (i >= live.size()) {
                        return;
                    }
                    removeRecords(live[i].files, removedFiles);
                    live[i].size = renumber(live[i].files);
                });
            }
        }
        dispatch->asyncMain([done] {
            if (done) {
                done();
            }
        });
    });
}

} // namespace core
