// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Dispatcher.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace core::platform {

/// The main queue of a program without a GUI toolkit: jobs posted from any
/// thread are run, in posting order, by whichever thread calls run*() (the
/// main thread by convention). Thread-safe.
class RunLoop
{
public:
    RunLoop() = default;
    RunLoop(const RunLoop &) = delete;
    RunLoop &operator=(const RunLoop &) = delete;

    void post(Task job);

    /// Runs posted jobs until `done()` is true (checked before each job and
    /// after the queue runs dry) or `timeout` passes. Returns done()'s final value.
    bool runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::hours(24));

    /// Runs the jobs already queued (and those they post) without waiting; returns how many ran.
    std::size_t runPending();

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Task> m_jobs;
};

/// Dispatcher over an own pool of worker threads (the global queue) and a
/// RunLoop (the main queue). Used by the command-line tool and integration
/// tests. The pool defaults to max(8, 2 x cores) threads because scan jobs
/// block on I/O; nothing waits on another job, so the size only affects speed.
/// The destructor lets queued background jobs finish before joining.
class ThreadPoolDispatcher final : public Dispatcher
{
public:
    explicit ThreadPoolDispatcher(RunLoop &mainLoop, std::size_t threads = 0);
    ~ThreadPoolDispatcher() override;
    ThreadPoolDispatcher(const ThreadPoolDispatcher &) = delete;
    ThreadPoolDispatcher &operator=(const ThreadPoolDispatcher &) = delete;

    void async(Task job) override;
    void asyncMain(Task job) override;

    /// Number of jobs posted to the main queue so far (a cost measure for benchmarks).
    std::size_t mainJobsPosted() const;

private:
    void workerLoop(const std::stop_token &stop);

    RunLoop &m_main; // not owned; outlives the dispatcher
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Task> m_jobs;
    std::size_t m_mainPosted = 0;
    std::vector<std::jthread> m_workers;
};

} // namespace core::platform
