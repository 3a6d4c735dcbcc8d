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
#include <QCoreApplication>
#include <QFileIconProvider>
#include <QHelpEvent>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>
#include <QThreadPool>
#include <QToolTip>

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

QString nameOf(const core::FolderInfo &record)
{
    const std::string_view name = record.nameView();
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

/// Appends the case-folded `name` to `out` in UTF-8: ASCII names by a
/// table (folding only changes A-Z there), any other through QString.
void appendFolded(std::string &out, std::string_view name)
{
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    });
    if (ascii) {
        for (const char c : name) {
            out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
        }
        return;
    }
    out += QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toCaseFolded().toUtf8().toStdString();
}

std::uint32_t toPosition(std::size_t at)
{
    return static_cast<std::uint32_t>(at);
}

} // namespace

DetailDD::DetailDD(QObject *parent)
    : QAbstractItemModel(parent)
    , m_cancel(std::make_shared<std::atomic<bool>>(false))
    , m_alive(std::make_shared<DetailDD *>(this))
{
}

DetailDD::~DetailDD()
{
    m_cancel->store(true);
}

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
    // Read once here: the outline asks for every row at each layout, and a
    // record is a cache miss away where a bit here is not.
    m_hasChildren.assign(m_files.size(), false);
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        m_hasChildren[i] = !m_files[i]->children.empty();
    }
    m_folded.clear();
    m_folded.shrink_to_fit();
    m_foldedEnds = {};
    // Orders of the records before are of no use now; their workers stop.
    ++m_generation;
    m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_orders = {};
    m_ordering = {};
    searchFiles(m_keywords);
}

void DetailDD::searchFiles(const QString &keywords)
{
    beginResetModel();
    m_keywords = keywords;
    m_wanted.reset();
    m_rows.clear();
    if (keywords.isEmpty()) {
        m_rows.resize(m_files.size());
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            m_rows[i] = toPosition(i);
        }
    } else {
        if (m_foldedEnds.size() != m_files.size()) {
            m_folded.clear();
            m_foldedEnds.clear();
            m_foldedEnds.reserve(m_files.size());
            for (const auto &file : m_files) {
                appendFolded(m_folded, file->nameView());
                m_foldedEnds.push_back(toPosition(m_folded.size()));
            }
        }
        // Case folding on both sides: "ÄRGER" finds "ärger", "STRASSE" not "straße"
        // (no expansion). A match in UTF-8 is a match in the text: no character's
        // bytes occur inside another's.
        const QByteArray needleBytes = keywords.toCaseFolded().toUtf8();
        const std::string_view needle(needleBytes.constData(), static_cast<std::size_t>(needleBytes.size()));
        const std::string_view folded(m_folded);
        std::size_t begin = 0;
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            const std::size_t end = m_foldedEnds[i];
            if (folded.substr(begin, end - begin).find(needle) != std::string_view::npos) {
                m_rows.push_back(toPosition(i));
            }
            begin = end;
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

DetailDD::SortInput DetailDD::sortInput(const std::vector<core::FolderInfoPtr> &files, SortKey key)
{
    SortInput input;
    input.key = key;
    switch (key) {
    case SortKey::Name:
        input.nameEnds.reserve(files.size());
        for (const auto &file : files) {
            input.names += file->nameView();
            input.nameEnds.push_back(toPosition(input.names.size()));
        }
        break;
    case SortKey::Size:
        input.sizes.reserve(files.size());
        for (const auto &file : files) {
            input.sizes.push_back(file->size);
        }
        break;
    case SortKey::Date:
        input.dates.reserve(files.size());
        for (const auto &file : files) {
            input.dates.push_back(file->date);
        }
        break;
    }
    return input;
}

namespace {

/// Sorts `order` (positions) by `less`, equal keys in position order, and
/// marks where a run of equal keys goes on.
template<typename Less> DetailDD::Order orderBy(std::size_t count, Less less)
{
    DetailDD::Order order;
    order.files.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        order.files[i] = toPosition(i);
    }
    std::sort(order.files.begin(), order.files.end(), [&less](std::uint32_t a, std::uint32_t b) {
        return less(a, b) || (!less(b, a) && a < b);
    });
    order.tiesPrevious.resize(count);
    for (std::size_t k = 1; k < count; ++k) {
        order.tiesPrevious[k] = !less(order.files[k - 1], order.files[k]);
    }
    return order;
}

} // namespace

DetailDD::Order DetailDD::makeOrder(const SortInput &input, const std::atomic<bool> &cancelled)
{
    switch (input.key) {
    case SortKey::Size:
        return orderBy(input.sizes.size(), [&input](std::uint32_t a, std::uint32_t b) {
            return input.sizes[a] < input.sizes[b];
        });
    case SortKey::Date:
        return orderBy(input.dates.size(), [&input](std::uint32_t a, std::uint32_t b) {
            return input.dates[a] < input.dates[b];
        });
    case SortKey::Name:
        break;
    }
    // The name keys, one after the other in one buffer: a few bytes a file
    // more than the names, and gone once the order is made.
    const std::size_t count = input.nameEnds.size();
    std::u16string keys;
    keys.reserve(input.names.size() + input.names.size() / 4);
    std::vector<std::uint32_t> keyEnds(count);
    std::size_t begin = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 4096 == 0 && cancelled.load(std::memory_order_relaxed)) {
            return {};
        }
        const std::size_t end = input.nameEnds[i];
        const QString key =
            naturalKey(QString::fromUtf8(input.names.data() + begin, static_cast<qsizetype>(end - begin)));
        keys.append(reinterpret_cast<const char16_t *>(key.utf16()), static_cast<std::size_t>(key.size()));
        keyEnds[i] = toPosition(keys.size());
        begin = end;
    }
    const std::u16string_view allKeys(keys);
    const std::string_view allNames(input.names);
    const auto keyOf = [&](std::uint32_t at) {
        const std::size_t from = at == 0 ? 0 : keyEnds[at - 1];
        return allKeys.substr(from, keyEnds[at] - from);
    };
    const auto nameOf = [&](std::uint32_t at) {
        const std::size_t from = at == 0 ? 0 : input.nameEnds[at - 1];
        return allNames.substr(from, input.nameEnds[at] - from);
    };
    // The name's bytes break ties between names that read the same ("A" and "a").
    return orderBy(count, [&](std::uint32_t a, std::uint32_t b) {
        const int byKey = keyOf(a).compare(keyOf(b));
        return byKey < 0 || (byKey == 0 && nameOf(a) < nameOf(b));
    });
}

std::vector<std::uint32_t> DetailDD::sortedRows(
    const Order &order, const std::vector<std::uint32_t> &rows, std::size_t fileCount, bool ascending)
{
    std::vector<bool> shown;
    const bool all = rows.size() == fileCount;
    if (!all) {
        shown.resize(fileCount);
        for (const std::uint32_t row : rows) {
            shown[row] = true;
        }
    }
    std::vector<std::uint32_t> sorted;
    sorted.reserve(rows.size());
    const std::size_t count = order.files.size();
    if (ascending) {
        for (const std::uint32_t file : order.files) {
            if (all || shown[file]) {
                sorted.push_back(file);
            }
        }
        return sorted;
    }
    // Largest first, run by run; inside a run of equal keys, stored order.
    for (std::size_t end = count; end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && order.tiesPrevious[begin]) {
            --begin;
        }
        for (std::size_t k = begin; k < end; ++k) {
            if (all || shown[order.files[k]]) {
                sorted.push_back(order.files[k]);
            }
        }
        end = begin;
    }
    return sorted;
}

void DetailDD::sortFiles(SortKey key, bool ascending)
{
    const auto slot = static_cast<std::size_t>(key);
    m_wanted.reset();
    if (m_orders[slot].files.size() != m_files.size()) {
        if (m_files.size() >= m_backgroundFrom) {
            // The view keeps the order it shows until this one is ready.
            m_wanted = std::pair(key, ascending);
            startOrder(key);
            return;
        }
        const std::atomic<bool> never(false);
        m_orders[slot] = makeOrder(sortInput(m_files, key), never);
    }
    showRowsInOrder(sortedRows(m_orders[slot], m_rows, m_files.size(), ascending));
}

void DetailDD::startOrder(SortKey key)
{
    const auto slot = static_cast<std::size_t>(key);
    if (m_ordering[slot]) {
        return;
    }
    m_ordering[slot] = true;
    // Read here, on the GUI thread: the worker sees only this copy.
    SortInput input = sortInput(m_files, key);
    std::weak_ptr<DetailDD *> alive = m_alive;
    QThreadPool::globalInstance()->start(
        [input = std::move(input), cancel = m_cancel, generation = m_generation, alive = std::move(alive), key] {
            Order order = makeOrder(input, *cancel);
            QCoreApplication *app = QCoreApplication::instance();
            if (cancel->load() || app == nullptr) {
                return;
            }
            QMetaObject::invokeMethod(
                app,
                [order = std::move(order), generation, alive, key]() mutable {
                    if (const std::shared_ptr<DetailDD *> model = alive.lock()) {
                        (*model)->orderReady(key, generation, std::move(order));
                    }
                },
                Qt::QueuedConnection);
        });
}

void DetailDD::orderReady(SortKey key, std::uint64_t generation, Order order)
{
    // Made for records that have been reloaded since: dropped.
    if (generation != m_generation || order.files.size() != m_files.size()) {
        return;
    }
    const auto slot = static_cast<std::size_t>(key);
    m_ordering[slot] = false;
    m_orders[slot] = std::move(order);
    if (!m_wanted || m_wanted->first != key) {
        return; // kept for when it is asked for; the latest sort asked for waits for its own
    }
    const bool ascending = m_wanted->second;
    m_wanted.reset();
    showRowsInOrder(sortedRows(m_orders[slot], m_rows, m_files.size(), ascending));
    Q_EMIT sortShown();
}

void DetailDD::showRowsInOrder(std::vector<std::uint32_t> rows)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    if (!before.isEmpty()) {
        constexpr std::uint32_t Gone = std::numeric_limits<std::uint32_t>::max();
        std::vector<std::uint32_t> rowOf(m_files.size(), Gone);
        for (std::size_t row = 0; row < rows.size(); ++row) {
            rowOf[rows[row]] = toPosition(row);
        }
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex &index : before) {
            const bool child = index.internalId() != 0;
            const auto shownRow =
                child ? static_cast<std::size_t>(index.internalId() - 1) : static_cast<std::size_t>(index.row());
            const std::uint32_t now = shownRow < m_rows.size() ? rowOf[m_rows[shownRow]] : Gone;
            if (now == Gone) {
                after.push_back(QModelIndex());
            } else if (child) {
                after.push_back(createIndex(index.row(), index.column(), quintptr(now) + 1));
            } else {
                after.push_back(createIndex(static_cast<int>(now), index.column(), quintptr(0)));
            }
        }
        m_rows = std::move(rows);
        changePersistentIndexList(before, after);
    } else {
        m_rows = std::move(rows);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
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
    // Not a dataChanged over every row: an outline walks the whole range
    // (14 ms for 80 000 rows), where a repaint of what is shown is enough.
    m_checkable = checkable;
    Q_EMIT checkableChanged();
}

const core::FolderInfoPtr *DetailDD::slot(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this) {
        return nullptr;
    }
    const auto id = index.internalId();
    const auto row = static_cast<std::size_t>(index.row());
    if (id == 0) {
        return row < m_rows.size() ? &m_files[m_rows[row]] : nullptr;
    }
    const std::size_t parentRow = id - 1;
    if (parentRow >= m_rows.size()) {
        return nullptr;
    }
    const auto &children = m_files[m_rows[parentRow]]->children;
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
        return static_cast<int>(m_rows.size());
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
        return !m_rows.empty();
    }
    const auto row = static_cast<std::size_t>(parent.row());
    return parent.internalId() == 0 && parent.column() == 0 && parent.model() == this && row < m_rows.size()
        && m_hasChildren[m_rows[row]];
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
