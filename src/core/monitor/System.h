// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

/// The host's CPU tick counters, grouped into the four states the monitors
/// show. Linux counters are 64-bit (USER_HZ ticks from /proc/stat).
struct CPUTicks
{
    std::uint64_t user = 0; // user (guest time included by the kernel)
    std::uint64_t system = 0; // system + irq + softirq + steal
    std::uint64_t idle = 0; // idle + iowait
    std::uint64_t nice = 0; // nice (guest_nice included)
    bool operator==(const CPUTicks &) const = default;
};

/// CPU shares of one interval: percentages 0-100, and the interval's tick count.
struct CPUUsage
{
    double system = 0;
    double user = 0;
    double idle = 0;
    double nice = 0;
    double total = 0; // ticks in the interval, not a percentage
};

/// The CPU power limits; all three are -1 when nothing can be read.
struct CPUPowerStatus
{
    double processorSpeed = -1.0; // percent of the maximum frequency allowed now
    int processorCount = -1; // online logical CPUs
    double schedulerTime = -1.0; // percent of CPU time the scheduler grants this process's group
};

/// Memory by page state, in binary gigabytes (bytes / 1073741824).
struct MemoryUsage
{
    double free = 0;
    double active = 0;
    double inactive = 0;
    double wired = 0;
    double compressed = 0;
};

/// The kernel's uname record; all five empty when the call fails.
struct UnameInfo
{
    std::string sysname;
    std::string nodename;
    std::string release;
    std::string version;
    std::string machine;
};

/// What the firmware calls the machine, each part trimmed; "" where it gives
/// nothing or a placeholder ("To be filled by O.E.M.").
struct FirmwareInfo
{
    std::string vendor; // maker of the product (or of the board, when the name is the board's)
    std::string product; // the same text as System::model()
    std::string productVersion; // the product's version line; some makers put the marketing name here
    bool operator==(const FirmwareInfo &) const = default;
};

struct ProcessCounts
{
    int processCount = 0;
    int threadCount = 0;
};

struct Uptime
{
    std::int64_t days = 0;
    std::int64_t hrs = 0;
    std::int64_t mins = 0;
    std::int64_t secs = 0;
    bool operator==(const Uptime &) const = default;
};

/// Machine-wide statistics for the CPU and memory monitors, read from
/// /proc and /sys below services().sysRoot (a fixture tree in tests).
///
/// Every query is a fresh, synchronous read: nothing is cached except the
/// page size. A source that is missing or malformed gives the documented
/// "absent" answer of its operation and one system-log line per process.
/// Apart from usageCPU (which changes its own instance) the operations are
/// static and thread-safe; none throws.
class System
{
public:
    enum class Unit { Byte, Kilobyte, Megabyte, Gigabyte };
    enum class LOAD_AVG { SHORT, LONG }; // NOLINT(readability-identifier-naming)
    enum class ThermalLevel { Normal, Danger, Crisis, NotPublished, Unknown };

    /// Bytes per unit: 1, 1024, 1048576, 1073741824.
    static constexpr double rawValue(Unit unit)
    {
        switch (unit) {
        case Unit::Byte:
            return 1.0;
        case Unit::Kilobyte:
            return 1024.0;
        case Unit::Megabyte:
            return 1048576.0;
        case Unit::Gigabyte:
            break;
        }
        return 1073741824.0;
    }

    /// "Normal", "Danger", "Crisis", "Not Published" or "Unknown".
    static std::string_view rawValue(ThermalLevel level);

    /// The counters of the previous usageCPU call; all zero on a new System.
    CPUTicks loadPrevious;

    /// CPU shares since the previous call on this instance (on a new one:
    /// since boot), then remembers the counters just read. A counter that
    /// went backwards (iowait may, see proc(5)) counts 0 for the interval.
    /// When no tick passed, the four shares are NaN and total is 0. An
    /// unreadable /proc/stat gives NaN shares and leaves loadPrevious as it was.
    CPUUsage usageCPU();

    /// Speed limit (cpufreq policies and intel_pstate; 100 without cpufreq),
    /// online CPUs, and the cgroup CPU quota of this process (100 without
    /// one). (-1.0, -1, -1.0) only when the online CPU list cannot be read.
    static CPUPowerStatus CPUPowerLimit(); // NOLINT(readability-identifier-naming)

    /// MemTotal in `unit`; 0 when /proc/meminfo has none.
    static double physicalMemory(Unit unit = Unit::Gigabyte);

    /// free = MemFree; active = Active; inactive = Inactive; wired =
    /// Unevictable + SUnreclaim + KernelStack + PageTables + SecPageTables +
    /// Percpu + Hugetlb; compressed = Zswap + the zram pools' used memory.
    /// Absent fields count 0; an unreadable /proc/meminfo gives five zeros.
    static MemoryUsage memoryUsage();

    /// The machine's model name from DMI (product, then board) or the device
    /// tree; firmware placeholders ("To be filled by O.E.M.") are skipped. "" when none.
    static std::string model();

    /// model() with its maker: DMI sys_vendor and product_version beside
    /// product_name, board_vendor beside board_name, no maker for a
    /// device-tree model. All empty when model() is "".
    static FirmwareInfo firmwareInfo();

    /// The processor's name from /proc/cpuinfo ("model name" on x86; "cpu
    /// model" or "Processor" where the architecture names it so), with runs
    /// of spaces collapsed. "" when the file names none (most arm64 kernels).
    static std::string processorModel();

    /// Distinct cores among the online CPUs (sysfs topology, then
    /// /proc/cpuinfo); logicalCores() when neither can be read.
    static int physicalCores();

    /// Online CPUs from sysfs; sysconf(_SC_NPROCESSORS_ONLN) when the list cannot be read.
    static int logicalCores();

    /// The machine's architecture ("x86_64", "aarch64"): uname().machine.
    static std::string platform();

    static UnameInfo uname();

    /// The three load averages of /proc/loadavg (Linux has no separate
    /// short-term averages, so SHORT gives the same values). Zeros when unreadable.
    static std::array<double, 3> loadAverage(LOAD_AVG type = LOAD_AVG::LONG);

    /// The scheduler's "mach factor" derived from each load average L with
    /// n online CPUs: n - L while L < n, else n / (L + 1). An approximation.
    static std::array<double, 3> machFactor();

    /// Processes (numeric /proc entries) and kernel scheduling entities
    /// (/proc/loadavg); (0, 0) when /proc cannot be listed.
    static ProcessCounts processCounts();

    /// Time since boot (btime of /proc/stat against services().now);
    /// (0, 0, 0, 0) when the boot time cannot be read.
    static Uptime uptime();

    /// NotPublished without a readable thermal zone; otherwise Crisis when a
    /// zone has reached its hot or critical trip point, Danger when one has
    /// reached its passive (throttling) trip point, else Normal.
    static ThermalLevel thermalLevel();

    /// The kernel's virtual-memory page size in bytes, read once.
    static std::uint64_t PAGE_SIZE(); // NOLINT(readability-identifier-naming)
};

/// The pure parts of System, each over the text of one file (exposed for tests).
namespace systemtext {

/// The aggregate "cpu" line of /proc/stat; nullopt when it is missing or has fewer than four numbers.
std::optional<CPUTicks> parseCpuTicks(std::string_view procStat);

/// Shares of `current - previous`; each difference is clamped at 0.
CPUUsage cpuShares(const CPUTicks &previous, const CPUTicks &current);

/// The "btime" line of /proc/stat (Unix seconds); nullopt when missing, malformed or negative.
std::optional<std::int64_t> parseBootTime(std::string_view procStat);

/// Days, hours, minutes and seconds of a duration (negative counts as 0).
Uptime uptimeFromSeconds(std::int64_t seconds);

/// The uptime from the clock and the boot time (both Unix seconds); 0 when
/// the boot time is later, or so far away that the difference does not fit.
Uptime uptimeBetween(std::int64_t now, std::int64_t boot);

/// A "Key:   123 kB" field of /proc/meminfo, in bytes.
std::optional<std::uint64_t> meminfoBytes(std::string_view meminfo, std::string_view key);

/// The five figures from /proc/meminfo and the zram pools' bytes.
MemoryUsage memoryFromMeminfo(std::string_view meminfo, std::uint64_t zramBytes);

/// CPU numbers of a sysfs list such as "0-3,6,8-9"; nullopt when malformed,
/// empty, out of ascending order or naming a CPU number of 65536 or more.
std::optional<std::vector<int>> parseCpuList(std::string_view list);

/// The three load averages of /proc/loadavg.
std::optional<std::array<double, 3>> parseLoadAverage(std::string_view loadavg);

/// The denominator of the fourth field of /proc/loadavg ("1/91" gives 91).
std::optional<int> parseSchedulingEntities(std::string_view loadavg);

std::array<double, 3> machFactorFrom(const std::array<double, 3> &load, int cpus);

/// The first of "model name", "cpu model" and "Processor" that /proc/cpuinfo
/// holds, trimmed, runs of spaces collapsed; "" when none.
std::string processorModelFromCpuinfo(std::string_view cpuinfo);

/// 0 -> Normal, 5 -> Danger, 10 -> Crisis, anything else -> Unknown.
System::ThermalLevel thermalLevelFromRaw(int level);

} // namespace systemtext

} // namespace core
