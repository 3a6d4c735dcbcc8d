// The always-keep list: its file, scans that leave kept items out (also
// inside folders measured whole), and the cleaner refusing them again.
#include "engine/KeepList.h"

#include "support/CleanFixture.h"
#include "tree/KeptItems.h"
#include "tree/TreeSize.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using core::KeepList;
using core::ModuleInfo;
using testing_support::exists;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

constexpr std::int64_t MiB = testing_support::MiB;

class KeepListTest : public testing_support::CleanFixture
{
protected:
    void keep(const std::vector<std::string> &paths)
    {
        const auto added = KeepList::add(paths);
        ASSERT_TRUE(added.has_value()) << added.error().message;
    }

    void unkeep(const std::vector<std::string> &paths)
    {
        const auto removed = KeepList::remove(paths);
        ASSERT_TRUE(removed.has_value()) << removed.error().message;
    }

    /// The record names of a category, with their sizes.
    std::map<std::string, std::int64_t> sizes(int module, int categoryIndex)
    {
        std::map<std::string, std::int64_t> out;
        for (const auto &record : categoryAt(module, categoryIndex).files) {
            out[record->name()] = record->size;
        }
        return out;
    }
};

TEST_F(KeepListTest, FileKeepsAnyPathAndWhatAPersonWroteInIt)
{
    EXPECT_EQ(KeepList::filePath(), tmp.path() + "/.config/Spruce/always-keep");
    ASSERT_TRUE(KeepList::load().has_value());
    EXPECT_TRUE(KeepList::load().value().empty()) << "no file yet: nothing kept";

    const std::string odd = tmp / "line\nbreak \xff name";
    const auto added = KeepList::add({ odd, tmp / "folder/", tmp / "folder" });
    ASSERT_TRUE(added.has_value());
    EXPECT_EQ(added.value(), (std::vector<std::string>{ odd, tmp / "folder" }))
        << "a trailing / and a repeat add nothing";
    EXPECT_EQ(KeepList::load().value(), added.value());

    // A line of one's own and a comment survive the next rewrite.
    {
        std::FILE *f = std::fopen(KeepList::filePath().c_str(), "a");
        std::fputs("# mine\nnot a url\n", f);
        std::fclose(f);
    }
    keep({ tmp / "later" });
    unkeep({ odd });
    EXPECT_EQ(KeepList::load().value(), (std::vector<std::string>{ tmp / "folder", tmp / "later" }));
    const std::string text = readFile(KeepList::filePath());
    EXPECT_NE(text.find("# mine\nnot a url\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nfile://" + tmp.path() + "/folder\n"), std::string::npos) << text;

    const auto relative = KeepList::add({ "relative/path" });
    ASSERT_FALSE(relative.has_value());
    EXPECT_EQ(relative.error().code, EINVAL);
    EXPECT_EQ(KeepList::remove({ tmp / "never-kept" }).value(), std::vector<std::string>{});

    struct stat st
    {
    };
    ASSERT_EQ(::stat(KeepList::filePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U) << "the list is the user's own";
}

TEST_F(KeepListTest, AListThatCannotBeReadIsAnError)
{
    tmp.makeDir(".config/Spruce/always-keep"); // a folder where the file should be
    EXPECT_FALSE(KeepList::load().has_value());
    EXPECT_FALSE(KeepList::resolve().has_value());
    EXPECT_FALSE(KeepList::add({ tmp / "x" }).has_value());
}

TEST(KeptItems, MatchByIdentityNotByName)
{
    TempDir tmp;
    const std::string file = tmp.writeFile("a/file", 3);
    tmp.makeDir("b/deep/er");
    tmp.makeLink("to-b", tmp / "b");
    ASSERT_EQ(::link(file.c_str(), (tmp / "hard").c_str()), 0);

    EXPECT_EQ(core::tree::KeptItems::resolve({ tmp / "missing", tmp / "also/missing" }), nullptr)
        << "nothing that exists: nothing to match";

    const auto kept = core::tree::KeptItems::resolve({ file, tmp / "to-b", tmp / "missing" });
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(kept->covers(tmp / "hard")) << "another name of a kept file";
    EXPECT_TRUE(kept->covers(tmp / "b/deep/er")) << "below the folder a kept link leads to";
    EXPECT_TRUE(kept->covers(tmp / "to-b/deep")) << "reached through the link";
    EXPECT_FALSE(kept->covers(tmp / "a"));
    EXPECT_FALSE(kept->covers(tmp.path()));
    EXPECT_FALSE(kept->covers(tmp / "missing")) << "a kept path that is not there matches nothing";

    struct stat st
    {
    };
    ASSERT_EQ(::stat((tmp / "b").c_str(), &st), 0);
    EXPECT_FALSE(kept->holdsKeptItem({ st.st_dev, st.st_ino })) << "b is kept itself, but holds nothing kept";
    ASSERT_EQ(::stat(tmp.path().c_str(), &st), 0);
    EXPECT_TRUE(kept->holdsKeptItem({ st.st_dev, st.st_ino }));

    // A link inside a kept folder is below it, wherever it leads.
    tmp.makeLink("b/out", tmp / "a");
    const auto keptB = core::tree::KeptItems::resolve({ tmp / "b" });
    EXPECT_TRUE(keptB->covers(tmp / "b/out"));
    EXPECT_FALSE(keptB->covers(tmp / "a"));

    // A kept path that appears later is matched once the list is read again.
    tmp.writeFile("missing", 1);
    EXPECT_FALSE(kept->covers(tmp / "missing"));
    EXPECT_TRUE(core::tree::KeptItems::resolve({ tmp / "missing" })->covers(tmp / "missing"));
}

TEST_F(KeepListTest, ScansLeaveKeptItemsOutEvenInsideFoldersMeasuredWhole)
{
    tmp.writeFile("cache/app/blob", 1000);
    tmp.writeFile("cache/app/sub/kept.bin", 200);
    tmp.writeFile("cache/keepdir/x", 50);
    tmp.writeFile("cache/other", 7);
    tmp.writeFile("logs/old.log", 30);
    tmp.writeFile("held/inner/a", 5);
    tmp.writeFile("children/one", 11);
    tmp.writeFile("children/two", 13);
    const std::string bigKept = oldFile("Movies/kept.mkv", 150 * MiB);
    const std::string inKeptFolder = oldFile("Archive/old.txt", 10);
    const std::string bigShown = oldFile("Movies/shown.mkv", 120 * MiB);
    keep({ tmp / "cache/app/sub/kept.bin",
        tmp / "cache/keepdir",
        tmp / "logs/old.log",
        tmp / "held",
        tmp / "children/two",
        bigKept,
        tmp / "Archive" });

    // Junk categories in module 1, the large and old files bands in module 3.
    auto scanBoth = [this] {
        scan(1,
            { atLocation(location(tmp / "cache")),
                withLocations({ location(tmp / "logs/old.log", "File"), location(tmp / "held/inner") }),
                withLocations({ location(tmp / "children", "Children") }) });
        ModuleInfo::modules()[3].categories = fourBands();
        ModuleInfo::scan(3, {}, {}, {});
        dispatcher.runAllQueues();
    };
    scanBoth();
    EXPECT_EQ(sizes(1, 0), (std::map<std::string, std::int64_t>{ { "app", 1000 }, { "other", 7 } }));
    EXPECT_EQ(categoryAt(1, 0).size, 1007);
    EXPECT_TRUE(categoryAt(1, 1).files.empty()) << "a kept file and a location below a kept folder";
    EXPECT_EQ(categoryAt(1, 1).size, 0);
    EXPECT_EQ(sizes(1, 2), (std::map<std::string, std::int64_t>{ { "one", 11 } }));

    // The deep walk of the large and old files module leaves them out too.
    EXPECT_EQ(recordPaths(3, 0), std::vector<std::string>{ bigShown });
    EXPECT_EQ(recordPaths(3, 2), std::vector<std::string>{ bigShown });

    // Taken off the list, they are back at the next scan.
    unkeep({ tmp / "cache/app/sub/kept.bin", tmp / "cache/keepdir", tmp / "held", bigKept, tmp / "Archive" });
    scanBoth();
    EXPECT_EQ(sizes(1, 0), (std::map<std::string, std::int64_t>{ { "app", 1200 }, { "keepdir", 50 }, { "other", 7 } }));
    EXPECT_EQ(categoryAt(1, 1).files.size(), 1U) << "held/inner is back; logs/old.log is still kept";
    EXPECT_EQ(recordPaths(3, 0).size(), 2U);
    EXPECT_EQ(recordPaths(3, 2).size(), 3U);
}

TEST_F(KeepListTest, TheCleanerRefusesWhatWasKeptAfterTheScan)
{
    tmp.writeFile("cache/app/blob", 1000);
    tmp.writeFile("cache/app/sub/kept.bin", 200);
    tmp.writeFile("cache/other", 7);
    tmp.writeFile("cache/gone", 3);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    keep({ tmp / "cache/app/sub/kept.bin", tmp / "cache/other" });

    const Report dry = clean(1, true);
    EXPECT_EQ(dry.removed, std::vector<std::string>{ tmp / "cache/gone" });
    EXPECT_EQ(dry.failed.size(), 2U);

    const Report out = clean(1);
    EXPECT_EQ(out.removed, std::vector<std::string>{ tmp / "cache/gone" });
    EXPECT_EQ(out.failed.at(tmp / "cache/other"), tmp / "cache/other: on the always-keep list; not deleted");
    EXPECT_EQ(out.failed.at(tmp / "cache/app"), tmp / "cache/app/sub/kept.bin: on the always-keep list; left in place");
    const ModuleInfo::ItemReport &partial = out.failures.at(tmp / "cache/app");
    EXPECT_EQ(partial.freed, 1000) << "the rest of the folder went";
    EXPECT_EQ(partial.left, 200);
    EXPECT_EQ(out.freed, 1003);
    EXPECT_EQ(readFile(tmp / "cache/app/sub/kept.bin"), std::string(200, 'x'));
    EXPECT_TRUE(exists(tmp / "cache/other"));
    EXPECT_FALSE(exists(tmp / "cache/app/blob"));
    EXPECT_EQ(categoryAt(1, 0).size, 207) << "what stays is counted again";
}

TEST_F(KeepListTest, NothingBelowAKeptFolderIsDeleted)
{
    tmp.writeFile("cache/a", 1);
    tmp.writeFile("cache/b/c", 2);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    keep({ tmp / "cache" }); // the location itself, after the scan

    const Report out = clean(1);
    EXPECT_TRUE(out.removed.empty());
    EXPECT_EQ(out.failed.size(), 2U);
    for (const auto &[path, why] : out.failed) {
        EXPECT_NE(why.find("on the always-keep list; not deleted"), std::string::npos) << path << ": " << why;
    }
    EXPECT_TRUE(exists(tmp / "cache/a"));
    EXPECT_TRUE(exists(tmp / "cache/b/c"));
}

TEST_F(KeepListTest, ALocationThatIsALinkInsideAKeptFolderIsNotCleaned)
{
    tmp.writeFile("disk/cache/a", 1);
    tmp.makeLink("kept/cache-link", tmp / "disk/cache");
    scan(1, { atLocation(location(tmp / "kept/cache-link")) });
    ASSERT_EQ(categoryAt(1, 0).files.size(), 1U);
    selectAll(1);
    keep({ tmp / "kept" });

    const Report out = clean(1);
    EXPECT_TRUE(out.removed.empty());
    EXPECT_TRUE(exists(tmp / "disk/cache/a"));
    scan(1, { atLocation(location(tmp / "kept/cache-link")) });
    EXPECT_TRUE(categoryAt(1, 0).files.empty()) << "nor listed by the next scan";
}

TEST_F(KeepListTest, AnUnreadableListStopsTheWholeClean)
{
    tmp.writeFile("cache/a", 1);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    tmp.makeDir(".config/Spruce/always-keep");

    const Report out = clean(1);
    EXPECT_TRUE(out.removed.empty());
    ASSERT_EQ(out.failed.size(), 1U);
    EXPECT_NE(out.failed.begin()->second.find("the always-keep list cannot be read"), std::string::npos);
    EXPECT_TRUE(exists(tmp / "cache/a"));
}

TEST(KeptItems, TreeSizeCountsNothingKeptAndZeroForAKeptRoot)
{
    TempDir tmp;
    tmp.writeFile("t/a", 10);
    tmp.writeFile("t/k/b", 20);
    tmp.writeFile("t/c", 40);
    const auto kept = core::tree::KeptItems::resolve({ tmp / "t/k", tmp / "t/c" });
    EXPECT_EQ(core::tree::treeSize(tmp / "t"), 70) << "no list given: everything counts";
    const core::tree::TreeSizeOptions options{ .threads = 0, .kept = kept.get() };
    EXPECT_EQ(core::tree::treeSize(tmp / "t", options), 10);
    EXPECT_EQ(core::tree::treeSize(tmp / "t/k", options), 0);
}

} // namespace
