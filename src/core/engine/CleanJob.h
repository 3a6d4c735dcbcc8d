// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The three pieces ModuleInfo::cleanModule is made of, apart so that each
// can be tested alone: collecting the selection (main queue), the job that
// removes it (a background job), and applying what changed to the catalogue
// (main queue). Internal to the engine; front ends call cleanModule.

#include "engine/ModuleInfo.h"
#include "sysjunk/AdminProtocol.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace core::clean {

/// One selected item of a clean and where it sits.
struct CleanItem
{
    std::size_t category = 0;
    FolderInfoPtr item; // the record to remove
    FolderInfoPtr owner; // the file whose child it is; null for a file
};

/// What a clean will go through: the module's categories as they are when
/// the clean starts (sharing their records with the catalogue) and the
/// selected items, in order: a selected file whole, the selected children
/// of a partly selected file.
struct CleanPlan
{
    int moduleIndex = 0;
    std::vector<Category> categories;
    std::vector<CleanItem> items;
};

/// The plan for the current selection of module `moduleIndex`. Main queue.
[[nodiscard]] CleanPlan collectSelection(int moduleIndex);

/// What a clean changes in the catalogue for one item.
struct RecordChange
{
    CleanItem where;
    bool gone = false; // removed, moved away or already gone: the record is dropped
    std::int64_t left = 0; // otherwise: what is still there
    std::vector<FolderInfoPtr> goneChildren;
};

/// What the job tells as it goes (on the job's thread; cleanModule posts
/// each to the main queue). Any may be null.
struct CleanEvents
{
    std::function<void(const CleanItem &, const ModuleInfo::ItemReport &)> removed;
    std::function<void(const CleanItem &, const ModuleInfo::ItemReport &)> failed;
    std::function<void(std::size_t category, const Error &why)> skipped;
    std::function<void(const std::string &path, std::int64_t bytes)> progress;
    std::function<void(float fraction)> percent; // the module's running fraction
};

/// The helper's request word for a record of a system junk category: the
/// action its location calls for and the identifier its name gives, checked
/// as the helper checks it. nullopt when the record does not lie where that
/// kind of junk lies below `root` (services().sysRoot), or its name is not
/// one the helper takes.
[[nodiscard]] std::optional<sysjunk::AdminItem> adminItemFor(
    CategoryKind kind, const FolderInfo &record, const std::string &root);

/// Cleans the selected items of one system junk category through the
/// privileged helper (sysjunk::callAdmin), one request for all of them, and
/// reports each as the helper answered. In a dry run the helper is not
/// started: each item that makes a valid request would be removed. A record
/// the helper would not take, or one on the always-keep list (`kept`), fails
/// without being asked for.
void cleanSystemItems(const Category &category,
    const std::vector<CleanItem> &items,
    const ModuleInfo::CleanOptions &options,
    const tree::KeptItems *kept,
    const CleanEvents &events,
    std::vector<RecordChange> &changes);

/// The background half of a clean: for each category in turn decides
/// whether it is cleaned (selected, not review only, no program of it
/// running), removes each of its selected items through tree::removeBelow
/// with the request the options call for, keeps ".trashinfo" records for
/// last, and returns what changed. Reads the always-keep list when it
/// starts; nothing is removed when it cannot be read or has a line that
/// cannot be used.
class CleanJob
{
public:
    CleanJob(CleanPlan plan, ModuleInfo::CleanOptions options);

    /// Runs the clean on the calling thread.
    [[nodiscard]] std::vector<RecordChange> run(const CleanEvents &events);

private:
    void handle(const CleanItem &where, const CleanEvents &events, std::vector<RecordChange> &changes);
    /// The request for an item of category `index`.
    [[nodiscard]] tree::RemovalRequest requestFor(std::size_t index) const;
    /// The folders a tagged cache must never be (PersonalFolders.h), read on first use.
    [[nodiscard]] const tree::FileIdSet &personalFolders();

    CleanPlan m_plan;
    ModuleInfo::CleanOptions m_options;
    tree::RemovalRequest m_base; // shared by every item
    std::optional<Error> m_unreadableKeepList;
    std::unordered_set<std::string> m_goingInDryRun; // what earlier items of a dry run would remove
    std::optional<tree::FileIdSet> m_personal;
    /// Per category: the kept items with what it excludes, resolved when its turn comes; null: m_base.kept.
    std::vector<std::shared_ptr<const tree::KeptItems>> m_keptByCategory;
};

/// The file URLs of items that went, looked up by views into other URLs.
struct UrlHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view url) const noexcept { return std::hash<std::string_view>{}(url); }
};
using UrlSet = std::unordered_set<std::string, UrlHash, std::equal_to<>>;

/// applyChanges in steps: what the changes drop is worked out when this
/// is made (from the changes and their records alone, on any thread); then
/// on the main queue, step() looks at up to `records` records of the
/// module for the same files elsewhere and says whether it is done, and
/// finish() writes everything back at once (the catalogue is not changed
/// before, but for the sizes of records removed in part). The plan and the
/// changes must outlive it.
class ChangesApplied
{
public:
    ChangesApplied(const CleanPlan &plan, const std::vector<RecordChange> &changes);
    [[nodiscard]] bool step(std::size_t records);
    void finish();

private:
    std::vector<Category> &live() const;

    const CleanPlan &m_plan;
    const std::vector<RecordChange> &m_changes;
    std::map<std::size_t, std::unordered_set<const FolderInfo *>> m_goneFiles;
    std::map<FolderInfo *, std::unordered_set<const FolderInfo *>> m_goneChildren;
    UrlSet m_gonePaths; // without a trailing "/"
    bool m_started = false;
    std::size_t m_category = 0; // where the search for the same files goes on
    std::size_t m_file = 0;
};

/// Writes what a clean changed back into module `plan.moduleIndex` of the
/// catalogue: the records of items that went are dropped, and so is every
/// other record of the module whose file went with them (the same file in
/// another band, or inside a folder that went); records removed in part
/// keep what is left; sizes, positions and the selection states of every
/// category cleaned are recomputed from what is left (an emptied category
/// is no longer ticked). Main queue.
void applyChanges(const CleanPlan &plan, const std::vector<RecordChange> &changes);

} // namespace core::clean
