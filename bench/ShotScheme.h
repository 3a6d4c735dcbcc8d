// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ColorScheme.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QPalette>

#include <memory>

/// The look of a screenshot set, from SPRUCE_SHOTS_SCHEME ("dark" or, by
/// default, "light"). The desktop's palette is set to the other look first,
/// as a dark (or light) desktop would hand it over, and the look is stored
/// as the user's choice: the pictures show that the choice wins everywhere.
/// Returns the desktop to give the AppDelegate; call schemes().apply() after.
inline std::unique_ptr<gui::DesktopScheme> prepareShotScheme(gui::UserDefaults &defaults)
{
    using namespace Qt::StringLiterals;
    const bool dark = qgetenv("SPRUCE_SHOTS_SCHEME") == "dark";
    QPalette desktop;
    const QColor back = dark ? QColor(0xf6, 0xf5, 0xf4) : QColor(0x24, 0x24, 0x24);
    const QColor fore = dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(0xf0, 0xf0, 0xf0);
    for (const auto role : { QPalette::Window, QPalette::Button, QPalette::Base, QPalette::ToolTipBase }) {
        desktop.setColor(role, back);
    }
    for (const auto role : { QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::ToolTipText }) {
        desktop.setColor(role, fore);
    }
    QApplication::setPalette(desktop);
    defaults.setString(u"ColorScheme"_s, dark ? u"Dark"_s : u"Light"_s);
    return std::make_unique<gui::DesktopScheme>(back, /*askPortal=*/false);
}
