// Selection propagation and the cleaner.
#include "engine/KeepList.h"
#include "engine/ModuleInfo.h"
#include "engine/RunningApps.h"
#include "engine/Selection.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "tree/Removal.h"
#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <unistd.h>
#include <unordered_set>
#include <utility>

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

/// Drops the given records (by identity) from the list, keeping the order
/// of the rest: one pass over the list, however many go (a clean may drop
/// tens of thousands of records from one list, on the main queue).
void removeRecords(std::vector<FolderInfoPtr> &records, const std::unordered_set<const FolderInfo *> &gone)
{
    if (gone.empty()) {
        return;
    }
    std::erase_if(records, [&gone](const FolderInfoPtr &record) {
        return gone.contains(record.get());
    });
}

/// A ".trashinfo" record in a trash's "info" folder: it goes only after the
/// trashed item it describes.
bool isTrashRecord(const FolderInfo &record)
{
    const auto path = format::pathFromFileUrl(record.url);
    if (!path || !path->ends_with(".trashinfo")) {
        return false;
    }
    const std::size_t slash = path->rfind('/');
    return slash != std::string::npos && std::string_view(*path).substr(0, slash).ends_with("/info");
}

tree::ItemKind expectedKind(const FolderInfo &record)
{
    if (record.isFolder) {
        return tree::ItemKind::Directory;
    }
    return record.icon.kind == IconRef::Kind::Symlink ? tree::ItemKind::Symlink : tree::ItemKind::Other;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

/// `path` relative to the anchor's folder ("" for the folder itself);
/// nullopt when it does not lie there.
std::optional<std::string> relativeTo(const std::string &path, const std::string &anchor)
{
    if (path == anchor) {
        return std::string();
    }
    const std::string prefix = anchor == "/" ? anchor : anchor + "/";
    if (!path.starts_with(prefix)) {
        return std::nullopt;
    }
    return path.substr(prefix.size());
}

/// Removes (or checks) the record's item, reached from where the scan found it.
tree::RemovalOutcome removeRecord(const FolderInfo &record, tree::RemovalRequest request)
{
    request.expected = expectedKind(record);
    const auto decoded = format::pathFromFileUrl(record.url);
    if (!decoded) {
        tree::RemovalOutcome outcome;
        outcome.error = Error{ EINVAL, record.url, "not a valid file URL" };
        return outcome;
    }
    const std::string path = withoutTrailingSlashes(*decoded);
    if (!record.anchor) {
        return FolderInfo::removeAt(path, request);
    }
    const std::optional<std::string> relative = relativeTo(path, record.anchor->path);
    if (!relative) {
        tree::RemovalOutcome outcome;
        outcome.error = Error{ EINVAL, path, "not below the location it was found in; not deleted" };
        outcome.refused = true;
        return outcome;
    }
    return tree::removeBelow(*record.anchor, *relative, request);
}

std::string displayPath(const FolderInfo &record)
{
    return format::pathFromFileUrl(record.url).value_or(record.url);
}

/// One selected item of a clean and where it sits.
struct CleanItem
{
    std::size_t category = 0;
    FolderInfoPtr item; // the record to remove
    FolderInfoPtr owner; // the file whose child it is; null for a file
};

/// What a clean changes in the catalogue for one item.
struct RecordChange
{
    CleanItem where;
    bool gone = false; // removed (or already gone): the record is dropped
    std::int64_t left = 0; // otherwise: what is still there
    std::vector<FolderInfoPtr> goneChildren;
};

/// What is left of a record's item after a removal failed half-way: its
/// size measured again and the children that are gone.
void measureWhatIsLeft(const FolderInfo &record, RecordChange &change)
{
    const std::string path = withoutTrailingSlashes(displayPath(record));
    const tree::WalkItem now = tree::statItem(path);
    change.left = now.isDir ? tree::treeSize(path) : (now.hasSize ? now.size : 0);
    for (const FolderInfoPtr &child : record.children) {
        if (!tree::statItem(withoutTrailingSlashes(displayPath(*child))).statOk) {
            change.goneChildren.push_back(child);
        }
    }
}

} // namespace

SelectionSummary summariseSelection(const Module &module)
{
    SelectionSummary summary;
    std::unordered_set<std::string_view> seen;
    auto add = [&](const FolderInfo &record) {
        if (seen.insert(record.url).second) {
            ++summary.items;
            summary.bytes += record.size;
        }
    };
    for (const Category &category : module.categories) {
        if (category.state == 0 || isReviewOnly(category)) {
            continue;
        }
        for (const FolderInfoPtr &file : category.files) {
            if (file->checked == 1) {
                add(*file);
            } else if (file->checked == -1) {
                for (const FolderInfoPtr &child : file->children) {
                    if (child->checked == 1) {
                        add(*child);
                    }
                }
            }
        }
    }
    return summary;
}

std::optional<std::string> ModuleInfo::runningApp(const Category &category)
{
    return firstRunning(category.runningApps, ::geteuid());
}

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
    // every change to them is posted back to the main queue. The selection is
    // the one of this moment: later changes on screen do not reach the job.
    std::vector<Category> categories = modules().at(static_cast<std::size_t>(moduleIndex)).categories;
    struct Selected
    {
        std::vector<CleanItem> items;
        std::vector<std::pair<std::size_t, std::size_t>> fileEnds; // (category, items up to here) per file
    };
    auto selected = std::make_shared<Selected>();
    for (std::size_t i = 0; i < categories.size(); ++i) {
        for (const FolderInfoPtr &file : categories[i].files) {
            if (file->checked == -1) {
                for (const FolderInfoPtr &child : file->children) {
                    if (child->checked == 1) {
                        selected->items.push_back(CleanItem{ i, child, file });
                    }
                }
            } else if (file->checked == 1) {
                selected->items.push_back(CleanItem{ i, file, nullptr });
            }
            selected->fileEnds.emplace_back(i, selected->items.size());
        }
    }

    dispatch->async([dispatch,
                        moduleIndex,
                        categories = std::move(categories),
                        selected,
                        progress = std::move(progress),
                        showPercent = std::move(showPercent),
                        done = std::move(done),
                        options = std::move(options)] {
        const bool dryRun = options.dryRun;
        tree::RemovalRequest request;
        request.dryRun = dryRun;
        request.homeDir = platform::services().user.homeDir;
        request.moveToTrash = options.moveToTrash && allowsTrash(moduleIndex);
        // What the user keeps is read now, so that a path kept since the scan is safe too.
        std::optional<Error> unreadableKeepList;
        if (Result<std::shared_ptr<const tree::KeptItems>> kept = KeepList::resolve()) {
            request.kept = std::move(kept.value());
        } else {
            unreadableKeepList = Error{ kept.error().code,
                kept.error().path,
                "the always-keep list cannot be read (" + kept.error().message + "); nothing deleted" };
        }
        // In a dry run nothing goes, so what an earlier item would remove is remembered.
        std::set<std::string> going;
        std::set<std::pair<std::uint64_t, std::uint64_t>> counted;
        request.trashedItemGoing = [&going](const std::string &path) {
            return going.contains(path);
        };

        std::vector<RecordChange> changes;
        auto handle = [&](const CleanItem &where) {
            const FolderInfoPtr &record = where.item;
            tree::RemovalOutcome outcome;
            if (unreadableKeepList) {
                outcome.error = unreadableKeepList;
                outcome.refused = true;
            } else {
                outcome = removeRecord(*record, request);
            }
            ItemReport report;
            report.freed = outcome.freed;
            report.alreadyGone = outcome.alreadyGone;
            report.trashed = outcome.trashed;
            if (outcome.ok()) {
                if (dryRun && !outcome.alreadyGone && !counted.emplace(outcome.device, outcome.inode).second) {
                    report.freed = 0;
                    report.alreadyGone = true; // listed twice: counted once
                }
                if (dryRun) {
                    going.insert(withoutTrailingSlashes(displayPath(*record)));
                }
                postProgress(progress, displayPath(*record), report.freed);
                if (options.removed) {
                    dispatch->asyncMain([removed = options.removed, record, report] {
                        removed(*record, report);
                    });
                }
                changes.push_back(RecordChange{ where, true, 0, {} });
                return;
            }
            report.error = outcome.error;
            RecordChange change{ where, false, record->size, {} };
            if (outcome.freed > 0 && !dryRun) {
                postProgress(progress, displayPath(*record), outcome.freed);
                measureWhatIsLeft(*record, change);
                changes.push_back(change);
            }
            report.left = change.left;
            if (options.failed) {
                dispatch->asyncMain([failed = options.failed, record, report] {
                    failed(*record, report);
                });
            }
        };

        std::vector<CleanItem> trashRecords;
        std::size_t next = 0;
        std::size_t fileEnd = 0;
        const auto categoryCount = static_cast<float>(categories.size());
        for (std::size_t i = 0; i < categories.size(); ++i) {
            const Category &category = categories[i];
            bool skipped = isReviewOnly(category) || category.state == 0;
            if (isReviewOnly(category)) {
                platform::services().log->systemLog("Localization clean is not support in current version");
            }
            const bool hasSelection =
                std::any_of(selected->items.begin(), selected->items.end(), [i](const CleanItem &item) {
                    return item.category == i;
                });
            if (!skipped && hasSelection && !category.runningApps.empty()) {
                // Asked when the category's turn comes: a program started meanwhile counts too.
                if (const std::optional<std::string> app = firstRunning(category.runningApps, ::geteuid())) {
                    skipped = true;
                    if (options.categorySkipped) {
                        dispatch->asyncMain([skippedCategory = options.categorySkipped, i, why = *app + " is running"] {
                            skippedCategory(static_cast<int>(i), Error{ EBUSY, std::string(), why });
                        });
                    }
                }
            }
            const auto fileCount = static_cast<float>(category.files.size());
            for (std::size_t j = 0; j < category.files.size(); ++j, ++fileEnd) {
                const std::size_t end = selected->fileEnds[fileEnd].second;
                for (; next < end; ++next) {
                    const CleanItem &where = selected->items[next];
                    if (skipped) {
                        continue;
                    }
                    if (isTrashRecord(*where.item)) {
                        trashRecords.push_back(where);
                    } else {
                        handle(where);
                    }
                }
                if (!skipped) {
                    const float fraction =
                        (static_cast<float>(i) + static_cast<float>(j + 1) / fileCount) / categoryCount;
                    postShowPercent(showPercent, fraction);
                }
            }
        }
        // Trash records go last, so a record whose item went (in this clean or before) goes too.
        for (const CleanItem &where : trashRecords) {
            handle(where);
        }

        if (!dryRun) {
            std::vector<bool> touched(categories.size(), false);
            for (std::size_t i = 0; i < categories.size(); ++i) {
                touched[i] = !isReviewOnly(categories[i]) && categories[i].state != 0;
            }
            dispatch->asyncMain([moduleIndex, touched, changes = std::move(changes), selected] {
                auto &live = modules().at(static_cast<std::size_t>(moduleIndex)).categories;
                // What goes, gathered per list, so that each list is rewritten once.
                std::map<std::size_t, std::unordered_set<const FolderInfo *>> goneFiles;
                std::map<FolderInfo *, std::unordered_set<const FolderInfo *>> goneChildren;
                for (const RecordChange &change : changes) {
                    const CleanItem &where = change.where;
                    if (!change.gone) {
                        change.where.item->size = change.left;
                        std::unordered_set<const FolderInfo *> gone;
                        for (const FolderInfoPtr &child : change.goneChildren) {
                            gone.insert(child.get());
                        }
                        removeRecords(where.item->children, gone);
                        (void)renumber(where.item->children);
                    }
                    if (where.owner) {
                        if (change.gone) {
                            goneChildren[where.owner.get()].insert(where.item.get());
                        }
                    } else if (change.gone && where.category < live.size()) {
                        goneFiles[where.category].insert(where.item.get());
                    }
                }
                for (auto &[owner, gone] : goneChildren) {
                    removeRecords(owner->children, gone);
                }
                for (const auto &[category, gone] : goneFiles) {
                    removeRecords(live[category].files, gone);
                }
                // A partly selected file's size is its children's, once they changed (once per file).
                std::unordered_set<const FolderInfo *> resized;
                for (const CleanItem &where : selected->items) {
                    if (where.owner && where.category < touched.size() && touched[where.category]
                        && resized.insert(where.owner.get()).second) {
                        where.owner->size = renumber(where.owner->children);
                    }
                }
                for (std::size_t i = 0; i < touched.size() && i < live.size(); ++i) {
                    if (touched[i]) {
                        live[i].size = renumber(live[i].files);
                    }
                }
            });
        }
        dispatch->asyncMain([done] {
            if (done) {
                done();
            }
        });
    });
}

} // namespace core
