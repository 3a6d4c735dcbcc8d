// SPDX-License-Identifier: GPL-3.0-or-later
// Folders marked as caches by a CACHEDIR.TAG: the tag's validity, the
// search's rules (no link followed, nothing found twice, nothing of another
// category, only the user's folders) and the scan's records.
#include "engine/KeepList.h"
#include "engine/PersonalFolders.h"
#include "support/CleanFixture.h"
#include "tree/TaggedFolders.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

using core::ModuleInfo;
using core::tree::CacheTagSignature;
using testing_support::exists;
using testing_support::TempDir;

namespace {

class TaggedCachesTest : public testing_support::CleanFixture
{
protected:
    TaggedCachesTest()
        : home(tmp.makeDir("home"))
    {
    }

    /// Writes `text` as the tag file of the folder `relative` (below home).
    void tag(const std::string &relative, const std::string &text = std::string(CacheTagSignature) + "\n") const
    {
        std::ofstream(tmp.writeFile("home/" + relative + "/CACHEDIR.TAG", 0), std::ios::binary) << text;
    }

    std::vector<std::string> found(const core::tree::TagSearchOptions &options = {}) const
    {
        return core::tree::findTaggedFolders(home, options);
    }

    std::string home;
};

TEST_F(TaggedCachesTest, OnlyTheExactSignatureAtTheStartMarksACache)
{
    tag("good");
    tag("trailing", std::string(CacheTagSignature) + "\n# This file is a cache directory tag.\n");
    tag("no-newline", std::string(CacheTagSignature));
    tag("other-hash", "Signature: 8a477f597d28d172789f06886806bc56\n");
    tag("lower-case", "signature: 8a477f597d28d172789f06886806bc55\n");
    tag("short", "Signature: 8a477f597d28d17\n");
    tag("indented", " " + std::string(CacheTagSignature) + "\n");
    tag("empty", "");
    tmp.writeFile("home/linked/x", 1);
    tmp.makeLink("home/linked/CACHEDIR.TAG", home + "/good/CACHEDIR.TAG"); // a link to a valid tag
    tmp.makeDir("home/folder-tag/CACHEDIR.TAG");

    EXPECT_EQ(found(), (std::vector<std::string>{ home + "/good", home + "/no-newline", home + "/trailing" }));
}

TEST_F(TaggedCachesTest, FindsTagsAtDepthOnceAndNeverThroughALink)
{
    tag("a/b/c/d/e/deep");
    tag("proj/target");
    tag("proj/target/debug/incremental"); // inside a found folder
    tmp.writeFile("proj/src/main.rs", 3);
    const std::string outside = tmp.makeDir("outside");
    std::ofstream(tmp.writeFile("outside/cache/CACHEDIR.TAG", 0)) << CacheTagSignature;
    tmp.makeLink("home/via-link", outside);
    tmp.makeLink("home/cache-link", outside + "/cache");
    tag(""); // the search's own root is never listed

    EXPECT_EQ(found(), (std::vector<std::string>{ home + "/a/b/c/d/e/deep", home + "/proj/target" }));
}

TEST_F(TaggedCachesTest, LeavesOutOtherCategoriesKeptItemsAndOtherOwners)
{
    tag(".cache/tool"); // inside another category's location
    tag("holder"); // holds another category's location: listing it would count that twice
    tmp.makeDir("home/holder/location");
    tag("holder/inner"); // but what else it holds is still searched
    tag("kept");
    tag("mine");
    core::tree::FileIdSet locations;
    core::tree::FileIdSet holding;
    for (const std::string &where : { home + "/.cache", home + "/holder/location" }) {
        core::tree::FileId id;
        ASSERT_TRUE(core::tree::FileIdSet::identify(where, true, id));
        locations.insert(id);
    }
    core::tree::FileId holderId;
    ASSERT_TRUE(core::tree::FileIdSet::identify(home + "/holder", true, holderId));
    holding.insert(holderId);
    core::tree::TagSearchOptions options;
    options.skipped = &locations;
    options.holdingSkipped = &holding;
    options.owner = ::geteuid();

    const auto kept = core::tree::KeptItems::resolve({ home + "/kept" });
    options.kept = kept.get();
    EXPECT_EQ(found(options), (std::vector<std::string>{ home + "/holder/inner", home + "/mine" }));
    options.kept = nullptr;
    if (::geteuid() == 0) {
        tag("theirs");
        tag("theirs/below");
        ASSERT_EQ(::chown((home + "/theirs").c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown((home + "/theirs/CACHEDIR.TAG").c_str(), 65534, 65534), 0);
        const auto withTheirs = found(options);
        EXPECT_EQ(std::count(withTheirs.begin(), withTheirs.end(), home + "/theirs"), 0);
        EXPECT_EQ(std::count(withTheirs.begin(), withTheirs.end(), home + "/theirs/below"), 0)
            << "another user's cache is not searched either";
    }
}

TEST_F(TaggedCachesTest, TheScanListsEachFolderLikeAFolderCategory)
{
    tag("proj/target");
    tmp.writeFile("home/proj/target/debug/app", 1000);
    tmp.writeFile("home/proj/target/release/app", 300);
    tag("tool/cache");
    tmp.writeFile("home/tool/cache/blob", 20);
    tag(".cache/pip"); // in the cache folder: counted by that category only
    tmp.writeFile("home/.cache/pip/wheel", 5000);
    tag("Photos"); // marked, but kept by the user
    tmp.writeFile("home/Photos/img", 7);
    ASSERT_TRUE(core::KeepList::add({ home + "/Photos" }).has_value());

    tag("app"); // holds the next category's location: that one counts it
    tmp.writeFile("home/app/data/state", 9);
    setModules(1, { atLocation(location(home + "/.cache")), atLocation(location(home + "/app/data")) });
    core::Category tagged = category("tagged", "TaggedCaches");
    tagged.url = location(home);
    ModuleInfo::modules()[2].categories = { tagged };
    std::vector<float> fractions;
    ModuleInfo::scan(2,
        {},
        [&fractions](float f) {
            fractions.push_back(f);
        },
        {});
    dispatcher.runAllQueues();

    const core::Category &result = categoryAt(2, 0);
    EXPECT_EQ(recordPaths(2, 0), (std::vector<std::string>{ home + "/proj/target", home + "/tool/cache" }));
    ASSERT_EQ(result.files.size(), 2U);
    EXPECT_EQ(result.files[0]->size, 1000 + 300 + static_cast<std::int64_t>(CacheTagSignature.size() + 1));
    EXPECT_EQ(result.files[0]->children.size(), 3U) << "CACHEDIR.TAG, debug and release, each measured";
    EXPECT_EQ(result.files[1]->findex, 1);
    EXPECT_EQ(result.size, result.files[0]->size + result.files[1]->size);
    ASSERT_FALSE(fractions.empty());
    EXPECT_FLOAT_EQ(fractions.back(), 1.0F);

    // Cleaning one empties it: the folder and its tag stay, so it stays marked
    // for backup tools and is found again by the next scan.
    ModuleInfo::updateState(1, 2, 0, 1, -1);
    const Report out = clean(2);
    EXPECT_EQ(out.removed, std::vector<std::string>{ home + "/tool/cache" });
    EXPECT_TRUE(testing_support::exists(home + "/tool/cache/CACHEDIR.TAG"));
    EXPECT_EQ(testing_support::readFile(home + "/tool/cache/CACHEDIR.TAG").substr(0, CacheTagSignature.size()),
        CacheTagSignature);
    ASSERT_EQ(categoryAt(2, 0).files.size(), 2U) << "the emptied folder stays listed with what is left";
    EXPECT_EQ(categoryAt(2, 0).files[1]->size, static_cast<std::int64_t>(CacheTagSignature.size() + 1));
    EXPECT_TRUE(testing_support::exists(home + "/proj/target/debug/app"));

    // Its tag alone, ticked as a child, is never removed.
    const std::size_t tagChild = 0; // CACHEDIR.TAG sorts first
    ASSERT_EQ(categoryAt(2, 0).files[0]->children[tagChild]->name(), "CACHEDIR.TAG");
    ModuleInfo::updateState(1, 2, 0, 0, static_cast<int>(tagChild));
    const Report tagOnly = clean(2);
    EXPECT_EQ(tagOnly.failed.size(), 1U);
    EXPECT_TRUE(testing_support::exists(home + "/proj/target/CACHEDIR.TAG"));
}

TEST_F(TaggedCachesTest, AnEmptyHomeFinishesTheCategory)
{
    core::Category tagged = category("tagged", "TaggedCaches");
    std::vector<float> fractions;
    setModules(2, { tagged });
    ModuleInfo::scan(2,
        {},
        [&fractions](float f) {
            fractions.push_back(f);
        },
        {});
    dispatcher.runAllQueues();
    ASSERT_FALSE(fractions.empty());
    EXPECT_FLOAT_EQ(fractions.back(), 1.0F);
    EXPECT_TRUE(categoryAt(2, 0).files.empty());
}

} // namespace

namespace {

using core::parseUserDirs;

TEST(UserDirsTest, ReadsQuotedHomeAndAbsoluteFoldersOnly)
{
    const std::string text = "# written by xdg-user-dirs-update\n"
                             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                             "  XDG_DOWNLOAD_DIR=\"$HOME/Stuff/Down loads\"\n"
                             "XDG_MUSIC_DIR=\"/srv/music\"\n"
                             "XDG_VIDEOS_DIR=\"$HOME/Vid\\\"eos\"\n"
                             "XDG_PICTURES_DIR=relative\n"
                             "XDG_TEMPLATES_DIR=\"Templates\"\n"
                             "OTHER_DIR=\"$HOME/Other\"\n"
                             "XDG_PUBLICSHARE=\"$HOME/Public\"\n"
                             "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"";
    EXPECT_EQ(parseUserDirs(text, "/home/ann"),
        (std::vector<std::string>{
            "/home/ann/Desktop", "/home/ann/Stuff/Down loads", "/srv/music", "/home/ann/Vid\"eos", "/home/ann/Docs" }));
    EXPECT_TRUE(parseUserDirs("", "/home/ann").empty());
}

/// A home whose own folders carry cache tags, as people tag them to keep
/// them out of backups, beside real caches.
class PersonalTagsTest : public TaggedCachesTest
{
protected:
    void tagHome(const std::string &relative) const
    {
        std::ofstream(tmp.writeFile(relative + "/CACHEDIR.TAG", 0), std::ios::binary) << CacheTagSignature << "\n";
    }

    std::vector<std::string> scanTagged()
    {
        core::Category tagged = category("tagged", "TaggedCaches");
        setModules(2, { tagged });
        ModuleInfo::scan(2, {}, {}, {});
        dispatcher.runAllQueues();
        return recordPaths(2, 0);
    }
};

TEST_F(PersonalTagsTest, NeverProposesTheUsersOwnFolders)
{
    std::ofstream(tmp.writeFile(".config/user-dirs.dirs", 0))
        << "XDG_DOWNLOAD_DIR=\"$HOME/Stuff/Incoming\"\nXDG_MUSIC_DIR=\"$HOME/Sound\"\n";
    for (const char *personal : { "Documents",
             "Downloads",
             "Stuff",
             "Stuff/Incoming",
             "media/sound",
             ".config",
             ".local",
             ".local/share",
             ".local/state",
             ".ssh",
             ".gnupg",
             ".pki",
             ".config/Spruce" }) {
        tagHome(personal);
    }
    tmp.makeLink("Sound", tmp / "media/sound"); // a user folder that is a link: judged as where it leads
    tmp.writeFile("Documents/letter.odt", 10);
    tagHome("Documents/thesis/build"); // inside a personal folder: a real cache
    tagHome(".config/app/cache");
    tagHome("proj/.venv"); // uv and virtualenv tag every environment
    tmp.writeFile("proj/.venv/pyvenv.cfg", 3);
    tagHome("vm"); // tagged to keep it out of backups, and kept
    tmp.writeFile("vm/disk.img", 100);
    tagHome("holder"); // holds a kept file
    tmp.writeFile("holder/sub/keep.me", 5);
    ASSERT_TRUE(core::KeepList::add({ tmp / "vm", tmp / "holder/sub/keep.me" }).has_value());
    tagHome("proj/target");
    tmp.writeFile("proj/target/out", 5);
    // A valid tag its folder's owner did not write: someone else marked the folder.
    tagHome("shared");
    ASSERT_EQ(::chown((tmp / "shared/CACHEDIR.TAG").c_str(), 65534, 65534), 0);

    EXPECT_EQ(scanTagged(),
        (std::vector<std::string>{ tmp / ".config/app/cache", tmp / "Documents/thesis/build", tmp / "proj/target" }));
}

TEST_F(PersonalTagsTest, TheCleanerRefusesAStaleOrForgedTaggedFolder)
{
    tagHome("proj/target");
    tmp.writeFile("proj/target/out", 5);
    tagHome("tool/cache");
    tmp.writeFile("tool/cache/blob", 5);
    tagHome("env");
    tmp.writeFile("env/lib/site.py", 5);
    tmp.writeFile("Documents/letter.odt", 10);
    tmp.writeFile(".config/app/settings.ini", 10);
    ASSERT_EQ(scanTagged().size(), 3U);
    // Since the scan: one folder lost its tag, one became a virtual environment,
    // and the results were edited to hold the settings and document folders.
    ASSERT_EQ(::unlink((tmp / "tool/cache/CACHEDIR.TAG").c_str()), 0);
    tmp.writeFile("env/pyvenv.cfg", 3);
    auto &files = categoryAt(2, 0).files;
    for (const char *forged : { ".config", "Documents" }) {
        tagHome(forged);
        core::FolderInfoPtr record = core::FolderInfo::folderInfo(location(tmp / forged), true, {});
        ASSERT_TRUE(record);
        files.push_back(record);
    }
    ModuleInfo::updateState(1, 2, 0, -1, -1);

    const Report out = clean(2);

    EXPECT_EQ(out.removed, std::vector<std::string>{ tmp / "proj/target" });
    EXPECT_EQ(out.failed.size(), 4U);
    EXPECT_NE(out.failed.at(tmp / "tool/cache").find("no longer marked"), std::string::npos);
    EXPECT_NE(out.failed.at(tmp / "env").find("virtual environment"), std::string::npos);
    EXPECT_NE(out.failed.at(tmp / ".config").find("your own folders"), std::string::npos);
    for (const char *stays :
        { "tool/cache/blob", "env/lib/site.py", "Documents/letter.odt", ".config/app/settings.ini" }) {
        EXPECT_TRUE(exists(tmp / stays)) << stays;
    }
    EXPECT_FALSE(exists(tmp / "proj/target/out"));
}

} // namespace
