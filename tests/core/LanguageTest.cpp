// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LanguageInfo.h"
#include "format/Locale.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>

using core::LanguageInfo;
using core::format::LocaleEnvironment;
using core::format::LocaleProvider;

namespace {

/// The identifier a Language stands for: its first folder name without ".lproj".
std::string identifierOf(const core::Language &language)
{
    const std::string &first = language.folders.front();
    return first.substr(0, first.size() - std::string(".lproj").size());
}

const core::Language *findLanguage(const std::vector<core::Language> &languages, const std::string &id)
{
    const auto it = std::find_if(languages.begin(), languages.end(), [&](const core::Language &l) {
        return identifierOf(l) == id;
    });
    return it == languages.end() ? nullptr : &*it;
}

bool hasFolder(const core::Language *language, const std::string &folder)
{
    return language != nullptr
        && std::find(language->folders.begin(), language->folders.end(), folder) != language->folders.end();
}

/// English and Brazilian Portuguese preferred, messages in US English.
LocaleEnvironment englishAndBrazilian()
{
    return { { "LANGUAGE", "en:pt_BR" }, { "LANG", "en_US.UTF-8" } };
}

} // namespace

TEST(LocaleProviderTest, PreferredLanguagesAndCurrentLocaleFollowGettext)
{
    struct Case
    {
        LocaleEnvironment env;
        std::vector<std::string> preferred;
        std::string identifier;
        std::string language;
    };
    const std::vector<Case> cases = {
        { {}, { "en" }, "en_US_POSIX", "en" },
        { { { "LANG", "C.UTF-8" }, { "LANGUAGE", "de:fr" } }, { "en" }, "en_US_POSIX", "en" },
        { { { "LC_ALL", "POSIX" }, { "LANG", "de_DE.UTF-8" } }, { "en" }, "en_US_POSIX", "en" },
        { { { "LC_ALL", "" }, { "LC_MESSAGES", "" }, { "LANG", "pt_BR.UTF-8" } }, { "pt-BR" }, "pt_BR", "pt" },
        { { { "LC_ALL", "" }, { "LANG", "" } }, { "en" }, "en_US_POSIX", "en" },
        { { { "LANG", "sr_RS@latin" } }, { "sr-Latn-RS" }, "sr_Latn_RS", "sr" },
        { { { "LANG", "sr_RS.UTF-8@latin" } }, { "sr-Latn-RS" }, "sr_Latn_RS", "sr" },
        { { { "LANG", "de_DE@euro" } }, { "de-DE" }, "de_DE", "de" },
        { { { "LANG", "ca_ES.UTF-8@valencia" } }, { "ca-ES" }, "ca_ES", "ca" },
        { { { "LANGUAGE", "en:pt_BR" }, { "LANG", "de_DE.UTF-8" } }, { "en", "pt-BR" }, "de_DE", "de" },
        { { { "LANGUAGE", "fr::C:fr_FR.UTF-8:fr" }, { "LC_MESSAGES", "fr_FR.UTF-8" }, { "LANG", "de_DE.UTF-8" } },
            { "fr", "fr-FR" },
            "fr_FR",
            "fr" },
        { { { "LANGUAGE", "C" }, { "LANG", "it_IT.UTF-8" } }, { "en" }, "it_IT", "it" },
        { { { "LANG", "../../etc/passwd" } }, { "en" }, "en_US_POSIX", "en" },
    };
    for (const Case &c : cases) {
        std::string label;
        for (const auto &[name, value] : c.env) {
            label += name + "=" + value + " ";
        }
        SCOPED_TRACE(label);
        const LocaleProvider provider(c.env);
        EXPECT_EQ(provider.preferredLanguages(), c.preferred);
        EXPECT_EQ(provider.currentIdentifier(), c.identifier);
        EXPECT_EQ(provider.currentLanguageCode(), c.language);
    }
}

TEST(LocaleDataTest, IcuIdentifiersPartsAndNames)
{
    const auto ids = core::format::availableLocaleIdentifiers();
    for (const char *id : { "de", "en_US_POSIX", "zh_Hans_CN", "pt_BR" }) {
        EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << id;
    }

    const auto zh = core::format::parseLocaleIdentifier("zh_Hans_CN");
    EXPECT_EQ(zh.language + "/" + zh.script + "/" + zh.region + "/" + zh.variant, "zh/Hans/CN/");
    const auto ca = core::format::parseLocaleIdentifier("ca_ES_VALENCIA");
    EXPECT_EQ(ca.language + "/" + ca.script + "/" + ca.region + "/" + ca.variant, "ca//ES/VALENCIA");

    EXPECT_EQ(core::format::localeDisplayName("de", "en_US_POSIX"), "German");
    EXPECT_EQ(core::format::localeDisplayName("de", "de"), "Deutsch");
    EXPECT_EQ(core::format::localeDisplayName("tlh", "en_US_POSIX"), "Klingon");
    EXPECT_EQ(core::format::localeDisplayName("md", "en_US_POSIX"), std::nullopt) << "ICU only echoes the code";

    // A locale without data must not let ICU fall back to the process default.
    EXPECT_EQ(core::format::displayLocale("de_AT"), "de_AT");
    EXPECT_EQ(core::format::displayLocale("xx_YY"), "en_US_POSIX");
}

class LanguageTest : public testing_support::EngineFixture
{
protected:
    static core::LanguageOptions options(LocaleEnvironment env, std::vector<std::string> blackList = {})
    {
        core::LanguageOptions o;
        o.locale = LocaleProvider(std::move(env));
        o.extraBlackList = std::move(blackList);
        return o;
    }

    /// The platform's fixture: a usr/share with gettext, manual and help
    /// trees, a decoy, a black-listed tree, a hidden entry, a link and an
    /// application bundle with a nested localization.
    std::string buildShare()
    {
        const std::string share = "usr/share/";
        tmp.writeFile(share + "locale/de/LC_MESSAGES/app.mo", 300);
        tmp.writeFile(share + "locale/en/LC_MESSAGES/app.mo", 1);
        tmp.writeFile(share + "locale/en_GB/LC_MESSAGES/app.mo", 50);
        tmp.writeFile(share + "locale/pt/LC_MESSAGES/app.mo", 2);
        tmp.writeFile(share + "locale/pt_BR/LC_MESSAGES/app.mo", 3);
        tmp.writeFile(share + "locale/sr@latin/LC_MESSAGES/app.mo", 60);
        tmp.writeFile(share + "locale/C/LC_MESSAGES/app.mo", 4);
        tmp.makeDir(share + "locale/fr"); // empty: measures 0
        tmp.writeFile(share + "man/de/man1/ls.1", 70);
        tmp.writeFile(share + "man/man1/ls.1", 8);
        tmp.writeFile(share + "help/fr/app/index.page", 40);
        tmp.writeFile(share + "foo/it/x", 100); // "it" outside a localization parent
        tmp.makeDir(share + "bar/locale/es"); // only empty surplus folders
        tmp.writeFile(share + "icons/locale/de/x", 1000); // black-listed below
        tmp.writeFile(share + ".hidden/locale/de/x", 9);
        tmp.makeLink(share + "linked", "locale");
        tmp.writeFile(share + "README", 11);
        const std::string resources = share + "Foo.app/Contents/Resources/";
        tmp.writeFile(resources + "en.lproj/a", 10);
        tmp.writeFile(resources + "de.lproj/b", 20);
        tmp.writeFile(resources + "de.lproj/fr.lproj/c", 5); // nested in a matched folder
        tmp.writeFile(resources + "xx.lproj/d", 7); // no such language
        return tmp / "usr/share";
    }

    /// Records as "relative/path size" lines, children indented.
    static std::vector<std::string> describe(const std::vector<core::FolderInfoPtr> &records, const std::string &root)
    {
        std::vector<std::string> lines;
        const auto relative = [&](const core::FolderInfo &r) {
            return core::format::pathFromFileUrl(r.url()).value_or("?").substr(root.size() + 1);
        };
        for (const auto &record : records) {
            lines.push_back(relative(*record) + " " + std::to_string(record->size));
            for (const auto &child : record->children) {
                lines.push_back("  " + relative(*child) + " " + std::to_string(child->size));
            }
        }
        return lines;
    }
};

TEST_F(LanguageTest, KeepsExactlyTheUsersLanguages)
{
    LanguageInfo info(core::format::fileUrlFromPath(tmp.path(), true), options(englishAndBrazilian()));
    const auto &languages = info.getLanguages();

    std::set<std::string> kept;
    std::set<std::string> seen;
    for (const auto &language : languages) {
        EXPECT_TRUE(seen.insert(identifierOf(language)).second) << "listed twice: " << identifierOf(language);
        if (!language.enabled) {
            kept.insert(identifierOf(language));
        }
    }
    // "en", the Portuguese code and pt_BR from the tags; en_US is the current locale.
    EXPECT_EQ(kept, (std::set<std::string>{ "en", "en_US", "pt", "pt_BR" }));
    for (const char *extra : { "tlh", "md", "zh_TW", "tk_Cyrl", "ach" }) {
        EXPECT_TRUE(seen.contains(extra)) << extra;
    }
    EXPECT_TRUE(std::is_sorted(languages.begin(), languages.end(), [](const auto &a, const auto &b) {
        return a.displayName < b.displayName;
    }));

    const core::Language *german = findLanguage(languages, "de");
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(german->displayName, "German");
    EXPECT_EQ(german->folders.front(), "de.lproj");
    EXPECT_TRUE(hasFolder(german, "German.lproj")) << "a bare language is also found under its English name";
    EXPECT_TRUE(hasFolder(german, "de"));
    EXPECT_FALSE(hasFolder(german, "German")) << "no English-name folders without .lproj";
    const core::Language *brazilian = findLanguage(languages, "pt_BR");
    EXPECT_TRUE(hasFolder(brazilian, "pt-BR.lproj"));
    EXPECT_TRUE(hasFolder(brazilian, "pt_BR"));
    EXPECT_EQ(std::count(brazilian->folders.begin(), brazilian->folders.end(), "pt_BR.lproj"), 1);
    EXPECT_TRUE(hasFolder(findLanguage(languages, "zh_Hans_CN"), "zh-Hans-CN.lproj"));
    EXPECT_TRUE(hasFolder(findLanguage(languages, "sr_Latn"), "sr-Latn.lproj"));
    EXPECT_TRUE(hasFolder(findLanguage(languages, "sr_Latn"), "sr@latin"));
    EXPECT_TRUE(hasFolder(findLanguage(languages, "en_US_POSIX"), "en-US_POSIX.lproj"));
    EXPECT_EQ(findLanguage(languages, "md")->displayName, "md") << "no name and no string table";
}

TEST_F(LanguageTest, NamesFollowTheCurrentLocaleAndFallBackToTheStringTable)
{
    core::platform::services().resources =
        core::platform::ResourceLocator({ std::string(SPRUCE_SOURCE_DIR) + "/resources" });
    LanguageInfo info(core::format::fileUrlFromPath(tmp.path(), true), options({ { "LANG", "de_DE.UTF-8" } }));
    const auto &languages = info.getLanguages();
    EXPECT_EQ(findLanguage(languages, "de")->displayName, "Deutsch");
    EXPECT_EQ(findLanguage(languages, "md")->displayName, "Moldovan");
    EXPECT_FALSE(findLanguage(languages, "de_DE")->enabled);
    EXPECT_TRUE(findLanguage(languages, "de_AT")->enabled);

    // A Serbian Latin user keeps the sr@latin folders gettext reads for sr_RS@latin.
    LanguageInfo serbian(core::format::fileUrlFromPath(tmp.path(), true), options({ { "LANG", "sr_RS.UTF-8@latin" } }));
    EXPECT_FALSE(findLanguage(serbian.getLanguages(), "sr_Latn")->enabled);
    EXPECT_FALSE(findLanguage(serbian.getLanguages(), "sr")->enabled);
    EXPECT_TRUE(findLanguage(serbian.getLanguages(), "sr_Cyrl")->enabled);
}

TEST_F(LanguageTest, ReportsOnlySurplusFoldersOfTheFixtureShare)
{
    const std::string share = buildShare();
    LanguageInfo info(core::format::fileUrlFromPath(share, true), options(englishAndBrazilian(), { share + "/icons" }));
    std::vector<std::pair<std::string, std::int64_t>> reports;
    std::vector<float> steps;
    const auto records = info.scanApplicationLanguage(
        [&](const std::string &path, std::int64_t size) {
            reports.emplace_back(path, size);
        },
        [&](float step) {
            steps.push_back(step);
        });
    EXPECT_TRUE(reports.empty() && steps.empty()) << "reports go through the main queue";
    dispatcher.runMain();

    EXPECT_EQ(describe(records, share),
        (std::vector<std::string>{
            "Foo.app 25",
            "  Foo.app/Contents/Resources/de.lproj 25",
            "help 40",
            "  help/fr 40",
            "locale 410",
            "  locale/de 300",
            "  locale/en_GB 50",
            "  locale/sr@latin 60",
            "man 70",
            "  man/de 70",
        }));
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]->findex, static_cast<std::int64_t>(i));
        EXPECT_EQ(records[i]->checked, 0);
        for (std::size_t c = 0; c < records[i]->children.size(); ++c) {
            EXPECT_EQ(records[i]->children[c]->findex, static_cast<std::int64_t>(c));
            EXPECT_TRUE(records[i]->children[c]->children.empty());
        }
    }
    EXPECT_EQ(reports,
        (std::vector<std::pair<std::string, std::int64_t>>{
            { share + "/Foo.app", 25 }, { share + "/help", 40 }, { share + "/locale", 410 }, { share + "/man", 70 } }));
    // Nine visible entries (the hidden one is not listed): every one advances
    // the progress, the black-listed icons and the link included.
    EXPECT_EQ(info.listedEntryCount(), 9U);
    ASSERT_EQ(steps.size(), 9U);
    EXPECT_NEAR(std::accumulate(steps.begin(), steps.end(), 0.0F), 1.0F, 1e-6F);

    // One application on its own: English and unknown folders only.
    const auto english = info.calculateLanguage(core::format::fileUrlFromPath(share + "/foo", true));
    ASSERT_NE(english, nullptr);
    EXPECT_EQ(english->size, 0);
    EXPECT_TRUE(english->children.empty());
}

TEST_F(LanguageTest, EnglishIsKeptForAUserWithoutIt)
{
    // German only, nothing English in the environment: English folders still stay.
    tmp.writeFile("share/locale/en/LC_MESSAGES/a.mo", 5);
    tmp.writeFile("share/locale/en_GB/LC_MESSAGES/a.mo", 7);
    tmp.writeFile("share/locale/de/LC_MESSAGES/a.mo", 11);
    tmp.writeFile("share/locale/fr/LC_MESSAGES/a.mo", 13);
    const std::string share = tmp / "share";
    LanguageInfo info(core::format::fileUrlFromPath(share, true), options({ { "LANG", "de_DE.UTF-8" } }));
    EXPECT_FALSE(findLanguage(info.getLanguages(), "en")->enabled);
    EXPECT_TRUE(findLanguage(info.getLanguages(), "en_GB")->enabled);
    const auto records = info.scanApplicationLanguage({}, {});
    dispatcher.runMain();
    EXPECT_EQ(
        describe(records, share), (std::vector<std::string>{ "locale 20", "  locale/en_GB 7", "  locale/fr 13" }));
}

TEST_F(LanguageTest, AScriptVariantKeepsItsModifierFoldersOnly)
{
    // gettext reads sr_RS@latin from locale/sr@latin: a folder that sr_Latn_BA
    // and sr_Latn_ME claim too, yet it belongs to the user here.
    for (const char *folder : { "sr@latin", "sr_RS@latin", "sr", "sr@cyrillic", "sr@ijekavianlatin", "de" }) {
        tmp.writeFile(std::string("share/locale/") + folder + "/LC_MESSAGES/a.mo", 10);
    }
    const std::string share = tmp / "share";
    LanguageInfo info(core::format::fileUrlFromPath(share, true), options({ { "LANG", "sr_RS@latin" } }));
    const auto records = info.scanApplicationLanguage({}, {});
    dispatcher.runMain();
    EXPECT_EQ(describe(records, share),
        (std::vector<std::string>{ "locale 20", "  locale/de 10", "  locale/sr@cyrillic 10" }));
}

TEST_F(LanguageTest, ScanLanguageFillsTheCategoryThroughTheDriver)
{
    tmp.writeFile("share/locale/de/LC_MESSAGES/a.mo", 300);
    tmp.writeFile("share/locale/en/LC_MESSAGES/a.mo", 5);
    tmp.writeFile("share/doc/readme", 1);
    const core::format::ScopedLocaleProvider locale{ LocaleProvider(englishAndBrazilian()) };
    auto languages = category("Unused Localizations", "Localization");
    languages.url = location(tmp / "share");
    languages.state = 1;
    auto unreadable = category("Nowhere", "Localization");
    unreadable.url = location(tmp / "missing");
    unreadable.size = 99;
    setModules(1, { languages, unreadable });

    std::vector<std::pair<std::string, std::int64_t>> reports;
    std::vector<float> percents;
    int done = 0;
    core::ModuleInfo::scan(
        1,
        [&](const std::string &path, std::int64_t size) {
            reports.emplace_back(path, size);
        },
        [&](float fraction) {
            percents.push_back(fraction);
        },
        [&] {
            ++done;
        });
    dispatcher.runAllQueues();

    EXPECT_EQ(done, 1);
    ASSERT_FALSE(percents.empty());
    EXPECT_NEAR(percents.back(), 1.0F, 1e-6F) << "an empty listing still reports its whole share";
    EXPECT_EQ(reports, (std::vector<std::pair<std::string, std::int64_t>>{ { tmp / "share/locale", 300 } }));
    const core::Category &found = categoryAt(1, 0);
    EXPECT_EQ(found.size, 300);
    ASSERT_EQ(found.files.size(), 1U);
    EXPECT_EQ(found.files[0]->checked, 0) << "the category's state is not applied to what is found";
    EXPECT_EQ(categoryAt(1, 1).size, 0);
    EXPECT_TRUE(categoryAt(1, 1).files.empty());
}
