// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ProcessAPI.h"

#include "monitor/SysFiles.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace core {

using namespace sysfiles;

namespace {

bool vanished(const Error &error)
{
    return error.code == ENOENT || error.code == ESRCH;
}

/// Next space-separated field of `rest`, which loses it.
std::string_view takeField(std::string_view &rest)
{
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const auto end = std::min(rest.find(' '), rest.size());
    const auto field = rest.substr(0, end);
    rest.remove_prefix(end);
    return field;
}

} // namespace

// proc(5), /proc/<pid>/stat: "pid (comm) state ppid pgrp ...". comm is at most
// 15 bytes but may itself contain spaces, parentheses and newlines, so it ends at the last ")".
std::optional<ProcessAPI::StatFields> ProcessAPI::parseStat(std::string_view text)
{
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    std::string_view rest = text.substr(close + 1);
    const auto state = takeField(rest);
    const auto ppid = parseNumber<int>(takeField(rest));
    const auto pgid = parseNumber<int>(takeField(rest));
    if (state.size() != 1 || !ppid || !pgid) {
        return std::nullopt;
    }
    return StatFields{ repairUtf8(text.substr(open + 1, close - open - 1)), state.front(), *ppid, *pgid };
}

// proc(5), /proc/<pid>/status: "Uid:\treal\teffective\tsaved\tfilesystem".
std::optional<int> ProcessAPI::parseEffectiveUid(std::string_view status)
{
    std::size_t pos = 0;
    while (pos < status.size()) {
        const auto end = std::min(status.find('\n', pos), status.size());
        std::string_view line = status.substr(pos, end - pos);
        pos = end + 1;
        if (!line.starts_with("Uid:")) {
            continue;
        }
        line.remove_prefix(4);
        std::string fields(line);
        std::replace(fields.begin(), fields.end(), '\t', ' ');
        std::string_view rest(fields);
        takeField(rest);
        return parseNumber<int>(takeField(rest));
    }
    return std::nullopt;
}

std::int32_t ProcessAPI::statusFromState(char state)
{
    // Linux state letters against the classic process states:
    // SRUN 2, SSLEEP 3 (interruptible, disk, idle, parked, waking, wakekill), SSTOP 4, SZOMB 5.
    static constexpr std::array<std::pair<char, std::int32_t>, 12> Table = { { { 'R', 2 },
        { 'S', 3 },
        { 'D', 3 },
        { 'I', 3 },
        { 'P', 3 },
        { 'W', 3 },
        { 'K', 3 },
        { 'T', 4 },
        { 't', 4 },
        { 'Z', 5 },
        { 'X', 5 },
        { 'x', 5 } } };
    const auto *found = std::find_if(Table.begin(), Table.end(), [state](const auto &entry) {
        return entry.first == state;
    });
    return found == Table.end() ? 0 : found->second;
}

// elf(5): e_ident[EI_CLASS] at 4, e_ident[EI_DATA] at 5, e_machine (16 bits, file byte order) at 18.
std::int32_t ProcessAPI::archFromElfHeader(std::span<const unsigned char> header)
{
    if (header.size() < 20 || header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') {
        return -1;
    }
    const unsigned elfClass = header[4];
    const unsigned data = header[5];
    if ((elfClass != 1 && elfClass != 2) || (data != 1 && data != 2)) {
        return -1;
    }
    const unsigned low = data == 1 ? header[18] : header[19];
    const unsigned high = data == 1 ? header[19] : header[18];
    const unsigned machine = low | (high << 8U);
    switch (machine) {
    case 3: // EM_386
        return CPU_TYPE_X86;
    case 62: // EM_X86_64, either class (x32 runs in 64-bit mode)
        return CPU_TYPE_X86_64;
    case 40: // EM_ARM
        return CPU_TYPE_ARM;
    case 183: // EM_AARCH64
        return CPU_TYPE_ARM64;
    case 20: // EM_PPC
        return CPU_TYPE_POWERPC;
    case 21: // EM_PPC64
        return CPU_TYPE_POWERPC64;
    default:
        return -1;
    }
}

std::int32_t ProcessAPI::arch(int pid)
{
    // Another user's exe needs ptrace access (EACCES) and kernel threads have none (ENOENT): both -1.
    const std::string path = sysPath("proc/" + std::to_string(pid) + "/exe");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    std::array<unsigned char, 20> header{};
    std::size_t got = 0;
    while (got < header.size()) {
        const ssize_t n = ::read(fd, header.data() + got, header.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return archFromElfHeader(std::span<const unsigned char>(header.data(), got));
}

std::vector<ProcessInfo> ProcessAPI::list()
{
    std::vector<int> pids;
    for (const auto &name : listDirectory(sysPath("proc"))) {
        if (!isAllDigits(name)) {
            continue;
        }
        if (const auto pid = parseNumber<int>(name)) {
            pids.push_back(*pid);
        }
    }
    std::sort(pids.begin(), pids.end());

    std::vector<ProcessInfo> processes;
    processes.reserve(pids.size());
    for (const int pid : pids) {
        const std::string dir = sysPath("proc/" + std::to_string(pid) + "/");
        const auto stat = readFile(dir + "stat", 4096);
        if (!stat && vanished(stat.error())) {
            continue;
        }
        const auto status = readFile(dir + "status", 8192);
        if (!status && vanished(status.error())) {
            continue;
        }
        ProcessInfo info;
        info.pid = pid;
        const auto fields = stat ? parseStat(stat.value()) : std::nullopt;
        if (fields) {
            info.ppid = fields->ppid;
            info.pgid = fields->pgid;
            info.command = fields->command;
            info.status = statusFromState(fields->state);
            info.uid = (status ? parseEffectiveUid(status.value()) : std::nullopt).value_or(0);
        }
        info.arch = arch(pid);
        processes.push_back(std::move(info));
    }
    return processes;
}

} // namespace core
