// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace gui {

/// The row look of every table and list of the application: a selected row
/// is filled with `tableSelectColor` (a theme colour), any other row with
/// the clear colour, in place of the platform's own selection highlight.
/// Subclasses draw the cell content on top with paintContent(). GUI thread.
class CustomHighlineRowView : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CustomHighlineRowView)

public:
    explicit CustomHighlineRowView(QObject *parent = nullptr);
    ~CustomHighlineRowView() override;

    QColor tableSelectColor() const { return m_tableSelectColor; }
    void setTableSelectColor(const QColor &color) { m_tableSelectColor = color; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const final;

    /// The colour a row is filled with: `tableSelectColor` when selected, clear otherwise. Pure.
    QColor rowFill(bool selected) const { return selected ? m_tableSelectColor : QColor(Qt::transparent); }

protected:
    /// Draws the content of a cell over its row fill. The default draws the
    /// standard item content without any selection highlight.
    virtual void paintContent(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const;

private:
    QColor m_tableSelectColor = Qt::white;
};

} // namespace gui
