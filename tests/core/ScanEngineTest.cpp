// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/EngineFixture.h"
#include "support/RunAsNobody.h"
#include "tree/Walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

using core::FolderInfo;
using core::ModuleInfo;

namespace {

class ScanEngineTest : public testing_support::EngineFixture
{
protected:
    struct Recorded
    {
        std::vector<std::pair<std::string, std::int64_t>> progress;
        std::vector<float> percents;
        int done = 0;
        std::vector<std::string> events; // "p", "%", "done" in delivery order
    };

    void scanModule(int index, Recorded &rec)
    {
        ModuleInfo::scan(
            index,
            [&rec](const std::string &path, std::int64_t size) {
                rec.progress.emplace_back(path, size);
                rec.events.emplace_back("p");
            },
            [&rec](float fraction) {
                rec.percents.push_back(fraction);
                rec.events.emplace_back("%");
            },
            [&rec] {
                ++rec.done;
                rec.events.emplace_back("done");
            });
    }
};

} // namespace

TEST_F(ScanEngineTest, ThreeFolderCategoriesReportThirdsInFinishingOrder)
{
    tmp.writeFile("a/one", 10);
    tmp.writeFile("b/two", 20);
    tmp.writeFile("c/sub/three", 30);
    std::vector<core::Category> categories;
    for (const char *name : { "a", "b", "c" }) {
        auto c = category(name);
        c.url = location(tmp / name);
        categories.push_back(c);
    }
    setModules(1, categories);

    Recorded rec;
    scanModule(1, rec);
    EXPECT_EQ(dispatcher.pendingBackground(), 3U) << "one job per category, all submitted at once";
    // Finish the categories in the order c, a, b: jobs run oldest first, so rotate.
    ASSERT_TRUE(dispatcher.runOneBackground()); // a
    ASSERT_TRUE(dispatcher.runOneBackground()); // b
    dispatcher.runMain();
    EXPECT_EQ(rec.done, 0);
    ASSERT_TRUE(dispatcher.runOneBackground()); // c
    dispatcher.runMain();

    const float third = 1.0F / 3.0F;
    EXPECT_EQ(rec.percents, (std::vector<float>{ third, third + third, third + third + third }));
    EXPECT_EQ(rec.done, 1);
    EXPECT_EQ(rec.events.back(), "done");
    EXPECT_EQ(categoryAt(1, 0).size, 10);
    EXPECT_EQ(categoryAt(1, 2).size, 30);
    ASSERT_EQ(categoryAt(1, 2).files.size(), 1U);
    EXPECT_EQ(categoryAt(1, 2).files[0]->size, 30) << "a sub-folder counts everything below it";
}

TEST_F(ScanEngineTest, PhotoAddsItsShareAndEmptyCategoryKeepsItsSize)
{
    tmp.writeFile("f/x", 5);
    auto folder = category("folder");
    folder.url = location(tmp / "f");
    auto photo = category("photo", "Photo");
    photo.size = 77;
    auto empty = category("empty");
    empty.size = 42;
    auto other = category("other");
    other.url = location(tmp / "missing");
    other.size = 9;
    setModules(2, { folder, photo, empty, other });

    Recorded rec;
    scanModule(2, rec);
    ASSERT_TRUE(dispatcher.runOneBackground()); // folder
    dispatcher.runMain();
    ASSERT_TRUE(dispatcher.runOneBackground()); // photo
    dispatcher.runMain();
    ASSERT_EQ(rec.percents.size(), 2U);
    EXPECT_EQ(rec.percents[1] - rec.percents[0], 0.25F);
    EXPECT_EQ(log.stdoutLines(), std::vector<std::string>{ "Photo Junk" });
    dispatcher.runAllQueues();

    EXPECT_EQ(rec.percents.back(), 1.0F);
    EXPECT_EQ(rec.done, 1);
    EXPECT_EQ(categoryAt(2, 1).size, 77) << "photo junk is not measured";
    EXPECT_EQ(categoryAt(2, 2).size, 42) << "no location: size kept";
    EXPECT_EQ(categoryAt(2, 3).size, 0) << "a missing location measures 0";
    EXPECT_TRUE(categoryAt(2, 3).files.empty());
}

TEST_F(ScanEngineTest, PartlySelectedCategoryIsScannedAsNotSelected)
{
    tmp.writeFile("one/a", 1);
    tmp.writeFile("two/b", 2);
    auto single = category("single");
    single.state = -1;
    single.url = location(tmp / "one", "Folder", 1);
    auto multi = category("multi");
    multi.state = 1;
    multi.urls = { location(tmp / "two", "Children", 0), location(tmp / "one/a", "File", 0) };
    setModules(1, { single, multi });

    Recorded rec;
    scanModule(1, rec);
    dispatcher.runAllQueues();
    EXPECT_EQ(categoryAt(1, 0).state, 0);
    EXPECT_EQ(categoryAt(1, 0).url.checked, 0);
    for (const auto &file : categoryAt(1, 0).files) {
        EXPECT_EQ(file->checked, 0);
    }
    // A selected category hands its state to every location and record.
    ASSERT_EQ(categoryAt(1, 1).files.size(), 2U);
    for (const auto &file : categoryAt(1, 1).files) {
        EXPECT_EQ(file->checked, 1);
    }
    EXPECT_EQ(categoryAt(1, 1).size, 3);
}

TEST_F(ScanEngineTest, EveryCallbackRunsOnTheMainQueueAndProgressPrecedesCompletion)
{
    tmp.writeFile("d/x", 3);
    auto c = category("d");
    c.url = location(tmp / "d");
    setModules(1, { c });
    Recorded rec;
    scanModule(1, rec);
    dispatcher.runBackground();
    EXPECT_TRUE(rec.events.empty()) << "nothing may be delivered from a background job";
    EXPECT_EQ(categoryAt(1, 0).size, 0) << "the catalogue is written on the main queue only";
    dispatcher.runMain();
    EXPECT_EQ(rec.events, (std::vector<std::string>{ "p", "%", "done" }));
    EXPECT_EQ(rec.progress[0], std::make_pair(tmp / "d", std::int64_t{ 3 }));
}

TEST_F(ScanEngineTest, ModuleWithoutCategoriesFinishes)
{
    setModules(2, {});
    Recorded rec;
    scanModule(2, rec);
    dispatcher.runAllQueues();
    EXPECT_EQ(rec.done, 1);
}

TEST_F(ScanEngineTest, FolderInfoWithChildrenMeasuresEachChildOnce)
{
    tmp.writeFile("top/file", 3);
    tmp.writeFile("top/sub/deep/x", 4);
    std::vector<std::pair<std::string, std::int64_t>> reports;
    const auto record = FolderInfo::folderInfo(location(tmp / "top"), true, [&](const std::string &p, std::int64_t s) {
        reports.emplace_back(p, s);
    });
    dispatcher.runMain();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->size, 7);
    ASSERT_EQ(record->children.size(), 2U);
    EXPECT_EQ(record->children[0]->name(), "file");
    EXPECT_EQ(record->children[0]->findex, 0);
    EXPECT_EQ(record->children[0]->size, 3);
    EXPECT_EQ(record->children[1]->findex, 1);
    EXPECT_EQ(record->children[1]->size, 4);
    EXPECT_TRUE(record->children[1]->isFolder);
    EXPECT_TRUE(record->children[1]->children.empty());
    EXPECT_EQ(reports, (std::vector<std::pair<std::string, std::int64_t>>{ { tmp / "top", 7 } }));

    EXPECT_EQ(FolderInfo::folderInfo(location(tmp / "nothing"), true, {}), nullptr);
    EXPECT_EQ(dispatcher.pendingMain(), 0U) << "a missing location posts no progress";
    const auto file = FolderInfo::folderInfo(location(tmp / "top/file", "File"), false, {});
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size, 3);
    EXPECT_FALSE(file->isFolder);
}

TEST_F(ScanEngineTest, FolderInfoListHandlesEachLocationType)
{
    tmp.writeFile("folder/a", 5);
    tmp.writeFile("kids/one", 1);
    tmp.writeFile("kids/two/x", 2);
    tmp.writeFile("kids/.hidden", 4);
    tmp.writeFile("skipped/z", 100);
    std::vector<float> increments;
    const auto listed = FolderInfo::folderInfoList({ location(tmp / "folder"),
                                                       location(tmp / "kids", "Children"),
                                                       location(tmp / "skipped", "FolderWithChildren") },
        {},
        [&](float f) {
            increments.push_back(f);
        });
    dispatcher.runMain();
    EXPECT_EQ(increments, (std::vector<float>{ 1.0F / 3, 1.0F / 3, 1.0F / 3 }));
    ASSERT_EQ(listed.children.size(), 4U); // folder, then .hidden, one, two
    EXPECT_EQ(listed.children[0]->name(), "folder");
    EXPECT_EQ(listed.children[1]->name(), ".hidden");
    EXPECT_TRUE(listed.children[1]->hidden);
    for (std::size_t k = 0; k < listed.children.size(); ++k) {
        EXPECT_EQ(listed.children[k]->findex, static_cast<std::int64_t>(k));
    }
    EXPECT_EQ(listed.totalSize, 5 + 1 + 2 + 4);
}

TEST_F(ScanEngineTest, FilteredWalkRecordsSkipsAndBatchesDeepReports)
{
    tmp.writeFile("root/a.txt", 1);
    tmp.writeFile("root/.hid/x", 50);
    tmp.writeFile("root/Pkg.app/inside", 60);
    tmp.writeFile("root/keep/b.txt", 2);
    tmp.writeFile("root/skipme/c.txt", 3);
    tmp.writeFile("root/z1/z2/z3/z4/z5/deep.txt", 7);
    std::vector<std::pair<std::string, std::int64_t>> reports;
    std::vector<float> increments;
    const auto walk = FolderInfo::filesFromDirWithFilter(
        location(tmp / "root"),
        [&](const std::string &p, std::int64_t s) {
            reports.emplace_back(p, s);
        },
        [&](float f) {
            increments.push_back(f);
        },
        [](const core::tree::WalkItem &item) {
            if (item.name == "skipme") {
                return core::FilterType::SkipChildren;
            }
            if (item.name == "keep") {
                return core::FilterType::SkipSelf;
            }
            return core::FilterType::NoSkip;
        });
    dispatcher.runMain();

    std::vector<std::string> names;
    for (const auto &r : walk.children) {
        names.push_back(r->name());
        if (r->isFolder) {
            EXPECT_EQ(r->size, 0) << "folders are not measured by a filtered walk";
        }
    }
    EXPECT_EQ(names,
        (std::vector<std::string>{ "Pkg.app", "a.txt", "b.txt", "skipme", "z1", "z2", "z3", "z4", "z5", "deep.txt" }));
    EXPECT_EQ(walk.totalSize, 1 + 7 + 2);
    EXPECT_EQ(increments.size(), 5U) << "one increment per non-hidden top-level entry";
    EXPECT_EQ(increments[0], 1.0F / 5);
    // z5 is at level 5 and deep.txt at 6: both are batched into the final report.
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::make_pair(std::string(), std::int64_t{ 7 }));
    for (const auto &[path, size] : reports) {
        EXPECT_EQ(path.find("z5"), std::string::npos) << path;
    }
}

TEST_F(ScanEngineTest, FilteredWalkReportsEveryShallowRecordOnceInOrderInFewJobs)
{
    constexpr int Files = 700;
    std::int64_t expected = 0;
    for (int i = 0; i < Files; ++i) {
        tmp.writeFile("root/d" + std::to_string(i % 3) + "/f" + std::to_string(i), i % 5);
        expected += i % 5;
    }
    for (const core::FilterThreading threading :
        { core::FilterThreading::CallerOnly, core::FilterThreading::Concurrent }) {
        std::vector<std::pair<std::string, std::int64_t>> reports;
        const auto walk = FolderInfo::filesFromDirWithFilter(
            location(tmp / "root"),
            [&](const std::string &p, std::int64_t s) {
                reports.emplace_back(p, s);
            },
            nullptr,
            [](const core::tree::WalkItem &item) {
                return item.isDir ? core::FilterType::SkipSelf : core::FilterType::NoSkip;
            },
            threading);
        const std::size_t jobs = dispatcher.runMain();
        ASSERT_EQ(walk.children.size(), std::size_t{ Files });
        EXPECT_EQ(walk.totalSize, expected);
        // One report per record, all there before the walk returned its records.
        ASSERT_EQ(reports.size(), std::size_t{ Files });
        std::int64_t reported = 0;
        std::vector<std::string> paths;
        for (const auto &[path, size] : reports) {
            reported += size;
            paths.push_back(path);
        }
        EXPECT_EQ(reported, expected);
        std::vector<std::string> walked;
        for (const auto &record : walk.children) {
            std::string path;
            ASSERT_TRUE(record->pathInto(path));
            walked.push_back(path);
        }
        if (threading == core::FilterThreading::CallerOnly) {
            EXPECT_EQ(paths, walked) << "one thread reports in walk order";
        } else {
            std::sort(paths.begin(), paths.end());
            std::sort(walked.begin(), walked.end());
            EXPECT_EQ(paths, walked);
        }
        EXPECT_LT(jobs, std::size_t{ Files / 2 }) << "reports travel in batches, not one main-queue job each";
    }
}

TEST_F(ScanEngineTest, UnreadableLocationIsSkippedAndTheScanCompletes)
{
    // Root reads everything, so the scan runs as an unprivileged user in a child.
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    tmp.writeFile("open/a", 3);
    tmp.writeFile("closed/secret", 100);
    ASSERT_EQ(::chmod((tmp / "closed").c_str(), 0700), 0);
    auto readable = category("readable");
    readable.url = location(tmp / "open");
    auto unreadable = category("unreadable");
    unreadable.urls = { location(tmp / "closed", "Children"), location(tmp / "open/a", "File") };
    setModules(1, { readable, unreadable });

    const int code = testing_support::runAsNobody([&] {
        Recorded rec;
        scanModule(1, rec);
        dispatcher.runAllQueues();
        const bool ok = rec.done == 1 && rec.percents.back() == 1.0F && categoryAt(1, 0).size == 3
            && categoryAt(1, 1).size == 3 && categoryAt(1, 1).files.size() == 1;
        return ok ? 0 : 1;
    });
    if (code == 125) {
        GTEST_SKIP() << "cannot drop to an unprivileged user here";
    }
    EXPECT_EQ(code, 0) << "the unreadable folder must count 0 and the scan must still finish";
}
