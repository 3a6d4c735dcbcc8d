// SPDX-License-Identifier: GPL-3.0-or-later
// System and Battery on a whole /proc and /sys tree made from the input: the
// input is cut at each "\n##\n" into the files of the list below, in order
// (a missing part leaves its file absent), and every reader runs on the tree.

#include "FuzzSupport.h"
#include "monitor/Battery.h"
#include "monitor/System.h"

#include <array>
#include <cmath>

namespace {

constexpr std::array<const char *, 33> Files = {
    "proc/stat",
    "proc/meminfo",
    "proc/loadavg",
    "proc/cpuinfo",
    "proc/self/cgroup",
    "sys/fs/cgroup/cpu.max",
    "sys/devices/system/cpu/online",
    "sys/devices/system/cpu/cpu0/topology/core_cpus_list",
    "sys/devices/system/cpu/cpu1/topology/thread_siblings_list",
    "sys/devices/system/cpu/cpufreq/policy0/scaling_max_freq",
    "sys/devices/system/cpu/cpufreq/policy0/cpuinfo_max_freq",
    "sys/devices/system/cpu/intel_pstate/max_perf_pct",
    "sys/block/zram0/mm_stat",
    "sys/class/dmi/id/product_name",
    "sys/class/thermal/thermal_zone0/temp",
    "sys/class/thermal/thermal_zone0/trip_point_0_temp",
    "sys/class/thermal/thermal_zone0/trip_point_0_type",
    "sys/class/power_supply/BAT0/status",
    "sys/class/power_supply/BAT0/present",
    "sys/class/power_supply/BAT0/charge_now",
    "sys/class/power_supply/BAT0/charge_full",
    "sys/class/power_supply/BAT0/charge_full_design",
    "sys/class/power_supply/BAT0/current_now",
    "sys/class/power_supply/BAT0/energy_now",
    "sys/class/power_supply/BAT0/energy_full",
    "sys/class/power_supply/BAT0/power_now",
    "sys/class/power_supply/BAT0/voltage_min_design",
    "sys/class/power_supply/BAT0/voltage_now",
    "sys/class/power_supply/BAT0/capacity",
    "sys/class/power_supply/BAT0/cycle_count",
    "sys/class/power_supply/BAT0/temp",
    "sys/class/power_supply/BAT0/time_to_empty_now",
    "sys/class/power_supply/AC/online",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::installServices(
        { { "sys/class/power_supply/BAT0/type", "Battery\n" }, { "sys/class/power_supply/AC/type", "Mains\n" } });

    std::string_view rest = fuzz::text(data, size);
    for (const char *file : Files) {
        const std::string path = fuzz::scratchDir() + "/" + file;
        if (rest.data() == nullptr) {
            ::unlink(path.c_str());
            continue;
        }
        const std::size_t cut = rest.find("\n##\n");
        fuzz::writeScratch(file, rest.substr(0, cut));
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 4);
    }

    core::System system;
    (void)system.usageCPU();
    (void)system.usageCPU();
    const core::CPUPowerStatus power = core::System::CPUPowerLimit();
    if (std::isnan(power.processorSpeed) || std::isnan(power.schedulerTime)) {
        fuzz::fail("a power limit that is not a number");
    }
    (void)core::System::physicalMemory();
    (void)core::System::memoryUsage();
    (void)core::System::model();
    (void)core::System::physicalCores();
    (void)core::System::logicalCores();
    (void)core::System::loadAverage();
    (void)core::System::machFactor();
    (void)core::System::uptime();
    (void)core::System::thermalLevel();

    core::Battery battery;
    if (battery.open() == core::Battery::kIOReturnSuccess) {
        (void)battery.isCharged();
        (void)battery.isCharging();
        (void)battery.isACPowered();
        (void)battery.currentCapacity();
        (void)battery.maxCapactiy();
        (void)battery.designCapacity();
        (void)battery.cycleCount();
        if (battery.timeRemaining() < 0) {
            fuzz::fail("a negative remaining time");
        }
        (void)battery.timeRemainingFormatted();
        const double charge = battery.charge();
        if (std::isnan(charge)) {
            fuzz::fail("a charge that is not a number");
        }
        for (const auto unit : { core::Battery::TemperatureUnit::Celsius,
                 core::Battery::TemperatureUnit::Fahrenheit,
                 core::Battery::TemperatureUnit::Kelvin }) {
            (void)battery.temperature(unit);
        }
    }
    return 0;
}
