// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"
#include "Output.h"
#include "ScanSupport.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"

#include <cstdio>

namespace cli {

namespace {

std::vector<const core::FolderUrl *> locationsOf(const core::Category &category)
{
    std::vector<const core::FolderUrl *> out;
    if (!category.url.url.empty()) {
        out.push_back(&category.url);
    } else {
        for (const auto &url : category.urls) {
            out.push_back(&url);
        }
    }
    return out;
}

} // namespace

// modules: the catalogue as loaded, with the home folder already substituted.
int runModules(const Invocation &inv)
{
    if (!inv.args.empty()) {
        return usageError("modules takes no arguments");
    }
    loadCatalogue(inv);
    const auto &modules = core::ModuleInfo::modules();
    if (inv.global.json) {
        nlohmann::json out = nlohmann::json::array();
        for (std::size_t m = 0; m < modules.size(); ++m) {
            nlohmann::json categories = nlohmann::json::array();
            for (std::size_t c = 0; c < modules[m].categories.size(); ++c) {
                const auto &category = modules[m].categories[c];
                nlohmann::json locations = nlohmann::json::array();
                for (const auto *url : locationsOf(category)) {
                    locations.push_back({ { "url", url->url }, { "type", url->type } });
                }
                categories.push_back({ { "index", c },
                    { "title", category.title },
                    { "type", category.type },
                    { "locations", std::move(locations) },
                    { "runningApps", category.runningApps } });
            }
            out.push_back({ { "index", m },
                { "title", modules[m].title },
                { "tab", modules[m].tab },
                { "categories", std::move(categories) } });
        }
        printJson({ { "modules", std::move(out) } });
        return ExitOk;
    }
    for (std::size_t m = 0; m < modules.size(); ++m) {
        std::printf("%zu %s (%s)\n", m, printableText(modules[m].title).c_str(), printableText(modules[m].tab).c_str());
        for (std::size_t c = 0; c < modules[m].categories.size(); ++c) {
            const auto &category = modules[m].categories[c];
            std::printf(
                "  [%zu] %s  <%s>\n", c, printableText(category.title).c_str(), printableText(category.type).c_str());
            for (const auto *url : locationsOf(category)) {
                const std::string path = core::format::pathFromFileUrl(url->url).value_or(url->url);
                std::printf("        %-8s %s\n", printableText(url->type).c_str(), printableText(path).c_str());
            }
            if (!category.runningApps.empty()) {
                std::string apps;
                for (const auto &app : category.runningApps) {
                    apps += (apps.empty() ? "" : ", ") + printableText(app);
                }
                std::printf("        not cleaned while running: %s\n", apps.c_str());
            }
        }
    }
    return ExitOk;
}

} // namespace cli
