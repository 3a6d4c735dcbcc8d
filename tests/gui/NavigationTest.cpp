// SPDX-License-Identifier: GPL-3.0-or-later
// Screen navigation: the identifier table, twins, slides and reloads.

#include "GuiTestSupport.h"
#include "platform/LinkOpener.h"
#include "ui/DetailViewController.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using gui::SlideTransition;
using gui::TabViewSwitchController;

namespace {

class NavigationTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::Environment> m_env;
    std::unique_ptr<gui::LinkOpener> m_links;
    std::unique_ptr<gui::ViewController> m_root;

    gui::SlideStack *tabs() const { return m_root->getTabViewController(); }
    TabViewSwitchController *child(int i) const { return qobject_cast<TabViewSwitchController *>(tabs()->widget(i)); }
    static QString titleShown(TabViewSwitchController *screen)
    {
        if (auto *overview = qobject_cast<gui::OverviewViewController *>(screen)) {
            return overview->overviewTitle()->text();
        }
        if (auto *detail = qobject_cast<gui::DetailViewController *>(screen)) {
            return detail->moduleTitle()->text();
        }
        return {};
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<gui_tests::Environment>();
        m_links = std::make_unique<gui::LinkOpener>(gui_tests::RecordingOpener().function());
        m_root = std::make_unique<gui::ViewController>(m_links.get());
        tabs()->setAnimationDuration(0);
    }
    void cleanup()
    {
        m_root.reset();
        m_env.reset();
    }

    void initialScreensFollowTheTable()
    {
        QCOMPARE(tabs()->count(), 4);
        QVERIFY(qobject_cast<gui::OverviewViewController *>(tabs()->widget(1)));
        QVERIFY(qobject_cast<gui::DetailViewController *>(tabs()->widget(2)));
        const std::map<QString, int> expected = {
            { u"dashboard"_s, 0 }, { u"systemJunkOverview"_s, 1 }, { u"systemJunkDetail"_s, 2 }, { u"moreTool"_s, 3 }
        };
        QCOMPARE(TabViewSwitchController::vcDict(), expected);
        QCOMPARE(TabViewSwitchController::tabIndex(), 0);
    }

    void newScreenIsAppendedOnceAndFoundAgain()
    {
        QCOMPARE(m_root->getTabWithIndentifier(u"applicationJunkOverview"_s), 4);
        QCOMPARE(tabs()->count(), 5);
        auto *screen = qobject_cast<gui::OverviewViewController *>(tabs()->widget(4));
        QVERIFY(screen);
        QCOMPARE(screen->moduleIndex(), 2);
        QCOMPARE(screen->tabIdentifier().value_or(QString()), u"applicationJunkOverview"_s);
        QCOMPARE(TabViewSwitchController::vcDict().at(u"applicationJunkOverview"_s), 4);
        // Not shown: creating is not switching.
        QCOMPARE(tabs()->currentIndex(), 0);

        QCOMPARE(m_root->getTabWithIndentifier(u"applicationJunkOverview"_s), 4);
        QCOMPARE(tabs()->count(), 5);
        QCOMPARE(m_root->getTabWithIndentifier(u"applicationJunkDetail"_s), 5);
        QVERIFY(qobject_cast<gui::DetailViewController *>(tabs()->widget(5)));
    }

    void foundScreenIsReStamped()
    {
        child(2)->setModuleIndex(7);
        child(2)->setTabIdentifier(std::nullopt);
        QCOMPARE(m_root->getTabWithIndentifier(u"systemJunkDetail"_s), 2);
        QCOMPARE(child(2)->moduleIndex(), 1);
        QCOMPARE(child(2)->tabIdentifier().value_or(QString()), u"systemJunkDetail"_s);
        QCOMPARE(tabs()->count(), 4);
    }

    void fixedAndUnknownIdentifiersLeaveTheTableAlone_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<int>("index");
        QTest::newRow("more tools") << u"moreTool"_s << 3;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("unknown") << u"settings"_s << 0;
        QTest::newRow("lower case is another text") << u"systemjunkoverview"_s << 0;
    }
    void fixedAndUnknownIdentifiersLeaveTheTableAlone()
    {
        QFETCH(QString, identifier);
        QFETCH(int, index);
        const auto before = TabViewSwitchController::vcDict();
        QCOMPARE(m_root->getTabWithIndentifier(identifier), index);
        QCOMPARE(TabViewSwitchController::vcDict(), before);
        QCOMPARE(tabs()->count(), 4);
    }

    void twins_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("twin");
        QTest::newRow("overview") << u"largeAndOldFileOverview"_s << u"largeAndOldFileDetail"_s;
        QTest::newRow("detail") << u"largeAndOldFileDetail"_s << u"largeAndOldFileOverview"_s;
        QTest::newRow("dashboard") << u"dashboard"_s << u"dashboard"_s;
    }
    void twins()
    {
        QFETCH(QString, identifier);
        QFETCH(QString, twin);
        TabViewSwitchController screen;
        screen.setTabIdentifier(identifier);
        QCOMPARE(screen.getTwinTabIdentifier(), twin);
    }

    void slideForEachKindOfSwitch_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<SlideTransition>("slide");
        QTest::newRow("overview to its detail")
            << u"systemJunkOverview"_s << u"systemJunkDetail"_s << SlideTransition::SlideLeft;
        QTest::newRow("detail back to its overview")
            << u"systemJunkDetail"_s << u"systemJunkOverview"_s << SlideTransition::SlideRight;
        QTest::newRow("dashboard to an overview")
            << u"dashboard"_s << u"largeAndOldFileOverview"_s << SlideTransition::SlideUp;
        QTest::newRow("detail to more tools") << u"systemJunkDetail"_s << u"moreTool"_s << SlideTransition::SlideUp;
    }
    void slideForEachKindOfSwitch()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(SlideTransition, slide);
        QCOMPARE(TabViewSwitchController::transitionFor(from, to), slide);

        // The same switch made through the tab container.
        m_root->switchTabTo(from);
        QSignalSpy started(tabs(), &gui::SlideStack::transitionStarted);
        m_root->switchTabTo(to);
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(2).value<SlideTransition>(), slide);
        const int toIndex = TabViewSwitchController::vcDict().count(to) != 0 ? TabViewSwitchController::vcDict().at(to)
                                                                             : (to == u"moreTool"_s ? 3 : 0);
        QCOMPARE(TabViewSwitchController::tabIndex(), toIndex);
        QCOMPARE(tabs()->currentIndex(), toIndex);
    }

    void twinSwitchAndSwitchToTheShownScreen()
    {
        m_root->switchTabTo(u"systemJunkOverview"_s);
        QSignalSpy started(tabs(), &gui::SlideStack::transitionStarted);
        child(1)->switchToTwinTab();
        QCOMPARE(TabViewSwitchController::tabIndex(), 2);
        QCOMPARE(started.last().at(2).value<SlideTransition>(), SlideTransition::SlideLeft);
        // Switching to the screen already shown still runs a transition, from and to the same child.
        child(2)->switchTabWithTransition(2);
        QCOMPARE(started.count(), 2);
        QCOMPARE(started.last().at(0).toInt(), 2);
        QCOMPARE(started.last().at(1).toInt(), 2);
        // An index outside the container is ignored.
        child(2)->switchTabWithTransition(42);
        QCOMPARE(started.count(), 2);
        QCOMPARE(TabViewSwitchController::tabIndex(), 2);
    }

    void reloadTwinOfAnOverviewWithoutDetailCreatesNothing()
    {
        const int index = m_root->getTabWithIndentifier(u"applicationJunkOverview"_s);
        const auto before = TabViewSwitchController::vcDict();
        child(index)->reloadTwinTabData();
        QCOMPARE(tabs()->count(), 5);
        QCOMPARE(TabViewSwitchController::vcDict(), before);
        QVERIFY(m_env->stdoutLines().empty());
    }

    void reloadTwinReachesAnExistingDetail()
    {
        child(2)->loadViewIfNeeded();
        core::ModuleInfo::modules()[1].title = "Renamed Junk";
        child(1)->reloadTwinTabData();
        QCOMPARE(titleShown(child(2)), u"Renamed Junk"_s);
    }

    void reloadAllReachesOnlyDetailScreens()
    {
        const int appOverview = m_root->getTabWithIndentifier(u"applicationJunkOverview"_s);
        const int appDetail = m_root->getTabWithIndentifier(u"applicationJunkDetail"_s);
        for (int i = 0; i < tabs()->count(); ++i) {
            child(i)->loadViewIfNeeded();
        }
        core::ModuleInfo::modules()[1].title = "One";
        core::ModuleInfo::modules()[2].title = "Two";
        child(0)->reloadAllTabData();
        QCOMPARE(titleShown(child(2)), u"One"_s);
        QCOMPARE(titleShown(child(appDetail)), u"Two"_s);
        QCOMPARE(titleShown(child(1)), u"System Junk"_s);
        QCOMPARE(titleShown(child(appOverview)), u"Application Junk"_s);
        // The dashboard and more-tools screens were not asked (their reload would print).
        QVERIFY(m_env->stdoutLines().empty());
    }

    void scanDoneMakesTheScreenWithoutShowingIt()
    {
        QSignalSpy started(tabs(), &gui::SlideStack::transitionStarted);
        m_root->reloadTabWhenScanDone(u"largeAndOldFileOverview"_s);
        QCOMPARE(tabs()->count(), 5);
        QCOMPARE(child(4)->moduleIndex(), 3);
        QCOMPARE(started.count(), 0);
        QCOMPARE(TabViewSwitchController::tabIndex(), 0);
        m_root->reloadTabWhenScanDone(u"largeAndOldFileOverview"_s);
        QCOMPARE(tabs()->count(), 5);
    }

    void baseReloadOnlyComplains()
    {
        TabViewSwitchController plain;
        plain.reloadData();
        QCOMPARE(
            m_env->stdoutLines(), std::vector<std::string>{ "You have to implement reloadData method in sub class" });
    }

    void screenOutsideAContainerDoesNothing()
    {
        gui::OverviewViewController loose;
        loose.setTabIdentifier(u"systemJunkOverview"_s);
        QCOMPARE(loose.getTabWithIndentifier(u"applicationJunkOverview"_s), 0);
        loose.switchToTwinTab();
        loose.reloadTwinTabData();
        loose.reloadAllTabData();
        QCOMPARE(TabViewSwitchController::vcDict().size(), 4U);
    }

    void screensLoadTheirViewWhenFirstShown()
    {
        QVERIFY(!child(1)->isViewLoaded());
        m_root->resize(900, 600);
        m_root->show();
        QVERIFY(child(0)->isViewLoaded());
        QVERIFY(!child(1)->isViewLoaded());
        m_root->switchTabTo(u"systemJunkOverview"_s);
        QVERIFY(child(1)->isViewLoaded());
        QCOMPARE(titleShown(child(1)), u"System Junk"_s);
        QVERIFY(child(1)->isVisible());
        QVERIFY(!child(0)->isVisible());
    }
};

} // namespace

SPRUCE_GUI_TEST(NavigationTest)
#include "NavigationTest.moc"
