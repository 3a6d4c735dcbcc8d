// SPDX-License-Identifier: GPL-3.0-or-later
#include "theme/UIUtil.h"

#include "platform/Fonts.h"
#include "theme/UIInfo.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

double channel(double value)
{
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &color)
{
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

} // namespace

double UIUtil::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette UIUtil::themePalette()
{
    const QColor page = color(core::UIInfo::nsColor("main_container_light_color"));
    const QColor text = color(core::UIInfo::nsMyUI("table_title_font").color());
    const QColor muted = color(core::UIInfo::nsMyUI("table_path_font").color());
    const QColor select = color(core::UIInfo::nsColor("main_table_select_color"));
    const QColor field(Qt::white);
    QPalette palette;
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        const bool disabled = group == QPalette::Disabled;
        palette.setColor(group, QPalette::Window, page);
        palette.setColor(group, QPalette::Button, page);
        palette.setColor(group, QPalette::Base, field);
        palette.setColor(group, QPalette::AlternateBase, page);
        palette.setColor(group, QPalette::ToolTipBase, field);
        palette.setColor(group, QPalette::ToolTipText, text);
        palette.setColor(group, QPalette::WindowText, disabled ? muted : text);
        palette.setColor(group, QPalette::Text, disabled ? muted : text);
        palette.setColor(group, QPalette::ButtonText, disabled ? muted : text);
        palette.setColor(group, QPalette::BrightText, field);
        palette.setColor(group, QPalette::PlaceholderText, muted);
        palette.setColor(group, QPalette::Highlight, select);
        palette.setColor(group, QPalette::HighlightedText, text);
        palette.setColor(group, QPalette::Link, text);
        palette.setColor(group, QPalette::LinkVisited, text);
        palette.setColor(group, QPalette::Light, field);
        palette.setColor(group, QPalette::Midlight, page.darker(104));
        palette.setColor(group, QPalette::Mid, page.darker(130));
        palette.setColor(group, QPalette::Dark, page.darker(160));
        palette.setColor(group, QPalette::Shadow, text);
    }
    return palette;
}

void UIUtil::applyThemePalette()
{
    QApplication::setPalette(themePalette());
}

namespace {

QString cssColor(const QColor &c)
{
    // #AARRGGBB; an extended-range component is shown at full strength.
    return c.toRgb().name(QColor::HexArgb);
}

/// Rebuilds the style sheet of a themed button from its text colour and
/// the background kept in "layerBackground".
void applyButtonStyle(QAbstractButton *btn, const QColor &text)
{
    const QVariant background = btn->property("layerBackground");
    QString css = u"QAbstractButton { color: %1; border-radius: 6px; padding: 6px 18px;"_s.arg(cssColor(text));
    if (background.isValid()) {
        const QColor bg = background.value<QColor>();
        css += u" border: none; background-color: %1; }"_s.arg(cssColor(bg));
        css += u" QAbstractButton:hover { background-color: %1; }"_s.arg(cssColor(bg.lighter(110)));
        css += u" QAbstractButton:pressed { background-color: %1; }"_s.arg(cssColor(bg.darker(115)));
    } else {
        css += u" }"_s;
    }
    css += u" QAbstractButton:disabled { color: %1; }"_s.arg(
        cssColor(QColor::fromRgbF(text.redF(), text.greenF(), text.blueF(), text.alphaF() * 0.55f)));
    btn->setStyleSheet(css);
}

} // namespace

QColor UIUtil::color(const core::Rgba &rgba)
{
    return QColor::fromRgbF(static_cast<float>(rgba.red / 255.0),
        static_cast<float>(rgba.green / 255.0),
        static_cast<float>(rgba.blue / 255.0),
        static_cast<float>(rgba.alpha));
}

QFont UIUtil::font(const core::MyUI &myui)
{
    return fontWithName(QString::fromStdString(myui.name), myui.size);
}

void UIUtil::setBtnAttribute(QAbstractButton *btn, const QString &title, const core::MyUI &myui)
{
    if (btn == nullptr) {
        return;
    }
    btn->setText(title);
    btn->setFont(font(myui));
    if (myui.balpha > 0.0) {
        btn->setProperty("layerBackground", color(myui.buttonColor()));
    }
    applyButtonStyle(btn, color(myui.color()));
}

void UIUtil::setTextAttribute(QLabel *txt, const core::MyUI &myui)
{
    if (txt == nullptr) {
        return;
    }
    txt->setFont(font(myui));
    QPalette palette = txt->palette();
    palette.setColor(QPalette::WindowText, color(myui.color()));
    txt->setPalette(palette);
}

void UIUtil::setMenuAttribute(QAction *menu, const QString &title, const core::MyUI &myui)
{
    if (menu == nullptr) {
        return;
    }
    const QColor text = color(myui.color());
    menu->setText(title);
    menu->setFont(font(myui));
    menu->setProperty("textColor", text);
    const QList<QObject *> shownBy = menu->associatedObjects();
    for (QObject *object : shownBy) {
        if (auto *button = qobject_cast<QAbstractButton *>(object)) {
            QPalette palette = button->palette();
            palette.setColor(QPalette::ButtonText, text);
            button->setPalette(palette);
        }
    }
}

QFont UIUtil::barChartLegendNameFont()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(11);
    f.setBold(true);
    return f;
}

QFont UIUtil::barChartLegendSizeTextFont()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(11);
    return f;
}

} // namespace gui
