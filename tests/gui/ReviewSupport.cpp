// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReviewSupport.h"

#include "format/FileUrl.h"
#include "ui/ModuleActivity.h"

#include <QTest>

#include <algorithm>
#include <ctime>
#include <sys/stat.h>

namespace gui_tests {

namespace {

core::FolderUrl location(const std::string &path, const std::string &type, bool directory)
{
    return core::FolderUrl{ core::format::fileUrlFromPath(path, directory), type, 0 };
}

core::Category category(const std::string &title, const std::string &image)
{
    core::Category c;
    c.title = title;
    c.image = image;
    c.description = "About " + title;
    return c;
}

} // namespace

const std::vector<std::pair<std::string, std::int64_t>> &ReviewEnvironment::junk()
{
    static const std::vector<std::pair<std::string, std::int64_t>> files = {
        { ".cache/fonts/a.cache", 1000 },
        { ".cache/thumbs.db", 2500 },
        { ".cache/browser/cache2/blob", 4000 },
        { "reports/app/crash-1.dmp", 3000 },
        { "reports/app/crash-2.dmp", 5000 },
        { "reports/web/report.txt", 700 },
        { "old.log", 1200 },
    };
    return files;
}

ReviewEnvironment::ReviewEnvironment()
    : m_dispatcher(std::make_unique<gui::QtDispatcher>(&m_mainContext))
{
    for (const auto &[relative, size] : junk()) {
        m_home.writeFile(relative, size);
    }
    // Dates that differ from the order of names and of sizes.
    testing_support::setMtime(path(".cache/fonts"), 1'000'000'000);
    testing_support::setMtime(path(".cache/browser"), 1'100'000'000);
    testing_support::setMtime(path(".cache/thumbs.db"), 1'200'000'000);
    core::platform::Services services = core::platform::services();
    services.dispatch = m_dispatcher.get();
    services.user = core::platform::UserContext{ "tester", m_home.path() };
    m_services = std::make_unique<core::platform::ScopedServices>(std::move(services));

    std::vector<core::Module> modules = Environment::fiveModules();
    core::Category caches = category("Caches", "category_cache");
    caches.url = location(path(".cache"), "Folder", true);
    core::Category reports = category("Reports", "category_crash");
    reports.urls = { location(path("reports/app"), "Folder", true), location(path("reports/web"), "Folder", true) };
    core::Category logs = category("Logs", "category_logs");
    logs.urls = { location(path("old.log"), "File", false) };
    modules[1].categories = { caches, reports, logs };
    modules[1].features = { { "feature_cache", "Clears caches" }, { "feature_logs", "Removes old logs" } };
    core::ModuleInfo::setModulesForTesting(std::move(modules));
}

ReviewEnvironment::~ReviewEnvironment()
{
    // Jobs still queued for the main thread would reach a catalogue of the next test.
    QTest::qWait(0);
}

bool ReviewEnvironment::exists(const std::string &relative) const
{
    struct stat st
    {
    };
    return ::lstat(path(relative).c_str(), &st) == 0;
}

void ReviewEnvironment::addLargeAndOldFiles()
{
    m_home.writeFile("Videos/clip.mp4", VideoSize, true);
    m_home.writeFile("Documents/old-report.pdf", ReportSize);
    m_home.writeFile("Music/album/track.flac", TrackSize);
    const std::int64_t twoYearsAgo = static_cast<std::int64_t>(::time(nullptr)) - 2 * 365 * 24 * 3600;
    testing_support::setMtime(path("Documents/old-report.pdf"), twoYearsAgo);
    testing_support::setMtime(path("Music/album/track.flac"), twoYearsAgo);
    std::vector<core::Module> modules = core::ModuleInfo::modules();
    modules[3].categories = { category("Files over 100 MB", "category_large"),
        category("Files from 5 MB to 100 MB", "category_medium"),
        category("Unchanged for over a Year", "category_old"),
        category("Unchanged for 1 to 12 Months", "category_aging") };
    core::ModuleInfo::setModulesForTesting(std::move(modules));
}

std::vector<std::string> ReviewEnvironment::remaining() const
{
    std::vector<std::string> left;
    for (const auto &entry : junk()) {
        if (exists(entry.first)) {
            left.push_back(entry.first);
        }
    }
    std::sort(left.begin(), left.end());
    return left;
}

core::FolderInfoPtr record(std::int64_t findex,
    const std::string &name,
    std::int64_t size,
    std::int64_t seconds,
    std::vector<core::FolderInfoPtr> children,
    int checked)
{
    const bool folder = !children.empty();
    return std::make_shared<core::FolderInfo>(findex,
        name,
        core::IconRef{ folder ? core::IconRef::Kind::Folder : core::IconRef::Kind::File, {} },
        size,
        core::Rgba{},
        folder,
        core::Timestamp{ seconds, 0 },
        core::format::fileUrlFromPath("/nowhere/" + name, folder),
        false,
        std::move(children),
        false,
        checked);
}

void installFiles(std::vector<core::FolderInfoPtr> files, int state)
{
    std::vector<core::Module> modules = Environment::fiveModules();
    core::Category c;
    c.title = "Things";
    c.files = std::move(files);
    c.state = state;
    for (const auto &file : c.files) {
        c.size += file->size;
    }
    modules[1].categories = { c };
    core::ModuleInfo::setModulesForTesting(std::move(modules));
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    return QTest::qWaitFor(done, ms);
}

bool waitUntilIdle(int moduleIndex)
{
    return waitFor([moduleIndex] {
        return !gui::ModuleActivity::instance().isBusy(moduleIndex);
    });
}

} // namespace gui_tests
