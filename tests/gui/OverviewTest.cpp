// SPDX-License-Identifier: GPL-3.0-or-later
// The overview screen: the scan button's states, the progress texts, the
// switch to the detail screen, and scans refused while the module is busy.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "format/Format.h"
#include "platform/LinkOpener.h"
#include "ui/CategoryDD.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/FeatureDD.h"
#include "ui/ModuleActivity.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using gui::ModuleActivity;

namespace {

std::int64_t junkTotal()
{
    std::int64_t total = 0;
    for (const auto &entry : gui_tests::ReviewEnvironment::junk()) {
        total += entry.second;
    }
    return total;
}

class OverviewTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::ReviewEnvironment> m_env;
    std::unique_ptr<gui::LinkOpener> m_links;
    std::unique_ptr<gui::ViewController> m_root;
    gui::OverviewViewController *m_overview = nullptr;

    gui::SlideStack *tabs() const { return m_root->getTabViewController(); }
    gui::DetailViewController *detail() const { return qobject_cast<gui::DetailViewController *>(tabs()->widget(2)); }
    bool scanFinished() const
    {
        return gui_tests::waitFor([this] {
            return m_overview->scanStatus() == 1 && !ModuleActivity::instance().isBusy(1);
        });
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<gui_tests::ReviewEnvironment>();
        m_links = std::make_unique<gui::LinkOpener>(gui_tests::RecordingOpener().function());
        m_root = std::make_unique<gui::ViewController>(m_links.get());
        tabs()->setAnimationDuration(0);
        m_root->resize(1000, 680);
        m_root->show();
        m_root->switchTabTo(u"systemJunkOverview"_s);
        m_overview = qobject_cast<gui::OverviewViewController *>(tabs()->widget(1));
        QVERIFY(m_overview->isViewLoaded());
    }
    void cleanup()
    {
        QVERIFY(gui_tests::waitUntilIdle(1));
        m_root.reset();
        m_env.reset();
    }

    void percentTitles_data()
    {
        QTest::addColumn<float>("fraction");
        QTest::addColumn<QString>("title");
        QTest::newRow("0.999 is not yet 100") << 0.999F << u"99%"_s;
        QTest::newRow("1.0") << 1.0F << u"100%"_s;
        QTest::newRow("a third") << (1.0F / 3.0F) << u"33%"_s;
    }
    void percentTitles()
    {
        QFETCH(float, fraction);
        QFETCH(QString, title);
        QCOMPARE(gui::OverviewViewController::percentTitle(fraction), title);
        m_overview->showPercent(fraction);
        QCOMPARE(m_overview->scanBTN()->text(), title);
        QCOMPARE(m_overview->scanProgress()->value(), qRound(fraction * 1000));
    }

    void idleScreenShowsTheModule()
    {
        QCOMPARE(m_overview->overviewTitle()->text(), u"System Junk"_s);
        QCOMPARE(m_overview->overviewDescription()->text(), u"About System Junk"_s);
        QVERIFY(!m_overview->overviewImage()->pixmap().isNull());
        QCOMPARE(m_overview->featureDD()->rowCount(), 2);
        QCOMPARE(m_overview->featureView()->sizeHintForRow(0), gui::FeatureDD::RowHeight);
        QCOMPARE(m_overview->scanBTN()->text(), u"Scan"_s);
        QVERIFY(m_overview->scanBTN()->isEnabled());
        QVERIFY(m_overview->rescanBTN()->isHidden());
        QCOMPARE(m_overview->scanStatus(), 0);
    }

    void progressAddsSizesAndAnEmptyPathKeepsTheLabel()
    {
        m_overview->progress("/home/ann/.cache/fonts", 1000);
        m_overview->progress("", 2500);
        QCOMPARE(m_overview->pathLabel()->text(), u"/home/ann/.cache/fonts"_s);
        QTest::qWait(100); // past the label's refresh interval
        m_overview->progress("", 500);
        QCOMPARE(m_overview->pathLabel()->text(), u"/home/ann/.cache/fonts"_s);
        QCOMPARE(m_overview->totalScanSize(), 4000);
        // Reports in a burst: the label catches up with the latest path within its interval.
        m_overview->progress("/home/ann/.cache/a", 0);
        m_overview->progress("/home/ann/.cache/b", 0);
        m_overview->progress("/home/ann/.cache/c", 0);
        QTRY_COMPARE(m_overview->pathLabel()->text(), u"/home/ann/.cache/c"_s);
    }

    void aScanEndsOnTheDetailScreenThenReviewOnlyShowsItAndReScanStartsFromZero()
    {
        QTest::mouseClick(m_overview->scanBTN(), Qt::LeftButton);
        QVERIFY(!m_overview->scanBTN()->isEnabled());
        QVERIFY(m_overview->rescanBTN()->isHidden());
        QVERIFY(ModuleActivity::instance().isBusy(1));
        QVERIFY(scanFinished());
        QCOMPARE(m_overview->totalScanSize(), junkTotal());
        QCOMPARE(m_overview->pathLabel()->text(),
            u"Scanning Completed! "_s + QString::fromStdString(core::format::formatByteCount(junkTotal()))
                + u" Files Found"_s);
        QCOMPARE(m_overview->scanProgress()->value(), 1000);
        // The detail screen came by itself, with the results.
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 2);
        QCOMPARE(detail()->categoryDD()->rowCount(), 3);
        QCOMPARE(detail()->detailDD()->rowCount(), 3); // the three entries of ~/.cache

        detail()->backButton()->click();
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 1);
        QCOMPARE(m_overview->scanBTN()->text(), u"Review"_s);
        QVERIFY(m_overview->scanBTN()->isEnabled());
        QCOMPARE(m_overview->rescanBTN()->text(), u"Re-Scan"_s);
        QVERIFY(m_overview->rescanBTN()->isVisible());

        core::ModuleInfo::modules()[1].categories[0].size = 42; // a scan would overwrite it
        m_overview->scanBTN()->click();
        QVERIFY(!ModuleActivity::instance().isBusy(1));
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 2);
        QCOMPARE(core::ModuleInfo::modules()[1].categories[0].size, 42);

        m_root->switchTabTo(u"systemJunkOverview"_s);
        m_overview->rescanBTN()->click();
        QCOMPARE(m_overview->totalScanSize(), 0);
        QCOMPARE(m_overview->scanStatus(), 0);
        QVERIFY(m_overview->rescanBTN()->isHidden());
        QVERIFY(scanFinished());
        QCOMPARE(m_overview->totalScanSize(), junkTotal()); // not added to the first scan's

        // While a clean runs "Re-Scan" waits for it; "Review" only changes screens.
        QVERIFY(ModuleActivity::instance().clean(1, nullptr, nullptr, nullptr, {}));
        QVERIFY(!m_overview->rescanBTN()->isEnabled());
        QVERIFY(m_overview->scanBTN()->isEnabled());
        QVERIFY(gui_tests::waitUntilIdle(1));
        QVERIFY(m_overview->rescanBTN()->isEnabled());
    }

    void aBusyModuleCannotBeScannedAgain()
    {
        QVERIFY(ModuleActivity::instance().scan(1, nullptr, nullptr, nullptr));
        // Started elsewhere (the dashboard): this screen cannot start another.
        QVERIFY(!m_overview->scanBTN()->isEnabled());
        m_overview->scan();
        QVERIFY(!ModuleActivity::instance().scan(1, nullptr, nullptr, nullptr));
        QCOMPARE(m_overview->scanStatus(), 0);
        QVERIFY(gui_tests::waitUntilIdle(1));
        QVERIFY(m_overview->scanBTN()->isEnabled());
        QCOMPARE(m_overview->scanBTN()->text(), u"Scan"_s);
        // Another module is not held up by this one.
        QVERIFY(!ModuleActivity::instance().isBusy(2));
    }

    void aScanEndingElsewhereDoesNotPullThePersonAway()
    {
        m_overview->scan();
        m_root->switchTabTo(u"dashboard"_s);
        QVERIFY(scanFinished());
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 0);
        QCOMPARE(m_overview->scanBTN()->text(), u"Review"_s);
    }
};

} // namespace

SPRUCE_GUI_TEST(OverviewTest)
#include "OverviewTest.moc"
