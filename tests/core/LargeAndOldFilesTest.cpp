// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Selection.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using core::Category;
using core::FolderInfoPtr;
using core::ModuleInfo;

namespace {

constexpr std::int64_t MiB = 1024 * 1024;
constexpr std::int64_t Day = 86'400;
constexpr std::int64_t Now = 1'800'000'000; // the fixture's clock

class LargeAndOldFilesTest : public testing_support::EngineFixture
{
protected:
    struct Scan
    {
        std::vector<Category> bands;
        std::vector<std::pair<std::string, std::int64_t>> progress;
        std::vector<float> increments;
    };

    static std::vector<Category> fourBands()
    {
        return {
            category("over 100 MB"), category("5 to 100 MB"), category("over a year"), category("1 to 12 months")
        };
    }

    /// A file of `size` bytes (sparse: costs no disk) last modified `age` seconds before the scan.
    std::string file(const std::string &relative, std::int64_t size, std::int64_t age)
    {
        const std::string path = tmp.writeFile(relative, size, true);
        testing_support::setMtime(path, Now - age);
        return path;
    }

    Scan scan(std::vector<Category> bands)
    {
        Scan result;
        result.bands = ModuleInfo::scanLargeAndOldFile(
            std::move(bands),
            [&result](const std::string &path, std::int64_t size) {
                result.progress.emplace_back(path, size);
            },
            [&result](float increment) {
                result.increments.push_back(increment);
            });
        dispatcher.runMain();
        return result;
    }

    Scan scan() { return scan(fourBands()); }

    /// The paths of a band's records, in order.
    static std::vector<std::string> paths(const Category &band)
    {
        std::vector<std::string> out;
        for (const auto &record : band.files) {
            out.push_back(core::format::pathFromFileUrl(record->url()).value_or("?"));
        }
        return out;
    }

    static std::int64_t sum(const Category &band)
    {
        return std::accumulate(band.files.begin(), band.files.end(), std::int64_t{ 0 }, [](auto s, const auto &r) {
            return s + r->size;
        });
    }
};

} // namespace

TEST_F(LargeAndOldFilesTest, SortsFilesIntoSizeAndAgeBands)
{
    const auto huge = file("Movies/holiday.mkv", 200 * MiB, 2 * 365 * Day);
    const auto medium = file("Downloads/installer.bin", 50 * MiB, Day);
    const auto letter = file("Documents/letter.txt", 1024, 40 * Day);
    const auto archive = file("Downloads/small.zip", 1024, Day);
    const auto recent = file("Documents/notes.txt", 10, Day);

    const Scan result = scan();
    ASSERT_EQ(result.bands.size(), 4U);
    EXPECT_EQ(paths(result.bands[0]), std::vector<std::string>{ huge });
    EXPECT_EQ(paths(result.bands[1]), std::vector<std::string>{ medium });
    EXPECT_EQ(paths(result.bands[2]), std::vector<std::string>{ huge });
    EXPECT_EQ(paths(result.bands[3]), std::vector<std::string>{ letter });
    EXPECT_EQ(result.bands[0].size, 200 * MiB);
    EXPECT_EQ(result.bands[1].size, 50 * MiB);
    EXPECT_EQ(result.bands[2].size, 200 * MiB);
    EXPECT_EQ(result.bands[3].size, 1024);

    // One file in two bands: two records with the same values, so that
    // selecting it in one band leaves the other alone.
    const FolderInfoPtr &bySize = result.bands[0].files[0];
    const FolderInfoPtr &byAge = result.bands[2].files[0];
    EXPECT_NE(bySize, byAge);
    bySize->checked = 1;
    EXPECT_EQ(byAge->checked, 0);
    EXPECT_EQ(byAge->name(), "holiday.mkv");
    EXPECT_EQ(bySize->name(), byAge->name());
    EXPECT_EQ(bySize->date, byAge->date);
    EXPECT_EQ(byAge->date.seconds, Now - 2 * 365 * Day);
    EXPECT_FALSE(byAge->isFolder);

    // The small archive is collected by the walk (it is reported as measured)
    // but lands in no band; a small recent file is not even collected.
    const auto reported = [&result](const std::string &path) {
        return std::any_of(result.progress.begin(), result.progress.end(), [&path](const auto &p) {
            return p.first == path;
        });
    };
    EXPECT_TRUE(reported(archive));
    EXPECT_FALSE(reported(recent));
    EXPECT_TRUE(reported(huge));
}

// The band with the most files is filled in place of the walk's own list:
// it keeps the walk's order and numbering while files that go elsewhere,
// in two bands, or nowhere lie between its own.
TEST_F(LargeAndOldFilesTest, BandsKeepTheWalkOrderWhateverLiesBetween)
{
    std::vector<std::string> old;
    std::vector<std::string> big;
    big.push_back(file("Documents/a.mkv", 10 * MiB, Day)); // a size band only
    for (int k = 0; k < 12; ++k) {
        const std::string name = "Documents/f" + std::to_string(10 + k);
        if (k % 4 == 1) {
            big.push_back(file(name + ".iso", 10 * MiB, 2 * 365 * Day)); // a size band and the year band
            old.push_back(big.back());
        } else if (k % 4 == 2) {
            file(name + ".zip", 10, Day); // walked, in no band
        } else if (k % 4 == 3) {
            old.push_back(file(name + ".log", 10, 500 * Day));
        } else {
            old.push_back(file(name + ".txt", 10, 400 * Day));
        }
    }
    const Scan result = scan();
    EXPECT_EQ(paths(result.bands[1]), big);
    EXPECT_EQ(paths(result.bands[2]), old);
    EXPECT_TRUE(result.bands[0].files.empty());
    EXPECT_TRUE(result.bands[3].files.empty());
    for (const auto &band : result.bands) {
        EXPECT_EQ(band.size, sum(band));
        for (std::size_t k = 0; k < band.files.size(); ++k) {
            EXPECT_EQ(band.files[k]->findex, static_cast<std::int64_t>(k));
        }
    }
    // The twins of the files in two bands are separate records.
    EXPECT_NE(result.bands[1].files[1].get(), result.bands[2].files[1].get());
    EXPECT_EQ(result.bands[1].files[1]->url(), result.bands[2].files[1]->url());
    // Only a file in one band is marked as its file's only record.
    for (const auto &band : result.bands) {
        for (const auto &record : band.files) {
            const std::string path = record->url();
            const bool twice = std::count_if(big.begin(), big.end(), [&](const std::string &p) {
                return path.ends_with(p.substr(p.rfind('/')));
            }) + std::count_if(old.begin(), old.end(), [&](const std::string &p) {
                return path.ends_with(p.substr(p.rfind('/')));
            }) == 2;
            EXPECT_EQ(record->isOnlyListing(), !twice) << path;
        }
    }
}

TEST_F(LargeAndOldFilesTest, LimitsAreExclusiveAndTakenFromOneClockReading)
{
    file("a/exactly-5MiB", 5 * MiB, Day);
    // Old enough to be kept by age, so its size reaches the band check.
    const auto old5 = file("c/exactly-5MiB-40-days", 5 * MiB, 40 * Day);
    const auto over5 = file("a/over-5MiB", 5 * MiB + 1, Day);
    const auto exactly100 = file("a/exactly-100MiB", 100 * MiB, Day);
    const auto over100 = file("a/over-100MiB", 100 * MiB + 1, Day);
    file("b/exactly-30-days", 1, 30 * Day);
    const auto over30 = file("b/over-30-days", 1, 30 * Day + 1);
    const auto exactly365 = file("b/exactly-365-days", 1, 365 * Day);
    const auto over365 = file("b/over-365-days", 1, 365 * Day + 1);

    // The clock is read once: a clock that moves on during the walk changes nothing.
    std::int64_t reads = 0;
    core::platform::services().now = [&reads] {
        return Now + Day * reads++;
    };
    const Scan result = scan();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(paths(result.bands[0]), std::vector<std::string>{ over100 });
    EXPECT_EQ(paths(result.bands[1]), (std::vector<std::string>{ exactly100, over5 }));
    EXPECT_EQ(paths(result.bands[2]), std::vector<std::string>{ over365 });
    EXPECT_EQ(paths(result.bands[3]), (std::vector<std::string>{ exactly365, over30, old5 }));
    // Each band numbers its records from 0: the detail screen selects by findex.
    for (const Category &band : result.bands) {
        for (std::size_t k = 0; k < band.files.size(); ++k) {
            EXPECT_EQ(band.files[k]->findex, static_cast<std::int64_t>(k)) << band.title;
        }
        EXPECT_EQ(band.size, sum(band)) << band.title;
    }
}

TEST_F(LargeAndOldFilesTest, LibraryAndHiddenItemsAreNeverCollected)
{
    file("Library/Caches/huge.bin", 300 * MiB, 3 * 365 * Day);
    file("Library/old.txt", 1, 100 * Day);
    file(".cache/huge.bin", 300 * MiB, 3 * 365 * Day);
    file("Documents/.secret.bin", 300 * MiB, 3 * 365 * Day);
    file("Pictures/.thumbnails/old.png", 1, 100 * Day);
    // Only the home's own library is excluded: a sibling with a longer name
    // and a folder called Library further down are ordinary folders.
    const auto books = file("Library Books/old.epub", 1, 100 * Day);
    const auto nested = file("Projects/Library/old.h", 1, 100 * Day);
    // A folder named like an archive is entered and judged by its files; it
    // is never one unmeasured record that a clean would remove whole.
    const auto inArchiveFolder = file("Backups/site.zip/big.sql", 20 * MiB, Day);
    testing_support::setMtime(tmp / "Backups/site.zip", Now - 400 * Day);

    const Scan result = scan();
    std::vector<std::string> all;
    for (const Category &band : result.bands) {
        for (const auto &path : paths(band)) {
            all.push_back(path);
        }
    }
    std::sort(all.begin(), all.end());
    std::vector<std::string> expected{ books, nested, inArchiveFolder };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(all, expected);
}

TEST_F(LargeAndOldFilesTest, OnlyRegularFilesAreCollected)
{
    const std::string outside = tmp.writeFile("elsewhere/big.iso", 500 * MiB, true);
    testing_support::TempDir home;
    core::platform::services().user.homeDir = home.path();
    // Links (to a big file, dangling, named like an archive), a FIFO and a
    // socket, all two years old: none holds data of its own.
    testing_support::setMtime(home.makeLink("old link", outside), Now - 800 * Day);
    testing_support::setMtime(home.makeLink("dangling", home / "nowhere"), Now - 800 * Day);
    testing_support::setMtime(home.makeLink("archive.zip", outside), Now - 800 * Day);
    ASSERT_EQ(::mkfifo((home / "fifo").c_str(), 0600), 0);
    testing_support::setMtime(home / "fifo", Now - 800 * Day);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = home / "socket";
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr *>(&address), sizeof(address)), 0);
    ::close(sock);
    testing_support::setMtime(socketPath, Now - 800 * Day);
    const std::string regular = home.writeFile("old.txt", 10);
    testing_support::setMtime(regular, Now - 800 * Day);

    const Scan result = scan();
    for (std::size_t band : { 0U, 1U, 3U }) {
        EXPECT_TRUE(result.bands[band].files.empty()) << band;
    }
    EXPECT_EQ(paths(result.bands[2]), std::vector<std::string>{ regular });
}

TEST_F(LargeAndOldFilesTest, RescanReplacesResultsAndGivesTheSameBands)
{
    file("Movies/holiday.mkv", 200 * MiB, 2 * 365 * Day);
    file("Documents/letter.txt", 1024, 40 * Day);
    file("Downloads/installer.bin", 50 * MiB, Day);

    std::vector<Category> bands = fourBands();
    bands.push_back(category("extra"));
    bands[4].size = 7;
    const Scan first = scan(bands);
    // The user selected everything before scanning again.
    std::vector<Category> selected = first.bands;
    for (Category &band : selected) {
        band.state = 1;
        for (const auto &record : band.files) {
            record->checked = 1;
        }
    }
    const Scan second = scan(selected);
    ASSERT_EQ(second.bands.size(), 5U);
    for (std::size_t b = 0; b < 4; ++b) {
        EXPECT_EQ(second.bands[b].size, first.bands[b].size) << b;
        EXPECT_EQ(paths(second.bands[b]), paths(first.bands[b])) << b;
        EXPECT_EQ(second.bands[b].state, 0) << "new records start not selected, and so does their band";
        for (const auto &record : second.bands[b].files) {
            EXPECT_EQ(record->checked, 0);
        }
    }
    EXPECT_EQ(second.bands[4].size, 7) << "categories after the four bands are left alone";
}

TEST_F(LargeAndOldFilesTest, IncrementsAddUpToOneForTheWholeModule)
{
    // Empty home: the walk itself reports nothing.
    Scan empty = scan();
    EXPECT_EQ(empty.increments, std::vector<float>{ 1.0F });

    file("a/x", 1, Day);
    file("b/y", 1, Day);
    file("c", 1, Day);
    file(".hidden/z", 1, Day);
    const Scan three = scan();
    EXPECT_EQ(three.increments, (std::vector<float>{ 1.0F / 3, 1.0F / 3, 1.0F / 3 }))
        << "one share per visible top-level entry, nothing added on top";

    // Through the scan driver, which adds the raw increments to the module's fraction.
    setModules(3, fourBands());
    std::vector<float> fractions;
    int done = 0;
    ModuleInfo::scan(
        3,
        {},
        [&fractions](float f) {
            fractions.push_back(f);
        },
        [&done] {
            ++done;
        });
    EXPECT_EQ(dispatcher.pendingBackground(), 1U) << "the whole module is one job";
    dispatcher.runAllQueues();
    EXPECT_EQ(done, 1);
    ASSERT_FALSE(fractions.empty());
    EXPECT_FLOAT_EQ(fractions.back(), 1.0F);
    EXPECT_EQ(ModuleInfo::modules()[3].categories.size(), 4U);
}

TEST_F(LargeAndOldFilesTest, ModuleWithTooFewCategoriesIsReturnedUnchanged)
{
    file("big", 200 * MiB, Day);
    std::vector<Category> shortList{ category("only") };
    const Scan result = scan(shortList);
    ASSERT_EQ(result.bands.size(), 1U);
    EXPECT_TRUE(result.bands[0].files.empty());
    EXPECT_EQ(result.increments, std::vector<float>{ 1.0F });
}

// One file, one choice on a real scan: a file both big and old is ticked in
// both its bands and counted once; a file in one band alone ticks nothing else.
TEST_F(LargeAndOldFilesTest, AFileInTwoBandsIsTickedAndCountedOnce)
{
    file("Videos/trip.mkv", 200 * MiB, 2 * 365 * Day); // over 100 MB and over a year
    file("Videos/clip.mkv", 20 * MiB, Day); // 5 to 100 MB only
    file("Notes/trip.mkv", 10, 2 * 365 * Day); // the same name, another file, over a year only
    setModules(3, fourBands());
    ModuleInfo::scan(3, {}, {}, [] {});
    dispatcher.runAllQueues();
    const auto &bands = ModuleInfo::modules()[3].categories;
    ASSERT_EQ(bands[0].files.size(), 1U);
    ASSERT_EQ(bands[2].files.size(), 2U);
    const std::size_t twin = bands[2].files[0]->url() == bands[0].files[0]->url() ? 0 : 1;

    ModuleInfo::updateState(1, 3, 0, 0, std::nullopt);
    EXPECT_EQ(bands[2].files[twin]->checked, 1);
    EXPECT_EQ(bands[2].files[1 - twin]->checked, 0) << "the namesake in another folder stays";
    const core::SelectionSummary once = core::summariseSelection(ModuleInfo::modules()[3]);
    EXPECT_EQ(once.items, 1U);
    EXPECT_EQ(once.bytes, 200 * MiB);

    ModuleInfo::updateState(1, 3, 2, -1, std::nullopt);
    ModuleInfo::updateState(1, 3, 1, 0, std::nullopt);
    const core::SelectionSummary all = core::summariseSelection(ModuleInfo::modules()[3]);
    EXPECT_EQ(all.items, 3U);
    EXPECT_EQ(all.bytes, 200 * MiB + 20 * MiB + 10);
    ModuleInfo::updateState(0, 3, 2, static_cast<int>(twin), std::nullopt);
    EXPECT_EQ(bands[0].files[0]->checked, 0) << "unticked in one band, unticked in the other";
    EXPECT_EQ(bands[0].state, 0);
}
