// SPDX-License-Identifier: GPL-3.0-or-later
// The large and old files scanner: one filtered walk of the home folder,
// sorted into two size bands and two age bands.
#include "engine/ModuleInfo.h"
#include "engine/ShareCounter.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "tree/Walker.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace core {

namespace {

// Band limits. The walk keeps what exceeds the medium size or the month age;
// the bands then split those by the larger limits.
constexpr std::int64_t LargeFileSize = 104'857'600; // 100 MiB
constexpr std::int64_t MediumFileSize = 5'242'880; // 5 MiB
constexpr std::int64_t YearSeconds = 31'536'000; // 365 days
constexpr std::int64_t MonthSeconds = 2'592'000; // 30 days

// Positions of the bands in the module's category list.
constexpr std::size_t LargeBand = 0; // larger than 100 MiB
constexpr std::size_t MediumBand = 1; // larger than 5 MiB, up to 100 MiB
constexpr std::size_t YearBand = 2; // unchanged for more than 365 days
constexpr std::size_t MonthBand = 3; // unchanged for more than 30 days, up to 365
constexpr std::size_t BandCount = 4;

std::int64_t scanTime()
{
    const auto &now = platform::services().now;
    if (now) {
        return now();
    }
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// True when `path` is `folder` itself or lies below it. A whole-component
/// match: "~/Library" does not swallow "~/Library Books".
bool isSameOrBelow(std::string_view path, std::string_view folder)
{
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

/// The walk's filter. Called for every visited item, so it does no work
/// beyond a few comparisons: the walk's cost is the stat per entry.
class LargeOrOldFilter
{
public:
    LargeOrOldFilter(std::string library, Timestamp monthLimit)
        : m_library(std::move(library))
        , m_monthLimit(monthLimit)
    {
    }

    FilterType operator()(const tree::WalkItem &item) const
    {
        // The user's library folder is neither collected nor entered.
        if (isSameOrBelow(item.path, m_library)) {
            return FilterType::SkipSelfAndChildren;
        }
        if (item.isDir) {
            // A folder, even one named like an archive, is entered and judged by
            // its files: a folder record would carry size 0, and cleaning it would
            // remove everything inside without that ever being measured.
            return FilterType::SkipSelf;
        }
        // Regular files only: a link, a FIFO or a socket holds no data of its own.
        if (!item.hasSize || item.isSymlink) {
            return FilterType::SkipSelf;
        }
        // An archive is collected whatever its size and date; the bands keep it
        // only when it is large or old like any other file.
        if (item.path.ends_with(".zip")) {
            return FilterType::SkipChildren;
        }
        if (item.size > MediumFileSize || item.mtime < m_monthLimit) {
            return FilterType::NoSkip;
        }
        return FilterType::SkipSelf;
    }

private:
    std::string m_library;
    Timestamp m_monthLimit;
};

void addToBand(Category &band, FolderInfoPtr record)
{
    // findex is the record's position in the band: the detail screen selects
    // records by it, so the walk's own numbering must not leak through.
    record->findex = static_cast<std::int64_t>(band.files.size());
    band.size += record->size;
    band.files.push_back(std::move(record));
}

} // namespace

std::vector<Category> ModuleInfo::scanLargeAndOldFile(
    std::vector<Category> categories, const Progress &progress, const ShowPercent &showPercent)
{
    if (categories.size() < BandCount) {
        // The catalogue loader refuses such a module; a hand-built one is left as it is.
        postShowPercent(showPercent, 1.0F);
        return categories;
    }

    // One clock reading for the whole scan, so every file is judged against the same limits.
    const std::int64_t now = scanTime();
    const Timestamp yearLimit{ now - YearSeconds, 0 };
    const Timestamp monthLimit{ now - MonthSeconds, 0 };

    const std::string home = FolderInfo::getUserHomeDirectory();
    const std::string library = (home == "/" ? std::string() : home) + "/Library";
    FolderUrl root;
    root.url = format::fileUrlFromPath(home, true);
    root.type = "Folder";
    root.checked = 0;

    // The increments of the walk are the module's; an empty home still completes it.
    const ShareCounter share(showPercent, 1.0F);
    // The filter only reads its own constants, so the walk may run it on several threads.
    ChildrenInfo walked = FolderInfo::filesFromDirWithFilter(
        root, progress, share.callback(), LargeOrOldFilter(library, monthLimit), FilterThreading::Concurrent);
    share.postRemainder();

    // Where a record goes: an age band, a size band, both, or (a small, recent
    // archive) none.
    const auto ageBand = [&](const FolderInfo &record) {
        return record.date < monthLimit ? (record.date < yearLimit ? YearBand : MonthBand) : BandCount;
    };
    const auto sizeBand = [](const FolderInfo &record) {
        return record.size > MediumFileSize ? (record.size > LargeFileSize ? LargeBand : MediumBand) : BandCount;
    };
    std::array<std::size_t, BandCount + 1> counts{};
    for (const FolderInfoPtr &record : walked.children) {
        ++counts[ageBand(*record)];
        ++counts[sizeBand(*record)];
    }
    // The fullest band takes over the walk's own list, filled from its front
    // as the list is read: a home folder's hundreds of thousands of old files
    // are listed once, not twice. The others are sized exactly.
    const std::size_t fullest =
        static_cast<std::size_t>(std::max_element(counts.begin(), counts.begin() + BandCount) - counts.begin());
    for (std::size_t band = 0; band < BandCount; ++band) {
        categories[band].files = std::vector<FolderInfoPtr>{};
        categories[band].files.reserve(band == fullest ? 0 : counts[band]);
        categories[band].size = 0;
        // The records start out not selected; the bands' own state follows them.
        categories[band].state = 0;
    }

    std::vector<FolderInfoPtr> &walkList = walked.children;
    std::size_t inFullest = 0;
    const auto add = [&](std::size_t band, FolderInfoPtr record) {
        if (band != fullest) {
            addToBand(categories[band], std::move(record));
            return;
        }
        // findex is the record's position in the band, as addToBand gives it.
        record->findex = static_cast<std::int64_t>(inFullest);
        categories[band].size += record->size;
        walkList[inFullest++] = std::move(record);
    };
    for (std::size_t k = 0; k < walkList.size(); ++k) {
        FolderInfoPtr record = std::move(walkList[k]); // frees the place the fullest band fills next
        const std::size_t age = ageBand(*record);
        const std::size_t size = sizeBand(*record);
        // A file in one band only is the one record of its file: ticking it
        // or counting the selection need not look for it elsewhere.
        record->setOnlyListing(categories.size() == BandCount && (age == BandCount || size == BandCount));
        if (age != BandCount) {
            // A file in an age band and a size band gets a record in each, so
            // that selecting it in one band does not select it in the other.
            add(age, size != BandCount ? std::make_shared<FolderInfo>(*record) : record);
        }
        if (size != BandCount) {
            add(size, std::move(record));
        }
    }
    walkList.resize(inFullest);
    categories[fullest].files = std::move(walkList);
    return categories;
}

} // namespace core
