// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MonitorPanel.h"

#include "monitor/MonitorTimers.h"
#include "monitor/MonitorViews.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

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
    applyTheme();
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, &MonitorPanel::applyTheme);
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

void MonitorPanel::applyTheme()
{
    // Only the card itself: the graphs paint on it and stay unstyled. A
    // veil of the field colour over the page, edged in a trace of the text colour.
    QColor card = UIUtil::color(core::UIInfo::nsColor("main_field_color"));
    card.setAlpha(150);
    QColor edge = UIUtil::color(core::UIInfo::nsMyUI("table_title_font").color());
    edge.setAlpha(22);
    const auto rgba = [](const QColor &c) {
        return u"rgba(%1, %2, %3, %4)"_s.arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
    };
    setStyleSheet(u"QFrame#monitorPanel { background-color: %1; border: 1px solid %2; border-radius: 10px; }"_s.arg(
        rgba(card), rgba(edge)));
}

} // namespace gui
