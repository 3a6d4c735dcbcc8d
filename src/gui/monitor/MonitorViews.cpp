// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/MonitorViews.h"

#include "format/Format.h"
#include "monitor/Battery.h"
#include "monitor/GraphGeometry.h"
#include "platform/ImageStore.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int GraphHeight = 86; // the caption ends 80 below the top
constexpr const char *TextColorKey = "dashboard_graphic_font";

/// A share as the CPU legend shows it; "-" until a sample had ticks.
QString percentText(double share)
{
    return std::isfinite(share) ? QString::asprintf("%.1f%%", share) : u"-"_s;
}

GraphContent::LegendEntry entry(const QString &name, const QString &text, const ColorPair &colors)
{
    return GraphContent::LegendEntry{ name, text, colors };
}

} // namespace

// CPU

CPUView::CPUView(QWidget *parent)
    : GraphView(u"CPU"_s, GraphHeight, parent)
    , cpuThermalStatus(core::System::CPUPowerLimit())
{
    setObjectName(u"cpuView"_s);
    // The first sample then covers the time since the view was made, not
    // everything since boot.
    (void)m_system.usageCPU();
}

CPUView::~CPUView() = default;

QString CPUView::caption(int processorCount)
{
    return QString::number(processorCount) + u" Cores"_s;
}

ColorKeys CPUView::colorsForCPU(QStringView type)
{
    if (type == u"System") {
        return { "cpu_system_stroke_color", "cpu_system_fill_color" };
    }
    if (type == u"User") {
        return { "cpu_user_stroke_color", "cpu_user_fill_color" };
    }
    if (type == u"Nice") {
        return { "cpu_nice_stroke_color", "cpu_nice_fill_color" };
    }
    return { "cpu_idle_stroke_color", "cpu_idle_fill_color" };
}

GraphContent CPUView::sample(const ThemeColors &theme)
{
    const core::CPUUsage usage = m_system.usageCPU();
    // Two samples within one tick (a repaint right after a timer) have no
    // shares of their own: keep what the last real interval showed.
    if (usage.total > 0) {
        m_shown = usage;
        m_hasShares = true;
    }
    const double nan = std::nan("");
    const core::CPUUsage &shares = m_hasShares ? m_shown : core::CPUUsage{ nan, nan, nan, nan, 0.0 };

    GraphContent content;
    content.iconName = u"CPU"_s;
    content.caption = caption(cpuThermalStatus.processorCount);
    content.textColor = theme.color(TextColorKey);
    content.background = theme.pair(colorsForCPU(u"Free"));
    const std::pair<QString, double> entries[] = {
        { u"System"_s, shares.system },
        { u"User"_s, shares.user },
        { u"Idle"_s, shares.idle },
        { u"Nice"_s, shares.nice },
    };
    for (const auto &[name, share] : entries) {
        const ColorPair colors = theme.pair(colorsForCPU(name));
        content.segments.push_back({ share / 100.0, colors });
        content.legend.push_back(entry(name, percentText(share), colors));
    }
    return content;
}

// Memory

MemoryView::MemoryView(QWidget *parent)
    : GraphView(u"Memory"_s, GraphHeight, parent)
    , physicalMemory(core::System::physicalMemory())
{
    setObjectName(u"memoryView"_s);
}

MemoryView::~MemoryView() = default;

QString MemoryView::memoryUnit(double value)
{
    if (value >= 1.0) {
        return QString::asprintf("%.2fGB", value);
    }
    // Decimal megabytes (x 1000), truncated, as the reference display does.
    return QString::number(static_cast<long long>(value * 1000.0)) + u"MB"_s;
}

QString MemoryView::caption(double gigabytes)
{
    return QString::asprintf("%.1fGB", gigabytes);
}

ColorKeys MemoryView::colorsForMemory(QStringView type)
{
    if (type == u"Wired") {
        return { "memory_wired_stroke_color", "memory_wired_fill_color" };
    }
    if (type == u"Active") {
        return { "memory_active_stroke_color", "memory_active_fill_color" };
    }
    if (type == u"Inactive") {
        return { "memory_inactive_stroke_color", "memory_inactive_fill_color" };
    }
    if (type == u"Compressed") {
        return { "memory_compressed_stroke_color", "memory_compressed_fill_color" };
    }
    return { "memory_free_stroke_color", "memory_free_fill_color" };
}

GraphContent MemoryView::sample(const ThemeColors &theme)
{
    const core::MemoryUsage usage = core::System::memoryUsage();
    GraphContent content;
    content.iconName = u"Memory"_s;
    content.caption = caption(physicalMemory);
    content.textColor = theme.color(TextColorKey);
    content.background = theme.pair(colorsForMemory(u"Free"));
    const std::pair<QString, double> entries[] = {
        { u"Wired"_s, usage.wired },
        { u"Active"_s, usage.active },
        { u"Inactive"_s, usage.inactive },
        { u"Compressed"_s, usage.compressed },
        { u"Free"_s, usage.free },
    };
    for (const auto &[name, gigabytes] : entries) {
        const ColorPair colors = theme.pair(colorsForMemory(name));
        // Without a total (an unreadable /proc/meminfo) the fraction is not a number: no segment.
        content.segments.push_back({ physicalMemory > 0 ? gigabytes / physicalMemory : std::nan(""), colors });
        content.legend.push_back(entry(name, memoryUnit(gigabytes), colors));
    }
    return content;
}

// Disk

DiskView::DiskView(QWidget *parent)
    : DiskView(core::VolumeInfo::getMainVolume(), parent)
{
}

DiskView::DiskView(core::VolumeInfoPtr volume, QWidget *parent)
    : GraphView(u"Disk"_s, GraphHeight + static_cast<int>(graph::DiskOffset), parent)
    , volumeInfo(std::move(volume))
{
    setObjectName(u"dbView"_s);
}

DiskView::~DiskView() = default;

ColorKeys DiskView::colorsForFileType(core::FileTypeName fileTypeName)
{
    using core::FileTypeName;
    switch (fileTypeName) {
    case FileTypeName::Apps:
        return { "disk_apps_stroke_color", "disk_apps_fill_color" };
    case FileTypeName::Document:
        return { "disk_document_stroke_color", "disk_document_fill_color" };
    case FileTypeName::IOS:
    case FileTypeName::iCloud:
    case FileTypeName::iTunes:
        return { "disk_backup_stroke_color", "disk_backup_fill_color" };
    case FileTypeName::Available:
        return { "disk_available_stroke_color", "disk_available_fill_color" };
    case FileTypeName::Music:
    case FileTypeName::Movie:
    case FileTypeName::Picture:
    case FileTypeName::Mail:
    case FileTypeName::Other:
    case FileTypeName::Calculating:
        break;
    }
    return { "disk_other_stroke_color", "disk_other_fill_color" };
}

GraphContent DiskView::sample(const ThemeColors &theme)
{
    GraphContent content;
    content.iconName = u"Disk"_s;
    content.offset = graph::DiskOffset;
    content.textColor = theme.color(TextColorKey);
    content.background = theme.pair(colorsForFileType(core::FileTypeName::Available));
    if (!volumeInfo) {
        return content;
    }
    content.caption = QString::fromStdString(core::format::formatByteCount(volumeInfo->capacity));
    if (!volumeInfo->startCalculating) {
        // Once per volume: the measurements run in the background and later samples show them.
        volumeInfo->calculatingDistributionForLocalVolume();
        volumeInfo->startCalculating = true;
    }
    if (!volumeInfo->fileDistribution) {
        return content;
    }
    for (const core::FileType &slice : volumeInfo->fileDistribution->distribution) {
        const ColorPair colors = theme.pair(colorsForFileType(slice.name));
        content.segments.push_back({ slice.percent, colors });
        content.legend.push_back(entry(QString::fromUtf8(core::label(slice.name)),
            QString::fromStdString(core::format::formatByteCount(slice.bytes)),
            colors));
    }
    return content;
}

// Battery

BatteryView::BatteryView(QWidget *parent)
    : GraphView(u"Battery"_s, GraphHeight, parent)
{
    setObjectName(u"batteryView"_s);
}

BatteryView::~BatteryView() = default;

int BatteryView::iconLevel(double charge)
{
    if (!std::isfinite(charge) || charge < 0.0) {
        return 1;
    }
    return std::min(static_cast<int>(std::floor(charge / 20.0)) + 1, 5);
}

QString BatteryView::status(bool charged, bool charging)
{
    if (charged) {
        return u"Charged Completed"_s;
    }
    return charging ? u"Charging"_s : u"Not Charging"_s;
}

ColorKeys BatteryView::colorsForBattery(QStringView type)
{
    if (type == u"charged") {
        return { "battery_charged_stroke_color", "battery_charged_fill_color" };
    }
    return { "battery_empty_stroke_color", "battery_empty_fill_color" };
}

GraphContent BatteryView::sample(const ThemeColors &theme)
{
    GraphContent content;
    core::Battery battery;
    // open() writes "No Battery Service Found" to the system log (once per process).
    if (battery.open() != core::Battery::kIOReturnSuccess) {
        content.blank = true;
        content.accessibleDescription = u"No Battery Service Found"_s;
        return content;
    }
    const bool charged = battery.isCharged();
    const bool charging = battery.isCharging();
    const double charge = battery.charge();
    const int current = battery.currentCapacity();
    const int maximum = battery.maxCapactiy();
    const int cycles = battery.cycleCount();
    const QString remaining = QString::fromStdString(battery.timeRemainingFormatted());
    (void)battery.close();

    content.iconName = u"Battery-"_s + QString::number(iconLevel(charge));
    if (ImageStore::path(content.iconName).isEmpty()) {
        content.blank = true;
        return content;
    }
    content.caption = remaining;
    content.textColor = theme.color(TextColorKey);
    const ColorPair chargedColors = theme.pair(colorsForBattery(u"charged"));
    const ColorPair emptyColors = theme.pair(colorsForBattery(u"empty"));
    content.background = emptyColors;
    content.segments.push_back({ charge / 100.0, chargedColors });
    const QString state = status(charged, charging);
    const QString cyclesText = u"Charge Cycles: "_s + QString::number(cycles);
    const QString currentText = u"Current Capacity: "_s + QString::number(current) + u" mAh "_s;
    const QString maximumText = u"Max Capacity: "_s + QString::number(maximum) + u" mAh"_s;
    content.legend.push_back(entry(state, cyclesText, chargedColors));
    content.legend.push_back(entry(currentText, maximumText, emptyColors));
    // The charge itself has no text on screen (the bar shows it): say it first.
    content.accessibleDescription = QString::asprintf("%.0f%%", charge) + u", "_s + state + u", "_s + cyclesText
        + u", "_s + currentText.trimmed() + u", "_s + maximumText;
    return content;
}

} // namespace gui
