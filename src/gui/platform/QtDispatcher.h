// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Dispatcher.h"

#include <QThreadPool>

#include <deque>
#include <memory>
#include <mutex>

class QObject;

namespace gui {

/// The core's two queues bound to Qt: the global concurrent queue is a
/// QThreadPool of max(8, 2 x cores) threads (scan jobs block on I/O, so the
/// ideal thread count of a small machine would starve them); the main queue
/// is a FIFO of jobs that the GUI thread drains in turns of its event loop:
/// a posted job wakes it only when no drain is pending already, and one turn
/// runs jobs for about 4 ms before giving the loop back (input, painting),
/// so a burst of thousands of reports neither floods the event queue nor
/// freezes the window. Jobs run one at a time in posting order, which gives
/// the order the engine relies on ("progress before completion").
///
/// `mainContext` must live in the GUI thread and outlive every job posted;
/// jobs posted after it is destroyed are dropped. Both calls are thread-safe.
class QtDispatcher final : public core::platform::Dispatcher
{
public:
    explicit QtDispatcher(QObject *mainContext);
    ~QtDispatcher() override;
    QtDispatcher(const QtDispatcher &) = delete;
    QtDispatcher &operator=(const QtDispatcher &) = delete;

    void async(core::platform::Task job) override;
    void asyncMain(core::platform::Task job) override;

    /// The worker pool, for diagnostics (active thread count at exit).
    QThreadPool &pool() { return m_pool; }

    /// The pool size chosen for this machine: max(8, 2 x ideal thread count).
    static int defaultThreadCount();

private:
    struct MainQueue;
    static void postDrain(QObject *context, const std::shared_ptr<MainQueue> &queue);
    static void drain(QObject *context, const std::shared_ptr<MainQueue> &queue);

    QObject *m_mainContext; // not owned; lives in the GUI thread
    std::shared_ptr<MainQueue> m_mainQueue;
    QThreadPool m_pool;
};

} // namespace gui
