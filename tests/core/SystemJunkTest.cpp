// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/EngineFixture.h"
#include "support/SystemRoot.h"
#include "sysjunk/Locations.h"
#include "sysjunk/ToolOutput.h"
#include "sysjunk/Tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

using core::Category;
using core::ModuleInfo;
using testing_support::SystemRoot;

namespace sysjunk = core::sysjunk;

namespace {

TEST(SystemJunkNames, OnlyNamesOfTheirOwnKindAreTaken)
{
    EXPECT_TRUE(sysjunk::isAptArchiveName("bash_5.2.15-2_amd64.deb"));
    EXPECT_TRUE(sysjunk::isAptArchiveName("automake_1%3a1.16.5-1.3_all.deb"));
    for (const char *name :
        { "", ".deb", "lock", "partial", "a.deb/", "../a.deb", "x/a.deb", "a.deb\n", "a.debx", "..", ".hidden.deb" }) {
        EXPECT_FALSE(sysjunk::isAptArchiveName(name)) << name;
    }
    EXPECT_TRUE(sysjunk::isAptPartialName("bash_5.2_amd64.deb.FAILED"));
    EXPECT_FALSE(sysjunk::isAptPartialName("lock"));
    EXPECT_FALSE(sysjunk::isAptPartialName(".FAILED"));

    EXPECT_TRUE(sysjunk::isCoredumpName("core.firefox.1000.abc.4242.1700000000000000.zst"));
    EXPECT_FALSE(sysjunk::isCoredumpName("core."));
    EXPECT_FALSE(sysjunk::isCoredumpName("notes.txt"));
    EXPECT_FALSE(sysjunk::isCoredumpName("core.x/../../etc"));

    EXPECT_TRUE(sysjunk::isCrashReportName("_usr_bin_gedit.1000.crash"));
    EXPECT_TRUE(sysjunk::isCrashReportName("_usr_bin_gedit.1000.uploaded"));
    EXPECT_FALSE(sysjunk::isCrashReportName(".crash"));
    EXPECT_FALSE(sysjunk::isCrashReportName("report.txt"));
    EXPECT_TRUE(sysjunk::isKdumpFolderName("202301311205"));
    EXPECT_FALSE(sysjunk::isKdumpFolderName("20230131120"));
    EXPECT_FALSE(sysjunk::isKdumpFolderName("2023013112a5"));

    EXPECT_TRUE(sysjunk::isVarTmpCandidate("build-cache"));
    EXPECT_FALSE(sysjunk::isVarTmpCandidate("systemd-private-1234-colord.service-abc"));

    EXPECT_TRUE(sysjunk::isArchivedJournalName("system@0005f1a2b3c4-1a2b3c4d5e6f7a8b.journal"));
    EXPECT_TRUE(sysjunk::isArchivedJournalName("user-1000@abc.journal~"));
    EXPECT_FALSE(sysjunk::isArchivedJournalName("system.journal"));
    EXPECT_FALSE(sysjunk::isArchivedJournalName("user-1000.journal"));
}

TEST(SystemJunkNames, SnapRevisionsAndFlatpakRefsAreCheckedPartByPart)
{
    EXPECT_EQ(sysjunk::parseSnapRevision("core18_2697"), (sysjunk::SnapRevision{ "core18", "2697" }));
    EXPECT_EQ(sysjunk::parseSnapRevision("my-app_x3"), (sysjunk::SnapRevision{ "my-app", "x3" }));
    for (const char *id :
        { "core18", "core18_", "_12", "Core_1", "a--b_1", "-a_1", "123_4", "a_0", "a_1/2", "a_1 2", "../a_1", "a_x" }) {
        EXPECT_FALSE(sysjunk::parseSnapRevision(id).has_value()) << id;
    }
    EXPECT_EQ(sysjunk::parseFlatpakRef("org.gnome.Platform/x86_64/43"),
        (sysjunk::FlatpakRef{ "org.gnome.Platform", "x86_64", "43" }));
    for (const char *ref : { "org.gnome.Platform/x86_64",
             "org.gnome.Platform/x86_64/43/extra",
             "gnome/x86_64/43",
             "org..gnome/x86_64/43",
             "org.gnome/../43",
             "org.gnome/x86_64/..",
             "org.gnome/X86/43",
             "org.gnome/x86_64/-rm",
             "/org.gnome/x86_64/43",
             "org.gnome/x86_64/4 3" }) {
        EXPECT_FALSE(sysjunk::parseFlatpakRef(ref).has_value()) << ref;
    }
}

TEST(SystemJunkToolOutput, ReadsWhatTheToolsPrint)
{
    EXPECT_EQ(sysjunk::disabledSnaps(testing_support::SnapListAll),
        (std::vector<sysjunk::SnapRevision>{ { "core18", "2697" }, { "firefox", "3252" } }));
    // A warning before the table, a row that only mentions "disabled" in another column, a garbled row.
    EXPECT_EQ(sysjunk::disabledSnaps("WARNING: something\nName Version Rev Tracking Publisher Notes\n"
                                     "disabled 1.0 12 latest/stable me -\n"
                                     "evil;rm 1.0 13 latest/stable me disabled\n"
                                     "good 1.0 14 latest/stable me disabled\n"),
        (std::vector<sysjunk::SnapRevision>{ { "good", "14" } }));
    EXPECT_TRUE(sysjunk::disabledSnaps("").empty());

    EXPECT_EQ(sysjunk::unusedRuntimes(testing_support::FlatpakUnused),
        (std::vector<sysjunk::UnusedRuntime>{
            { "org.gnome.Platform", "43" }, { "org.freedesktop.Platform.GL.default", "22.08" } }));
    EXPECT_TRUE(sysjunk::unusedRuntimes("Nothing unused to uninstall\n").empty());

    EXPECT_EQ(sysjunk::journalDiskUsage("Archived and active journals take up 1.5G in the file system.\n"),
        std::int64_t{ 1'610'612'736 });
    EXPECT_EQ(sysjunk::journalDiskUsage("Archived and active journals take up 8.0M in the file system."),
        std::int64_t{ 8'388'608 });
    EXPECT_EQ(
        sysjunk::journalDiskUsage("Archived and active journals take up 0B in the file system."), std::int64_t{ 0 });
    EXPECT_FALSE(sysjunk::journalDiskUsage("No journal files were found.").has_value());
    EXPECT_FALSE(sysjunk::journalDiskUsage("journals take up 3Q in the file system").has_value());
}

TEST(SystemJunkTools, RunsWithAnEnvironmentOfItsOwn)
{
    testing_support::TempDir tmp;
    const SystemRoot system(tmp);
    system.fakeTool("envtool", "", 3, "env | sort");
    const auto path = sysjunk::findTool({ "relative/dir", system.tools() }, "envtool");
    ASSERT_TRUE(path.has_value());
    EXPECT_FALSE(sysjunk::findTool({ system.tools() }, "../tools/envtool").has_value());
    EXPECT_FALSE(sysjunk::findTool({ system.tools() }, "missing").has_value());
    ::setenv("SPRUCE_LEAK", "secret", 1);
    const auto run = sysjunk::runTool(*path, { "a b", "c" });
    ::unsetenv("SPRUCE_LEAK");
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run.value().exitCode, 3);
    EXPECT_EQ(run.value().out.find("SPRUCE_LEAK"), std::string::npos) << run.value().out;
    EXPECT_NE(run.value().out.find("LC_ALL=C"), std::string::npos);
    EXPECT_EQ(system.calls("envtool"), "a b c\n");
}

class SystemScannersTest : public testing_support::EngineFixture
{
protected:
    SystemScannersTest()
        : system(tmp)
        , m_services(withRoot())
    {
    }

    core::platform::Services withRoot()
    {
        core::platform::Services s = makeServices();
        s.sysRoot = system.root() + "/";
        s.toolPath = { system.tools() };
        s.now = [this] {
            return now;
        };
        return s;
    }

    Category scan(const std::string &type)
    {
        Category category = EngineFixture::category(type, type);
        ModuleInfo::scanSystem(category, core::Progress(), core::ShowPercent());
        dispatcher.runMain();
        return category;
    }

    static std::vector<std::string> paths(const Category &category)
    {
        std::vector<std::string> result;
        for (const auto &record : category.files) {
            result.push_back(core::format::pathFromFileUrl(record->url()).value_or("?"));
        }
        return result;
    }

    // Later than every change the test makes, so that ctimes (which a test
    // cannot set) lie 40 days back.
    std::int64_t now = std::time(nullptr) + 40 * 86'400;
    SystemRoot system;

private:
    core::platform::ScopedServices m_services;
};

TEST_F(SystemScannersTest, PackageCacheListsPackagesAndUnfinishedDownloadsOnly)
{
    system.file("var/cache/apt/archives/bash_5.2.15-2_amd64.deb", 1000);
    system.file("var/cache/apt/archives/automake_1%3a1.16.5-1.3_all.deb", 500);
    system.file("var/cache/apt/archives/partial/zsh_5.9-4_amd64.deb", 70);
    system.file("var/cache/apt/archives/partial/lock", 0);
    system.file("var/cache/apt/archives/lock", 0);
    system.file("elsewhere/secret.deb", 10);
    system.link("var/cache/apt/archives/link.deb", system.at("elsewhere/secret.deb"));
    system.dir("var/cache/apt/archives/folder.deb");

    const Category category = scan("AptCache");
    EXPECT_EQ(paths(category),
        (std::vector<std::string>{ system.at("var/cache/apt/archives/automake_1%3a1.16.5-1.3_all.deb"),
            system.at("var/cache/apt/archives/bash_5.2.15-2_amd64.deb"),
            system.at("var/cache/apt/archives/partial/zsh_5.9-4_amd64.deb") }));
    EXPECT_EQ(category.size, 1570);
    EXPECT_EQ(category.files[0]->name(), "automake 1:1.16.5-1.3 (all), package file");
    EXPECT_EQ(category.files[1]->findex, 1);
    ASSERT_TRUE(category.files[0]->anchor());
    EXPECT_EQ(category.files[0]->anchor()->path, system.at("var/cache/apt/archives"));
    EXPECT_TRUE(category.notes.empty());
}

TEST_F(SystemScannersTest, CrashDumpsNameTheProgramAndTheUser)
{
    system.file("var/crash/_usr_bin_gedit.1000.crash", 300);
    system.file("var/crash/202301311205/dump.202301311205", 400);
    system.file("var/crash/notes.txt", 1);
    system.file("var/lib/systemd/coredump/core.firefox.1000.b00t.4242.1700000000000000.zst", 900);
    system.file("var/lib/systemd/coredump/other", 9);

    const Category category = scan("CrashDumps");
    ASSERT_EQ(category.files.size(), 3U);
    EXPECT_EQ(category.files[0]->name(), "Kernel crash dump of 2023-01-31 12:05");
    EXPECT_TRUE(category.files[0]->isFolder);
    EXPECT_EQ(category.files[0]->size, 400);
    EXPECT_EQ(category.files[1]->name(), "Crash report of /usr/bin/gedit (user 1000)");
    EXPECT_EQ(category.files[2]->name(), "Core dump of firefox (user 1000, process 4242)");
    EXPECT_EQ(category.size, 1600);
}

TEST_F(SystemScannersTest, OldTemporaryFilesAreThoseNothingBelowChangedFor30Days)
{
    const std::int64_t recent = now - 86'400;
    testing_support::setMtime(system.file("var/tmp/old.iso", 50), now - 31 * 86'400);
    testing_support::setMtime(system.file("var/tmp/fresh.txt", 5), recent);
    testing_support::setMtime(system.file("var/tmp/almost.txt", 5), now - 29 * 86'400);
    system.file("var/tmp/tree/deep/new.log", 7);
    testing_support::setMtime(system.at("var/tmp/tree/deep/new.log"), recent);
    system.file("var/tmp/old-tree/deep/old.log", 8);
    system.file("var/tmp/systemd-private-abc-colord.service-x/tmp/f", 1);

    const Category category = scan("VarTmp");
    EXPECT_EQ(
        paths(category), (std::vector<std::string>{ system.at("var/tmp/old-tree"), system.at("var/tmp/old.iso") }));
    EXPECT_EQ(category.size, 58);
    EXPECT_EQ(category.files[1]->name(), "old.iso (unchanged for 31 days)");
}

TEST_F(SystemScannersTest, JournalCountsOnlyArchivedFiles)
{
    const std::string machine = "var/log/journal/0123456789abcdef0123456789abcdef/";
    system.file(machine + "system.journal", 8000);
    system.file(machine + "system@0005f1-0001.journal", 3000);
    system.file(machine + "user-1000@0005f1-0002.journal", 2000);
    system.file(machine + "user-1000@0005f1-0003.journal~", 500);
    system.file("var/log/journal/not-a-machine/system@x.journal", 99);
    system.fakeTool("journalctl", "Archived and active journals take up 13.0K in the file system.\n");

    const Category category = scan("Journal");
    ASSERT_EQ(category.files.size(), 1U);
    EXPECT_EQ(category.files[0]->name(), "Archived journal files (3)");
    EXPECT_EQ(category.size, 5500);
    EXPECT_EQ(system.calls("journalctl"), "") << "readable journals are measured, not asked for";
}

TEST_F(SystemScannersTest, SnapRevisionsComeFromSnapAndTheirFiles)
{
    system.fakeTool("snap", testing_support::SnapListAll);
    system.file("var/lib/snapd/snaps/core18_2697.snap", 4096);
    system.file("var/lib/snapd/snaps/core18_2708.snap", 4096);

    const Category category = scan("SnapRevisions");
    EXPECT_EQ(system.calls("snap"), "list --all\n");
    ASSERT_EQ(category.files.size(), 2U);
    EXPECT_EQ(category.files[0]->name(), "core18 revision 2697 (disabled)");
    EXPECT_EQ(category.files[0]->size, 4096);
    EXPECT_EQ(category.files[1]->name(), "firefox revision 3252 (disabled)");
    EXPECT_EQ(category.files[1]->size, 0);
    ASSERT_EQ(category.notes.size(), 1U) << "the missing file is said";
    EXPECT_NE(category.notes[0].find("firefox_3252.snap"), std::string::npos);
}

TEST_F(SystemScannersTest, FlatpakRuntimesAreTheOnesFlatpakCallsUnused)
{
    system.fakeTool("flatpak", testing_support::FlatpakUnused, 1);
    system.file("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43/active/files/lib.so", 3000);
    system.file("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/44/active/files/lib.so", 5000);

    const Category category = scan("FlatpakRuntimes");
    EXPECT_EQ(system.calls("flatpak"), "uninstall --unused --system\n");
    EXPECT_EQ(paths(category),
        (std::vector<std::string>{ system.at("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43") }));
    EXPECT_EQ(category.files[0]->name(), "org.gnome.Platform 43 (x86_64), unused runtime");
    EXPECT_EQ(category.size, 3000);
    ASSERT_EQ(category.notes.size(), 1U) << "the GL runtime is not installed below the root";
}

TEST_F(SystemScannersTest, WhatCannotBeReadOrAskedIsSaidNotFailed)
{
    system.fakeTool("snap", "error: cannot communicate with server\n", 1);
    const Category snaps = scan("SnapRevisions");
    EXPECT_TRUE(snaps.files.empty());
    ASSERT_EQ(snaps.notes.size(), 1U);
    EXPECT_EQ(snaps.notes[0], "snap list --all failed: error: cannot communicate with server");

    // Nothing installed, nothing there: nothing to say.
    EXPECT_TRUE(scan("FlatpakRuntimes").notes.empty());
    EXPECT_TRUE(scan("AptCache").notes.empty());
}

} // namespace
