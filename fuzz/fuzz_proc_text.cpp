// SPDX-License-Identifier: GPL-3.0-or-later
// The parsers of /proc and /sys text (a container, a FUSE file system or a
// test root can serve anything there): CPU counters, boot time, meminfo, CPU
// lists, load averages, process stat and status, ELF headers, mountinfo.

#include "FuzzSupport.h"
#include "monitor/ProcessAPI.h"
#include "monitor/System.h"
#include "tree/MountInfo.h"

#include <cmath>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    namespace text = core::systemtext;
    const std::string_view input = fuzz::text(data, size);

    // Two samples of the counters: the input's first half and the whole of it.
    const auto earlier = text::parseCpuTicks(input.substr(0, input.size() / 2));
    const auto later = text::parseCpuTicks(input);
    if (earlier && later) {
        const core::CPUUsage usage = text::cpuShares(*earlier, *later);
        if (usage.total > 0 && !(usage.user >= 0 && usage.user <= 100 && usage.idle >= 0 && usage.idle <= 100)) {
            fuzz::fail("a CPU share outside 0-100");
        }
    }
    if (const auto boot = text::parseBootTime(input)) {
        for (const std::int64_t now : { std::int64_t{ 0 }, std::int64_t{ 1'800'000'000 }, INT64_MAX, INT64_MIN }) {
            const core::Uptime up = text::uptimeBetween(now, *boot);
            if (up.days < 0 || up.hrs < 0 || up.hrs > 23 || up.mins > 59 || up.secs > 59) {
                fuzz::fail("an uptime out of range");
            }
        }
    }

    for (const char *key : { "MemTotal", "Hugetlb", "Zswap" }) {
        (void)text::meminfoBytes(input, key);
    }
    const core::MemoryUsage memory = text::memoryFromMeminfo(input, size * 4096);
    if (memory.free < 0 || memory.wired < 0 || memory.compressed < 0) {
        fuzz::fail("a negative memory figure");
    }

    int cpus = 1;
    if (const auto list = text::parseCpuList(input)) {
        if (list->empty() || list->size() > 65536) {
            fuzz::fail("a CPU list of impossible length");
        }
        for (std::size_t i = 1; i < list->size(); ++i) {
            if ((*list)[i] <= (*list)[i - 1]) {
                fuzz::fail("a CPU named twice or out of order");
            }
        }
        cpus = static_cast<int>(list->size());
    }
    if (const auto load = text::parseLoadAverage(input)) {
        for (const double factor : text::machFactorFrom(*load, cpus)) {
            if (!std::isfinite(factor) || factor < 0) {
                fuzz::fail("a mach factor that is not a finite non-negative number");
            }
        }
    }
    (void)text::parseSchedulingEntities(input);

    if (const auto stat = core::ProcessAPI::parseStat(input)) {
        (void)core::ProcessAPI::statusFromState(stat->state);
    }
    (void)core::ProcessAPI::parseEffectiveUid(input);
    (void)core::ProcessAPI::archFromElfHeader(std::span<const unsigned char>(data, size));

    for (const core::tree::MountInfoLine &line : core::tree::splitMountInfo(input)) {
        const std::string mountPoint = core::tree::unescapeMountField(line.mountPoint);
        if (mountPoint.size() > line.mountPoint.size()) {
            fuzz::fail("an unescaped field longer than its escaped form");
        }
        (void)core::tree::unescapeMountField(line.root);
        (void)core::tree::isKernelPseudoFsType(line.fsType);
        (void)core::tree::isNetworkFsType(line.fsType);
    }
    return 0;
}
