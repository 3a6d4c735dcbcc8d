// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one monitor refresh: the CPU shares, the memory breakdown, the
// battery figures the battery graph draws, and the main volume's cached
// split, as the dashboard samples them every few seconds. Reports the CPU
// time of the process (user + system) per sample, averaged over many samples.
//
//   monitor_bench [--root SYSROOT] [--iterations N]
//
// --root points the readers at another /proc and /sys tree (for example
// tests/fixtures/laptop-discharging, which has a battery).

#include "fs/VolumeInfo.h"
#include "monitor/Battery.h"
#include "monitor/System.h"
#include "platform/Services.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

double cpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double wallSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

/// One refresh; returns a value derived from every figure so nothing is optimised away.
double sampleOnce(core::System &system)
{
    double sink = 0;
    const auto cpu = system.usageCPU();
    sink += cpu.total;
    const auto memory = core::System::memoryUsage();
    sink += memory.free + memory.active + memory.inactive + memory.wired + memory.compressed;
    sink += core::System::physicalMemory();

    core::Battery battery;
    if (battery.open() == core::Battery::kIOReturnSuccess) {
        sink += battery.charge() + battery.currentCapacity() + battery.maxCapactiy() + battery.cycleCount();
        sink += battery.isCharged() ? 1 : 0;
        sink += battery.isCharging() ? 1 : 0;
        sink += static_cast<double>(battery.timeRemainingFormatted().size());
        (void)battery.close();
    }

    if (const auto volume = core::VolumeInfo::getMainVolume(); volume && volume->fileDistribution) {
        for (const auto &slice : volume->fileDistribution->distribution) {
            sink += slice.percent;
        }
    }
    return sink;
}

} // namespace

int main(int argc, char **argv)
{
    std::string root = "/";
    long iterations = 5000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--root" && i + 1 < argc) {
            root = argv[++i];
            if (!root.ends_with('/')) {
                root += '/';
            }
        } else if (arg == "--iterations" && i + 1 < argc) {
            const char *text = argv[++i];
            const auto [ptr, ec] = std::from_chars(text, text + std::strlen(text), iterations);
            if (ec != std::errc() || *ptr != '\0' || iterations <= 0) {
                std::fprintf(stderr, "monitor_bench: bad --iterations %s\n", text);
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: monitor_bench [--root SYSROOT] [--iterations N]\n");
            return 2;
        }
    }

    core::platform::Services services = core::platform::services();
    services.sysRoot = root;
    core::platform::ScopedServices installed(std::move(services));

    // The main volume is read once per process; its first reading is not part of a refresh.
    const auto volume = core::VolumeInfo::getMainVolume();
    core::System system;
    double sink = sampleOnce(system);

    const double cpuStart = cpuSeconds();
    const double wallStart = wallSeconds();
    for (long i = 0; i < iterations; ++i) {
        sink += sampleOnce(system);
    }
    const double cpu = cpuSeconds() - cpuStart;
    const double wall = wallSeconds() - wallStart;

    core::Battery battery;
    const bool hasBattery = battery.open() == core::Battery::kIOReturnSuccess;
    std::printf("root %s: battery %s, main volume %s\n",
        root.c_str(),
        hasBattery ? "present" : "absent",
        volume ? "read" : "absent");
    std::printf("%ld samples: %.1f us CPU time per sample (%.1f us wall)%s\n",
        iterations,
        cpu / static_cast<double>(iterations) * 1e6,
        wall / static_cast<double>(iterations) * 1e6,
        sink < 0 ? " " : "");
    return 0;
}
