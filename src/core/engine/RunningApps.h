// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

/// What a category's "runningApps" entries are matched against: one
/// process as /proc shows it.
struct ProcessImage
{
    std::string executable; // target of /proc/<pid>/exe (" (deleted)" dropped); "" when unreadable
    std::string command; // /proc/<pid>/comm: the first 15 bytes of the program's name
    std::vector<std::string> arguments; // /proc/<pid>/cmdline, argv[0] first
};

/// Whether `entry`, one string of a category's "runningApps" list, names
/// `process`. An entry is a program and optionally, after one space, an
/// argument the process must have been given (for programs run by an
/// interpreter: "java org.gradle.launcher.daemon.bootstrap.GradleDaemon").
/// A program written with a "/" is a path, equal to the executable or to
/// argv[0]; one without is a name, equal to the executable's file name, to
/// argv[0]'s file name or to the command name (which the kernel cuts to 15
/// bytes), or to the first word of either (a program that sets its own
/// title, as npm does, turns argv[0] into "npm install"). The argument must
/// equal one of argv[1...] whole. Pure.
[[nodiscard]] bool namesProcess(std::string_view entry, const ProcessImage &process);

/// The first of `entries` that names a process of the effective user `uid`
/// running now, read from services().sysRoot + "proc"; nullopt when none
/// does. Processes that vanish or cannot be read while they are looked at
/// are passed over. Costs a few small reads per process of that user.
/// Thread-safe.
[[nodiscard]] std::optional<std::string> firstRunning(const std::vector<std::string> &entries, std::uint32_t uid);

/// The uid owning the folder `homeDir` (a final link followed): whose
/// programs hold the caches found there, so root cleaning /home/ann waits
/// for ann's programs rather than its own. The effective uid when the
/// folder cannot be examined.
[[nodiscard]] std::uint32_t homeOwner(const std::string &homeDir);

} // namespace core
