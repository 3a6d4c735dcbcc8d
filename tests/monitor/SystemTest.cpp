// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/System.h"

#include "monitor/FixtureServices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sys/sysinfo.h>
#include <unistd.h>

using core::FirmwareInfo;
using core::System;
using testing_support::fixtureRoot;
using testing_support::FixtureServices;
using testing_support::TempDir;

namespace {

constexpr double KiB = 1024.0;
constexpr double GiB = 1073741824.0;

void writeText(const TempDir &dir, const std::string &relative, const std::string &text)
{
    dir.writeFile(relative, 0);
    std::ofstream(dir / relative, std::ios::binary) << text;
}

std::string statWith(const std::string &cpuLine)
{
    return cpuLine + "\ncpu0 1 2 3 4\nintr 1 2 3\nbtime 1700000000\n";
}

} // namespace

TEST(SystemCpu, SharesCoverOnlyTheTicksBetweenTwoSamples)
{
    TempDir root;
    FixtureServices services(root.path());
    // user nice system idle iowait irq softirq steal guest guest_nice
    writeText(root, "proc/stat", statWith("cpu  100 0 40 800 50 5 5 0 0 0"));

    System system;
    const auto sinceBoot = system.usageCPU();
    EXPECT_DOUBLE_EQ(sinceBoot.total, 1000);
    EXPECT_DOUBLE_EQ(sinceBoot.user, 10);
    EXPECT_DOUBLE_EQ(sinceBoot.system, 5); // system + irq + softirq + steal
    EXPECT_DOUBLE_EQ(sinceBoot.idle, 85); // idle + iowait
    EXPECT_EQ(system.loadPrevious, (core::CPUTicks{ 100, 50, 850, 0 }));

    writeText(root, "proc/stat", statWith("cpu  160 20 50 895 60 8 7 0 0 0"));
    const auto interval = system.usageCPU();
    EXPECT_DOUBLE_EQ(interval.total, 200);
    EXPECT_DOUBLE_EQ(interval.user, 30);
    EXPECT_DOUBLE_EQ(interval.nice, 10);
    EXPECT_DOUBLE_EQ(interval.system, 7.5);
    EXPECT_DOUBLE_EQ(interval.idle, 52.5);

    // A new instance starts from zero again: shares since boot.
    EXPECT_DOUBLE_EQ(System().usageCPU().total, 1200);
}

TEST(SystemCpu, NoTicksGiveNaNAndABackwardsCounterIsClamped)
{
    TempDir root;
    FixtureServices services(root.path());
    writeText(root, "proc/stat", statWith("cpu  100 0 40 1000 500 0 0 0 0 0"));
    System system;
    (void)system.usageCPU();

    const auto same = system.usageCPU();
    EXPECT_EQ(same.total, 0);
    EXPECT_TRUE(std::isnan(same.user) && std::isnan(same.system) && std::isnan(same.idle) && std::isnan(same.nice));

    // iowait may go down (proc(5)); the idle group must not wrap around to 2^64.
    writeText(root, "proc/stat", statWith("cpu  200 0 40 1000 400 0 0 0 0 0"));
    const auto afterDrop = system.usageCPU();
    EXPECT_DOUBLE_EQ(afterDrop.total, 100);
    EXPECT_DOUBLE_EQ(afterDrop.user, 100);
    EXPECT_DOUBLE_EQ(afterDrop.idle, 0);
}

TEST(SystemCpu, GuestTimeIsNotCountedTwiceAndBadInputIsRejected)
{
    const auto ticks = core::systemtext::parseCpuTicks("cpu  100 10 50 800 20 5 5 10 30 4\n");
    ASSERT_TRUE(ticks);
    EXPECT_EQ(*ticks, (core::CPUTicks{ 100, 70, 820, 10 }));

    EXPECT_TRUE(core::systemtext::parseCpuTicks("cpu  1 2 3 4\n")); // old kernels: four fields
    EXPECT_FALSE(core::systemtext::parseCpuTicks("cpu  5556 0 45"));
    EXPECT_FALSE(core::systemtext::parseCpuTicks("cpu0 1 2 3 4\n"));
    EXPECT_FALSE(core::systemtext::parseCpuTicks("cpu  1 2 x 4\n"));
}

TEST(SystemCpu, UnreadableCountersKeepThePreviousSample)
{
    TempDir root;
    FixtureServices services(root.path());
    System system;
    system.loadPrevious = core::CPUTicks{ 1, 2, 3, 4 };
    const auto usage = system.usageCPU();
    EXPECT_TRUE(std::isnan(usage.user));
    EXPECT_EQ(usage.total, 0);
    EXPECT_EQ(system.loadPrevious, (core::CPUTicks{ 1, 2, 3, 4 }));
    EXPECT_EQ(services.log.systemLines().size(), 1U);
}

TEST(SystemPower, LimitsFromCpufreqPstateAndCgroupQuota)
{
    struct Case
    {
        const char *scenario;
        double speed;
        int cpus;
        double scheduler;
    };
    for (const Case c : { Case{ "laptop-discharging", 75.0, 4, 100.0 }, // one policy capped at 3.15 of 4.2 GHz
             Case{ "laptop-charging", 80.0, 8, 100.0 }, // intel_pstate max_perf_pct
             Case{ "desktop-no-battery", 300.0 / 3.6, 4, 50.0 }, // cpu.max 2 CPUs of 4
             Case{ "vm", 100.0, 2, 100.0 } }) {
        SCOPED_TRACE(c.scenario);
        FixtureServices services(fixtureRoot(c.scenario));
        const auto limit = System::CPUPowerLimit();
        EXPECT_NEAR(limit.processorSpeed, c.speed, 1e-9);
        EXPECT_EQ(limit.processorCount, c.cpus);
        EXPECT_NEAR(limit.schedulerTime, c.scheduler, 1e-9);
    }
    for (const std::string &root : { fixtureRoot("malformed"), std::string("/nonexistent/") }) {
        FixtureServices services(root);
        const auto limit = System::CPUPowerLimit();
        EXPECT_EQ(limit.processorSpeed, -1.0);
        EXPECT_EQ(limit.processorCount, -1);
        EXPECT_EQ(limit.schedulerTime, -1.0);
    }
}

TEST(SystemMemory, LaptopBreakdown)
{
    FixtureServices services(fixtureRoot("laptop-discharging"));
    EXPECT_DOUBLE_EQ(System::physicalMemory(), 16084356 * KiB / GiB);
    EXPECT_DOUBLE_EQ(System::physicalMemory(System::Unit::Megabyte), System::physicalMemory() * 1024);
    EXPECT_DOUBLE_EQ(System::physicalMemory(System::Unit::Byte), 16084356 * KiB);

    const auto memory = System::memoryUsage();
    EXPECT_DOUBLE_EQ(memory.free, 6120884 * KiB / GiB);
    EXPECT_DOUBLE_EQ(memory.active, 5123404 * KiB / GiB);
    EXPECT_DOUBLE_EQ(memory.inactive, 3320196 * KiB / GiB);
    // Unevictable + SUnreclaim + KernelStack + PageTables + SecPageTables + Percpu + Hugetlb (the
    // pool reserved for huge pages, used or not); Mlocked is part of Unevictable.
    EXPECT_DOUBLE_EQ(memory.wired, (120488 + 178888 + 21424 + 52100 + 2048 + 9216 + 524288) * KiB / GiB);
    EXPECT_DOUBLE_EQ(memory.compressed, 0);
}

TEST(SystemMemory, CompressedCountsZswapPoolAndZramMemoryUsed)
{
    FixtureServices services(fixtureRoot("zram-zswap"));
    // Zswap (not Zswapped, the uncompressed size) + mm_stat mem_used_total of zram0 and zram1.
    EXPECT_DOUBLE_EQ(System::memoryUsage().compressed, (262144 * KiB + 301989888.0 + 2097152.0) / GiB);
}

TEST(SystemMemory, MalformedAndMissingSources)
{
    {
        FixtureServices services(fixtureRoot("malformed"));
        EXPECT_EQ(System::physicalMemory(), 0.0);
        const auto memory = System::memoryUsage();
        EXPECT_EQ(memory.free, 0.0); // "12x"
        EXPECT_EQ(memory.inactive, 0.0); // out of range
        EXPECT_DOUBLE_EQ(memory.active, 1024 * KiB / GiB);
    }
    TempDir empty;
    FixtureServices services(empty.path());
    const auto memory = System::memoryUsage();
    EXPECT_EQ(memory.free + memory.active + memory.inactive + memory.wired + memory.compressed, 0.0);
    EXPECT_EQ(services.log.systemLines().size(), 1U);
}

TEST(SystemIdentity, ModelSkipsFirmwarePlaceholders)
{
    {
        FixtureServices services(fixtureRoot("laptop-discharging"));
        EXPECT_EQ(System::model(), "XPS 13 9310");
    }
    {
        FixtureServices services(fixtureRoot("desktop-no-battery")); // product "To Be Filled By O.E.M."
        EXPECT_EQ(System::model(), "PRIME B450M-A");
    }
    {
        FixtureServices services(fixtureRoot("vm"));
        EXPECT_EQ(System::model(), "");
    }
    TempDir board;
    writeText(board, "sys/firmware/devicetree/base/model", std::string("Raspberry Pi 4 Model B\xff", 23) + '\0');
    FixtureServices services(board.path());
    EXPECT_EQ(System::model(), "Raspberry Pi 4 Model B\xEF\xBF\xBD");
}

TEST(SystemIdentity, CoreCountsFromTopologyAndFallbacks)
{
    {
        FixtureServices services(fixtureRoot("laptop-discharging"));
        EXPECT_EQ(System::logicalCores(), 4);
        EXPECT_EQ(System::physicalCores(), 2);
    }
    {
        FixtureServices services(fixtureRoot("laptop-charging")); // thread_siblings_list only
        EXPECT_EQ(System::logicalCores(), 8);
        EXPECT_EQ(System::physicalCores(), 4);
    }
    TempDir root;
    writeText(root, "sys/devices/system/cpu/online", "0-3\n");
    writeText(root,
        "proc/cpuinfo",
        "processor\t: 0\nphysical id\t: 0\ncore id\t: 0\n\nprocessor\t: 1\nphysical id\t: 0\ncore id\t: 1\n\n"
        "processor\t: 2\nphysical id\t: 0\ncore id\t: 0\n\nprocessor\t: 3\nphysical id\t: 0\ncore id\t: 1\n");
    FixtureServices services(root.path());
    EXPECT_EQ(System::physicalCores(), 2);
}

TEST(SystemIdentity, CpuListSyntax)
{
    using core::systemtext::parseCpuList;
    EXPECT_EQ(parseCpuList("0-3,6,8-9\n"), (std::vector<int>{ 0, 1, 2, 3, 6, 8, 9 }));
    EXPECT_EQ(parseCpuList("0"), (std::vector<int>{ 0 }));
    for (const char *bad : { "", "0-", "3-1", "a", "0,,1", "0-4294967295", "-1", "3,1", "0-3,3", "0-3,2-5" }) {
        EXPECT_FALSE(parseCpuList(bad)) << bad;
    }
    EXPECT_EQ(parseCpuList("0-65535")->size(), 65536U);
    // 64 KiB of overlapping ranges asked for 2 GiB; each CPU is named once at most.
    std::string repeated;
    for (int i = 0; i < 8000; ++i) {
        repeated += "0-65535,";
    }
    EXPECT_FALSE(parseCpuList(repeated));
}

TEST(SystemLoad, AveragesMachFactorAndCounts)
{
    FixtureServices services(fixtureRoot("laptop-discharging"));
    const std::array<double, 3> load{ 1.52, 0.98, 0.61 };
    EXPECT_EQ(System::loadAverage(), load);
    EXPECT_EQ(System::loadAverage(System::LOAD_AVG::SHORT), load);
    const auto factor = System::machFactor();
    EXPECT_DOUBLE_EQ(factor[0], 4 - 1.52);
    EXPECT_DOUBLE_EQ(core::systemtext::machFactorFrom({ 6.0, 4.0, 1.0 }, 4)[0], 4.0 / 7.0);
    EXPECT_DOUBLE_EQ(core::systemtext::machFactorFrom({ 6.0, 4.0, 1.0 }, 4)[1], 4.0 / 5.0);

    const auto counts = System::processCounts();
    EXPECT_EQ(counts.processCount, 5); // numeric folders only, "self" is not one
    EXPECT_EQ(counts.threadCount, 1287);
}

TEST(SystemLoad, MalformedOrMissingGiveZeros)
{
    {
        FixtureServices services(fixtureRoot("malformed"));
        EXPECT_EQ(System::loadAverage(), (std::array<double, 3>{ 0, 0, 0 }));
    }
    TempDir empty;
    FixtureServices services(empty.path());
    const auto counts = System::processCounts();
    EXPECT_EQ(counts.processCount, 0);
    EXPECT_EQ(counts.threadCount, 0);
}

TEST(SystemUptime, FromBootTimeAndClock)
{
    constexpr std::int64_t Boot = 1796545091; // btime of the vm fixture
    {
        FixtureServices services(fixtureRoot("vm"), Boot + 90061);
        EXPECT_EQ(System::uptime(), (core::Uptime{ 1, 1, 1, 1 }));
    }
    {
        FixtureServices services(fixtureRoot("vm"), Boot + 3 * 86400 + 59);
        EXPECT_EQ(System::uptime(), (core::Uptime{ 3, 0, 0, 59 }));
    }
    {
        FixtureServices services(fixtureRoot("malformed"), Boot); // no btime line
        EXPECT_EQ(System::uptime(), (core::Uptime{ 0, 0, 0, 0 }));
    }
    EXPECT_EQ(core::systemtext::uptimeFromSeconds(-5), (core::Uptime{ 0, 0, 0, 0 }));

    // A boot time before 1970 is not one; one so far off that now - boot overflowed is not either.
    for (const char *btime : { "-9223372036000000000", "-9223372036854775808", "-1" }) {
        TempDir root;
        writeText(root, "proc/stat", std::string("cpu  1 2 3 4\nbtime ") + btime + "\n");
        FixtureServices services(root.path(), Boot);
        EXPECT_EQ(System::uptime(), (core::Uptime{ 0, 0, 0, 0 })) << btime;
    }
    using core::systemtext::uptimeBetween;
    constexpr auto Max = std::numeric_limits<std::int64_t>::max();
    constexpr auto Min = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(uptimeBetween(Boot + 90061, Boot), (core::Uptime{ 1, 1, 1, 1 }));
    EXPECT_EQ(uptimeBetween(Boot, Boot + 1), (core::Uptime{ 0, 0, 0, 0 })) << "a clock set back before the boot";
    EXPECT_EQ(uptimeBetween(Min, 1), (core::Uptime{ 0, 0, 0, 0 }));
    EXPECT_EQ(uptimeBetween(Max, -1), (core::Uptime{ 0, 0, 0, 0 }));
    EXPECT_EQ(uptimeBetween(Max, 0).days, Max / 86400);
}

TEST(SystemThermal, LevelsFromTripPoints)
{
    struct Case
    {
        const char *scenario;
        System::ThermalLevel level;
    };
    for (const Case c : { Case{ "laptop-discharging", System::ThermalLevel::Normal },
             // 96 C reached the 95 C passive trip; a disabled zone past its critical trip is ignored.
             Case{ "laptop-charging", System::ThermalLevel::Danger },
             Case{ "desktop-no-battery", System::ThermalLevel::Normal },
             Case{ "vm", System::ThermalLevel::NotPublished },
             Case{ "malformed", System::ThermalLevel::NotPublished } }) {
        FixtureServices services(fixtureRoot(c.scenario));
        EXPECT_EQ(System::thermalLevel(), c.level) << c.scenario;
    }
    TempDir hot;
    writeText(hot, "sys/class/thermal/thermal_zone0/temp", "100000\n");
    writeText(hot, "sys/class/thermal/thermal_zone0/trip_point_0_temp", "100000\n");
    writeText(hot, "sys/class/thermal/thermal_zone0/trip_point_0_type", "hot\n");
    FixtureServices services(hot.path());
    EXPECT_EQ(System::thermalLevel(), System::ThermalLevel::Crisis);

    EXPECT_EQ(core::systemtext::thermalLevelFromRaw(5), System::ThermalLevel::Danger);
    EXPECT_EQ(core::systemtext::thermalLevelFromRaw(7), System::ThermalLevel::Unknown);
    EXPECT_EQ(System::rawValue(System::ThermalLevel::Danger), "Danger");
    EXPECT_EQ(System::rawValue(System::ThermalLevel::NotPublished), "Not Published");
}

TEST(SystemRealMachine, AgreesWithTheKernel)
{
    FixtureServices services("/");
    EXPECT_EQ(System::logicalCores(), ::sysconf(_SC_NPROCESSORS_ONLN));
    struct sysinfo info
    {
    };
    ASSERT_EQ(::sysinfo(&info), 0);
    EXPECT_DOUBLE_EQ(System::physicalMemory(System::Unit::Byte),
        static_cast<double>(info.totalram) * static_cast<double>(info.mem_unit));
    System system;
    EXPECT_GT(system.usageCPU().total, 0);
    EXPECT_EQ(System::platform(), System::uname().machine);
    EXPECT_EQ(System::PAGE_SIZE(), static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
}

// What the firmware and the kernel name the machine: maker, product and processor.
TEST(SystemFirmware, MakerGoesWithTheNameItBelongsTo)
{
    struct Case
    {
        const char *scenario;
        FirmwareInfo expected;
    };
    const Case cases[] = {
        // product_name is a type number; the marketing name is in product_version.
        { "laptop-charging", { "LENOVO", "20XWCTO1WW", "ThinkPad X1 Carbon Gen 9" } },
        { "laptop-discharging", { "Dell Inc.", "XPS 13 9310", "" } },
        // Placeholder product and system maker: the board and its maker stand in.
        { "desktop-no-battery", { "ASUSTeK COMPUTER INC.", "PRIME B450M-A", "" } },
        { "qemu-q35", { "QEMU", "Standard PC (Q35 + ICH9, 2009)", "pc-q35-7.2" } },
        // Device tree: a name without a maker.
        { "arm-board", { "", "Raspberry Pi 4 Model B Rev 1.4", "" } },
        { "vm", { "", "", "" } },
        { "malformed", { "", "", "" } },
    };
    for (const auto &c : cases) {
        FixtureServices services(fixtureRoot(c.scenario));
        const FirmwareInfo info = System::firmwareInfo();
        EXPECT_EQ(info, c.expected) << c.scenario << ": " << info.vendor << " / " << info.product << " / "
                                    << info.productVersion;
        EXPECT_EQ(info.product, System::model()) << c.scenario;
    }
}

TEST(SystemFirmware, ProcessorNameFromCpuinfo)
{
    {
        FixtureServices services(fixtureRoot("laptop-charging"));
        EXPECT_EQ(System::processorModel(), "11th Gen Intel(R) Core(TM) i7-1165G7 @ 2.80GHz");
    }
    {
        FixtureServices services(fixtureRoot("arm-board")); // arm64 names no processor
        EXPECT_EQ(System::processorModel(), "");
    }
    {
        FixtureServices services(fixtureRoot("vm")); // no cpuinfo at all
        EXPECT_EQ(System::processorModel(), "");
    }
    using core::systemtext::processorModelFromCpuinfo;
    EXPECT_EQ(processorModelFromCpuinfo("processor\t: 0\nmodel name\t:   Intel(R)  Xeon(R)   CPU  \nflags : x\n"),
        "Intel(R) Xeon(R) CPU");
    EXPECT_EQ(processorModelFromCpuinfo("system type : x\ncpu model\t: MIPS 24Kc V7.4\n"), "MIPS 24Kc V7.4");
    EXPECT_EQ(processorModelFromCpuinfo("Processor\t: ARMv7 Processor rev 4 (v7l)\n"), "ARMv7 Processor rev 4 (v7l)");
    // "model name" wins wherever it stands; an empty value is skipped.
    EXPECT_EQ(processorModelFromCpuinfo("Processor : A\nmodel name : B"), "B");
    EXPECT_EQ(processorModelFromCpuinfo("model name :   \nProcessor : A\n"), "A");
    EXPECT_EQ(processorModelFromCpuinfo("modelname : A\nmodel : 140\n"), "");
}
