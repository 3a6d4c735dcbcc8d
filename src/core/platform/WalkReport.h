#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace core::platform {

/// What walks passed over that their user should hear of: folders they
/// could not read (a size that leaves them out is partial) and mount points
/// below a start location (another file system, never entered). Walks on
/// any thread add to it; a front end reads it after the work to say so once
/// and to choose its exit code. Thread-safe.
class WalkReport
{
public:
    struct Snapshot
    {
        std::uint64_t unreadable = 0; // folders that could not be opened or listed
        std::string firstUnreadable; // the first such folder's path
        int firstError = 0; // and why (errno)
        std::uint64_t otherFileSystems = 0; // mount points passed over
        std::string firstOtherFileSystem;

        bool operator==(const Snapshot &) const = default;
    };

    void unreadable(std::string_view path, int error);
    void otherFileSystem(std::string_view path);
    [[nodiscard]] Snapshot snapshot() const;
    /// Forgets everything (before the next piece of work).
    void reset();

private:
    mutable std::mutex m_mutex;
    Snapshot m_snapshot;
};

} // namespace core::platform
