// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "format/Plist.h"
#include "platform/Services.h"
#include "support/PlistBytes.h"
#include "support/TempDir.h"
#include "tree/PathPattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace core {
namespace {

using core::format::PlistValue;
using testing_support::TempDir;
using testing_support::writeBytes;
using testing_support::xmlPlist;
using testing_support::xmlToBinaryPlist;

const std::string Home = "/Users/ann";

std::string key(const std::string &k, const std::string &stringValue)
{
    return "<key>" + k + "</key><string>" + stringValue + "</string>";
}

// The three keys every category needs, then `more`.
std::string category(const std::string &title, const std::string &more = {})
{
    return "<dict>" + key("title", title) + key("image", "img") + key("description", "about " + title) + more
        + "</dict>";
}

std::string urlDict(const std::string &url, const std::string &type, const std::string &checked)
{
    return "<dict>" + key("url", url) + key("type", type) + "<key>checked</key>" + checked + "</dict>";
}

// A catalogue of five well-formed modules; a test replaces what it examines.
struct CatalogueXml
{
    static std::string module(const std::string &tab, const std::string &categories, const std::string &more = {})
    {
        std::string body = key("title", tab + " title") + key("image", tab + "Image") + key("tab", tab)
            + key("description", "about " + tab) + "<key>features</key><array/>" + more;
        if (!categories.empty()) {
            body += "<key>categories</key><array>" + categories + "</array>";
        }
        return "<dict>" + body + "</dict>";
    }

    std::array<std::string, 5> modules = {
        module("dashboard", ""),
        module("systemJunk", category("cache", key("url", "file://~/.cache/"))),
        module("applicationJunk", category("npm", key("url", "file://~/.npm/_cacache/"))),
        module("largeAndOldFile", category("b0") + category("b1") + category("b2") + category("b3")),
        module("moreTool", ""),
    };

    std::string text() const
    {
        std::string body = "<array>";
        for (const auto &m : modules) {
            body += m;
        }
        return xmlPlist(body + "</array>");
    }
};

class CatalogueTest : public testing::Test
{
protected:
    Result<std::vector<Module>> load(const std::string &bytes, const std::string &home = Home)
    {
        return ModuleInfo::loadCatalogue(writeBytes(path(), bytes), home);
    }

    // Loads a catalogue whose module 1 has `categories`; fails the test on a load error.
    std::vector<Category> module1(const std::string &categories)
    {
        CatalogueXml xml;
        xml.modules[1] = CatalogueXml::module("systemJunk", categories);
        auto loaded = load(xml.text());
        EXPECT_TRUE(loaded.has_value()) << (loaded ? "" : loaded.error().message);
        return loaded ? loaded.value()[1].categories : std::vector<Category>{};
    }

    // Made on first use: the death test must not leave one behind in its children.
    const TempDir &tmp()
    {
        if (!m_tmp) {
            m_tmp.emplace();
        }
        return *m_tmp;
    }
    std::string path() { return tmp() / "SpruceModules.plist"; }

private:
    std::optional<TempDir> m_tmp;
};

TEST_F(CatalogueTest, LoadsRecordsInFileOrder)
{
    CatalogueXml xml;
    xml.modules[1] = "<dict>" + key("title", "System Junk") + key("image", "SystemJunk") + key("tab", "systemJunk")
        + key("description", "Caches") + "<key>features</key><array><dict>" + key("image", "f1")
        + key("description", "first") + "</dict><dict>" + key("image", "f2") + key("description", "second")
        + "</dict></array><key>categories</key><array>"
        + category("Logs",
            "<key>size</key><integer>42</integer><key>urls</key><array>"
                + urlDict("file://~/a/", "Children", "<integer>1</integer>")
                + urlDict("file:///var/tmp/b", "File", "<integer>-1</integer>")
                + "</array><key>type</key><string>Folder</string><key>state</key><integer>-1</integer>")
        + category("Backups", key("url", "file://~/Backup/") + key("type", "iTunes")) + "</array></dict>";
    xml.modules[4] = CatalogueXml::module("moreTool", "", "<key>categories</key><string>none</string>");

    auto loaded = load(xml.text());
    ASSERT_TRUE(loaded.has_value()) << loaded.error().message;
    const auto &modules = loaded.value();
    ASSERT_EQ(modules.size(), 5U);

    const Module &m = modules[1];
    EXPECT_EQ(m.title, "System Junk");
    EXPECT_EQ(m.image, "SystemJunk");
    EXPECT_EQ(m.tab, "systemJunk");
    EXPECT_EQ(m.description, "Caches");
    EXPECT_EQ(m.features, (std::vector<Feature>{ { "f1", "first" }, { "f2", "second" } }));
    ASSERT_EQ(m.categories.size(), 2U);

    const Category &logs = m.categories[0];
    EXPECT_EQ(logs.title, "Logs");
    EXPECT_EQ(logs.size, 42);
    EXPECT_EQ(logs.url, FolderUrl{});
    EXPECT_EQ(logs.urls,
        (std::vector<FolderUrl>{ { "file:///Users/ann/a/", "Children", 1 }, { "file:///var/tmp/b", "File", -1 } }));
    EXPECT_EQ(logs.state, -1);
    EXPECT_TRUE(logs.files.empty());

    const Category &backups = m.categories[1];
    EXPECT_EQ(backups.url, (FolderUrl{ "file:///Users/ann/Backup/", "Folder", 0 }));
    EXPECT_TRUE(backups.urls.empty());
    EXPECT_EQ(backups.type, "iTunes");
    EXPECT_EQ(backups.size, 0);
    EXPECT_EQ(backups.state, 0);

    // A module without "categories", or with something else than an array there, has an empty list.
    EXPECT_TRUE(modules[0].categories.empty());
    EXPECT_TRUE(modules[4].categories.empty());
}

TEST_F(CatalogueTest, OptionalKeysFallBackToTheirDefaults)
{
    const auto cats = module1(
        // 0: neither "url" nor "urls"
        category("bare")
        // 1: "urls" mixing strings and dictionaries
        + category("mixed",
            "<key>urls</key><array><string>file://~/x/</string>"
                + urlDict("file://~/y/", "Folder", "<integer>0</integer>") + "</array>")
        // 2: values of the wrong type for every optional key
        + category("wrong",
            "<key>size</key><string>12</string><key>state</key><string>1</string>"
            "<key>type</key><integer>3</integer><key>url</key><integer>7</integer>"
            "<key>urls</key><string>file://~/z/</string>")
        // 3: a real is not an integer; "urls" of strings; a url without the home prefix
        + category("strings",
            "<key>size</key><real>5</real><key>state</key><true/>"
            "<key>urls</key><array><string>file://~/p/</string><string>file:///tmp/~/q</string></array>")
        // 4: the programs a category waits for: strings only, empty ones left out
        + category("apps",
            "<key>runningApps</key><array><string>code</string><integer>1</integer><string></string>"
            "<string>java org.gradle.launcher.GradleMain</string></array>")
        // 5: "runningApps" that is not an array
        + category("oneApp", "<key>runningApps</key><string>code</string>"));
    ASSERT_EQ(cats.size(), 6U);
    EXPECT_TRUE(cats[0].runningApps.empty());
    EXPECT_EQ(cats[4].runningApps, (std::vector<std::string>{ "code", "java org.gradle.launcher.GradleMain" }));
    EXPECT_TRUE(cats[5].runningApps.empty());

    EXPECT_EQ(cats[0].url, (FolderUrl{ "", "Folder", 0 }));
    EXPECT_TRUE(cats[0].urls.empty());
    EXPECT_EQ(cats[0].type, "Folder");

    EXPECT_TRUE(cats[1].urls.empty());

    EXPECT_EQ(cats[2].size, 0);
    EXPECT_EQ(cats[2].state, 0);
    EXPECT_EQ(cats[2].type, "Folder");
    EXPECT_EQ(cats[2].url, FolderUrl{});
    EXPECT_TRUE(cats[2].urls.empty());

    EXPECT_EQ(cats[3].size, 0);
    EXPECT_EQ(cats[3].state, 0);
    EXPECT_EQ(cats[3].urls,
        (std::vector<FolderUrl>{ { "file:///Users/ann/p/", "Folder", 0 }, { "file:///tmp/~/q", "Folder", 0 } }));
}

TEST_F(CatalogueTest, HomeSubstitutionEncodesTheHomeAndExpandsNothingElse)
{
    EXPECT_EQ(
        ModuleInfo::substituteHome("file://~/Library/Caches/", "/Users/ann"), "file:///Users/ann/Library/Caches/");
    EXPECT_EQ(
        ModuleInfo::substituteHome("file://~/a file://~/b", "/Users/ann"), "file:///Users/ann/a file:///Users/ann/b");
    EXPECT_EQ(ModuleInfo::substituteHome("file:///tmp/~/x", "/Users/ann"), "file:///tmp/~/x");
    EXPECT_EQ(ModuleInfo::substituteHome("file://~ann/x", "/Users/ann"), "file://~ann/x");
    EXPECT_EQ(ModuleInfo::substituteHome("~/x", "/Users/ann"), "~/x");
    EXPECT_EQ(ModuleInfo::substituteHome("file://~/x", "/"), "file:///x");
    EXPECT_EQ(ModuleInfo::substituteHome("file://~/x", "/home/ann/"), "file:///home/ann/x");

    // A home with a space, a '%' (that could pass for an escape) or a non-UTF-8 byte
    // must come back unchanged from the URL, or scans and deletions land elsewhere.
    for (const std::string home : { "/home/ann smith", "/home/50%41", "/home/caf\xE9" }) {
        const std::string url = ModuleInfo::substituteHome("file://~/.cache/", home);
        EXPECT_EQ(core::format::pathFromFileUrl(url), home + "/.cache") << url;
    }
    EXPECT_EQ(ModuleInfo::substituteHome("file://~/.cache/", "/home/ann smith"), "file:///home/ann%20smith/.cache/");
    EXPECT_EQ(ModuleInfo::substituteHome("file://~/.cache/", "/home/50%41"), "file:///home/50%2541/.cache/");
}

TEST_F(CatalogueTest, UrlConversionsUseTheInjectedUser)
{
    platform::Services services;
    services.user = platform::UserContext{ "ann", "/Users/ann" };
    const platform::ScopedServices scoped(std::move(services));

    const auto parse = [](const std::string &body) {
        return core::format::readPlistMemory(xmlPlist(body), core::format::MaxPlistNodes).value();
    };

    EXPECT_EQ(ModuleInfo::wrappCusomterUrl(nullptr), (FolderUrl{ "", "Folder", 0 }));
    const PlistValue str = parse("<string>file://~/Downloads/</string>");
    EXPECT_EQ(ModuleInfo::wrappCusomterUrl(&str), (FolderUrl{ "file:///Users/ann/Downloads/", "Folder", 0 }));
    const PlistValue dict = parse(urlDict("file://~/x", "File", "<integer>1</integer>"));
    EXPECT_EQ(ModuleInfo::wrappCusomterUrl(&dict), (FolderUrl{ "file:///Users/ann/x", "File", 1 }));
    // A url dictionary without "checked" cannot be trusted: nothing to scan.
    const PlistValue partial = parse("<dict>" + key("url", "file://~/x") + key("type", "File") + "</dict>");
    EXPECT_EQ(ModuleInfo::wrappCusomterUrl(&partial), FolderUrl{});

    EXPECT_EQ(ModuleInfo::wrappCusomterUrls(parse("<array><integer>1</integer></array>")), std::vector<FolderUrl>{});
    EXPECT_EQ(ModuleInfo::wrappCusomterUrls(parse("<array><string>file://~/a</string></array>")),
        (std::vector<FolderUrl>{ { "file:///Users/ann/a", "Folder", 0 } }));
}

struct BrokenCatalogue
{
    const char *name;
    CatalogueXml xml;
    std::string expected; // the message after "<path>: "
};

TEST_F(CatalogueTest, FaultsAreReportedInOneLineNamingFileAndEntry)
{
    const auto with = [](std::size_t index, const std::string &moduleXml) {
        CatalogueXml xml;
        xml.modules.at(index) = moduleXml;
        return xml;
    };
    const auto sysJunk = [](const std::string &categories) {
        return CatalogueXml::module("systemJunk", categories);
    };

    const std::vector<BrokenCatalogue> cases = {
        { "title missing",
            with(2,
                CatalogueXml::module("applicationJunk",
                    category("a") + category("b") + category("c") + category("d") + "<dict>" + key("image", "i")
                        + key("description", "d") + "</dict>")),
            "module 2, category 4: required key \"title\" missing" },
        { "tab not a string",
            with(2,
                "<dict>" + key("title", "t") + key("image", "i") + "<key>tab</key><integer>2</integer>"
                    + key("description", "d") + "<key>features</key><array/></dict>"),
            "module 2: key \"tab\" is not a string" },
        { "feature without description",
            with(4,
                "<dict>" + key("title", "t") + key("image", "i") + key("tab", "moreTool") + key("description", "d")
                    + "<key>features</key><array><dict>" + key("image", "i") + "</dict></array></dict>"),
            "module 4, feature 0: required key \"description\" missing" },
        { "module not a dictionary", with(1, "<string>systemJunk</string>"), "module 1: not a dictionary" },
        { "category not a dictionary",
            with(1, sysJunk("<string>cache</string>")),
            "module 1, category 0: not a dictionary" },
        { "url dictionary without checked",
            with(1,
                sysJunk(category(
                    "c", "<key>url</key><dict>" + key("url", "file://~/a") + key("type", "Folder") + "</dict>"))),
            "module 1, category 0, \"url\": required key \"checked\" missing" },
        { "urls entry with checked of the wrong type",
            with(1,
                sysJunk(category("c",
                    "<key>urls</key><array>" + urlDict("file://~/a", "Folder", "<integer>0</integer>")
                        + urlDict("file://~/b", "Folder", "<string>0</string>") + "</array>"))),
            "module 1, category 0, \"urls\": entry 1: key \"checked\" is not an integer" },
        { "fewer than five modules",
            [] {
                CatalogueXml xml;
                xml.modules[4] = "";
                return xml;
            }(),
            "4 modules, at least 5 expected (dashboard, system junk, application junk, large and old files, more "
            "tools)" },
        { "too few bands",
            with(3, CatalogueXml::module("largeAndOldFile", category("b0") + category("b1") + category("b2"))),
            "module 3: 3 categories, at least 4 expected (the size and age bands)" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto loaded = load(c.xml.text());
        ASSERT_FALSE(loaded.has_value());
        EXPECT_EQ(loaded.error().message, path() + ": " + c.expected);
        EXPECT_EQ(loaded.error().path, path());
    }
}

TEST_F(CatalogueTest, LocationsThatAreOrLeadToProtectedFoldersAreRefused)
{
    const std::string home = tmp().makeDir("home/ann");
    tmp().makeDir("home/ann/.cache");
    tmp().makeLink("home/ann/me", home);
    tmp().makeLink("home/ann/up", tmp() / "home");
    tmp().makeLink("home/ann/etc", "/etc");
    const auto loadWith = [&](const std::string &categories) {
        CatalogueXml xml;
        xml.modules[1] = CatalogueXml::module("systemJunk", categories);
        return load(xml.text(), home);
    };
    const std::vector<std::pair<std::string, std::string>> refused = {
        { key("url", "file://~/"), "\"url\": location \"file://" + home + "/\"" },
        { key("url", "file://~/me/"), "\"url\": location \"file://" + home + "/me/\"" },
        { key("url", "file://~/up"), "\"url\": location \"file://" + home + "/up\"" },
        { key("url", "file://~/etc/"), "\"url\": location \"file://" + home + "/etc/\"" },
        { "<key>urls</key><array><string>file://~/.cache/</string><string>file:///usr/</string></array>",
            "\"urls\" 1: location \"file:///usr/\"" },
        { key("url", "file:///") + key("type", "iTunes"), "\"url\": location \"file:///\"" },
    };
    for (const auto &[more, where] : refused) {
        SCOPED_TRACE(more);
        const auto loaded = loadWith(category("c", more));
        ASSERT_FALSE(loaded.has_value());
        EXPECT_EQ(loaded.error().message,
            path() + ": module 1, category 0, " + where + " is a protected folder and cannot be cleaned");
    }
    // Below the home, and translations (listed for review, never cleaned) where they are.
    EXPECT_TRUE(loadWith(category("c", key("url", "file://~/.cache/"))).has_value());
    EXPECT_TRUE(loadWith(category("c", key("url", "file://~/me/.cache/"))).has_value());
    EXPECT_TRUE(loadWith(category("c", key("url", "file:///usr/share") + key("type", "Localization"))).has_value());
}

TEST_F(CatalogueTest, FileLevelFaultsAreReportedInOneLine)
{
    const std::string good = CatalogueXml{}.text();

    const auto expectError = [&](const Result<std::vector<Module>> &loaded, const std::string &expected) {
        ASSERT_FALSE(loaded.has_value());
        EXPECT_EQ(loaded.error().message, path() + ": " + expected);
    };
    expectError(load(xmlPlist("<dict/>")), "the root is not an array");
    expectError(load(good.substr(0, good.size() / 2)), "not a valid property list");
    expectError(load(""), "empty file");
    expectError(load(good, "relative/home"), "home folder \"relative/home\" is not an absolute path");

    // A binary catalogue is as good as an XML one; a cut one is reported like cut XML.
    const std::string binary = xmlToBinaryPlist(good);
    ASSERT_FALSE(binary.empty());
    const auto fromBinary = load(binary);
    ASSERT_TRUE(fromBinary.has_value()) << fromBinary.error().message;
    EXPECT_EQ(fromBinary.value()[1].categories[0].url.url, "file:///Users/ann/.cache/");
    expectError(load(binary.substr(0, binary.size() - 10)), "not a valid property list");

    const auto missing = ModuleInfo::loadCatalogue(tmp() / "nowhere.plist", Home);
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().message, tmp() / "nowhere.plist" + ": cannot be read: No such file or directory");
}

// The child of a "threadsafe" death test runs the test body again from the
// top and ends with _Exit, so a folder it made itself would be left behind.
// It reuses the parent's folder instead, handed down through the environment.
class DeathTestDir
{
public:
    DeathTestDir()
    {
        if (const char *inherited = std::getenv(Variable);
            inherited != nullptr && *inherited != '\0') { // NOLINT(concurrency-mt-unsafe)
            m_path = inherited;
        } else {
            m_own.emplace();
            m_path = m_own->path();
            ::setenv(Variable, m_path.c_str(), 1); // NOLINT(concurrency-mt-unsafe)
        }
    }
    ~DeathTestDir()
    {
        if (m_own) {
            ::unsetenv(Variable); // NOLINT(concurrency-mt-unsafe)
        }
    }
    DeathTestDir(const DeathTestDir &) = delete;
    DeathTestDir &operator=(const DeathTestDir &) = delete;

    std::string operator/(const std::string &name) const { return m_path + "/" + name; }
    const std::string &path() const { return m_path; }

private:
    static constexpr const char *Variable = "SPRUCE_CATALOGUE_DEATH_DIR";
    std::optional<TempDir> m_own;
    std::string m_path;
};

// "threadsafe" re-executes the test binary for each case, so the process-wide
// catalogue of the child starts unloaded whatever other tests did before.
TEST_F(CatalogueTest, UnloadableCatalogueEndsTheProcessWithCode3)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const DeathTestDir dir;
    platform::Services services;
    services.user = platform::UserContext{ "ann", Home };
    services.resources = platform::ResourceLocator({ dir.path() });
    const platform::ScopedServices scoped(std::move(services));

    // A broken catalogue: one line naming the file and the entry at fault.
    CatalogueXml xml;
    xml.modules[1] = CatalogueXml::module("systemJunk", "<dict>" + key("image", "i") + "</dict>");
    const std::string broken = writeBytes(dir / "broken.plist", xml.text());
    EXPECT_EXIT(
        {
            ModuleInfo::setCataloguePath(broken);
            (void)ModuleInfo::modules();
        },
        testing::ExitedWithCode(3),
        "^[^\n]*broken\\.plist: module 1, category 0: required key \"title\" missing\n$");

    // No catalogue in the resource folders at all.
    EXPECT_EXIT((void)ModuleInfo::modules(),
        testing::ExitedWithCode(3),
        "^[^\n]*SpruceModules\\.plist: resource not found[^\n]*\n$");

    // A good catalogue found as a resource loads, with the injected home, and stays loaded.
    writeBytes(dir / "SpruceModules.plist", CatalogueXml{}.text());
    EXPECT_EXIT(
        {
            auto &modules = ModuleInfo::modules();
            const bool ok = modules.size() == 5 && modules[1].categories[0].url.url == "file:///Users/ann/.cache/"
                && &ModuleInfo::modules() == &modules;
            std::exit(ok ? 0 : 1); // NOLINT(concurrency-mt-unsafe)
        },
        testing::ExitedWithCode(0),
        "");
}

// The catalogue that ships decides what Spruce may delete: check the rules it must keep.
TEST_F(CatalogueTest, ExclusionsAndMarkersAreReadAndWrongOnesRefused)
{
    const auto cats = module1(category("cache",
                                  key("url", "file://~/.cache/")
                                      + "<key>exclude</key><array><string>JetBrains/*/LocalHistory</string>"
                                        "<string>huggingface/token</string></array>")
        + category("apps",
            "<key>urls</key><array><dict>" + key("url", "file://~/.config/*/logs/") + key("type", "Folder")
                + "<key>checked</key><integer>0</integer><key>requires</key><array><string>Local State</string>"
                  "<string>Preferences</string></array></dict><dict>"
                + key("url", "file://~/.var/app/*/cache/") + key("type", "Folder")
                + "<key>checked</key><integer>0</integer>" + key("requires", "GPUCache") + "</dict></array>"));
    ASSERT_EQ(cats.size(), 2U);
    EXPECT_EQ(cats[0].exclude, (std::vector<std::string>{ "JetBrains/*/LocalHistory", "huggingface/token" }));
    ASSERT_EQ(cats[1].urls.size(), 2U);
    EXPECT_EQ(cats[1].urls[0].url, "file:///Users/ann/.config/*/logs/");
    EXPECT_EQ(cats[1].urls[0].markers, (std::vector<std::string>{ "Local State", "Preferences" }));
    EXPECT_EQ(cats[1].urls[1].markers, std::vector<std::string>{ "GPUCache" });

    const std::vector<std::pair<std::string, std::string>> broken = {
        { "<key>exclude</key><string>token</string>", "key \"exclude\" is not an array" },
        { "<key>exclude</key><array><string>../secrets</string></array>", "\"exclude\" 0: not a relative path" },
        { "<key>exclude</key><array><string>ok</string><string>/etc</string></array>",
            "\"exclude\" 1: not a relative path" },
        { "<key>exclude</key><array><integer>1</integer></array>", "\"exclude\" 0: not a relative path" },
        { "<key>url</key><dict>" + key("url", "file://~/a/*/") + key("type", "Folder")
                + "<key>checked</key><integer>0</integer>" + key("requires", "a/b") + "</dict>",
            "which is not a name" },
        { "<key>url</key><dict>" + key("url", "file://~/a/*/") + key("type", "Folder")
                + "<key>checked</key><integer>0</integer><key>requires</key><integer>1</integer></dict>",
            "key \"requires\" is neither a string nor an array of strings" },
        { key("url", "file://~/a/%zz*/"), "is not a file URL of an absolute path" },
    };
    for (const auto &[xmlPart, expected] : broken) {
        SCOPED_TRACE(xmlPart);
        CatalogueXml xml;
        xml.modules[1] = CatalogueXml::module("systemJunk", category("c", xmlPart));
        const auto loaded = load(xml.text());
        ASSERT_FALSE(loaded.has_value());
        EXPECT_NE(loaded.error().message.find(expected), std::string::npos) << loaded.error().message;
    }
}

TEST_F(CatalogueTest, ShippedCatalogueKeepsItsRules)
{
    const std::string home = "/home/tester";
    const auto loaded =
        ModuleInfo::loadCatalogue(std::string(SPRUCE_SOURCE_DIR) + "/resources/SpruceModules.plist", home);
    ASSERT_TRUE(loaded.has_value()) << loaded.error().message;
    const auto &modules = loaded.value();

    const std::vector<std::string> tabs = {
        "dashboard", "systemJunk", "applicationJunk", "largeAndOldFile", "moreTool", "system"
    };
    ASSERT_EQ(modules.size(), tabs.size());
    for (std::size_t m = 0; m < tabs.size(); ++m) {
        EXPECT_EQ(modules[m].tab, tabs[m]);
        EXPECT_FALSE(modules[m].title.empty());
    }
    EXPECT_GE(modules[3].categories.size(), 4U);
    // The more-tools page is shipped beside the catalogue and named relative to it.
    EXPECT_TRUE(std::filesystem::is_regular_file(std::string(SPRUCE_SOURCE_DIR "/resources/") + modules[4].description))
        << modules[4].description;
    // Caches that programs hold while they run name them; one category finds the tagged caches.
    std::map<std::string, std::vector<std::string>> waitsFor;
    int tagged = 0;
    for (const Category &cat : modules[2].categories) {
        waitsFor[cat.title] = cat.runningApps;
        tagged += cat.kind == core::CategoryKind::TaggedCaches ? 1 : 0;
    }
    EXPECT_EQ(tagged, 1);
    // The system module holds system junk only, one category of each kind, located by its kind alone.
    std::set<core::CategoryKind> systemKinds;
    for (const Category &cat : modules[ModuleInfo::SystemModule].categories) {
        EXPECT_TRUE(core::isSystemKind(cat.kind)) << cat.title;
        EXPECT_TRUE(cat.url.url.empty() && cat.urls.empty()) << cat.title;
        systemKinds.insert(cat.kind);
    }
    EXPECT_EQ(systemKinds.size(), 6U);
    for (std::size_t m = 0; m < modules.size(); ++m) {
        for (const Category &cat : modules[m].categories) {
            EXPECT_EQ(core::isSystemKind(cat.kind), m == ModuleInfo::SystemModule) << cat.title;
        }
    }
    EXPECT_FALSE(waitsFor["Gradle Caches"].empty());
    EXPECT_FALSE(waitsFor["Editor and Chat App Caches"].empty());

    struct Location
    {
        std::string where;
        std::string path;
    };
    std::vector<Location> locations;
    const std::set<std::string> listTypes = { "Folder", "File", "Children" };
    for (std::size_t m = 0; m < modules.size(); ++m) {
        for (std::size_t c = 0; c < modules[m].categories.size(); ++c) {
            const Category &cat = modules[m].categories[c];
            const std::string where = "module " + std::to_string(m) + ", category " + std::to_string(c);
            EXPECT_EQ(cat.state, 0) << where;
            EXPECT_FALSE(cat.title.empty()) << where;
            EXPECT_FALSE(cat.description.empty()) << where;

            std::vector<FolderUrl> urls = cat.urls;
            if (!cat.url.url.empty()) {
                urls.push_back(cat.url);
            }
            for (const FolderUrl &u : urls) {
                EXPECT_EQ(u.checked, 0) << where;
                EXPECT_EQ(listTypes.count(u.type), 1U) << where << " " << u.type;
                const auto p = core::format::pathFromFileUrl(u.url);
                ASSERT_TRUE(p.has_value()) << where << " " << u.url;
                // Per-user locations only, strictly inside the home folder; the
                // localization scanner only reports and never deletes.
                if (!core::isReviewOnly(cat)) {
                    EXPECT_EQ(p->rfind(home + "/", 0), 0U) << where << " " << *p;
                }
                locations.push_back({ where, *p });
            }
        }
    }
    ASSERT_FALSE(locations.empty());

    // No location inside another, across all categories: nothing counted or deleted twice. A
    // wildcard may reach a place another category lists (a browser's folder among every
    // application's), as long as it comes later: the scan leaves that place to the earlier one.
    const auto components = [](const std::string &path) {
        return core::tree::PathPattern::fromRelative(path.substr(1))->components;
    };
    for (std::size_t o = 0; o < locations.size(); ++o) {
        const auto outer = components(locations[o].path);
        for (std::size_t i = 0; i < locations.size(); ++i) {
            const auto inner = components(locations[i].path);
            if (o == i || inner.size() < outer.size()) {
                continue;
            }
            bool meets = true;
            for (std::size_t k = 0; k < outer.size() && meets; ++k) {
                // As written: an inner wildcard is met only by an outer one.
                std::string text;
                for (std::size_t p = 0; p < inner[k].pieces.size(); ++p) {
                    text += (p > 0 ? "*" : "") + inner[k].pieces[p];
                }
                meets = outer[k].matches(text) || (outer[k].isPattern() && inner[k].isPattern());
            }
            const bool laterIsWildcard = (i > o ? locations[i].path : locations[o].path).find('*') != std::string::npos;
            const bool allowed = inner.size() == outer.size() && laterIsWildcard;
            EXPECT_FALSE(meets && !allowed) << locations[i].where << " " << locations[i].path << " lies in "
                                            << locations[o].where << " " << locations[o].path;
        }
    }

    // What people keep in their cache folders although it is no cache is never listed.
    for (const Category &cat : modules[1].categories) {
        if (cat.title == "User Cache Files") {
            for (const char *kept : { "JetBrains/*/LocalHistory",
                     "ibus/libpinyin",
                     "huggingface/token",
                     "huggingface/stored_tokens",
                     "pypoetry/virtualenvs" }) {
                EXPECT_EQ(std::count(cat.exclude.begin(), cat.exclude.end(), kept), 1) << kept;
            }
        }
    }
}

} // namespace
} // namespace core
