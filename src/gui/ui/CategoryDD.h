// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/CustomHighlineRowView.h"
#include "ui/ReviewCells.h"

#include <QAbstractListModel>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gui {

/// The category list of a detail screen: one row per category of module
/// `index` (picture, title, description, size found, tri-state box).
///
/// It shows the catalogue's categories as they were at the last reload
/// (reloadData) or row refresh (refreshRow); it changes a selection only
/// through ModuleInfo::updateState: a box set on or off sets the whole
/// category (every file and child), and a mixed box set by the view turns
/// on. With setCheckable(false) (while the module is being cleaned or
/// scanned) no box can be changed, and a review-only category's box never
/// can (core::isReviewOnly). GUI thread.
class CategoryDD : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CategoryDD)

public:
    enum Role {
        ImageNameRole = Qt::UserRole + 1, // QString: the category's image name
        DescriptionRole, // QString
        SizeRole, // qint64: bytes
        SizeTextRole, // QString: the size as the byte-count formatter writes it
        ReviewOnlyRole, // bool: listed for review only, never ticked or cleaned
    };

    /// Why a review-only category has no box to tick (its tool tip and accessible description).
    static QString reviewOnlyReason();

    /// `onSelectRow` runs when a row is about to become the selected one
    /// (the screen wires the view's current row to it).
    CategoryDD(int index, std::function<void(int row)> onSelectRow, QObject *parent = nullptr);
    ~CategoryDD() override;

    /// Shows the categories of module `index` from the catalogue (a reset).
    void reloadData(int index);
    /// Reads row `row` from the catalogue again (its size and box).
    void refreshRow(int row);

    using QAbstractListModel::index;
    /// The module shown.
    int index() const { return m_index; }
    void setIndex(int index) { m_index = index; }
    const QString &cellViewName() const { return m_cellViewName; }
    const std::function<void(int)> &onSelectRow() const { return m_onSelectRow; }

    void setCheckable(bool checkable);
    bool isCheckable() const { return m_checkable; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    static constexpr int RowHeight = 69;

Q_SIGNALS:
    /// The box of `row` was set through the model (the catalogue changed).
    void categoryChecked(int row);

private:
    struct Row
    {
        std::string title;
        std::string image;
        std::string description;
        std::int64_t size = 0;
        int state = 0;
        bool reviewOnly = false;
        std::vector<std::string> notes; // what the scan could not measure
    };
    Row rowOf(int row) const;
    /// "\nNot measured:" and a line per note; "" for a row without notes.
    static QString notesText(const Row &row);

    int m_index;
    std::function<void(int)> m_onSelectRow;
    QString m_cellViewName;
    std::vector<Row> m_rows;
    bool m_checkable = true;
};

/// A category row ("categoryCell"): box, picture, title over description,
/// size on the right, in the theme styles "category_title_font",
/// "category_description_font" and "category_size_font"; a selected row is
/// filled with "main_category_select_color". GUI thread.
class CategoryCellView final : public CustomHighlineRowView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CategoryCellView)

public:
    explicit CategoryCellView(QObject *parent = nullptr);
    ~CategoryCellView() override;

    /// Reads the styles and the selection colour from the theme again.
    void reloadStyle(const ThemeSnapshot &theme);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event,
        QAbstractItemModel *model,
        const QStyleOptionViewItem &option,
        const QModelIndex &index) override;

    /// The width a row needs to show every title of `model` whole, with its size.
    int widthFor(const QAbstractItemModel &model) const;

    /// Where the box of a row drawn in `cell` is.
    static QRect checkRect(const QRect &cell);

    static constexpr int ImageSide = 36;

protected:
    void paintContent(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    TextStyle m_title;
    TextStyle m_description;
    TextStyle m_size;
};

} // namespace gui
