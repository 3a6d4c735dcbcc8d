// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the platform layer: the task queue walkInOrder and treeSize
// share between their walking threads. Not part of the core's interface.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace core::tree::detail {

/// The small queue through which busy walking threads hand directories to
/// idle ones. A busy thread pushes only when wantsWork() says a thread is
/// waiting for more tasks than the queue holds, so in the steady state
/// (everybody busy) a directory costs two relaxed atomic loads and no lock.
/// The walk is over when every thread that joined waits and the queue is
/// empty: only a busy thread can add a task. Last in, first out. Thread-safe.
template<typename Task> class WorkQueue
{
public:
    /// Whether handing a directory over would help an idle thread. Racy by design: a hint.
    [[nodiscard]] bool wantsWork() const
    {
        return m_queued.load(std::memory_order_relaxed) < m_waiting.load(std::memory_order_relaxed);
    }

    void push(Task task)
    {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
            m_queued.store(m_tasks.size(), std::memory_order_relaxed);
        }
        m_wake.notify_one();
    }

    /// Blocks until a task is available (true) or the walk is over (false).
    bool pop(Task &task)
    {
        std::unique_lock lock(m_mutex);
        m_waiting.fetch_add(1, std::memory_order_relaxed);
        int spun = 0;
        while (m_tasks.empty()) {
            if (m_done || m_waiting.load(std::memory_order_relaxed) == m_workers) {
                m_done = true;
                m_waiting.fetch_sub(1, std::memory_order_relaxed);
                m_wake.notify_all();
                return false;
            }
            if (spun < SpinRounds) {
                // Wait a little on the spot first: a busy thread hands a folder
                // over within microseconds, while a sleep and a wake-up through
                // the kernel cost more than that (much more on a virtual CPU,
                // which the host may take away while it sleeps).
                ++spun;
                lock.unlock();
                for (int k = 0; k < SpinsPerRound && m_queued.load(std::memory_order_relaxed) == 0; ++k) {
                    pause();
                }
                lock.lock();
                continue;
            }
            m_wake.wait(lock);
        }
        m_waiting.fetch_sub(1, std::memory_order_relaxed);
        task = std::move(m_tasks.back());
        m_tasks.pop_back();
        m_queued.store(m_tasks.size(), std::memory_order_relaxed);
        return true;
    }

    /// Counts one more thread in; called by a helper thread before its first
    /// pop (the caller's thread counts from the start). A helper that joins
    /// after the walk ended finds it over at once: tasks are only handed to
    /// threads already waiting, so none can be missed.
    void join()
    {
        std::lock_guard lock(m_mutex);
        ++m_workers;
    }

private:
    // Some 50 microseconds of waiting on the spot, with a look at the end of the walk every few.
    static constexpr int SpinRounds = 32;
    static constexpr int SpinsPerRound = 64;

    static void pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Task> m_tasks;
    std::size_t m_workers = 1; // the caller, plus every helper that joined
    bool m_done = false;
    std::atomic<std::size_t> m_waiting{ 0 };
    std::atomic<std::size_t> m_queued{ 0 };
};

/// Starts `count` helper threads running body(1) ... body(count) into
/// `threads`, fewer when the system has no more threads to give: the walk
/// goes on with those it has.
template<typename Body> void startHelperThreads(std::vector<std::jthread> &threads, std::size_t count, Body body)
{
    for (std::size_t i = 1; i <= count; ++i) {
        try {
            threads.emplace_back(body, i);
        } catch (const std::system_error &) {
            return;
        }
    }
}

} // namespace core::tree::detail
