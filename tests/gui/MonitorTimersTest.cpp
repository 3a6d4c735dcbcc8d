// SPDX-License-Identifier: GPL-3.0-or-later
// The monitors' redraw timers: they run only while their screen is on view.

#include "monitor/MonitorTimers.h"

#include "GuiTestSupport.h"
#include "monitor/EventMonitor.h"
#include "monitor/MonitorPanel.h"
#include "monitor/MonitorViews.h"
#include "monitor/StatusViewController.h"
#include "platform/LinkOpener.h"
#include "platform/Popover.h"
#include "platform/UserDefaults.h"
#include "ui/AppDelegate.h"
#include "ui/DashboardViewController.h"
#include "ui/ViewController.h"

#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using gui::MonitorTimers;

namespace {

/// The timers that exist now, by tag, with their intervals.
QMap<QString, int> liveTimers(const MonitorTimers *timers)
{
    QMap<QString, int> out;
    const auto children = timers->findChildren<QTimer *>();
    for (const QTimer *timer : children) {
        if (timer->isActive()) {
            out.insert(timer->property("tag").toString(), timer->interval());
        }
    }
    return out;
}

const QMap<QString, int> Scheduled = {
    { u"cpu"_s, 2000 }, { u"memory"_s, 2000 }, { u"disk"_s, 5000 }, { u"battery"_s, 5000 }
};

class MonitorTimersTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::Environment> m_env;
    std::unique_ptr<gui_tests::ScopedSysRoot> m_sysRoot;

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<gui_tests::Environment>();
        // A machine with a battery, and a volume that is never measured (no dispatcher).
        m_sysRoot = std::make_unique<gui_tests::ScopedSysRoot>(gui_tests::fixtureRoot("laptop-charging"));
    }
    void cleanup()
    {
        m_sysRoot.reset();
        m_env.reset();
    }

    void scheduledWhileShownAndNoneLeftAfterThreeCyclesOrMinimised()
    {
        QWidget window;
        auto *panel = new gui::MonitorPanel(&window);
        (new QVBoxLayout(&window))->addWidget(panel);
        MonitorTimers *timers = panel->timers();
        QVERIFY(!timers->isRunning());
        QVERIFY(liveTimers(timers).isEmpty());
        for (int cycle = 0; cycle < 3; ++cycle) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(liveTimers(timers), Scheduled);
            QCOMPARE(timers->cpuTimer()->property("tag").toString(), u"cpu"_s);
            QCOMPARE(timers->dbTimer()->property("tag").toString(), u"disk"_s);
            window.hide();
            QVERIFY(!timers->isRunning());
            // Deleted, not merely stopped: nothing is left that could wake the process.
            QCOMPARE(timers->findChildren<QTimer *>().size(), 0);
        }
        // Showing twice does not double them.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        timers->viewDidAppear();
        QCOMPARE(timers->findChildren<QTimer *>().size(), 4);
        // A minimised window stops them.
        window.showMinimized();
        QTRY_VERIFY(!timers->isRunning());
        window.showNormal();
        QTRY_VERIFY(timers->isRunning());
    }

    void eachTimerRedrawsItsOwnView()
    {
        gui::MonitorPanel panel;
        QSignalSpy cpu(panel.cpuView(), &gui::GraphView::sampled);
        QSignalSpy memory(panel.memoryView(), &gui::GraphView::sampled);
        QSignalSpy disk(panel.dbView(), &gui::GraphView::sampled);
        QSignalSpy battery(panel.batteryView(), &gui::GraphView::sampled);
        panel.timers()->redrawTagged(u"disk"_s);
        panel.timers()->redrawTagged(u"Disk"_s);
        panel.timers()->redrawTagged(u"gpu"_s);
        QCOMPARE(disk.size(), 1);
        QCOMPARE(cpu.size() + memory.size() + battery.size(), 0);

        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTRY_VERIFY(cpu.size() >= 1); // the first paint samples every view
        cpu.clear();
        memory.clear();
        battery.clear();
        panel.timers()->batteryTimer()->setInterval(20);
        QTRY_VERIFY(battery.size() >= 2);
        QCOMPARE(cpu.size() + memory.size(), 0);
        // A repaint for any other reason draws the last figures again.
        panel.cpuView()->repaint();
        QCOMPARE(cpu.size(), 0);
    }

    void leavingTheDashboardStopsThem()
    {
        gui::LinkOpener links(gui_tests::RecordingOpener().function());
        gui::ViewController root(&links);
        root.getTabViewController()->setAnimationDuration(0);
        root.resize(1040, 680);
        root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&root));
        auto *dashboard = qobject_cast<gui::DashboardViewController *>(root.getTabViewController()->widget(0));
        QVERIFY(dashboard != nullptr);
        MonitorTimers *timers = dashboard->monitors()->timers();
        QCOMPARE(liveTimers(timers), Scheduled);
        for (int cycle = 0; cycle < 3; ++cycle) {
            root.switchTabTo(u"moreTool"_s);
            QVERIFY(!timers->isRunning());
            root.switchTabTo(u"systemJunkOverview"_s);
            QVERIFY(!timers->isRunning());
            root.switchTabTo(u"dashboard"_s);
            QCOMPARE(liveTimers(timers), Scheduled);
        }
        root.hide();
        QVERIFY(!timers->isRunning());
        QCOMPARE(timers->findChildren<QTimer *>().size(), 0);
    }

    void thePopoverRunsThemOnlyWhileOpen()
    {
        gui::UserDefaults defaults(m_env->home.filePath(u"Spruce.ini"_s));
        gui::AppDelegate delegate(
            gui::AppDelegateOptions{ gui_tests::RecordingOpener().function(), &defaults, gui::StatusItemMode::Always });
        delegate.applicationDidFinishLaunching();
        auto *content = qobject_cast<gui::StatusViewController *>(delegate.popover()->contentViewController());
        QVERIFY(content != nullptr);
        MonitorTimers *timers = content->monitors()->timers();
        QVERIFY(!timers->isRunning());
        for (int cycle = 0; cycle < 3; ++cycle) {
            delegate.showPopover(nullptr);
            QVERIFY(QTest::qWaitForWindowExposed(delegate.popover()));
            QCOMPARE(liveTimers(timers), Scheduled);
            delegate.closePopover(nullptr);
            QVERIFY(!timers->isRunning());
        }
        QCOMPARE(timers->findChildren<QTimer *>().size(), 0);
        // The monitor that closes the popover on a click elsewhere still runs.
        QVERIFY(delegate.eventMonitor()->isRunning());
    }
};

} // namespace

SPRUCE_GUI_TEST(MonitorTimersTest)
#include "MonitorTimersTest.moc"
