// SPDX-License-Identifier: GPL-3.0-or-later
// The detail screen: categories and files, the sort menu, selection from
// the boxes, cleaning after the confirmation, what a clean reports.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "format/FileUrl.h"
#include "format/Format.h"
#include "platform/LinkOpener.h"
#include "ui/CategoryDD.h"
#include "ui/CleanReport.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/ModuleActivity.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>
#include <fstream>

using namespace Qt::StringLiterals;
using gui::ModuleActivity;

namespace {

constexpr int Caches = 0;
constexpr int Reports = 1;
constexpr int Logs = 2;

class DetailTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::ReviewEnvironment> m_env;
    std::unique_ptr<gui::LinkOpener> m_links;
    std::unique_ptr<gui::ViewController> m_root;
    gui::DetailViewController *m_detail = nullptr;
    int m_asked = 0;
    bool m_answer = true;

    gui::SlideStack *tabs() const { return m_root->getTabViewController(); }
    gui::DetailDD *files() const { return m_detail->detailDD(); }
    gui::CategoryDD *categories() const { return m_detail->categoryDD(); }

    /// Scans System Junk from its overview and waits for the detail screen.
    void scan()
    {
        m_root->switchTabTo(u"systemJunkOverview"_s);
        auto *overview = qobject_cast<gui::OverviewViewController *>(tabs()->widget(1));
        overview->scan();
        QVERIFY(gui_tests::waitFor([overview] {
            return overview->scanStatus() == 1;
        }));
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 2);
    }
    void showCategory(int row)
    {
        m_detail->categoryView()->setCurrentIndex(categories()->index(row, 0));
        QCOMPARE(m_detail->categoryRow(), row);
    }
    QStringList shownNames() const
    {
        QStringList names;
        for (int row = 0; row < files()->rowCount(); ++row) {
            names << files()->index(row, 0).data().toString();
        }
        return names;
    }
    QAction *sortItem(const QString &title) const
    {
        for (QAction *item : m_detail->sortMenu()->actions()) {
            if (item->text() == title) {
                return item;
            }
        }
        return nullptr;
    }
    QStringList marked() const
    {
        QStringList titles;
        for (QAction *item : m_detail->sortMenu()->actions()) {
            if (item->isChecked()) {
                titles << item->text();
            }
        }
        return titles;
    }
    void pick(const QString &title) { sortItem(title)->trigger(); }
    bool cleanAndWait()
    {
        m_detail->cleanButton()->click();
        return gui_tests::waitUntilIdle(1);
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
        m_detail = qobject_cast<gui::DetailViewController *>(tabs()->widget(2));
        m_asked = 0;
        m_answer = true;
        m_detail->setConfirmer([this](QWidget *, const gui::DetailViewController::CleanQuestion &) {
            ++m_asked;
            return m_answer;
        });
        scan();
    }
    void cleanup()
    {
        QVERIFY(gui_tests::waitUntilIdle(1));
        m_root.reset();
        m_env.reset();
    }

    void screenShowsTheScanResults()
    {
        QCOMPARE(categories()->rowCount(), 3);
        QCOMPARE(m_detail->categoryView()->sizeHintForRow(0), gui::CategoryDD::RowHeight);
        QCOMPARE(m_detail->detailView()->sizeHintForRow(0), 46);
        QCOMPARE(categories()->index(Reports, 0).data(gui::CategoryDD::SizeRole).toLongLong(), 8700);
        QCOMPARE(m_detail->categoryView()->currentIndex().row(), 0);
        showCategory(Reports);
        QCOMPARE(shownNames(), (QStringList{ u"app"_s, u"web"_s }));
        QCOMPARE(files()->rowCount(files()->index(0, 0)), 2);
        QCOMPARE(m_detail->detailFiles()->size(), 2U);
        // The shown category survives a reload.
        showCategory(Logs);
        m_detail->reloadData();
        QCOMPARE(m_detail->categoryRow(), Logs);
        QCOMPARE(m_detail->categoryView()->currentIndex().row(), Logs);
        QCOMPARE(shownNames(),
            QStringList{ u"old.log"_s }); // The category column fits a long title, up to two fifths of the screen.
        core::ModuleInfo::modules()[1].categories[Logs].title = "Unchanged for over a Year, and a few words more";
        m_detail->reloadData();
        QListView *list = m_detail->categoryView();
        const int needed = qobject_cast<gui::CategoryCellView *>(list->itemDelegate())->widthFor(*categories());
        QVERIFY(list->width() >= std::min(needed, m_detail->width() * 2 / 5));
        QVERIFY(list->width() <= std::max(300, m_detail->width() * 2 / 5));
        QVERIFY(categories()
                    ->index(Logs, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(u"Unchanged for over a Year, and a few words more\n"_s));
    }

    void sortMenuSequences()
    {
        showCategory(Caches); // browser 4000, fonts 1000, thumbs.db 2500
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"fonts"_s, u"thumbs.db"_s }));
        // Only a direction is marked at first: picking another only moves the mark.
        QCOMPARE(marked(), QStringList{ u"Ascending"_s });
        pick(u"Descending"_s);
        QCOMPARE(marked(), QStringList{ u"Descending"_s });
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"fonts"_s, u"thumbs.db"_s }));
        // A key with a direction marked sorts at once.
        pick(u"Size"_s);
        QCOMPARE(marked(), (QStringList{ u"Size"_s, u"Descending"_s }));
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"thumbs.db"_s, u"fonts"_s }));
        pick(u"Ascending"_s);
        QCOMPARE(marked(), (QStringList{ u"Size"_s, u"Ascending"_s }));
        QCOMPARE(shownNames(), (QStringList{ u"fonts"_s, u"thumbs.db"_s, u"browser"_s }));
        pick(u"Date"_s);
        QCOMPARE(marked(), (QStringList{ u"Date"_s, u"Ascending"_s }));
        QCOMPARE(shownNames(), (QStringList{ u"fonts"_s, u"browser"_s, u"thumbs.db"_s })); // oldest first
        pick(u"Name"_s);
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"fonts"_s, u"thumbs.db"_s }));
        // Picking the marked item again keeps it marked.
        pick(u"Name"_s);
        QCOMPARE(marked(), (QStringList{ u"Name"_s, u"Ascending"_s }));
        // Sizes start largest first.
        pick(u"Size"_s);
        QCOMPARE(marked(), (QStringList{ u"Size"_s, u"Descending"_s }));
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"thumbs.db"_s, u"fonts"_s }));
        QCOMPARE(m_detail->sortByButton()->accessibleDescription(), u"Sorted by size, largest first"_s);
        // The actions are known by their tags: a retitled menu sorts the same.
        for (QAction *item : m_detail->sortMenu()->actions()) {
            item->setText(item->text().toUpper());
        }
        m_detail->sortFunction(sortItem(u"ASCENDING"_s));
        QCOMPARE(shownNames(), (QStringList{ u"fonts"_s, u"thumbs.db"_s, u"browser"_s }));
    }

    void headerClicksSortAndTheOrderOutlivesAReload()
    {
        showCategory(Caches);
        QHeaderView *header = m_detail->detailView()->header();
        const auto click = [header](int column) {
            QTest::mouseClick(header->viewport(),
                Qt::LeftButton,
                Qt::NoModifier,
                QPoint(
                    header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
        };
        click(gui::DetailDD::SizeColumn);
        QCOMPARE(marked(), (QStringList{ u"Size"_s, u"Descending"_s }));
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"thumbs.db"_s, u"fonts"_s }));
        QCOMPARE(header->sortIndicatorSection(), int(gui::DetailDD::SizeColumn));
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        click(gui::DetailDD::SizeColumn);
        QCOMPARE(marked(), (QStringList{ u"Size"_s, u"Ascending"_s }));
        QCOMPARE(shownNames(), (QStringList{ u"fonts"_s, u"thumbs.db"_s, u"browser"_s }));
        click(gui::DetailDD::DateColumn);
        QCOMPARE(marked(), (QStringList{ u"Date"_s, u"Ascending"_s }));
        QCOMPARE(shownNames(), (QStringList{ u"fonts"_s, u"browser"_s, u"thumbs.db"_s }));
        // What the menu marks is what is shown: after a reload, a search, another category.
        m_detail->reloadData();
        QCOMPARE(shownNames(), (QStringList{ u"fonts"_s, u"browser"_s, u"thumbs.db"_s }));
        QTest::keyClicks(m_detail->searchField(), u"s"_s);
        QCOMPARE(shownNames(), (QStringList{ u"fonts"_s, u"browser"_s, u"thumbs.db"_s }));
        click(gui::DetailDD::NameColumn);
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"fonts"_s, u"thumbs.db"_s }));
        click(gui::DetailDD::NameColumn);
        QCOMPARE(shownNames(), (QStringList{ u"thumbs.db"_s, u"fonts"_s, u"browser"_s }));
        m_detail->searchField()->clear();
        showCategory(Reports);
        QCOMPARE(shownNames(), (QStringList{ u"web"_s, u"app"_s }));
    }

    void theSearchFieldFilters()
    {
        QTest::keyClicks(m_detail->searchField(), u"FONT"_s);
        QCOMPARE(shownNames(), QStringList{ u"fonts"_s });
        QVERIFY(m_detail->noMatchLabel()->isHidden());
        QTest::keyClicks(m_detail->searchField(), u"zz"_s);
        QCOMPARE(shownNames(), QStringList());
        QVERIFY(m_detail->noMatchLabel()->isVisible());
        QCOMPARE(m_detail->noMatchLabel()->text(), u"No matches"_s);
        QCOMPARE(m_detail->detailView()->accessibleDescription(), u"No matches"_s);
        m_detail->searchField()->clear();
        QVERIFY(m_detail->noMatchLabel()->isHidden());
        QCOMPARE(shownNames(), (QStringList{ u"browser"_s, u"fonts"_s, u"thumbs.db"_s }));
    }

    void theBoxesOfACategoryAndOfAFileSelectWithTheMouse()
    {
        showCategory(Caches);
        const QRect row = m_detail->categoryView()->visualRect(categories()->index(Reports, 0));
        QTest::mouseClick(
            m_detail->categoryView()->viewport(), Qt::LeftButton, {}, gui::CategoryCellView::checkRect(row).center());
        QCOMPARE(core::ModuleInfo::modules()[1].categories[Reports].state, 1);
        QCOMPARE(m_detail->categoryRow(), Reports);
        QCOMPARE(m_detail->categoryView()->currentIndex().row(), Reports);
        QCOMPARE(shownNames(), (QStringList{ u"app"_s, u"web"_s }));
        QCOMPARE(files()->index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        QCOMPARE(
            files()->index(1, 0, files()->index(0, 0)).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);

        // A file's box updates its folder and its category row.
        m_detail->detailView()->expandAll();
        const QModelIndex crash2 = files()->index(1, 0, files()->index(0, 0));
        const QRect rect = m_detail->detailView()->visualRect(crash2);
        QTest::mouseClick(
            m_detail->detailView()->viewport(), Qt::LeftButton, {}, gui::DetailCellView::checkRect(rect).center());
        QCOMPARE(
            categories()->index(Reports, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::PartiallyChecked);
        QCOMPARE(files()->index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::PartiallyChecked);
        // A click beside the box selects the row and changes nothing.
        QTest::mouseClick(m_detail->detailView()->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(crash2.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    }

    void freeUpCountsWhatWasRemovedAndTheSelectionIsTheOneConfirmed()
    {
        // fonts (1 000 bytes) and thumbs.db (2 500 bytes), not browser.
        showCategory(Caches);
        files()->setData(files()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        files()->setData(files()->index(2, 0), Qt::Checked, Qt::CheckStateRole);
        QVERIFY(cleanAndWait());
        QCOMPARE(m_asked, 1);
        QCOMPARE(m_detail->cleanSize(), 3500);
        QCOMPARE(m_detail->progressLabel()->text(), u"3.5 kB Free Up"_s);
        QVERIFY(!m_env->exists(".cache/fonts"));
        QVERIFY(!m_env->exists(".cache/thumbs.db"));
        QVERIFY(m_env->exists(".cache/browser/cache2/blob"));
        // The tables show what is left.
        QCOMPARE(shownNames(), QStringList{ u"browser"_s });
        QCOMPARE(categories()->index(Caches, 0).data(gui::CategoryDD::SizeRole).toLongLong(), 4000);
        QVERIFY(m_detail->failureView()->isHidden());
        // Another clean: the selection is the one confirmed, and its own bytes are counted.
        showCategory(Reports);
        categories()->setData(categories()->index(Reports, 0), Qt::Checked, Qt::CheckStateRole);
        m_detail->cleanButton()->click();
        // While the clean runs nothing can be changed or started again.
        QVERIFY(ModuleActivity::instance().isBusy(1));
        QVERIFY(!m_detail->cleanButton()->isEnabled());
        QVERIFY(!files()->setData(files()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!categories()->setData(categories()->index(Logs, 0), Qt::Checked, Qt::CheckStateRole));
        m_detail->clean();
        QCOMPARE(m_asked, 2);
        QVERIFY(gui_tests::waitUntilIdle(1));
        // Everything selected went: nothing is left to clean.
        QVERIFY(!m_detail->cleanButton()->isEnabled());
        QCOMPARE(m_detail->selectionLabel()->text(), u"Nothing selected"_s);
        QCOMPARE(m_env->remaining(), (std::vector<std::string>{ ".cache/browser/cache2/blob", "old.log" }));
        QCOMPARE(m_detail->cleanSize(), 8700);
    }

    void anItemThatCannotGoIsReportedAndNotCounted()
    {
        showCategory(Caches);
        categories()->setData(categories()->index(Caches, 0), Qt::Checked, Qt::CheckStateRole);
        // thumbs.db turned into a folder after the scan: the cleaner refuses to touch it.
        std::filesystem::remove(m_env->path(".cache/thumbs.db"));
        std::filesystem::create_directory(m_env->path(".cache/thumbs.db"));
        QVERIFY(cleanAndWait());
        QCOMPARE(m_detail->cleanSize(), 5000); // fonts and browser only
        QCOMPARE(m_detail->cleanReport()->rowCount(), 1);
        QCOMPARE(m_detail->cleanReport()->failures()[0].path.toStdString(), m_env->path(".cache/thumbs.db"));
        QVERIFY(!m_detail->cleanReport()->failures()[0].reason.isEmpty());
        QVERIFY(m_detail->failureView()->isVisible());
        QCOMPARE(m_detail->failureLabel()->text(), u"1 item could not be deleted"_s);
        QCOMPARE(shownNames(), QStringList{ u"thumbs.db"_s });
        // What is shown is the clean's own tally.
        QVERIFY(m_detail->lastTally() != nullptr);
        QCOMPARE(m_detail->lastTally()->gone(), 2U);
        QCOMPARE(m_detail->lastTally()->failed.size(), 1U);
        QCOMPARE(m_detail->cleanSize(), m_detail->lastTally()->freed);
        // Long reasons wrap rather than hide behind a scroll bar.
        QVERIFY(m_detail->failureView()->wordWrap());
        QCOMPARE(m_detail->failureView()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        // The next clean starts with an empty report.
        m_answer = false;
        m_detail->cleanButton()->click();
        QCOMPARE(m_detail->cleanReport()->rowCount(), 1);
        m_answer = true;
        files()->setData(files()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
        categories()->setData(categories()->index(Logs, 0), Qt::Checked, Qt::CheckStateRole);
        QVERIFY(cleanAndWait());
        QVERIFY(!m_env->exists("old.log"));
        QCOMPARE(m_detail->cleanReport()->rowCount(), 0);
        QVERIFY(m_detail->failureView()->isHidden());
    }

    void aReviewOnlyCategoryCannotBeTicked()
    {
        core::ModuleInfo::modules()[1].categories[Logs].kind = core::CategoryKind::Localization;
        m_detail->reloadData();
        const QModelIndex logs = categories()->index(Logs, 0);
        QVERIFY(!logs.flags().testFlag(Qt::ItemIsUserCheckable));
        QVERIFY(!categories()->setData(logs, Qt::Checked, Qt::CheckStateRole));
        QVERIFY(logs.data(Qt::ToolTipRole).toString().contains(gui::CategoryDD::reviewOnlyReason()));
        QVERIFY(logs.data(Qt::AccessibleDescriptionRole).toString().contains(gui::CategoryDD::reviewOnlyReason()));
        showCategory(Logs);
        QVERIFY(!files()->index(0, 0).flags().testFlag(Qt::ItemIsUserCheckable));
        QVERIFY(!files()->setData(files()->index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(!m_detail->cleanButton()->isEnabled());
        // Selected all the same (a catalogue's default): named in the report, never deleted, never counted.
        core::ModuleInfo::modules()[1].categories[Logs].state = 1;
        m_detail->reloadData();
        QCOMPARE(m_detail->selectionLabel()->text(), u"Nothing selected"_s);
        QVERIFY(!m_detail->cleanButton()->isEnabled());
        categories()->setData(categories()->index(Caches, 0), Qt::Checked, Qt::CheckStateRole);
        QVERIFY(cleanAndWait());
        QVERIFY(m_env->exists("old.log"));
        QCOMPARE(m_detail->cleanReport()->rowCount(), 1);
        QCOMPARE(m_detail->cleanReport()->index(0, 0).data().toString(),
            u"Logs: for review only; nothing is deleted from it"_s);
        QCOMPARE(m_detail->cleanSize(), 7500);
    }

    void cleanWaitsForASelectionAndSaysWhatItIsAbout()
    {
        // Nothing selected: nothing to ask about.
        QCOMPARE(m_detail->selectionLabel()->text(), u"Nothing selected"_s);
        QVERIFY(!m_detail->cleanButton()->isEnabled());
        QCOMPARE(m_detail->cleanButton()->toolTip(), u"Select the files to clean first"_s);
        m_detail->clean();
        QCOMPARE(m_asked, 0);
        // The label follows every box, a file listed once however it is reached.
        showCategory(Caches);
        files()->setData(files()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        QCOMPARE(m_detail->selectionLabel()->text(), u"1 item, 1.0 kB selected"_s);
        QVERIFY(m_detail->cleanButton()->isEnabled());
        categories()->setData(categories()->index(Reports, 0), Qt::Checked, Qt::CheckStateRole);
        QCOMPARE(m_detail->selectionLabel()->text(), u"3 items, 9.7 kB selected"_s);
        QCOMPARE(m_detail->cleanButton()->accessibleDescription(), u"3 items, 9.7 kB selected"_s);
        const gui::DetailViewController::CleanQuestion question = m_detail->cleanQuestion();
        QCOMPARE(question.items, 3U);
        QCOMPARE(question.bytes, 9700);
        QCOMPARE(gui::DetailViewController::confirmationText(question),
            u"Are you sure to delete selected files?\n\n3 items, 9.7 kB, will be deleted for good. "
            u"They cannot be restored."_s);
        gui::DetailViewController::CleanQuestion toTrash = question;
        toTrash.toTrash = true;
        toTrash.running = { { u"Browser"_s, u"firefox"_s } };
        QCOMPARE(gui::DetailViewController::confirmationText(toTrash),
            u"Are you sure to delete selected files?\n\n3 items, 9.7 kB, will be moved to the Trash, where a file "
            u"manager can restore them.\n\n\u201cBrowser\u201d will be left alone: firefox is running."_s);
        // Cancel changes nothing.
        m_answer = false;
        m_detail->cleanButton()->click();
        QCOMPARE(m_asked, 1);
        QVERIFY(!ModuleActivity::instance().isBusy(1));
        QCOMPARE(m_detail->cleanSize(), 0);
        QCOMPARE(m_detail->progressLabel()->text(), QString());
        QCOMPARE(core::ModuleInfo::modules()[1].categories[Caches].files.size(), 3U);
        QCOMPARE(m_env->remaining().size(), gui_tests::ReviewEnvironment::junk().size());
        categories()->setData(categories()->index(Reports, 0), Qt::Unchecked, Qt::CheckStateRole);
        categories()->setData(categories()->index(Caches, 0), Qt::Unchecked, Qt::CheckStateRole);
        QVERIFY(!m_detail->cleanButton()->isEnabled());
    }

    void aTrashedItemSaysWhereItCameFrom()
    {
        const std::string trash = m_env->path(".local/share/Trash");
        std::filesystem::create_directories(trash + "/files");
        std::filesystem::create_directories(trash + "/info");
        std::ofstream(trash + "/files/report.txt") << "kept for a while";
        std::ofstream(trash + "/info/report.txt.trashinfo")
            << "[Trash Info]\nPath=" << m_env->path("Documents/report.txt") << "\nDeletionDate=2026-01-02T03:04:05\n";
        core::Category &logs = core::ModuleInfo::modules()[1].categories[Logs];
        logs.kind = core::CategoryKind::Trash;
        logs.urls = { { core::format::fileUrlFromPath(trash + "/files", true), "Children", 0 },
            { core::format::fileUrlFromPath(trash + "/info", true), "Children", 0 } };
        m_root->switchTabTo(u"systemJunkOverview"_s);
        qobject_cast<gui::OverviewViewController *>(tabs()->widget(1))->rescanDetail();
        QVERIFY(gui_tests::waitUntilIdle(1));
        m_root->switchTabTo(u"systemJunkDetail"_s);
        showCategory(Logs);
        QCOMPARE(shownNames(), QStringList{ u"report.txt"_s });
        const QModelIndex row = files()->index(0, 0);
        const QString documents = QString::fromStdString(m_env->path("Documents"));
        QCOMPARE(row.data(gui::DetailDD::OriginRole).toString(), documents + u"/report.txt"_s);
        QCOMPARE(row.data(gui::DetailDD::LineRole).toString(), u"From "_s + documents);
        QCOMPARE(row.data(gui::DetailDD::PathRole).toString(), QString::fromStdString(trash + "/files/report.txt"));
        const QString description = row.data(Qt::AccessibleDescriptionRole).toString();
        QVERIFY2(description.contains(u"from "_s + documents + u"/report.txt, deleted 2026-01-02 03:04"_s),
            qPrintable(description));
        // Any other category's rows show their own path.
        showCategory(Caches);
        QCOMPARE(files()->index(0, 0).data(gui::DetailDD::OriginRole).toString(), QString());
        QCOMPARE(files()->index(0, 0).data(gui::DetailDD::LineRole).toString(),
            files()->index(0, 0).data(gui::DetailDD::PathRole).toString());
    }

    void aScanStartedWhileTheQuestionIsOpenWins()
    {
        categories()->setData(categories()->index(Caches, 0), Qt::Checked, Qt::CheckStateRole);
        m_detail->setConfirmer([](QWidget *, const gui::DetailViewController::CleanQuestion &) {
            // The dashboard starts a scan of this module meanwhile.
            return ModuleActivity::instance().scan(1, nullptr, nullptr, nullptr);
        });
        m_detail->cleanButton()->click();
        QCOMPARE(ModuleActivity::instance().activity(1), ModuleActivity::Kind::Scanning);
        QVERIFY(gui_tests::waitUntilIdle(1));
        QCOMPARE(m_env->remaining().size(), gui_tests::ReviewEnvironment::junk().size());
    }

    void rowMenuOpensTheFolderAndCopiesThePath()
    {
        gui_tests::RecordingOpener opener;
        m_detail->setUrlOpener(opener.function());
        showCategory(Reports);
        const QModelIndex crash1 = files()->index(0, 0, files()->index(0, 0));
        std::unique_ptr<QMenu> menu(m_detail->contextMenuFor(crash1));
        QVERIFY(menu);
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0]->text(), u"Open Containing Folder"_s);
        QCOMPARE(actions[1]->text(), u"Copy Path"_s);
        QCOMPARE(actions[2]->text(), u"Always Keep"_s);
        actions[0]->trigger();
        QCOMPARE(*opener.opened,
            std::vector<QUrl>{ QUrl::fromLocalFile(QString::fromStdString(m_env->path("reports/app"))) });
        actions[1]->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text().toStdString(), m_env->path("reports/app/crash-1.dmp"));
        QVERIFY(m_detail->contextMenuFor(QModelIndex()) == nullptr);
    }
};

} // namespace

SPRUCE_GUI_TEST(DetailTest)
#include "DetailTest.moc"
