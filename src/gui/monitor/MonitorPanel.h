// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFrame>

namespace gui {

class BatteryView;
class CPUView;
class DiskView;
class MemoryView;
class MonitorTimers;

/// The four monitor graphs stacked in a card of the theme's field colour (CPU, memory, disk,
/// battery), with the timers that redraw them while the panel is on view.
/// The dashboard and the status popover each hold one. GUI thread.
class MonitorPanel : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MonitorPanel)

public:
    explicit MonitorPanel(QWidget *parent = nullptr);
    ~MonitorPanel() override;

    CPUView *cpuView() const { return m_cpu; }
    MemoryView *memoryView() const { return m_memory; }
    DiskView *dbView() const { return m_disk; }
    BatteryView *batteryView() const { return m_battery; }
    MonitorTimers *timers() const { return m_timers; }

private:
    void applyTheme();

    CPUView *m_cpu; // owned (child)
    MemoryView *m_memory; // owned (child)
    DiskView *m_disk; // owned (child)
    BatteryView *m_battery; // owned (child)
    MonitorTimers *m_timers; // owned (child)
};

} // namespace gui
