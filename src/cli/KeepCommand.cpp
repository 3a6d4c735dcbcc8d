// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"
#include "Output.h"
#include "engine/KeepList.h"
#include "format/FileUrl.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace cli {

namespace {

bool exists(const std::string &path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

nlohmann::json entryJson(const std::string &path)
{
    return {
        { "path", displayText(path) }, { "url", core::format::fileUrlFromPath(path) }, { "exists", exists(path) }
    };
}

/// Says on stderr why the list could not be read or written; exit code 1.
int listFailed(const core::Error &error)
{
    std::fprintf(stderr,
        "spruce-cli: the always-keep list %s: %s\n",
        printableText(error.path).c_str(),
        printableText(error.message).c_str());
    return ExitItemsFailed;
}

/// Says on stderr, one line each, which lines of the list cannot be used.
void tellUnusable(const std::vector<core::KeepList::Unusable> &unusable)
{
    for (const core::KeepList::Unusable &line : unusable) {
        std::fprintf(stderr,
            "spruce-cli: the always-keep list %s, %s\n",
            printableText(core::KeepList::filePath()).c_str(),
            printableText(line.describe()).c_str());
    }
}

/// After a change: the lines that cannot be used are still there, and still stop every clean.
void tellUnusableNow()
{
    if (const core::Result<core::KeepList::Contents> contents = core::KeepList::load()) {
        tellUnusable(contents.value().unusable);
    }
}

int listKept(const Invocation &inv)
{
    const core::Result<core::KeepList::Contents> contents = core::KeepList::load();
    if (!contents) {
        return listFailed(contents.error());
    }
    const core::KeepList::Contents &kept = contents.value();
    tellUnusable(kept.unusable);
    const int code = kept.unusable.empty() ? ExitOk : ExitItemsFailed;
    if (inv.global.json) {
        nlohmann::json entries = nlohmann::json::array();
        for (const std::string &path : kept.paths) {
            entries.push_back(entryJson(path));
        }
        nlohmann::json unusable = nlohmann::json::array();
        for (const core::KeepList::Unusable &line : kept.unusable) {
            unusable.push_back(
                { { "line", line.line }, { "text", displayText(line.text) }, { "reason", line.reason } });
        }
        printJson({ { "file", displayText(core::KeepList::filePath()) },
            { "kept", std::move(entries) },
            { "unusable", std::move(unusable) } });
        return code;
    }
    for (const std::string &path : kept.paths) {
        std::printf("%s%s\n", printableText(path).c_str(), exists(path) ? "" : "  (missing: matches nothing)");
    }
    return code;
}

/// What an add or a remove did to each of `paths`: the words and JSON keys for those in `changed` and for the rest.
struct ChangeWords
{
    const char *doneKey;
    const char *doneText;
    const char *unchangedKey;
    const char *unchangedText;
};

void tellChanges(const Invocation &inv,
    const std::vector<std::string> &paths,
    const std::vector<std::string> &changed,
    const ChangeWords &words)
{
    nlohmann::json done = nlohmann::json::array();
    nlohmann::json unchanged = nlohmann::json::array();
    for (const std::string &path : paths) {
        const bool wasChanged = std::find(changed.begin(), changed.end(), path) != changed.end();
        if (inv.global.json) {
            (wasChanged ? done : unchanged).push_back(entryJson(path));
        } else {
            std::printf("%s %s\n", wasChanged ? words.doneText : words.unchangedText, printableText(path).c_str());
        }
    }
    if (inv.global.json) {
        printJson({ { words.doneKey, std::move(done) }, { words.unchangedKey, std::move(unchanged) } });
    }
}

} // namespace

// keep add|remove|list PATH...: the always-keep list.
int runKeep(const Invocation &inv)
{
    std::string action;
    std::vector<std::string> paths;
    for (std::size_t k = 0; k < inv.args.size(); ++k) {
        const std::string &arg = inv.args[k];
        if (inv.isOption(k)) {
            return usageError("unknown option for keep: " + printableText(arg));
        }
        if (action.empty()) {
            action = arg;
        } else if (arg.empty()) {
            return usageError("keep needs a PATH, not an empty word");
        } else {
            paths.push_back(absolutePath(arg));
        }
    }
    if (action == "list") {
        if (!paths.empty()) {
            return usageError("keep list takes no PATH");
        }
        return listKept(inv);
    }
    if (action != "add" && action != "remove") {
        return usageError("keep needs add, remove or list");
    }
    if (paths.empty()) {
        return usageError("keep " + action + " needs a PATH");
    }
    if (action == "add") {
        // A path that is not there is most likely mistyped: nothing is added then.
        for (const std::string &path : paths) {
            if (!exists(path)) {
                return usageError("nothing is at " + printableText(path) + "; nothing added");
            }
        }
        const core::Result<std::vector<std::string>> added = core::KeepList::add(paths);
        if (!added) {
            return listFailed(added.error());
        }
        tellChanges(inv, paths, added.value(), ChangeWords{ "added", "kept", "alreadyKept", "already kept" });
        tellUnusableNow();
        return ExitOk;
    }
    const core::Result<std::vector<std::string>> removed = core::KeepList::remove(paths);
    if (!removed) {
        return listFailed(removed.error());
    }
    tellChanges(inv, paths, removed.value(), ChangeWords{ "removed", "no longer kept", "notKept", "was not kept" });
    tellUnusableNow();
    // Naming a path that was not kept is a usage error, as an unknown --path of clean is.
    const bool allWereKept = std::all_of(paths.begin(), paths.end(), [&removed](const std::string &path) {
        return std::find(removed.value().begin(), removed.value().end(), path) != removed.value().end();
    });
    return allWereKept ? ExitOk : ExitUsage;
}

} // namespace cli
