// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FoundSummary.h"

#include "engine/ModuleInfo.h"
#include "format/Format.h"

#include <string>
#include <unordered_set>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

QString bytes(std::int64_t count)
{
    return QString::fromStdString(core::format::formatByteCount(count));
}

/// Adds what `category` found to `sum`, each file once across `seen`.
void addCategory(const core::Category &category, std::unordered_set<std::string> &seen, std::int64_t &sum)
{
    if (category.files.empty()) {
        sum += category.size; // found, but not as records (a category that only counts)
        return;
    }
    for (const core::FolderInfoPtr &file : category.files) {
        if (file && seen.insert(file->url()).second) {
            sum += file->size;
        }
    }
}

} // namespace

FoundSummary FoundSummary::of(const std::vector<core::Module> &modules, const std::vector<int> &moduleIndexes)
{
    FoundSummary summary;
    std::unordered_set<std::string> seen;
    for (const int index : moduleIndexes) {
        if (index < 0 || static_cast<std::size_t>(index) >= modules.size()) {
            continue;
        }
        for (const core::Category &category : modules[static_cast<std::size_t>(index)].categories) {
            std::int64_t &bucket = core::isReviewOnly(category)    ? summary.reviewOnly
                : index == core::ModuleInfo::LargeAndOldFileModule ? summary.own
                                                                   : summary.junk;
            addCategory(category, seen, bucket);
        }
    }
    return summary;
}

std::int64_t FoundSummary::sizeOf(const std::vector<core::Module> &modules, int moduleIndex)
{
    return of(modules, { moduleIndex }).total();
}

QString FoundSummary::sentence() const
{
    QString text = u"%1 of junk, %2 of your own large and old files"_s.arg(bytes(junk), bytes(own));
    if (reviewOnly > 0) {
        text += u", %1 for review only"_s.arg(bytes(reviewOnly));
    }
    return text;
}

} // namespace gui
