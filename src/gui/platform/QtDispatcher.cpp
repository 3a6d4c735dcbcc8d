#include "platform/QtDispatcher.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>

namespace gui {

QtDispatcher::QtDispatcher(QObject *mainContext)
    : m_mainContext(mainContext)
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
    QMetaObject::invokeMethod(m_mainContext, std::move(job), Qt::QueuedConnection);
}

} // namespace gui
