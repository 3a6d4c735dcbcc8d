#include "Cli.h"
#include "Output.h"
#include "ScanSupport.h"
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
            if (isAt(files[f]->url, path)) {
                return RecordPlace{ static_cast<int>(c), static_cast<int>(f), std::nullopt };
            }
            const auto &children = files[f]->children;
            for (std::size_t k = 0; k < children.size(); ++k) {
                if (isAt(children[k]->url, path)) {
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
bool confirm(const core::SelectionSummary &summary, const core::Module &module, bool toTrash)
{
    std::fprintf(stderr,
        "%s selected in %s.\n%s [y/N] ",
        summaryText(summary).c_str(),
        printableText(module.title).c_str(),
        toTrash ? "Move the selected files to the Trash?" : "Are you sure to delete selected files?");
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

nlohmann::json removedJson(const core::FolderInfo &record, const core::ModuleInfo::ItemReport &report)
{
    const std::string path = core::format::pathFromFileUrl(record.url).value_or(record.url);
    nlohmann::json item = {
        { "path", displayText(path) }, { "url", record.url }, { "size", report.freed }, { "trashed", report.trashed }
    };
    if (report.alreadyGone) {
        item["alreadyGone"] = true;
    }
    return item;
}

nlohmann::json failedJson(const core::FolderInfo &record, const core::ModuleInfo::ItemReport &report)
{
    const std::string path = core::format::pathFromFileUrl(record.url).value_or(record.url);
    nlohmann::json item = { { "path", displayText(path) }, { "url", record.url } };
    const core::Error &error = *report.error;
    // The path that could not be removed: the item itself, or something inside it.
    item["error"] =
        displayText(error.path == path || error.path.empty() ? error.message : error.path + ": " + error.message);
    if (report.freed > 0) {
        item["freed"] = report.freed;
        item["left"] = report.left;
    }
    return item;
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
        return usageError("clean needs a MODULE (1, 2, 3 or a tab name)");
    }
    if (!selection.all && selection.categories.empty() && selection.paths.empty()) {
        return usageError("clean needs a SELECTION: --all, --category N or --path PATH");
    }
    loadCatalogue(inv);
    const auto moduleIndex = resolveModule(moduleWord);
    if (!moduleIndex) {
        return usageError(
            "unknown module " + printableText(moduleWord) + " (use 1, 2, 3 or a tab name such as systemJunk)");
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

    (void)scanModules({ module }, inv.global);

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
        const core::Module &selected = core::ModuleInfo::modules().at(static_cast<std::size_t>(module));
        const core::SelectionSummary summary = core::summariseSelection(selected);
        if (::isatty(STDIN_FILENO) != 1) {
            return usageError(std::string(toTrash ? "refusing to move " : "refusing to delete ") + summaryText(summary)
                + (toTrash ? " to the Trash" : "") + " without confirmation: pass --yes (or --dry-run to preview)");
        }
        if (!confirm(summary, selected, toTrash)) {
            std::fputs(toTrash ? "Nothing moved.\n" : "Nothing deleted.\n", stderr);
            return ExitUsage;
        }
    }

    auto removed = std::make_shared<nlohmann::json>(nlohmann::json::array());
    auto failed = std::make_shared<nlohmann::json>(nlohmann::json::array());
    auto freed = std::make_shared<std::int64_t>(0);
    auto moved = std::make_shared<std::int64_t>(0);
    auto skipped = std::make_shared<nlohmann::json>(nlohmann::json::array());
    auto finished = std::make_shared<bool>(false);
    core::ModuleInfo::CleanOptions options;
    options.dryRun = dryRun;
    options.moveToTrash = toTrash;
    options.removed = [removed, freed, moved](
                          const core::FolderInfo &record, const core::ModuleInfo::ItemReport &report) {
        removed->push_back(removedJson(record, report));
        *(report.trashed ? moved : freed) += report.freed;
    };
    options.categorySkipped = [skipped, module](int categoryIndex, const core::Error &why) {
        const auto &category = core::ModuleInfo::modules()
                                   .at(static_cast<std::size_t>(module))
                                   .categories.at(static_cast<std::size_t>(categoryIndex));
        skipped->push_back({ { "category", categoryIndex },
            { "title", displayText(category.title) },
            { "reason", displayText(why.message) } });
    };
    options.failed = [failed, freed](const core::FolderInfo &record, const core::ModuleInfo::ItemReport &report) {
        failed->push_back(failedJson(record, report));
        *freed += report.freed; // the part of a folder that did go
    };
    ProgressBar bar(wantsProgress(inv.global));
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

    if (inv.global.json) {
        if (dryRun) {
            printJson(
                { { "dryRun", true }, { "wouldRemove", *removed }, { "refused", *failed }, { "skipped", *skipped } });
        } else {
            printJson({ { "freed", *freed },
                { "movedToTrash", *moved },
                { "removed", *removed },
                { "failed", *failed },
                { "skipped", *skipped } });
        }
    } else {
        // The lossless path is in the URL; "path" is its display form.
        auto shownPath = [](const nlohmann::json &item) {
            const auto url = item["url"].get<std::string>();
            return printableText(core::format::pathFromFileUrl(url).value_or(url));
        };
        for (const auto &item : *removed) {
            const bool trashed = item["trashed"].get<bool>();
            const char *verb = item.contains("alreadyGone")
                ? "already gone"
                : (dryRun ? (trashed ? "would move to the Trash" : "would remove")
                          : (trashed ? "moved to the Trash" : "removed"));
            std::printf("%s %s\n", verb, shownPath(item).c_str());
        }
        for (const auto &item : *skipped) {
            std::printf("%s category %d (%s): %s\n",
                dryRun ? "would skip" : "skipped",
                item["category"].get<int>(),
                printableText(item["title"].get<std::string>()).c_str(),
                printableText(item["reason"].get<std::string>()).c_str());
        }
        for (const auto &item : *failed) {
            std::string partly;
            if (item.contains("freed")) {
                partly = " (removed in part: " + core::format::formatByteCount(item["freed"].get<std::int64_t>())
                    + " freed, " + core::format::formatByteCount(item["left"].get<std::int64_t>()) + " left)";
            }
            std::printf("%s %s: %s%s\n",
                dryRun ? "would refuse" : "failed",
                shownPath(item).c_str(),
                printableText(item["error"].get<std::string>()).c_str(),
                partly.c_str());
        }
        if (dryRun) {
            std::printf("Dry run: %zu item%s would be %s (%s), %zu refused.\n",
                removed->size(),
                removed->size() == 1 ? "" : "s",
                toTrash ? "moved to the Trash" : "removed",
                core::format::formatByteCount(*freed + *moved).c_str(),
                failed->size());
        } else if (toTrash) {
            std::printf("Moved %s in %zu item%s to the Trash; %zu failed.\n",
                core::format::formatByteCount(*moved).c_str(),
                removed->size(),
                removed->size() == 1 ? "" : "s",
                failed->size());
        } else {
            std::printf("Freed %s in %zu item%s; %zu failed.\n",
                core::format::formatByteCount(*freed).c_str(),
                removed->size(),
                removed->size() == 1 ? "" : "s",
                failed->size());
        }
    }
    if (!resultsWritten()) {
        if (!dryRun) {
            // The report is lost, but what was deleted must still be said somewhere.
            std::fprintf(stderr,
                "spruce-cli: the clean went ahead: %s %s in %zu item%s; %zu failed\n",
                toTrash ? "moved to the Trash" : "freed",
                core::format::formatByteCount(toTrash ? *moved : *freed).c_str(),
                removed->size(),
                removed->size() == 1 ? "" : "s",
                failed->size());
        }
        return ExitItemsFailed;
    }
    return failed->empty() && skipped->empty() ? ExitOk : ExitItemsFailed;
}

} // namespace cli
