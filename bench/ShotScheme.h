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
    const QPalette desktop = gui::desktopPalette(!dark);
    QApplication::setPalette(desktop);
    defaults.setString(u"ColorScheme"_s, dark ? u"Dark"_s : u"Light"_s);
    return std::make_unique<gui::DesktopScheme>(desktop.color(QPalette::Window), /*askPortal=*/false);
}
