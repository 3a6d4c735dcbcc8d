// SPDX-License-Identifier: GPL-3.0-or-later
// Which theme file the lookups read: the dark one only under the Dark
// variant and only while it exists; the light one otherwise.

#include "platform/LogSink.h"
#include "platform/Services.h"
#include "support/PlistBytes.h"
#include "support/TempDir.h"
#include "theme/UIInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace core {
namespace {

using testing_support::TempDir;
using testing_support::xmlPlist;

std::string themeWithRed(int red)
{
    return "<dict><key>main_view_color</key><dict><key>red</key><integer>" + std::to_string(red)
        + "</integer></dict></dict>";
}

class ThemeVariantTest : public ::testing::Test
{
protected:
    ThemeVariantTest()
        : m_services(makeServices())
    {
    }
    ~ThemeVariantTest() override { UIInfo::setVariant(ThemeVariant::Light); }

    platform::Services makeServices()
    {
        platform::Services s = platform::services();
        s.log = &log;
        s.resources = platform::ResourceLocator({ tmp.path() });
        return s;
    }

    void write(const std::string &name, int red) const { std::ofstream(tmp / name) << xmlPlist(themeWithRed(red)); }
    static double red() { return UIInfo::nsColor("main_view_color").red; }

    TempDir tmp;
    platform::CapturingLogSink log;

private:
    platform::ScopedServices m_services;
};

TEST_F(ThemeVariantTest, EachVariantReadsItsOwnFileAndSwitchesAtTheNextLookup)
{
    write("SpruceUI.plist", 10);
    write("SpruceUI-Dark.plist", 200);
    EXPECT_EQ(UIInfo::variant(), ThemeVariant::Light);
    EXPECT_EQ(red(), 10.0);
    EXPECT_EQ(std::filesystem::path(UIInfo::themePath()).filename(), "SpruceUI.plist");

    UIInfo::setVariant(ThemeVariant::Dark);
    EXPECT_EQ(UIInfo::variant(), ThemeVariant::Dark);
    EXPECT_EQ(red(), 200.0);
    EXPECT_EQ(std::filesystem::path(UIInfo::themePath()).filename(), "SpruceUI-Dark.plist");
    EXPECT_EQ(UIInfo::AllUIs().at("main_view_color").red, 200.0);

    UIInfo::setVariant(ThemeVariant::Light);
    EXPECT_EQ(red(), 10.0);
}

TEST_F(ThemeVariantTest, DarkWithoutItsFileFallsBackToTheLightOneAndFindsItWhenItAppears)
{
    write("SpruceUI.plist", 10);
    UIInfo::setVariant(ThemeVariant::Dark);
    EXPECT_EQ(red(), 10.0);
    EXPECT_EQ(std::filesystem::path(UIInfo::themePath()).filename(), "SpruceUI.plist");
    // No entry went missing, so nothing was logged as absent.
    EXPECT_TRUE(log.systemLines().empty());

    // An installation that gains the file later reads it at the next lookup.
    write("SpruceUI-Dark.plist", 200);
    EXPECT_EQ(red(), 200.0);
}

TEST_F(ThemeVariantTest, TheLightVariantNeverReadsTheDarkFile)
{
    // Only the dark file: the light variant finds no theme and uses the defaults.
    write("SpruceUI-Dark.plist", 200);
    EXPECT_EQ(red(), 0.0);
    EXPECT_TRUE(UIInfo::themePath().empty());
}

} // namespace
} // namespace core
