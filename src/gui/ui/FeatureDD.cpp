// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FeatureDD.h"

#include "platform/ImageStore.h"

#include <QPainter>

namespace gui {

FeatureDD::FeatureDD(std::vector<core::Feature> features, QString cellViewName, QObject *parent)
    : QAbstractListModel(parent)
    , m_features(std::move(features))
    , m_cellViewName(std::move(cellViewName))
{
}

FeatureDD::~FeatureDD() = default;

void FeatureDD::setFeatures(std::vector<core::Feature> features)
{
    beginResetModel();
    m_features = std::move(features);
    endResetModel();
}

int FeatureDD::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_features.size());
}

QVariant FeatureDD::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const core::Feature &feature = m_features[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return QString::fromStdString(feature.description);
    case ImageNameRole:
        return QString::fromStdString(feature.image);
    default:
        return {};
    }
}

Qt::ItemFlags FeatureDD::flags(const QModelIndex &index) const
{
    // Shown and read, never selected.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

FeatureCellView::FeatureCellView(QObject *parent)
    : CustomHighlineRowView(parent)
{
    setTableSelectColor(Qt::transparent);
}

FeatureCellView::~FeatureCellView() = default;

void FeatureCellView::reloadStyle(const ThemeSnapshot &theme)
{
    m_text = TextStyle::of(theme, "module_feature_font");
}

QSize FeatureCellView::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    return QSize(option.rect.width(), FeatureDD::RowHeight);
}

void FeatureCellView::paintContent(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect row = option.rect;
    const QPixmap image = ImageStore::pixmap(index.data(FeatureDD::ImageNameRole).toString(),
        QSize(ImageSide, ImageSide),
        painter->device()->devicePixelRatioF());
    const int imageLeft = row.left() + 8;
    if (!image.isNull()) {
        painter->drawPixmap(QPoint(imageLeft, row.top() + (row.height() - ImageSide) / 2), image);
    }
    painter->save();
    painter->setFont(m_text.font);
    painter->setPen(m_text.color);
    const QRect textRect(
        imageLeft + ImageSide + 16, row.top() + 4, row.right() - imageLeft - ImageSide - 24, row.height() - 8);
    // Two lines at most; a longer description ends in an ellipsis rather than leaving the row.
    const QFontMetrics metrics(m_text.font);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect needed = metrics.boundingRect(textRect, Qt::TextWordWrap, text);
    if (needed.height() <= textRect.height()) {
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, text);
    } else {
        painter->drawText(
            textRect, Qt::AlignVCenter | Qt::AlignLeft, metrics.elidedText(text, Qt::ElideRight, textRect.width()));
    }
    painter->restore();
}

} // namespace gui
