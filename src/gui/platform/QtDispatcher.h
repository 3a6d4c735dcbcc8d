#pragma once

#include "platform/Dispatcher.h"

#include <QThreadPool>

class QObject;

namespace gui {

/// The core's two queues bound to Qt: the global concurrent queue is a
/// QThreadPool of max(8, 2 x cores) threads (scan jobs block on I/O, so the
/// ideal thread count of a small machine would starve them); the main queue
/// is a queued invocation on one long-lived object of the GUI thread.
/// Queued events to one receiver are delivered in posting order, which gives
/// the FIFO the engine relies on ("progress before completion").
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
    QObject *m_mainContext; // not owned; lives in the GUI thread
    QThreadPool m_pool;
};

} // namespace gui
