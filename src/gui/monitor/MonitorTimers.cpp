// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MonitorTimers.h"

#include "monitor/MonitorViews.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace gui {

MonitorTimers::MonitorTimers(QWidget *host, Views views)
    : QObject(host)
    , m_host(host)
    , m_views(views)
    , m_shown(host->isVisible())
{
    host->installEventFilter(this);
    if (m_shown) {
        watchWindow();
        follow();
    }
}

MonitorTimers::~MonitorTimers() = default;

QTimer *MonitorTimers::schedule(const QString &tag, int interval)
{
    auto *timer = new QTimer(this);
    timer->setProperty("tag", tag);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, [this, timer] {
        redrawTagged(timer->property("tag").toString());
    });
    timer->start();
    return timer;
}

void MonitorTimers::viewDidAppear()
{
    if (isRunning()) {
        return;
    }
    m_cpuTimer = schedule(u"cpu"_s, CpuInterval);
    m_memoryTimer = schedule(u"memory"_s, CpuInterval);
    m_dbTimer = schedule(u"disk"_s, DiskInterval);
    m_batteryTimer = schedule(u"battery"_s, DiskInterval);
}

void MonitorTimers::viewDidDisappear()
{
    for (QPointer<QTimer> *timer : { &m_memoryTimer, &m_cpuTimer, &m_dbTimer, &m_batteryTimer }) {
        delete timer->data();
        *timer = nullptr;
    }
}

void MonitorTimers::redrawTagged(const QString &tag)
{
    GraphView *view = nullptr;
    if (tag == u"cpu"_s) {
        view = m_views.cpu;
    } else if (tag == u"memory"_s) {
        view = m_views.memory;
    } else if (tag == u"disk"_s) {
        view = m_views.disk;
    } else if (tag == u"battery"_s) {
        view = m_views.battery;
    }
    if (view != nullptr) {
        view->redraw();
    }
}

void MonitorTimers::watchWindow()
{
    QWindow *window = m_host->window()->windowHandle();
    if (window == m_window) {
        return;
    }
    if (m_window != nullptr) {
        m_window->removeEventFilter(this);
    }
    m_window = window;
    if (window != nullptr) {
        window->installEventFilter(this);
    }
}

void MonitorTimers::follow()
{
    // The window's exposure is updated before its Expose event is delivered.
    if (m_shown && m_window != nullptr && m_window->isExposed()) {
        viewDidAppear();
    } else {
        viewDidDisappear();
    }
}

bool MonitorTimers::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host) {
        // A minimised window keeps its widgets "visible" but sends them a
        // spontaneous Hide: follow the events, not isVisible().
        if (event->type() == QEvent::Show) {
            m_shown = true;
            watchWindow();
            follow();
        } else if (event->type() == QEvent::Hide) {
            m_shown = false;
            follow();
        }
    } else if (watched == m_window && event->type() == QEvent::Expose) {
        follow();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace gui
