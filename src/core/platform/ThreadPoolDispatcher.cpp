// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ThreadPoolDispatcher.h"

#include <algorithm>

namespace core::platform {

void RunLoop::post(Task job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
}

bool RunLoop::runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        Task job;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_until(lock, deadline, [this] {
                    return !m_jobs.empty();
                })) {
                return done();
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
    return true;
}

std::size_t RunLoop::runPending()
{
    std::size_t ran = 0;
    for (;;) {
        Task job;
        {
            std::lock_guard lock(m_mutex);
            if (m_jobs.empty()) {
                return ran;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
        ++ran;
    }
}

ThreadPoolDispatcher::ThreadPoolDispatcher(RunLoop &mainLoop, std::size_t threads)
    : m_main(mainLoop)
{
    if (threads == 0) {
        threads = std::max<std::size_t>(8, 2 * std::max(1U, std::thread::hardware_concurrency()));
    }
    m_workers.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) {
        m_workers.emplace_back([this](const std::stop_token &stop) {
            workerLoop(stop);
        });
    }
}

ThreadPoolDispatcher::~ThreadPoolDispatcher()
{
    for (auto &worker : m_workers) {
        worker.request_stop();
    }
    m_wake.notify_all();
    m_workers.clear(); // joins
}

void ThreadPoolDispatcher::async(Task job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void ThreadPoolDispatcher::asyncMain(Task job)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_mainPosted;
    }
    m_main.post(std::move(job));
}

std::size_t ThreadPoolDispatcher::mainJobsPosted() const
{
    std::lock_guard lock(m_mutex);
    return m_mainPosted;
}

void ThreadPoolDispatcher::workerLoop(const std::stop_token &stop)
{
    for (;;) {
        Task job;
        {
            std::unique_lock lock(m_mutex);
            // Queued jobs are drained even after a stop request so no callback is lost.
            m_wake.wait(lock, stop, [this] {
                return !m_jobs.empty();
            });
            if (m_jobs.empty()) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

} // namespace core::platform
