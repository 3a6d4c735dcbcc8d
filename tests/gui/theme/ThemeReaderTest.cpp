// SPDX-License-Identifier: GPL-3.0-or-later
// The theme and settings readers of the core (no Qt): group rules, defaults,
// re-reading, and the shipped SpruceUI.plist and SpruceSetting.plist.

#include "format/Plist.h"
#include "platform/LogSink.h"
#include "platform/Services.h"
#include "support/PlistBytes.h"
#include "support/TempDir.h"
#include "theme/SettingInfo.h"
#include "theme/UIInfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>
#include <sys/stat.h>

namespace core {
namespace {

using testing_support::TempDir;
using testing_support::xmlPlist;

core::format::PlistValue parse(const std::string &body)
{
    auto value = core::format::readPlistMemory(xmlPlist(body), core::format::MaxPlistNodes);
    EXPECT_TRUE(value.has_value()) << body;
    return value.value_or(core::format::PlistValue{});
}

MyUI entry(const std::string &key, const std::string &dictBody)
{
    return UIInfo::parseEntry(key, parse("<dict>" + dictBody + "</dict>"));
}

constexpr const char *AllFields = "<key>name</key><string>Cantarell-Bold</string><key>size</key><real>20</real>"
                                  "<key>weight</key><integer>7</integer>"
                                  "<key>red</key><integer>10</integer><key>green</key><integer>20</integer>"
                                  "<key>blue</key><integer>30</integer><key>alpha</key><real>0.5</real>"
                                  "<key>bred</key><integer>40</integer><key>bgreen</key><integer>50</integer>"
                                  "<key>bblue</key><integer>60</integer><key>balpha</key><real>0.3</real>";

TEST(ThemeEntry, KeyWordsSelectTheGroupsRead)
{
    // A font-and-button key reads all three groups.
    const MyUI all = entry("scan_button_font", AllFields);
    EXPECT_EQ(all.name, "Cantarell-Bold");
    EXPECT_EQ(all.size, 20.0);
    EXPECT_EQ(all.weight, 7);
    EXPECT_EQ(all.color(), (Rgba{ 10, 20, 30, 0.5 }));
    EXPECT_EQ(all.buttonColor(), (Rgba{ 40, 50, 60, 0.3F }));

    // A colour key reads only the colour group: the font stays "Arial" 12, no button.
    const MyUI colour = entry("main_view_color", AllFields);
    EXPECT_EQ(colour.name, "Arial");
    EXPECT_EQ(colour.size, 12.0);
    EXPECT_EQ(colour.weight, 12);
    EXPECT_EQ(colour.color(), (Rgba{ 10, 20, 30, 0.5 }));
    EXPECT_EQ(colour.buttonColor(), (Rgba{ 0, 0, 0, 0.0 }));

    // "button" and "color" without "font": colour and button groups, no font group.
    const MyUI buttonColour = entry("primary_button_color", AllFields);
    EXPECT_EQ(buttonColour.name, "Arial");
    EXPECT_EQ(buttonColour.size, 12.0);
    EXPECT_EQ(buttonColour.color(), (Rgba{ 10, 20, 30, 0.5 }));
    EXPECT_EQ(buttonColour.buttonColor(), (Rgba{ 40, 50, 60, 0.3F }));

    // No group at all: every field keeps its default, whatever the entry holds.
    EXPECT_EQ(entry("main_view_shade", AllFields), MyUI{});

    // The substring tests are case-sensitive: "Color" and "Font" select nothing.
    const MyUI capitalised = entry("main_view_Color", AllFields);
    EXPECT_EQ(capitalised.color(), (Rgba{ 0, 0, 0, 1.0 }));
    EXPECT_EQ(entry("title_Font", AllFields).name, "Arial");
}

TEST(ThemeEntry, DefaultsOfAReadGroupDifferFromThoseOfAnUnreadOne)
{
    // Only components given: opaque (alpha 1.0 by default), never scaled.
    EXPECT_EQ(entry("main_view_color",
                  "<key>red</key><integer>255</integer><key>green</key><integer>255</integer>"
                  "<key>blue</key><integer>255</integer>")
                  .color(),
        (Rgba{ 255, 255, 255, 1.0 }));

    // A font entry without a name is "Times-Roman" (not "Arial"), 12 points without a size.
    const MyUI noName = entry("title_font", "<key>size</key><real>18</real>");
    EXPECT_EQ(noName.name, "Times-Roman");
    EXPECT_EQ(noName.size, 18.0);
    const MyUI bare = entry("title_font", "");
    EXPECT_EQ(bare.name, "Times-Roman");
    EXPECT_EQ(bare.size, 12.0);
    EXPECT_EQ(bare.weight, 12);
    EXPECT_EQ(bare.color(), (Rgba{ 0, 0, 0, 1.0 }));
    EXPECT_EQ(bare.balpha, 0.0);
}

TEST(ThemeEntry, NumbersAreKeptAsWritten)
{
    // Opacity is a fraction already: 0.5 stays 0.5 (never divided by 255).
    EXPECT_EQ(entry("line_color", "<key>alpha</key><real>0.5</real>").alpha, 0.5);
    // Components are not clamped.
    const MyUI loud = entry("line_color", "<key>red</key><integer>300</integer><key>green</key><integer>-4</integer>");
    EXPECT_EQ(loud.red, 300.0);
    EXPECT_EQ(loud.green, -4.0);
    // A component written as a real is read too; a field of another type counts as absent.
    const MyUI typed = entry("title_font",
        "<key>red</key><real>12.5</real><key>name</key><integer>3</integer>"
        "<key>size</key><string>big</string><key>alpha</key><true/>");
    EXPECT_EQ(typed.red, 12.5);
    EXPECT_EQ(typed.name, "Times-Roman");
    EXPECT_EQ(typed.size, 12.0);
    EXPECT_EQ(typed.alpha, 1.0);

    // A weight written as a real keeps its whole part; one no integer can hold is ignored.
    EXPECT_EQ(entry("title_font", "<key>weight</key><real>7.9</real>").weight, 7);
    for (const char *huge : { "1e300", "-1e300", "9223372036854775808", "nan" }) {
        EXPECT_EQ(entry("title_font", std::string("<key>weight</key><real>") + huge + "</real>").weight, 12) << huge;
    }
    EXPECT_EQ(entry("title_font", "<key>weight</key><real>-9223372036854775808</real>").weight,
        std::numeric_limits<std::int64_t>::min());
}

TEST(ThemeTable, RootEntriesThatAreNotDictionariesReadAsEmpty)
{
    const auto table = UIInfo::parseTheme(
        parse("<dict><key>a_font</key><string>oops</string><key>b_color</key><dict><key>red</key><integer>9</integer>"
              "</dict></dict>"));
    ASSERT_EQ(table.size(), 2U);
    EXPECT_EQ(table.at("a_font").name, "Times-Roman");
    EXPECT_EQ(table.at("b_color").red, 9.0);
    EXPECT_TRUE(UIInfo::parseTheme(parse("<array/>")).empty());
}

/// Installs services whose resources are one temporary folder and whose log is captured.
class ResourceFixture : public ::testing::Test
{
protected:
    ResourceFixture()
        : m_services(makeServices())
    {
    }

    platform::Services makeServices()
    {
        platform::Services s = platform::services();
        s.log = &log;
        s.resources = platform::ResourceLocator({ tmp.path() });
        return s;
    }

    void write(const std::string &name, const std::string &body) const { std::ofstream(tmp / name) << xmlPlist(body); }

    TempDir tmp;
    platform::CapturingLogSink log;

private:
    platform::ScopedServices m_services;
};

using ThemeFile = ResourceFixture;

TEST_F(ThemeFile, EveryLookupReadsTheFileAgain)
{
    write("SpruceUI.plist", "<dict><key>main_view_color</key><dict><key>red</key><integer>1</integer></dict></dict>");
    EXPECT_EQ(UIInfo::nsColor("main_view_color").red, 1.0);
    write("SpruceUI.plist", "<dict><key>main_view_color</key><dict><key>red</key><integer>2</integer></dict></dict>");
    EXPECT_EQ(UIInfo::nsColor("main_view_color").red, 2.0);
    EXPECT_EQ(UIInfo::AllUIs().size(), 1U);
}

TEST_F(ThemeFile, MissingFileOrKeyGivesTheKeysDefaultsAndOneLogLine)
{
    // No file at all: a usable default for every key, logged once per key.
    EXPECT_EQ(UIInfo::nsMyUI("ghost_font").name, "Times-Roman");
    EXPECT_EQ(UIInfo::nsColor("ghost_color"), (Rgba{ 0, 0, 0, 1.0 }));
    EXPECT_EQ(UIInfo::nsMyUI("ghost_font").size, 12.0);
    const auto lines = log.systemLines();
    EXPECT_EQ(std::count_if(lines.begin(),
                  lines.end(),
                  [](const std::string &l) {
                      return l.find("\"ghost_font\"") != std::string::npos;
                  }),
        1);
    EXPECT_TRUE(log.stdoutLines().empty());

    // A file that is not a property list behaves like a missing one.
    std::ofstream(tmp / "SpruceUI.plist") << "not a plist";
    EXPECT_TRUE(UIInfo::AllUIs().empty());
    EXPECT_EQ(UIInfo::nsMyUI("other_font").name, "Times-Roman");
}

using SettingsFile = ResourceFixture;

TEST_F(SettingsFile, OnlyStringValuesArePresent)
{
    write("SpruceSetting.plist",
        "<dict><key>product_name</key><string>Spruce</string>"
        "<key>count_link</key><integer>4</integer>"
        "<key>nested_link</key><dict><key>a</key><string>b</string></dict>"
        "<key>flag_link</key><true/>"
        "<key>empty_link</key><string></string></dict>");
    const auto all = SettingInfo::AllSettings();
    EXPECT_EQ(all.size(), 2U);
    EXPECT_EQ(all.count("count_link"), 0U);
    EXPECT_EQ(all.count("nested_link"), 0U);
    EXPECT_EQ(all.count("flag_link"), 0U);
    EXPECT_EQ(SettingInfo::valueOf("product_name"), "Spruce");
    EXPECT_EQ(SettingInfo::valueOf("empty_link"), "");
    // Absent: "" and a system-log line, never standard output.
    EXPECT_EQ(SettingInfo::valueOf("count_link"), "");
    EXPECT_TRUE(log.stdoutLines().empty());
    EXPECT_EQ(SettingInfo::settingsFolder(), tmp.path());
}

TEST_F(SettingsFile, EveryReadSeesTheCurrentFile)
{
    write("SpruceSetting.plist", "<dict><key>product_name</key><string>One</string></dict>");
    EXPECT_EQ(SettingInfo::valueOf("product_name"), "One");
    write("SpruceSetting.plist", "<dict><key>product_name</key><string>Two</string></dict>");
    EXPECT_EQ(SettingInfo::valueOf("product_name"), "Two");
}

/// The files Spruce ships, read from the source tree.
class ShippedResources : public ::testing::Test
{
protected:
    ShippedResources()
        : m_services(makeServices())
    {
    }
    static platform::Services makeServices()
    {
        platform::Services s = platform::services();
        s.resources = platform::ResourceLocator({ SPRUCE_SOURCE_DIR "/resources" });
        return s;
    }

private:
    platform::ScopedServices m_services;
};

TEST_F(ShippedResources, BothThemesHoldEveryKeyTheScreensAskFor)
{
    const char *keys[] = {
        "logo_text_font",
        "module_name_font",
        "dashboard_macInfo_font",
        "dashboard_macDesc_font",
        "scan_button_font",
        "review_button_font",
        "rescan_button_font",
        "scanning_path_font",
        "module_title_font",
        "module_description_font",
        "module_feature_font",
        "back_button_font",
        "sortby_button_font",
        "clean_button_font",
        "cleanning_progress_font",
        "category_title_font",
        "category_size_font",
        "category_description_font",
        "table_title_font",
        "table_size_font",
        "table_path_font",
        "table_date_font",
        "dashboard_graphic_font",
        "main_view_color",
        "main_toolbar_color",
        "main_container_light_color",
        "main_container_dark_color",
        "main_field_color",
        "main_module_select_color",
        "main_category_select_color",
        "main_table_select_color",
        "cpu_user_fill_color",
        "cpu_user_stroke_color",
        "cpu_system_fill_color",
        "cpu_system_stroke_color",
        "cpu_nice_fill_color",
        "cpu_nice_stroke_color",
        "cpu_idle_fill_color",
        "cpu_idle_stroke_color",
        "memory_wired_fill_color",
        "memory_wired_stroke_color",
        "memory_active_fill_color",
        "memory_active_stroke_color",
        "memory_inactive_fill_color",
        "memory_inactive_stroke_color",
        "memory_compressed_fill_color",
        "memory_compressed_stroke_color",
        "memory_free_fill_color",
        "memory_free_stroke_color",
        "disk_apps_fill_color",
        "disk_apps_stroke_color",
        "disk_document_fill_color",
        "disk_document_stroke_color",
        "disk_backup_fill_color",
        "disk_backup_stroke_color",
        "disk_other_fill_color",
        "disk_other_stroke_color",
        "disk_available_fill_color",
        "disk_available_stroke_color",
        "battery_charged_fill_color",
        "battery_charged_stroke_color",
        "battery_empty_fill_color",
        "battery_empty_stroke_color",
    };
    for (const ThemeVariant variant : { ThemeVariant::Dark, ThemeVariant::Light }) {
        UIInfo::setVariant(variant);
        SCOPED_TRACE(UIInfo::themePath());
        const auto theme = UIInfo::AllUIs();
        for (const char *key : keys) {
            ASSERT_EQ(theme.count(key), 1U) << key;
            const MyUI &ui = theme.at(key);
            EXPECT_GT(ui.alpha, 0.0) << key;
            if (std::string_view(key).ends_with("_font")) {
                EXPECT_NE(ui.name, "Times-Roman") << key << " has no font name";
                EXPECT_GE(ui.size, 10.0) << key;
            }
        }
        EXPECT_EQ(theme.size(), std::size(keys));
        // Buttons with a background are readable: their text is white on a solid fill.
        EXPECT_EQ(theme.at("scan_button_font").balpha, 1.0);
        EXPECT_EQ(theme.at("back_button_font").balpha, 0.0);
    }
    EXPECT_TRUE(UIInfo::themePath().ends_with("/SpruceUI.plist"));
}

TEST_F(ShippedResources, SettingsNameTheProductAndLinkOnlyToShippedPages)
{
    const auto settings = SettingInfo::AllSettings();
    EXPECT_EQ(settings.at("product_name"), "Spruce");
    const char *links[] = { "help_link",
        "facebook_link",
        "support_link",
        "home_link",
        "product_link",
        "feedback_link",
        "checkForUpdate_link",
        "install_link" };
    const std::string folder = SettingInfo::settingsFolder();
    for (const char *key : links) {
        ASSERT_EQ(settings.count(key), 1U) << key;
        const std::string &value = settings.at(key);
        EXPECT_EQ(value.find(':'), std::string::npos) << key << " must be a page shipped with Spruce: " << value;
        struct stat st
        {
        };
        EXPECT_EQ(::stat((folder + "/" + value).c_str(), &st), 0) << key << ": " << value << " is not shipped";
    }
}

} // namespace
} // namespace core
