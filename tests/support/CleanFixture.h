// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A test of the cleaner: a private home, a catalogue of its own, and helpers
// that scan, select and clean and tell what each item's report said.

#include "support/EngineFixture.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace testing_support {

inline constexpr std::int64_t Day = 86'400;
inline constexpr std::int64_t Now = 1'800'000'000; // the fixture's clock
inline constexpr std::int64_t MiB = 1024 * 1024;

inline std::string withoutSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

class CleanFixture : public EngineFixture
{
protected:
    struct Report
    {
        std::vector<std::string> removed; // every record reported removed, in order
        std::vector<std::string> alreadyGone;
        std::map<std::string, std::string> failed; // record path -> "error path: message"
        std::map<std::string, core::ModuleInfo::ItemReport> failures;
        std::int64_t freed = 0; // what the reports say went
        std::int64_t progressBytes = 0; // what progress() said went
        int done = 0;
        std::vector<std::string> trashed; // removed records that went to the Trash
        std::map<int, std::string> skipped; // category index -> why it was left alone
    };

    Report clean(int module, bool dryRun = false)
    {
        core::ModuleInfo::CleanOptions options;
        options.dryRun = dryRun;
        return clean(module, std::move(options));
    }

    /// Cleans with `options` (its callbacks are replaced by the report's).
    Report clean(int module, core::ModuleInfo::CleanOptions options)
    {
        Report out;
        options.removed = [&out](const core::FolderInfo &record, const core::ModuleInfo::ItemReport &report) {
            const std::string path = withoutSlash(core::format::pathFromFileUrl(record.url()).value_or("?"));
            out.removed.push_back(path);
            if (report.alreadyGone) {
                out.alreadyGone.push_back(path);
            }
            if (report.trashed) {
                out.trashed.push_back(path);
            }
            out.freed += report.freed;
        };
        options.categorySkipped = [&out](int categoryIndex, const core::Error &why) {
            out.skipped[categoryIndex] = why.message;
        };
        options.failed = [&out](const core::FolderInfo &record, const core::ModuleInfo::ItemReport &report) {
            const std::string path = withoutSlash(core::format::pathFromFileUrl(record.url()).value_or("?"));
            out.failed[path] = report.error->path + ": " + report.error->message;
            out.failures[path] = report;
            out.freed += report.freed;
        };
        core::ModuleInfo::cleanModule(
            module,
            [&out](const std::string &, std::int64_t size) {
                out.progressBytes += size;
            },
            {},
            [&out] {
                ++out.done;
            },
            options);
        dispatcher.runAllQueues();
        return out;
    }

    void scan(int module, std::vector<core::Category> categories)
    {
        setModules(module, std::move(categories));
        core::ModuleInfo::scan(module, {}, {}, {});
        dispatcher.runAllQueues();
    }

    static void selectAll(int module)
    {
        const auto count = core::ModuleInfo::modules().at(static_cast<std::size_t>(module)).categories.size();
        for (std::size_t c = 0; c < count; ++c) {
            core::ModuleInfo::updateState(1, module, static_cast<int>(c), -1, -1);
        }
    }

    static core::Category withLocations(std::vector<core::FolderUrl> urls)
    {
        core::Category c = category("c");
        c.urls = std::move(urls);
        return c;
    }

    static core::Category atLocation(core::FolderUrl url)
    {
        core::Category c = category("c");
        c.url = std::move(url);
        return c;
    }

    static std::vector<core::Category> fourBands()
    {
        return { category("over 100 MB"), category("5 to 100 MB"), category("over a year"), category("months") };
    }

    std::string oldFile(const std::string &relative, std::int64_t size, std::int64_t age = 400 * Day)
    {
        const std::string path = tmp.writeFile(relative, size, true);
        testing_support::setMtime(path, Now - age);
        return path;
    }

    std::vector<std::string> recordPaths(int module, int categoryIndex)
    {
        std::vector<std::string> out;
        for (const auto &record : categoryAt(module, categoryIndex).files) {
            out.push_back(withoutSlash(core::format::pathFromFileUrl(record->url()).value_or("?")));
        }
        return out;
    }
};

} // namespace testing_support
