// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"

#include "Output.h"
#include "SpruceVersion.h"
#include "platform/LogSink.h"
#include "platform/Services.h"
#include "platform/ThreadPoolDispatcher.h"
#include "sysjunk/Tools.h"
#include "tree/Walker.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace cli {

namespace {

constexpr const char *UsageText =
    R"(usage: spruce-cli [--catalogue FILE] [--resources DIR] [--home DIR] [--sysroot DIR] [--tools DIRS]
                  [--json] [--no-progress] COMMAND ...

commands:
  modules                  list modules and their categories
  scan MODULE... [--files]  scan modules (1, 2, 3, 5 or systemJunk, applicationJunk, largeAndOldFile,
                           system);
                           print categories with sizes (--files: the file tree too)
  clean MODULE SELECTION [--dry-run] [--yes] [--trash]
                           scan, select, and delete what is selected (--trash: move the
                           large and old files module's items to the Trash instead)
        SELECTION: --all | --category N (repeatable) | --path PATH (repeatable, a file or child record)
  keep add|remove PATH...  put paths on the always-keep list, or take them off: kept files and
                           folders are never listed by a scan nor cleaned
  keep list                the always-keep list (a path that is gone is marked missing)
  size PATH...             total logical size of each path (a folder: everything below it)
  monitor [--watch SECONDS] [--no-wait]
                           CPU shares, memory breakdown, disk distribution, battery; waits until
                           the disk's split is measured (--no-wait: the quick sample;
                           --watch: a fresh sample every SECONDS until interrupted)
  processes                the process list
  volumes                  mounted volumes

--sysroot DIR takes the system junk (module system) from below DIR instead of /;
--tools DIRS looks for journalctl, snap and flatpak in those folders (":" between them).
Global options may stand before or after the command; "--" ends the options (every
word after it is a MODULE or PATH). Paths are taken as written, with "//", "/./"
and "dir/.." tidied (links are not resolved). In text output a name holding a
control character is quoted as ls quotes it ('a'$'\n''b'); --json keeps it whole.
--stats prints engine counters (main-queue jobs posted) on stderr at the end.
--version prints the version.
Exit codes: 0 success, 1 some items failed or the results could not be written,
2 usage error, 3 a resource or the catalogue cannot be read.
)";

using Command = int (*)(const Invocation &);

const std::map<std::string, Command> &commands()
{
    static const std::map<std::string, Command> table = {
        { "modules", runModules },
        { "size", runSize },
        { "scan", runScan },
        { "clean", runClean },
        { "keep", runKeep },
        { "monitor", runMonitor },
        { "processes", runProcesses },
        { "volumes", runVolumes },
    };
    return table;
}

/// Splits argv into global options, the command word and its arguments.
/// Returns an error message, empty on success.
std::string parse(int argc, char **argv, Invocation &inv)
{
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (endOfOptions) {
            if (inv.command.empty()) {
                inv.command = arg;
            } else {
                inv.args.push_back(arg);
            }
        } else if (arg == "--") {
            endOfOptions = true;
            inv.operandsFrom = inv.args.size();
        } else if (arg == "--json") {
            inv.global.json = true;
        } else if (arg == "--no-progress") {
            inv.global.noProgress = true;
        } else if (arg == "--stats") {
            inv.global.stats = true;
        } else if (arg == "--catalogue" || arg == "--resources" || arg == "--home" || arg == "--sysroot"
            || arg == "--tools") {
            std::string &target = arg == "--catalogue" ? inv.global.catalogue
                : arg == "--resources"                 ? inv.global.resources
                : arg == "--home"                      ? inv.global.home
                : arg == "--sysroot"                   ? inv.global.sysroot
                                                       : inv.global.tools;
            if (i + 1 >= argc || *argv[i + 1] == '\0') {
                return arg + " needs a value";
            }
            target = argv[++i];
        } else if (inv.command.empty()) {
            if (arg.starts_with("-")) {
                return arg == "--help" || arg == "-h" ? std::string("help") : "unknown option " + arg;
            }
            inv.command = arg;
        } else {
            inv.args.push_back(arg);
        }
    }
    return {};
}

/// The engine's diagnostic lines on stderr, quoted when a name in them
/// holds a control character (one line each, no terminal control sequences).
class QuotingLogSink final : public core::platform::LogSink
{
public:
    void standardOutput(std::string_view line) override { m_sink.standardOutput(printableText(line)); }
    void systemLog(std::string_view line) override { m_sink.systemLog(printableText(line)); }

private:
    core::platform::StreamLogSink m_sink{ stderr, stderr };
};

/// Whether `dir` can be opened as a folder; the reason when it cannot.
std::optional<std::string> unreadableFolder(const std::string &dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return std::system_category().message(errno);
    }
    ::close(fd);
    return std::nullopt;
}

int runParsed(const Invocation &inv)
{
    if (inv.command.empty() || inv.command == "help") {
        std::fputs(UsageText, inv.command.empty() ? stderr : stdout);
        return inv.command.empty() ? ExitUsage : ExitOk;
    }
    const auto found = commands().find(inv.command);
    if (found == commands().end()) {
        std::fputs(UsageText, stderr);
        return usageError("unknown command " + printableText(inv.command));
    }
    if (!inv.global.resources.empty()) {
        if (const auto why = unreadableFolder(inv.global.resources)) {
            std::fprintf(stderr,
                "spruce-cli: cannot read the resource folder %s: %s\n",
                printableText(inv.global.resources).c_str(),
                why->c_str());
            return ExitResource;
        }
    }

    namespace platform = core::platform;
    core::tree::raiseFileLimit();

    // Diagnostic lines of the engine go to stderr: stdout carries results only.
    static QuotingLogSink sink;
    static platform::WalkReport walkReport;
    platform::ThreadPoolDispatcher dispatcher(mainLoop());

    platform::Services services = platform::services();
    services.dispatch = &dispatcher;
    services.log = &sink;
    services.walkReport = &walkReport;
    services.resources = platform::ResourceLocator::forExecutable(inv.global.resources);
    if (!inv.global.home.empty()) {
        struct stat st
        {
        };
        if (inv.global.home.front() != '/' || ::stat(inv.global.home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return usageError(
                "--home must name an existing folder by its absolute path: " + printableText(inv.global.home));
        }
        services.user.homeDir = absolutePath(inv.global.home);
        // The settings that go with a home, the always-keep list among them, are that home's.
        services.user.configDir.clear(); // the home's own .config folder
        services.user.dataDir.clear(); // and its own Trash, in .local/share
    }
    if (!inv.global.sysroot.empty()) {
        struct stat st
        {
        };
        if (inv.global.sysroot.front() != '/' || ::stat(inv.global.sysroot.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return usageError(
                "--sysroot must name an existing folder by its absolute path: " + printableText(inv.global.sysroot));
        }
        services.sysRoot = absolutePath(inv.global.sysroot);
        if (services.sysRoot.back() != '/') {
            services.sysRoot += '/';
        }
    }
    if (!inv.global.tools.empty()) {
        services.toolPath = core::sysjunk::splitSearchPath(inv.global.tools);
        for (const std::string &folder : services.toolPath) {
            if (folder.front() != '/') {
                return usageError("--tools takes absolute folders: " + printableText(folder));
            }
        }
    }
    services.adminHelper = platform::adminHelperForExecutable();
    platform::ScopedServices installed(std::move(services));
    const int code = found->second(inv);
    if (inv.global.stats) {
        std::fprintf(stderr, "main-queue jobs posted: %zu\n", dispatcher.mainJobsPosted());
    }
    return code;
}

} // namespace

int usageError(const std::string &message)
{
    std::fprintf(stderr, "spruce-cli: %s\n", message.c_str());
    return ExitUsage;
}

core::platform::RunLoop &mainLoop()
{
    static core::platform::RunLoop loop;
    return loop;
}

bool wantsProgress(const GlobalOptions &options)
{
    return !options.noProgress && ::isatty(STDERR_FILENO) == 1;
}

bool Invocation::isOption(std::size_t k) const
{
    return k < operandsFrom && k < args.size() && args[k].size() > 1 && args[k].front() == '-';
}

int run(int argc, char **argv)
{
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::printf("spruce-cli %s\n", SPRUCE_VERSION);
            return ExitOk;
        }
    }
    Invocation inv;
    int code = ExitOk;
    if (const std::string error = parse(argc, argv, inv); error == "help") {
        std::fputs(UsageText, stdout);
    } else if (!error.empty()) {
        std::fputs(UsageText, stderr);
        code = usageError(printableText(error));
    } else {
        code = runParsed(inv);
    }
    // Results that did not get out are a failure, even after a clean that went well.
    if (!resultsWritten() && code == ExitOk) {
        code = ExitItemsFailed;
    }
    return code;
}

} // namespace cli
