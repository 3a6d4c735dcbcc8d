// The scan driver: one background job per category, results written back on the main queue.
#include "engine/ModuleInfo.h"
#include "platform/Services.h"

#include <memory>

namespace core {

namespace {

constexpr int LargeAndOldFileModule = 3;

} // namespace

void ModuleInfo::scan(int moduleIndex, Progress progress, ShowPercent showPercent, Done done)
{
    platform::Dispatcher *dispatch = platform::services().dispatch;
    std::vector<Category> categories = modules().at(static_cast<std::size_t>(moduleIndex)).categories;
    // The module's running fraction, only ever touched by main-queue callbacks.
    auto accumulated = std::make_shared<float>(0.0F);

    if (moduleIndex == LargeAndOldFileModule) {
        dispatch->async([dispatch, categories = std::move(categories), progress, showPercent, done, accumulated] {
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
    for (std::size_t i = 0; i < count; ++i) {
        dispatch->async([dispatch,
                            moduleIndex,
                            i,
                            count,
                            category = std::move(categories[i]),
                            progress,
                            showPercent,
                            done,
                            accumulated,
                            finished]() mutable {
            const float share = static_cast<float>(count);
            ShowPercent categoryShare = [showPercent, accumulated, share](float increment) {
                *accumulated += increment / share;
                if (showPercent) {
                    showPercent(*accumulated);
                }
            };
            if (category.type == "iTunes") {
                scaniTunes(category, progress, categoryShare);
            } else if (category.type == "Mail") {
                scanMailAttachments(category, progress, categoryShare);
            } else if (category.type == "Photo") {
                // Nothing is measured for photo junk: the category only counts as finished.
                postShowPercent(categoryShare, 1.0F);
                platform::services().log->standardOutput("Photo Junk");
            } else if (category.type == "Localization") {
                scanLanguage(category, progress, categoryShare);
            } else {
                scanFolder(category, progress, categoryShare);
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

void ModuleInfo::scanFolder(Category &category, const Progress &progress, const ShowPercent &showPercent)
{
    // A partly selected category is rescanned as not selected.
    if (category.state == -1) {
        category.state = 0;
    }
    const int state = category.state;
    if (!category.url.url.empty()) {
        category.url.checked = state;
        if (FolderInfoPtr record = FolderInfo::folderInfo(category.url, true, progress)) {
            category.size = record->size;
            category.files = record->children;
        } else {
            category.size = 0;
            category.files.clear();
        }
        postShowPercent(showPercent, 1.0F);
    } else if (category.urls.empty()) {
        postShowPercent(showPercent, 1.0F);
    } else {
        for (FolderUrl &location : category.urls) {
            location.checked = state;
        }
        ChildrenInfo listed = FolderInfo::folderInfoList(category.urls, progress, showPercent);
        category.files = std::move(listed.children);
        category.size = listed.totalSize;
    }
}

} // namespace core
