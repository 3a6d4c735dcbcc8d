// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/VolumeInfo.h"
#include "monitor/GraphView.h"
#include "monitor/System.h"

#include <QString>

namespace gui {

/// CPU time shares: System, User, Idle and Nice, each "%.1f%", under the
/// caption "<n> Cores".
///
/// The view keeps one System between samples, so every sample shows the
/// shares of the interval since the previous one (the first: since the
/// view was made), not an average since the machine started. A sample in
/// which no tick passed keeps the shares shown before; before any interval
/// had ticks the legend reads "-" and the bar is empty. GUI thread.
class CPUView : public GraphView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPUView)

public:
    /// Reads the CPU power limits once (`cpuThermalStatus`).
    explicit CPUView(QWidget *parent = nullptr);
    ~CPUView() override;

    core::CPUPowerStatus cpuThermalStatus;

    /// "<processorCount> Cores" ("-1 Cores" when the limits are unknown).
    static QString caption(int processorCount);
    /// "System", "User", "Nice" have their own colours; anything else gets the idle ones.
    static ColorKeys colorsForCPU(QStringView type);

protected:
    GraphContent sample(const ThemeColors &theme) override;

private:
    core::System m_system;
    core::CPUUsage m_shown;
    bool m_hasShares = false;
};

/// Memory by page state: Wired, Active, Inactive, Compressed and Free as
/// fractions of the physical memory, under the caption "<total>GB". GUI thread.
class MemoryView : public GraphView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MemoryView)

public:
    /// Reads the physical memory once (`physicalMemory`, gigabytes).
    explicit MemoryView(QWidget *parent = nullptr);
    ~MemoryView() override;

    double physicalMemory = 0;

    /// Gigabytes as the legend shows them: "%.2fGB" from 1.0 on, else the
    /// value x 1000 truncated, "MB" (0.5 -> "500MB", 3.256 -> "3.26GB").
    static QString memoryUnit(double value);
    /// The total: one decimal and "GB" (16 -> "16.0GB", 15.54 -> "15.5GB").
    static QString caption(double gigabytes);
    /// "Wired", "Active", "Inactive", "Compressed" have their own colours; anything else gets the free ones.
    static ColorKeys colorsForMemory(QStringView type);

protected:
    GraphContent sample(const ThemeColors &theme) override;
};

/// The main volume's split into applications, device backups, the rest and
/// the free space: one segment per slice with its label and size, under the volume's capacity.
/// The first sample starts the volume's two background measurements (once
/// per volume); later samples show their results, so the legend grows from
/// 2 to 4 entries. GUI thread (the volume is read on the main queue only).
class DiskView : public GraphView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DiskView)

public:
    /// `volume` defaults to the boot volume; nullptr shows an empty bar.
    explicit DiskView(QWidget *parent = nullptr);
    DiskView(core::VolumeInfoPtr volume, QWidget *parent);
    ~DiskView() override;

    core::VolumeInfoPtr volumeInfo;

    static ColorKeys colorsForFileType(core::FileTypeName fileTypeName);

protected:
    GraphContent sample(const ThemeColors &theme) override;
};

/// The battery: its charge as one segment, the remaining time as caption,
/// the charging state and cycle count, the current and maximum capacity.
/// Blank (nothing drawn, no bar) on a machine without a battery. GUI thread.
class BatteryView : public GraphView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BatteryView)

public:
    explicit BatteryView(QWidget *parent = nullptr);
    ~BatteryView() override;

    /// The icon "Battery-<k>": k = floor(charge / 20) + 1, at most 5 (and at least 1).
    static int iconLevel(double charge);
    /// "Charged Completed" when fully charged (even if also charging), else "Charging" or "Not Charging".
    static QString status(bool charged, bool charging);
    /// "charged" has its own colours; anything else gets the empty ones.
    static ColorKeys colorsForBattery(QStringView type);

protected:
    GraphContent sample(const ThemeColors &theme) override;
};

} // namespace gui
