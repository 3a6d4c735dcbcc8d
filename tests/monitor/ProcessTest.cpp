// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/FixtureServices.h"
#include "monitor/ProcessAPI.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <unistd.h>

using core::ProcessAPI;
using core::ProcessInfo;
using testing_support::fixtureRoot;
using testing_support::FixtureServices;
using testing_support::TempDir;

namespace {

/// The first 20 bytes of an ELF file of the given class, byte order and machine.
std::array<unsigned char, 20> elfHeader(unsigned char elfClass, unsigned char byteOrder, unsigned machine)
{
    std::array<unsigned char, 20> h{ 0x7F, 'E', 'L', 'F', elfClass, byteOrder, 1 };
    const auto low = static_cast<unsigned char>(machine & 0xFFU);
    const auto high = static_cast<unsigned char>(machine >> 8U);
    h[18] = byteOrder == 1 ? low : high;
    h[19] = byteOrder == 1 ? high : low;
    return h;
}

void writeBytes(const std::string &path, const void *data, std::size_t size)
{
    std::ofstream(path, std::ios::binary).write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
}

void writeText(const std::string &path, std::string_view text)
{
    writeBytes(path, text.data(), text.size());
}

} // namespace

TEST(ProcessList, FixtureRecordsInPidOrder)
{
    FixtureServices services(fixtureRoot("laptop-discharging"));
    const auto list = ProcessAPI::list();
    // pid 999 exited between the listing and the reads: left out.
    ASSERT_EQ(list.size(), 4U);
    EXPECT_EQ(list[0], (ProcessInfo{ 1, 0, 1, 0, "systemd", -1, 3 }));
    EXPECT_EQ(list[1], (ProcessInfo{ 2, 0, 0, 0, "kthreadd", -1, 3 })); // a kernel thread has no exe
    // The command holds ") (" itself; the uid is the effective one (second of four).
    EXPECT_EQ(list[2], (ProcessInfo{ 1234, 1, 1200, 1001, "a) (b", -1, 2 }));
    EXPECT_EQ(list[3], (ProcessInfo{ 4321, 1234, 1200, 1000, "defunct-child", -1, 5 }));
}

TEST(ProcessList, ArchitectureFromTheExecutableAndUnreadableRecords)
{
    TempDir root;
    FixtureServices services(root.path());
    root.writeFile("proc/70/status", 0);
    writeText(root / "proc/70/stat", "70 (arm-tool) S 1 70 70");
    const auto arm = elfHeader(2, 1, 183);
    writeBytes(root / "proc/70/exe", arm.data(), arm.size());

    // A garbled stat is a record that cannot be read: listed with its pid and zeros.
    root.writeFile("proc/71/status", 0);
    writeText(root / "proc/71/stat", "71 (trunc");
    writeText(root / "proc/71/exe", "#!/bin/sh\n");

    const auto list = ProcessAPI::list();
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list[0].command, "arm-tool");
    EXPECT_EQ(list[0].arch, core::CPU_TYPE_ARM64);
    EXPECT_EQ(list[1], (ProcessInfo{ 71, 0, 0, 0, "", -1, 0 }));
}

TEST(ProcessList, ElfHeaderByteOrderAndClass)
{
    auto arch = [](const std::array<unsigned char, 20> &h) {
        return ProcessAPI::archFromElfHeader(h);
    };
    EXPECT_EQ(arch(elfHeader(2, 1, 62)), core::CPU_TYPE_X86_64);
    EXPECT_EQ(arch(elfHeader(1, 1, 62)), core::CPU_TYPE_X86_64); // x32 runs in 64-bit mode
    EXPECT_EQ(arch(elfHeader(1, 1, 3)), core::CPU_TYPE_I386);
    EXPECT_EQ(arch(elfHeader(1, 1, 40)), core::CPU_TYPE_ARM);
    EXPECT_EQ(arch(elfHeader(2, 2, 183)), core::CPU_TYPE_ARM64); // big-endian aarch64
    EXPECT_EQ(arch(elfHeader(2, 2, 21)), core::CPU_TYPE_POWERPC64);
    EXPECT_EQ(arch(elfHeader(1, 2, 20)), core::CPU_TYPE_POWERPC);
    EXPECT_EQ(arch(elfHeader(2, 1, 243)), -1); // RISC-V has no constant
    EXPECT_EQ(arch(elfHeader(3, 1, 62)), -1); // invalid class

    auto header = elfHeader(2, 1, 62);
    header[0] = 0x7E;
    EXPECT_EQ(arch(header), -1);
    EXPECT_EQ(ProcessAPI::archFromElfHeader(std::span<const unsigned char>(elfHeader(2, 1, 62).data(), 19)), -1);
}

TEST(ProcessList, StatAndStatusParsing)
{
    const auto fields = ProcessAPI::parseStat("42 (x)\n(y) t 7 9 0 -1\n");
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->command, "x)\n(y");
    EXPECT_EQ(fields->state, 't');
    EXPECT_EQ(ProcessAPI::statusFromState(fields->state), 4);
    EXPECT_EQ(ProcessAPI::statusFromState('?'), 0);
    EXPECT_EQ(ProcessAPI::parseStat("42 (\xff\xfe) S 1 1")->command, "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_FALSE(ProcessAPI::parseStat("42 (x) S one 1"));

    EXPECT_EQ(ProcessAPI::parseEffectiveUid("Name:\tx\nUid:\t1000\t0\t1000\t1000\n"), 0);
    EXPECT_FALSE(ProcessAPI::parseEffectiveUid("Name:\tx\nUid:\t1000\n"));
}

TEST(ProcessList, RealMachineListsThisProcess)
{
    FixtureServices services("/");
    const auto list = ProcessAPI::list();
    const auto self = std::find_if(list.begin(), list.end(), [](const auto &p) {
        return p.pid == ::getpid();
    });
    ASSERT_NE(self, list.end());
    EXPECT_EQ(self->ppid, ::getppid());
    EXPECT_EQ(self->uid, static_cast<int>(::geteuid()));
    EXPECT_EQ(self->status, 2); // reading its own stat, it is running
    EXPECT_EQ(self->command, std::string("monitor_tests").substr(0, 15));
#if defined(__x86_64__)
    EXPECT_EQ(self->arch, core::CPU_TYPE_X86_64);
#elif defined(__aarch64__)
    EXPECT_EQ(self->arch, core::CPU_TYPE_ARM64);
#endif
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), [](const auto &a, const auto &b) {
        return a.pid < b.pid;
    }));
}
