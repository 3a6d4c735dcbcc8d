// Takes screenshots of the main window as the screen shows it (run under
// Xvfb): the dashboard, an overview screen, the more-tools screen and the
// status popover.
// Usage: gui_screenshots OUTDIR   (see bench/gui_screenshots.sh)

#include "platform/LogSink.h"
#include "platform/Popover.h"
#include "platform/QtDispatcher.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "ui/AppDelegate.h"
#include "ui/MainWindow.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QDir>
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
    gui::AppDelegate delegate(
        gui::AppDelegateOptions{ gui::desktopUrlOpener(), &defaults, gui::StatusItemMode::Always });
    gui::MainWindow window(delegate);
    window.move(20, 20);
    window.show();
    delegate.applicationDidFinishLaunching();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    bool ok = save(&window, out + u"/main-dashboard.png"_s);

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
    QTest::qWait(200);
    ok = save(delegate.popover(), out + u"/status-popover.png"_s) && ok;
    return ok ? 0 : 1;
}
