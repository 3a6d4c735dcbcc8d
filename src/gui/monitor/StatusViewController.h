// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace gui {

class MonitorPanel;

/// The content of the status item's popover: the product name, the four
/// live monitors (redrawn only while the popover is shown, the CPU and
/// memory every 2 s, the disk and battery every 5 s), and the control that
/// brings the main window forward. GUI thread.
class StatusViewController : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusViewController)

public:
    explicit StatusViewController(QWidget *parent = nullptr);
    ~StatusViewController() override;

    QPushButton *showMainWindowButton() const { return m_showButton; }
    QPushButton *quitButton() const { return m_quitButton; }
    /// The four monitors (cpuView, memoryView, dbView, batteryView) and their timers.
    MonitorPanel *monitors() const { return m_monitors; }

    /// A monitor timer fired: redraws the view of `tag` ("cpu", "memory", "disk", "battery").
    void startTimer(const QString &tag);
    using QObject::startTimer;

    /// Brings every window identified "mainWindow" forward (shown,
    /// restored, raised and activated); none does nothing. Returns how
    /// many windows it brought forward.
    static int showMainWindows();

public Q_SLOTS:
    /// Brings the main window forward and closes the popover holding this view.
    void showMainWindow();

private:
    QLabel *m_title; // owned (child)
    MonitorPanel *m_monitors; // owned (child)
    QPushButton *m_showButton; // owned (child)
    QPushButton *m_quitButton; // owned (child)
};

} // namespace gui
