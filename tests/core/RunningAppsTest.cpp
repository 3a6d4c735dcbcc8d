// SPDX-License-Identifier: GPL-3.0-or-later
// Categories whose programs run are left alone by the cleaner: the
// matching of catalogue entries against processes, the reading of /proc,
// and a clean under a real running program.
#include "engine/RunningApps.h"

#include "support/CleanFixture.h"
#include "support/RunningProgram.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using core::namesProcess;
using core::ProcessImage;
using testing_support::exists;
using testing_support::TempDir;

namespace {

struct MatchCase
{
    std::string entry;
    ProcessImage process;
    bool matches;
};

const ProcessImage Editor{ "/usr/share/code/code", "code", { "/usr/share/code/code", "--type=renderer" } };
const ProcessImage GradleDaemon{ "/usr/lib/jvm/java-17/bin/java",
    "java",
    { "/usr/lib/jvm/java-17/bin/java",
        "-Xmx512m",
        "-cp",
        "gradle-launcher.jar",
        "org.gradle.launcher.daemon.bootstrap.GradleDaemon",
        "8.5" } };
const ProcessImage Script{
    "/usr/bin/python3.11", "long-program-na", { "/usr/bin/python3", "/opt/x/long-program-name" }
};
const ProcessImage Titled{ "/usr/bin/node", "npm install", { "npm install" } };
const ProcessImage Replaced{ "", "slack", { "/usr/lib/slack/slack" } };

void PrintTo(const MatchCase &c, std::ostream *os)
{
    *os << '"' << c.entry << "\" against " << c.process.executable << (c.matches ? " matches" : " does not match");
}

class NamesProcess : public testing::TestWithParam<MatchCase>
{
};

TEST_P(NamesProcess, Matches)
{
    const MatchCase &c = GetParam();
    EXPECT_EQ(namesProcess(c.entry, c.process), c.matches) << c.entry;
}

INSTANTIATE_TEST_SUITE_P(Entries,
    NamesProcess,
    testing::Values(MatchCase{ "code", Editor, true },
        MatchCase{ "/usr/share/code/code", Editor, true },
        MatchCase{ "/usr/bin/code", Editor, false },
        MatchCase{ "cod", Editor, false },
        MatchCase{ "code --type=renderer", Editor, true },
        MatchCase{ "code /usr/share/code/code", Editor, false }, // argv[0] is not an argument
        MatchCase{ "java org.gradle.launcher.daemon.bootstrap.GradleDaemon", GradleDaemon, true },
        MatchCase{ "java org.gradle.launcher.GradleMain", GradleDaemon, false },
        MatchCase{ "java org.gradle", GradleDaemon, false }, // whole arguments only
        MatchCase{ "gradle", GradleDaemon, false },
        MatchCase{ "long-program-name", Script, true }, // the kernel's 15-byte command name
        MatchCase{ "long-program-nameX", Script, true },
        MatchCase{ "python3", Script, true },
        MatchCase{ "python3.11", Script, true },
        MatchCase{ "npm", Titled, true },
        MatchCase{ "node", Titled, true },
        MatchCase{ "slack", Replaced, true },
        MatchCase{ "", Editor, false },
        MatchCase{ " code", Editor, false }));

/// A /proc of its own: processes with an owner, an executable, a command
/// name and arguments.
class FakeProc
{
public:
    void add(int pid, unsigned uid, const std::string &exe, const std::string &comm, const std::string &cmdline)
    {
        const std::string dir = "proc/" + std::to_string(pid);
        write(dir + "/status",
            "Name:\t" + comm + "\nUid:\t" + std::to_string(uid + 1) + "\t" + std::to_string(uid) + "\t0\t0\n");
        write(dir + "/comm", comm + "\n");
        write(dir + "/cmdline", cmdline);
        m_tmp.makeLink(dir + "/exe", exe);
    }
    std::string root() const { return m_tmp.path() + "/"; }
    const TempDir &tmp() const { return m_tmp; }

private:
    void write(const std::string &relative, const std::string &text) const
    {
        std::ofstream(m_tmp.writeFile(relative, 0), std::ios::binary) << text;
    }
    TempDir m_tmp;
};

class RunningAppsTest : public testing_support::CleanFixture
{
};

TEST_F(RunningAppsTest, OnlyTheUsersOwnProcessesCount)
{
    FakeProc proc;
    const unsigned me = ::geteuid();
    proc.add(100, me, "/opt/editor/editor", "editor", std::string("editor\0--new-window\0", 20));
    proc.add(200, me + 1, "/usr/lib/slack/slack", "slack", std::string("slack\0", 6));
    proc.add(300, me, "/usr/bin/java (deleted)", "java", std::string("java\0-cp\0g.jar\0Daemon\0", 22));
    proc.tmp().makeDir("proc/self");
    proc.tmp().makeDir("proc/400"); // vanished while it was read: no status
    core::platform::Services services = core::platform::services();
    services.sysRoot = proc.root();
    const core::platform::ScopedServices installed(services);

    EXPECT_EQ(core::firstRunning({ "slack", "editor" }, me), "editor");
    EXPECT_EQ(core::firstRunning({ "slack" }, me), std::nullopt) << "another user's Slack is not ours to wait for";
    EXPECT_EQ(core::firstRunning({ "slack" }, me + 1), "slack");
    EXPECT_EQ(core::firstRunning({ "/usr/bin/java Daemon" }, me), "/usr/bin/java Daemon")
        << "an executable replaced since it started still runs";
    EXPECT_EQ(core::firstRunning({}, me), std::nullopt);
}

TEST_F(RunningAppsTest, TheProgramsOfTheHomesOwnerCountNotTheCleaners)
{
    // A home owned by someone else: root cleaning another user's home, or a
    // user pointed at a folder of root's.
    const unsigned me = ::geteuid();
    const unsigned owner = me == 0 ? 65534 : 0;
    std::string home = "/";
    if (me == 0) {
        home = tmp.makeDir("ann");
        ASSERT_EQ(::chown(home.c_str(), owner, owner), 0);
    }
    FakeProc proc;
    proc.add(100, owner, "/usr/bin/node", "npm install", std::string("npm install\0", 12));
    proc.add(200, me, "/usr/bin/cleaner-side", "cleaner-side", std::string("cleaner-side\0", 13));
    core::platform::Services services = core::platform::services();
    services.sysRoot = proc.root();
    services.user.homeDir = home;
    const core::platform::ScopedServices installed(services);
    EXPECT_EQ(core::homeOwner(home), owner);
    EXPECT_EQ(core::homeOwner(tmp / "no-such-home"), me) << "nothing to ask: the cleaner's own";

    core::Category npm;
    npm.runningApps = { "cleaner-side", "npm" };
    EXPECT_EQ(core::ModuleInfo::runningApp(npm), "npm") << "the home owner's npm, not the cleaner's own program";
    npm.runningApps = { "cleaner-side" };
    EXPECT_EQ(core::ModuleInfo::runningApp(npm), std::nullopt);

    // The clean asks the same question.
    tmp.writeFile("npm-cache/a", 10);
    core::Category held = atLocation(location(tmp / "npm-cache"));
    held.runningApps = { "npm" };
    scan(2, { held });
    selectAll(2);
    const Report out = clean(2);
    EXPECT_EQ(out.skipped, (std::map<int, std::string>{ { 0, "npm is running" } }));
    EXPECT_TRUE(exists(tmp / "npm-cache/a"));
}

TEST_F(RunningAppsTest, ACategoryIsCleanedOnlyOnceItsProgramHasExited)
{
    TempDir bin;
    const std::string name = "spruce-test-" + std::to_string(::getpid());
    testing_support::RunningProgram program(bin, name);
    ASSERT_TRUE(program.running());

    tmp.writeFile("editor/Cache/a", 10);
    tmp.writeFile("other/b", 20);
    core::Category held = atLocation(location(tmp / "editor/Cache"));
    held.runningApps = { "not-running-anywhere", name };
    scan(2, { held, atLocation(location(tmp / "other")) });
    EXPECT_EQ(categoryAt(2, 0).size, 10) << "the scan still shows its size";
    EXPECT_EQ(core::ModuleInfo::runningApp(categoryAt(2, 0)), name);
    EXPECT_TRUE(clean(2).skipped.empty()) << "nothing selected there: nothing to tell";
    selectAll(2);

    const Report dry = clean(2, true);
    EXPECT_EQ(dry.skipped.at(0), name + " is running");
    const Report out = clean(2);
    EXPECT_EQ(out.skipped, (std::map<int, std::string>{ { 0, name + " is running" } }));
    EXPECT_EQ(out.removed, std::vector<std::string>{ tmp / "other/b" });
    EXPECT_TRUE(out.failed.empty()) << "a category left alone is told once, not item by item";
    EXPECT_TRUE(exists(tmp / "editor/Cache/a"));
    EXPECT_EQ(categoryAt(2, 0).size, 10);

    program.stop();
    EXPECT_EQ(core::ModuleInfo::runningApp(categoryAt(2, 0)), std::nullopt);
    const Report after = clean(2);
    EXPECT_TRUE(after.skipped.empty());
    EXPECT_EQ(after.removed, std::vector<std::string>{ tmp / "editor/Cache/a" });
    EXPECT_FALSE(exists(tmp / "editor/Cache/a"));
}

} // namespace
