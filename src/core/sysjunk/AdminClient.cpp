// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysjunk/AdminClient.h"

#include "platform/Services.h"
#include "sysjunk/Tools.h"

#include <cerrno>
#include <unistd.h>

namespace core::sysjunk {

namespace {

/// pkexec's own: the administrator's consent was not given, or the program could not be run.
constexpr int PkexecNotAuthorized = 126;
constexpr int PkexecCannotRun = 127;

constexpr const char *Pkexec = "/usr/bin/pkexec";

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        result.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return result;
}

} // namespace

AdminAnswer callAdmin(const std::vector<std::string> &words)
{
    AdminAnswer answer;
    const platform::Services &services = platform::services();
    if (services.adminHelper.empty()) {
        answer.error = Error{ ENOENT, "spruce-admin", "spruce-admin, which removes system junk, is not installed" };
        return answer;
    }
    std::vector<std::string> args;
    if (services.sysRoot != "/") {
        args.insert(args.end(), { "--sysroot", services.sysRoot });
    }
    if (!services.toolPath.empty()) {
        std::string joined;
        for (const std::string &folder : services.toolPath) {
            joined += (joined.empty() ? "" : ":") + folder;
        }
        args.insert(args.end(), { "--tools", joined });
    }
    args.insert(args.end(), words.begin(), words.end());

    const bool asRoot = ::geteuid() == 0;
    std::string program = services.adminHelper;
    if (!asRoot) {
        args.insert(args.begin(), services.adminHelper);
        program = Pkexec;
    }
    ToolOptions options;
    options.passInput = !asRoot && ::isatty(STDIN_FILENO) == 1;
    const Result<ToolRun> run = runTool(program, args, options);
    if (!run) {
        answer.error = Error{ run.error().code, program, program + " could not be started: " + run.error().message };
        return answer;
    }
    for (const std::string &line : lines(run.value().out)) {
        if (std::optional<AdminReport> report = parseReport(line)) {
            answer.reports.push_back(std::move(*report));
        }
    }
    const int code = run.value().exitCode;
    if (code == AdminOk || (code == AdminItemsFailed && !answer.reports.empty())) {
        return answer;
    }
    if (!asRoot && (code == PkexecNotAuthorized || code == PkexecCannotRun) && answer.reports.empty()) {
        answer.error = Error{ EPERM,
            services.adminHelper,
            "the administrator's consent was not given (pkexec: " + run.value().lastLine() + "); nothing removed" };
        return answer;
    }
    if (answer.reports.empty()) {
        const std::string said = run.value().lastLine();
        answer.error = Error{ EPERM,
            services.adminHelper,
            said.empty() ? "spruce-admin ended with exit code " + std::to_string(code) + " and reported nothing"
                         : said };
    }
    return answer;
}

} // namespace core::sysjunk
