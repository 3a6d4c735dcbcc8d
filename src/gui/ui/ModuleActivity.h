// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ModuleInfo.h"

#include <QObject>

#include <map>

namespace gui {

/// What is running on each catalogue module: the one place the screens
/// start scans and cleans through, so that a module that is scanning or
/// cleaning is never scanned or cleaned again before its `done`.
///
/// The engine itself refuses nothing: two scans of one module would each
/// write their results back, and a clean racing a scan would delete records
/// the screen no longer shows. Every screen that can start one asks here,
/// and disables its buttons while activityChanged() says the module is busy.
///
/// One per process (instance()); GUI thread only, like the engine's callbacks.
class ModuleActivity : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModuleActivity)

public:
    enum class Kind { Idle, Scanning, Cleaning };

    static ModuleActivity &instance();

    Kind activity(int moduleIndex) const;
    bool isBusy(int moduleIndex) const { return activity(moduleIndex) != Kind::Idle; }

    /// ModuleInfo::scan of `moduleIndex`, unless the module is busy (then
    /// nothing starts and the answer is false). The module is marked busy
    /// until the scan's `done`; it becomes idle (activityChanged) just before
    /// `done` is called.
    bool scan(int moduleIndex, core::Progress progress, core::ShowPercent showPercent, core::Done done);

    /// ModuleInfo::cleanModule likewise. The selection cleaned is the one of
    /// this call: the engine takes it before returning.
    bool clean(int moduleIndex,
        core::Progress progress,
        core::ShowPercent showPercent,
        core::Done done,
        core::ModuleInfo::CleanOptions options);

Q_SIGNALS:
    /// Module `moduleIndex` started or finished a scan or a clean.
    void activityChanged(int moduleIndex);

private:
    ModuleActivity() = default;
    ~ModuleActivity() override = default;

    bool begin(int moduleIndex, Kind kind);
    core::Done finishing(int moduleIndex, core::Done done);

    std::map<int, Kind> m_running;
};

} // namespace gui
