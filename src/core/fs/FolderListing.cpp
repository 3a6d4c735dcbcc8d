// SPDX-License-Identifier: GPL-3.0-or-later
// Listing operations of FolderInfo: turning catalogue locations into records.
#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "fs/FolderUrl.h"
#include "fs/RecordArena.h"
#include "platform/Services.h"
#include "tree/DirectoryIo.h"
#include "tree/OrderedWalk.h"
#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <chrono>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

void postProgress(const Progress &progress, std::string path, std::int64_t size)
{
    if (progress) {
        platform::services().dispatch->asyncMain([progress, path = std::move(path), size] {
            progress(path, size);
        });
    }
}

void postShowPercent(const ShowPercent &showPercent, float fraction)
{
    if (showPercent) {
        platform::services().dispatch->asyncMain([showPercent, fraction] {
            showPercent(fraction);
        });
    }
}

namespace {

/// The progress reports of one walking thread, handed to the main queue a
/// batch at a time: every report still reaches `progress` on its own, in
/// the order it was made, but a few hundred cost one main-queue job and
/// two allocations instead of one job and three allocations each (a home
/// folder of a million files makes some 300 000 reports). A batch goes
/// when it is full or its first report has waited long enough for a person
/// to notice, and at the end of the walk.
class ReportBatch
{
public:
    void add(const Progress &progress, std::string_view path, std::int64_t size)
    {
        if (!progress) {
            return;
        }
        if (m_sizes.empty()) {
            m_since = std::chrono::steady_clock::now();
        }
        m_paths.append(path);
        m_ends.push_back(m_paths.size());
        m_sizes.push_back(size);
        if (m_sizes.size() >= MaxReports || std::chrono::steady_clock::now() - m_since >= MaxWait) {
            flush(progress);
        }
    }

    void flush(const Progress &progress)
    {
        if (m_sizes.empty()) {
            return;
        }
        platform::services().dispatch->asyncMain(
            [progress, paths = std::move(m_paths), ends = std::move(m_ends), sizes = std::move(m_sizes)] {
                std::string path;
                std::size_t begin = 0;
                for (std::size_t k = 0; k < sizes.size(); ++k) {
                    path.assign(paths, begin, ends[k] - begin);
                    progress(path, sizes[k]);
                    begin = ends[k];
                }
            });
        m_paths = {};
        m_ends = {};
        m_sizes = {};
    }

private:
    static constexpr std::size_t MaxReports = 256;
    static constexpr std::chrono::milliseconds MaxWait{ 20 };

    std::string m_paths;
    std::vector<std::size_t> m_ends;
    std::vector<std::int64_t> m_sizes;
    std::chrono::steady_clock::time_point m_since;
};

IconRef effectiveIcon(const tree::WalkItem &item)
{
    if (item.isPackage) {
        return IconRef{ IconRef::Kind::Package, {} };
    }
    if (item.isDir) {
        return IconRef{ IconRef::Kind::Folder, {} };
    }
    if (item.isSymlink) {
        return IconRef{ IconRef::Kind::Symlink, {} };
    }
    return IconRef{ IconRef::Kind::File, {} };
}

constexpr Rgba DefaultColor{ 0, 0, 0, 1 };
constexpr Rgba Black{ 0, 0, 0, 1 };

/// A record from an item's values; size, findex and children are the caller's.
FolderInfoPtr makeRecord(const tree::WalkItem &item,
    std::int64_t size,
    Rgba color,
    int checked,
    const std::shared_ptr<const tree::Anchor> &anchor)
{
    auto record = std::make_shared<FolderInfo>(0,
        item.name,
        effectiveIcon(item),
        size,
        color,
        item.isDir,
        item.mtime,
        format::fileUrlFromPath(item.path, item.isDir),
        item.isPackage,
        std::vector<FolderInfoPtr>{},
        item.isHidden,
        checked);
    record->setAnchor(anchor);
    return record;
}

std::shared_ptr<const tree::Anchor> anchorFor(const std::string &path)
{
    if (std::optional<tree::Anchor> anchor = tree::anchorAt(path)) {
        return std::make_shared<const tree::Anchor>(std::move(*anchor));
    }
    return nullptr;
}

/// The folder above `path` ("/" for a top-level item).
std::string parentFolder(const std::string &path)
{
    const std::string clean = tree::detail::stripTrailingSlashes(path);
    const std::size_t slash = clean.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : clean.substr(0, slash);
}

/// A folder's own measured total; 0 for anything that is not a directory when followed.
std::int64_t entryTreeSize(const tree::WalkItem &item)
{
    if (item.hasSize) {
        return item.size;
    }
    return tree::isDirectoryFollowing(item.path)
        ? tree::treeSize(item.path, tree::TreeSizeOptions{ .threads = 0, .kept = tree::keptItemsHere() })
        : 0;
}

} // namespace

FolderInfoPtr FolderInfo::folderInfo(const FolderUrl &folderURL, bool includeChildren, const Progress &progress)
{
    const auto path = format::pathFromFileUrl(folderURL.url);
    if (!path || !tree::existsFollowing(*path)) {
        return nullptr;
    }
    if (const tree::KeptItems *kept = tree::keptItemsHere(); kept != nullptr && kept->covers(*path)) {
        return nullptr; // on the always-keep list, or below a kept folder: as if it were not there
    }
    tree::WalkItem item = tree::statItem(*path);
    if (!item.statOk) {
        platform::services().log->standardOutput("Error in get attribute of file " + folderURL.url);
        return nullptr;
    }
    // A folder location that is a link (a cache kept on another disk) is
    // followed, as the start of a walk is: the record stands for the folder
    // it leads to, anchored there, and cleaning it empties that folder while
    // the link stays. A "File" location is taken as it is.
    const bool followed = item.isSymlink && folderURL.type != "File" && tree::isDirectoryFollowing(*path);
    std::shared_ptr<const tree::Anchor> foundIn;
    if (followed) {
        foundIn = anchorFor(*path);
        item.isSymlink = false;
        item.isDir = true;
        item.hasSize = false;
        item.size = 0;
    } else {
        foundIn = anchorFor(parentFolder(*path));
    }
    auto record = makeRecord(item, item.hasSize ? item.size : 0, DefaultColor, folderURL.checked, foundIn);
    if (includeChildren && item.isDir) {
        ChildrenInfo listed = childrenOfDirectory(folderURL, Progress{});
        record->children = std::move(listed.children);
        record->size = listed.totalSize;
    } else if (item.isDir) {
        // A folder found where a file was expected is measured as the folder it is.
        record->size = tree::treeSize(*path, tree::TreeSizeOptions{ .threads = 0, .kept = tree::keptItemsHere() });
    }
    postProgress(progress, *path, record->size);
    return record;
}

ChildrenInfo FolderInfo::childrenOfDirectory(const FolderUrl &folderURL, const Progress &progress)
{
    ChildrenInfo result;
    const auto path = format::pathFromFileUrl(folderURL.url);
    if (!path) {
        return result;
    }
    tree::WalkOptions options;
    options.kept = tree::keptItemsHere();
    options.skipSubdirectoryDescendants = true;
    options.skipPackageDescendants = true;
    tree::Walker walker(*path, options);
    if (!walker.opened()) {
        return result;
    }
    const std::shared_ptr<const tree::Anchor> foundIn = anchorFor(*path);
    while (const tree::WalkItem *item = walker.next()) {
        if (!item->statOk) {
            platform::services().log->standardOutput("Error reading file attributes");
            continue;
        }
        const std::int64_t size = entryTreeSize(*item);
        result.totalSize += size;
        postProgress(progress, item->path, size);
        auto record = makeRecord(*item, size, DefaultColor, folderURL.checked, foundIn);
        record->findex = static_cast<std::int64_t>(result.children.size());
        result.children.push_back(std::move(record));
    }
    return result;
}

ChildrenInfo FolderInfo::folderInfoList(
    const std::vector<FolderUrl> &urls, const Progress &progress, const ShowPercent &showPercent)
{
    ChildrenInfo result;
    const float increment = urls.empty() ? 0.0F : 1.0F / static_cast<float>(urls.size());
    for (const FolderUrl &location : urls) {
        FolderInfoPtr record;
        if (location.type == "Folder" || location.type == "File") {
            record = folderInfo(location, location.type == "Folder", progress);
            if (record) {
                record->findex = static_cast<std::int64_t>(result.children.size());
                record->checked = location.checked;
                result.children.push_back(record);
            }
        } else if (location.type == "Children") {
            record = folderInfo(location, true, progress);
            if (record) {
                // The children stay shared with the location's record.
                for (const auto &child : record->children) {
                    child->findex = static_cast<std::int64_t>(result.children.size());
                    result.children.push_back(child);
                }
                record->checked = location.checked;
            }
        }
        if (record) {
            result.totalSize += record->size;
        }
        postShowPercent(showPercent, increment);
    }
    return result;
}

ChildrenInfo FolderInfo::filesFromDirWithFilter(const FolderUrl &folderURL,
    const Progress &progress,
    const ShowPercent &showPercent,
    const WalkFilter &filter,
    FilterThreading threading)
{
    ChildrenInfo result;
    const auto path = format::pathFromFileUrl(folderURL.url);
    if (!path) {
        return result;
    }

    const std::shared_ptr<const tree::Anchor> foundIn = anchorFor(*path);
    std::size_t topLevelCount = 1;
    {
        tree::WalkOptions shallow;
        shallow.kept = tree::keptItemsHere();
        shallow.skipSubdirectoryDescendants = true;
        shallow.skipPackageDescendants = true;
        shallow.skipHidden = true;
        shallow.wantStat = false;
        tree::Walker counter(*path, shallow);
        if (counter.opened()) {
            topLevelCount = 0;
            while (counter.next() != nullptr) {
                ++topLevelCount;
            }
        }
    }
    const float topLevelIncrement = topLevelCount == 0 ? 0.0F : 1.0F / static_cast<float>(topLevelCount);

    tree::OrderedWalkOptions options;

    options.kept = tree::keptItemsHere();
    options.skipPackageDescendants = true;
    options.skipHidden = true;
    options.threads = threading == FilterThreading::Concurrent ? tree::defaultWalkThreads() : 1;

    // What each walking thread gathers; the walk's tokens put the records back in order.
    struct Gathered
    {
        std::shared_ptr<detail::RecordPool> pool; // the records, in the order the thread made them
        std::int64_t total = 0;
        // Bytes measured but not yet reported: items deeper than four levels are
        // batched into the next shallow report so deep trees post few main-queue jobs.
        std::int64_t pending = 0;
        ReportBatch reports;
    };
    std::vector<Gathered> gathered(options.threads);
    // Each walking thread's pool holds a copy of the anchor of its own:
    // counting references to one shared copy from every thread would pass
    // its cache line back and forth between the cores.
    for (std::size_t worker = 0; worker < gathered.size(); ++worker) {
        gathered[worker].pool = std::make_shared<detail::RecordPool>(
            worker == 0 || !foundIn ? foundIn : std::make_shared<const tree::Anchor>(*foundIn));
    }
    const auto visit = [&](const tree::WalkItem &item, int level, std::size_t worker) {
        if (!item.statOk) {
            platform::services().log->standardOutput(
                "Error reading file attributes from " + format::fileUrlFromPath(item.path));
            return tree::VisitAnswer{ false, false };
        }
        if (level == 1) {
            postShowPercent(showPercent, topLevelIncrement);
        }
        const FilterType answer = filter ? filter(item) : FilterType::NoSkip;
        const bool record = answer == FilterType::SkipChildren || answer == FilterType::NoSkip;
        const bool descend = answer == FilterType::SkipSelf || answer == FilterType::NoSkip;
        if (record) {
            Gathered &mine = gathered[worker];
            const std::int64_t bytes = item.hasSize ? item.size : 0;
            mine.total += bytes;
            mine.pending += bytes;
            if (level <= 4) {
                mine.reports.add(progress, item.path, mine.pending);
                mine.pending = 0;
            }
            if (FolderInfo *made = mine.pool->make(item.path, item.name, item.isDir, level)) {
                made->size = bytes;
                made->date = item.mtime;
                made->checked = folderURL.checked;
                made->isFolder = item.isDir;
                made->isPackage = item.isPackage;
                made->hidden = item.isHidden;
                made->setIcon(effectiveIcon(item));
                made->setColor(Black);
            } else {
                // A path the pool cannot split into a folder and a name: the record keeps its own text.
                FolderInfo *whole = mine.pool->makeWhole(0,
                    item.name,
                    effectiveIcon(item),
                    bytes,
                    Black,
                    item.isDir,
                    item.mtime,
                    format::fileUrlFromPath(item.path, item.isDir),
                    item.isPackage,
                    std::vector<FolderInfoPtr>{},
                    item.isHidden,
                    folderURL.checked);
                whole->setAnchor(mine.pool->anchor());
            }
        }
        return tree::VisitAnswer{ record, descend };
    };
    const auto order = tree::walkInOrder(*path, options, visit);
    // Every report before the walk's last one (and before its records are handed over).
    for (Gathered &part : gathered) {
        part.reports.flush(progress);
    }
    if (!order) {
        return result;
    }

    result.children.reserve(order->size());
    std::int64_t pending = 0;
    for (const Gathered &part : gathered) {
        result.totalSize += part.total;
        pending += part.pending;
    }
    for (const tree::WalkToken &token : *order) {
        const Gathered &part = gathered[token.worker];
        FolderInfo *record = part.pool->at(token.index);
        record->findex = static_cast<std::int64_t>(result.children.size());
        result.children.push_back(detail::RecordPool::share(part.pool, record));
    }
    if (pending > 0) {
        postProgress(progress, std::string(), pending);
    }
    return result;
}

} // namespace core
