// SPDX-License-Identifier: GPL-3.0-or-later
// Takes screenshots of the main window as the screen shows it (run under
// Xvfb): the dashboard before and after a scan of all modules, an overview
// screen, the more-tools screen, the status popover and the notices (updates,
// a link nothing opens, the window closed in front of the tray).
// Usage: gui_screenshots OUTDIR   (see bench/gui_screenshots.sh)

#include "ShotScheme.h"
#include "fs/VolumeInfo.h"
#include "monitor/MonitorPanel.h"
#include "monitor/MonitorViews.h"
#include "monitor/StatusViewController.h"
#include "platform/LogSink.h"
#include "platform/Popover.h"
#include "platform/QtDispatcher.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "theme/SchemeController.h"
#include "ui/AppDelegate.h"
#include "ui/DashboardViewController.h"
#include "ui/MainWindow.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool save(QWidget *window, const QString &path)
{
    QTest::qWait(400); // let slides and repaints finish
    const QRect frame = window->frameGeometry();
    const QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const bool ok = shot.save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

/// Waits until the disk graph's volume has its full split (the two
/// background measurements are in), at most `seconds`.
void waitForDiskSplit(int seconds)
{
    const QDeadlineTimer deadline(seconds * 1000);
    while (!deadline.hasExpired()) {
        const auto volume = core::VolumeInfo::getMainVolume();
        if (volume == nullptr || !volume->fileDistribution || volume->fileDistribution->distribution.size() >= 4) {
            return;
        }
        QTest::qWait(100);
    }
}

/// Lets the CPU and memory timers fire once, and the disk graph show its full split.
void settleMonitors(gui::MonitorPanel *panel)
{
    waitForDiskSplit(120);
    QTest::qWait(2200);
    panel->dbView()->redraw();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_screenshots OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    QObject mainContext;
    gui::QtDispatcher dispatcher(&mainContext);
    core::platform::StreamLogSink sink(stdout, stderr);
    core::platform::Services services = core::platform::services();
    services.dispatch = &dispatcher;
    services.log = &sink;
    core::platform::ScopedServices installed(std::move(services));

    // A settings file of its own, so no first-launch page opens.
    QTemporaryDir config;
    gui::UserDefaults defaults(config.filePath(u"Spruce.ini"_s));
    defaults.setBool(u"HasLaunchedOnce"_s, true);
    const auto desktop = prepareShotScheme(defaults);
    gui::AppDelegate delegate(
        gui::AppDelegateOptions{ gui::desktopUrlOpener(), &defaults, gui::StatusItemMode::Always, desktop.get() });
    delegate.schemes().apply(); // as the application does
    gui::MainWindow window(delegate);
    window.move(20, 20);
    window.show();
    delegate.applicationDidFinishLaunching();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    auto *dashboard =
        qobject_cast<gui::DashboardViewController *>(window.viewController()->getTabViewController()->widget(0));
    settleMonitors(dashboard->monitors());
    bool ok = save(&window, out + u"/main-dashboard.png"_s);

    // A scan of all modules; the review buttons appear as each one finishes.
    dashboard->scanBTN()->click();
    const QDeadlineTimer scanDeadline(300'000);
    while (dashboard->doneModuleNumber() < 3 && !scanDeadline.hasExpired()) {
        QTest::qWait(100);
    }
    ok = save(&window, out + u"/main-dashboard-scanned.png"_s) && ok;

    gui::ModuleListView *list = window.viewController()->moduleView();
    const QRect row = list->visualRect(window.viewController()->moduleModel()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    ok = save(&window, out + u"/main-overview.png"_s) && ok;

    // The last module row: More Tools, with its page.
    const int moreTools = window.viewController()->moduleModel()->rowCount() - 1;
    QTest::mouseClick(list->viewport(),
        Qt::LeftButton,
        {},
        list->visualRect(window.viewController()->moduleModel()->index(moreTools, 0)).center());
    ok = save(&window, out + u"/main-more-tools.png"_s) && ok;

    delegate.showPopover(nullptr);
    auto *status = qobject_cast<gui::StatusViewController *>(delegate.popover()->contentViewController());
    settleMonitors(status->monitors());
    ok = save(delegate.popover(), out + u"/status-popover.png"_s) && ok;
    delegate.closePopover(nullptr);

    // The notices: the version and where releases are, a link nothing opens, and closing the window.
    const auto notice = [&ok, &out](const QString &name, const QString &file) {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == name && w->isVisible()) {
                (void)QTest::qWaitForWindowExposed(w);
                ok = save(w, out + file) && ok;
                w->close();
                return;
            }
        }
        std::fprintf(stderr, "no %s\n", qPrintable(name));
        ok = false;
    };
    delegate.checkForUpdateAction();
    notice(u"updatesNotice"_s, u"notice-updates.png"_s.prepend(u'/'));
    delegate.openLinkOrExplain("no_such_link");
    notice(u"linkFailureNotice"_s, u"notice-link.png"_s.prepend(u'/'));
    window.close();
    notice(u"trayNotice"_s, u"notice-tray.png"_s.prepend(u'/'));
    return ok ? 0 : 1;
}
