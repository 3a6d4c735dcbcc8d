// SPDX-License-Identifier: GPL-3.0-or-later
// The system module end to end: spruce-cli on a planted system root with fake tools.
#include "CliSupport.h"
#include "support/MountNamespace.h"
#include "support/RunAsNobody.h"
#include "support/SystemRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

using cli_tests::contains;
using cli_tests::runCli;
using testing_support::SystemRoot;
using testing_support::TempDir;

namespace {

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class SystemCliTest : public ::testing::Test
{
protected:
    SystemCliTest()
        : system(tmp)
    {
        home = tmp.makeDir("home");
    }

    /// Plants one finding of each kind, and beside them what must never be taken.
    void plantJunk()
    {
        system.file("var/cache/apt/archives/bash_5.2.15-2_amd64.deb", 1000);
        system.file("var/cache/apt/archives/lock", 0);
        system.file("var/cache/apt/archives/partial/zsh_5.9-4_amd64.deb", 70);
        system.file("elsewhere/keep.deb", 10);
        system.link("var/cache/apt/archives/link.deb", system.at("elsewhere/keep.deb"));
        system.file("var/crash/_usr_bin_gedit.1000.crash", 300);
        system.file("var/lib/systemd/coredump/core.firefox.1000.b00t.4242.1700000000000000.zst", 900);
        system.file("var/lib/systemd/coredump/wrong-name", 9);
        system.file("var/log/journal/0123456789abcdef0123456789abcdef/system.journal", 8000);
        system.file("var/log/journal/0123456789abcdef0123456789abcdef/system@0005f1-0001.journal", 3000);
        system.file("var/lib/snapd/snaps/core18_2697.snap", 4096);
        system.fakeTool("snap", testing_support::SnapListAll);
        system.fakeTool("flatpak", testing_support::FlatpakUnused, 1);
        system.file("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43/active/files/lib.so", 3000);
    }

    std::vector<std::string> global() const
    {
        return { "--home", home, "--sysroot", system.root(), "--tools", system.tools() };
    }

    cli_tests::CliRun cli(std::vector<std::string> args) const
    {
        std::vector<std::string> all = global();
        all.insert(all.end(), args.begin(), args.end());
        return runCli(all);
    }

    TempDir tmp;
    SystemRoot system;
    std::string home;
};

std::vector<std::string> listedPaths(const nlohmann::json &module)
{
    std::vector<std::string> paths;
    for (const auto &category : module["categories"]) {
        for (const auto &file : category["files"]) {
            paths.push_back(file["path"].get<std::string>());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST_F(SystemCliTest, ScanListsExactlyThePlantedJunk)
{
    plantJunk();
    const cli_tests::CliRun json = cli({ "--json", "scan", "system" });
    ASSERT_EQ(json.code, 0) << json.err;
    const nlohmann::json module = json.json()["modules"][0];
    EXPECT_EQ(module["tab"], "system");
    EXPECT_EQ(module["index"], 5);
    EXPECT_EQ(listedPaths(module),
        (std::vector<std::string>{ system.at("var/cache/apt/archives/bash_5.2.15-2_amd64.deb"),
            system.at("var/cache/apt/archives/partial/zsh_5.9-4_amd64.deb"),
            system.at("var/crash/_usr_bin_gedit.1000.crash"),
            system.at("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43"),
            system.at("var/lib/snapd/snaps/core18_2697.snap"),
            system.at("var/lib/snapd/snaps/firefox_3252.snap"),
            system.at("var/lib/systemd/coredump/core.firefox.1000.b00t.4242.1700000000000000.zst"),
            system.at("var/log/journal") }));
    EXPECT_EQ(module["size"], 1000 + 70 + 300 + 900 + 3000 + 4096 + 3000);

    const cli_tests::CliRun text = cli({ "scan", "5", "--files" });
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_TRUE(contains(text.out, "5 System (system):")) << text.out;
    EXPECT_TRUE(contains(text.out, system.at("var/lib/snapd/snaps/core18_2697.snap"))) << text.out;
    EXPECT_FALSE(contains(text.out, "link.deb")) << text.out;
    EXPECT_FALSE(contains(text.out, "keep.deb")) << text.out;
    EXPECT_FALSE(contains(text.out, "wrong-name")) << text.out;
    // The firefox revision's file is not there: said with the result, not as a failure.
    EXPECT_TRUE(contains(text.out, "not measured: " + system.at("var/lib/snapd/snaps/firefox_3252.snap"))) << text.out;
}

TEST_F(SystemCliTest, CleanAllRemovesExactlyTheJunkThroughTheHelper)
{
    plantJunk();
    // The fakes remove what the real tools would.
    const std::string machine = system.at("var/log/journal/0123456789abcdef0123456789abcdef/");
    system.fakeTool("journalctl", "", 0, "rm -f '" + machine + "'*@*.journal");
    system.fakeTool("snap",
        testing_support::SnapListAll,
        0,
        "[ \"$1\" = remove ] && rm -f '" + system.at("var/lib/snapd/snaps/") + "'\"$3\"_\"${2#--revision=}\".snap");
    system.fakeTool("flatpak",
        testing_support::FlatpakUnused,
        1,
        "[ \"$2\" = --system ] && rm -r '" + system.at("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43")
            + "' && exit 0");
    system.file("var/lib/snapd/snaps/core18_2708.snap", 4096); // the revision in use
    system.file("var/tmp/fresh/file", 5);

    const cli_tests::CliRun run = cli({ "--json", "clean", "system", "--all", "--yes" });
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    const nlohmann::json report = run.json();
    EXPECT_EQ(report["freed"], 1000 + 70 + 300 + 900 + 3000 + 4096 + 3000);
    ASSERT_EQ(report["failed"].size(), 0U) << report.dump();
    for (const char *gone : { "var/cache/apt/archives/bash_5.2.15-2_amd64.deb",
             "var/cache/apt/archives/partial/zsh_5.9-4_amd64.deb",
             "var/crash/_usr_bin_gedit.1000.crash",
             "var/lib/systemd/coredump/core.firefox.1000.b00t.4242.1700000000000000.zst",
             "var/log/journal/0123456789abcdef0123456789abcdef/system@0005f1-0001.journal",
             "var/lib/snapd/snaps/core18_2697.snap",
             "var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43" }) {
        EXPECT_FALSE(testing_support::exists(system.at(gone))) << gone;
    }
    for (const char *kept : { "var/cache/apt/archives/lock",
             "var/cache/apt/archives/link.deb",
             "elsewhere/keep.deb",
             "var/lib/systemd/coredump/wrong-name",
             "var/log/journal/0123456789abcdef0123456789abcdef/system.journal",
             "var/lib/snapd/snaps/core18_2708.snap",
             "var/tmp/fresh/file",
             "var/cache/apt/archives/partial",
             "var/crash" }) {
        EXPECT_TRUE(testing_support::exists(system.at(kept))) << kept;
    }
    EXPECT_EQ(system.calls("snap"),
        "list --all\nlist --all\nremove --revision=2697 core18\nlist --all\n"
        "remove --revision=3252 firefox\n");
}

TEST_F(SystemCliTest, DryRunAsksNobodyAndRemovesNothing)
{
    plantJunk();
    const cli_tests::CliRun run = cli({ "--json", "clean", "system", "--all", "--dry-run" });
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.json()["wouldRemove"].size(), 8U);
    EXPECT_TRUE(testing_support::exists(system.at("var/cache/apt/archives/bash_5.2.15-2_amd64.deb")));
    EXPECT_EQ(system.calls("snap"), "list --all\n") << "only the scan asked snap";
}

TEST_F(SystemCliTest, ScanOfAnEmptyRootFindsNothingAndSucceeds)
{
    const cli_tests::CliRun json = cli({ "--json", "scan", "system" });
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.json()["modules"][0]["size"], 0);
    EXPECT_TRUE(listedPaths(json.json()["modules"][0]).empty());
}

TEST_F(SystemCliTest, WithoutRightsTheScanSaysWhatItCouldNotRead)
{
    plantJunk();
    // apt keeps partial/ to itself (0700 _apt); the user's own home stays readable.
    ASSERT_EQ(::chmod(system.at("var/cache/apt/archives/partial").c_str(), 0700), 0);
    for (const std::string &path : { tmp.path(), home }) {
        ASSERT_EQ(::chmod(path.c_str(), 0777), 0);
    }
    const std::string report = tmp.writeFile("report.txt", 0);
    ASSERT_EQ(::chmod(report.c_str(), 0666), 0);
    const int code = testing_support::runAsNobody([&] {
        return runCli(global() + std::vector<std::string>{ "scan", "system" }, cli_tests::CliSetup::writingTo(report))
            .code;
    });
    if (code == 125) {
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(code, 0);
    const std::string out = testing_support::readFile(report);
    EXPECT_TRUE(contains(out,
        "not measured: " + system.at("var/cache/apt/archives/partial")
            + " cannot be read (Permission denied): not counted"))
        << out;
    EXPECT_TRUE(contains(out, "Package Cache")) << out;
}

TEST_F(SystemCliTest, MountPointsAreNeitherListedNorRemoved)
{
    plantJunk();
    const std::string outside = system.file("other-disk/big.deb", 5000);
    const std::string bound = system.file("var/cache/apt/archives/bound_1_all.deb", 0);
    const std::string report = tmp.writeFile("report.json", 0);
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::bindMount(outside, bound)) {
            return testing_support::CannotRun;
        }
        const cli_tests::CliRun scan = cli({ "--json", "scan", "system" });
        if (scan.code != 0 || contains(scan.out, "bound_1_all.deb")) {
            return 1;
        }
        const cli_tests::CliRun clean = cli({ "--json", "clean", "system", "--category", "0", "--yes" });
        return clean.code == 0 ? 0 : 2;
    });
    if (code == testing_support::CannotRun) {
        GTEST_SKIP() << "cannot mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(testing_support::exists(outside));
    EXPECT_EQ(testing_support::readFile(outside).size(), 5000U);
    EXPECT_FALSE(testing_support::exists(system.at("var/cache/apt/archives/bash_5.2.15-2_amd64.deb")));
}

TEST_F(SystemCliTest, BadSystemOptionsAreUsageErrors)
{
    EXPECT_EQ(runCli({ "--sysroot", "relative/root", "scan", "system" }).code, 2);
    EXPECT_EQ(runCli({ "--sysroot", tmp / "missing", "scan", "system" }).code, 2);
    EXPECT_EQ(runCli({ "--tools", "bin", "scan", "system" }).code, 2);
}

} // namespace
