// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Dispatcher.h"

#include <cstddef>
#include <deque>
#include <mutex>

namespace testing_support {

/// A dispatcher for deterministic ordering tests: nothing runs until the
/// test steps a queue explicitly, on the test's thread. Posting is
/// thread-safe, since a walk may use helper threads of its own.
class ManualDispatcher final : public core::platform::Dispatcher
{
public:
    void async(core::platform::Task job) override
    {
        std::lock_guard lock(m_mutex);
        m_background.push_back(std::move(job));
    }
    void asyncMain(core::platform::Task job) override
    {
        std::lock_guard lock(m_mutex);
        m_main.push_back(std::move(job));
    }

    /// Runs the oldest background job; false when there was none.
    bool runOneBackground() { return runOne(m_background); }
    /// Runs background jobs (and those they submit) until none is left.
    std::size_t runBackground() { return runAll(m_background); }
    /// Runs the oldest main-queue job; false when there was none.
    bool runOneMain() { return runOne(m_main); }
    /// Runs main-queue jobs (and those they post) until none is left.
    std::size_t runMain() { return runAll(m_main); }
    /// Alternates both queues until both are empty.
    void runAllQueues()
    {
        while (runBackground() + runMain() > 0) { }
    }

    std::size_t pendingBackground() const
    {
        std::lock_guard lock(m_mutex);
        return m_background.size();
    }
    std::size_t pendingMain() const
    {
        std::lock_guard lock(m_mutex);
        return m_main.size();
    }

private:
    bool runOne(std::deque<core::platform::Task> &queue)
    {
        core::platform::Task job;
        {
            std::lock_guard lock(m_mutex);
            if (queue.empty()) {
                return false;
            }
            job = std::move(queue.front());
            queue.pop_front();
        }
        job();
        return true;
    }
    std::size_t runAll(std::deque<core::platform::Task> &queue)
    {
        std::size_t ran = 0;
        while (runOne(queue)) {
            ++ran;
        }
        return ran;
    }

    mutable std::mutex m_mutex;
    std::deque<core::platform::Task> m_background;
    std::deque<core::platform::Task> m_main;
};

} // namespace testing_support
