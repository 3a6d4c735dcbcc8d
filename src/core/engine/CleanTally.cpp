// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CleanTally.h"

#include "format/FileUrl.h"

#include <algorithm>

namespace core {

std::size_t CleanTally::alreadyGone() const
{
    return static_cast<std::size_t>(std::count_if(removed.begin(), removed.end(), [](const Item &item) {
        return item.report.alreadyGone;
    }));
}

void CleanTally::addRemoved(const FolderInfo &record, const ModuleInfo::ItemReport &report)
{
    removed.push_back(Item{ record.url(), format::pathFromFileUrl(record.url()).value_or(record.url()), report });
    (report.trashed ? movedToTrash : freed) += report.freed;
    held += report.held;
}

void CleanTally::addFailed(const FolderInfo &record, const ModuleInfo::ItemReport &report)
{
    failed.push_back(Item{ record.url(), format::pathFromFileUrl(record.url()).value_or(record.url()), report });
    freed += report.freed; // the part of a folder that did go
    held += report.held;
    if (report.refusal != tree::Refusal::None) {
        ++refusals[report.refusal];
    }
}

std::shared_ptr<CleanTally> CleanTally::collect(int moduleIndex, ModuleInfo::CleanOptions &options)
{
    auto tally = std::make_shared<CleanTally>();
    const Module &module = ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex));
    for (std::size_t i = 0; i < module.categories.size(); ++i) {
        const Category &category = module.categories[i];
        if (isReviewOnly(category) && category.state != 0) {
            tally->reviewOnly.push_back(
                Skipped{ static_cast<int>(i), category.title, "for review only; nothing is deleted from it" });
        }
    }
    options.removed = [tally, next = std::move(options.removed)](
                          const FolderInfo &record, const ModuleInfo::ItemReport &report) {
        tally->addRemoved(record, report);
        if (next) {
            next(record, report);
        }
    };
    options.failed = [tally, next = std::move(options.failed)](
                         const FolderInfo &record, const ModuleInfo::ItemReport &report) {
        tally->addFailed(record, report);
        if (next) {
            next(record, report);
        }
    };
    options.categorySkipped = [tally, moduleIndex, next = std::move(options.categorySkipped)](
                                  int categoryIndex, const Error &why) {
        const auto &categories = ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex)).categories;
        const std::string title = categoryIndex >= 0 && static_cast<std::size_t>(categoryIndex) < categories.size()
            ? categories[static_cast<std::size_t>(categoryIndex)].title
            : std::string();
        tally->skipped.push_back(Skipped{ categoryIndex, title, why.message });
        if (next) {
            next(categoryIndex, why);
        }
    };
    return tally;
}

} // namespace core
