// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CleanTally.h"
#include "fs/FolderInfo.h"
#include "platform/LinkOpener.h"
#include "theme/MyUI.h"
#include "ui/TabViewSwitchController.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QToolButton;
class QTreeView;

namespace gui {

class CategoryCellView;
class CategoryDD;
class CleanReport;
class DetailCellView;
class DetailDD;

/// A cleaning module's detail screen (tabs "systemJunkDetail",
/// "applicationJunkDetail", "largeAndOldFileDetail"), where a scan's
/// results are reviewed and cleaned: the categories on the left (size and
/// tri-state box each), the files of the selected category on the right
/// (two levels: files and their children), a search field and the
/// "Sort By" menu above them; "Back" to the overview, "Clean" to delete
/// what is selected after a confirmation, the space freed beside it, and
/// the items that could not be deleted (path and reason) under the files.
///
/// Large and Old Files (module 3) also offers "Move to Trash instead of
/// deleting" beside "Clean", remembered in the user's settings; the clean
/// then moves the selection to the desktop Trash and the label counts what
/// was moved. A file row's menu offers "Always Keep": the path goes on the
/// always-keep list and the module is scanned again (through its overview,
/// so that every figure is right), with a note under the files that leads
/// to the list. Categories left alone because their program runs are named
/// in the confirmation and, after the clean, among the items not deleted.
///
/// Every selection change goes through ModuleInfo::updateState (in the
/// models). Cleans go through ModuleActivity: while the module is scanned
/// or cleaned, "Clean" is disabled and no box can be changed; the clean
/// deletes the selection as it stood when "Confirm" was pressed. GUI thread.
class DetailViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailViewController)

public:
    /// What the confirmation asks about.
    struct CleanQuestion
    {
        bool toTrash = false; // the selection goes to the Trash
        std::size_t items = 0; // what the cleaner visits, each file once
        std::int64_t bytes = 0;
        /// Selected categories whose program runs now: (category title, program).
        std::vector<std::pair<QString, QString>> running;
    };

    /// Asks whether to clean; true to go ahead. The default shows the
    /// "Confirmation?" alert ("Cancel", the default button, and "Confirm").
    using Confirmer = std::function<bool(QWidget *parent, const CleanQuestion &question)>;

    /// The user setting behind the "Move to Trash instead of deleting" box.
    static QString moveToTrashKey() { return QStringLiteral("MoveLargeAndOldFilesToTrash"); }

    explicit DetailViewController(QWidget *parent = nullptr);
    ~DetailViewController() override;

    /// reloadCategory() then reloadDetail().
    void reloadData() override;
    /// Shows module `moduleIndex`'s categories and selects row `categoryRow`.
    void reloadCategory();
    /// Shows the files of category `categoryRow` through the current search, in stored order.
    void reloadDetail();
    /// The category of `row` becomes the one whose files are shown.
    void onSelectCategoryRow(int row);
    /// `cleanSize` formatted, followed by " Free Up".
    void updateProgressLabel();

    /// "Back": to where the person came from: the dashboard when its
    /// "Review" led here, otherwise the overview twin.
    void backToView();
    /// "Clean": asks, then cleans module `moduleIndex` (unless it is busy).
    void clean();
    /// A pick in the "Sort By" menu: moves the check marks and sorts when
    /// both a key and a direction are marked. Picking "Size" as a new key
    /// marks "Descending" too (largest first). The actions are known by
    /// their tags (data), never by their titles.
    void sortFunction(QAction *picked);
    /// A click on a column header: sorts by that column (a size largest
    /// first, a name or date smallest first), the other way round when it
    /// is the current key already; the menu's marks follow.
    void sortByColumn(int column);
    /// The search field's text changed.
    void searchFiles(const QString &text);

    // The clean's callbacks (main queue).
    void cleanProgress(const std::string &path, std::int64_t size);
    void doneClean();

    void setConfirmer(Confirmer confirmer) { m_confirmer = std::move(confirmer); }
    void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
    /// The alert the default confirmer shows.
    static bool confirmClean(QWidget *parent, const CleanQuestion &question);
    /// The alert's informative text for `question`: the question, then how
    /// many items of what size go and whether for good or to the Trash, then
    /// the categories left alone because their program runs.
    static QString confirmationText(const CleanQuestion &question);
    /// "1 item, 2.5 kB" / "N items, X".
    static QString itemsText(std::size_t items, std::int64_t bytes);
    /// Whether anything the cleaner would remove is selected (review-only
    /// categories aside): "Clean" is enabled only then.
    bool hasRemovableSelection() const;
    /// The tally of the last clean finished here; null before the first.
    const std::shared_ptr<core::CleanTally> &lastTally() const { return m_lastTally; }
    /// What "Clean" would ask now: whether the selection goes to the Trash,
    /// and which selected categories' programs run (read from /proc).
    CleanQuestion cleanQuestion() const;
    /// Whether a clean now moves to the Trash: module 3 with the box checked.
    bool movesToTrash() const;

    /// The context-menu actions of a file row.
    void openContainingFolder(const core::FolderInfo &record) const;
    static void copyPath(const core::FolderInfo &record);
    /// Puts the record's path (its URL decoded, byte for byte) on the
    /// always-keep list and scans the module again; says what happened
    /// under the files. Nothing is scanned while the module is busy.
    void alwaysKeep(const core::FolderInfo &record);
    /// Opens the preferences page with the always-keep list.
    void showKeptItems();

    std::int64_t cleanSize() const { return m_cleanSize; }
    /// Bytes the current clean moved to the Trash.
    std::int64_t trashedSize() const { return m_trashedSize; }
    int categoryRow() const { return m_categoryRow; }
    /// The files of the category shown (the model's list); null before the screen is loaded.
    const std::vector<core::FolderInfoPtr> *detailFiles() const;

    QLabel *moduleTitle() const { return m_moduleTitle; }
    QListView *categoryView() const { return m_categoryView; }
    QTreeView *detailView() const { return m_detailView; }
    QLineEdit *searchField() const { return m_searchField; }
    QToolButton *sortByButton() const { return m_sortByButton; }
    QMenu *sortMenu() const { return m_sortMenu; }
    QPushButton *backButton() const { return m_BackButton; }
    QPushButton *cleanButton() const { return m_CleanButton; }
    QLabel *progressLabel() const { return m_progressLabel; }
    /// "N items, X selected" beside "Clean", kept up to date with every box.
    QLabel *selectionLabel() const { return m_selectionLabel; }
    QLabel *failureLabel() const { return m_failureLabel; }
    /// "No matches", shown while a search finds nothing; for a category that
    /// found nothing, what its scan could not measure ("Not measured:" and a
    /// line per note).
    QLabel *noMatchLabel() const { return m_noMatchLabel; }
    QListView *failureView() const { return m_failureView; }
    QCheckBox *trashBox() const { return m_trashBox; }
    /// The note an "Always Keep" leaves under the files, and its button to the list.
    QLabel *keepLabel() const { return m_keepLabel; }
    QPushButton *keptItemsButton() const { return m_keptItemsButton; }
    CategoryDD *categoryDD() const { return m_categoryDD; }
    DetailDD *detailDD() const { return m_detailDD; }
    CleanReport *cleanReport() const { return m_cleanReport; }
    /// The menu a file row offers (built on request; the caller owns it).
    QMenu *contextMenuFor(const QModelIndex &index);

protected:
    void viewDidLoad() override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    /// Fonts, colours and style sheets from the theme in force, again (a new look was chosen).
    void applyTheme();
    void buildSortMenu();
    QAction *sortAction(int tag) const;
    /// The tag of the marked key (direction false) or direction (true); 0 when none is marked.
    int markedSortTag(bool direction) const;
    /// Marks `tag` and unmarks the others of its group.
    void markSort(int tag);
    /// Sorts the shown files as the menu's marks say (nothing when a group
    /// has no mark) and says so on the button and the header.
    void applySort();
    void updateNoMatch();
    /// The category list as wide as its titles need, within a share of the screen.
    void fitCategoryColumn();
    void updateBusyState();
    /// The selection label and whether "Clean" can be pressed.
    void updateSelectionState();
    void selectCategoryRow(int row);
    void showFailures();
    void showKeepNote(const QString &text);
    void addFailure(const std::string &path, const std::string &reason);

    QLabel *m_moduleTitle = nullptr; // owned (child); made by viewDidLoad, like every widget below
    QListView *m_categoryView = nullptr;
    QTreeView *m_detailView = nullptr;
    QLineEdit *m_searchField = nullptr;
    QToolButton *m_sortByButton = nullptr;
    QMenu *m_sortMenu = nullptr;
    QAction *m_sortTitle = nullptr;
    QPushButton *m_BackButton = nullptr;
    QPushButton *m_CleanButton = nullptr;
    QLabel *m_progressLabel = nullptr;
    QLabel *m_selectionLabel = nullptr;
    QLabel *m_failureLabel = nullptr;
    QLabel *m_noMatchLabel = nullptr;
    QListView *m_failureView = nullptr;
    QCheckBox *m_trashBox = nullptr;
    QWidget *m_keepBar = nullptr;
    QLabel *m_keepLabel = nullptr;
    QPushButton *m_keptItemsButton = nullptr;
    CategoryCellView *m_categoryCell = nullptr;
    DetailCellView *m_detailCell = nullptr;
    CategoryDD *m_categoryDD = nullptr; // owned (child); made by the first reload
    DetailDD *m_detailDD = nullptr; // owned (child); made by the first reload
    CleanReport *m_cleanReport = nullptr; // owned (child)

    std::shared_ptr<core::CleanTally> m_lastTally;
    std::int64_t m_cleanSize = 0;
    std::int64_t m_trashedSize = 0;
    bool m_trashing = false; // the current (or last) clean moves to the Trash
    QString m_keptName; // what the last "Always Keep" kept, while its rescan runs; else empty
    core::MyUI m_progressStyle; // read when a clean starts: the label changes once per item removed
    int m_categoryRow = 0;
    bool m_backToDashboard = false; // the dashboard's "Review" led here
    bool m_selectingRow = false; // the screen itself moves the category selection
    Confirmer m_confirmer = &DetailViewController::confirmClean;
    UrlOpener m_opener = desktopUrlOpener();
};

} // namespace gui
