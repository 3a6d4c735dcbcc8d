// SPDX-License-Identifier: GPL-3.0-or-later
// spruce-cli monitor, processes and volumes, end to end on this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run
{
    int code = -1;
    std::string out;
};

/// Runs spruce-cli with `args` (shell words, no quoting needed); stderr is discarded.
Run runCli(const std::string &args)
{
    Run run;
    const std::string command = std::string(SPRUCE_CLI) + " " + args + " 2>/dev/null </dev/null";
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return run;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(MonitorCli, OneSampleAsJson)
{
    const auto run = runCli("--json monitor");
    ASSERT_EQ(run.code, 0);
    const auto doc = nlohmann::json::parse(run.out);
    // Two samples a quarter of a second apart: a few dozen ticks, not the total since boot.
    const double ticks = doc["cpu"]["total"].get<double>();
    EXPECT_GT(ticks, 0);
    EXPECT_LT(ticks, 500.0 * static_cast<double>(::sysconf(_SC_NPROCESSORS_ONLN))); // under 5 s
    const auto &cpu = doc["cpu"];
    EXPECT_NEAR(
        cpu["user"].get<double>() + cpu["system"].get<double>() + cpu["idle"].get<double>() + cpu["nice"].get<double>(),
        100.0,
        1e-6);
    EXPECT_GT(doc["physicalMemory"].get<double>(), 0);
    EXPECT_TRUE(doc["memoryUsage"].contains("compressed"));
    EXPECT_EQ(doc["disk"]["url"], "file:///");
    EXPECT_EQ(doc["disk"]["fileDistribution"]["distribution"].back()["name"], "Available");
    EXPECT_TRUE(doc.contains("battery"));
}

TEST(MonitorCli, WaitsForTheDiskSplitUnlessAskedNotTo)
{
    const auto run = runCli("--json monitor");
    ASSERT_EQ(run.code, 0);
    const auto disk = nlohmann::json::parse(run.out)["disk"];
    const auto &split = disk["fileDistribution"];
    std::vector<std::string> names;
    std::int64_t sum = 0;
    for (const auto &slice : split["distribution"]) {
        names.push_back(slice["name"]);
        sum += slice["bytes"].get<std::int64_t>();
    }
    // Either measurement may finish first.
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{ "Apps", "Available", "IOS", "Other" }))
        << "both measurements are in before the sample is shown";
    EXPECT_EQ(sum, split["capacity"].get<std::int64_t>());

    // The administrator's reserve is neither used nor available: the split covers the rest, as df does.
    struct statvfs vfs
    {
    };
    ASSERT_EQ(::statvfs("/", &vfs), 0);
    const auto unit = static_cast<std::int64_t>(vfs.f_frsize);
    const auto reserved = static_cast<std::int64_t>(vfs.f_bfree - vfs.f_bavail) * unit;
    EXPECT_EQ(disk["reserved"], reserved);
    EXPECT_EQ(split["capacity"], static_cast<std::int64_t>(vfs.f_blocks) * unit - reserved);
    EXPECT_EQ(disk["capacity"], static_cast<std::int64_t>(vfs.f_blocks) * unit);

    const auto quick = runCli("--json monitor --no-wait");
    ASSERT_EQ(quick.code, 0);
    const auto quickDoc = nlohmann::json::parse(quick.out);
    const auto &slices = quickDoc["disk"]["fileDistribution"]["distribution"];
    ASSERT_EQ(slices.size(), 2U);
    EXPECT_EQ(slices[0]["name"], "Calculating");
}

TEST(MonitorCli, ProcessesAndVolumes)
{
    const auto processes = runCli("processes --json");
    ASSERT_EQ(processes.code, 0);
    const auto list = nlohmann::json::parse(processes.out);
    ASSERT_TRUE(list.is_array());
    bool foundParent = false;
    for (const auto &p : list) {
        foundParent = foundParent || p["pid"].get<int>() == ::getpid();
    }
    EXPECT_TRUE(foundParent); // this test process, the shell's parent, is running

    const auto volumes = runCli("volumes --json");
    ASSERT_EQ(volumes.code, 0);
    EXPECT_EQ(nlohmann::json::parse(volumes.out).at(0)["url"], "file:///");

    const auto text = runCli("volumes");
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("MOUNTED ON"), std::string::npos);
}

TEST(MonitorCli, ProcessNamesWithControlCharactersAreQuoted)
{
    int ready[2] = { -1, -1 };
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_NAME, "sp\nru\x1b[2J", 0, 0, 0);
        (void)::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    const auto run = runCli("processes");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    ASSERT_EQ(run.code, 0);
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    const std::string pid = " " + std::to_string(child) + " ";
    std::istringstream lines(run.out);
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        if (line.find(pid) != std::string::npos
            && line.find(" " + std::to_string(::getpid()) + " ") != std::string::npos) {
            found = true;
            EXPECT_TRUE(line.ends_with(R"( 'sp'$'\n''ru'$'\033''[2J')")) << line;
        }
    }
    EXPECT_TRUE(found) << run.out;
}

TEST(MonitorCli, BadArgumentsAreUsageErrors)
{
    EXPECT_EQ(runCli("monitor --watch 0").code, 2);
    EXPECT_EQ(runCli("monitor --watch soon").code, 2);
    EXPECT_EQ(runCli("monitor --watch").code, 2);
    EXPECT_EQ(runCli("processes extra").code, 2);
    EXPECT_EQ(runCli("volumes --all").code, 2);
}
