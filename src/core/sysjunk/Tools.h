// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Running the system's own tools (journalctl, snap, flatpak) with fixed
/// argument lists. Thread-safe.
namespace core::sysjunk {

/// Where the tools are looked for when nobody says otherwise.
[[nodiscard]] const std::vector<std::string> &defaultToolPath();

/// Splits "DIR:DIR" into its folders, dropping empty ones.
[[nodiscard]] std::vector<std::string> splitSearchPath(std::string_view text);

/// The first "DIR/name" of `searchPath` that is a regular file this process
/// may execute; nullopt when there is none. `name` is a plain file name.
[[nodiscard]] std::optional<std::string> findTool(const std::vector<std::string> &searchPath, std::string_view name);

/// What a tool said and how it ended.
struct ToolRun
{
    int exitCode = -1; // the exit status, or -1 when it was killed by a signal
    std::string out; // standard output (at most MaxToolOutput bytes kept)
    std::string err; // standard error (likewise)

    [[nodiscard]] bool ok() const { return exitCode == 0; }
    /// The last non-empty line of standard error, else of standard output:
    /// what a failure is reported with.
    [[nodiscard]] std::string lastLine() const;
};

inline constexpr std::size_t MaxToolOutput = 4U << 20U;

struct ToolOptions
{
    /// Hand the program this process's standard input (pkexec asks for a
    /// password on a terminal); otherwise it reads /dev/null.
    bool passInput = false;
};

/// Runs the program at `path` with `args` (argv[1]...), standard input on
/// /dev/null and an environment of its own (a fixed PATH and the C locale:
/// nothing of the caller's environment reaches it), and waits for it.
/// Error only when it could not be started.
[[nodiscard]] Result<ToolRun> runTool(
    const std::string &path, const std::vector<std::string> &args, const ToolOptions &options = {});

} // namespace core::sysjunk
