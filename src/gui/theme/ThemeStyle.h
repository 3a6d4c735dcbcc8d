// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

namespace gui {

/// Qt's Fusion style with check boxes that stay visible on any page: Fusion
/// outlines a box in a shade of the window colour, which all but vanishes on
/// a dark page; this draws the outline again in the palette's Dark colour
/// (which the theme palette sets between the page and its text). Everything
/// else is Fusion's. Owned by the application once installed; GUI thread.
class ThemeStyle final : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThemeStyle)

public:
    ThemeStyle();
    ~ThemeStyle() override = default;

    void drawPrimitive(
        PrimitiveElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const override;

    /// Puts a ThemeStyle in place of the application's style when that is
    /// Fusion (Qt's own, used wherever the desktop brings no Qt style);
    /// another style (Breeze, a platform theme's) is left as it is.
    /// Returns whether a ThemeStyle is in force afterwards.
    static bool install();
};

} // namespace gui
