// SPDX-License-Identifier: GPL-3.0-or-later
// The scan driver: one background job per category, results written back on the main queue.
#include "engine/CategoryLocations.h"
#include "engine/KeepList.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "platform/WalkReport.h"
#include "tree/KeptItems.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace core {

namespace {

/// The always-keep list of one scan, read once by whichever job asks first,
/// so every category of the scan sees the same list.
class ScanKeep
{
public:
    const tree::KeptItems *kept()
    {
        std::call_once(m_once, [this] {
            Result<KeepList::Resolved> kept = KeepList::resolve();
            if (!kept) {
                tell("the always-keep list " + kept.error().path + " cannot be read (" + kept.error().message
                    + "); nothing is left out of the scan");
                return;
            }
            m_kept = std::move(kept.value().kept);
            for (const KeepList::Unusable &line : kept.value().unusable) {
                tell("the always-keep list " + KeepList::filePath() + ", " + line.describe());
            }
        });
        return m_kept.get();
    }

private:
    static void tell(const std::string &problem)
    {
        if (platform::WalkReport *report = platform::services().walkReport) {
            report->keepListProblem(problem);
        } else {
            platform::services().log->standardOutput(problem);
        }
    }

    std::once_flag m_once;
    std::shared_ptr<const tree::KeptItems> m_kept;
};

/// Every location of the catalogue's categories but those found by their
/// tags: where the tagged caches' search must not count anything again.
std::vector<Category> categoriesWithLocations(const std::vector<Module> &modules)
{
    std::vector<Category> out;
    for (const Module &module : modules) {
        for (const Category &category : module.categories) {
            if (category.kind != CategoryKind::TaggedCaches) {
                Category locations;
                locations.url = category.url;
                locations.urls = category.urls;
                out.push_back(std::move(locations));
            }
        }
    }
    return out;
}

/// Every location of `categories` as the file system stands now (patterns
/// expanded): where the tagged caches' search must not count anything again.
std::vector<std::string> catalogueLocations(const std::vector<Category> &categories)
{
    const std::string &home = platform::services().user.homeDir;
    std::vector<std::string> paths;
    for (const Category &category : categories) {
        for (const ScanLocation &location : scanLocations(category, home)) {
            if (auto path = format::pathFromFileUrl(location.url.url)) {
                paths.push_back(std::move(*path));
            }
        }
    }
    return paths;
}

} // namespace

void ModuleInfo::scan(int moduleIndex, Progress progress, ShowPercent showPercent, Done done)
{
    platform::Dispatcher *dispatch = platform::services().dispatch;
    std::vector<Category> categories = modules().at(static_cast<std::size_t>(moduleIndex)).categories;
    // The module's running fraction, only ever touched by main-queue callbacks.
    auto accumulated = std::make_shared<float>(0.0F);
    auto keep = std::make_shared<ScanKeep>();

    if (moduleIndex == LargeAndOldFileModule) {
        dispatch->async([dispatch, categories = std::move(categories), progress, showPercent, done, accumulated, keep] {
            const tree::KeepScope keepScope(keep->kept());
            // The scanner's increments cover the whole module, so they are added undivided.
            ShowPercent moduleShare = [showPercent, accumulated](float increment) {
                *accumulated += increment;
                if (showPercent) {
                    showPercent(*accumulated);
                }
            };
            std::vector<Category> result = scanLargeAndOldFile(categories, progress, moduleShare);
            dispatch->asyncMain([result = std::move(result), done]() mutable {
                modules().at(LargeAndOldFileModule).categories = std::move(result);
                if (done) {
                    done();
                }
            });
        });
        return;
    }

    const std::size_t count = categories.size();
    if (count == 0) {
        // Nothing to scan: the module is finished at once (still on the main queue).
        dispatch->asyncMain([done] {
            if (done) {
                done();
            }
        });
        return;
    }

    auto finished = std::make_shared<std::size_t>(0);
    // Read here, on the main queue, for the jobs that need it.
    const bool hasTaggedCaches = std::any_of(categories.begin(), categories.end(), [](const Category &category) {
        return category.kind == CategoryKind::TaggedCaches;
    });
    // The locations only: their patterns are expanded by the job, off the main queue.
    auto otherCategories = std::make_shared<const std::vector<Category>>(
        hasTaggedCaches ? categoriesWithLocations(modules()) : std::vector<Category>{});
    // Categories whose patterns could match what an earlier one lists leave it to that one.
    std::vector<Category> wildcards;
    for (std::size_t i = 0; i < count; ++i) {
        std::shared_ptr<const std::vector<Category>> earlier;
        if (categories[i].kind == CategoryKind::Folder && hasWildcard(categories[i]) && !wildcards.empty()) {
            earlier = std::make_shared<const std::vector<Category>>(wildcards);
        }
        if (categories[i].kind == CategoryKind::Folder && hasWildcard(categories[i])) {
            Category locations;
            locations.url = categories[i].url;
            locations.urls = categories[i].urls;
            wildcards.push_back(std::move(locations));
        }
        dispatch->async([dispatch,
                            earlier,
                            moduleIndex,
                            i,
                            count,
                            category = std::move(categories[i]),
                            progress,
                            showPercent,
                            done,
                            accumulated,
                            finished,
                            keep,
                            otherCategories]() mutable {
            const tree::KeepScope keepScope(keep->kept());
            const float share = static_cast<float>(count);
            ShowPercent categoryShare = [showPercent, accumulated, share](float increment) {
                *accumulated += increment / share;
                if (showPercent) {
                    showPercent(*accumulated);
                }
            };
            switch (category.kind) {
            case CategoryKind::DeviceBackup:
                scaniTunes(category, progress, categoryShare);
                break;
            case CategoryKind::Mail:
                scanMailAttachments(category, progress, categoryShare);
                break;
            case CategoryKind::Photo:
                // Nothing is measured for photo junk: the category only counts as finished.
                postShowPercent(categoryShare, 1.0F);
                platform::services().log->standardOutput("Photo Junk");
                break;
            case CategoryKind::Localization:
                scanLanguage(category, progress, categoryShare);
                break;
            case CategoryKind::TaggedCaches:
                scanTaggedCaches(category, progress, categoryShare, catalogueLocations(*otherCategories));
                break;
            case CategoryKind::Trash:
                scanTrash(category, progress, categoryShare);
                break;
            case CategoryKind::Folder:
                if (earlier) {
                    const tree::FileIdSet taken = placesOf(*earlier, platform::services().user.homeDir);
                    scanFolder(category, progress, categoryShare, &taken);
                } else {
                    scanFolder(category, progress, categoryShare);
                }
                break;
            case CategoryKind::AptCache:
            case CategoryKind::Journal:
            case CategoryKind::CrashDumps:
            case CategoryKind::SnapRevisions:
            case CategoryKind::FlatpakRuntimes:
            case CategoryKind::OldTemporaryFiles:
                scanSystem(category, progress, categoryShare);
                break;
            }
            // Posted after every report of the scanner, from the same thread, so
            // the main queue sees a category's progress before its completion.
            dispatch->asyncMain([moduleIndex, i, count, category = std::move(category), done, finished]() mutable {
                modules().at(static_cast<std::size_t>(moduleIndex)).categories.at(i) = std::move(category);
                if (++*finished == count && done) {
                    done();
                }
            });
        });
    }
}

void ModuleInfo::scanFolder(
    Category &category, const Progress &progress, const ShowPercent &showPercent, const tree::FileIdSet *taken)
{
    // A partly selected category is rescanned as not selected.
    if (category.state == -1) {
        category.state = 0;
    }
    const int state = category.state;
    const std::string &home = platform::services().user.homeDir;
    // What the category excludes is left out like a kept item: neither listed nor measured.
    std::optional<tree::KeepScope> excludedScope;
    std::shared_ptr<const tree::KeptItems> excluded;
    if (!category.exclude.empty()) {
        const tree::KeptItems *kept = tree::keptItemsHere();
        const std::vector<std::string> paths = excludedPaths(category, scanLocations(category, home));
        if (!paths.empty()) {
            excluded = tree::KeptItems::resolve(paths, kept);
            excludedScope.emplace(excluded.get());
        }
    }
    if (!category.url.url.empty() && !hasWildcard(category.url)) {
        category.url.checked = state;
        if (FolderInfoPtr record = FolderInfo::folderInfo(category.url, true, progress)) {
            category.size = record->size;
            category.files = record->children;
        } else {
            category.size = 0;
            category.files.clear();
        }
        postShowPercent(showPercent, 1.0F);
        return;
    }
    if (category.url.url.empty() && category.urls.empty()) {
        postShowPercent(showPercent, 1.0F);
        return;
    }
    if (!category.url.url.empty()) {
        category.url.checked = state;
    }
    for (FolderUrl &location : category.urls) {
        location.checked = state;
    }
    const std::vector<ScanLocation> locations = scanLocations(category, home, taken);
    std::vector<FolderUrl> urls;
    std::unordered_map<std::string, std::string> labels; // location URL -> how people tell it apart
    urls.reserve(locations.size());
    for (const ScanLocation &location : locations) {
        urls.push_back(location.url);
        urls.back().checked = state;
        if (!location.label.empty()) {
            labels.emplace(location.url.url, location.label);
        }
    }
    ChildrenInfo listed = FolderInfo::folderInfoList(urls, progress, showPercent);
    if (urls.empty()) {
        postShowPercent(showPercent, 1.0F);
    }
    for (const FolderInfoPtr &record : listed.children) {
        if (const auto label = labels.find(record->url()); label != labels.end()) {
            record->setName(label->second);
        }
    }
    category.files = std::move(listed.children);
    category.size = listed.totalSize;
}

} // namespace core
