// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtDispatcher.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace gui {

namespace {

/// How long one turn of the main queue may run before the event loop gets
/// the GUI thread back for input and painting.
constexpr qint64 DrainSliceMs = 4;

} // namespace

/// The main queue: jobs in posting order, and whether a drain is on its way
/// to the GUI thread. Shared with the posted drains, so that a drain still
/// queued when the dispatcher goes finds a live queue.
struct QtDispatcher::MainQueue
{
    std::mutex mutex;
    std::deque<core::platform::Task> jobs;
    bool drainPosted = false;
};

void QtDispatcher::postDrain(QObject *context, const std::shared_ptr<MainQueue> &queue)
{
    QMetaObject::invokeMethod(
        context,
        [context = QPointer<QObject>(context), queue] {
            if (context) {
                drain(context, queue);
            }
        },
        Qt::QueuedConnection);
}

void QtDispatcher::drain(QObject *context, const std::shared_ptr<MainQueue> &queue)
{
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        core::platform::Task job;
        {
            const std::lock_guard lock(queue->mutex);
            if (queue->jobs.empty()) {
                queue->drainPosted = false;
                return;
            }
            job = std::move(queue->jobs.front());
            queue->jobs.pop_front();
        }
        job();
        if (slice.elapsed() >= DrainSliceMs) {
            // The rest in a later turn; drainPosted stays set, so nobody posts another.
            postDrain(context, queue);
            return;
        }
    }
}

QtDispatcher::QtDispatcher(QObject *mainContext)
    : m_mainContext(mainContext)
    , m_mainQueue(std::make_shared<MainQueue>())
{
    m_pool.setMaxThreadCount(defaultThreadCount());
    // Idle workers go away after a while instead of sleeping forever.
    m_pool.setExpiryTimeout(30'000);
}

QtDispatcher::~QtDispatcher()
{
    m_pool.waitForDone();
}

int QtDispatcher::defaultThreadCount()
{
    return std::max(8, 2 * QThread::idealThreadCount());
}

void QtDispatcher::async(core::platform::Task job)
{
    m_pool.start(std::move(job));
}

void QtDispatcher::asyncMain(core::platform::Task job)
{
    bool post = false;
    {
        const std::lock_guard lock(m_mainQueue->mutex);
        m_mainQueue->jobs.push_back(std::move(job));
        post = !m_mainQueue->drainPosted;
        m_mainQueue->drainPosted = true;
    }
    // One wake-up of the GUI thread for a whole burst of jobs (a scan posts
    // tens of thousands), not one event each.
    if (post) {
        postDrain(m_mainContext, m_mainQueue);
    }
}

} // namespace gui
