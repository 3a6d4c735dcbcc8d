// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QDBusVariant>
#include <QObject>
#include <QPalette>
#include <QString>

#include <optional>

namespace gui {

/// The two looks of the application.
enum class ColorScheme { Light, Dark };

/// What the user picked in View: a fixed look, or the desktop's.
enum class SchemeChoice { System, Light, Dark };

/// The settings text of a choice ("System", "Light", "Dark") and back; an
/// unknown or empty text reads as System.
QString schemeChoiceName(SchemeChoice choice);
SchemeChoice schemeChoiceFromName(const QString &name);

/// The look to show. A fixed choice wins. Under System: the settings
/// portal's "color-scheme" when it states a preference (1 dark, 2 light);
/// with no answer, 0 (no preference) or an unknown value, the desktop's
/// palette before Spruce set its own: a window colour of lightness below
/// half is a dark desktop; an invalid colour counts as light. Pure.
ColorScheme decideScheme(SchemeChoice choice, std::optional<uint> portalScheme, const QColor &desktopWindow);

/// A plain palette as a light or a dark desktop (Adwaita, Breeze Dark, a
/// qt6ct palette) hands it to the application: window, button, base and
/// tool-tip backgrounds with their texts. Tests and screenshots start from
/// it to show that Spruce's own look wins. Pure.
QPalette desktopPalette(bool dark);

/// The desktop's colour-scheme preference as the freedesktop settings
/// portal (org.freedesktop.portal.Settings, "org.freedesktop.appearance"
/// "color-scheme") gives it: read once when made, then kept current by the
/// portal's SettingChanged signal. Without a session bus or a portal
/// portalScheme() stays empty. GUI thread.
class DesktopScheme : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopScheme)

public:
    /// Asks the portal at once when `askPortal` (a call of at most a quarter
    /// second; tests pass false and drive onSettingChanged()).
    /// `desktopWindow`: the desktop palette's Window colour, captured before
    /// the application set its own palette.
    DesktopScheme(const QColor &desktopWindow, bool askPortal, QObject *parent = nullptr);

    std::optional<uint> portalScheme() const { return m_portal; }
    QColor desktopWindow() const { return m_desktopWindow; }
    /// decideScheme() on what is known now.
    ColorScheme scheme(SchemeChoice choice) const { return decideScheme(choice, m_portal, m_desktopWindow); }

public Q_SLOTS:
    /// The portal's SettingChanged: a new "color-scheme" (an unsigned
    /// number, possibly wrapped in variants) replaces the known one and
    /// emits changed(); other settings are ignored.
    void onSettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

Q_SIGNALS:
    void changed();

private:
    void setPortalScheme(std::optional<uint> value);

    QColor m_desktopWindow;
    std::optional<uint> m_portal;
};

} // namespace gui
