// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ModuleActivity.h"

namespace gui {

ModuleActivity &ModuleActivity::instance()
{
    static ModuleActivity activity;
    return activity;
}

ModuleActivity::Kind ModuleActivity::activity(int moduleIndex) const
{
    const auto found = m_running.find(moduleIndex);
    return found == m_running.end() ? Kind::Idle : found->second;
}

bool ModuleActivity::begin(int moduleIndex, Kind kind)
{
    if (isBusy(moduleIndex)) {
        return false;
    }
    m_running[moduleIndex] = kind;
    Q_EMIT activityChanged(moduleIndex);
    return true;
}

core::Done ModuleActivity::finishing(int moduleIndex, core::Done done)
{
    return [this, moduleIndex, done = std::move(done)] {
        m_running.erase(moduleIndex);
        Q_EMIT activityChanged(moduleIndex);
        if (done) {
            done();
        }
    };
}

bool ModuleActivity::scan(int moduleIndex, core::Progress progress, core::ShowPercent showPercent, core::Done done)
{
    if (!begin(moduleIndex, Kind::Scanning)) {
        return false;
    }
    core::ModuleInfo::scan(
        moduleIndex, std::move(progress), std::move(showPercent), finishing(moduleIndex, std::move(done)));
    return true;
}

bool ModuleActivity::clean(int moduleIndex,
    core::Progress progress,
    core::ShowPercent showPercent,
    core::Done done,
    core::ModuleInfo::CleanOptions options)
{
    if (!begin(moduleIndex, Kind::Cleaning)) {
        return false;
    }
    core::ModuleInfo::cleanModule(moduleIndex,
        std::move(progress),
        std::move(showPercent),
        finishing(moduleIndex, std::move(done)),
        std::move(options));
    return true;
}

} // namespace gui
