// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CleanTally.h"
#include "engine/Selection.h"
#include "support/CleanFixture.h"
#include "support/EngineFixture.h"
#include "support/ScopedImmutable.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using core::FolderInfo;
using core::FolderInfoPtr;
using core::ModuleInfo;

namespace {

FolderInfoPtr record(const std::string &path, std::int64_t size, int checked, bool isFolder = false)
{
    return std::make_shared<FolderInfo>(0,
        path.substr(path.rfind('/') + 1),
        core::IconRef{ isFolder ? core::IconRef::Kind::Folder : core::IconRef::Kind::File, {} },
        size,
        core::Rgba{},
        isFolder,
        core::Timestamp{},
        core::format::fileUrlFromPath(path, isFolder),
        false,
        std::vector<FolderInfoPtr>{},
        false,
        checked);
}

std::vector<FolderInfoPtr> withStates(std::initializer_list<int> states)
{
    std::vector<FolderInfoPtr> out;
    for (const int s : states) {
        out.push_back(record("/nowhere", 0, s));
    }
    return out;
}

class CleanerTest : public testing_support::EngineFixture
{
protected:
    /// Scans module 1 (one category per location) so the records are real.
    void scanLocations(const std::vector<core::FolderUrl> &locations)
    {
        std::vector<core::Category> categories;
        for (const auto &loc : locations) {
            auto c = category("c");
            c.url = loc;
            categories.push_back(c);
        }
        setModules(1, categories);
        ModuleInfo::scan(1, {}, {}, {});
        dispatcher.runAllQueues();
    }

    /// Module 1 with one category of two files, f1 and f2, after a scan; f1
    /// is given the children x and y (states `x` and `y`) as a two-level tree has them.
    core::Category &twoLevelCategory(int x, int y)
    {
        tmp.writeFile("a/f1/x", 1);
        tmp.writeFile("a/f1/y", 1);
        tmp.writeFile("a/f2", 1);
        scanLocations({ location(tmp / "a") });
        auto &cat = categoryAt(1, 0);
        EXPECT_EQ(cat.files.size(), 2U);
        cat.files.at(0)->children = { record(tmp / "a/f1/x", 1, x), record(tmp / "a/f1/y", 1, y) };
        return cat;
    }

    struct Outcome
    {
        std::vector<std::string> deleted;
        std::vector<float> percents;
        std::vector<std::string> failed;
        int done = 0;
    };

    Outcome clean(int module, bool dryRun = false)
    {
        Outcome out;
        ModuleInfo::CleanOptions options;
        options.dryRun = dryRun;
        options.failed = [&out](const FolderInfo &r, const ModuleInfo::ItemReport &report) {
            out.failed.push_back(r.name() + ": " + report.error->message);
        };
        ModuleInfo::cleanModule(
            module,
            [&out](const std::string &path, std::int64_t) {
                out.deleted.push_back(path);
            },
            [&out](float f) {
                out.percents.push_back(f);
            },
            [&out] {
                ++out.done;
            },
            options);
        dispatcher.runAllQueues();
        return out;
    }
};

} // namespace

TEST(ParentStateTest, SumsStatesWithPartlySelectedWinning)
{
    EXPECT_EQ(ModuleInfo::calculateParentState(withStates({ 1, 1 })), 1);
    EXPECT_EQ(ModuleInfo::calculateParentState(withStates({ 0, 0 })), 0);
    EXPECT_EQ(ModuleInfo::calculateParentState(withStates({ 1, 0 })), -1);
    EXPECT_EQ(ModuleInfo::calculateParentState(withStates({ 1, -1, 1 })), -1);
    EXPECT_EQ(ModuleInfo::calculateParentState(withStates({ -1, 1 })), -1);
    EXPECT_EQ(ModuleInfo::calculateParentState({}), 0);
}

TEST_F(CleanerTest, UpdateStatePropagatesAcrossThreeLevels)
{
    auto &cat = twoLevelCategory(0, 0);
    ASSERT_EQ(cat.files.size(), 2U);

    ModuleInfo::updateState(1, 1, 0, 0, 1); // one child of f1
    EXPECT_EQ(cat.files[0]->checked, -1);
    EXPECT_EQ(cat.state, -1);
    ModuleInfo::updateState(1, 1, 0, 0, -1); // every child of f1
    EXPECT_EQ(cat.files[0]->checked, 1);
    EXPECT_EQ(cat.state, -1);
    ModuleInfo::updateState(1, 1, 0, 1, std::nullopt); // f2 has no children
    EXPECT_EQ(cat.state, 1);
    ModuleInfo::updateState(0, 1, 0, -1, -1); // the category box
    EXPECT_EQ(cat.state, 0);
    EXPECT_EQ(cat.files[0]->children[1]->checked, 0);
    ModuleInfo::updateState(1, 1, 0, std::nullopt, std::nullopt);
    EXPECT_EQ(cat.state, 1) << "a category-only update touches nothing else";
    EXPECT_EQ(cat.files[1]->checked, 0);
}

TEST_F(CleanerTest, ACategoryOnlyUpdateChangesTheCategoryAlone)
{
    auto &cat = twoLevelCategory(1, 0);
    ASSERT_EQ(cat.files.size(), 2U);
    cat.files[0]->checked = -1;
    cat.files[1]->checked = 1;
    const auto states = [&cat] {
        return std::vector<int>{ cat.files[0]->checked,
            cat.files[0]->children[0]->checked,
            cat.files[0]->children[1]->checked,
            cat.files[1]->checked };
    };
    const std::vector<int> before = states();

    // Each state, the partial one included, lands on the category as given:
    // neither pushed down to the files and children nor recomputed from them.
    for (const int state : { -1, 0, 1, -1 }) {
        ModuleInfo::updateState(state, 1, 0, std::nullopt, std::nullopt);
        EXPECT_EQ(cat.state, state);
        EXPECT_EQ(states(), before) << "after state " << state;
    }
}

TEST_F(CleanerTest, FractionsAdvancePerFileAcrossCategories)
{
    for (const char *dir : { "p", "q" }) {
        for (const char *f : { "1", "2", "3", "4" }) {
            tmp.writeFile(std::string(dir) + "/" + f, 1);
        }
    }
    scanLocations({ location(tmp / "p"), location(tmp / "q") });
    ModuleInfo::updateState(1, 1, 0, -1, -1);
    ModuleInfo::updateState(1, 1, 1, -1, -1);
    const Outcome out = clean(1);
    EXPECT_EQ(out.percents, (std::vector<float>{ 0.125F, 0.25F, 0.375F, 0.5F, 0.625F, 0.75F, 0.875F, 1.0F }));
    EXPECT_EQ(out.deleted.size(), 8U);
    EXPECT_EQ(out.done, 1);
    EXPECT_TRUE(categoryAt(1, 0).files.empty());
    EXPECT_EQ(categoryAt(1, 1).size, 0);
    EXPECT_EQ(::access((tmp / "p").c_str(), F_OK), 0) << "the location itself stays";
}

TEST_F(CleanerTest, PartlySelectedFileKeepsItsOtherChildrenRenumbered)
{
    tmp.writeFile("t/dir/a", 1);
    tmp.writeFile("t/dir/b", 10);
    tmp.writeFile("t/dir/c", 100);
    tmp.writeFile("t/other", 5);
    scanLocations({ location(tmp / "t") });
    auto &cat = categoryAt(1, 0);
    cat.files[0]->children = {
        record(tmp / "t/dir/a", 1, 0), record(tmp / "t/dir/b", 10, 0), record(tmp / "t/dir/c", 100, 0)
    };
    ModuleInfo::updateState(1, 1, 0, 0, 0);
    ModuleInfo::updateState(1, 1, 0, 0, 2);
    const Outcome out = clean(1);

    EXPECT_EQ(out.deleted, (std::vector<std::string>{ tmp / "t/dir/a", tmp / "t/dir/c" }));
    ASSERT_EQ(cat.files.size(), 2U);
    const auto &dir = cat.files[0];
    ASSERT_EQ(dir->children.size(), 1U);
    EXPECT_EQ(dir->children[0]->name(), "b");
    EXPECT_EQ(dir->children[0]->findex, 0);
    EXPECT_EQ(dir->size, 10);
    EXPECT_EQ(cat.size, 15);
    EXPECT_EQ(testing_support::readFile(tmp / "t/dir/b"), std::string(10, 'x'));
    EXPECT_EQ(::access((tmp / "t/other").c_str(), F_OK), 0);
}

// A file removed through one category leaves the children of a folder that
// another category lists: each child is judged by its own URL.
TEST_F(CleanerTest, AChildRemovedThroughAnotherCategoryLeavesItsFolder)
{
    tmp.writeFile("t/dir/a", 1);
    tmp.writeFile("t/dir/b", 10);
    tmp.writeFile("t/other", 5);
    scanLocations({ location(tmp / "t"), location(tmp / "t/dir") });
    auto &folders = categoryAt(1, 0);
    ASSERT_EQ(folders.files.size(), 2U);
    ASSERT_EQ(categoryAt(1, 1).files.size(), 2U);
    folders.files[0]->children = { record(tmp / "t/dir/a", 1, 0), record(tmp / "t/dir/b", 10, 0) };
    ModuleInfo::updateState(1, 1, 1, 0, std::nullopt);
    const Outcome out = clean(1);

    EXPECT_EQ(out.deleted, std::vector<std::string>{ tmp / "t/dir/a" });
    ASSERT_EQ(folders.files.size(), 2U);
    const auto &dir = folders.files[0];
    ASSERT_EQ(dir->children.size(), 1U);
    EXPECT_EQ(dir->children[0]->name(), "b");
    EXPECT_EQ(dir->children[0]->findex, 0);
    EXPECT_EQ(dir->size, 10);
    ASSERT_EQ(categoryAt(1, 1).files.size(), 1U);
    EXPECT_EQ(categoryAt(1, 1).files[0]->name(), "b");
}

TEST_F(CleanerTest, DeletingTheFirstOfThreeRenumbersTheRest)
{
    tmp.writeFile("r/a", 1);
    tmp.writeFile("r/b", 2);
    tmp.writeFile("r/c", 4);
    scanLocations({ location(tmp / "r") });
    ModuleInfo::updateState(1, 1, 0, 0, std::nullopt);
    const Outcome out = clean(1);

    EXPECT_EQ(out.deleted, std::vector<std::string>{ tmp / "r/a" });
    const auto &cat = categoryAt(1, 0);
    ASSERT_EQ(cat.files.size(), 2U);
    EXPECT_EQ(cat.files[0]->name(), "b");
    EXPECT_EQ(cat.files[0]->findex, 0);
    EXPECT_EQ(cat.files[1]->findex, 1);
    EXPECT_EQ(cat.size, 6);
}

TEST_F(CleanerTest, ManyRemovalsFromOneListKeepTheRestInOrder)
{
    // Every other file of 400, and every other child of a partly selected folder, goes.
    for (int i = 0; i < 400; ++i) {
        tmp.writeFile("m/f" + std::to_string(1000 + i), 1);
    }
    for (int i = 0; i < 6; ++i) {
        tmp.writeFile("m/f1000dir/c" + std::to_string(i), 10);
    }
    scanLocations({ location(tmp / "m") });
    auto &cat = categoryAt(1, 0);
    ASSERT_EQ(cat.files.size(), 401U);
    for (const auto &file : cat.files) {
        if (file->name() == "f1000dir") {
            for (int c = 0; c < 6; ++c) {
                file->children.push_back(record(tmp / ("m/f1000dir/c" + std::to_string(c)), 10, 0));
                file->children.back()->findex = c;
            }
        }
    }
    for (std::size_t i = 0; i < cat.files.size(); ++i) {
        if (cat.files[i]->name() == "f1000dir") {
            for (int c = 0; c < 6; c += 2) {
                ModuleInfo::updateState(1, 1, 0, static_cast<int>(i), c);
            }
        } else if (i % 2 == 0) {
            ModuleInfo::updateState(1, 1, 0, static_cast<int>(i), std::nullopt);
        }
    }
    const Outcome out = clean(1);
    // Files at even positions (201 of them, the folder at position 1 aside) and three children.
    EXPECT_EQ(out.deleted.size(), 201U + 3U);
    ASSERT_EQ(cat.files.size(), 401U - 201U);
    std::int64_t total = 0;
    for (std::size_t i = 0; i < cat.files.size(); ++i) {
        EXPECT_EQ(cat.files[i]->findex, static_cast<std::int64_t>(i));
        if (i > 0) {
            EXPECT_LT(cat.files[i - 1]->name(), cat.files[i]->name()); // the order of the scan
        }
        total += cat.files[i]->size;
    }
    EXPECT_EQ(cat.size, total);
    for (const auto &file : cat.files) {
        if (file->name() == "f1000dir") {
            ASSERT_EQ(file->children.size(), 3U);
            EXPECT_EQ(file->children[0]->name(), "c1");
            EXPECT_EQ(file->children[2]->findex, 2);
            EXPECT_EQ(file->size, 30);
        }
    }
}

TEST_F(CleanerTest, FailedDeletionKeepsRecordAndSize)
{
    tmp.writeFile("s/keep-me", 3);
    tmp.writeFile("s/swapped", 4);
    tmp.writeFile("s/zgone", 6);
    scanLocations({ location(tmp / "s") });
    // After the scan, a file becomes a folder: it must not be deleted.
    ASSERT_EQ(::unlink((tmp / "s/swapped").c_str()), 0);
    tmp.writeFile("s/swapped/precious", 1);
    ModuleInfo::updateState(1, 1, 0, 1, std::nullopt);
    ModuleInfo::updateState(1, 1, 0, 2, std::nullopt);
    const Outcome out = clean(1);

    ASSERT_EQ(out.failed.size(), 1U);
    EXPECT_NE(out.failed[0].find("swapped: changed since the scan"), std::string::npos) << out.failed[0];
    EXPECT_EQ(out.deleted, std::vector<std::string>{ tmp / "s/zgone" });
    const auto &cat = categoryAt(1, 0);
    ASSERT_EQ(cat.files.size(), 2U);
    EXPECT_EQ(cat.files[1]->name(), "swapped");
    EXPECT_EQ(cat.files[1]->findex, 1);
    EXPECT_EQ(cat.files[1]->checked, 1) << "the cleaner leaves selection values alone";
    EXPECT_EQ(cat.size, 3 + 4);
    EXPECT_EQ(testing_support::readFile(tmp / "s/swapped/precious"), "x");
}

TEST_F(CleanerTest, SkipsUnselectedAndLocalizationCategories)
{
    tmp.writeFile("u/f", 1);
    tmp.writeFile("l/f", 1);
    scanLocations({ location(tmp / "u"), location(tmp / "l") });
    categoryAt(1, 0).files[0]->checked = 1; // state 0 wins over a stray selected file
    categoryAt(1, 1).kind = core::CategoryKind::Localization;
    ModuleInfo::updateState(1, 1, 1, -1, -1);
    ModuleInfo::CleanOptions options;
    EXPECT_EQ(core::CleanTally::collect(1, options)->reviewOnly.size(), 1U);
    const Outcome out = clean(1);
    EXPECT_TRUE(out.deleted.empty());
    EXPECT_TRUE(out.percents.empty());
    EXPECT_EQ(out.done, 1);
    EXPECT_EQ(log.systemLines(), std::vector<std::string>{ "Localization clean is not support in current version" });
    EXPECT_EQ(categoryAt(1, 1).files.size(), 1U);
    EXPECT_EQ(::access((tmp / "u/f").c_str(), F_OK), 0);
    EXPECT_EQ(::access((tmp / "l/f").c_str(), F_OK), 0);
}

TEST_F(CleanerTest, DryRunReportsWithoutTouchingFilesOrCatalogue)
{
    tmp.writeFile("d/a", 2);
    tmp.writeFile("d/b", 3);
    scanLocations({ location(tmp / "d") });
    ModuleInfo::updateState(1, 1, 0, -1, -1);
    const Outcome out = clean(1, true);
    EXPECT_EQ(out.deleted.size(), 2U);
    EXPECT_EQ(categoryAt(1, 0).files.size(), 2U);
    EXPECT_EQ(categoryAt(1, 0).size, 5);
    EXPECT_EQ(testing_support::readFile(tmp / "d/a"), "xx");
}

TEST_F(CleanerTest, TheSummaryCountsCheckedItemsOfSelectedCategoriesOnceEach)
{
    const FolderInfoPtr shared = record("/v/film.mkv", 100, 1);
    const FolderInfoPtr twin = record("/v/film.mkv", 100, 1); // the same file in another band
    core::Module module;
    core::Category bands = category("band");
    bands.state = -1;
    bands.files = { shared, record("/v/unticked.mkv", 7, 0) };
    core::Category ages = category("age");
    ages.state = 1;
    // A file of the same name in another folder is another file.
    ages.files = { twin, record("/v/old.txt", 3, 1), record("/w/film.mkv", 40, 1) };
    core::Category off = category("off"); // ticked records in an unselected category do not count
    off.files = { record("/v/stray", 1000, 1) };
    core::Category translations = category("languages", "Localization");
    translations.state = 1;
    translations.files = { record("/usr/share/locale/xx", 5000, 1) };
    core::Category partly = category("partly");
    partly.state = -1;
    const FolderInfoPtr folder = record("/c/folder", 30, -1, true);
    folder->children = { record("/c/folder/a", 10, 1), record("/c/folder/b", 20, 0) };
    partly.files = { folder };
    module.categories = { bands, ages, off, translations, partly };

    const core::SelectionSummary summary = core::summariseSelection(module);

    EXPECT_EQ(summary.items, 4U);
    EXPECT_EQ(summary.bytes, 100 + 3 + 40 + 10);
}

TEST_F(CleanerTest, OneFileOneChoiceAcrossBandsAndStatesFromWhatIsLeft)
{
    const std::string film = tmp.writeFile("v/film.mkv", 10);
    const std::string notes = tmp.writeFile("v/notes.txt", 3);
    const std::string namesake = tmp.writeFile("w/film.mkv", 4);
    setModules(3, { category("size"), category("age") });
    auto &size = categoryAt(3, 0);
    auto &age = categoryAt(3, 1);
    size.files = { record(film, 10, 0) };
    age.files = { record(film, 10, 0), record(notes, 3, 0), record(namesake, 4, 0) };

    ModuleInfo::updateState(1, 3, 0, 0, std::nullopt);
    EXPECT_EQ(age.files[0]->checked, 1) << "ticked in one band, ticked in the other";
    EXPECT_EQ(age.files[2]->checked, 0) << "a file of the same name elsewhere is another file";
    EXPECT_EQ(age.state, -1);
    ModuleInfo::updateState(0, 3, 1, 0, std::nullopt);
    EXPECT_EQ(size.files[0]->checked, 0);
    EXPECT_EQ(size.state, 0);

    // After a clean, the same file goes from every band, and states are those of what is left.
    ModuleInfo::updateState(1, 3, 1, -1, std::nullopt);
    ModuleInfo::updateState(0, 3, 1, 1, std::nullopt);
    ModuleInfo::updateState(0, 3, 1, 2, std::nullopt);
    ASSERT_EQ(size.files[0]->checked, 1);
    ASSERT_EQ(age.state, -1);
    const Outcome out = clean(3);
    EXPECT_TRUE(out.failed.empty());
    EXPECT_TRUE(size.files.empty());
    EXPECT_EQ(size.state, 0) << "an emptied category is no longer ticked";
    EXPECT_EQ(size.size, 0);
    ASSERT_EQ(age.files.size(), 2U);
    EXPECT_EQ(age.files[0]->name(), "notes.txt");
    EXPECT_EQ(age.state, 0) << "its remaining items are unticked";
    EXPECT_EQ(age.size, 3 + 4);
}

TEST_F(CleanerTest, TheReviewOnlyNoteIsSaidOnlyForASelectedReviewOnlyCategory)
{
    tmp.writeFile("u/f", 1);
    tmp.writeFile("l/f", 1);
    scanLocations({ location(tmp / "u"), location(tmp / "l") });
    categoryAt(1, 1).kind = core::CategoryKind::Localization;
    ModuleInfo::updateState(1, 1, 0, -1, -1);
    ModuleInfo::CleanOptions options;
    EXPECT_TRUE(core::CleanTally::collect(1, options)->reviewOnly.empty());
    (void)clean(1);
    EXPECT_TRUE(log.systemLines().empty());
    EXPECT_FALSE(testing_support::exists(tmp / "u/f"));
}

TEST_F(CleanerTest, TheTallyAddsUpWhatTheCallbacksSaid)
{
    tmp.writeFile("c/a", 10);
    tmp.writeFile("c/b", 20);
    tmp.makeDir("c/sub");
    scanLocations({ location(tmp / "c") });
    ModuleInfo::updateState(1, 1, 0, -1, -1);
    ASSERT_EQ(::rmdir((tmp / "c/sub").c_str()), 0);
    ASSERT_EQ(::symlink("/", (tmp / "c/sub").c_str()), 0); // a folder became a link: refused

    ModuleInfo::CleanOptions options;
    int forwarded = 0;
    options.removed = [&forwarded](const FolderInfo &, const ModuleInfo::ItemReport &) {
        ++forwarded;
    };
    const std::shared_ptr<core::CleanTally> tally = core::CleanTally::collect(1, options);
    ModuleInfo::cleanModule(1, {}, {}, {}, options);
    dispatcher.runAllQueues();

    EXPECT_EQ(forwarded, 2) << "the callbacks set before still run";
    EXPECT_EQ(tally->removed.size(), 2U);
    EXPECT_EQ(tally->gone(), 2U);
    EXPECT_EQ(tally->freed, 30);
    EXPECT_EQ(tally->movedToTrash, 0);
    ASSERT_EQ(tally->failed.size(), 1U);
    EXPECT_EQ(tally->refusals.at(core::tree::Refusal::ChangedSinceScan), 1U);
    EXPECT_TRUE(testing_support::exists(tmp / "c/sub"));
}

TEST_F(CleanerTest, RecordsBelowAFolderThatWentLeaveEveryCategory)
{
    tmp.writeFile("c/sub/a", 1);
    tmp.writeFile("c/sub/b", 1);
    tmp.writeFile("c/other", 1);
    scanLocations({ location(tmp / "c"), location(tmp / "c/sub") });
    ASSERT_EQ(categoryAt(1, 1).files.size(), 2U);
    ModuleInfo::updateState(1, 1, 0, -1, -1);

    (void)clean(1);

    EXPECT_FALSE(testing_support::exists(tmp / "c/sub"));
    EXPECT_TRUE(categoryAt(1, 1).files.empty()) << "what was inside the folder is gone from the other category too";
    EXPECT_EQ(categoryAt(1, 1).size, 0);
}

TEST_F(CleanerTest, ABigWriteBackTakesSeveralTurnsAndChangesTheCatalogueAtTheEnd)
{
    tmp.writeFile("w/gone", 1);
    scanLocations({ location(tmp / "w") });
    // A second list of many records, the last the same file as the one that goes.
    constexpr int Many = 20'000;
    core::Category others = category("others");
    for (int i = 0; i < Many; ++i) {
        others.files.push_back(record("/nowhere/k" + std::to_string(i), 2, 0));
    }
    others.files.push_back(record(tmp / "w/gone", 1, 0));
    others.size = 2 * Many + 1;
    ModuleInfo::modules()[1].categories.push_back(others);
    ModuleInfo::updateState(1, 1, 0, -1, -1);

    int done = 0;
    ModuleInfo::cleanModule(1, {}, {}, [&done] {
        ++done;
    });
    ASSERT_GT(dispatcher.runBackground(), 0U);
    int turns = 0;
    while (done == 0 && dispatcher.runOneMain()) {
        ++turns;
        if (done == 0) {
            ASSERT_EQ(categoryAt(1, 0).files.size(), 1U) << "nothing is dropped before the last turn";
            ASSERT_EQ(categoryAt(1, 1).files.size(), std::size_t{ Many + 1 });
            ASSERT_EQ(categoryAt(1, 1).size, 2 * Many + 1);
        }
    }
    ASSERT_EQ(done, 1);
    EXPECT_GE(turns, 3) << "twenty thousand records are looked at in several turns";
    dispatcher.runAllQueues();
    EXPECT_FALSE(testing_support::exists(tmp / "w/gone"));
    EXPECT_TRUE(categoryAt(1, 0).files.empty());
    ASSERT_EQ(categoryAt(1, 1).files.size(), std::size_t{ Many });
    EXPECT_EQ(categoryAt(1, 1).size, 2 * Many);
    EXPECT_EQ(categoryAt(1, 1).files.back()->findex, Many - 1);
}

TEST_F(CleanerTest, ARecordNotBelowTheLocationItWasFoundInIsNeverFollowed)
{
    tmp.writeFile("a/f", 1);
    const std::string outside = tmp.writeFile("outside/x", 1);
    scanLocations({ location(tmp / "a") });
    ASSERT_EQ(categoryAt(1, 0).files.size(), 1U);
    categoryAt(1, 0).files[0]->setUrl(core::format::fileUrlFromPath(outside));
    ModuleInfo::updateState(1, 1, 0, -1, -1);

    const Outcome out = clean(1);

    ASSERT_EQ(out.failed.size(), 1U);
    EXPECT_NE(out.failed[0].find("not below the location it was found in"), std::string::npos) << out.failed[0];
    EXPECT_TRUE(testing_support::exists(outside));
    EXPECT_TRUE(testing_support::exists(tmp / "a/f"));
}

TEST_F(CleanerTest, AFailureThatWasNoRefusalIsNotCountedAsOne)
{
    tmp.writeFile("c/d/locked", 5);
    tmp.writeFile("c/e", 1);
    scanLocations({ location(tmp / "c") });
    ModuleInfo::updateState(1, 1, 0, -1, -1);
    const testing_support::ScopedImmutable lock(tmp / "c/d/locked");
    if (!lock.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the immutable flag";
    }

    ModuleInfo::CleanOptions options;
    const std::shared_ptr<core::CleanTally> tally = core::CleanTally::collect(1, options);
    ModuleInfo::cleanModule(1, {}, {}, {}, options);
    dispatcher.runAllQueues();

    ASSERT_EQ(tally->failed.size(), 1U);
    EXPECT_TRUE(tally->refusals.empty()) << "d failed while being removed: no refusal";
}
