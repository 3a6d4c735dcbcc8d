// SPDX-License-Identifier: GPL-3.0-or-later
// The whole review road on a real X server (Xvfb; see tests/gui/xvfb_test.sh)
// and a home made here: choose System Junk with the mouse, "Scan", the
// detail screen comes; select the Reports category, take one child out,
// "Clean", "Confirm" in the real dialog. Afterwards exactly the files not
// selected are on disk and the label shows the bytes really removed.
// Offscreen it skips: the keyboard test covers the same road there.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "format/Format.h"
#include "platform/UserDefaults.h"
#include "ui/AppDelegate.h"
#include "ui/CategoryDD.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/MainWindow.h"
#include "ui/ModuleActivity.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

void click(QAbstractItemView *view, const QPoint &at)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
}

class ReviewEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"xcb"_s) {
            QSKIP("needs an X server: run tests/gui/xvfb_test.sh (Xvfb)");
        }
    }

    void scanSelectCleanConfirm()
    {
        gui_tests::ReviewEnvironment env;
        QTemporaryDir config;
        gui::UserDefaults defaults(config.filePath(u"Spruce.ini"_s));
        defaults.setBool(u"HasLaunchedOnce"_s, true);
        gui_tests::RecordingOpener opener;
        gui::AppDelegate delegate(gui::AppDelegateOptions{ opener.function(), &defaults, gui::StatusItemMode::Never });
        gui::MainWindow window(delegate);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        gui::ViewController *root = window.viewController();

        click(root->moduleView(), root->moduleView()->visualRect(root->moduleModel()->index(1, 0)).center());
        auto *overview = qobject_cast<gui::OverviewViewController *>(root->getTabViewController()->widget(1));
        QVERIFY(gui_tests::waitFor([overview] {
            return overview->scanBTN()->isVisible();
        }));
        QTest::mouseClick(overview->scanBTN(), Qt::LeftButton);
        QVERIFY(gui_tests::waitFor([overview] {
            return overview->scanStatus() == 1;
        }));
        auto *detail = qobject_cast<gui::DetailViewController *>(root->getTabViewController()->widget(2));
        QVERIFY(gui_tests::waitFor([detail] {
            return detail->isVisible() && detail->categoryView()->isVisible();
        }));
        QTest::qWait(400); // the slide

        // The Reports box, then open "app" and take crash-1.dmp out.
        QListView *categories = detail->categoryView();
        click(categories,
            gui::CategoryCellView::checkRect(categories->visualRect(detail->categoryDD()->index(1, 0))).center());
        QCOMPARE(detail->categoryRow(), 1);
        QTreeView *files = detail->detailView();
        const QModelIndex app = detail->detailDD()->index(0, 0);
        const QRect appRow = files->visualRect(app);
        click(files, QPoint(appRow.left() - files->indentation() / 2, appRow.center().y())); // its arrow
        QVERIFY(files->isExpanded(app));
        const QModelIndex crash1 = detail->detailDD()->index(0, 0, app);
        click(files, gui::DetailCellView::checkRect(files->visualRect(crash1)).center());
        QCOMPARE(core::ModuleInfo::modules()[1].categories[1].state, -1);

        // The real dialog, answered with the mouse.
        QString asked;
        QTimer::singleShot(0, [&asked] {
            QVERIFY(gui_tests::waitFor([] {
                return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr;
            }));
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            asked = box->text();
            QCOMPARE(box->defaultButton()->text(), u"Cancel"_s);
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == u"Confirm"_s) {
                    QTest::qWait(100);
                    QTest::mouseClick(button, Qt::LeftButton);
                }
            }
        });
        QTest::mouseClick(detail->cleanButton(), Qt::LeftButton);
        QCOMPARE(asked, u"Confirmation?"_s);
        QVERIFY(gui_tests::waitUntilIdle(1));

        QCOMPARE(env.remaining(),
            (std::vector<std::string>{ ".cache/browser/cache2/blob",
                ".cache/fonts/a.cache",
                ".cache/thumbs.db",
                "old.log",
                "reports/app/crash-1.dmp" }));
        // crash-2.dmp (5 000 bytes) and the whole "web" folder (700).
        QCOMPARE(detail->cleanSize(), 5700);
        QCOMPARE(detail->progressLabel()->text(),
            QString::fromStdString(core::format::formatByteCount(5700)) + u" Free Up"_s);
        QVERIFY(detail->progressLabel()->isVisible());
        // What is left is shown: "app" with crash-1.dmp only.
        QCOMPARE(detail->detailDD()->rowCount(), 1);
        QCOMPARE(detail->detailDD()->rowCount(detail->detailDD()->index(0, 0)), 1);
    }
};

} // namespace

SPRUCE_GUI_TEST(ReviewEndToEndTest)
#include "ReviewEndToEndTest.moc"
