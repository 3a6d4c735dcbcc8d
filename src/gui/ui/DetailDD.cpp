// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DetailDD.h"

#include "engine/ModuleInfo.h"
#include "engine/TrashPairs.h"
#include "format/FileUrl.h"
#include "format/Format.h"
#include "platform/Services.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileIconProvider>
#include <QHelpEvent>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <tuple>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

QString nameOf(const core::FolderInfo &record)
{
    const std::string_view name = record.nameView();
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

/// Sorts `positions` by `key` of the file each names, smallest or largest
/// first; equal keys keep their order.
template<typename Key> void sortPositions(std::vector<std::size_t> &positions, bool ascending, Key key)
{
    if (ascending) {
        std::stable_sort(positions.begin(), positions.end(), [&key](std::size_t a, std::size_t b) {
            return key(a) < key(b);
        });
    } else {
        std::stable_sort(positions.begin(), positions.end(), [&key](std::size_t a, std::size_t b) {
            return key(b) < key(a);
        });
    }
}

} // namespace

DetailDD::DetailDD(QObject *parent)
    : QAbstractItemModel(parent)
{
}

DetailDD::~DetailDD() = default;

QString DetailDD::displayPath(const core::FolderInfo &record)
{
    const std::string path = core::format::pathFromFileUrl(record.url()).value_or(record.url());
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}

QString DetailDD::originOf(const core::FolderInfo &record) const
{
    if (!m_trash) {
        return {};
    }
    const auto found = m_origins.find(&record);
    if (found != m_origins.end()) {
        return found->second;
    }
    QString origin;
    if (const std::optional<core::tree::TrashInfo> info = core::trashedItemInfo(record)) {
        origin = QString::fromUtf8(info->path.data(), static_cast<qsizetype>(info->path.size()));
    }
    return m_origins.emplace(&record, origin).first->second;
}

void DetailDD::reloadData(std::vector<core::FolderInfoPtr> files)
{
    m_home = QString::fromStdString(core::platform::services().user.homeDir);
    m_origins.clear();
    m_files = std::move(files);
    m_foldedNames.clear();
    m_nameKeys.clear();
    searchFiles(m_keywords);
}

void DetailDD::searchFiles(const QString &keywords)
{
    beginResetModel();
    m_keywords = keywords;
    m_filterPositions.clear();
    if (keywords.isEmpty()) {
        m_filterFiles = m_files;
        m_filterPositions.resize(m_files.size());
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            m_filterPositions[i] = i;
        }
    } else {
        if (m_foldedNames.size() != m_files.size()) {
            m_foldedNames.clear();
            m_foldedNames.reserve(m_files.size());
            for (const auto &file : m_files) {
                m_foldedNames.push_back(nameOf(*file).toCaseFolded());
            }
        }
        // Case folding on both sides: "ÄRGER" finds "ärger", "STRASSE" not "straße" (no expansion).
        const QString needle = keywords.toCaseFolded();
        m_filterFiles.clear();
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            if (m_foldedNames[i].contains(needle)) {
                m_filterFiles.push_back(m_files[i]);
                m_filterPositions.push_back(i);
            }
        }
    }
    endResetModel();
}

std::optional<DetailDD::SortKey> DetailDD::sortKeyOf(const QString &text)
{
    if (text == u"name"_s) {
        return SortKey::Name;
    }
    if (text == u"size"_s) {
        return SortKey::Size;
    }
    if (text == u"date"_s) {
        return SortKey::Date;
    }
    return std::nullopt;
}

void DetailDD::sortDetailData(const QString &sortDirection, const QString &sortby)
{
    if (const std::optional<SortKey> key = sortKeyOf(sortby)) {
        sortFiles(*key, sortDirection == u"ascending"_s);
    }
}

QString DetailDD::naturalKey(const QString &name)
{
    const QString folded = name.toCaseFolded();
    QString key;
    key.reserve(folded.size() + 4);
    const qsizetype size = folded.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = folded.at(i);
        if (c < u'0' || c > u'9') {
            key.append(c);
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < size && folded.at(end) >= u'0' && folded.at(end) <= u'9') {
            ++end;
        }
        qsizetype first = i;
        while (first + 1 < end && folded.at(first) == u'0') {
            ++first;
        }
        // '0', then the count of digits (a longer number is a bigger one), then the digits.
        key.append(u'0');
        key.append(QChar(static_cast<char16_t>(0x30 + std::min<qsizetype>(end - first, 0xFFCF))));
        key.append(QStringView(folded).mid(first, end - first));
        i = end;
    }
    return key;
}

void DetailDD::sortFiles(SortKey key, bool ascending)
{
    beginResetModel();
    std::vector<std::size_t> &positions = m_filterPositions;
    switch (key) {
    case SortKey::Name:
        if (m_nameKeys.size() != m_files.size()) {
            m_nameKeys.clear();
            m_nameKeys.reserve(m_files.size());
            for (const auto &file : m_files) {
                m_nameKeys.push_back(naturalKey(nameOf(*file)));
            }
        }
        sortPositions(positions, ascending, [this](std::size_t at) {
            // The name's bytes break ties between names that read the same ("A" and "a").
            return std::tuple<const QString &, std::string_view>(m_nameKeys[at], m_files[at]->nameView());
        });
        break;
    case SortKey::Size:
        sortPositions(positions, ascending, [this](std::size_t at) {
            return m_files[at]->size;
        });
        break;
    case SortKey::Date:
        sortPositions(positions, ascending, [this](std::size_t at) {
            return m_files[at]->date;
        });
        break;
    }
    for (std::size_t i = 0; i < positions.size(); ++i) {
        m_filterFiles[i] = m_files[positions[i]];
    }
    endResetModel();
}

void DetailDD::setSelectionTarget(int moduleIndex, int categoryIndex)
{
    m_moduleIndex = moduleIndex;
    m_categoryIndex = categoryIndex;
    const core::Category *category = catalogueCategory(moduleIndex, categoryIndex);
    m_reviewOnly = category != nullptr && core::isReviewOnly(*category);
    const bool trash = category != nullptr && category->kind == core::CategoryKind::Trash;
    if (trash != m_trash) {
        m_trash = trash;
        m_origins.clear();
    }
}

void DetailDD::setCheckable(bool checkable)
{
    if (checkable == m_checkable) {
        return;
    }
    // Only the flags change; views ask for them again on the next repaint.
    m_checkable = checkable;
    if (!m_filterFiles.empty()) {
        Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(m_filterFiles.size()) - 1, ColumnCount - 1));
    }
}

const core::FolderInfoPtr *DetailDD::slot(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this) {
        return nullptr;
    }
    const auto id = index.internalId();
    const auto row = static_cast<std::size_t>(index.row());
    if (id == 0) {
        return row < m_filterFiles.size() ? &m_filterFiles[row] : nullptr;
    }
    const std::size_t parentRow = id - 1;
    if (parentRow >= m_filterFiles.size()) {
        return nullptr;
    }
    const auto &children = m_filterFiles[parentRow]->children;
    return row < children.size() ? &children[row] : nullptr;
}

core::FolderInfoPtr DetailDD::recordPtr(const QModelIndex &index) const
{
    const core::FolderInfoPtr *found = slot(index);
    return found != nullptr ? *found : nullptr;
}

core::FolderInfo *DetailDD::record(const QModelIndex &index) const
{
    const core::FolderInfoPtr *found = slot(index);
    return found != nullptr ? found->get() : nullptr;
}

QModelIndex DetailDD::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount || row >= rowCount(parent)) {
        return {};
    }
    if (!parent.isValid()) {
        return createIndex(row, column, quintptr(0));
    }
    return createIndex(row, column, quintptr(parent.row()) + 1);
}

QModelIndex DetailDD::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0) {
        return {};
    }
    return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr(0));
}

int DetailDD::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid()) {
        return static_cast<int>(m_filterFiles.size());
    }
    if (parent.column() != 0 || parent.internalId() != 0) {
        return 0; // two levels: children have none
    }
    const core::FolderInfo *file = record(parent);
    return file != nullptr ? static_cast<int>(file->children.size()) : 0;
}

int DetailDD::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return ColumnCount;
}

bool DetailDD::hasChildren(const QModelIndex &parent) const
{
    // Asked for every first-level row whenever the outline lays itself out: kept to a lookup.
    if (!parent.isValid()) {
        return !m_filterFiles.empty();
    }
    const auto row = static_cast<std::size_t>(parent.row());
    return parent.internalId() == 0 && parent.column() == 0 && parent.model() == this && row < m_filterFiles.size()
        && !m_filterFiles[row]->children.empty();
}

QVariant DetailDD::data(const QModelIndex &index, int role) const
{
    const core::FolderInfo *item = record(index);
    if (item == nullptr) {
        return {};
    }
    const int column = index.column();
    if (role == SizeRole) {
        return QVariant::fromValue<qint64>(item->size);
    }
    if (column == NameColumn) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return nameOf(*item);
        case ShortNameRole:
            return shortened(nameOf(*item), ShownLength);
        case PathRole:
            return displayPath(*item);
        case ShortPathRole:
            return shortened(displayPath(*item), ShownLength);
        case OriginRole:
            return originOf(*item);
        case ApplicationRole:
            return m_trash ? QString() : applicationOf(displayPath(*item), m_home);
        case LineRole: {
            const QString origin = originOf(*item);
            if (origin.isEmpty()) {
                return displayPath(*item);
            }
            // The name is on the line above: the folder it came from says the rest.
            const qsizetype slash = origin.lastIndexOf(u'/');
            return QString(u"From "_s + (slash > 0 ? origin.left(slash) : u"/"_s));
        }
        case Qt::CheckStateRole:
            return checkStateOf(item->checked);
        case Qt::AccessibleDescriptionRole: {
            const QString state = m_reviewOnly ? u"for review only"_s : stateWords(item->checked);
            const QString origin = originOf(*item);
            if (!origin.isEmpty()) {
                return QString(state + u", from "_s + origin + u", deleted "_s
                    + QString::fromStdString(core::format::formatDate(item->date)) + u", in the Trash at "_s
                    + displayPath(*item));
            }
            const QString path = displayPath(*item);
            if (const QString application = applicationOf(path, m_home); !application.isEmpty()) {
                return QString(state + u", "_s + application + u", "_s + path);
            }
            return QString(state + u", "_s + path);
        }
        default:
            return {};
        }
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        if (column == SizeColumn) {
            return QString::fromStdString(core::format::formatByteCount(item->size));
        }
        return QString::fromStdString(core::format::formatDate(item->date));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignVCenter | (column == SizeColumn ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

std::optional<int> DetailDD::catalogueIndex(const core::FolderInfo *file) const
{
    const core::Category *category = catalogueCategory(m_moduleIndex, m_categoryIndex);
    if (category == nullptr) {
        return std::nullopt;
    }
    const auto &files = category->files;
    const auto at = static_cast<std::size_t>(file->findex);
    if (file->findex >= 0 && at < files.size() && files[at].get() == file) {
        return static_cast<int>(at);
    }
    return std::nullopt;
}

bool DetailDD::setData(const QModelIndex &index, const QVariant &value, int role)
{
    core::FolderInfo *item = record(index);
    if (role != Qt::CheckStateRole || !m_checkable || m_reviewOnly || item == nullptr || index.column() != NameColumn) {
        return false;
    }
    const int state = stateFromCheckValue(value);
    const QModelIndex parentIndex = index.parent();
    if (parentIndex.isValid()) {
        core::FolderInfo *file = record(parentIndex);
        const std::optional<int> fileIndex = catalogueIndex(file);
        const auto childAt = static_cast<std::size_t>(item->findex);
        if (!fileIndex || item->findex < 0 || childAt >= file->children.size()
            || file->children[childAt].get() != item) {
            return false;
        }
        core::ModuleInfo::updateState(
            state, m_moduleIndex, m_categoryIndex, *fileIndex, static_cast<int>(item->findex));
        emitRowChanged(index);
        emitRowChanged(parentIndex);
    } else {
        const std::optional<int> fileIndex = catalogueIndex(item);
        if (!fileIndex) {
            return false;
        }
        if (!item->children.empty()) {
            core::ModuleInfo::updateState(state, m_moduleIndex, m_categoryIndex, *fileIndex, -1);
            emitRowChanged(index);
            const QModelIndex first = this->index(0, 0, index.siblingAtColumn(0));
            const QModelIndex last =
                this->index(rowCount(index.siblingAtColumn(0)) - 1, ColumnCount - 1, index.siblingAtColumn(0));
            Q_EMIT dataChanged(first, last);
        } else {
            core::ModuleInfo::updateState(state, m_moduleIndex, m_categoryIndex, *fileIndex, std::nullopt);
            emitRowChanged(index);
        }
    }
    Q_EMIT recordChecked();
    return true;
}

void DetailDD::emitRowChanged(const QModelIndex &index)
{
    Q_EMIT dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(ColumnCount - 1));
}

Qt::ItemFlags DetailDD::flags(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != 0) {
        flags |= Qt::ItemNeverHasChildren;
    }
    if (m_checkable && !m_reviewOnly && index.column() == NameColumn) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant DetailDD::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case NameColumn:
        return u"Name"_s;
    case SizeColumn:
        return u"Size"_s;
    case DateColumn:
        return u"Modified"_s;
    default:
        return {};
    }
}

DetailCellView::DetailCellView(QObject *parent)
    : CustomHighlineRowView(parent)
{
}

DetailCellView::~DetailCellView() = default;

void DetailCellView::reloadStyle(const ThemeSnapshot &theme)
{
    m_title = TextStyle::of(theme, "table_title_font");
    m_path = TextStyle::of(theme, "table_path_font");
    m_size = TextStyle::of(theme, "table_size_font");
    m_date = TextStyle::of(theme, "table_date_font");
    setTableSelectColor(theme.color("main_table_select_color"));
}

QSize DetailCellView::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (index.column() == DetailDD::NameColumn) {
        return QSize(option.rect.width(), RowHeight);
    }
    const TextStyle &style = index.column() == DetailDD::SizeColumn ? m_size : m_date;
    const int width = QFontMetrics(style.font).horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 24;
    return QSize(width, RowHeight);
}

QRect DetailCellView::checkRect(const QRect &cell)
{
    return checkBoxRect(cell, cell.left() + 4);
}

QRect DetailCellView::pathRect(const QRect &cell) const
{
    const int textLeft = checkRect(cell).right() + 8 + IconSide + 8;
    const int titleHeight = QFontMetrics(m_title.font).height();
    const int pathHeight = QFontMetrics(m_path.font).height();
    const int top = cell.top() + (cell.height() - titleHeight - pathHeight) / 2 + titleHeight;
    return QRect(textLeft, top, std::max(0, cell.right() - textLeft), pathHeight);
}

bool DetailCellView::editorEvent(
    QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    // Space toggles the row's box whichever column holds the focus; a click only on the box.
    if (event->type() == QEvent::KeyPress) {
        return toggleCheckOnEvent(event, model, index.siblingAtColumn(DetailDD::NameColumn), QRect());
    }
    if (index.column() != DetailDD::NameColumn) {
        return false;
    }
    return toggleCheckOnEvent(event, model, index, checkRect(option.rect));
}

bool DetailCellView::helpEvent(
    QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || index.column() != DetailDD::NameColumn) {
        return CustomHighlineRowView::helpEvent(event, view, option, index);
    }
    // The name's tool tip over the name, the path's over the path.
    const bool overPath = pathRect(option.rect).contains(event->pos());
    QString text = index.data(overPath ? int(DetailDD::PathRole) : int(Qt::ToolTipRole)).toString();
    if (const QString origin = index.data(DetailDD::OriginRole).toString(); overPath && !origin.isEmpty()) {
        text = u"From "_s + origin + u"\nIn the Trash at "_s + text;
    }
    QToolTip::showText(event->globalPos(), text, view);
    return true;
}

QIcon DetailCellView::iconFor(const core::FolderInfo &record)
{
    static QFileIconProvider provider;
    static std::unordered_map<QString, QIcon> byType;
    QString type;
    if (record.isFolder || record.icon().kind == core::IconRef::Kind::Folder
        || record.icon().kind == core::IconRef::Kind::Package) {
        type = u"inode/directory"_s;
    } else if (record.icon().kind == core::IconRef::Kind::Symlink) {
        type = u"inode/symlink"_s;
    } else {
        static QMimeDatabase mimes;
        type = mimes.mimeTypeForFile(nameOf(record), QMimeDatabase::MatchExtension).name();
    }
    if (const auto found = byType.find(type); found != byType.end()) {
        return found->second;
    }
    QIcon icon;
    if (type == u"inode/directory"_s) {
        icon = QIcon::fromTheme(u"folder"_s, provider.icon(QFileIconProvider::Folder));
    } else if (type == u"inode/symlink"_s) {
        icon = QIcon::fromTheme(u"emblem-symbolic-link"_s, provider.icon(QFileIconProvider::File));
    } else {
        static QMimeDatabase mimes;
        const QMimeType mime = mimes.mimeTypeForName(type);
        icon = QIcon::fromTheme(mime.iconName(),
            QIcon::fromTheme(mime.genericIconName(), QApplication::style()->standardIcon(QStyle::SP_FileIcon)));
    }
    byType.emplace(type, icon);
    return icon;
}

void DetailCellView::paintContent(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect cell = option.rect;
    const auto *model = qobject_cast<const DetailDD *>(index.model());
    const core::FolderInfo *item = model != nullptr ? model->record(index) : nullptr;
    if (item == nullptr) {
        return;
    }
    painter->save();
    if (index.column() != DetailDD::NameColumn) {
        const TextStyle &style = index.column() == DetailDD::SizeColumn ? m_size : m_date;
        painter->setFont(style.font);
        painter->setPen(style.color);
        const QRect text = cell.adjusted(8, 0, -8, 0);
        painter->drawText(text,
            static_cast<int>(index.data(Qt::TextAlignmentRole).value<Qt::Alignment>()),
            QFontMetrics(style.font).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
        painter->restore();
        return;
    }

    const QRect box = checkRect(cell);
    paintCheckBox(painter, option, box, index.data(Qt::CheckStateRole).value<Qt::CheckState>(), !model->isReviewOnly());
    const QRect iconRect(box.right() + 8, cell.top() + (cell.height() - IconSide) / 2, IconSide, IconSide);
    iconFor(*item).paint(painter, iconRect);

    const QRect path = pathRect(cell);
    const QFontMetrics titleMetrics(m_title.font);
    const QRect title(path.left(), path.top() - titleMetrics.height(), path.width(), titleMetrics.height());
    // Cut once, to the width there is, in the middle: the extension and the last folder stay.
    painter->setFont(m_title.font);
    painter->setPen(m_title.color);
    painter->drawText(title,
        Qt::AlignVCenter | Qt::AlignLeft,
        elideName(index.data(Qt::DisplayRole).toString(), title.width(), [&titleMetrics](const QString &text) {
            return titleMetrics.horizontalAdvance(text);
        }));
    painter->setFont(m_path.font);
    painter->setPen(m_path.color);
    const QFontMetrics pathMetrics(m_path.font);
    QRect line = path;
    // Rows that look alike ("data_0", "Cache_Data") start their line with the application they belong to.
    if (const QString application = index.data(DetailDD::ApplicationRole).toString(); !application.isEmpty()) {
        const QString lead = elideName(application, path.width() / 3, [&pathMetrics](const QString &text) {
            return pathMetrics.horizontalAdvance(text);
        }) + u" · "_s;
        QFont bold = m_path.font;
        bold.setBold(true);
        painter->setFont(bold);
        const int used = QFontMetrics(bold).horizontalAdvance(lead);
        painter->drawText(line, Qt::AlignVCenter | Qt::AlignLeft, lead);
        painter->setFont(m_path.font);
        line.setLeft(line.left() + used);
    }
    painter->drawText(line,
        Qt::AlignVCenter | Qt::AlignLeft,
        elidePath(index.data(DetailDD::LineRole).toString(), line.width(), [&pathMetrics](const QString &text) {
            return pathMetrics.horizontalAdvance(text);
        }));
    painter->restore();
}

} // namespace gui
