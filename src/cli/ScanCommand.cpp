#include "Cli.h"
#include "Output.h"
#include "ScanSupport.h"
#include "engine/ModuleInfo.h"
#include "platform/FileUrl.h"
#include "platform/Format.h"

#include <cstdio>

namespace cli {

namespace {

void printRecord(const core::FolderInfo &record, int depth)
{
    const std::string path = core::platform::pathFromFileUrl(record.url).value_or(record.url);
    std::printf("%*s%12s  %s%s\n",
        depth * 4,
        "",
        core::platform::formatByteCount(record.size).c_str(),
        displayText(path).c_str(),
        record.isFolder ? "/" : "");
    for (const auto &child : record.children) {
        printRecord(*child, depth + 1);
    }
}

void printModule(int moduleIndex, bool withFiles)
{
    const core::Module &module = core::ModuleInfo::modules().at(static_cast<std::size_t>(moduleIndex));
    std::int64_t total = 0;
    for (const auto &category : module.categories) {
        total += category.size;
    }
    std::printf("%d %s (%s): %s\n",
        moduleIndex,
        module.title.c_str(),
        module.tab.c_str(),
        core::platform::formatByteCount(total).c_str());
    for (std::size_t c = 0; c < module.categories.size(); ++c) {
        const core::Category &category = module.categories[c];
        std::printf("  [%zu] %-40s %12s  %zu item%s\n",
            c,
            category.title.c_str(),
            core::platform::formatByteCount(category.size).c_str(),
            category.files.size(),
            category.files.size() == 1 ? "" : "s");
        if (withFiles) {
            for (const auto &file : category.files) {
                printRecord(*file, 2);
            }
        }
    }
}

} // namespace

int runScan(const Invocation &inv)
{
    bool withFiles = false;
    std::vector<std::string> words;
    for (const auto &arg : inv.args) {
        if (arg == "--files") {
            withFiles = true;
        } else if (arg.starts_with("-")) {
            return usageError("unknown option for scan: " + arg);
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) {
        return usageError("scan needs at least one MODULE (1, 2, 3 or a tab name)");
    }
    loadCatalogue(inv);
    std::vector<int> indexes;
    for (const auto &word : words) {
        const auto index = resolveModule(word);
        if (!index) {
            return usageError("unknown module " + word + " (use 1, 2, 3 or a tab name such as systemJunk)");
        }
        indexes.push_back(*index);
    }
    scanModules(indexes, inv.global);

    if (inv.global.json) {
        nlohmann::json modules = nlohmann::json::array();
        for (const int index : indexes) {
            modules.push_back(moduleJson(index));
        }
        printJson({ { "modules", std::move(modules) } });
    } else {
        for (const int index : indexes) {
            printModule(index, withFiles);
        }
    }
    return ExitOk;
}

} // namespace cli
