// SPDX-License-Identifier: GPL-3.0-or-later
#include "theme/UIUtil.h"

#include "platform/ColorScheme.h"
#include "platform/Fonts.h"
#include "platform/ImageStore.h"
#include "theme/ThemeStyle.h"
#include "theme/UIInfo.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QStyle>
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

QColor mix(const QColor &from, const QColor &to, double share)
{
    const auto blend = [share](float a, float b) {
        return static_cast<float>(a + (b - a) * share);
    };
    return QColor::fromRgbF(
        blend(from.redF(), to.redF()), blend(from.greenF(), to.greenF()), blend(from.blueF(), to.blueF()));
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
    const QColor field = color(core::UIInfo::nsColor("main_field_color"));
    const QColor accent = color(core::UIInfo::nsMyUI("category_size_font").color());
    const bool dark = page.toHsl().lightness() < 128;
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
        palette.setColor(group, QPalette::BrightText, page);
        palette.setColor(group, QPalette::PlaceholderText, muted);
        palette.setColor(group, QPalette::Highlight, select);
        palette.setColor(group, QPalette::HighlightedText, text);
        palette.setColor(group, QPalette::Link, accent);
        palette.setColor(group, QPalette::LinkVisited, accent);
        // The bevel shades run from the page towards the text, so frames and
        // check-box outlines show on a dark page as on a light one.
        palette.setColor(group, QPalette::Light, mix(page, field, 0.5));
        palette.setColor(group, QPalette::Midlight, mix(page, text, 0.06));
        palette.setColor(group, QPalette::Mid, mix(page, text, 0.3));
        palette.setColor(group, QPalette::Dark, mix(page, text, 0.6));
        palette.setColor(group, QPalette::Shadow, dark ? QColor(Qt::black) : text);
    }
    return palette;
}

void UIUtil::setNoticeIcon(QMessageBox *box, bool warning)
{
    const QString themed = warning ? u"dialog-warning"_s : u"dialog-information"_s;
    const QIcon icon = QIcon::hasThemeIcon(themed) ? QIcon::fromTheme(themed)
                                                   : ImageStore::icon(warning ? u"notice_warning"_s : u"notice_info"_s);
    const int side = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box);
    box->setIconPixmap(icon.pixmap(QSize(side, side), box->devicePixelRatioF()));
}

void UIUtil::applyThemePalette()
{
    // The style first: setting a style resets the palette.
    ThemeStyle::install();
    QApplication::setPalette(themePalette());
}

void UIUtil::applyScheme(ColorScheme scheme)
{
    core::UIInfo::setVariant(scheme == ColorScheme::Dark ? core::ThemeVariant::Dark : core::ThemeVariant::Light);
    applyThemePalette();
    Q_EMIT notifier()->themeChanged();
}

ThemeNotifier *UIUtil::notifier()
{
    // Never destroyed: screens disconnect from it as they go, and it may
    // outlive the QApplication.
    static auto *one = new ThemeNotifier;
    return one;
}

QString UIUtil::focusRingStyle(const QString &selector, const QColor &ring)
{
    return u" %1 { border: 2px solid transparent; border-radius: 6px; } %1:focus { border-color: %2; }"_s.arg(
        selector, ring.toRgb().name(QColor::HexRgb));
}

QColor UIUtil::focusRingColor()
{
    return color(core::UIInfo::nsMyUI("table_title_font").color());
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
    // The transparent border is where the focus ring is drawn.
    QString css = u"QAbstractButton { color: %1; border-radius: 6px; padding: 4px 16px;"
                  " border: 2px solid transparent;"_s.arg(cssColor(text));
    if (background.isValid()) {
        const QColor bg = background.value<QColor>();
        css += u" background-color: %1; }"_s.arg(cssColor(bg));
        css += u" QAbstractButton:hover { background-color: %1; }"_s.arg(cssColor(bg.lighter(110)));
        css += u" QAbstractButton:pressed { background-color: %1; }"_s.arg(cssColor(bg.darker(115)));
    } else {
        css += u" }"_s;
    }
    css += u" QAbstractButton:disabled { color: %1; }"_s.arg(
        cssColor(QColor::fromRgbF(text.redF(), text.greenF(), text.blueF(), text.alphaF() * 0.55f)));
    css += u" QAbstractButton:focus { border-color: %1; }"_s.arg(cssColor(UIUtil::focusRingColor()));
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
