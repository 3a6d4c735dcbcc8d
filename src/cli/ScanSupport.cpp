// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScanSupport.h"

#include "Output.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "platform/ThreadPoolDispatcher.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <system_error>

namespace cli {

namespace {

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::optional<int> resolveModule(const std::string &word)
{
    const auto &modules = core::ModuleInfo::modules();
    for (const int index : { 1, 2, core::ModuleInfo::LargeAndOldFileModule, core::ModuleInfo::SystemModule }) {
        if (index < static_cast<int>(modules.size())
            && (word == std::to_string(index) || word == modules[static_cast<std::size_t>(index)].tab)) {
            return index;
        }
    }
    return std::nullopt;
}

void loadCatalogue(const Invocation &inv)
{
    if (!inv.global.catalogue.empty()) {
        core::ModuleInfo::setCataloguePath(absolutePath(inv.global.catalogue));
    }
    // A catalogue that cannot be read ends the process with one line and exit code 3.
    (void)core::ModuleInfo::modules();
}

WalkProblems tellWalkProblems(const std::string &what)
{
    core::platform::WalkReport *report = core::platform::services().walkReport;
    if (report == nullptr) {
        return {};
    }
    const core::platform::WalkReport::Snapshot seen = report->snapshot();
    report->reset();
    const std::string prefix = what.empty() ? std::string() : printableText(what) + ": ";
    if (seen.unreadable > 0) {
        std::fprintf(stderr,
            "spruce-cli: %s%llu folder%s could not be read, so sizes leave %s out (first: %s: %s)\n",
            prefix.c_str(),
            static_cast<unsigned long long>(seen.unreadable),
            seen.unreadable == 1 ? "" : "s",
            seen.unreadable == 1 ? "it" : "them",
            printableText(seen.firstUnreadable).c_str(),
            std::system_category().message(seen.firstError).c_str());
    }
    if (seen.otherFileSystems > 0) {
        std::fprintf(stderr,
            "spruce-cli: %s%llu mount point%s not entered (first: %s)\n",
            prefix.c_str(),
            static_cast<unsigned long long>(seen.otherFileSystems),
            seen.otherFileSystems == 1 ? "" : "s",
            printableText(seen.firstOtherFileSystem).c_str());
    }
    for (const std::string &problem : seen.keepListProblems) {
        std::fprintf(stderr, "spruce-cli: %s\n", printableText(problem).c_str());
    }
    return WalkProblems{ seen.unreadable, !seen.keepListProblems.empty() };
}

WalkProblems scanModules(const std::vector<int> &moduleIndexes, const GlobalOptions &options)
{
    if (core::platform::WalkReport *report = core::platform::services().walkReport) {
        report->reset();
    }
    const bool showBar = wantsProgress(options);
    ProgressBar bar(showBar);
    // Without a bar nobody reads the paths: asking for none spares the walks
    // a main-queue job per item (a home folder scan measures ~100k items).
    // --stats asks for them anyway, to count what a window would receive.
    core::Progress progress;
    if (showBar || options.stats) {
        progress = [&bar](const std::string &path, std::int64_t /*size*/) {
            if (!path.empty()) {
                bar.setPath(path);
            }
        };
    }
    auto fractions = std::make_shared<std::vector<float>>(moduleIndexes.size(), 0.0F);
    auto remaining = std::make_shared<std::size_t>(moduleIndexes.size());
    for (std::size_t k = 0; k < moduleIndexes.size(); ++k) {
        core::ModuleInfo::scan(
            moduleIndexes[k],
            progress,
            [&bar, fractions, k](float fraction) {
                (*fractions)[k] = fraction;
                float sum = 0;
                for (const float f : *fractions) {
                    sum += f;
                }
                bar.setFraction(sum / static_cast<float>(fractions->size()));
            },
            [remaining] {
                --*remaining;
            });
    }
    mainLoop().runUntil([remaining] {
        return *remaining == 0;
    });
    bar.finish();
    return tellWalkProblems();
}

ProgressBar::ProgressBar(bool enabled)
    : m_enabled(enabled)
{
}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::setFraction(float fraction)
{
    m_fraction = fraction;
    draw(false);
}

void ProgressBar::setPath(const std::string &path)
{
    m_path = path;
    draw(false);
}

void ProgressBar::finish()
{
    if (m_enabled) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_enabled = false;
    }
}

void ProgressBar::draw(bool force)
{
    if (!m_enabled) {
        return;
    }
    const long long now = nowMs();
    if (!force && now - m_lastDrawMs < 100) {
        return;
    }
    m_lastDrawMs = now;
    constexpr int Width = 24;
    const float clamped = m_fraction < 0 ? 0 : (m_fraction > 1 ? 1 : m_fraction);
    const int filled = static_cast<int>(clamped * Width);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(Width - filled), '.');
    // Cut the raw bytes first: a multi-byte character cut in half shows as U+FFFD.
    std::string shown =
        m_path.size() > 60 ? "..." + printableText(m_path.substr(m_path.size() - 57)) : printableText(m_path);
    std::fprintf(stderr, "\r\033[K[%s] %3d%%  %s", bar.c_str(), static_cast<int>(clamped * 100), shown.c_str());
    std::fflush(stderr);
}

} // namespace cli
