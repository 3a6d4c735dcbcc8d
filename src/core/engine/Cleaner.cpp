// SPDX-License-Identifier: GPL-3.0-or-later
// Selection propagation and the cleaner.
#include "engine/CategoryLocations.h"
#include "engine/CleanJob.h"
#include "engine/KeepList.h"
#include "engine/ModuleInfo.h"
#include "engine/PersonalFolders.h"
#include "engine/RunningApps.h"
#include "engine/Selection.h"
#include "engine/TrashPairs.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "tree/DirectoryIo.h"
#include "tree/Removal.h"
#include "tree/TaggedFolders.h"
#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace core {

namespace {

/// Renumbers `findex` along the list and returns the sum of the sizes.
std::int64_t renumber(const std::vector<FolderInfoPtr> &records)
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

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string displayPath(const FolderInfo &record)
{
    return format::pathFromFileUrl(record.url()).value_or(record.url());
}

/// A ".trashinfo" record in a trash's "info" folder: it goes only after the
/// trashed item it describes.
bool isTrashRecord(const FolderInfo &record)
{
    const auto path = format::pathFromFileUrl(record.url());
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
    return record.icon().kind == IconRef::Kind::Symlink ? tree::ItemKind::Symlink : tree::ItemKind::Other;
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
    const auto decoded = format::pathFromFileUrl(record.url());
    if (!decoded) {
        tree::RemovalOutcome outcome;
        outcome.error = Error{ EINVAL, record.url(), "not a valid file URL" };
        outcome.refusal = tree::Refusal::Invalid;
        return outcome;
    }
    const std::string path = withoutTrailingSlashes(*decoded);
    if (!record.anchor()) {
        return FolderInfo::removeAt(path, request);
    }
    const std::optional<std::string> relative = relativeTo(path, record.anchor()->path);
    if (!relative) {
        tree::RemovalOutcome outcome;
        outcome.error = Error{ EINVAL, path, "not below the location it was found in; not deleted" };
        outcome.refusal = tree::Refusal::Invalid;
        return outcome;
    }
    return tree::removeBelow(*record.anchor(), *relative, request);
}

/// What is left of a record's item after a removal failed half-way: its
/// size measured again and the children that are gone.
void measureWhatIsLeft(const FolderInfo &record, clean::RecordChange &change)
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

ModuleInfo::ItemReport reportOf(const tree::RemovalOutcome &outcome)
{
    ModuleInfo::ItemReport report;
    report.freed = outcome.freed;
    report.held = outcome.held;
    report.alreadyGone = outcome.alreadyGone;
    report.trashed = outcome.trashed;
    report.trashedAs = outcome.trashedAs;
    report.refusal = outcome.refusal;
    report.error = outcome.error;
    return report;
}

using clean::UrlHash;
using clean::UrlSet;

/// `url` without a trailing "/" (a folder's URL ends in one).
std::string_view withoutTrailingSlash(std::string_view url)
{
    return url.size() > 1 && url.back() == '/' ? url.substr(0, url.size() - 1) : url;
}

/// Whether the record at `url` went: its own URL is one that went, or one of
/// the folders above it did. Compares URLs as they are (both are written by
/// the same encoder), so it costs one lookup per level and allocates nothing.
bool isBelowAny(std::string_view url, const UrlSet &gone)
{
    const std::string_view path = withoutTrailingSlash(url);
    if (gone.contains(path)) {
        return true;
    }
    constexpr std::size_t SchemeLength = 7; // "file://"
    for (std::size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > SchemeLength;
         slash = path.rfind('/', slash - 1)) {
        if (gone.contains(path.substr(0, slash))) {
            return true;
        }
    }
    return false;
}

/// Why the tagged folder at `path`, found by an earlier scan, is not to be
/// emptied now (a stale or forged result); nullopt when it may be. A folder
/// that is gone is left to the removal, which says so.
std::optional<std::string> notATaggedCache(const std::string &path, const tree::FileIdSet &personal)
{
    const tree::detail::UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st
    {
    };
    if (!folder.isValid() || ::fstat(folder.get(), &st) != 0) {
        return std::nullopt;
    }
    if (personal.contains(tree::detail::idOf(st))) {
        return "one of your own folders, not a cache; left in place";
    }
    struct stat marker
    {
    };
    if (::fstatat(folder.get(), tree::VirtualEnvMarker.data(), &marker, AT_SYMLINK_NOFOLLOW) == 0) {
        return "a Python virtual environment, not a cache; left in place";
    }
    if (!tree::isCacheTag(folder.get(), tree::CacheTagName.data(), st.st_uid)) {
        return "no longer marked as a cache by its owner; left in place";
    }
    return std::nullopt;
}

} // namespace

namespace clean {

CleanPlan collectSelection(int moduleIndex)
{
    CleanPlan plan;
    plan.moduleIndex = moduleIndex;
    // The records are shared with the catalogue; the job only reads them, and
    // every change to them is posted back to the main queue. The selection is
    // the one of this moment: later changes on screen do not reach the job.
    plan.categories = ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex)).categories;
    for (std::size_t i = 0; i < plan.categories.size(); ++i) {
        for (const FolderInfoPtr &file : plan.categories[i].files) {
            if (file->checked == -1) {
                for (const FolderInfoPtr &child : file->children) {
                    if (child->checked == 1) {
                        plan.items.push_back(CleanItem{ i, child, file });
                    }
                }
            } else if (file->checked == 1) {
                plan.items.push_back(CleanItem{ i, file, nullptr });
            }
        }
    }
    return plan;
}

CleanJob::CleanJob(CleanPlan plan, ModuleInfo::CleanOptions options)
    : m_plan(std::move(plan))
    , m_options(std::move(options))
{
    const platform::UserContext &user = platform::services().user;
    m_base.dryRun = m_options.dryRun;
    m_base.homeDir = user.homeDir;
    m_base.protection = tree::Protection::forHome(user.homeDir);
    m_base.links = std::make_shared<tree::LinkLedger>();
    m_base.raceHook = m_options.raceHook;
    if (m_options.moveToTrash && allowsTrash(m_plan.moduleIndex)) {
        m_base.trash =
            std::make_shared<const tree::TrashPlace>(tree::TrashPlace::forHome(user.homeDir, user.dataFolder()));
    }
    // What the user keeps is read now, so that a path kept since the scan is safe too.
    // A line that cannot be used may have been meant to keep anything: nothing goes until it is mended.
    if (Result<KeepList::Resolved> kept = KeepList::resolve(); kept && !kept.value().unusable.empty()) {
        const std::vector<KeepList::Unusable> &unusable = kept.value().unusable;
        m_unreadableKeepList = Error{ EINVAL,
            KeepList::filePath(),
            "the always-keep list has " + std::to_string(unusable.size()) + (unusable.size() == 1 ? " line" : " lines")
                + " that cannot be used (" + unusable.front().describe() + "); nothing deleted" };
    } else if (kept) {
        m_base.kept = std::move(kept.value().kept);
    } else {
        m_unreadableKeepList = Error{ kept.error().code,
            kept.error().path,
            "the always-keep list cannot be read (" + kept.error().message + "); nothing deleted" };
    }
    // In a dry run nothing goes, so what an earlier item would remove is remembered.
    m_base.trashedItemGoing = [this](const std::string &path) {
        return m_goingInDryRun.contains(path);
    };
}

const tree::FileIdSet &CleanJob::personalFolders()
{
    if (!m_personal) {
        m_personal = core::personalFolders(platform::services().user);
    }
    return *m_personal;
}

tree::RemovalRequest CleanJob::requestFor(std::size_t index) const
{
    const Category &category = m_plan.categories[index];
    tree::RemovalRequest request = m_base;
    if (index < m_keptByCategory.size() && m_keptByCategory[index]) {
        request.kept = m_keptByCategory[index];
    }
    if (category.kind == CategoryKind::TaggedCaches) {
        // Emptied, not removed: the folder stays marked for backup tools and the next scan.
        request.keepEntries = { std::string(tree::CacheTagName) };
    }
    // Caches some tools make read-only (Go's module cache) are emptied as the
    // tools themselves do; the user's own files (large and old) are never changed.
    request.makeOwnFoldersWritable = !allowsTrash(m_plan.moduleIndex);
    return request;
}

void CleanJob::handle(const CleanItem &where, const CleanEvents &events, std::vector<RecordChange> &changes)
{
    const FolderInfoPtr &record = where.item;
    const Category &category = m_plan.categories[where.category];
    tree::RemovalOutcome outcome;
    const bool dryRun = m_options.dryRun;
    const std::string path = withoutTrailingSlashes(displayPath(*record));
    if (dryRun && m_goingInDryRun.contains(path)) {
        outcome.alreadyGone = true; // listed twice (a file in two bands): counted once
    } else if (m_unreadableKeepList) {
        outcome.error = m_unreadableKeepList;
        outcome.refusal = tree::Refusal::Kept;
    } else if (isSystemKind(category.kind)) {
        // Never removed in process, whoever runs it: only the privileged helper takes system junk.
        outcome.error =
            Error{ EPERM, displayPath(*record), "system junk is removed by spruce-admin only; not deleted" };
        outcome.refusal = tree::Refusal::Invalid;
    } else if (category.kind == CategoryKind::TaggedCaches && where.owner && record->name() == tree::CacheTagName) {
        outcome.error = Error{ 0, displayPath(*record), "marks the folder as a cache; left in place" };
        outcome.refusal = tree::Refusal::Kept;
    } else if (const std::optional<std::string> why = category.kind == CategoryKind::TaggedCaches
            ? notATaggedCache(
                withoutTrailingSlashes(displayPath(where.owner ? *where.owner : *record)), personalFolders())
            : std::nullopt) {
        outcome.error = Error{ EPERM, path, *why };
        outcome.refusal = tree::Refusal::Protected;
    } else {
        outcome = removeRecord(*record, requestFor(where.category));
    }
    ModuleInfo::ItemReport report = reportOf(outcome);
    if (outcome.ok()) {
        if (dryRun && !outcome.alreadyGone) {
            m_goingInDryRun.insert(path);
        }
        // A trashed item's record goes with it (or, in the trash's own
        // category, once the item is gone).
        if (!report.trashed && (!report.alreadyGone || !dryRun)) {
            if (const auto info = trashRecordOf(*record)) {
                const tree::RemovalOutcome recordOutcome =
                    tree::removeBelow(info->first, info->second, requestFor(where.category));
                report.freed += recordOutcome.freed;
            }
        }
        if (events.progress) {
            events.progress(displayPath(*record), report.freed);
        }
        if (events.removed) {
            events.removed(where, report);
        }
        // An item emptied but kept (a tagged cache) stays listed with what is left.
        const bool emptiedOnly = category.kind == CategoryKind::TaggedCaches && !where.owner && record->isFolder;
        RecordChange change{ where, !emptiedOnly, 0, {} };
        if (emptiedOnly && !dryRun) {
            measureWhatIsLeft(*record, change);
        }
        changes.push_back(std::move(change));
        return;
    }
    RecordChange change{ where, false, record->size, {} };
    if (outcome.freed > 0 && !dryRun) {
        if (events.progress) {
            events.progress(displayPath(*record), outcome.freed);
        }
        measureWhatIsLeft(*record, change);
        changes.push_back(change);
    }
    report.left = change.left;
    if (events.failed) {
        events.failed(where, report);
    }
}

std::vector<RecordChange> CleanJob::run(const CleanEvents &events)
{
    std::vector<RecordChange> changes;
    std::vector<CleanItem> trashRecords;
    std::size_t next = 0;
    const auto categoryCount = static_cast<float>(m_plan.categories.size());
    for (std::size_t i = 0; i < m_plan.categories.size(); ++i) {
        const Category &category = m_plan.categories[i];
        const std::size_t begin = next;
        while (next < m_plan.items.size() && m_plan.items[next].category == i) {
            ++next;
        }
        const bool hasSelection = next > begin;
        bool skipped = isReviewOnly(category) || category.state == 0;
        if (isReviewOnly(category) && category.state != 0 && hasSelection) {
            platform::services().log->systemLog("Localization clean is not support in current version");
        }
        if (!skipped && hasSelection && !category.runningApps.empty()) {
            // Asked when the category's turn comes: a program started meanwhile counts too.
            if (const std::optional<std::string> app =
                    firstRunning(category.runningApps, homeOwner(platform::services().user.homeDir))) {
                skipped = true;
                if (events.skipped) {
                    events.skipped(i, Error{ EBUSY, std::string(), *app + " is running" });
                }
            }
        }
        if (skipped) {
            continue;
        }
        if (hasSelection && !category.exclude.empty() && !m_unreadableKeepList) {
            // What the category excludes is judged now, whatever the scan listed: it stays like a kept item.
            m_keptByCategory.resize(m_plan.categories.size());
            m_keptByCategory[i] = keptWithExclusions(category, platform::services().user.homeDir, m_base.kept);
        }
        if (isSystemKind(category.kind)) {
            // Never removed in process: one request to the privileged helper for the category.
            if (m_unreadableKeepList) {
                for (std::size_t k = begin; k < next; ++k) {
                    handle(m_plan.items[k], events, changes);
                }
            } else {
                cleanSystemItems(category,
                    std::vector<CleanItem>(m_plan.items.begin() + static_cast<std::ptrdiff_t>(begin),
                        m_plan.items.begin() + static_cast<std::ptrdiff_t>(next)),
                    m_options,
                    m_base.kept.get(),
                    events,
                    changes);
            }
            if (events.percent) {
                events.percent(static_cast<float>(i + 1) / categoryCount);
            }
            continue;
        }
        // Items come in the order of their files; the fraction moves on after each file.
        const auto fileCount = static_cast<float>(category.files.size());
        std::size_t k = begin;
        for (std::size_t j = 0; j < category.files.size(); ++j) {
            const FolderInfo *file = category.files[j].get();
            for (;
                 k < next && (m_plan.items[k].owner ? m_plan.items[k].owner.get() : m_plan.items[k].item.get()) == file;
                 ++k) {
                const CleanItem &where = m_plan.items[k];
                if (isTrashRecord(*where.item)) {
                    trashRecords.push_back(where);
                } else {
                    handle(where, events, changes);
                }
            }
            if (events.percent) {
                events.percent((static_cast<float>(i) + static_cast<float>(j + 1) / fileCount) / categoryCount);
            }
        }
    }
    // Trash records go last, so a record whose item went (in this clean or before) goes too.
    for (const CleanItem &where : trashRecords) {
        handle(where, events, changes);
    }
    return changes;
}

ChangesApplied::ChangesApplied(const CleanPlan &plan, const std::vector<RecordChange> &changes)
    : m_plan(plan)
    , m_changes(changes)
{
    // Read off the changes and their records' URLs only (never the live
    // catalogue), so that the clean's own thread may do it.
    for (const RecordChange &change : changes) {
        const CleanItem &where = change.where;
        if (!change.gone) {
            for (const FolderInfoPtr &child : change.goneChildren) {
                m_gonePaths.emplace(withoutTrailingSlash(child->url()));
            }
        } else {
            m_gonePaths.emplace(withoutTrailingSlash(where.item->url()));
        }
        if (where.owner) {
            if (change.gone) {
                m_goneChildren[where.owner.get()].insert(where.item.get());
            }
        } else if (change.gone) {
            m_goneFiles[where.category].insert(where.item.get());
        }
    }
}

std::vector<Category> &ChangesApplied::live() const
{
    return ModuleInfo::modules().at(static_cast<std::size_t>(m_plan.moduleIndex)).categories;
}

bool ChangesApplied::step(std::size_t records)
{
    auto &live = this->live();
    if (!m_started) {
        m_started = true;
        // Records removed in part keep what is left.
        for (const RecordChange &change : m_changes) {
            if (!change.gone) {
                change.where.item->size = change.left;
                std::unordered_set<const FolderInfo *> gone;
                for (const FolderInfoPtr &child : change.goneChildren) {
                    gone.insert(child.get());
                }
                removeRecords(change.where.item->children.edit(), gone);
                (void)renumber(change.where.item->children);
            }
        }
        std::erase_if(m_goneFiles, [&live](const auto &entry) {
            return entry.first >= live.size();
        });
    }
    // The same file listed elsewhere in the module (another band), or inside
    // a folder that went, is gone too.
    std::string url; // one buffer for every record's URL
    std::size_t seen = 0;
    while (!m_gonePaths.empty() && m_category < live.size()) {
        const std::vector<FolderInfoPtr> &files = live[m_category].files;
        if (m_file >= files.size()) {
            ++m_category;
            m_file = 0;
            continue;
        }
        if (seen >= records) {
            return false;
        }
        const FolderInfoPtr &file = files[m_file++];
        ++seen;
        file->urlInto(url);
        if (isBelowAny(url, m_gonePaths)) {
            m_goneFiles[m_category].insert(file.get());
            continue;
        }
        for (const FolderInfoPtr &child : file->children) {
            ++seen;
            child->urlInto(url);
            if (isBelowAny(url, m_gonePaths)) {
                m_goneChildren[file.get()].insert(child.get());
            }
        }
    }
    return true;
}

void ChangesApplied::finish()
{
    auto &live = this->live();
    std::vector<bool> touched(live.size(), false);
    for (auto &[owner, gone] : m_goneChildren) {
        removeRecords(owner->children.edit(), gone);
    }
    for (std::size_t i = 0; i < live.size(); ++i) {
        for (const FolderInfoPtr &file : live[i].files) {
            if (m_goneChildren.contains(file.get())) {
                // A file's size is its children's once they changed.
                file->size = renumber(file->children);
                if (!file->children.empty() && file->checked != 0) {
                    file->checked = ModuleInfo::calculateParentState(file->children);
                }
                touched[i] = true;
            }
        }
    }
    for (const auto &[category, gone] : m_goneFiles) {
        if (category < live.size()) {
            removeRecords(live[category].files, gone);
            touched[category] = true;
        }
    }
    for (const RecordChange &change : m_changes) {
        if (change.where.category < touched.size()) {
            touched[change.where.category] = true;
        }
    }
    for (std::size_t i = 0; i < live.size(); ++i) {
        if (touched[i]) {
            live[i].size = renumber(live[i].files);
            live[i].state = ModuleInfo::calculateParentState(live[i].files);
        }
    }
}

void applyChanges(const CleanPlan &plan, const std::vector<RecordChange> &changes)
{
    ChangesApplied applied(plan, changes);
    while (!applied.step(std::numeric_limits<std::size_t>::max())) { }
    applied.finish();
}

} // namespace clean

SelectionSummary summariseSelection(const Module &module)
{
    // The same file listed twice (in two bands) is counted once. Records are
    // grouped by a hash of their URL's last component, which costs no URL;
    // URLs are made only inside a group of more than one, so a selection of
    // hundreds of thousands of files with different names makes none.
    struct Picked
    {
        std::size_t tail;
        std::size_t order; // the first of a file's records is the one counted
        const FolderInfo *record;
    };
    std::vector<Picked> picked;
    std::string scratch;
    SelectionSummary summary;
    auto add = [&](const FolderInfo &record) {
        if (record.isOnlyListing()) {
            ++summary.items;
            summary.bytes += record.size;
            return;
        }
        picked.push_back(Picked{ record.urlTailHash(scratch), picked.size(), &record });
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
    std::sort(picked.begin(), picked.end(), [](const Picked &a, const Picked &b) {
        return a.tail != b.tail ? a.tail < b.tail : a.order < b.order;
    });
    std::unordered_set<std::string> urls; // of one group
    for (std::size_t begin = 0; begin < picked.size();) {
        std::size_t end = begin + 1;
        while (end < picked.size() && picked[end].tail == picked[begin].tail) {
            ++end;
        }
        urls.clear();
        for (std::size_t k = begin; k < end; ++k) {
            if (end - begin == 1 || urls.insert(picked[k].record->url()).second) {
                ++summary.items;
                summary.bytes += picked[k].record->size;
            }
        }
        begin = end;
    }
    return summary;
}

std::optional<std::string> ModuleInfo::runningApp(const Category &category)
{
    return firstRunning(category.runningApps, homeOwner(platform::services().user.homeDir));
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

namespace {

/// Gives every other record of the module that stands for the same file as
/// one of `changed` (the same path in another band) the same tick, and
/// recomputes the states of the categories that changed: one file, one choice.
void tickTwins(std::vector<Category> &categories, std::size_t source, const std::vector<const FolderInfo *> &changed)
{
    if (changed.empty() || categories.size() < 2) {
        return;
    }
    // Twins share their URL's last component: only records elsewhere whose
    // last component hashes as a changed record's does are candidates, and
    // URLs are made for those alone (ticking a band of hundreds of thousands
    // of files makes no URL for the others).
    std::string scratch;
    // A record its scan knows to be its file's only one has no twin.
    std::vector<const FolderInfo *> listedTwice;
    std::vector<std::size_t> changedTails;
    for (const FolderInfo *record : changed) {
        if (!record->isOnlyListing()) {
            listedTwice.push_back(record);
            changedTails.push_back(record->urlTailHash(scratch));
        }
    }
    if (listedTwice.empty()) {
        return;
    }
    const auto sortedUnique = [](std::vector<std::size_t> values) {
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        return values;
    };
    const std::vector<std::size_t> tails = sortedUnique(changedTails);
    std::vector<std::pair<std::size_t, FolderInfo *>> candidates;
    std::vector<std::size_t> candidateTails;
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (i == source) {
            continue;
        }
        for (const FolderInfoPtr &file : categories[i].files) {
            if (!file->children.empty() || file->isOnlyListing()) {
                continue;
            }
            const std::size_t tail = file->urlTailHash(scratch);
            if (std::binary_search(tails.begin(), tails.end(), tail)) {
                candidates.emplace_back(i, file.get());
                candidateTails.push_back(tail);
            }
        }
    }
    if (candidates.empty()) {
        return;
    }
    candidateTails = sortedUnique(std::move(candidateTails));
    std::unordered_map<std::string, int, UrlHash, std::equal_to<>> ticks;
    for (std::size_t k = 0; k < listedTwice.size(); ++k) {
        if (std::binary_search(candidateTails.begin(), candidateTails.end(), changedTails[k])) {
            ticks.emplace(listedTwice[k]->url(), listedTwice[k]->checked);
        }
    }
    std::string url; // one buffer for every candidate's URL
    std::vector<bool> touched(categories.size(), false);
    for (const auto &[category, file] : candidates) {
        file->urlInto(url);
        const auto found = ticks.find(std::string_view(url));
        if (found != ticks.end() && file->checked != found->second) {
            file->checked = found->second;
            touched[category] = true;
        }
    }
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (touched[i]) {
            categories[i].state = ModuleInfo::calculateParentState(categories[i].files);
        }
    }
}

} // namespace

void ModuleInfo::updateState(
    int state, int moduleIndex, int categoryIndex, std::optional<int> fileIndex, std::optional<int> childrenIndex)
{
    std::vector<Category> &categories = modules().at(static_cast<std::size_t>(moduleIndex)).categories;
    Category &category = categories.at(static_cast<std::size_t>(categoryIndex));
    if (!fileIndex) {
        category.state = state;
        return;
    }
    std::vector<const FolderInfo *> changed; // plain files whose tick changed, for their twins
    if (*fileIndex == -1) {
        for (const auto &file : category.files) {
            file->checked = state;
            if (childrenIndex == -1) {
                for (const auto &child : file->children) {
                    child->checked = state;
                }
            }
            if (file->children.empty()) {
                changed.push_back(file.get());
            }
        }
    } else {
        FolderInfo &file = *category.files.at(static_cast<std::size_t>(*fileIndex));
        if (!childrenIndex) {
            file.checked = state;
            if (file.children.empty()) {
                changed.push_back(&file);
            }
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
    tickTwins(categories, static_cast<std::size_t>(categoryIndex), changed);
}

namespace {

/// Records of the catalogue looked at in one turn of the main queue while
/// a clean is written back: a few milliseconds' work.
constexpr std::size_t RecordsPerTurn = 8192;

/// What a clean's last turns on the main queue hold. Moved from turn to
/// turn, so that the main queue keeps no reference once they are done.
struct Writeback
{
    std::shared_ptr<clean::CleanPlan> plan;
    std::shared_ptr<const std::vector<clean::RecordChange>> changes;
    std::shared_ptr<clean::ChangesApplied> applied;
    Done done;
};

void applyInTurns(platform::Dispatcher *dispatch, Writeback writeback)
{
    if (!writeback.applied->step(RecordsPerTurn)) {
        dispatch->asyncMain([dispatch, writeback = std::move(writeback)]() mutable {
            applyInTurns(dispatch, std::move(writeback));
        });
        return;
    }
    writeback.applied->finish();
    if (writeback.done) {
        writeback.done();
    }
    writeback.done = nullptr; // the front end's callback ends where it began, on the main queue
    // The plan and the changes hold the last references to the records that
    // went: they are freed on another thread, not between two paints.
    dispatch->async([gone = std::make_shared<Writeback>(std::move(writeback))] {});
}

} // namespace

void ModuleInfo::cleanModule(int moduleIndex, Progress progress, ShowPercent showPercent, Done done)
{
    cleanModule(moduleIndex, std::move(progress), std::move(showPercent), std::move(done), CleanOptions{});
}

void ModuleInfo::cleanModule(
    int moduleIndex, Progress progress, ShowPercent showPercent, Done done, CleanOptions options)
{
    platform::Dispatcher *dispatch = platform::services().dispatch;
    auto plan = std::make_shared<clean::CleanPlan>(clean::collectSelection(moduleIndex));
    dispatch->async([dispatch, plan, progress, showPercent, done, options = std::move(options)] {
        clean::CleanEvents events;
        events.progress = [&progress](const std::string &path, std::int64_t bytes) {
            postProgress(progress, path, bytes);
        };
        events.percent = [&showPercent](float fraction) {
            postShowPercent(showPercent, fraction);
        };
        auto post = [dispatch](const std::function<void(const FolderInfo &, const ItemReport &)> &callback) {
            return [dispatch, callback](const clean::CleanItem &where, const ItemReport &report) {
                if (callback) {
                    dispatch->asyncMain([callback, record = where.item, report] {
                        callback(*record, report);
                    });
                }
            };
        };
        events.removed = post(options.removed);
        events.failed = post(options.failed);
        events.skipped = [dispatch, &options](std::size_t category, const Error &why) {
            if (options.categorySkipped) {
                dispatch->asyncMain([skipped = options.categorySkipped, category, why] {
                    skipped(static_cast<int>(category), why);
                });
            }
        };
        const bool dryRun = options.dryRun;
        clean::CleanJob job(*plan, options);
        auto changes = std::make_shared<const std::vector<clean::RecordChange>>(job.run(events));
        if (dryRun) {
            dispatch->asyncMain([plan, changes, done] {
                if (done) {
                    done();
                }
            });
            return;
        }
        // Written back in short turns of the main queue (a clean of a big
        // category drops tens of thousands of records), the catalogue left as
        // it was until the last; what can be worked out here is.
        Writeback writeback{ plan, changes, std::make_shared<clean::ChangesApplied>(*plan, *changes), done };
        dispatch->asyncMain([dispatch, writeback = std::move(writeback)]() mutable {
            applyInTurns(dispatch, std::move(writeback));
        });
    });
}

} // namespace core
