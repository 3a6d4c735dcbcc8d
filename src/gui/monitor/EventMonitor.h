// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QEvent;
class QWidget;

namespace gui {

/// Watches for clicks made outside a given window (the popover) and hands
/// each one to a handler, so the popover can close.
///
/// A desktop client cannot see other programs' mouse events (Wayland does
/// not allow it at all), so "outside" is what the application can observe:
/// a button press in any of its other windows, and the application losing
/// activation (the user clicked another program), reported with a null
/// event. start() installs the watch, stop() removes it; both may be
/// called any number of times, and destruction stops. GUI thread.
class EventMonitor : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventMonitor)

public:
    /// Event masks, by the bit values of the platform the design follows.
    enum Mask : unsigned {
        LeftMouseDown = 1U << 1, // value 2
        RightMouseDown = 1U << 3, // value 8
    };

    using Handler = std::function<void(QEvent *event)>;

    /// Stores the mask and the handler; does not start.
    EventMonitor(unsigned mask, Handler handler, QObject *parent = nullptr);
    ~EventMonitor() override;

    void start();
    void stop();
    bool isRunning() const { return m_running; }

    /// Presses inside `widget`'s window are not outside (the popover itself).
    void setIgnoredWindow(QWidget *widget) { m_ignored = widget; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onApplicationStateChanged(Qt::ApplicationState state);

    unsigned m_mask;
    Handler m_handler;
    QPointer<QWidget> m_ignored;
    QMetaObject::Connection m_stateConnection;
    bool m_running = false;
};

} // namespace gui
