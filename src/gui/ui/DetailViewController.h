#pragma once

#include "fs/FolderInfo.h"
#include "platform/LinkOpener.h"
#include "theme/MyUI.h"
#include "ui/TabViewSwitchController.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
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
/// Every selection change goes through ModuleInfo::updateState (in the
/// models). Cleans go through ModuleActivity: while the module is scanned
/// or cleaned, "Clean" is disabled and no box can be changed; the clean
/// deletes the selection as it stood when "Confirm" was pressed. GUI thread.
class DetailViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailViewController)

public:
    /// Asks whether to clean; true to go ahead. The default shows the
    /// "Confirmation?" alert ("Cancel", the default button, and "Confirm").
    using Confirmer = std::function<bool(QWidget *parent)>;

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

    /// "Back": to the overview twin.
    void backToView();
    /// "Clean": asks, then cleans module `moduleIndex` (unless it is busy).
    void clean();
    /// A pick in the "Sort By" menu: moves the check marks and sorts when
    /// both a key and a direction are marked.
    void sortFunction(QAction *picked);
    /// The search field's text changed.
    void searchFiles(const QString &text);

    // The clean's callbacks (main queue).
    void cleanProgress(const std::string &path, std::int64_t size);
    void doneClean();

    void setConfirmer(Confirmer confirmer) { m_confirmer = std::move(confirmer); }
    void setUrlOpener(UrlOpener opener) { m_opener = std::move(opener); }
    /// The alert the default confirmer shows.
    static bool confirmClean(QWidget *parent);

    /// The context-menu actions of a file row.
    void openContainingFolder(const core::FolderInfo &record) const;
    static void copyPath(const core::FolderInfo &record);

    std::int64_t cleanSize() const { return m_cleanSize; }
    int categoryRow() const { return m_categoryRow; }
    const std::optional<std::vector<core::FolderInfoPtr>> &detailFiles() const { return m_detailFiles; }

    QLabel *moduleTitle() const { return m_moduleTitle; }
    QListView *categoryView() const { return m_categoryView; }
    QTreeView *detailView() const { return m_detailView; }
    QLineEdit *searchField() const { return m_searchField; }
    QToolButton *sortByButton() const { return m_sortByButton; }
    QMenu *sortMenu() const { return m_sortMenu; }
    QPushButton *backButton() const { return m_BackButton; }
    QPushButton *cleanButton() const { return m_CleanButton; }
    QLabel *progressLabel() const { return m_progressLabel; }
    QLabel *failureLabel() const { return m_failureLabel; }
    QListView *failureView() const { return m_failureView; }
    CategoryDD *categoryDD() const { return m_categoryDD; }
    DetailDD *detailDD() const { return m_detailDD; }
    CleanReport *cleanReport() const { return m_cleanReport; }
    /// The menu a file row offers (built on request; the caller owns it).
    QMenu *contextMenuFor(const QModelIndex &index);

protected:
    void viewDidLoad() override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildSortMenu();
    void updateBusyState();
    void selectCategoryRow(int row);
    void showFailures();

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
    QLabel *m_failureLabel = nullptr;
    QListView *m_failureView = nullptr;
    CategoryCellView *m_categoryCell = nullptr;
    DetailCellView *m_detailCell = nullptr;
    CategoryDD *m_categoryDD = nullptr; // owned (child); made by the first reload
    DetailDD *m_detailDD = nullptr; // owned (child); made by the first reload
    CleanReport *m_cleanReport = nullptr; // owned (child)

    std::int64_t m_cleanSize = 0;
    core::MyUI m_progressStyle; // read when a clean starts: the label changes once per item removed
    std::optional<std::vector<core::FolderInfoPtr>> m_detailFiles;
    int m_categoryRow = 0;
    bool m_selectingRow = false; // the screen itself moves the category selection
    Confirmer m_confirmer = &DetailViewController::confirmClean;
    UrlOpener m_opener = desktopUrlOpener();
};

} // namespace gui
