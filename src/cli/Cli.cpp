#include "Cli.h"

#include "SpruceVersion.h"
#include "platform/Services.h"
#include "platform/ThreadPoolDispatcher.h"
#include "tree/Walker.h"

#include <cstdio>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr const char *UsageText =
    R"(usage: spruce-cli [--catalogue FILE] [--resources DIR] [--home DIR] [--json] [--no-progress] COMMAND ...

commands:
  modules                  list modules and their categories
  scan MODULE... [--files]  scan modules (1, 2, 3 or systemJunk, applicationJunk, largeAndOldFile);
                           print categories with sizes (--files: the file tree too)
  clean MODULE SELECTION [--dry-run] [--yes]
                           scan, select, and delete what is selected
        SELECTION: --all | --category N (repeatable) | --path PATH (repeatable, a file or child record)
  size PATH...             total logical size of each path (a folder: everything below it)
  monitor [--watch SECONDS] CPU shares, memory breakdown, disk distribution, battery
                           (--watch: a fresh sample every SECONDS until interrupted)
  processes                the process list
  volumes                  mounted volumes

Global options may stand before or after the command. --stats prints engine
counters (main-queue jobs posted) on stderr at the end. --version prints the version.
Exit codes: 0 success, 1 some items failed, 2 usage error, 3 a resource or the catalogue cannot be read.
)";

using Command = int (*)(const Invocation &);

const std::map<std::string, Command> &commands()
{
    static const std::map<std::string, Command> table = {
        { "modules", runModules },
        { "size", runSize },
        { "scan", runScan },
        { "clean", runClean },
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
        auto takeValue = [&](std::string &into) -> bool {
            if (i + 1 >= argc) {
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (!endOfOptions && arg == "--") {
            endOfOptions = true;
        } else if (!endOfOptions && arg == "--json") {
            inv.global.json = true;
        } else if (!endOfOptions && arg == "--no-progress") {
            inv.global.noProgress = true;
        } else if (!endOfOptions && arg == "--stats") {
            inv.global.stats = true;
        } else if (!endOfOptions && (arg == "--catalogue" || arg == "--resources" || arg == "--home")) {
            std::string &target = arg == "--catalogue" ? inv.global.catalogue
                : arg == "--resources"                 ? inv.global.resources
                                                       : inv.global.home;
            if (!takeValue(target) || target.empty()) {
                return arg + " needs a value";
            }
        } else if (inv.command.empty() && !endOfOptions) {
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

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
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

int run(int argc, char **argv)
{
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::printf("spruce-cli %s\n", SPRUCE_VERSION);
            return ExitOk;
        }
    }
    Invocation inv;
    if (const std::string error = parse(argc, argv, inv); !error.empty()) {
        if (error == "help") {
            std::fputs(UsageText, stdout);
            return ExitOk;
        }
        std::fputs(UsageText, stderr);
        return usageError(error);
    }
    if (inv.command.empty() || inv.command == "help") {
        std::fputs(UsageText, inv.command.empty() ? stderr : stdout);
        return inv.command.empty() ? ExitUsage : ExitOk;
    }
    const auto found = commands().find(inv.command);
    if (found == commands().end()) {
        std::fputs(UsageText, stderr);
        return usageError("unknown command " + inv.command);
    }

    namespace platform = core::platform;
    core::tree::raiseFileLimit();

    // Diagnostic lines of the engine go to stderr: stdout carries results only.
    static platform::StreamLogSink sink(stderr, stderr);
    platform::ThreadPoolDispatcher dispatcher(mainLoop());

    platform::Services services = platform::services();
    services.dispatch = &dispatcher;
    services.log = &sink;
    services.resources = platform::ResourceLocator::forExecutable(inv.global.resources);
    if (!inv.global.home.empty()) {
        struct stat st
        {
        };
        if (inv.global.home.front() != '/' || ::stat(inv.global.home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return usageError("--home must name an existing folder by its absolute path: " + inv.global.home);
        }
        services.user.homeDir = withoutTrailingSlash(inv.global.home);
    }
    platform::ScopedServices installed(std::move(services));
    const int code = found->second(inv);
    if (inv.global.stats) {
        std::fprintf(stderr, "main-queue jobs posted: %zu\n", dispatcher.mainJobsPosted());
    }
    return code;
}

} // namespace cli
