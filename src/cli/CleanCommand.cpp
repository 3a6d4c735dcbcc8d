// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"
#include "Output.h"
#include "ScanSupport.h"
#include "engine/CleanTally.h"
#include "engine/ModuleInfo.h"
#include "engine/Selection.h"
#include "format/FileUrl.h"
#include "format/Format.h"
#include "platform/ThreadPoolDispatcher.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace cli {

namespace {

struct Selection
{
    bool all = false;
    std::vector<int> categories;
    std::vector<std::string> paths; // absolute
};

/// Where a --path lands in the scanned tree.
struct RecordPlace
{
    int category = 0;
    int file = 0;
    std::optional<int> child;
};

/// Whether the record at `url` is the item at `path` (absolute, normalised).
bool isAt(const std::string &url, const std::string &path)
{
    const auto recordPath = core::format::pathFromFileUrl(url);
    return recordPath && absolutePath(*recordPath) == path;
}

std::optional<RecordPlace> findRecord(int moduleIndex, const std::string &path)
{
    const auto &categories = core::ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex)).categories;
    for (std::size_t c = 0; c < categories.size(); ++c) {
        const auto &files = categories[c].files;
        for (std::size_t f = 0; f < files.size(); ++f) {
            if (isAt(files[f]->url(), path)) {
                return RecordPlace{ static_cast<int>(c), static_cast<int>(f), std::nullopt };
            }
            const auto &children = files[f]->children;
            for (std::size_t k = 0; k < children.size(); ++k) {
                if (isAt(children[k]->url(), path)) {
                    return RecordPlace{ static_cast<int>(c), static_cast<int>(f), static_cast<int>(k) };
                }
            }
        }
    }
    return std::nullopt;
}

std::string summaryText(const core::SelectionSummary &summary)
{
    return std::to_string(summary.items) + (summary.items == 1 ? " item (" : " items (")
        + core::format::formatByteCount(summary.bytes) + ")";
}

/// Says what is about to go and asks on the terminal; false when the answer is not yes.
bool confirm(
    const core::SelectionSummary &summary, const std::string &refused, const core::Module &module, bool toTrash)
{
    std::fprintf(stderr,
        "%s selected in %s%s.\n%s [y/N] ",
        summaryText(summary).c_str(),
        printableText(module.title).c_str(),
        refused.c_str(),
        toTrash ? "Move the selected files to the Trash?" : "Are you sure to delete selected files?");
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

/// The lossless path is in the URL; "path" is its display form.
nlohmann::json removedJson(const core::CleanTally::Item &item)
{
    const core::ModuleInfo::ItemReport &report = item.report;
    nlohmann::json json = {
        { "path", displayText(item.path) }, { "url", item.url }, { "size", report.freed }, { "trashed", report.trashed }
    };
    if (report.alreadyGone) {
        json["alreadyGone"] = true;
    }
    if (report.held > 0) {
        json["heldByOtherNames"] = report.held;
    }
    return json;
}

/// The path that could not be removed, with why: the item itself, or something inside it.
std::string failureText(const core::CleanTally::Item &item)
{
    const core::Error &error = *item.report.error;
    return error.path == item.path || error.path.empty() ? error.message : error.path + ": " + error.message;
}

nlohmann::json failedJson(const core::CleanTally::Item &item)
{
    const core::ModuleInfo::ItemReport &report = item.report;
    nlohmann::json json = { { "path", displayText(item.path) }, { "url", item.url } };
    json["error"] = displayText(failureText(item));
    if (report.refusal != core::tree::Refusal::None) {
        json["refused"] = true;
    }
    if (report.freed > 0) {
        json["freed"] = report.freed;
        json["left"] = report.left;
    }
    return json;
}

nlohmann::json skippedJson(const std::vector<core::CleanTally::Skipped> &skipped)
{
    nlohmann::json list = nlohmann::json::array();
    for (const auto &skip : skipped) {
        list.push_back({ { "category", skip.category },
            { "title", displayText(skip.title) },
            { "reason", displayText(skip.reason) } });
    }
    return list;
}

void printTallyJson(const core::CleanTally &tally, bool dryRun)
{
    nlohmann::json removed = nlohmann::json::array();
    for (const auto &item : tally.removed) {
        removed.push_back(removedJson(item));
    }
    nlohmann::json failed = nlohmann::json::array();
    for (const auto &item : tally.failed) {
        failed.push_back(failedJson(item));
    }
    if (dryRun) {
        printJson({ { "dryRun", true },
            { "wouldRemove", removed },
            { "refused", failed },
            { "skipped", skippedJson(tally.skipped) } });
    } else {
        printJson({ { "freed", tally.freed },
            { "movedToTrash", tally.movedToTrash },
            { "heldByOtherNames", tally.held },
            { "removed", removed },
            { "failed", failed },
            { "skipped", skippedJson(tally.skipped) } });
    }
}

std::string plural(std::size_t n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void printText(const core::CleanTally &tally, bool dryRun, bool toTrash)
{
    for (const auto &item : tally.removed) {
        const bool trashed = item.report.trashed;
        const char *verb = item.report.alreadyGone ? "already gone"
                                                   : (dryRun ? (trashed ? "would move to the Trash" : "would remove")
                                                             : (trashed ? "moved to the Trash" : "removed"));
        std::string held;
        if (item.report.held > 0) {
            held = " (" + core::format::formatByteCount(item.report.held)
                + " stay: other names of the same files hold them)";
        }
        std::printf("%s %s%s\n", verb, printableText(item.path).c_str(), held.c_str());
    }
    for (const auto &skip : tally.skipped) {
        std::printf("%s category %d (%s): %s\n",
            dryRun ? "would skip" : "skipped",
            skip.category,
            printableText(skip.title).c_str(),
            printableText(skip.reason).c_str());
    }
    for (const auto &item : tally.failed) {
        std::string partly;
        if (item.report.freed > 0) {
            partly = " (removed in part: " + core::format::formatByteCount(item.report.freed) + " freed, "
                + core::format::formatByteCount(item.report.left) + " left)";
        }
        std::printf("%s %s: %s%s\n",
            dryRun ? "would refuse" : "failed",
            printableText(item.path).c_str(),
            printableText(failureText(item)).c_str(),
            partly.c_str());
    }
    const std::size_t count = tally.removed.size();
    if (dryRun) {
        std::printf("Dry run: %s would be %s (%s), %zu refused.\n",
            plural(count, "item", "items").c_str(),
            toTrash ? "moved to the Trash" : "removed",
            core::format::formatByteCount(tally.freed + tally.movedToTrash).c_str(),
            tally.failed.size());
    } else if (toTrash) {
        std::printf("Moved %s in %s to the Trash; %zu failed.\n",
            core::format::formatByteCount(tally.movedToTrash).c_str(),
            plural(count, "item", "items").c_str(),
            tally.failed.size());
    } else {
        std::printf("Freed %s in %s; %zu failed.\n",
            core::format::formatByteCount(tally.freed).c_str(),
            plural(count, "item", "items").c_str(),
            tally.failed.size());
    }
}

/// Runs a clean (or a dry run) of module `module`'s selection to the end and
/// returns its tally, with a progress bar when `showProgress`.
core::CleanTally runCleanJob(int module, bool dryRun, bool toTrash, bool showProgress)
{
    ProgressBar bar(showProgress);
    core::ModuleInfo::CleanOptions options;
    options.dryRun = dryRun;
    options.moveToTrash = toTrash;
    const std::shared_ptr<core::CleanTally> tally = core::CleanTally::collect(module, options);
    auto finished = std::make_shared<bool>(false);
    core::ModuleInfo::cleanModule(
        module,
        [&bar](const std::string &path, std::int64_t /*size*/) {
            bar.setPath(path);
        },
        [&bar](float fraction) {
            bar.setFraction(fraction);
        },
        [finished] {
            *finished = true;
        },
        options);
    mainLoop().runUntil([finished] {
        return *finished;
    });
    bar.finish();
    return *tally;
}

} // namespace

int runClean(const Invocation &inv)
{
    Selection selection;
    bool dryRun = false;
    bool yes = false;
    bool toTrash = false;
    std::string moduleWord;
    for (std::size_t k = 0; k < inv.args.size(); ++k) {
        const std::string &arg = inv.args[k];
        if (!inv.isOption(k)) {
            if (!moduleWord.empty()) {
                return usageError("clean takes one MODULE; unexpected " + printableText(arg));
            }
            moduleWord = arg;
        } else if (arg == "--all") {
            selection.all = true;
        } else if (arg == "--dry-run") {
            dryRun = true;
        } else if (arg == "--yes" || arg == "-y") {
            yes = true;
        } else if (arg == "--trash") {
            toTrash = true;
        } else if (arg == "--category" || arg == "--path") {
            if (!inv.hasOptionValue(k + 1)) {
                return usageError(arg + " needs a value");
            }
            const std::string &value = inv.args[++k];
            if (arg == "--path") {
                if (value.empty()) {
                    return usageError("--path needs a PATH, not an empty word");
                }
                selection.paths.push_back(absolutePath(value));
                continue;
            }
            int index = -1;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), index);
            if (ec != std::errc{} || end != value.data() + value.size() || index < 0) {
                return usageError("--category takes a category index, not " + printableText(value));
            }
            selection.categories.push_back(index);
        } else {
            return usageError("unknown option for clean: " + printableText(arg));
        }
    }
    if (moduleWord.empty()) {
        return usageError("clean needs a MODULE (1, 2, 3, 5 or a tab name)");
    }
    if (!selection.all && selection.categories.empty() && selection.paths.empty()) {
        return usageError("clean needs a SELECTION: --all, --category N or --path PATH");
    }
    loadCatalogue(inv);
    const auto moduleIndex = resolveModule(moduleWord);
    if (!moduleIndex) {
        return usageError(
            "unknown module " + printableText(moduleWord) + " (use 1, 2, 3, 5 or a tab name such as systemJunk)");
    }
    const int module = *moduleIndex;
    if (toTrash && !core::allowsTrash(module)) {
        return usageError("--trash is for the large and old files module (3): caches and junk are always deleted");
    }
    const auto categoryCount =
        static_cast<int>(core::ModuleInfo::modules().at(static_cast<std::size_t>(module)).categories.size());
    for (const int c : selection.categories) {
        if (c >= categoryCount) {
            return usageError("module " + printableText(moduleWord) + " has no category " + std::to_string(c));
        }
    }

    if (scanModules({ module }, inv.global).keepList) {
        // Any line of it may have been meant to keep what is selected; the cleaner would refuse every item anyway.
        std::fputs("spruce-cli: nothing deleted: the always-keep list must be read whole before a clean\n", stderr);
        return ExitItemsFailed;
    }

    // The whole selection is checked before anything is selected or deleted.
    std::vector<RecordPlace> places;
    for (const auto &path : selection.paths) {
        const auto place = findRecord(module, path);
        if (!place) {
            return usageError(
                "no file or child record of module " + printableText(moduleWord) + " is at " + printableText(path));
        }
        places.push_back(*place);
    }

    // Selecting goes through the same state updates as the check boxes of the GUI.
    if (selection.all) {
        for (int c = 0; c < categoryCount; ++c) {
            core::ModuleInfo::updateState(1, module, c, -1, -1);
        }
    }
    for (const int c : selection.categories) {
        core::ModuleInfo::updateState(1, module, c, -1, -1);
        const auto &category =
            core::ModuleInfo::modules().at(static_cast<std::size_t>(module)).categories.at(static_cast<std::size_t>(c));
        if (core::isReviewOnly(category)) {
            std::fprintf(stderr,
                "spruce-cli: category %d (%s) is for review only; nothing is deleted from it\n",
                c,
                printableText(category.title).c_str());
        }
    }
    for (const auto &place : places) {
        const auto &file = core::ModuleInfo::modules()
                               .at(static_cast<std::size_t>(module))
                               .categories.at(static_cast<std::size_t>(place.category))
                               .files.at(static_cast<std::size_t>(place.file));
        if (place.child) {
            core::ModuleInfo::updateState(1, module, place.category, place.file, place.child);
        } else if (!file->children.empty()) {
            core::ModuleInfo::updateState(1, module, place.category, place.file, -1);
        } else {
            core::ModuleInfo::updateState(1, module, place.category, place.file, std::nullopt);
        }
    }

    if (!dryRun && !yes) {
        // What the question names is what a dry run finds would go: a file
        // listed twice counts once, and one whose other names stay frees nothing.
        const core::Module &selected = core::ModuleInfo::modules().at(static_cast<std::size_t>(module));
        const core::CleanTally preview = runCleanJob(module, true, toTrash, false);
        const core::SelectionSummary summary{ preview.gone(), preview.freed + preview.movedToTrash };
        std::string refused;
        if (!preview.failed.empty()) {
            refused = "; " + plural(preview.failed.size(), "item", "items") + " would be refused";
        }
        if (::isatty(STDIN_FILENO) != 1) {
            return usageError(std::string(toTrash ? "refusing to move " : "refusing to delete ") + summaryText(summary)
                + (toTrash ? " to the Trash" : "") + " without confirmation: pass --yes (or --dry-run to preview)");
        }
        if (!confirm(summary, refused, selected, toTrash)) {
            std::fputs(toTrash ? "Nothing moved.\n" : "Nothing deleted.\n", stderr);
            return ExitUsage;
        }
    }

    const core::CleanTally tally = runCleanJob(module, dryRun, toTrash, wantsProgress(inv.global));
    if (inv.global.json) {
        printTallyJson(tally, dryRun);
    } else {
        printText(tally, dryRun, toTrash);
    }
    if (!resultsWritten()) {
        if (!dryRun) {
            // The report is lost, but what was deleted must still be said somewhere.
            std::fprintf(stderr,
                "spruce-cli: the clean went ahead: %s %s in %s; %zu failed\n",
                toTrash ? "moved to the Trash" : "freed",
                core::format::formatByteCount(toTrash ? tally.movedToTrash : tally.freed).c_str(),
                plural(tally.removed.size(), "item", "items").c_str(),
                tally.failed.size());
        }
        return ExitItemsFailed;
    }
    return tally.failed.empty() && tally.skipped.empty() ? ExitOk : ExitItemsFailed;
}

} // namespace cli
