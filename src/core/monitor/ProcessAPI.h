// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// CPU types as the process list reports them (the published Mach cpu_type_t values).
inline constexpr std::int32_t CPU_TYPE_ANY = -1; // NOLINT(readability-identifier-naming)
inline constexpr std::int32_t CPU_TYPE_X86 = 7; // NOLINT(readability-identifier-naming)
inline constexpr std::int32_t CPU_TYPE_I386 = CPU_TYPE_X86; // NOLINT(readability-identifier-naming)
inline constexpr std::int32_t CPU_TYPE_X86_64 = 16777223; // NOLINT(readability-identifier-naming)
inline constexpr std::int32_t CPU_TYPE_ARM = 12; // NOLINT(readability-identifier-naming)
inline constexpr std::int32_t CPU_TYPE_ARM64 = 16777228; // NOLINT(readability-identifier-naming)
inline constexpr std::int32_t CPU_TYPE_POWERPC = 18; // NOLINT(readability-identifier-naming)
inline constexpr std::int32_t CPU_TYPE_POWERPC64 = 16777234; // NOLINT(readability-identifier-naming)

/// One running process.
struct ProcessInfo
{
    int pid = 0;
    int ppid = 0;
    int pgid = 0;
    int uid = 0; // effective user id
    std::string command; // short command name (at most 15 bytes), valid UTF-8
    std::int32_t arch = -1; // CPU_TYPE_* of its executable; -1 when it cannot be read
    std::int32_t status = 0; // 2 running, 3 sleeping, 4 stopped, 5 zombie, 0 unknown

    bool operator==(const ProcessInfo &) const = default;
};

/// The machine's processes, from services().sysRoot + "proc".
class ProcessAPI
{
public:
    /// One record per process, by ascending pid. A process that exits while
    /// it is being read is left out; one whose files exist but cannot be
    /// read (hidepid, permissions) is listed with its pid and zeros elsewhere,
    /// an empty command and arch -1. Empty when /proc cannot be listed.
    /// Synchronous and thread-safe; never throws.
    static std::vector<ProcessInfo> list();

    /// The pure parts, exposed for tests.
    /// Fields of /proc/<pid>/stat: the command between the first "(" and the
    /// last ")" (it may hold spaces and parentheses), state, ppid and pgrp.
    struct StatFields
    {
        std::string command;
        char state = 0;
        int ppid = 0;
        int pgid = 0;
    };
    static std::optional<StatFields> parseStat(std::string_view text);
    /// The effective uid of the "Uid:" line of /proc/<pid>/status.
    static std::optional<int> parseEffectiveUid(std::string_view status);
    /// The state letter of /proc/<pid>/stat as a process status number.
    static std::int32_t statusFromState(char state);
    /// The CPU_TYPE_* of an executable from its first 20 bytes (ELF
    /// identification and e_machine); -1 for anything else.
    static std::int32_t archFromElfHeader(std::span<const unsigned char> header);

private:
    static std::int32_t arch(int pid);
};

} // namespace core
