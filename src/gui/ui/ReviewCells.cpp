// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ReviewCells.h"

#include "engine/ModuleInfo.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionViewItem>

using namespace Qt::StringLiterals;

namespace gui {

ThemeSnapshot::ThemeSnapshot()
    : m_table(core::UIInfo::AllUIs())
{
}

core::MyUI ThemeSnapshot::entry(std::string_view key) const
{
    if (const auto found = m_table.find(key); found != m_table.end()) {
        return found->second;
    }
    return core::UIInfo::nsMyUI(key);
}

QColor ThemeSnapshot::color(std::string_view key) const
{
    return UIUtil::color(entry(key).color());
}

TextStyle TextStyle::of(const ThemeSnapshot &theme, std::string_view key)
{
    const core::MyUI entry = theme.entry(key);
    return TextStyle{ UIUtil::font(entry), UIUtil::color(entry.color()) };
}

const std::vector<core::Category> *catalogueCategories(int module)
{
    const auto &modules = core::ModuleInfo::modules();
    if (module < 0 || static_cast<std::size_t>(module) >= modules.size()) {
        return nullptr;
    }
    return &modules[static_cast<std::size_t>(module)].categories;
}

const core::Category *catalogueCategory(int module, int category)
{
    const auto *categories = catalogueCategories(module);
    if (categories == nullptr || category < 0 || static_cast<std::size_t>(category) >= categories->size()) {
        return nullptr;
    }
    return &(*categories)[static_cast<std::size_t>(category)];
}

QString stateWords(int state)
{
    switch (state) {
    case 1:
        return u"selected"_s;
    case 0:
        return u"not selected"_s;
    default:
        return u"partly selected"_s;
    }
}

Qt::CheckState checkStateOf(int state)
{
    switch (state) {
    case 1:
        return Qt::Checked;
    case 0:
        return Qt::Unchecked;
    default:
        return Qt::PartiallyChecked;
    }
}

int stateFromCheckValue(const QVariant &value)
{
    return value.value<Qt::CheckState>() == Qt::Unchecked ? 0 : 1;
}

Qt::CheckState toggled(Qt::CheckState state)
{
    return state == Qt::Checked ? Qt::Unchecked : Qt::Checked;
}

QString shortened(const QString &text, int limit)
{
    if (text.size() <= limit) {
        return text;
    }
    qsizetype cut = limit;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate()) {
        --cut;
    }
    return text.left(cut) + u"..."_s;
}

namespace {

constexpr QChar Ellipsis(0x2026);

/// The first `count` units of `text`, one less when the last would be half a surrogate pair.
QString headOf(const QString &text, qsizetype count)
{
    if (count > 0 && count < text.size() && text.at(count - 1).isHighSurrogate()) {
        --count;
    }
    return text.left(count);
}

/// The last `count` units of `text`, one less when the first would be half a surrogate pair.
QString tailOf(const QString &text, qsizetype count)
{
    qsizetype from = text.size() - count;
    if (from > 0 && from < text.size() && text.at(from).isLowSurrogate()) {
        ++from;
    }
    return text.mid(from);
}

/// How many units of `text` the longest `head + "…" + tail` that fits `width` keeps (0 when none fits).
qsizetype fitHeadLength(
    const QString &text, const QString &tail, int width, const std::function<int(const QString &)> &advance)
{
    qsizetype low = 0;
    qsizetype high = text.size();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (advance(headOf(text, middle) + Ellipsis + tail) <= width) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return headOf(text, low).size();
}

QString fitHead(const QString &text, const QString &tail, int width, const std::function<int(const QString &)> &advance)
{
    return text.left(fitHeadLength(text, tail, width, advance)) + Ellipsis + tail;
}

} // namespace

QString applicationOf(const QString &path, const QString &home)
{
    static const QStringList places = {
        u".var/app/"_s, u"snap/"_s, u".cache/"_s, u".config/"_s, u".local/share/"_s, u".local/state/"_s, u".mozilla/"_s
    };
    if (home.isEmpty() || !path.startsWith(home) || path.size() <= home.size() || path[home.size()] != u'/') {
        return {};
    }
    const QStringView below = QStringView(path).mid(home.size() + 1);
    for (const QString &place : places) {
        if (!below.startsWith(place)) {
            continue;
        }
        const QStringView rest = below.mid(place.size());
        const qsizetype slash = rest.indexOf(u'/');
        // The application's own folder, or nothing after the place: the name says it all.
        if (slash <= 0 || slash + 1 == rest.size()) {
            return {};
        }
        return rest.left(slash).toString();
    }
    return {};
}

QString elideName(const QString &name, int width, const std::function<int(const QString &)> &advance)
{
    if (advance(name) <= width) {
        return name;
    }
    // The extension (up to 8 units after the last dot) stays, and a few units
    // of the stem's end beside it when the beginning keeps at least as many.
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot > 0 && name.size() - dot <= 9 ? name.mid(dot) : QString();
    const QString stem = name.left(name.size() - extension.size());
    const qsizetype stemEnd = std::min<qsizetype>(3, stem.size() / 3);
    for (const qsizetype end : { stemEnd, qsizetype(0) }) {
        const QString kept = tailOf(stem, end);
        const QString tail = kept + extension;
        const QString rest = stem.left(stem.size() - kept.size());
        const qsizetype head = fitHeadLength(rest, tail, width, advance);
        if (head >= end && (head > 0 || end == 0)) {
            return rest.left(head) + Ellipsis + tail;
        }
    }
    return QString(Ellipsis) + extension;
}

QString elidePath(const QString &path, int width, const std::function<int(const QString &)> &advance)
{
    if (advance(path) <= width) {
        return path;
    }
    const qsizetype nameStart = path.lastIndexOf(u'/', path.endsWith(u'/') ? path.size() - 2 : -1) + 1;
    const qsizetype folderStart = nameStart > 1 ? path.lastIndexOf(u'/', nameStart - 2) : -1;
    // The last folder and the name, then the name alone, then the name cut in its middle.
    if (folderStart > 0) {
        const QString tail = path.mid(folderStart);
        if (advance(QString(Ellipsis) + tail) <= width) {
            return fitHead(path.left(folderStart), tail, width, advance);
        }
    }
    const QString tail = path.mid(nameStart > 0 ? nameStart - 1 : 0);
    if (advance(QString(Ellipsis) + tail) <= width) {
        return fitHead(path.left(nameStart > 0 ? nameStart - 1 : 0), tail, width, advance);
    }
    const QString name = path.mid(nameStart);
    const int nameWidth = std::max(0, width - advance(QString(Ellipsis) + u'/'));
    return QString(Ellipsis) + u'/' + elideName(name, nameWidth, advance);
}

QRect checkBoxRect(const QRect &cell, int left)
{
    return QRect(left, cell.top() + (cell.height() - CheckBoxSide) / 2, CheckBoxSide, CheckBoxSide);
}

void paintCheckBox(
    QPainter *painter, const QStyleOptionViewItem &option, const QRect &box, Qt::CheckState state, bool enabled)
{
    QStyleOptionViewItem check = option;
    check.rect = box;
    check.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange | QStyle::State_HasFocus);
    if (!enabled) {
        check.state &= ~QStyle::State_Enabled;
    }
    switch (state) {
    case Qt::Checked:
        check.state |= QStyle::State_On;
        break;
    case Qt::Unchecked:
        check.state |= QStyle::State_Off;
        break;
    case Qt::PartiallyChecked:
        check.state |= QStyle::State_NoChange;
        break;
    }
    // The application's style and palette (the theme's field and text), not
    // the view's: the views' transparent style sheets would give the box a
    // transparent (black on some backends) face.
    const QPalette theme = QApplication::palette();
    check.palette.setColor(QPalette::Base, theme.color(QPalette::Base));
    check.palette.setColor(QPalette::Window, theme.color(QPalette::Base));
    check.palette.setColor(QPalette::Text, theme.color(QPalette::Text));
    check.palette.setColor(QPalette::WindowText, theme.color(QPalette::Text));
    QApplication::style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, nullptr);
}

bool toggleCheckOnEvent(QEvent *event, QAbstractItemModel *model, const QModelIndex &index, const QRect &box)
{
    if (model == nullptr || !index.isValid() || !index.flags().testFlag(Qt::ItemIsUserCheckable)
        || !index.flags().testFlag(Qt::ItemIsEnabled)) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // Taken so that a press on the box neither selects nor expands; the release toggles.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        return mouse->button() == Qt::LeftButton && box.contains(mouse->position().toPoint());
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !box.contains(mouse->position().toPoint())) {
            return false;
        }
        break;
    }
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Space && key->key() != Qt::Key_Select) {
            return false;
        }
        break;
    }
    default:
        return false;
    }
    const auto state = index.data(Qt::CheckStateRole).value<Qt::CheckState>();
    return model->setData(index, toggled(state), Qt::CheckStateRole);
}

} // namespace gui
