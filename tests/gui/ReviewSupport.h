// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GuiTestSupport.h"
#include "TempDir.h"
#include "engine/ModuleInfo.h"
#include "platform/QtDispatcher.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace gui_tests {

/// What the review screens' tests run on: the Environment (log, shipped
/// resources) with the Qt dispatcher installed, a private home folder with
/// junk in it, and a catalogue whose System Junk module (1) looks there:
///   0 "Caches"   ~/.cache/ (one location: its entries are the files)
///   1 "Reports"  ~/reports/app/ and ~/reports/web/ (two files, each with
///                its entries as children)
///   2 "Logs"     ~/old.log (a single file)
/// Every file is written with the sizes in `junk()`; in ~/.cache "fonts" is the
/// oldest entry, then "browser", then "thumbs.db".
class ReviewEnvironment
{
public:
    ReviewEnvironment();
    ~ReviewEnvironment();
    ReviewEnvironment(const ReviewEnvironment &) = delete;
    ReviewEnvironment &operator=(const ReviewEnvironment &) = delete;

    /// Paths under the home and sizes of every junk file.
    static const std::vector<std::pair<std::string, std::int64_t>> &junk();
    /// The home folder.
    const std::string &home() const { return m_home.path(); }
    std::string path(const std::string &relative) const { return m_home / relative; }
    bool exists(const std::string &relative) const;
    /// The relative paths of the junk files still on disk, sorted.
    std::vector<std::string> remaining() const;

    /// Gives Large and Old Files (module 3) its four bands and puts in the
    /// home what it finds: a 6 MiB video (the 5 MB to 100 MB band), and an
    /// old report and an old track (unchanged for over a year).
    void addLargeAndOldFiles();
    static constexpr std::int64_t VideoSize = 6 * 1024 * 1024;
    static constexpr std::int64_t ReportSize = 3000;
    static constexpr std::int64_t TrackSize = 2000;

    Environment base;

private:
    testing_support::TempDir m_home;
    QObject m_mainContext;
    std::unique_ptr<gui::QtDispatcher> m_dispatcher;
    std::unique_ptr<core::platform::ScopedServices> m_services;
};

/// A result record made in memory (no file behind it).
core::FolderInfoPtr record(std::int64_t findex,
    const std::string &name,
    std::int64_t size,
    std::int64_t seconds = 0,
    std::vector<core::FolderInfoPtr> children = {},
    int checked = 0);

/// Installs a five-module catalogue whose module 1 has one category holding `files`.
void installFiles(std::vector<core::FolderInfoPtr> files, int state = 0);

/// Waits until `done()` holds, processing events; false after `ms`.
bool waitFor(const std::function<bool()> &done, int ms = 20000);

/// Waits (as waitFor) until module `moduleIndex` is neither scanning nor cleaning.
bool waitUntilIdle(int moduleIndex);

} // namespace gui_tests
