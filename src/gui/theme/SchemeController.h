// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ColorScheme.h"

#include <QObject>

class QActionGroup;
class QMenu;

namespace gui {

class UserDefaults;

/// The user's choice of look (View: Light, Dark or System) and the look in
/// force. The choice is kept in the user settings under "ColorScheme"
/// ("System" when absent); under System the look follows `desktop`, live.
/// Every change of look goes through UIUtil::applyScheme(). GUI thread.
class SchemeController : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SchemeController)

public:
    /// Reads the stored choice; applies nothing until apply() is called.
    /// `defaults` and `desktop` are not owned and must outlive this object.
    SchemeController(UserDefaults &defaults, DesktopScheme &desktop, QObject *parent = nullptr);

    static constexpr const char *SettingsKey = "ColorScheme";

    SchemeChoice choice() const { return m_choice; }
    /// The look shown since the last apply() (Light before the first).
    ColorScheme scheme() const { return m_scheme; }

    /// Stores `choice` (written to disk at once) and applies it.
    void setChoice(SchemeChoice choice);
    /// Shows the look the choice and the desktop decide, even when it is already shown.
    void apply();

    /// Adds the exclusive items "Light", "Dark" and "System" to `menu`
    /// (object names "schemeLightAction", "schemeDarkAction",
    /// "schemeSystemAction"), the current choice checked; picking one calls setChoice().
    void addMenuItems(QMenu *menu);

Q_SIGNALS:
    void schemeChanged(gui::ColorScheme scheme);

private:
    void onDesktopChanged();

    UserDefaults &m_defaults;
    DesktopScheme &m_desktop;
    SchemeChoice m_choice;
    ColorScheme m_scheme = ColorScheme::Light;
    QActionGroup *m_group = nullptr; // owned by the menu it was added to; null before addMenuItems()
};

} // namespace gui
