// SPDX-License-Identifier: GPL-3.0-or-later
// Locations with "*" wildcards and the exclusions of a category: what a
// pattern matches (names with spaces, bytes that are not UTF-8, glob
// characters; never through a link, out of the home or across a mount),
// how a scan lists and names the matches, and that an excluded item is
// neither listed, measured nor ever removed, whatever the scan result says.
#include "engine/CategoryLocations.h"
#include "engine/KeepList.h"
#include "support/CleanFixture.h"
#include "support/MountNamespace.h"
#include "tree/PathPattern.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using core::ModuleInfo;
using core::tree::ExpandOptions;
using core::tree::MatchKind;
using core::tree::PathPattern;
using testing_support::CannotRun;
using testing_support::exists;
using testing_support::TempDir;

namespace {

std::vector<std::string> expand(const std::string &url, const ExpandOptions &options = {})
{
    const auto pattern = PathPattern::fromFileUrl(url);
    EXPECT_TRUE(pattern.has_value()) << url;
    return pattern ? core::tree::expandPattern(*pattern, std::string(), options) : std::vector<std::string>{};
}

std::string urlOf(const std::string &path)
{
    return core::format::fileUrlFromPath(path, true);
}

TEST(PathPatternTest, AWildcardStandsForAnyNameButALeadingDot)
{
    const auto one = [](std::string_view text) {
        return PathPattern::fromRelative(text)->components.at(0);
    };
    EXPECT_TRUE(one("*").matches("Default"));
    EXPECT_TRUE(one("*").matches("Profile 1"));
    EXPECT_FALSE(one("*").matches(".hidden"));
    EXPECT_TRUE(one(".*").matches(".hidden"));
    EXPECT_TRUE(one("Profile *").matches("Profile 12"));
    EXPECT_TRUE(one("Profile *").matches("Profile "));
    EXPECT_FALSE(one("Profile *").matches("Default"));
    EXPECT_TRUE(one("*.log").matches("lsp.log"));
    EXPECT_FALSE(one("*.log").matches("lsp.log.1"));
    EXPECT_TRUE(one("a*b*c").matches("abc"));
    EXPECT_TRUE(one("a*b*c").matches("a-b-b-c"));
    EXPECT_FALSE(one("a*b*c").matches("acb"));
    EXPECT_FALSE(one("ab*ba").matches("aba")) << "the two ends may not share a byte";
    EXPECT_TRUE(one("[x]?").matches("[x]?")) << "only * is special";
    EXPECT_FALSE(one("[x]?").matches("xy"));

    EXPECT_FALSE(PathPattern::fromRelative("/abs"));
    EXPECT_FALSE(PathPattern::fromRelative("a/../b"));
    EXPECT_FALSE(PathPattern::fromRelative("a//b"));
    EXPECT_FALSE(PathPattern::fromRelative(""));
    EXPECT_FALSE(PathPattern::fromFileUrl("file://relative/*"));
    EXPECT_FALSE(PathPattern::fromFileUrl("file:///a/%2F*/b")) << "an encoded / is no name";
    EXPECT_FALSE(PathPattern::fromFileUrl("file:///a/%zz*/b"));
    EXPECT_FALSE(PathPattern::fromFileUrl("file:///a/./b"));
}

TEST(PathPatternTest, MatchesNamesOfAnyBytesWrittenOut)
{
    TempDir tmp;
    const std::string weird = std::string("bad\xff\xfe") + "name";
    for (const std::string &app : { std::string("org.gimp.GIMP"),
             std::string("with space"),
             weird,
             std::string("glob[*]?"),
             std::string("percent%41") }) {
        tmp.makeDir("var/app/" + app + "/cache");
    }
    tmp.makeDir("var/app/no-cache/data");
    tmp.writeFile("var/app/file-not-folder/cache", 3);
    tmp.makeDir("var/app/.hidden/cache");

    const std::string base = tmp / "var/app";
    EXPECT_EQ(expand(urlOf(base) + "*/cache/"),
        (std::vector<std::string>{ base + "/" + weird + "/cache",
            base + "/glob[*]?/cache",
            base + "/org.gimp.GIMP/cache",
            base + "/percent%41/cache",
            base + "/with space/cache" }));
    // A "*" written %2A is the byte itself; the rest of the name is literal.
    EXPECT_EQ(expand(urlOf(base) + "glob%5B%2A%5D%3F/*/"), std::vector<std::string>{ base + "/glob[*]?/cache" });
    EXPECT_EQ(expand(urlOf(base) + "with%20*/cache/"), std::vector<std::string>{ base + "/with space/cache" });
    // Every path expanded comes back to the same bytes through a file URL.
    for (const std::string &path : expand(urlOf(base) + "*/cache/")) {
        EXPECT_EQ(core::format::pathFromFileUrl(core::format::fileUrlFromPath(path, true)), path);
    }
    // Files when the location is a file; a missing fixed beginning matches nothing.
    tmp.writeFile("state/nvim/lsp.log", 5);
    tmp.writeFile("state/nvim/log", 5);
    tmp.makeDir("state/nvim/dir.log");
    ExpandOptions files;
    files.last = MatchKind::File;
    EXPECT_EQ(
        expand(urlOf(tmp / "state/nvim") + "*.log", files), std::vector<std::string>{ tmp / "state/nvim/lsp.log" });
    EXPECT_TRUE(expand(urlOf(tmp / "missing") + "*/cache/").empty());
}

TEST(PathPatternTest, NeverThroughALinkOutOfTheHomeOrAcrossAMount)
{
    TempDir tmp;
    const std::string home = tmp.makeDir("home");
    TempDir outside;
    outside.makeDir("app/cache");
    tmp.makeDir("home/.var/app/real/cache");
    tmp.makeLink("home/.var/app/linked", outside.path() + "/app"); // a matched name that is a link
    tmp.makeLink("home/.var/app/real2", "real"); // a link inside the home is not followed either
    tmp.makeDir("home/.var/app/cachelink");
    tmp.makeLink("home/.var/app/cachelink/cache", outside / "app/cache");
    ExpandOptions confined;
    confined.confineTo = home;
    EXPECT_EQ(
        expand(urlOf(home) + ".var/app/*/cache/", confined), std::vector<std::string>{ home + "/.var/app/real/cache" });

    // The fixed beginning may be a link inside the home, not one leading out of it.
    tmp.makeDir("home/.local/share/Steam/logs");
    tmp.makeLink("home/.steam", ".local/share/Steam");
    tmp.makeLink("home/.out", outside.path());
    EXPECT_EQ(expand(urlOf(home) + ".steam/*/", confined), std::vector<std::string>{ home + "/.steam/logs" });
    EXPECT_TRUE(expand(urlOf(home) + ".out/*/cache/", confined).empty());
    EXPECT_EQ(expand(urlOf(home) + ".out/*/cache/").size(), 1U) << "unconfined, the beginning is followed";

    const int code = testing_support::inPrivateMountNamespace([&] {
        const std::string mounted = tmp.makeDir("home/.var/app/mounted");
        if (!testing_support::bindMount(outside / "app", mounted)) {
            return CannotRun;
        }
        return expand(urlOf(home) + ".var/app/*/cache/", confined)
                == std::vector<std::string>{ home + "/.var/app/real/cache" }
            ? 0
            : 1;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    EXPECT_EQ(code, 0) << "a bind mount matched by a wildcard is not entered";
}

TEST(PathPatternTest, MarkersChooseTheFoldersAGeneralRuleReaches)
{
    TempDir tmp;
    tmp.makeDir("config/Code/GPUCache");
    tmp.makeDir("config/Code/logs");
    tmp.writeFile("config/Code/Local State", 2);
    tmp.makeDir("config/hexchat/logs"); // chat history: no Chromium here
    tmp.makeDir("config/Slack/logs");
    tmp.makeDir("config/Slack/Preferences");
    ExpandOptions options;
    options.markers = { "Local State", "Preferences" };
    EXPECT_EQ(expand(urlOf(tmp / "config") + "*/logs/", options),
        (std::vector<std::string>{ tmp / "config/Code/logs", tmp / "config/Slack/logs" }));
}

class PatternScanTest : public testing_support::CleanFixture
{
protected:
    core::FolderUrl patternLocation(const std::string &relativePattern, const std::string &type = "Folder")
    {
        core::FolderUrl url;
        url.url = urlOf(tmp.path()) + relativePattern;
        url.type = type;
        return url;
    }
};

TEST_F(PatternScanTest, EachMatchIsALocationNamedForPeopleAndListedOnce)
{
    tmp.writeFile(".var/app/org.gimp.GIMP/cache/thumbs/a", 100);
    tmp.writeFile(".var/app/org.gimp.GIMP/data/brushes/mine.gbr", 7); // the application's data
    tmp.writeFile(".var/app/com.slack.Slack/cache/blob", 50);
    tmp.writeFile("snap/firefox/common/.cache/moz/c", 30);
    tmp.writeFile("snap/firefox/5561/.cache/old", 20);
    tmp.makeLink("snap/firefox/current", "5561"); // not followed: 5561 is listed once
    tmp.writeFile("snap/firefox/5561/Documents/kept.txt", 9);
    core::Category flatpak = category("flatpak");
    flatpak.url = patternLocation(".var/app/*/cache/");
    core::Category snaps = category("snap");
    snaps.urls = { patternLocation("snap/*/*/.cache/"), patternLocation("snap/*/common/.cache/") };
    scan(1, { flatpak, snaps });

    EXPECT_EQ(recordPaths(1, 0),
        (std::vector<std::string>{ tmp / ".var/app/com.slack.Slack/cache", tmp / ".var/app/org.gimp.GIMP/cache" }));
    EXPECT_EQ(categoryAt(1, 0).files[1]->name(), "~/.var/app/org.gimp.GIMP/cache");
    EXPECT_EQ(categoryAt(1, 0).size, 150);
    EXPECT_EQ(recordPaths(1, 1),
        (std::vector<std::string>{ tmp / "snap/firefox/5561/.cache", tmp / "snap/firefox/common/.cache" }))
        << "the second pattern's match was reached by the first";
    EXPECT_EQ(categoryAt(1, 1).size, 50);

    // A new application is found by the next scan: the catalogue keeps its patterns.
    EXPECT_EQ(categoryAt(1, 0).url.url, flatpak.url.url);
    tmp.writeFile(".var/app/org.new.App/cache/x", 1);
    ModuleInfo::scan(1, {}, {}, {});
    dispatcher.runAllQueues();
    EXPECT_EQ(recordPaths(1, 0).size(), 3U);
}

TEST_F(PatternScanTest, AMatchAnEarlierCategoryListsIsLeftToIt)
{
    tmp.writeFile(".config/google-chrome/ShaderCache/s", 10);
    tmp.writeFile(".config/google-chrome/Default/GPUCache/g", 20);
    tmp.writeFile(".config/Code/ShaderCache/s", 5);
    core::Category browsers = category("browsers");
    browsers.urls = { patternLocation(".config/google-chrome/*/GPUCache/"),
        patternLocation(".config/google-chrome/ShaderCache/") };
    core::Category apps = category("apps");
    apps.urls = { patternLocation(".config/*/ShaderCache/") };
    scan(2, { browsers, apps });
    EXPECT_EQ(categoryAt(2, 0).size, 30);
    EXPECT_EQ(recordPaths(2, 1), std::vector<std::string>{ tmp / ".config/Code/ShaderCache" });
}

class ExclusionTest : public PatternScanTest
{
protected:
    /// A cache folder holding junk beside what people keep there.
    void plantCache(const std::string &root)
    {
        tmp.writeFile(root + "/JetBrains/IdeaIC2024.1/caches/index", 1000);
        tmp.writeFile(root + "/JetBrains/IdeaIC2024.1/LocalHistory/changes.storageData", 77);
        tmp.writeFile(root + "/JetBrains/PyCharm2023.3/LocalHistory/changes.storageRecordIndex", 11);
        tmp.writeFile(root + "/huggingface/hub/model.bin", 500);
        std::ofstream(tmp.writeFile(root + "/huggingface/token", 0)) << "hf_secret";
        tmp.writeFile(root + "/ibus/libpinyin/user.db", 40);
        tmp.writeFile(root + "/ibus/bus/registry", 9);
        tmp.writeFile(root + "/pip/http/x", 300);
    }

    core::Category userCache()
    {
        core::Category cache = category("cache");
        cache.url = location(tmp / ".cache");
        cache.exclude = { "JetBrains/*/LocalHistory", "huggingface/token", "ibus/libpinyin" };
        return cache;
    }

    std::vector<std::string> personal() const
    {
        return { tmp / ".cache/JetBrains/IdeaIC2024.1/LocalHistory/changes.storageData",
            tmp / ".cache/JetBrains/PyCharm2023.3/LocalHistory/changes.storageRecordIndex",
            tmp / ".cache/huggingface/token",
            tmp / ".cache/ibus/libpinyin/user.db" };
    }
};

TEST_F(ExclusionTest, ExcludedItemsAreNeitherListedNorMeasuredNorRemoved)
{
    plantCache(".cache");
    scan(1, { userCache() });
    const core::Category &cache = categoryAt(1, 0);
    EXPECT_EQ(cache.size, 1000 + 500 + 9 + 300);
    for (const auto &file : cache.files) {
        for (const auto &child : file->children) {
            EXPECT_NE(child->name(), "LocalHistory");
            EXPECT_NE(child->name(), "token");
            EXPECT_NE(child->name(), "libpinyin");
        }
    }
    selectAll(1);
    const Report out = clean(1);
    for (const std::string &path : personal()) {
        EXPECT_TRUE(exists(path)) << path;
    }
    EXPECT_EQ(testing_support::readFile(tmp / ".cache/huggingface/token"), "hf_secret");
    EXPECT_FALSE(exists(tmp / ".cache/pip/http/x"));
    EXPECT_FALSE(exists(tmp / ".cache/JetBrains/IdeaIC2024.1/caches"));
    EXPECT_FALSE(exists(tmp / ".cache/huggingface/hub"));
    EXPECT_EQ(out.freed, 1000 + 500 + 9 + 300);
}

TEST_F(ExclusionTest, AStaleOrForgedScanNeverRemovesAnExcludedItem)
{
    // The scan ran before any exclusion matched: what it lists holds them now.
    tmp.writeFile(".cache/pip/http/x", 300);
    tmp.makeDir(".cache/JetBrains");
    tmp.makeDir(".cache/ibus");
    tmp.makeDir(".cache/huggingface");
    core::Category cache = userCache();
    scan(1, { cache });
    plantCache(".cache");
    // And the list is edited to name the excluded items themselves.
    auto &files = categoryAt(1, 0).files;
    for (const std::string &path : personal()) {
        core::FolderUrl url = location(path, "File");
        if (core::FolderInfoPtr record = core::FolderInfo::folderInfo(url, false, {})) {
            files.push_back(record);
        }
    }
    // Also a location of its own that sits above the excluded items.
    core::Category whole = category("whole");
    whole.url = location(tmp.path());
    whole.exclude = { ".cache/JetBrains/*/LocalHistory", ".cache/huggingface/token", ".cache/ibus/libpinyin" };
    auto &categories = ModuleInfo::modules()[1].categories;
    categories.push_back(whole);
    categories.back().files = { core::FolderInfo::folderInfo(location(tmp / ".cache"), true, {}) };
    selectAll(1);

    const Report out = clean(1);
    for (const std::string &path : personal()) {
        EXPECT_TRUE(exists(path)) << path;
        EXPECT_EQ(out.failures.count(path), 1U) << path << " is refused";
    }
    EXPECT_FALSE(exists(tmp / ".cache/pip"));
    EXPECT_FALSE(exists(tmp / ".cache/huggingface/hub"));
    EXPECT_FALSE(exists(tmp / ".cache/JetBrains/IdeaIC2024.1/caches"));
}

TEST_F(ExclusionTest, APatternLocationExcludesBelowEachMatch)
{
    plantCache(".var/app/com.jetbrains.PyCharm/cache");
    core::Category flatpak = category("flatpak");
    flatpak.url = patternLocation(".var/app/*/cache/");
    flatpak.exclude = userCache().exclude;
    scan(1, { flatpak });
    EXPECT_EQ(categoryAt(1, 0).size, 1000 + 500 + 9 + 300);
    selectAll(1);
    (void)clean(1);
    EXPECT_TRUE(exists(tmp / ".var/app/com.jetbrains.PyCharm/cache/huggingface/token"));
    EXPECT_TRUE(exists(tmp / ".var/app/com.jetbrains.PyCharm/cache/JetBrains/IdeaIC2024.1/LocalHistory"));
    EXPECT_FALSE(exists(tmp / ".var/app/com.jetbrains.PyCharm/cache/pip"));
}

} // namespace
