// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/RunningApps.h"

#include "engine/TextSplit.h"
#include "monitor/ProcessAPI.h"
#include "monitor/SysFiles.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

std::string_view fileName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

/// The target of a /proc/<pid>/exe link; "" when it cannot be read.
std::string executableOf(const std::string &link)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t got = ::readlink(link.c_str(), target.data(), target.size());
    if (got <= 0) {
        return {};
    }
    target.resize(static_cast<std::size_t>(got));
    // An executable replaced since it started (an update) still runs.
    constexpr std::string_view Deleted = " (deleted)";
    if (target.ends_with(Deleted)) {
        target.resize(target.size() - Deleted.size());
    }
    return target;
}

bool isProcessId(const std::string &name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

} // namespace

bool namesProcess(std::string_view entry, const ProcessImage &process)
{
    const std::size_t space = entry.find(' ');
    const std::string_view program = entry.substr(0, space);
    if (program.empty()) {
        return false;
    }
    // A program that sets its own title ("npm install") rewrites argv[0], and
    // the command name with it: its first word is the program's name.
    const std::string_view argv0 = process.arguments.empty() ? std::string_view() : process.arguments.front();
    const std::string_view argv0Word = argv0.substr(0, argv0.find(' '));
    const std::string_view commandWord = std::string_view(process.command).substr(0, process.command.find(' '));
    bool matched = false;
    if (program.find('/') != std::string_view::npos) {
        matched = program == process.executable || program == argv0;
    } else {
        constexpr std::size_t CommandLength = 15; // TASK_COMM_LEN - 1
        matched = (!process.executable.empty() && program == fileName(process.executable))
            || (!argv0.empty() && (program == fileName(argv0) || program == fileName(argv0Word)))
            || (!process.command.empty()
                && (program.substr(0, CommandLength) == process.command || program == commandWord));
    }
    if (!matched || space == std::string_view::npos) {
        return matched;
    }
    const std::string_view argument = entry.substr(space + 1);
    return std::find(process.arguments.begin() + (process.arguments.empty() ? 0 : 1), process.arguments.end(), argument)
        != process.arguments.end();
}

std::optional<std::string> firstRunning(const std::vector<std::string> &entries, std::uint32_t uid)
{
    if (entries.empty()) {
        return std::nullopt;
    }
    const std::string proc = sysfiles::sysPath("proc");
    for (const std::string &pid : sysfiles::listDirectory(proc)) {
        if (!isProcessId(pid)) {
            continue;
        }
        const std::string dir = proc + "/" + pid;
        const std::optional<std::string> status = sysfiles::readText(dir + "/status");
        const std::optional<int> owner = status ? ProcessAPI::parseEffectiveUid(*status) : std::nullopt;
        if (!owner || static_cast<std::uint32_t>(*owner) != uid) {
            continue;
        }
        ProcessImage process;
        process.executable = executableOf(dir + "/exe");
        process.command = std::string(sysfiles::trim(sysfiles::readText(dir + "/comm").value_or(std::string())));
        // proc(5): /proc/<pid>/cmdline holds the arguments, each ended by a NUL.
        process.arguments = splitAt(sysfiles::readText(dir + "/cmdline").value_or(std::string()), '\0');
        for (const std::string &entry : entries) {
            if (namesProcess(entry, process)) {
                return entry;
            }
        }
    }
    return std::nullopt;
}

std::uint32_t homeOwner(const std::string &homeDir)
{
    struct stat st
    {
    };
    if (homeDir.empty() || ::stat(homeDir.c_str(), &st) != 0) {
        return ::geteuid();
    }
    return st.st_uid;
}

} // namespace core
