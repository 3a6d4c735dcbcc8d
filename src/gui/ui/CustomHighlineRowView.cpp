// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CustomHighlineRowView.h"

#include <QPainter>

namespace gui {

CustomHighlineRowView::CustomHighlineRowView(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

CustomHighlineRowView::~CustomHighlineRowView() = default;

void CustomHighlineRowView::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->fillRect(option.rect, rowFill(selected));
    painter->restore();
    QStyleOptionViewItem content = option;
    // The fill above replaces the platform's highlight and focus frame.
    content.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
    paintContent(painter, content, index);
}

void CustomHighlineRowView::paintContent(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
}

} // namespace gui
