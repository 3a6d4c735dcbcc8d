// SPDX-License-Identifier: GPL-3.0-or-later
// The review screens used from the keyboard alone, and read through the
// accessibility interfaces, as a screen-reader user goes through them:
// choose System Junk, "Scan", move to a file and toggle its box with Space,
// "Clean", answer the dialog. (tests/gui/atspi_review.py drives the real
// application the same way over AT-SPI.)

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "platform/LinkOpener.h"
#include "ui/CategoryDD.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/ModuleActivity.h"
#include "ui/ModuleListView.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::StringLiterals;
using gui::ModuleActivity;

namespace {

QString accessibleName(QObject *object)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(object);
    return face != nullptr ? face->text(QAccessible::Name) : QString();
}

/// The accessible cell of `view` whose name starts with `index`'s text, as an assistive tool finds it.
QAccessibleInterface *cellOf(QAbstractItemView *view, const QModelIndex &index)
{
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(view);
    for (int i = 0; table != nullptr && i < table->childCount(); ++i) {
        QAccessibleInterface *cell = table->child(i);
        if (cell != nullptr && cell->text(QAccessible::Name).startsWith(index.data().toString())) {
            return cell;
        }
    }
    return nullptr;
}

class ReviewKeyboardTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::ReviewEnvironment> m_env;
    std::unique_ptr<gui::LinkOpener> m_links;
    std::unique_ptr<gui::ViewController> m_root;

    gui::SlideStack *tabs() const { return m_root->getTabViewController(); }

    /// Presses Tab until `target` has the focus; false after 20 presses.
    static bool tabTo(QWidget *target)
    {
        for (int i = 0; i < 20 && QApplication::focusWidget() != target; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return QApplication::focusWidget() == target;
    }
    /// A key to the focused control (after a dialog closed, the window's own, made active again).
    void key(Qt::Key k) const
    {
        QWidget *target = QApplication::focusWidget();
        if (target == nullptr) {
            QApplication::setActiveWindow(m_root.get());
            target = m_root->focusWidget();
        }
        QVERIFY(target);
        QTest::keyClick(target, k);
    }

    /// Answers the next modal dialog with keys, once it is up.
    static void answerDialogWith(const std::vector<Qt::Key> &keys, QString *text)
    {
        // Should the keys miss, the dialog is closed (Cancel) rather than left waiting.
        QTimer::singleShot(15000, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                box->reject();
            }
        });
        QTimer::singleShot(0, [keys, text] {
            QVERIFY(gui_tests::waitFor([] {
                return QApplication::activeModalWidget() != nullptr;
            }));
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QApplication::setActiveWindow(box);
            QVERIFY(QTest::qWaitForWindowActive(box));
            *text = accessibleName(box) + u" | "_s + box->text() + u" | "_s + box->informativeText() + u" | "_s
                + accessibleName(box->focusWidget());
            for (Qt::Key k : keys) {
                QTest::keyClick(box->focusWidget() != nullptr ? box->focusWidget() : box, k);
            }
        });
    }

private Q_SLOTS:
    void init()
    {
        QAccessible::setActive(true);
        m_env = std::make_unique<gui_tests::ReviewEnvironment>();
        m_links = std::make_unique<gui::LinkOpener>(gui_tests::RecordingOpener().function());
        m_root = std::make_unique<gui::ViewController>(m_links.get());
        tabs()->setAnimationDuration(0);
        m_root->resize(1000, 680);
        m_root->show();
        QApplication::setActiveWindow(m_root.get());
        QVERIFY(QTest::qWaitForWindowActive(m_root.get()));
    }
    void cleanup()
    {
        QVERIFY(gui_tests::waitUntilIdle(1));
        m_root.reset();
        m_env.reset();
    }

    void scanReviewAndCleanWithoutAMouse()
    {
        // The module list: Down moves to System Junk and shows its overview.
        m_root->moduleView()->setFocus();
        key(Qt::Key_Down);
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 1);
        auto *overview = qobject_cast<gui::OverviewViewController *>(tabs()->widget(1));
        QCOMPARE(accessibleName(overview->scanBTN()), u"Scan"_s);
        QCOMPARE(accessibleName(overview->scanProgress()), u"Scan progress"_s);

        QVERIFY(tabTo(overview->scanBTN()));
        key(Qt::Key_Return);
        QVERIFY(gui_tests::waitFor([overview] {
            return overview->scanStatus() == 1;
        }));

        // The detail screen comes with the focus in the category list.
        auto *detail = qobject_cast<gui::DetailViewController *>(tabs()->widget(2));
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 2);
        QCOMPARE(QApplication::focusWidget(), detail->categoryView());
        QCOMPARE(accessibleName(detail->categoryView()), u"Categories"_s);
        QCOMPARE(accessibleName(detail->cleanButton()), u"Clean"_s);
        QCOMPARE(accessibleName(detail->backButton()), u"Back"_s);
        QCOMPARE(accessibleName(detail->sortByButton()), u"Sort By"_s);
        QCOMPARE(accessibleName(detail->searchField()), u"Search files"_s);

        // Down to "Reports", Space selects all of it.
        key(Qt::Key_Down);
        QCOMPARE(detail->categoryRow(), 1);
        key(Qt::Key_Space);
        QCOMPARE(core::ModuleInfo::modules()[1].categories[1].state, 1);

        // Into the files: the first one, opened with Right; Down to its second child; Space.
        QVERIFY(tabTo(detail->detailView()));
        QCOMPARE(accessibleName(detail->detailView()), u"Files"_s);
        QTreeView *files = detail->detailView();
        files->setCurrentIndex(detail->detailDD()->index(0, 0));
        key(Qt::Key_Right);
        key(Qt::Key_Down);
        key(Qt::Key_Down);
        const QModelIndex crash2 = detail->detailDD()->index(1, 0, detail->detailDD()->index(0, 0));
        QCOMPARE(files->currentIndex().siblingAtColumn(0), crash2);
        key(Qt::Key_Space);
        QCOMPARE(crash2.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
        QAccessibleInterface *appCell = cellOf(files, detail->detailDD()->index(0, 0));
        QVERIFY(appCell);
        // Qt's item-view cells have no mixed state of their own: the description says it.
        QVERIFY(appCell->text(QAccessible::Description).startsWith(u"partly selected"_s));
        QVERIFY(cellOf(detail->categoryView(), detail->categoryDD()->index(1, 0))
                    ->text(QAccessible::Description)
                    .startsWith(u"partly selected"_s));

        // "Clean": Escape answers Cancel (the default), nothing happens.
        QVERIFY(tabTo(detail->cleanButton()));
        QString dialog;
        answerDialogWith({ Qt::Key_Escape }, &dialog);
        key(Qt::Key_Return);
        QCOMPARE(dialog,
            u"Clean | Confirmation? | Are you sure to delete selected files?\n\n2 items, 3.7 kB, will be deleted "
            u"for good. They cannot be restored. | Cancel"_s);
        QVERIFY(!ModuleActivity::instance().isBusy(1));
        QCOMPARE(m_env->remaining().size(), gui_tests::ReviewEnvironment::junk().size());

        // Again, Tab to "Confirm" and Return.
        answerDialogWith({ Qt::Key_Tab, Qt::Key_Return }, &dialog);
        key(Qt::Key_Return);
        QVERIFY(gui_tests::waitUntilIdle(1));
        QCOMPARE(m_env->remaining(),
            (std::vector<std::string>{ ".cache/browser/cache2/blob",
                ".cache/fonts/a.cache",
                ".cache/thumbs.db",
                "old.log",
                "reports/app/crash-2.dmp" }));
        QCOMPARE(detail->progressLabel()->text(), u"3.7 kB Free Up"_s); // crash-1 3 000 + report.txt 700
    }
};

} // namespace

SPRUCE_GUI_TEST(ReviewKeyboardTest)
#include "ReviewKeyboardTest.moc"
