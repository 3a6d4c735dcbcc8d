// SPDX-License-Identifier: GPL-3.0-or-later
// The application delegate: first launch, links, the status item's popover,
// the outside-click monitor and re-opening the main window.

#include "ui/AppDelegate.h"

#include "GuiTestSupport.h"
#include "SpruceVersion.h"
#include "monitor/EventMonitor.h"
#include "monitor/StatusViewController.h"
#include "platform/Popover.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class AppDelegateTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_overrides;
    std::unique_ptr<gui_tests::Environment> m_env;
    gui_tests::RecordingOpener m_opener;

    QString iniPath() const { return m_env->home.filePath(u"Spruce.ini"_s); }

    std::unique_ptr<gui::AppDelegate> makeDelegate(
        gui::UserDefaults &defaults, gui::StatusItemMode mode = gui::StatusItemMode::Never)
    {
        return std::make_unique<gui::AppDelegate>(gui::AppDelegateOptions{ m_opener.function(), &defaults, mode });
    }

    static QList<QMessageBox *> openNotices(const QString &name)
    {
        QList<QMessageBox *> found;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w);
                box != nullptr && box->objectName() == name && box->isVisible()) {
                found.append(box);
            }
        }
        return found;
    }

    static bool hasLine(const std::vector<std::string> &lines, const std::string &start)
    {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string &l) {
            return l.rfind(start, 0) == 0;
        });
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<gui_tests::Environment>();
        m_opener = gui_tests::RecordingOpener();
    }
    void cleanup() { m_env.reset(); }

    void installPageOpensOnTheFirstLaunchOnly()
    {
        {
            gui::UserDefaults defaults(iniPath());
            makeDelegate(defaults)->checkFirstTimeLaunch();
        }
        QCOMPARE(m_opener.opened->size(), 1U);
        QVERIFY(m_opener.opened->front().toLocalFile().endsWith(u"/resources/help/welcome.html"_s));
        QCOMPARE(m_env->stdoutLines(), std::vector<std::string>{ "successfully opened" });
        QVERIFY(hasLine(m_env->log.systemLines(), "First Launch (model: "));
        // Kept in the user's settings file, on disk at once.
        QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value(u"HasLaunchedOnce"_s).toString(), u"true"_s);

        // The next launch reads the flag back and does nothing.
        gui::UserDefaults again(iniPath());
        makeDelegate(again)->checkFirstTimeLaunch();
        QCOMPARE(m_opener.opened->size(), 1U);
        QCOMPARE(m_env->stdoutLines().size(), 1U);
    }

    void aFailedOpenStillCountsAsTheFirstLaunch()
    {
        *m_opener.result = false;
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults);
        delegate->checkFirstTimeLaunch();
        QCOMPARE(m_opener.opened->size(), 1U);
        QVERIFY(m_env->stdoutLines().empty());
        *m_opener.result = true;
        delegate->checkFirstTimeLaunch();
        makeDelegate(defaults)->checkFirstTimeLaunch();
        QCOMPARE(m_opener.opened->size(), 1U);
    }

    void invalidLinksOpenNothingAndPrintNothing_data()
    {
        QTest::addColumn<QString>("value");
        // (Which values make no address: PlatformTest::linkValuesBecomeUrls.)
        QTest::newRow("space in host") << u"http://exa mple.org/"_s;
        QTest::newRow("shipped page that is missing") << u"help/nowhere.html"_s;
    }
    void invalidLinksOpenNothingAndPrintNothing()
    {
        QFETCH(QString, value);
        gui_tests::writePlist(m_overrides.filePath(u"SpruceSetting.plist"_s),
            "<dict><key>install_link</key><string>" + value.toStdString() + "</string><key>help_link</key><string>"
                + value.toStdString() + "</string></dict>");
        m_env.reset(); // restores the services before the next ones are installed
        m_env = std::make_unique<gui_tests::Environment>(
            std::vector<std::string>{ m_overrides.path().toStdString(), gui_tests::sourceResources() });
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults);
        delegate->checkFirstTimeLaunch();
        delegate->helpAction();
        QVERIFY(m_opener.opened->empty());
        QVERIFY(m_env->stdoutLines().empty());
        // Still the first launch: the flag is stored whatever the link.
        QVERIFY(defaults.boolForKey(u"HasLaunchedOnce"_s));
        // The menu action says that nothing opened; the first-launch page stays silent.
        const QList<QMessageBox *> notices = openNotices(u"linkFailureNotice"_s);
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.front()->text(), u"Spruce could not open this page."_s);
        qDeleteAll(notices);
    }

    void aMenuLinkNobodyOpensSaysWhereItLeads()
    {
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults);
        delegate->helpAction();
        QVERIFY(openNotices(u"linkFailureNotice"_s).isEmpty());
        QCOMPARE(m_opener.opened->size(), 1U);

        *m_opener.result = false;
        QVERIFY(!delegate->openLinkOrExplain("support_link"));
        const QList<QMessageBox *> notices = openNotices(u"linkFailureNotice"_s);
        QCOMPARE(notices.size(), 1);
        // The address is there to copy, and the box never blocks the application.
        QVERIFY(notices.front()->informativeText().contains(u"/resources/help/support.html"_s));
        QCOMPARE(notices.front()->windowModality(), Qt::NonModal);
        qDeleteAll(notices);
    }

    void checkForUpdatesShowsTheVersionAndWhereReleasesAre()
    {
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults);
        delegate->checkForUpdateAction();
        QVERIFY(m_opener.opened->empty()); // nothing is fetched or opened by itself
        QList<QMessageBox *> boxes = openNotices(u"updatesNotice"_s);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.front()->text(), u"This is Spruce %1."_s.arg(QStringLiteral(SPRUCE_VERSION)));
        QVERIFY(boxes.front()->informativeText().contains(u"github.com/spruce-cleaner/spruce/releases"_s));
        QCOMPARE(boxes.front()->defaultButton(), boxes.front()->button(QMessageBox::Close));
        // A scalable icon drawn at the box's scale, and no style glyph on Close (dark on a dark button).
        const int side = boxes.front()->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, boxes.front());
        QCOMPARE(boxes.front()->iconPixmap().deviceIndependentSize().toSize(), QSize(side, side));
        QVERIFY(boxes.front()->button(QMessageBox::Close)->icon().isNull());

        boxes.front()->findChild<QPushButton *>(u"openReleasesButton"_s)->click();
        QCOMPARE(m_opener.opened->size(), 1U);
        QCOMPARE(m_opener.opened->back(), QUrl(QStringLiteral(SPRUCE_RELEASES_URL)));

        delegate->checkForUpdateAction();
        boxes = openNotices(u"updatesNotice"_s);
        QCOMPARE(boxes.size(), 1);
        boxes.front()->findChild<QPushButton *>(u"howToUpdateButton"_s)->click();
        QCOMPARE(m_opener.opened->size(), 2U);
        QVERIFY(m_opener.opened->back().toLocalFile().endsWith(u"/resources/help/updates.html"_s));
        QTest::qWait(0);
        QVERIFY(openNotices(u"updatesNotice"_s).isEmpty());
    }

    void closingTheWindowWithATraySaysSoOnce()
    {
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults, gui::StatusItemMode::Never);
        delegate->mainWindowWillClose(); // no tray: closing the window quits, nothing to say
        QVERIFY(openNotices(u"trayNotice"_s).isEmpty());

        QApplication::setQuitOnLastWindowClosed(false);
        delegate->mainWindowWillClose();
        const QList<QMessageBox *> notices = openNotices(u"trayNotice"_s);
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.front()->text(), u"Spruce keeps running in the tray; Quit from its menu."_s);
        qDeleteAll(notices);
        // Once: not at the next close, nor after a restart.
        delegate->mainWindowWillClose();
        gui::UserDefaults again(iniPath());
        makeDelegate(again)->mainWindowWillClose();
        QApplication::setQuitOnLastWindowClosed(true);
        QVERIFY(openNotices(u"trayNotice"_s).isEmpty());
    }

    void statusItemTogglesThePopover()
    {
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults, gui::StatusItemMode::Always);
        delegate->applicationDidFinishLaunching();
        gui::Popover *popover = delegate->popover();
        QVERIFY(qobject_cast<gui::StatusViewController *>(popover->contentViewController()));
        QVERIFY(!delegate->statusItem()->icon().isNull());

        delegate->togglePopover(delegate->statusItem());
        QVERIFY(popover->isShown());
        delegate->togglePopover(delegate->statusItem());
        QVERIFY(!popover->isShown());
        // The click that closed it was the status item itself: the same click does not re-open it.
        delegate->togglePopover(delegate->statusItem());
        QVERIFY(!popover->isShown());
        QTest::qWait(350);
        delegate->togglePopover(delegate->statusItem());
        QVERIFY(popover->isShown());
        delegate->closePopover(nullptr);
        QVERIFY(!popover->isShown());
    }

    void withoutAStatusButtonThereIsNoPopover()
    {
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults, gui::StatusItemMode::Never);
        delegate->applicationDidFinishLaunching();
        QVERIFY(!delegate->statusItemHasButton());
        QVERIFY(delegate->statusItem()->icon().isNull());
        delegate->togglePopover(nullptr);
        QVERIFY(!delegate->popover()->isShown());
    }

    void aClickElsewhereClosesThePopover()
    {
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults, gui::StatusItemMode::Always);
        delegate->applicationDidFinishLaunching();
        QVERIFY(delegate->eventMonitor()->isRunning());
        QWidget elsewhere;
        elsewhere.resize(200, 100);
        elsewhere.show();
        QVERIFY(QTest::qWaitForWindowExposed(&elsewhere));

        delegate->showPopover(nullptr);
        QVERIFY(delegate->popover()->isShown());
        QVERIFY(QTest::qWaitForWindowExposed(delegate->popover()));
        // A click inside the popover keeps it.
        QTest::mouseClick(delegate->popover()->windowHandle(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(delegate->popover()->isShown());
        QTest::mouseClick(elsewhere.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!delegate->popover()->isShown());
    }

    void eventMonitorStartsAndStops()
    {
        // Clicks go through the window system (QWindow), the way real presses arrive.
        int calls = 0;
        QWidget ignored;
        QWidget other;
        for (QWidget *w : { &ignored, &other }) {
            w->resize(100, 100);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
        }
        gui::EventMonitor monitor(gui::EventMonitor::LeftMouseDown, [&calls](QEvent *) {
            ++calls;
        });
        monitor.setIgnoredWindow(&ignored);
        monitor.stop(); // never started: nothing to do
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton);
        QCOMPARE(calls, 0);

        monitor.start();
        monitor.start(); // a second start installs nothing more
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton);
        QCOMPARE(calls, 1);
        QTest::mouseClick(other.windowHandle(), Qt::RightButton); // not in the mask
        QTest::mouseClick(ignored.windowHandle(), Qt::LeftButton);
        QCOMPARE(calls, 1);

        monitor.stop();
        QVERIFY(!monitor.isRunning());
        monitor.stop();
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton);
        QCOMPARE(calls, 1);
    }

    void reopenBringsBackTheMainWindow()
    {
        gui::UserDefaults defaults(iniPath());
        auto delegate = makeDelegate(defaults);
        QWidget main;
        main.setObjectName(u"mainWindow"_s);
        QWidget other;
        other.setObjectName(u"somethingElse"_s);

        // With a window visible nothing happens; the answer is true in both cases.
        other.show();
        QVERIFY(delegate->applicationShouldHandleReopen(nullptr, true));
        QVERIFY(!main.isVisible());
        QVERIFY(delegate->applicationShouldHandleReopen(nullptr, false));
        QVERIFY(main.isVisible());
        QVERIFY(!other.isHidden());

        // A later launch re-opens a closed main window.
        main.close();
        delegate->handleReopenRequest();
        QVERIFY(main.isVisible());
    }

    void popoverControlBringsTheMainWindowForward()
    {
        QCOMPARE(gui::StatusViewController::showMainWindows(), 0);
        QWidget main;
        main.setObjectName(u"mainWindow"_s);
        gui::Popover popover;
        auto *content = new gui::StatusViewController();
        popover.setContentViewController(content);
        popover.show();
        QTest::mouseClick(content->showMainWindowButton(), Qt::LeftButton);
        QVERIFY(main.isVisible());
        QVERIFY(!popover.isVisible());
        QCOMPARE(content->showMainWindowButton()->text(), u"Open Spruce"_s);
    }
};

} // namespace

SPRUCE_GUI_TEST(AppDelegateTest)
#include "AppDelegateTest.moc"
