// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/EventMonitor.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace gui {

EventMonitor::EventMonitor(unsigned mask, Handler handler, QObject *parent)
    : QObject(parent)
    , m_mask(mask)
    , m_handler(std::move(handler))
{
}

EventMonitor::~EventMonitor()
{
    stop();
}

void EventMonitor::start()
{
    if (m_running || qApp == nullptr) {
        return;
    }
    qApp->installEventFilter(this);
    m_stateConnection =
        connect(qApp, &QGuiApplication::applicationStateChanged, this, &EventMonitor::onApplicationStateChanged);
    m_running = true;
}

void EventMonitor::stop()
{
    if (!m_running) {
        return;
    }
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
    }
    disconnect(m_stateConnection);
    m_running = false;
}

bool EventMonitor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && m_handler) {
        const auto *press = static_cast<QMouseEvent *>(event);
        const bool wanted = (press->button() == Qt::LeftButton && (m_mask & LeftMouseDown) != 0)
            || (press->button() == Qt::RightButton && (m_mask & RightMouseDown) != 0);
        // Every press is delivered to exactly one top-level QWindow first; watch it there.
        auto *window = qobject_cast<QWindow *>(watched);
        const QWindow *ignored = m_ignored != nullptr ? m_ignored->window()->windowHandle() : nullptr;
        if (wanted && window != nullptr && window != ignored) {
            m_handler(event);
        }
    }
    return QObject::eventFilter(watched, event);
}

void EventMonitor::onApplicationStateChanged(Qt::ApplicationState state)
{
    if (state != Qt::ApplicationActive && m_handler) {
        m_handler(nullptr);
    }
}

} // namespace gui
