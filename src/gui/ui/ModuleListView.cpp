// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ModuleListView.h"

#include "platform/ImageStore.h"
#include "ui/ModuleListModel.h"

#include <QMouseEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace gui {

ModuleCellView::ModuleCellView(QObject *parent)
    : CustomHighlineRowView(parent)
{
}

ModuleCellView::~ModuleCellView() = default;

void ModuleCellView::setTitleStyle(const QFont &font, const QColor &color)
{
    m_font = font;
    m_color = color;
}

QSize ModuleCellView::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    return QSize(option.rect.width(), ModuleListModel::RowHeight);
}

void ModuleCellView::paintContent(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect row = option.rect;
    const QFontMetrics metrics(m_font);
    const int gap = 8;
    const int block = ImageSide + gap + metrics.height();
    const int top = row.top() + (row.height() - block) / 2;

    const QPixmap image = ImageStore::pixmap(index.data(ModuleListModel::ImageNameRole).toString(),
        QSize(ImageSide, ImageSide),
        painter->device()->devicePixelRatioF());
    if (!image.isNull()) {
        painter->drawPixmap(QPoint(row.center().x() - ImageSide / 2 + 1, top), image);
    }
    painter->save();
    painter->setFont(m_font);
    painter->setPen(m_color);
    const QRect textRect(row.left() + 6, top + ImageSide + gap, row.width() - 12, metrics.height());
    const QString title = metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignHCenter | Qt::AlignVCenter, title);
    painter->restore();
}

ModuleListView::ModuleListView(QWidget *parent)
    : QListView(parent)
{
    setObjectName(u"moduleView"_s);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(false);
    // The sidebar's own colour shows through.
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setStyleSheet(u"QListView { background: transparent; border: none; outline: none; }"_s);
}

ModuleListView::~ModuleListView() = default;

void ModuleListView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        m_pressing = true;
        Q_EMIT rowAsked(index.row());
    }
    QListView::mousePressEvent(event);
    m_pressing = false;
}

void ModuleListView::markRow(int row)
{
    const QModelIndex index = model() != nullptr ? model()->index(row, 0) : QModelIndex();
    if (!index.isValid() || index == currentIndex()) {
        return;
    }
    const bool pressing = m_pressing;
    m_pressing = true; // not asked: the screen is on view already
    setCurrentIndex(index);
    m_pressing = pressing;
}

void ModuleListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    // Keyboard moves; a click has already asked in mousePressEvent.
    if (!m_pressing && current.isValid() && current != previous && hasFocus()) {
        Q_EMIT rowAsked(current.row());
    }
}

} // namespace gui
