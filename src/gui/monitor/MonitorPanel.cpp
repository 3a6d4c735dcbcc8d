// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MonitorPanel.h"

#include "monitor/MonitorTimers.h"
#include "monitor/MonitorViews.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

MonitorPanel::MonitorPanel(QWidget *parent)
    : QFrame(parent)
    , m_cpu(new CPUView(this))
    , m_memory(new MemoryView(this))
    , m_disk(new DiskView(this))
    , m_battery(new BatteryView(this))
    , m_timers(new MonitorTimers(this, { m_cpu, m_memory, m_disk, m_battery }))
{
    setObjectName(u"monitorPanel"_s);
    setAccessibleName(u"Monitors"_s);
    // Only the card itself: the graphs paint on it and stay unstyled.
    setStyleSheet(u"QFrame#monitorPanel { background-color: rgba(255, 255, 255, 150);"
                  " border: 1px solid rgba(28, 46, 39, 22); border-radius: 10px; }"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 8, 4, 4);
    layout->setSpacing(0);
    for (QWidget *view : { static_cast<QWidget *>(m_cpu),
             static_cast<QWidget *>(m_memory),
             static_cast<QWidget *>(m_disk),
             static_cast<QWidget *>(m_battery) }) {
        layout->addWidget(view);
    }
}

MonitorPanel::~MonitorPanel() = default;

} // namespace gui
