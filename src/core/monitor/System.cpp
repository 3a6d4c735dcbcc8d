// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/System.h"

#include "monitor/SysFiles.h"
#include "platform/Services.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

namespace core {

using namespace sysfiles;

namespace systemtext {

namespace {

/// The rest of the first line of `text` that starts with `prefix`; nullopt when there is none.
std::optional<std::string_view> lineStartingWith(std::string_view text, std::string_view prefix)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = std::min(text.find('\n', pos), text.size());
        const auto line = text.substr(pos, end - pos);
        if (line.starts_with(prefix)) {
            return line.substr(prefix.size());
        }
        pos = end + 1;
    }
    return std::nullopt;
}

/// Splits on spaces and tabs.
std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto start = line.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) {
            break;
        }
        const auto end = std::min(line.find_first_of(" \t", start), line.size());
        out.push_back(line.substr(start, end - start));
        pos = end;
    }
    return out;
}

std::uint64_t clampedDifference(std::uint64_t current, std::uint64_t previous)
{
    return current >= previous ? current - previous : 0;
}

} // namespace

// proc(5), /proc/stat: "cpu user nice system idle iowait irq softirq steal guest guest_nice".
// guest and guest_nice are already part of user and nice.
std::optional<CPUTicks> parseCpuTicks(std::string_view procStat)
{
    const auto line = lineStartingWith(procStat, "cpu ");
    if (!line) {
        return std::nullopt;
    }
    std::array<std::uint64_t, 8> v{};
    const auto parts = fields(*line);
    if (parts.size() < 4) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < v.size() && i < parts.size(); ++i) {
        const auto n = parseNumber<std::uint64_t>(parts[i]);
        if (!n) {
            return std::nullopt;
        }
        v[i] = *n;
    }
    // Sums of kernel counters cannot realistically overflow 64 bits.
    return CPUTicks{ v[0], v[2] + v[5] + v[6] + v[7], v[3] + v[4], v[1] };
}

CPUUsage cpuShares(const CPUTicks &previous, const CPUTicks &current)
{
    const auto user = static_cast<double>(clampedDifference(current.user, previous.user));
    const auto system = static_cast<double>(clampedDifference(current.system, previous.system));
    const auto idle = static_cast<double>(clampedDifference(current.idle, previous.idle));
    const auto nice = static_cast<double>(clampedDifference(current.nice, previous.nice));
    const double total = user + system + nice + idle;
    if (total == 0) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return CPUUsage{ nan, nan, nan, nan, 0.0 };
    }
    return CPUUsage{ system / total * 100, user / total * 100, idle / total * 100, nice / total * 100, total };
}

std::optional<std::int64_t> parseBootTime(std::string_view procStat)
{
    const auto value = lineStartingWith(procStat, "btime ");
    if (!value) {
        return std::nullopt;
    }
    const auto seconds = parseNumber<std::int64_t>(*value);
    if (!seconds || *seconds < 0) {
        return std::nullopt; // no machine booted before 1970
    }
    return seconds;
}

Uptime uptimeBetween(std::int64_t now, std::int64_t boot)
{
    // A clock before the boot time, or one so far from it that the difference does not fit, gives 0.
    std::int64_t seconds = 0;
    if (boot > now || __builtin_sub_overflow(now, boot, &seconds)) {
        seconds = 0;
    }
    return uptimeFromSeconds(seconds);
}

Uptime uptimeFromSeconds(std::int64_t seconds)
{
    const std::int64_t t = std::max<std::int64_t>(seconds, 0);
    const std::int64_t days = t / 86400;
    const std::int64_t r = t - days * 86400;
    const std::int64_t hrs = r / 3600;
    const std::int64_t r2 = r - hrs * 3600;
    const std::int64_t mins = r2 / 60;
    return Uptime{ days, hrs, mins, r2 - mins * 60 };
}

// proc(5), /proc/meminfo: "Key:   value kB" where kB means KiB.
std::optional<std::uint64_t> meminfoBytes(std::string_view meminfo, std::string_view key)
{
    std::size_t pos = 0;
    while (pos < meminfo.size()) {
        const auto end = std::min(meminfo.find('\n', pos), meminfo.size());
        const auto line = meminfo.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= key.size() || !line.starts_with(key) || line[key.size()] != ':') {
            continue;
        }
        auto value = trim(line.substr(key.size() + 1));
        std::uint64_t scale = 1;
        if (value.ends_with("kB")) {
            value.remove_suffix(2);
            scale = 1024;
        }
        const auto n = parseNumber<std::uint64_t>(value);
        if (!n || *n > std::numeric_limits<std::uint64_t>::max() / scale) {
            return std::nullopt;
        }
        return *n * scale;
    }
    return std::nullopt;
}

MemoryUsage memoryFromMeminfo(std::string_view meminfo, std::uint64_t zramBytes)
{
    auto bytes = [&](std::string_view key) {
        return static_cast<double>(meminfoBytes(meminfo, key).value_or(0));
    };
    const double gigabyte = System::rawValue(System::Unit::Gigabyte);
    // Memory that can never be paged out: pinned LRU pages plus non-LRU kernel memory.
    // Mlocked is a subset of Unevictable and must not be added again.
    const double wired = bytes("Unevictable") + bytes("SUnreclaim") + bytes("KernelStack") + bytes("PageTables")
        + bytes("SecPageTables") + bytes("Percpu") + bytes("Hugetlb");
    // Zswap is the compressed pool's size; Zswapped would be the uncompressed amount.
    const double compressed = bytes("Zswap") + static_cast<double>(zramBytes);
    return MemoryUsage{ bytes("MemFree") / gigabyte,
        bytes("Active") / gigabyte,
        bytes("Inactive") / gigabyte,
        wired / gigabyte,
        compressed / gigabyte };
}

// Documentation/ABI/stable/sysfs-devices-system-cpu: comma-separated numbers
// and ranges, in ascending order ("0-3,6,8-9").
std::optional<std::vector<int>> parseCpuList(std::string_view list)
{
    constexpr int MaxCpus = 1 << 16; // far above any real machine; stops "0-4294967295" from allocating
    list = trim(list);
    std::vector<int> cpus;
    while (!list.empty()) {
        const auto comma = std::min(list.find(','), list.size());
        const auto item = list.substr(0, comma);
        list.remove_prefix(std::min(comma + 1, list.size()));
        const auto dash = item.find('-');
        const auto first = parseNumber<int>(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : parseNumber<int>(item.substr(dash + 1));
        // Ascending and without overlaps, as the kernel writes it: so the list
        // names each CPU once and never more than MaxCpus of them, however long it is.
        const bool ascending = cpus.empty() || (first && *first > cpus.back());
        if (!first || !last || *first < 0 || *last < *first || *last >= MaxCpus || !ascending) {
            return std::nullopt;
        }
        for (int cpu = *first; cpu <= *last; ++cpu) {
            cpus.push_back(cpu);
        }
    }
    if (cpus.empty()) {
        return std::nullopt;
    }
    return cpus;
}

// proc(5), /proc/loadavg: "0.35 0.20 0.08 1/93 5932".
std::optional<std::array<double, 3>> parseLoadAverage(std::string_view loadavg)
{
    const auto parts = fields(trim(loadavg));
    if (parts.size() < 3) {
        return std::nullopt;
    }
    std::array<double, 3> load{};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto v = parseNumber<double>(parts[i]);
        if (!v || !std::isfinite(*v) || *v < 0) {
            return std::nullopt;
        }
        load[i] = *v;
    }
    return load;
}

std::optional<int> parseSchedulingEntities(std::string_view loadavg)
{
    const auto parts = fields(trim(loadavg));
    if (parts.size() < 4) {
        return std::nullopt;
    }
    const auto slash = parts[3].find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    return parseNumber<int>(parts[3].substr(slash + 1));
}

std::array<double, 3> machFactorFrom(const std::array<double, 3> &load, int cpus)
{
    const auto n = static_cast<double>(cpus);
    std::array<double, 3> factor{};
    for (std::size_t i = 0; i < 3; ++i) {
        factor[i] = load[i] < n ? n - load[i] : n / (load[i] + 1);
    }
    return factor;
}

System::ThermalLevel thermalLevelFromRaw(int level)
{
    switch (level) {
    case 0:
        return System::ThermalLevel::Normal;
    case 5:
        return System::ThermalLevel::Danger;
    case 10:
        return System::ThermalLevel::Crisis;
    default:
        return System::ThermalLevel::Unknown;
    }
}

std::string processorModelFromCpuinfo(std::string_view cpuinfo)
{
    // x86 writes "model name", MIPS "cpu model", 32-bit ARM "Processor"; the
    // first block (CPU 0) is enough, every CPU of a machine has the same name.
    for (const std::string_view wanted : { "model name", "cpu model", "Processor" }) {
        std::string_view rest = cpuinfo;
        while (!rest.empty()) {
            const auto end = std::min(rest.find('\n'), rest.size());
            const auto line = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            const auto colon = line.find(':');
            if (colon == std::string_view::npos || trim(line.substr(0, colon)) != wanted) {
                continue;
            }
            std::string name;
            for (const auto &word : fields(line.substr(colon + 1))) {
                name += name.empty() ? "" : " ";
                name += word;
            }
            if (!name.empty()) {
                return repairUtf8(name);
            }
        }
    }
    return {};
}

} // namespace systemtext

namespace {

constexpr std::string_view CpuDir = "sys/devices/system/cpu/";

std::optional<std::vector<int>> onlineCpus()
{
    const std::string path = sysPath(std::string(CpuDir) + "online");
    const auto text = readText(path);
    auto cpus = text ? systemtext::parseCpuList(*text) : std::nullopt;
    if (!cpus) {
        logOnce(path, "Cannot read the online CPU list " + path);
    }
    return cpus;
}

/// Bytes of memory the zram devices use for their compressed pages
/// (Documentation/admin-guide/blockdev/zram.rst, mm_stat field 3).
std::uint64_t zramBytes()
{
    std::uint64_t total = 0;
    const std::string blockDir = sysPath("sys/block/");
    for (const auto &name : listDirectory(blockDir)) {
        if (!name.starts_with("zram")) {
            continue;
        }
        const auto text = readText(blockDir + name + "/mm_stat");
        if (!text) {
            continue;
        }
        const auto parts = systemtext::fields(*text);
        if (parts.size() >= 3) {
            total += parseNumber<std::uint64_t>(parts[2]).value_or(0);
        }
    }
    return total;
}

double speedLimitPercent()
{
    // Documentation/admin-guide/pm/cpufreq.rst: scaling_max_freq carries the user's and the
    // thermal/QoS caps; cpuinfo_max_freq is the hardware maximum (both kHz).
    double percent = 100.0;
    const std::string policies = sysPath(std::string(CpuDir) + "cpufreq/");
    for (const auto &name : listDirectory(policies)) {
        if (!name.starts_with("policy")) {
            continue;
        }
        const auto limit = readInteger(policies + name + "/scaling_max_freq");
        const auto max = readInteger(policies + name + "/cpuinfo_max_freq");
        if (limit && max && *max > 0 && *limit > 0) {
            percent = std::min(percent, 100.0 * static_cast<double>(*limit) / static_cast<double>(*max));
        }
    }
    // Documentation/admin-guide/pm/intel_pstate.rst
    if (const auto pct = readInteger(sysPath(std::string(CpuDir) + "intel_pstate/max_perf_pct")); pct && *pct > 0) {
        percent = std::min(percent, static_cast<double>(*pct));
    }
    return percent;
}

/// The tightest cgroup v2 CPU quota ("quota period" in cpu.max) on the way
/// from this process's cgroup to the root, as a percentage of all online CPUs.
double schedulerPercent(int online)
{
    double percent = 100.0;
    const auto self = readText(sysPath("proc/self/cgroup"));
    if (!self || online <= 0) {
        return percent;
    }
    const auto line = systemtext::lineStartingWith(*self, "0::");
    if (!line) {
        return percent;
    }
    std::string group(trim(*line));
    if (group.find("..") != std::string::npos) {
        return percent;
    }
    while (true) {
        const auto text = readText(sysPath("sys/fs/cgroup" + group + (group == "/" ? "" : "/") + "cpu.max"));
        if (text) {
            const auto parts = systemtext::fields(trim(*text));
            if (parts.size() == 2 && parts[0] != "max") {
                const auto quota = parseNumber<double>(parts[0]);
                const auto period = parseNumber<double>(parts[1]);
                if (quota && period && *quota > 0 && *period > 0) {
                    percent = std::min(percent, 100.0 * *quota / *period / online);
                }
            }
        }
        if (group.empty() || group == "/") {
            break;
        }
        const auto slash = group.rfind('/');
        group = slash == 0 || slash == std::string::npos ? "/" : group.substr(0, slash);
    }
    return percent;
}

bool isPlaceholderModel(std::string_view value)
{
    static constexpr std::array<std::string_view, 9> Placeholders = { "",
        "to be filled by o.e.m.",
        "system product name",
        "system version",
        "default string",
        "not specified",
        "not applicable",
        "none",
        "oem" };
    std::string lower(value);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return std::find(Placeholders.begin(), Placeholders.end(), lower) != Placeholders.end();
}

/// A firmware string below sysRoot: cut at its first NUL (device-tree values
/// end in one, DMI values in a newline), trimmed, UTF-8 repaired; nullopt
/// when the file is missing or holds a placeholder.
std::optional<std::string> firmwareText(const char *relative)
{
    const auto text = readText(sysPath(relative));
    if (!text) {
        return std::nullopt;
    }
    std::string_view value(*text);
    value = trim(value.substr(0, value.find('\0')));
    if (isPlaceholderModel(value)) {
        return std::nullopt;
    }
    return repairUtf8(value);
}

struct ThermalZone
{
    long long temp = 0;
    std::optional<long long> lowestHot; // lowest "hot" or "critical" trip point
    std::optional<long long> lowestPassive; // lowest "passive" trip point
};

std::vector<ThermalZone> readThermalZones()
{
    // Documentation/driver-api/thermal/sysfs-api.rst: millidegrees Celsius.
    std::vector<ThermalZone> zones;
    const std::string base = sysPath("sys/class/thermal/");
    for (const auto &name : listDirectory(base)) {
        if (!name.starts_with("thermal_zone")) {
            continue;
        }
        const std::string dir = base + name + "/";
        if (readTrimmed(dir + "mode") == "disabled") {
            continue;
        }
        // temp fails with EIO/ENODATA on some zones (a radio switched off): skip those.
        const auto temp = readInteger(dir + "temp");
        if (!temp) {
            continue;
        }
        ThermalZone zone{ *temp, std::nullopt, std::nullopt };
        for (const auto &entry : listDirectory(dir)) {
            if (!entry.starts_with("trip_point_") || !entry.ends_with("_temp")) {
                continue;
            }
            const auto trip = readInteger(dir + entry);
            const auto type = readTrimmed(dir + entry.substr(0, entry.size() - 5) + "_type");
            if (!trip || *trip <= 0 || !type) { // bogus ACPI tables report 0 or negative trips
                continue;
            }
            if (*type == "hot" || *type == "critical") {
                zone.lowestHot = std::min(zone.lowestHot.value_or(*trip), *trip);
            } else if (*type == "passive") {
                zone.lowestPassive = std::min(zone.lowestPassive.value_or(*trip), *trip);
            }
        }
        zones.push_back(zone);
    }
    return zones;
}

} // namespace

std::string_view System::rawValue(ThermalLevel level)
{
    switch (level) {
    case ThermalLevel::Normal:
        return "Normal";
    case ThermalLevel::Danger:
        return "Danger";
    case ThermalLevel::Crisis:
        return "Crisis";
    case ThermalLevel::NotPublished:
        return "Not Published";
    case ThermalLevel::Unknown:
        break;
    }
    return "Unknown";
}

CPUUsage System::usageCPU()
{
    const std::string path = sysPath("proc/stat");
    // The aggregate line comes first; the rest of the file (one line per CPU, interrupts) is not needed.
    const auto text = readFile(path, 4096);
    const auto ticks = text ? systemtext::parseCpuTicks(text.value()) : std::nullopt;
    if (!ticks) {
        logOnce(path, "Cannot read the CPU counters in " + path);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return CPUUsage{ nan, nan, nan, nan, 0.0 };
    }
    const CPUUsage usage = systemtext::cpuShares(loadPrevious, *ticks);
    loadPrevious = *ticks;
    return usage;
}

CPUPowerStatus System::CPUPowerLimit()
{
    const auto online = onlineCpus();
    if (!online) {
        return CPUPowerStatus{ -1.0, -1, -1.0 };
    }
    const int count = static_cast<int>(online->size());
    return CPUPowerStatus{ speedLimitPercent(), count, schedulerPercent(count) };
}

double System::physicalMemory(Unit unit)
{
    const std::string path = sysPath("proc/meminfo");
    const auto text = readText(path);
    const auto total = text ? systemtext::meminfoBytes(*text, "MemTotal") : std::nullopt;
    if (!total) {
        logOnce(path + "#MemTotal", "Cannot read MemTotal in " + path);
        return 0.0;
    }
    return static_cast<double>(*total) / rawValue(unit);
}

MemoryUsage System::memoryUsage()
{
    const std::string path = sysPath("proc/meminfo");
    const auto text = readText(path);
    if (!text) {
        logOnce(path, "Cannot read " + path);
        return MemoryUsage{};
    }
    return systemtext::memoryFromMeminfo(*text, zramBytes());
}

std::string System::model()
{
    for (const char *relative :
        { "sys/class/dmi/id/product_name", "sys/class/dmi/id/board_name", "sys/firmware/devicetree/base/model" }) {
        if (auto value = firmwareText(relative)) {
            return std::move(*value);
        }
    }
    return {};
}

FirmwareInfo System::firmwareInfo()
{
    // Documentation/ABI/testing/sysfs-firmware-dmi-id (world-readable fields only).
    if (auto product = firmwareText("sys/class/dmi/id/product_name")) {
        return FirmwareInfo{ firmwareText("sys/class/dmi/id/sys_vendor").value_or(""),
            std::move(*product),
            firmwareText("sys/class/dmi/id/product_version").value_or("") };
    }
    if (auto board = firmwareText("sys/class/dmi/id/board_name")) {
        return FirmwareInfo{ firmwareText("sys/class/dmi/id/board_vendor").value_or(""), std::move(*board), {} };
    }
    return FirmwareInfo{ {}, firmwareText("sys/firmware/devicetree/base/model").value_or(""), {} };
}

std::string System::processorModel()
{
    const auto text = readText(sysPath("proc/cpuinfo"));
    return text ? systemtext::processorModelFromCpuinfo(*text) : std::string();
}

int System::physicalCores()
{
    const auto online = onlineCpus();
    if (online) {
        std::set<std::string> cores;
        bool complete = true;
        for (const int cpu : *online) {
            const std::string topology = sysPath(std::string(CpuDir) + "cpu" + std::to_string(cpu) + "/topology/");
            auto siblings = readTrimmed(topology + "core_cpus_list");
            if (!siblings) {
                siblings = readTrimmed(topology + "thread_siblings_list"); // kernels before 5.7
            }
            if (!siblings) {
                complete = false;
                break;
            }
            cores.insert(*siblings);
        }
        if (complete && !cores.empty()) {
            return static_cast<int>(cores.size());
        }
    }
    // /proc/cpuinfo on x86: one block per logical CPU with "physical id" and "core id".
    if (const auto cpuinfo = readText(sysPath("proc/cpuinfo"))) {
        std::set<std::pair<long long, long long>> cores;
        long long physical = 0;
        std::string_view rest(*cpuinfo);
        while (!rest.empty()) {
            const auto end = std::min(rest.find('\n'), rest.size());
            const auto line = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            const auto colon = line.find(':');
            if (colon == std::string_view::npos) {
                continue;
            }
            const auto key = trim(line.substr(0, colon));
            const auto value = parseNumber<long long>(line.substr(colon + 1));
            if (key == "physical id" && value) {
                physical = *value;
            } else if (key == "core id" && value) {
                cores.emplace(physical, *value);
            }
        }
        if (!cores.empty()) {
            return static_cast<int>(cores.size());
        }
    }
    return logicalCores();
}

int System::logicalCores()
{
    if (const auto online = onlineCpus()) {
        return static_cast<int>(online->size());
    }
    return static_cast<int>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
}

std::string System::platform()
{
    return uname().machine;
}

UnameInfo System::uname()
{
    struct utsname u
    {
    };
    if (::uname(&u) != 0) {
        return {};
    }
    return UnameInfo{ u.sysname, u.nodename, u.release, u.version, u.machine };
}

std::array<double, 3> System::loadAverage(LOAD_AVG /*type*/)
{
    const std::string path = sysPath("proc/loadavg");
    const auto text = readText(path);
    const auto load = text ? systemtext::parseLoadAverage(*text) : std::nullopt;
    if (!load) {
        logOnce(path, "Cannot read the load averages in " + path);
        return { 0.0, 0.0, 0.0 };
    }
    return *load;
}

std::array<double, 3> System::machFactor()
{
    return systemtext::machFactorFrom(loadAverage(), logicalCores());
}

ProcessCounts System::processCounts()
{
    const auto names = listDirectory(sysPath("proc"));
    const auto processes = std::count_if(names.begin(), names.end(), [](const auto &n) {
        return isAllDigits(n);
    });
    if (processes == 0) {
        return ProcessCounts{};
    }
    const auto loadavg = readText(sysPath("proc/loadavg"));
    const auto threads = loadavg ? systemtext::parseSchedulingEntities(*loadavg) : std::nullopt;
    return ProcessCounts{ static_cast<int>(processes), threads.value_or(0) };
}

Uptime System::uptime()
{
    const std::string path = sysPath("proc/stat");
    const auto text = readText(path);
    const auto boot = text ? systemtext::parseBootTime(*text) : std::nullopt;
    const auto &now = platform::services().now;
    if (!boot || !now) {
        logOnce(path + "#btime", "Cannot read the boot time in " + path);
        return Uptime{};
    }
    return systemtext::uptimeBetween(now(), *boot);
}

System::ThermalLevel System::thermalLevel()
{
    const auto zones = readThermalZones();
    if (zones.empty()) {
        return ThermalLevel::NotPublished;
    }
    int level = 0;
    for (const auto &zone : zones) {
        if (zone.lowestHot && zone.temp >= *zone.lowestHot) {
            level = 10;
        } else if (zone.lowestPassive && zone.temp >= *zone.lowestPassive) {
            level = std::max(level, 5);
        }
    }
    return systemtext::thermalLevelFromRaw(level);
}

std::uint64_t System::PAGE_SIZE()
{
    static const std::uint64_t size = [] {
        const long value = ::sysconf(_SC_PAGESIZE);
        return value > 0 ? static_cast<std::uint64_t>(value) : std::uint64_t{ 4096 };
    }();
    return size;
}

} // namespace core
