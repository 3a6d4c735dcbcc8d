// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FolderInfo.h"
#include "ui/CustomHighlineRowView.h"
#include "ui/ReviewCells.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace gui {

/// The file outline of a detail screen: the files of one category at the
/// first level (filtered by a search text, possibly sorted) and their
/// children at the second. The items are the catalogue's own records
/// (shared, never copied), so a module of 120 000 records costs a vector
/// of pointers here, and only the rows on screen are ever asked for text.
///
/// Columns: the name (with the box, the icon and the path), the size and
/// the date. Top-level indexes carry internal id 0; a child's carries its
/// parent's row + 1, so parent() needs no lookup.
///
/// Selection changes go through ModuleInfo::updateState only, on the
/// module and category given to setSelectionTarget(), addressing records
/// by their `findex` (the position in the catalogue's list, not the row on
/// screen, which the search and the sort move). A record that is no longer
/// in the catalogue (replaced by a newer scan before the screen reloaded)
/// is not changed.
///
/// Sorting a big category is prepared on a worker thread: each key's
/// order over the whole category is made once per reload (the name keys
/// there, never on the GUI thread), after which any sort by that key,
/// either way and through any search, is one pass over that order. Until
/// the order is ready the view keeps showing the previous one; the rows
/// then move in place (a layout change, not a reset), so the selection,
/// the expanded rows and the scroll place stay. Only the latest sort asked
/// for is shown; an order made for records since reloaded is dropped.
/// GUI thread.
class DetailDD : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailDD)

public:
    enum Column { NameColumn, SizeColumn, DateColumn, ColumnCount };
    enum Role {
        PathRole = Qt::UserRole + 1, // QString: the record's full path
        ShortPathRole, // QString: the path as the cell shows it
        ShortNameRole, // QString: the name as the cell shows it
        SizeRole, // qint64: bytes
        OriginRole, // QString: where a trashed item came from; empty for any other record
        LineRole, // QString: what the second line of the row says (the path, or where a trashed item came from)
        ApplicationRole, // QString: the application whose folder holds the record (applicationOf); may be empty
    };

    /// Names and paths longer than this many UTF-16 code units are shown cut, with "...".
    static constexpr int ShownLength = 60;

    explicit DetailDD(QObject *parent = nullptr);
    ~DetailDD() override;

    /// Sets `files` and shows them again through the current search (in stored order).
    void reloadData(std::vector<core::FolderInfoPtr> files);
    /// Keeps `keywords` and shows the files whose name contains it, ignoring
    /// case, in stored order; every file for an empty text. Children are
    /// never filtered.
    void searchFiles(const QString &keywords);
    /// What the shown files can be sorted by.
    enum class SortKey { Name, Size, Date };
    /// Sorts the shown files by "name", "size" or "date" (as sortFiles):
    /// smallest first when `sortDirection` is "ascending", largest first
    /// for any other text. Any other key changes nothing.
    void sortDetailData(const QString &sortDirection, const QString &sortby);
    /// Sorts the shown files by `key`, smallest first or largest first.
    /// Names compare as a person reads them: case ignored and runs of
    /// digits by their value ("file2" before "file10"), then code point
    /// order to break ties. Equal keys keep their stored order. Children
    /// keep their order. Each key's order is made once per reload: on the
    /// GUI thread for fewer files than backgroundSortFrom(), else on a
    /// worker thread, and then the sort is shown when it is ready (see
    /// isSorting() and sortShown()). A search or a reload drops a sort
    /// still waiting.
    void sortFiles(SortKey key, bool ascending);
    /// Whether a sort waits for its order from a worker thread.
    bool isSorting() const { return m_wanted.has_value(); }
    /// From how many files a key's order is made on a worker thread.
    std::size_t backgroundSortFrom() const { return m_backgroundFrom; }
    void setBackgroundSortFrom(std::size_t count) { m_backgroundFrom = count; }
    /// The key of `text` ("name", "size", "date"); nullopt for any other.
    static std::optional<SortKey> sortKeyOf(const QString &text);
    /// The key a name sorts by: case folded, each run of digits as its
    /// length and value (leading zeros dropped), comparable code unit by
    /// code unit. Pure.
    static QString naturalKey(const QString &name);

    /// Where selection changes go: module and category of the files shown.
    /// The files of a review-only category can never be ticked.
    void setSelectionTarget(int moduleIndex, int categoryIndex);
    bool isReviewOnly() const { return m_reviewOnly; }
    /// Whether the boxes can be changed; says so with checkableChanged().
    void setCheckable(bool checkable);
    bool isCheckable() const { return m_checkable; }

    const std::vector<core::FolderInfoPtr> &files() const { return m_files; }
    const QString &keywords() const { return m_keywords; }

    /// The record of a row; null for an invalid index.
    core::FolderInfo *record(const QModelIndex &index) const;
    /// The same, shared: for whoever keeps the record beyond the next reload.
    core::FolderInfoPtr recordPtr(const QModelIndex &index) const;

    /// The full path of a record (its URL decoded), for display.
    static QString displayPath(const core::FolderInfo &record);
    /// Where a record of a Trash category was before it was trashed (its
    /// ".trashinfo" record, read once per reload); empty for any other.
    QString originOf(const core::FolderInfo &record) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    /// A box was set through the model: the category's state may have changed.
    void recordChecked();
    /// A sort that waited for a worker thread is shown.
    void sortShown();
    /// Whether boxes can be changed has changed: the views repaint what they show.
    void checkableChanged();

public:
    /// One key's order over every file of a reload: the positions in the
    /// stored list, smallest key first, equal keys in stored order, and
    /// where a run of equal keys goes on.
    struct Order
    {
        std::vector<std::uint32_t> files;
        std::vector<bool> tiesPrevious; // files[k] sorts equal to files[k - 1]
    };
    /// What a key's order is made from, read off the records on the GUI
    /// thread (a worker never reads a record): sizes, dates, or names (their
    /// bytes one after the other, nameEnds[k] where file k's name ends).
    struct SortInput
    {
        SortKey key = SortKey::Name;
        std::vector<std::int64_t> sizes;
        std::vector<core::Timestamp> dates;
        std::string names;
        std::vector<std::uint32_t> nameEnds;
    };
    static SortInput sortInput(const std::vector<core::FolderInfoPtr> &files, SortKey key);
    /// The order of `input`'s files by its key; pure. Gives up (an empty
    /// order) when `cancelled` turns true meanwhile.
    static Order makeOrder(const SortInput &input, const std::atomic<bool> &cancelled);
    /// The shown files `rows` (positions in the stored list) sorted through
    /// `order`: ascending, or descending with equal keys still in stored order. Pure.
    static std::vector<std::uint32_t> sortedRows(
        const Order &order, const std::vector<std::uint32_t> &rows, std::size_t fileCount, bool ascending);

private:
    /// Where the record of a row is kept; null for an invalid index.
    const core::FolderInfoPtr *slot(const QModelIndex &index) const;
    void emitRowChanged(const QModelIndex &index);
    /// The catalogue's position of a top-level record, checked against the
    /// catalogue; nullopt when the record is not there any more.
    std::optional<int> catalogueIndex(const core::FolderInfo *record) const;

    /// Shows `rows` in place of the current ones, moving the persistent
    /// indexes (selection, current row, expanded rows) with their files.
    void showRowsInOrder(std::vector<std::uint32_t> rows);
    /// Makes `key`'s order on a worker thread unless one is on its way.
    void startOrder(SortKey key);
    void orderReady(SortKey key, std::uint64_t generation, Order order);

    std::vector<core::FolderInfoPtr> m_files;
    QString m_keywords;
    // Whether each file of m_files has children, as it had at the reload.
    std::vector<bool> m_hasChildren;
    // Where each shown file is in m_files, in the order shown.
    std::vector<std::uint32_t> m_rows;
    // The names case-folded for the search, in UTF-8, one after the other
    // (m_foldedEnds[k] where file k's ends); made by the first search.
    std::string m_folded;
    std::vector<std::uint32_t> m_foldedEnds;
    // Each key's order for this reload (empty files: not made yet), and
    // whether a worker is making it.
    std::array<Order, 3> m_orders;
    std::array<bool, 3> m_ordering{};
    // The sort asked for that waits for its order.
    std::optional<std::pair<SortKey, bool>> m_wanted;
    // Counts reloads: an order made for an earlier one is dropped.
    std::uint64_t m_generation = 0;
    // Tells the workers of this reload to give up (set by the next reload).
    std::shared_ptr<std::atomic<bool>> m_cancel;
    // Held while the model lives: a worker's result finds it through a weak reference.
    std::shared_ptr<DetailDD *> m_alive;
    std::size_t m_backgroundFrom = 20'000;
    int m_moduleIndex = 0;
    int m_categoryIndex = 0;
    bool m_checkable = true;
    bool m_reviewOnly = false;
    bool m_trash = false; // the category lists a desktop Trash
    QString m_home; // the home folder, read at each reload (applicationOf)
    // Where trashed items came from, read when a row first asks.
    mutable std::unordered_map<const core::FolderInfo *, QString> m_origins;
};

/// A file or child row ("detailCell"), drawn over three columns: box, icon,
/// name over path (each cut once, in the middle, to the width there is: the
/// extension and the last folder stay; the full text as the tool tip of
/// each; a trashed item shows where it came from), size, and date
/// "yyyy-MM-dd HH:mm", in the theme styles
/// "table_title_font", "table_path_font", "table_size_font" and
/// "table_date_font"; a selected row is filled with "main_table_select_color". GUI thread.
class DetailCellView final : public CustomHighlineRowView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailCellView)

public:
    explicit DetailCellView(QObject *parent = nullptr);
    ~DetailCellView() override;

    void reloadStyle(const ThemeSnapshot &theme);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event,
        QAbstractItemModel *model,
        const QStyleOptionViewItem &option,
        const QModelIndex &index) override;
    bool helpEvent(QHelpEvent *event,
        QAbstractItemView *view,
        const QStyleOptionViewItem &option,
        const QModelIndex &index) override;

    static QRect checkRect(const QRect &cell);
    /// The line of the path inside a name cell.
    QRect pathRect(const QRect &cell) const;

    static constexpr int RowHeight = 46;
    static constexpr int IconSide = 24;

    /// The icon of a record: a folder, a link or the file type's icon from
    /// the desktop's theme (by the name's extension, no content read), with
    /// the style's icons where the theme has none. Cached per type.
    static QIcon iconFor(const core::FolderInfo &record);

protected:
    void paintContent(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    TextStyle m_title;
    TextStyle m_path;
    TextStyle m_size;
    TextStyle m_date;
};

} // namespace gui
