// SPDX-License-Identifier: GPL-3.0-or-later
// spruce-admin, the privileged helper, run as the program it is: its
// refusals as carefully as its successes, on a planted system root.
#include "CliSupport.h"
#include "support/MountNamespace.h"
#include "support/RunAsNobody.h"
#include "support/SystemRoot.h"
#include "sysjunk/AdminProtocol.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::exists;
using testing_support::SystemRoot;
using testing_support::TempDir;

namespace {

using AdminRun = cli_tests::CliRun;

/// Runs spruce-admin with `args` and exactly the environment `env`.
AdminRun runAdmin(const std::vector<std::string> &args, const std::vector<std::string> &env = {})
{
    cli_tests::CliSetup setup = cli_tests::CliSetup::withEnvironment(env);
    setup.exactEnvironment = true;
    return cli_tests::runProgram(SPRUCE_ADMIN, args, setup);
}

std::size_t lineCount(const std::string &text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class AdminTest : public ::testing::Test
{
protected:
    AdminTest()
        : system(tmp)
    {
    }

    AdminRun admin(std::vector<std::string> words) const
    {
        std::vector<std::string> args = { "--sysroot", system.root(), "--tools", system.tools() };
        args.insert(args.end(), words.begin(), words.end());
        return runAdmin(args);
    }

    std::string deb() const { return system.file("var/cache/apt/archives/bash_5.2.15-2_amd64.deb", 1000); }

    TempDir tmp;
    SystemRoot system;
};

TEST_F(AdminTest, MalformedRequestsAreRefusedWholeWithOneLine)
{
    const std::string package = deb();
    system.file("etc/passwd", 5);
    const std::vector<std::vector<std::string>> requests = {
        { "apt-archive:" + system.at("etc/passwd") }, // a path
        { "apt-archive:../../../etc/passwd" }, // climbing out
        { "apt-archive:partial/../bash_5.2.15-2_amd64.deb" },
        { "apt-archive:notes.txt" }, // a name of another kind
        { "apt-archive:.deb" },
        { "apt-archive" }, // no identifier
        { "apt-archive:" },
        { "coredump:passwd" },
        { "crash-report:2023013112" },
        { "var-tmp:systemd-private-abc" },
        { "journal-vacuum:now" }, // an identifier where none is taken
        { "snap-revision:core18" },
        { "snap-revision:--purge_1" },
        { "flatpak-runtime:org.gnome.Platform/x86_64/../43" },
        { "flatpak-runtime:--all" },
        { "rm-rf:/" }, // an unknown action
        { "--help" },
        { "apt-archive:bash_5.2.15-2_amd64.deb\nremoved" },
        // One bad word spoils the request: the good one is not carried out either.
        { "apt-archive:bash_5.2.15-2_amd64.deb", "apt-archive:../x.deb" },
        {}, // nothing asked
    };
    for (const auto &words : requests) {
        const AdminRun run = admin(words);
        const std::string shown = words.empty() ? "(none)" : words.back();
        EXPECT_EQ(run.code, core::sysjunk::AdminMalformed) << shown;
        EXPECT_TRUE(run.out.empty()) << shown << ": " << run.out;
        ASSERT_FALSE(run.err.empty()) << shown;
        const std::size_t last = run.err.rfind("spruce-admin: refused: ");
        ASSERT_NE(last, std::string::npos) << run.err;
        EXPECT_EQ(lineCount(run.err.substr(last)), 1U) << run.err;
        EXPECT_TRUE(exists(package)) << shown;
        EXPECT_TRUE(exists(system.at("etc/passwd"))) << shown;
    }
}

TEST_F(AdminTest, ItemsThatAreNotWhatTheirNameSaysAreRefusedOneByOne)
{
    const std::string package = deb();
    const std::string outside = system.file("elsewhere/secret.deb", 10);
    system.link("var/cache/apt/archives/link.deb", outside);
    system.dir("var/cache/apt/archives/folder.deb/inside");
    system.file("var/lib/systemd/coredump/core.fifo.0.b.1.2", 0);
    system.file("var/tmp/fresh.txt", 5); // changed just now
    system.fakeTool("snap", testing_support::SnapListAll);
    system.fakeTool("flatpak", testing_support::FlatpakUnused, 1);
    system.dir("var/lib/flatpak/runtime/org.kde.Platform/x86_64/5.15");

    const AdminRun run = admin({ "apt-archive:link.deb",
        "apt-archive:folder.deb",
        "apt-archive:missing_1_all.deb",
        "var-tmp:fresh.txt",
        "snap-revision:core18_2708", // installed and enabled
        "flatpak-runtime:org.kde.Platform/x86_64/5.15", // not unused
        "apt-archive:bash_5.2.15-2_amd64.deb" });
    EXPECT_EQ(run.code, core::sysjunk::AdminItemsFailed) << run.err;
    EXPECT_EQ(run.out,
        "refused apt-archive:link.deb 0 " + system.at("var/cache/apt/archives/link.deb")
            + " is not a regular file; not removed\n"
              "refused apt-archive:folder.deb 0 "
            + system.at("var/cache/apt/archives/folder.deb")
            + " is not a regular file; not removed\n"
              "gone apt-archive:missing_1_all.deb 0\n"
              "refused var-tmp:fresh.txt 0 "
            + system.at("var/tmp/fresh.txt")
            + " changed 0 days ago, less than 30; not removed\n"
              "refused snap-revision:core18_2708 0 core18 revision 2708 is not a disabled revision\n"
              "refused flatpak-runtime:org.kde.Platform/x86_64/5.15 0 org.kde.Platform 5.15 is not an unused runtime\n"
              "removed apt-archive:bash_5.2.15-2_amd64.deb 1000\n");
    EXPECT_TRUE(exists(outside));
    EXPECT_TRUE(exists(system.at("var/cache/apt/archives/link.deb")));
    EXPECT_TRUE(exists(system.at("var/cache/apt/archives/folder.deb/inside")));
    EXPECT_TRUE(exists(system.at("var/tmp/fresh.txt")));
    EXPECT_FALSE(exists(package));
    EXPECT_EQ(system.calls("snap"), "list --all\n") << "nothing is removed of a revision that is not disabled";
    EXPECT_EQ(system.calls("flatpak"), "uninstall --unused --system\n");
}

TEST_F(AdminTest, ALinkOnTheWayToTheCacheLeadsNowhere)
{
    system.file("elsewhere/archives/bash_5.2.15-2_amd64.deb", 1000);
    system.dir("var/cache");
    system.link("var/cache/apt", system.at("elsewhere"));
    const AdminRun run = admin({ "apt-archive:bash_5.2.15-2_amd64.deb" });
    EXPECT_EQ(run.code, core::sysjunk::AdminItemsFailed);
    EXPECT_TRUE(run.out.starts_with("refused apt-archive:bash_5.2.15-2_amd64.deb 0 ")) << run.out;
    EXPECT_TRUE(exists(system.at("elsewhere/archives/bash_5.2.15-2_amd64.deb")));
}

TEST_F(AdminTest, AMountPointInTheCacheIsRefused)
{
    const std::string outside = system.file("other-disk/big.deb", 5000);
    const std::string bound = system.file("var/cache/apt/archives/bound_1_all.deb", 0);
    std::string said;
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::bindMount(outside, bound)) {
            return testing_support::CannotRun;
        }
        const AdminRun run = admin({ "apt-archive:bound_1_all.deb" });
        return run.code == core::sysjunk::AdminItemsFailed
                && run.out.starts_with("refused apt-archive:bound_1_all.deb 0")
            ? 0
            : 1;
    });
    if (code == testing_support::CannotRun) {
        GTEST_SKIP() << "cannot mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(exists(outside));
    EXPECT_EQ(testing_support::readFile(outside).size(), 5000U);
}

TEST_F(AdminTest, RemovesEachKindItTakes)
{
    deb();
    system.file("var/cache/apt/archives/partial/zsh_5.9-4_amd64.deb.FAILED", 70);
    system.file("var/crash/202301311205/dump.202301311205", 400);
    system.file("var/crash/202301311205/dmesg.202301311205", 40);
    system.file("var/crash/_usr_bin_gedit.1000.crash", 300);
    system.file("var/lib/systemd/coredump/core.firefox.1000.b00t.4242.1700000000000000.zst", 900);
    const std::string machine = "var/log/journal/0123456789abcdef0123456789abcdef/";
    system.file(machine + "system.journal", 8000);
    system.file(machine + "system@0005f1-0001.journal", 3000);
    system.fakeTool("journalctl", "Vacuuming done, freed 2.9K\n", 0, "rm -f '" + system.at(machine) + "'*@*.journal");
    system.fakeTool("snap",
        testing_support::SnapListAll,
        0,
        "[ \"$1\" = remove ] && rm -f '" + system.at("var/lib/snapd/snaps/core18_2697.snap") + "'");
    system.file("var/lib/snapd/snaps/core18_2697.snap", 4096);
    system.fakeTool("flatpak",
        testing_support::FlatpakUnused,
        1,
        "[ \"$2\" = --system ] && rm -r '" + system.at("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43")
            + "' && exit 0");
    system.file("var/lib/flatpak/runtime/org.gnome.Platform/x86_64/43/active/files/lib.so", 3000);

    const AdminRun run = admin({ "apt-archive:bash_5.2.15-2_amd64.deb",
        "apt-partial:zsh_5.9-4_amd64.deb.FAILED",
        "crash-report:202301311205",
        "crash-report:_usr_bin_gedit.1000.crash",
        "coredump:core.firefox.1000.b00t.4242.1700000000000000.zst",
        "journal-vacuum",
        "snap-revision:core18_2697",
        "flatpak-runtime:org.gnome.Platform/x86_64/43",
        "apt-archive:bash_5.2.15-2_amd64.deb" }); // asked twice, done once
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(run.out,
        "removed apt-archive:bash_5.2.15-2_amd64.deb 1000\n"
        "removed apt-partial:zsh_5.9-4_amd64.deb.FAILED 70\n"
        "removed crash-report:202301311205 440\n"
        "removed crash-report:_usr_bin_gedit.1000.crash 300\n"
        "removed coredump:core.firefox.1000.b00t.4242.1700000000000000.zst 900\n"
        "removed journal-vacuum 3000\n"
        "removed snap-revision:core18_2697 4096\n"
        "removed flatpak-runtime:org.gnome.Platform/x86_64/43 3000\n");
    EXPECT_TRUE(exists(system.at(machine + "system.journal")));
    EXPECT_EQ(system.calls("journalctl"), "--vacuum-time=1s --root=" + system.root() + "/\n");
    EXPECT_EQ(system.calls("snap"), "list --all\nremove --revision=2697 core18\n");
    EXPECT_EQ(system.calls("flatpak"),
        "uninstall --unused --system\n"
        "uninstall --system --noninteractive runtime/org.gnome.Platform/x86_64/43\n");
    EXPECT_TRUE(exists(system.at("var/crash")));
    EXPECT_TRUE(exists(system.at("var/cache/apt/archives/partial")));
}

TEST_F(AdminTest, AToolThatFailsIsAFailureWithItsOwnWords)
{
    system.fakeTool("snap",
        testing_support::SnapListAll,
        0,
        "[ \"$1\" = remove ] && echo 'error: snap \"core18\" is busy' >&2 && exit 1");
    system.file("var/lib/snapd/snaps/core18_2697.snap", 4096);
    const AdminRun run = admin({ "snap-revision:core18_2697" });
    EXPECT_EQ(run.code, core::sysjunk::AdminItemsFailed);
    EXPECT_EQ(run.out, "failed snap-revision:core18_2697 0 snap remove failed: error: snap \"core18\" is busy\n");
    EXPECT_TRUE(exists(system.at("var/lib/snapd/snaps/core18_2697.snap")));
}

TEST_F(AdminTest, RunsOnlyForRootAndTakesNoTestOptionsThroughPkexec)
{
    const std::string package = deb();
    const std::string admin = SPRUCE_ADMIN;
    const std::string root = system.root();
    const int code = testing_support::runAsNobody([&admin] {
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execl(admin.c_str(), admin.c_str(), "apt-archive:bash_5.2.15-2_amd64.deb", nullptr);
        return 127;
    });
    EXPECT_EQ(code, core::sysjunk::AdminNotPermitted);

    const AdminRun viaPkexec =
        runAdmin({ "--sysroot", root, "apt-archive:bash_5.2.15-2_amd64.deb" }, { "PKEXEC_UID=1000" });
    EXPECT_EQ(viaPkexec.code, core::sysjunk::AdminNotPermitted);
    EXPECT_EQ(viaPkexec.err, "spruce-admin: refused: --sysroot is not taken through pkexec\n");
    EXPECT_TRUE(exists(package));
}

} // namespace
