// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace core::platform {

/// What walks passed over that their user should hear of: folders they
/// could not read (a size that leaves them out is partial), mount points
/// below a start location (another file system, never entered), and an
/// always-keep list the scan could not use whole. Walks on
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
        std::vector<std::string> keepListProblems; // each said once, in the order they came

        bool operator==(const Snapshot &) const = default;
    };

    void unreadable(std::string_view path, int error);
    void otherFileSystem(std::string_view path);
    /// A sentence on the always-keep list (it cannot be read, or one of its
    /// lines cannot be used); the same sentence twice is kept once.
    void keepListProblem(std::string_view problem);
    [[nodiscard]] Snapshot snapshot() const;
    /// Forgets everything (before the next piece of work).
    void reset();

private:
    mutable std::mutex m_mutex;
    Snapshot m_snapshot;
};

} // namespace core::platform
