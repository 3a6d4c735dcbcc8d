// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CategoryDD.h"

#include "engine/ModuleInfo.h"
#include "format/Format.h"
#include "platform/ImageStore.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

#include <QPainter>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

QString sizeText(std::int64_t bytes)
{
    return QString::fromStdString(core::format::formatByteCount(bytes));
}

} // namespace

QString CategoryDD::notesText(const Row &row)
{
    if (row.notes.empty()) {
        return {};
    }
    QString text = u"\nNot measured:"_s;
    for (const std::string &note : row.notes) {
        text += u"\n\u2022 "_s + QString::fromStdString(note);
    }
    return text;
}

CategoryDD::CategoryDD(int index, std::function<void(int row)> onSelectRow, QObject *parent)
    : QAbstractListModel(parent)
    , m_index(index)
    , m_onSelectRow(std::move(onSelectRow))
    , m_cellViewName(u"categoryCell"_s)
{
}

CategoryDD::~CategoryDD() = default;

CategoryDD::Row CategoryDD::rowOf(int row) const
{
    const core::Category *category = catalogueCategory(m_index, row);
    if (category == nullptr) {
        return {};
    }
    return Row{ category->title,
        category->image,
        category->description,
        category->size,
        category->state,
        core::isReviewOnly(*category),
        category->notes };
}

void CategoryDD::reloadData(int index)
{
    beginResetModel();
    m_index = index;
    m_rows.clear();
    if (const auto *categories = catalogueCategories(index)) {
        for (std::size_t i = 0; i < categories->size(); ++i) {
            m_rows.push_back(rowOf(static_cast<int>(i)));
        }
    }
    endResetModel();
}

void CategoryDD::refreshRow(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) {
        return;
    }
    m_rows[static_cast<std::size_t>(row)] = rowOf(row);
    const QModelIndex changed = index(row, 0);
    Q_EMIT dataChanged(changed, changed);
}

void CategoryDD::setCheckable(bool checkable)
{
    if (checkable == m_checkable) {
        return;
    }
    m_checkable = checkable;
    if (!m_rows.empty()) {
        Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(m_rows.size()) - 1, 0));
    }
}

int CategoryDD::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant CategoryDD::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row &row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(row.title);
    case Qt::AccessibleTextRole:
        return QString(QString::fromStdString(row.title) + u", "_s + sizeText(row.size));
    case Qt::AccessibleDescriptionRole:
        if (row.reviewOnly) {
            return QString(QString::fromStdString(row.description) + u". "_s + reviewOnlyReason());
        }
        return QString(stateWords(row.state) + u". "_s + QString::fromStdString(row.description) + notesText(row));
    case Qt::ToolTipRole: {
        // The title too: a narrow column cuts it.
        QString tip = QString::fromStdString(row.title) + u"\n"_s + QString::fromStdString(row.description);
        if (row.reviewOnly) {
            tip += u"\n"_s + reviewOnlyReason();
        }
        return QString(tip + notesText(row));
    }
    case DescriptionRole:
        // What could not be measured matters more than the description the user has read before.
        return row.notes.empty() ? QString::fromStdString(row.description)
                                 : QString(u"Not all measured: "_s + QString::fromStdString(row.notes.front()));
    case ReviewOnlyRole:
        return row.reviewOnly;
    case Qt::CheckStateRole:
        return checkStateOf(row.state);
    case ImageNameRole:
        return QString::fromStdString(row.image);
    case SizeRole:
        return QVariant::fromValue<qint64>(row.size);
    case SizeTextRole:
        return sizeText(row.size);
    default:
        return {};
    }
}

QString CategoryDD::reviewOnlyReason()
{
    return u"For review only: these files belong to installed packages, so Spruce never deletes them "
           u"and they cannot be selected. Remove them with the package manager."_s;
}

bool CategoryDD::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !m_checkable
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return false;
    }
    const core::Category *category = catalogueCategory(m_index, index.row());
    if (category == nullptr || core::isReviewOnly(*category)) {
        return false;
    }
    core::ModuleInfo::updateState(stateFromCheckValue(value), m_index, index.row(), -1, -1);
    refreshRow(index.row());
    Q_EMIT categoryChecked(index.row());
    return true;
}

Qt::ItemFlags CategoryDD::flags(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    const auto row = static_cast<std::size_t>(index.row());
    if (m_checkable && row < m_rows.size() && !m_rows[row].reviewOnly) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

CategoryCellView::CategoryCellView(QObject *parent)
    : CustomHighlineRowView(parent)
{
}

CategoryCellView::~CategoryCellView() = default;

void CategoryCellView::reloadStyle(const ThemeSnapshot &theme)
{
    m_title = TextStyle::of(theme, "category_title_font");
    m_description = TextStyle::of(theme, "category_description_font");
    m_size = TextStyle::of(theme, "category_size_font");
    setTableSelectColor(theme.color("main_category_select_color"));
}

QSize CategoryCellView::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    return QSize(option.rect.width(), CategoryDD::RowHeight);
}

int CategoryCellView::widthFor(const QAbstractItemModel &model) const
{
    const QFontMetrics titleMetrics(m_title.font);
    const QFontMetrics sizeMetrics(m_size.font);
    int titles = 0;
    int sizes = sizeMetrics.horizontalAdvance(u"999.9 MB"_s);
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        titles = std::max(titles, titleMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()));
        sizes = std::max(sizes, sizeMetrics.horizontalAdvance(index.data(CategoryDD::SizeTextRole).toString()));
    }
    // Box, picture, title, size: as paintContent lays them out.
    return 10 + CheckBoxSide + 10 + ImageSide + 10 + titles + 10 + sizes + 10;
}

QRect CategoryCellView::checkRect(const QRect &cell)
{
    return checkBoxRect(cell, cell.left() + 10);
}

bool CategoryCellView::editorEvent(
    QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    return toggleCheckOnEvent(event, model, index, checkRect(option.rect));
}

void CategoryCellView::paintContent(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect row = option.rect;
    const QRect box = checkRect(row);
    paintCheckBox(painter,
        option,
        box,
        index.data(Qt::CheckStateRole).value<Qt::CheckState>(),
        !index.data(CategoryDD::ReviewOnlyRole).toBool());

    const int imageLeft = box.right() + 10;
    const QPixmap image = ImageStore::pixmap(index.data(CategoryDD::ImageNameRole).toString(),
        QSize(ImageSide, ImageSide),
        painter->device()->devicePixelRatioF());
    if (!image.isNull()) {
        painter->drawPixmap(QPoint(imageLeft, row.top() + (row.height() - ImageSide) / 2), image);
    }

    painter->save();
    const QString size = index.data(CategoryDD::SizeTextRole).toString();
    const QFontMetrics sizeMetrics(m_size.font);
    const int sizeWidth = sizeMetrics.horizontalAdvance(size);
    const QRect sizeRect(row.right() - 10 - sizeWidth, row.top(), sizeWidth, row.height());
    painter->setFont(m_size.font);
    painter->setPen(m_size.color);
    painter->drawText(sizeRect, Qt::AlignVCenter | Qt::AlignRight, size);

    const int textLeft = imageLeft + ImageSide + 10;
    const int textWidth = std::max(0, sizeRect.left() - 10 - textLeft);
    const QFontMetrics titleMetrics(m_title.font);
    const QFontMetrics descriptionMetrics(m_description.font);
    const int block = titleMetrics.height() + 2 + descriptionMetrics.height();
    const int top = row.top() + (row.height() - block) / 2;
    painter->setFont(m_title.font);
    painter->setPen(m_title.color);
    painter->drawText(QRect(textLeft, top, textWidth, titleMetrics.height()),
        Qt::AlignVCenter | Qt::AlignLeft,
        titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth));
    painter->setFont(m_description.font);
    painter->setPen(m_description.color);
    painter->drawText(QRect(textLeft, top + titleMetrics.height() + 2, textWidth, descriptionMetrics.height()),
        Qt::AlignVCenter | Qt::AlignLeft,
        descriptionMetrics.elidedText(index.data(CategoryDD::DescriptionRole).toString(), Qt::ElideRight, textWidth));
    painter->restore();
}

} // namespace gui
