// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"
#include "Output.h"
#include "format/FileUrl.h"
#include "format/Format.h"
#include "fs/VolumeInfo.h"
#include "monitor/Battery.h"
#include "monitor/ProcessAPI.h"
#include "monitor/SysFiles.h"
#include "monitor/System.h"
#include "platform/ThreadPoolDispatcher.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>
#include <unistd.h>

namespace cli {

namespace {

using core::System;

/// Gap between the two CPU samples of a one-off `monitor`: long enough for
/// a few hundred ticks on a small machine, short enough not to be noticed.
constexpr auto CpuSampleGap = std::chrono::milliseconds(250);

volatile std::sig_atomic_t g_interrupted = 0; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

extern "C" void onInterrupt(int signal)
{
    g_interrupted = 1;
    // A second Ctrl-C ends the program at once, even while a disk measurement finishes.
    std::signal(signal, SIG_DFL);
}

struct BatterySample
{
    bool isCharged = false;
    bool isCharging = false;
    bool isACPowered = false;
    int currentCapacity = 0;
    int maxCapactiy = 0; // NOLINT(readability-identifier-naming)
    int designCapacity = 0;
    int cycleCount = 0;
    int designCycleCount = 0;
    int timeRemaining = 0;
    double charge = 0;
    std::string timeRemainingFormatted;
    double temperature = 0;
};

struct Sample
{
    core::CPUUsage cpu;
    core::CPUPowerStatus power;
    double physicalMemory = 0;
    core::MemoryUsage memory;
    std::string model;
    std::string platform;
    int physicalCores = 0;
    int logicalCores = 0;
    std::array<double, 3> loadAverage{};
    core::ProcessCounts processCounts;
    core::Uptime uptime;
    System::ThermalLevel thermalLevel = System::ThermalLevel::NotPublished;
    std::optional<BatterySample> battery;
    core::VolumeInfoPtr disk;
};

std::optional<BatterySample> readBattery()
{
    core::Battery battery;
    if (battery.open() != core::Battery::kIOReturnSuccess) {
        return std::nullopt;
    }
    BatterySample b;
    b.isCharged = battery.isCharged();
    b.isCharging = battery.isCharging();
    b.isACPowered = battery.isACPowered();
    b.currentCapacity = battery.currentCapacity();
    b.maxCapactiy = battery.maxCapactiy();
    b.designCapacity = battery.designCapacity();
    b.cycleCount = battery.cycleCount();
    b.designCycleCount = battery.designCycleCount();
    b.timeRemaining = battery.timeRemaining();
    b.charge = battery.charge();
    b.timeRemainingFormatted = battery.timeRemainingFormatted();
    b.temperature = battery.temperature();
    (void)battery.close();
    return b;
}

/// Everything but the CPU shares, which need two samples.
Sample takeSample(System &system)
{
    Sample s;
    s.cpu = system.usageCPU();
    s.power = System::CPUPowerLimit();
    s.physicalMemory = System::physicalMemory();
    s.memory = System::memoryUsage();
    s.model = System::model();
    s.platform = System::platform();
    s.physicalCores = System::physicalCores();
    s.logicalCores = System::logicalCores();
    s.loadAverage = System::loadAverage();
    s.processCounts = System::processCounts();
    s.uptime = System::uptime();
    s.thermalLevel = System::thermalLevel();
    s.battery = readBattery();
    s.disk = core::VolumeInfo::getMainVolume();
    return s;
}

/// NaN (no tick passed) has no JSON form: null.
nlohmann::json number(double value)
{
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

/// The volume's mount point as bytes.
std::string volumePath(const core::VolumeInfo &volume)
{
    return core::format::pathFromFileUrl(volume.url).value_or(volume.url);
}

std::string_view iconName(core::VolumeInfo::IconKind kind)
{
    switch (kind) {
    case core::VolumeInfo::IconKind::Root:
        return "Root";
    case core::VolumeInfo::IconKind::Removable:
        return "Removable";
    case core::VolumeInfo::IconKind::Network:
        return "Network";
    case core::VolumeInfo::IconKind::Disk:
        break;
    }
    return "Disk";
}

nlohmann::json distributionJson(const core::FileDistribution &d)
{
    nlohmann::json slices = nlohmann::json::array();
    for (const auto &slice : d.distribution) {
        slices.push_back({ { "name", std::string(core::caseName(slice.name)) },
            { "label", std::string(core::label(slice.name)) },
            { "bytes", slice.bytes },
            { "percent", number(slice.percent) } });
    }
    return { { "capacity", d.capacity }, { "available", d.available }, { "distribution", slices } };
}

nlohmann::json volumeJson(const core::VolumeInfo &v)
{
    auto optionalText = [](const std::optional<std::string> &text) {
        return text ? nlohmann::json(displayText(*text)) : nlohmann::json(nullptr);
    };
    return { { "url", v.url },
        { "path", displayText(volumePath(v)) },
        { "name", optionalText(v.name) },
        { "volumeType", optionalText(v.volumeType) },
        { "image", v.image ? nlohmann::json(std::string(iconName(*v.image))) : nlohmann::json(nullptr) },
        { "capacity", v.capacity },
        { "available", v.available },
        { "reserved", v.reserved },
        { "removable", v.removable },
        { "isLocal", v.isLocal },
        { "fileDistribution", v.fileDistribution ? distributionJson(*v.fileDistribution) : nlohmann::json(nullptr) },
        { "startCalculating", v.startCalculating },
        { "calculateModule", v.calculateModule } };
}

nlohmann::json sampleJson(const Sample &s)
{
    nlohmann::json battery = nullptr;
    if (s.battery) {
        const auto &b = *s.battery;
        battery = { { "isCharged", b.isCharged },
            { "isCharging", b.isCharging },
            { "isACPowered", b.isACPowered },
            { "currentCapacity", b.currentCapacity },
            { "maxCapactiy", b.maxCapactiy },
            { "designCapacity", b.designCapacity },
            { "cycleCount", b.cycleCount },
            { "designCycleCount", b.designCycleCount },
            { "timeRemaining", b.timeRemaining },
            { "charge", b.charge },
            { "timeRemainingFormatted", b.timeRemainingFormatted },
            { "temperature", b.temperature } };
    }
    return {
        { "cpu",
            { { "system", number(s.cpu.system) },
                { "user", number(s.cpu.user) },
                { "idle", number(s.cpu.idle) },
                { "nice", number(s.cpu.nice) },
                { "total", s.cpu.total } } },
        { "CPUPowerLimit",
            { { "processorSpeed", s.power.processorSpeed },
                { "processorCount", s.power.processorCount },
                { "schedulerTime", s.power.schedulerTime } } },
        { "physicalMemory", s.physicalMemory },
        { "memoryUsage",
            { { "free", s.memory.free },
                { "active", s.memory.active },
                { "inactive", s.memory.inactive },
                { "wired", s.memory.wired },
                { "compressed", s.memory.compressed } } },
        { "model", displayText(s.model) },
        { "platform", s.platform },
        { "physicalCores", s.physicalCores },
        { "logicalCores", s.logicalCores },
        { "loadAverage", s.loadAverage },
        { "processCounts",
            { { "processCount", s.processCounts.processCount }, { "threadCount", s.processCounts.threadCount } } },
        { "uptime",
            { { "days", s.uptime.days },
                { "hrs", s.uptime.hrs },
                { "mins", s.uptime.mins },
                { "secs", s.uptime.secs } } },
        { "thermalLevel", std::string(System::rawValue(s.thermalLevel)) },
        { "disk", s.disk ? volumeJson(*s.disk) : nlohmann::json(nullptr) },
        { "battery", battery },
    };
}

std::string percentText(double value)
{
    if (!std::isfinite(value)) {
        return "  -  ";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%5.1f%%", value);
    return text;
}

void printSampleText(const Sample &s)
{
    std::printf("CPU      user %s  system %s  nice %s  idle %s\n",
        percentText(s.cpu.user).c_str(),
        percentText(s.cpu.system).c_str(),
        percentText(s.cpu.nice).c_str(),
        percentText(s.cpu.idle).c_str());
    if (s.power.processorCount >= 0) {
        std::printf("         %d Cores, speed limit %.0f%%, scheduler %.0f%%\n",
            s.power.processorCount,
            s.power.processorSpeed,
            s.power.schedulerTime);
    }
    std::printf("Load     %.2f %.2f %.2f   %d processes, %d threads\n",
        s.loadAverage[0],
        s.loadAverage[1],
        s.loadAverage[2],
        s.processCounts.processCount,
        s.processCounts.threadCount);
    std::printf("Memory   %.2f GB: free %.2f, active %.2f, inactive %.2f, wired %.2f, compressed %.2f GB\n",
        s.physicalMemory,
        s.memory.free,
        s.memory.active,
        s.memory.inactive,
        s.memory.wired,
        s.memory.compressed);
    if (s.disk && s.disk->fileDistribution) {
        const auto &d = *s.disk->fileDistribution;
        std::printf("Disk     %s: %s of %s available",
            printableText(volumePath(*s.disk)).c_str(),
            core::format::formatByteCount(d.available).c_str(),
            core::format::formatByteCount(s.disk->capacity).c_str());
        if (s.disk->reserved > 0) {
            // Kept out of the split below, whose shares are of the rest (as df's Use%).
            std::printf(", %s reserved for the administrator", core::format::formatByteCount(s.disk->reserved).c_str());
        }
        std::fputc('\n', stdout);
        for (const auto &slice : d.distribution) {
            std::printf("         %-12s %10s %s\n",
                std::string(core::label(slice.name)).c_str(),
                core::format::formatByteCount(slice.bytes).c_str(),
                percentText(slice.percent * 100).c_str());
        }
    } else {
        std::printf("Disk     unreadable\n");
    }
    if (s.battery) {
        const auto &b = *s.battery;
        const char *state = b.isCharged ? "charged" : b.isCharging ? "charging" : "discharging";
        std::printf("Battery  %.0f%% %s%s, %s remaining, %d of %d mAh, %d cycles\n",
            b.charge,
            state,
            b.isACPowered ? " (AC)" : "",
            b.timeRemainingFormatted.c_str(),
            b.currentCapacity,
            b.maxCapactiy,
            b.cycleCount);
    } else {
        std::printf("Battery  none\n");
    }
    std::printf("Thermal  %s\n", std::string(System::rawValue(s.thermalLevel)).c_str());
    std::printf("Uptime   %lldd %02lld:%02lld:%02lld\n",
        static_cast<long long>(s.uptime.days),
        static_cast<long long>(s.uptime.hrs),
        static_cast<long long>(s.uptime.mins),
        static_cast<long long>(s.uptime.secs));
    std::printf("Machine  %s (%s), %d cores, %d logical\n",
        s.model.empty() ? "unknown model" : printableText(s.model).c_str(),
        s.platform.c_str(),
        s.physicalCores,
        s.logicalCores);
}

std::optional<double> parseSeconds(const std::string &text)
{
    const auto value = core::sysfiles::parseNumber<double>(text);
    if (!value || !std::isfinite(*value) || *value <= 0 || *value > 86400) {
        return std::nullopt;
    }
    return value;
}

/// Starts the measurements of the volume's split once, as the disk graph does on its first draw.
void startMeasuring(core::VolumeInfo &disk)
{
    if (!disk.startCalculating) {
        disk.calculatingDistributionForLocalVolume();
        disk.startCalculating = true;
    }
}

/// Runs the main queue until both measurements of the split are in.
void waitForDistribution(const core::VolumeInfo &disk, bool showNote)
{
    if (!disk.isCalculating()) {
        return;
    }
    if (showNote) {
        std::fputs("Measuring applications and device backups for the disk's split...", stderr);
        std::fflush(stderr);
    }
    mainLoop().runUntil([&disk] {
        return !disk.isCalculating();
    });
    if (showNote) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

/// Runs main-queue jobs (the disk measurements' results) for `duration`, or until interrupted.
void waitRunningMainQueue(std::chrono::duration<double> duration)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(duration);
    while (g_interrupted == 0 && std::chrono::steady_clock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        // Short slices: the signal handler cannot wake the run loop.
        mainLoop().runUntil(
            [] {
                return g_interrupted != 0;
            },
            std::clamp(left, std::chrono::milliseconds(1), std::chrono::milliseconds(100)));
    }
}

} // namespace

// monitor [--watch SECONDS] [--no-wait]: one sample once the disk's split is
// measured (at once with --no-wait), or a sample every SECONDS until
// interrupted, the split refined as its measurements come in.
int runMonitor(const Invocation &inv)
{
    std::optional<double> watch;
    bool noWait = false;
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        if (inv.isOption(i) && inv.args[i] == "--watch" && inv.hasOptionValue(i + 1)) {
            watch = parseSeconds(inv.args[++i]);
            if (!watch) {
                return usageError("--watch needs a number of seconds above 0: " + printableText(inv.args[i]));
            }
        } else if (inv.isOption(i) && inv.args[i] == "--no-wait") {
            noWait = true;
        } else {
            return usageError("unknown argument for monitor: " + printableText(inv.args[i]));
        }
    }

    if (!noWait || watch) {
        if (const auto disk = core::VolumeInfo::getMainVolume()) {
            startMeasuring(*disk);
            if (!watch) {
                waitForDistribution(*disk, wantsProgress(inv.global));
            }
        }
    }

    System system;
    (void)system.usageCPU();
    const bool terminal = ::isatty(STDOUT_FILENO) == 1 && !inv.global.json;
    if (watch) {
        struct sigaction action
        {
        };
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    waitRunningMainQueue(CpuSampleGap);

    bool first = true;
    while (g_interrupted == 0) {
        const Sample sample = takeSample(system);
        if (inv.global.json) {
            const auto document = sampleJson(sample);
            if (watch) {
                // One compact document per line, so a reader can take samples as they come.
                const std::string line = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
                std::printf("%s\n", line.c_str());
            } else {
                printJson(document);
            }
        } else {
            if (terminal && watch) {
                std::fputs("\x1b[H\x1b[2J", stdout); // home and clear: refresh in place
            } else if (!first) {
                std::fputc('\n', stdout);
            }
            printSampleText(sample);
        }
        if (!resultsWritten()) {
            return ExitItemsFailed; // nobody reads the samples any more
        }
        first = false;
        if (!watch) {
            break;
        }
        waitRunningMainQueue(std::chrono::duration<double>(*watch));
    }
    return ExitOk;
}

// processes: the process list by pid.
int runProcesses(const Invocation &inv)
{
    if (!inv.args.empty()) {
        return usageError("unknown argument for processes: " + printableText(inv.args.front()));
    }
    const auto list = core::ProcessAPI::list();
    if (inv.global.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto &p : list) {
            out.push_back({ { "pid", p.pid },
                { "ppid", p.ppid },
                { "pgid", p.pgid },
                { "uid", p.uid },
                { "command", p.command },
                { "arch", p.arch },
                { "status", p.status } });
        }
        printJson(out);
        return ExitOk;
    }
    auto archName = [](std::int32_t arch) -> const char * {
        switch (arch) {
        case core::CPU_TYPE_X86:
            return "i386";
        case core::CPU_TYPE_X86_64:
            return "x86_64";
        case core::CPU_TYPE_ARM:
            return "arm";
        case core::CPU_TYPE_ARM64:
            return "arm64";
        case core::CPU_TYPE_POWERPC:
            return "ppc";
        case core::CPU_TYPE_POWERPC64:
            return "ppc64";
        default:
            return "-";
        }
    };
    auto statusName = [](std::int32_t status) -> const char * {
        switch (status) {
        case 2:
            return "run";
        case 3:
            return "sleep";
        case 4:
            return "stop";
        case 5:
            return "zombie";
        default:
            return "?";
        }
    };
    std::printf("%7s %7s %7s %6s %-6s %-6s %s\n", "PID", "PPID", "PGID", "UID", "ARCH", "STATUS", "COMMAND");
    for (const auto &p : list) {
        std::printf("%7d %7d %7d %6d %-6s %-6s %s\n",
            p.pid,
            p.ppid,
            p.pgid,
            p.uid,
            archName(p.arch),
            statusName(p.status),
            printableText(p.command).c_str());
    }
    return ExitOk;
}

// volumes: the mounted volumes a person would recognise, "/" first.
int runVolumes(const Invocation &inv)
{
    if (!inv.args.empty()) {
        return usageError("unknown argument for volumes: " + printableText(inv.args.front()));
    }
    const auto volumes = core::VolumeInfo::mountedVolumes();
    if (inv.global.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto &v : volumes) {
            out.push_back(volumeJson(*v));
        }
        printJson(out);
        return ExitOk;
    }
    std::printf("%-24s %-20s %10s %10s %-9s %s\n", "MOUNTED ON", "NAME", "SIZE", "AVAILABLE", "KIND", "");
    for (const auto &v : volumes) {
        if (!v->fileDistribution) {
            std::printf("%-24s %-20s %10s %10s %-9s %s\n",
                printableText(volumePath(*v)).c_str(),
                "-",
                "-",
                "-",
                "-",
                "unreadable");
            continue;
        }
        std::printf("%-24s %-20s %10s %10s %-9s %s\n",
            printableText(volumePath(*v)).c_str(),
            printableText(v->name.value_or("")).c_str(),
            core::format::formatByteCount(v->capacity).c_str(),
            core::format::formatByteCount(v->available).c_str(),
            v->image ? std::string(iconName(*v->image)).c_str() : "-",
            v->isLocal ? "" : "network");
    }
    return ExitOk;
}

} // namespace cli
