#include "platform/WalkReport.h"

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
