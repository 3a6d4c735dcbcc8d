// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"
#include "Output.h"
#include "ScanSupport.h"
#include "format/FileUrl.h"
#include "format/Format.h"
#include "fs/FolderInfo.h"
#include "tree/Walker.h"

#include <cstdio>

namespace cli {

// size PATH...: a folder's total is everything below it (directories count
// 0, links their own length, nothing followed below the folder); a file's
// total is its own size. A path that does not exist is a usage error, and
// nothing is printed for any path in that case.
int runSize(const Invocation &inv)
{
    namespace platform = core::platform;
    if (inv.args.empty()) {
        return usageError("size needs at least one PATH");
    }
    std::vector<std::string> paths;
    for (std::size_t k = 0; k < inv.args.size(); ++k) {
        const std::string &arg = inv.args[k];
        if (inv.isOption(k)) {
            return usageError(
                "unknown option for size: " + printableText(arg) + " (a PATH after \"--\" may start with -)");
        }
        if (arg.empty()) {
            return usageError("size needs a PATH, not an empty word");
        }
        std::string path = absolutePath(arg);
        if (!core::tree::existsFollowing(path) && !core::tree::statItem(path).statOk) {
            return usageError("no such file or folder: " + printableText(arg));
        }
        paths.push_back(std::move(path));
    }

    nlohmann::json out = nlohmann::json::array();
    std::uint64_t unreadableInAll = 0;
    tellWalkProblems(); // starts the report afresh
    for (const auto &path : paths) {
        std::int64_t size = 0;
        if (core::tree::isDirectoryFollowing(path)) {
            size = core::FolderInfo::getFolderSize(core::format::fileUrlFromPath(path, true));
        } else {
            size = core::tree::statItem(path).size;
        }
        const std::uint64_t unreadable = tellWalkProblems(path).unreadable;
        unreadableInAll += unreadable;
        if (inv.global.json) {
            out.push_back({ { "path", displayText(path) },
                { "url", core::format::fileUrlFromPath(path) },
                { "size", size },
                { "unreadable", unreadable } });
        } else {
            std::printf("%lld\t%s\t%s\n",
                static_cast<long long>(size),
                core::format::formatByteCount(size).c_str(),
                printableText(path).c_str());
        }
    }
    if (inv.global.json) {
        printJson(out);
    }
    // As du does: a total that leaves unreadable folders out is not a clean success.
    return unreadableInAll > 0 ? ExitItemsFailed : ExitOk;
}

} // namespace cli
