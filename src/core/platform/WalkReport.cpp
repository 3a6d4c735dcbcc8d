// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WalkReport.h"

#include <algorithm>

namespace core::platform {

void WalkReport::unreadable(std::string_view path, int error)
{
    std::lock_guard lock(m_mutex);
    if (m_snapshot.unreadable++ == 0) {
        m_snapshot.firstUnreadable = path;
        m_snapshot.firstError = error;
    }
}

void WalkReport::otherFileSystem(std::string_view path)
{
    std::lock_guard lock(m_mutex);
    if (m_snapshot.otherFileSystems++ == 0) {
        m_snapshot.firstOtherFileSystem = path;
    }
}

void WalkReport::keepListProblem(std::string_view problem)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> &problems = m_snapshot.keepListProblems;
    if (std::find(problems.begin(), problems.end(), problem) == problems.end()) {
        problems.emplace_back(problem);
    }
}

WalkReport::Snapshot WalkReport::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}

void WalkReport::reset()
{
    std::lock_guard lock(m_mutex);
    m_snapshot = Snapshot{};
}

} // namespace core::platform
