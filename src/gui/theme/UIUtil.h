// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Types.h"
#include "theme/MyUI.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>

class QAbstractButton;
class QAction;
class QLabel;
class QMessageBox;
class QPalette;

namespace gui {

enum class ColorScheme;

/// Tells the screens that the theme changed (another variant was chosen):
/// each one that cached theme fonts, colours or style sheets connects to
/// themeChanged() and applies them again. One per process (UIUtil::notifier()); GUI thread.
class ThemeNotifier : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThemeNotifier)

public:
    ThemeNotifier() = default;
    ~ThemeNotifier() override = default;

Q_SIGNALS:
    /// The variant and the application palette are already in place.
    void themeChanged();
};

/// Applies theme entries (core::MyUI, from core::UIInfo) to widgets. No
/// state; GUI thread only.
class UIUtil
{
public:
    UIUtil() = delete;

    /// The colour of plain theme numbers: red, green and blue divided by
    /// 255, alpha as it stands. Not clamped: components above 255 stay
    /// above 1.0 (an extended-range colour).
    static QColor color(const core::Rgba &rgba);

    /// The font of an entry (its name resolved as fontWithName() does, its size in logical pixels).
    static QFont font(const core::MyUI &myui);

    /// Gives a push button `title`, centred, in the entry's font and text
    /// colour, drawn as a flat rounded button. Only when `balpha` is
    /// greater than 0.0 is the button background set, to (bred, bgreen,
    /// bblue)/255 at opacity `balpha`; otherwise whatever background the
    /// button had is left as it is. The background in force is kept in the
    /// button's property "layerBackground" (a QColor; unset when none).
    static void setBtnAttribute(QAbstractButton *btn, const QString &title, const core::MyUI &myui);

    /// Restyles the text a label already shows: the entry's font and text
    /// colour. Set the text first, then call this.
    static void setTextAttribute(QLabel *txt, const core::MyUI &myui);

    /// Gives a menu item `title` in the entry's font; the text colour goes
    /// to the item's property "textColor" and to the buttons that show the
    /// item (a pull-down button whose default action it is).
    static void setMenuAttribute(QAction *menu, const QString &title, const core::MyUI &myui);

    /// The application palette the theme's pages are drawn for: the page
    /// colour ("main_container_light_color") behind windows, buttons, menus
    /// and dialogs, the text colour of "table_title_font" on them, the
    /// selection of "main_table_select_color", muted text in the colour of
    /// "table_path_font". Every group (active, inactive, disabled) is set.
    static QPalette themePalette();
    /// Makes themePalette() the application's palette, so that a dark
    /// desktop palette never puts light text on the theme's light pages
    /// (labels, check boxes, menus and dialogs all agree); under Fusion,
    /// installs ThemeStyle first so check boxes keep an outline. GUI thread.
    static void applyThemePalette();
    /// Shows `scheme` everywhere at once: the core reads that variant's
    /// theme file from now on, the application palette is built from it,
    /// and notifier() tells every screen to apply its styling again. GUI thread.
    static void applyScheme(ColorScheme scheme);
    /// The one notifier of theme changes (made at first use, never destroyed before exit).
    static ThemeNotifier *notifier();
    /// A style-sheet fragment that keeps a 2-pixel border around `selector`,
    /// transparent until it has keyboard focus and then in `ring`: a focus
    /// ring for views and buttons whose own style sheet hides the style's
    /// focus frame. The border is always there, so focus moves nothing.
    static QString focusRingStyle(const QString &selector, const QColor &ring);
    /// The ring colour on the pages: the text colour of "table_title_font".
    static QColor focusRingColor();

    /// The WCAG contrast ratio of two opaque colours (1 to 21). Pure.
    static double contrast(const QColor &a, const QColor &b);

    /// Gives `box` a scalable warning or information icon drawn for its
    /// screen's scale (the style's bitmaps blur at 200 %): the desktop icon
    /// theme's "dialog-warning" / "dialog-information", else Spruce's own.
    static void setNoticeIcon(QMessageBox *box, bool warning);

    /// The fixed chart fonts of the monitor graphs (not from the theme): the
    /// desktop's interface font at 11 logical pixels, bold for legend names.
    static QFont barChartLegendNameFont();
    static QFont barChartLegendSizeTextFont();
};

} // namespace gui
