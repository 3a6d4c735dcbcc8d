// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace core::platform {
class RunLoop;
} // namespace core::platform

namespace cli {

/// Exit codes of every command.
enum ExitCode : int {
    ExitOk = 0,
    ExitItemsFailed = 1, // some items could not be deleted or were refused, or the results could not be written
    ExitUsage = 2, // unknown module, category or path, bad option, no confirmation
    ExitResource = 3, // a resource or the catalogue cannot be read
};

/// Options valid before or after any command.
struct GlobalOptions
{
    std::string catalogue; // --catalogue FILE
    std::string resources; // --resources DIR
    std::string home; // --home DIR
    std::string sysroot; // --sysroot DIR: the root of the system junk locations (and of /proc, /sys)
    std::string tools; // --tools DIR[:DIR...]: where journalctl, snap and flatpak are looked for
    bool json = false; // --json
    bool noProgress = false;
    bool stats = false; // --stats: engine counters on stderr at the end (for benchmarks)
};

/// One parsed command line: the global options, the command word and the
/// command's own arguments (global options and "--" already taken out).
struct Invocation
{
    GlobalOptions global;
    std::string command;
    std::vector<std::string> args;
    /// args from this index on came after "--": operands, never options.
    std::size_t operandsFrom = static_cast<std::size_t>(-1);

    /// Whether args[k] is an option word ("-x", "--name"): it starts with
    /// "-", is more than "-", and came before "--".
    bool isOption(std::size_t k) const;
    /// Whether args[k] may be taken as the value of the option before it:
    /// it exists and came before "--".
    bool hasOptionValue(std::size_t k) const { return k < args.size() && k < operandsFrom; }
};

/// Parses the command line, installs the services and runs one command.
/// Returns the process exit code (ExitCode).
int run(int argc, char **argv);

/// Writes "spruce-cli: <message>" to stderr and returns ExitUsage.
int usageError(const std::string &message);

/// The main queue of the command-line tool, drained by the main thread while a command waits.
core::platform::RunLoop &mainLoop();

/// Whether a progress display belongs on stderr (a terminal, and not --no-progress).
bool wantsProgress(const GlobalOptions &options);

// Commands, one per file. Each returns an ExitCode.
int runModules(const Invocation &inv);
int runSize(const Invocation &inv);
int runScan(const Invocation &inv);
int runClean(const Invocation &inv);
int runKeep(const Invocation &inv);
int runMonitor(const Invocation &inv);
int runProcesses(const Invocation &inv);
int runVolumes(const Invocation &inv);

} // namespace cli
