// SPDX-License-Identifier: GPL-3.0-or-later
// The trust features on the detail screen: Large and Old Files moved to the
// Trash on request, "Always Keep" with its rescan, the preferences page of
// the always-keep list, and categories left alone while their program runs.
//
// Trashed files land in the Trash of the review environment's own temporary
// home, never the real one.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "engine/KeepList.h"
#include "platform/LinkOpener.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "ui/AppDelegate.h"
#include "ui/CategoryDD.h"
#include "ui/CleanReport.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/MainWindow.h"
#include "ui/ModuleActivity.h"
#include "ui/OverviewViewController.h"
#include "ui/PreferencesDialog.h"
#include "ui/ViewController.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <fstream>

using namespace Qt::StringLiterals;
using gui::DetailViewController;
using gui::ModuleActivity;

namespace {

constexpr int LargeAndOld = 3;
constexpr int MediumBand = 1;
constexpr int YearBand = 2;
constexpr int Caches = 0;
constexpr int Reports = 1;
constexpr int Logs = 2;

/// The Trash of the home the review environment cleans.
std::string trashFolder()
{
    return core::platform::services().user.dataFolder() + "/Trash";
}

/// The names in the Trash's files/ folder, sorted.
QStringList trashedNames()
{
    QStringList names;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(trashFolder() + "/files", error)) {
        names << QString::fromStdString(entry.path().filename().string());
    }
    names.sort();
    return names;
}

class TrustTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::ReviewEnvironment> m_env;
    std::unique_ptr<gui::LinkOpener> m_links;
    std::unique_ptr<gui::ViewController> m_root;
    std::vector<DetailViewController::CleanQuestion> m_asked;

    gui::SlideStack *tabs() const { return m_root->getTabViewController(); }

    /// Scans module `module` from its overview; returns its detail screen, answering every confirmation with yes.
    DetailViewController *scanned(int module)
    {
        static const char *const names[] = { "", "systemJunk", "applicationJunk", "largeAndOldFile" };
        const QString overviewName = QString::fromLatin1(names[module]) + u"Overview"_s;
        m_root->switchTabTo(overviewName);
        auto *overview =
            qobject_cast<gui::OverviewViewController *>(tabs()->widget(m_root->getTabWithIndentifier(overviewName)));
        overview->scan();
        if (!gui_tests::waitFor([overview] {
                return overview->scanStatus() == 1;
            })) {
            return nullptr;
        }
        auto *detail = qobject_cast<DetailViewController *>(tabs()->widget(gui::TabViewSwitchController::tabIndex()));
        detail->setConfirmer([this](QWidget *, const DetailViewController::CleanQuestion &question) {
            m_asked.push_back(question);
            return true;
        });
        return detail;
    }
    static bool cleanAndWait(DetailViewController *detail)
    {
        detail->cleanButton()->click();
        return gui_tests::waitFor([detail] {
            return !ModuleActivity::instance().isBusy(detail->moduleIndex());
        });
    }
    void newWindow()
    {
        m_root.reset();
        m_root = std::make_unique<gui::ViewController>(m_links.get());
        tabs()->setAnimationDuration(0);
        m_root->resize(1000, 680);
        m_root->show();
    }
    static void select(DetailViewController *detail, int category)
    {
        detail->categoryView()->setCurrentIndex(detail->categoryDD()->index(category, 0));
        detail->categoryDD()->setData(detail->categoryDD()->index(category, 0), Qt::Checked, Qt::CheckStateRole);
    }
    static std::vector<std::string> kept()
    {
        auto list = core::KeepList::load();
        return list ? list.value().paths : std::vector<std::string>{ "<unreadable>" };
    }

private Q_SLOTS:
    void init()
    {
        gui::UserDefaults().setBool(DetailViewController::moveToTrashKey(), false);
        std::filesystem::remove_all(trashFolder());
        m_env = std::make_unique<gui_tests::ReviewEnvironment>();
        m_env->addLargeAndOldFiles();
        m_links = std::make_unique<gui::LinkOpener>(gui_tests::RecordingOpener().function());
        newWindow();
        m_asked.clear();
    }
    void cleanup()
    {
        QVERIFY(gui_tests::waitFor([] {
            return !ModuleActivity::instance().isBusy(1) && !ModuleActivity::instance().isBusy(LargeAndOld);
        }));
        m_root.reset();
        m_env.reset();
        gui::UserDefaults().setBool(DetailViewController::moveToTrashKey(), false);
    }

    void theTrashBoxIsOnUntilTurnedOffLargeAndOldOnlyAndRemembered()
    {
        // Nobody has chosen yet: the user's own files go to the Trash.
        gui::UserDefaults().removeKey(DetailViewController::moveToTrashKey());
        newWindow();
        DetailViewController *junk = scanned(1);
        QVERIFY(junk != nullptr);
        QVERIFY(!junk->trashBox()->isVisibleTo(junk));
        DetailViewController *large = scanned(LargeAndOld);
        QVERIFY(large != nullptr);
        QVERIFY(large->trashBox()->isVisibleTo(large));
        QCOMPARE(large->trashBox()->text(), u"Move to Trash instead of deleting"_s);
        QVERIFY(large->trashBox()->isChecked());
        QVERIFY(large->movesToTrash());
        select(large, MediumBand);
        QVERIFY(large->cleanQuestion().toTrash);
        QVERIFY(DetailViewController::confirmationText(large->cleanQuestion()).contains(u"moved to the Trash"_s));
        // Turned off and on again, each choice is stored.
        large->trashBox()->click();
        QVERIFY(!large->movesToTrash());
        QVERIFY(!large->cleanQuestion().toTrash);
        QVERIFY(!gui::UserDefaults().boolForKey(DetailViewController::moveToTrashKey(), true));
        large->trashBox()->click();
        QVERIFY(gui::UserDefaults().boolForKey(DetailViewController::moveToTrashKey()));
        // The junk screen never trashes, whatever its hidden box says.
        junk->trashBox()->setChecked(true);
        QVERIFY(!junk->movesToTrash());
        QVERIFY(!junk->cleanQuestion().toTrash);

        // A new window starts with the box as it was left.
        newWindow();
        m_root->switchTabTo(u"largeAndOldFileDetail"_s);
        auto *again = qobject_cast<DetailViewController *>(tabs()->widget(gui::TabViewSwitchController::tabIndex()));
        QVERIFY(again != nullptr && again != large);
        QVERIFY(again->trashBox()->isChecked());
        // Busy: the box cannot change mid-clean.
        QVERIFY(ModuleActivity::instance().scan(LargeAndOld, nullptr, nullptr, nullptr));
        QVERIFY(!again->trashBox()->isEnabled());
    }

    void uncheckedTheFilesAreDeletedCheckedTheyGoToTheTrash()
    {
        DetailViewController *detail = scanned(LargeAndOld);
        QVERIFY(detail != nullptr);
        QVERIFY(!detail->trashBox()->isChecked()); // as it was left
        select(detail, MediumBand);
        QVERIFY(cleanAndWait(detail));
        QVERIFY(!m_asked.at(0).toTrash);
        QCOMPARE(m_asked[0].items, 1U);
        QCOMPARE(m_asked[0].bytes, gui_tests::ReviewEnvironment::VideoSize);
        QCOMPARE(DetailViewController::confirmationText(m_asked[0]),
            u"Are you sure to delete selected files?\n\n1 item, 6.3 MB, will be deleted for good. They cannot be "
            u"restored."_s);
        QVERIFY(!m_env->exists("Videos/clip.mp4"));
        QVERIFY(trashedNames().isEmpty());
        QCOMPARE(detail->trashedSize(), 0);
        QCOMPARE(detail->cleanSize(), gui_tests::ReviewEnvironment::VideoSize);
        QVERIFY(detail->progressLabel()->text().endsWith(u" Free Up"_s));

        QCOMPARE(detail->categoryDD()->index(YearBand, 0).data(gui::CategoryDD::SizeRole).toLongLong(),
            gui_tests::ReviewEnvironment::ReportSize + gui_tests::ReviewEnvironment::TrackSize);
        detail->trashBox()->setChecked(true);
        select(detail, YearBand);
        QVERIFY(cleanAndWait(detail));
        QCOMPARE(m_asked.size(), 2U);
        QVERIFY(m_asked[1].toTrash);
        QVERIFY(
            DetailViewController::confirmationText(m_asked[1])
                .contains(u"2 items, 5.0 kB, will be moved to the Trash, where a file manager can restore them."_s));
        QVERIFY(!m_env->exists("Documents/old-report.pdf"));
        QVERIFY(!m_env->exists("Music/album/track.flac"));
        QCOMPARE(trashedNames(), (QStringList{ u"old-report.pdf"_s, u"track.flac"_s }));
        QVERIFY(testing_support::readFile(trashFolder() + "/info/old-report.pdf.trashinfo")
                    .find("Path=" + m_env->path("Documents/old-report.pdf"))
            != std::string::npos);
        QCOMPARE(std::filesystem::file_size(trashFolder() + "/files/old-report.pdf"),
            static_cast<std::uintmax_t>(gui_tests::ReviewEnvironment::ReportSize));
        QCOMPARE(detail->trashedSize(), 5000);
        QCOMPARE(detail->progressLabel()->text(), u"5.0 kB Moved to Trash"_s);
        QVERIFY(detail->failureView()->isHidden());
        QCOMPARE(detail->categoryDD()->index(YearBand, 0).data(gui::CategoryDD::SizeRole).toLongLong(), 0);
    }

    void anItemNoTrashCanTakeStaysAndIsReported()
    {
        // A file where the home trash should be: nothing can be moved there.
        std::filesystem::create_directories(core::platform::services().user.dataFolder());
        std::ofstream(trashFolder()) << "not a folder";
        DetailViewController *detail = scanned(LargeAndOld);
        QVERIFY(detail != nullptr);
        detail->trashBox()->setChecked(true);
        select(detail, MediumBand);
        QVERIFY(cleanAndWait(detail));
        std::filesystem::remove(trashFolder());
        // Never deleted for good instead.
        QVERIFY(m_env->exists("Videos/clip.mp4"));
        QCOMPARE(detail->trashedSize(), 0);
        QCOMPARE(detail->progressLabel()->text(), u"0 bytes Moved to Trash"_s);
        QCOMPARE(detail->cleanReport()->rowCount(), 1);
        QCOMPARE(detail->cleanReport()->failures()[0].path.toStdString(), m_env->path("Videos/clip.mp4"));
        QVERIFY(!detail->cleanReport()->failures()[0].reason.isEmpty());
        QCOMPARE(detail->failureLabel()->text(), u"1 item could not be moved to the Trash"_s);
        QVERIFY(detail->failureView()->isVisible());
        QCOMPARE(detail->detailDD()->rowCount(), 1); // still listed
    }

    void alwaysKeepListsThePathAndRescans()
    {
        const std::string odd = ".cache/caf\xe9.bin";
        std::ofstream(m_env->path(odd)) << "x";
        DetailViewController *detail = scanned(1);
        QVERIFY(detail != nullptr);
        detail->categoryView()->setCurrentIndex(detail->categoryDD()->index(Reports, 0));
        gui::DetailDD *files = detail->detailDD();
        const QModelIndex crash1 = files->index(0, 0, files->index(0, 0)); // reports/app/crash-1.dmp
        // Shift+F10 opens the current row's menu from the keyboard.
        detail->detailView()->setCurrentIndex(crash1);
        QTest::keyClick(detail->detailView(), Qt::Key_F10, Qt::ShiftModifier);
        auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(popup != nullptr);
        QCOMPARE(popup->accessibleName(), u"crash-1.dmp"_s);
        popup->close();
        std::unique_ptr<QMenu> menu(detail->contextMenuFor(crash1));
        QAction *keep = menu->actions().at(2);
        QCOMPARE(keep->text(), u"Always Keep"_s);
        QVERIFY(keep->isEnabled());
        keep->trigger();
        QCOMPARE(kept(), std::vector<std::string>{ m_env->path("reports/app/crash-1.dmp") });
        // Scanned again at once, through the overview and the busy guard.
        QCOMPARE(ModuleActivity::instance().activity(1), ModuleActivity::Kind::Scanning);
        QVERIFY(!detail->cleanButton()->isEnabled());
        QVERIFY(detail->keepLabel()->isVisible());
        QVERIFY(detail->keepLabel()->text().endsWith(u"Scanning again\u2026"_s));
        QVERIFY(!std::unique_ptr<QMenu>(detail->contextMenuFor(files->index(0, 0)))->actions().at(2)->isEnabled());
        QVERIFY(gui_tests::waitUntilIdle(1));
        QCOMPARE(detail->keepLabel()->text(), u"\u201ccrash-1.dmp\u201d will always be kept."_s);
        // The kept file is no longer counted, nor listed below its folder.
        QCOMPARE(detail->categoryDD()->index(Reports, 0).data(gui::CategoryDD::SizeRole).toLongLong(), 8700 - 3000);
        QCOMPARE(files->rowCount(files->index(0, 0)), 1);
        QCOMPARE(files->index(0, 0, files->index(0, 0)).data().toString(), u"crash-2.dmp"_s);
        auto *overview = qobject_cast<gui::OverviewViewController *>(
            tabs()->widget(m_root->getTabWithIndentifier(u"systemJunkOverview"_s)));
        QVERIFY(overview->pathLabel()->text().contains(u"Scanning Completed!"_s));
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), m_root->getTabWithIndentifier(u"systemJunkDetail"_s));

        // Cleaning the whole folder now leaves the kept file, and the folder, in place.
        select(detail, Reports);
        QVERIFY(cleanAndWait(detail));
        QVERIFY(m_env->exists("reports/app/crash-1.dmp"));
        QVERIFY(!m_env->exists("reports/app/crash-2.dmp"));

        // A name that is not UTF-8 is kept byte for byte.
        detail->categoryView()->setCurrentIndex(detail->categoryDD()->index(Caches, 0));
        core::FolderInfoPtr oddRecord;
        for (int row = 0; row < files->rowCount(); ++row) {
            const core::FolderInfoPtr candidate = files->recordPtr(files->index(row, 0));
            oddRecord = candidate->name().starts_with("caf") ? candidate : oddRecord;
        }
        QVERIFY(oddRecord != nullptr);
        detail->alwaysKeep(*oddRecord);
        QCOMPARE(kept(), (std::vector<std::string>{ m_env->path("reports/app/crash-1.dmp"), m_env->path(odd) }));
        QVERIFY(gui_tests::waitUntilIdle(1));

        // The note leads to the list, where it is taken off exactly.
        detail->keptItemsButton()->click();
        auto *page = m_root->findChild<gui::PreferencesDialog *>();
        QVERIFY(page != nullptr && page->isVisible());
        QCOMPARE(page->keptList()->count(), 2);
        QCOMPARE(gui::PreferencesDialog::pathOf(page->keptList()->item(1)), m_env->path(odd));
        page->keptList()->clearSelection();
        page->keptList()->item(1)->setSelected(true);
        page->removeSelected();
        QCOMPARE(kept(), std::vector<std::string>{ m_env->path("reports/app/crash-1.dmp") });
        page->close();
    }

    void preferencesAddKeepsWhatIsChosen()
    {
        gui::PreferencesDialog page;
        std::vector<bool> asked;
        QStringList answer{ QString::fromStdString(m_env->path("Videos")) };
        page.setChooser([&asked, &answer](QWidget *, bool folder) {
            asked.push_back(folder);
            return answer;
        });
        int changes = 0;
        connect(&page, &gui::PreferencesDialog::keepListChanged, &page, [&changes] {
            ++changes;
        });
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const QList<QAction *> choices = page.addButton()->menu()->actions();
        QCOMPARE(choices.size(), 2);
        choices[1]->trigger(); // "Add Folder…"
        QCOMPARE(asked, std::vector<bool>{ true });
        QCOMPARE(kept(), std::vector<std::string>{ m_env->path("Videos") });
        QCOMPARE(page.keptList()->count(), 1);
        QVERIFY(page.keptList()->item(0)->isSelected());
        QCOMPARE(changes, 1);
        // Files, several at once; a cancelled chooser changes nothing.
        answer = { QString::fromStdString(m_env->path("old.log")),
            QString::fromStdString(m_env->path("Documents/old-report.pdf")) };
        choices[0]->trigger();
        QCOMPARE(asked.back(), false);
        QCOMPARE(page.keptList()->count(), 3);
        QCOMPARE(page.keptList()->selectedItems().size(), 2);
        answer.clear();
        choices[0]->trigger();
        QCOMPARE(changes, 2);
        // A path the list refuses is said, not lost silently.
        page.addPaths({ u"relative/path"_s });
        QVERIFY(page.messageLabel()->isVisible());
        QCOMPARE(page.keptList()->count(), 3);
    }

    void preferencesListMarksMissingPathsAndRemovesTheSelected()
    {
        const std::string gone = m_env->path("Downloads/gone.iso");
        const std::string log = m_env->path("old.log");
        const std::string videos = m_env->path("Videos");
        QVERIFY(core::KeepList::add({ log, gone, videos }));
        gui::PreferencesDialog page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QListWidget *list = page.keptList();
        QCOMPARE(list->accessibleName(), u"Kept files and folders"_s);
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->text().toStdString(), log);
        QCOMPARE(list->item(1)->text().toStdString(), gone + "  (no longer exists)");
        QCOMPARE(list->item(2)->text().toStdString(), videos);
        QVERIFY(page.messageLabel()->isHidden());
        QVERIFY(list->hasFocus());
        // The keyboard's row is selected from the start: Remove acts on it.
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{ list->item(0) });
        QVERIFY(page.removeButton()->isEnabled());

        // From the keyboard: down to the missing path, Delete.
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), 1);
        QVERIFY(page.removeButton()->isEnabled());
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(kept(), (std::vector<std::string>{ log, videos }));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentRow(), 1); // on the row that took its place
        // Two at once with the button, pressed from the keyboard.
        list->item(0)->setSelected(true);
        list->item(1)->setSelected(true);
        page.removeButton()->setFocus();
        QTest::keyClick(page.removeButton(), Qt::Key_Return);
        QCOMPARE(kept(), std::vector<std::string>{});
        QCOMPARE(list->count(), 0);
        QVERIFY(!page.removeButton()->isEnabled());
        QVERIFY(page.findChild<QLabel *>(u"emptyLabel"_s)->isVisible());
        QVERIFY(page.unusableLabel()->isHidden());

        // Lines written by hand that cannot be used are shown with the reason, and the usable ones listed.
        {
            std::ofstream file(core::KeepList::filePath(), std::ios::app | std::ios::binary);
            file << "  " << log << " \r\n"
                 << "Videos/relative\n"
                 << "file:///bad%zz\n";
        }
        page.reload();
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text().toStdString(), log);
        QVERIFY(page.unusableLabel()->isVisible());
        const QString said = page.unusableLabel()->text();
        QVERIFY2(said.startsWith(u"2 lines of "_s + QString::fromStdString(core::KeepList::filePath())
                     + u" cannot be used, so no clean deletes anything"_s),
            qPrintable(said));
        QVERIFY2(
            said.contains(u"cannot be used (not an absolute path or a file URL): Videos/relative"_s), qPrintable(said));
        QVERIFY2(said.contains(u"file:///bad%zz"_s), qPrintable(said));
        QVERIFY(page.messageLabel()->isHidden());

        // A list that cannot be read is said, not shown as empty.
        std::filesystem::remove(core::KeepList::filePath());
        std::filesystem::create_directories(core::KeepList::filePath());
        page.reload();
        QVERIFY(page.messageLabel()->isVisible());
        QVERIFY(page.messageLabel()->text().startsWith(u"The always-keep list cannot be read"_s));
        QVERIFY(page.findChild<QLabel *>(u"emptyLabel"_s)->isHidden());
        QVERIFY(page.unusableLabel()->isHidden());
        std::filesystem::remove(core::KeepList::filePath());
    }

    void theApplicationMenuOpensThePreferences()
    {
        gui::UserDefaults defaults(QString::fromStdString(m_env->path("defaults.ini")));
        gui::AppDelegate app(
            gui::AppDelegateOptions{ gui_tests::RecordingOpener().function(), &defaults, gui::StatusItemMode::Never });
        gui::MainWindow window(app);
        window.show();
        auto *action = window.menuBar()->findChild<QAction *>(u"preferencesAction"_s);
        QVERIFY(action != nullptr);
        QCOMPARE(action->text(), u"&Preferences\u2026"_s);
        QCOMPARE(action->shortcut(), QKeySequence(u"Ctrl+,"_s));
        action->trigger();
        auto *page = window.findChild<gui::PreferencesDialog *>();
        QVERIFY(page != nullptr && page->isVisible());
        // The same page again, not a second one.
        action->trigger();
        QCOMPARE(window.findChildren<gui::PreferencesDialog *>().size(), 1);
    }

    void aCategoryWhoseProgramRunsIsLeftAlone()
    {
        // This test's own program runs, for this user.
        core::ModuleInfo::modules()[1].categories[Logs].runningApps = { "spruce_gui_tests" };
        DetailViewController *detail = scanned(1);
        QVERIFY(detail != nullptr);
        select(detail, Caches);
        select(detail, Logs);
        QVERIFY(cleanAndWait(detail));
        QCOMPARE(m_asked.size(), 1U);
        QCOMPARE(m_asked[0].running.size(), 1U);
        QCOMPARE(m_asked[0].running[0].first, u"Logs"_s);
        QVERIFY(DetailViewController::confirmationText(m_asked[0])
                    .endsWith(u"\n\n\u201cLogs\u201d will be left alone: spruce_gui_tests is running."_s));
        QVERIFY(m_env->exists("old.log"));
        QVERIFY(!m_env->exists(".cache/thumbs.db"));
        QCOMPARE(detail->cleanReport()->rowCount(), 1);
        QCOMPARE(detail->cleanReport()->index(0, 0).data().toString(), u"Logs: spruce_gui_tests is running"_s);
        QVERIFY(detail->failureView()->isVisible());
    }
};

} // namespace

SPRUCE_GUI_TEST(TrustTest)
#include "TrustTest.moc"
