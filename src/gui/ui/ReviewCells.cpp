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
    // The application's style, not the view's: the views' transparent style
    // sheets would give the box a transparent (black on some backends) face.
    check.palette.setColor(QPalette::Base, Qt::white);
    check.palette.setColor(QPalette::Window, Qt::white);
    check.palette.setColor(QPalette::Text, QColor(0x1f, 0x2d, 0x2a));
    check.palette.setColor(QPalette::WindowText, QColor(0x1f, 0x2d, 0x2a));
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
