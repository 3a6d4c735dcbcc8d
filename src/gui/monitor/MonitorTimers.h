// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QWindow;

namespace gui {

class BatteryView;
class CPUView;
class DiskView;
class MemoryView;

/// The redraw timers of a screen that shows the four monitors (the
/// dashboard, the status popover): "cpu" and "memory" every 2.0 s, "disk"
/// and "battery" every 5.0 s, each carrying its tag and redrawing the view
/// of that tag when it fires.
///
/// The timers exist only while the screen is on view: its widget shown and
/// its window exposed. They are created when both become true
/// (viewDidAppear) and deleted as soon as either ends (viewDidDisappear):
/// another screen, a hidden or minimised window, a window the desktop no
/// longer shows (X11 unmaps windows on other workspaces). So a Spruce
/// that is not looked at wakes up for no monitor at all.
///
/// Lives as a child of the host widget; the views are not owned. GUI thread.
class MonitorTimers : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MonitorTimers)

public:
    struct Views
    {
        CPUView *cpu = nullptr;
        MemoryView *memory = nullptr;
        DiskView *disk = nullptr;
        BatteryView *battery = nullptr;
    };

    static constexpr int CpuInterval = 2000; // ms, "cpu" and "memory"
    static constexpr int DiskInterval = 5000; // ms, "disk" and "battery"

    /// Watches `host` (which becomes the parent) and its window.
    MonitorTimers(QWidget *host, Views views);
    ~MonitorTimers() override;

    /// Schedules the four timers in the order cpu, memory, disk, battery;
    /// nothing when they run already.
    void viewDidAppear();
    /// Stops and deletes them (memory, cpu, disk, battery); nothing when none runs.
    void viewDidDisappear();

    /// A timer's callback: marks the view of `tag` for a redraw with fresh
    /// figures. A tag that names no view does nothing.
    void redrawTagged(const QString &tag);

    bool isRunning() const { return m_cpuTimer != nullptr; }
    QTimer *cpuTimer() const { return m_cpuTimer; }
    QTimer *memoryTimer() const { return m_memoryTimer; }
    QTimer *dbTimer() const { return m_dbTimer; }
    QTimer *batteryTimer() const { return m_batteryTimer; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTimer *schedule(const QString &tag, int interval);
    void watchWindow();
    void follow();

    QWidget *m_host; // parent
    Views m_views; // not owned (the host's children)
    QPointer<QWindow> m_window; // the host's top-level window, once it has one
    bool m_shown = false;
    QPointer<QTimer> m_cpuTimer; // owned (children) while running
    QPointer<QTimer> m_memoryTimer;
    QPointer<QTimer> m_dbTimer;
    QPointer<QTimer> m_batteryTimer;
};

} // namespace gui
