// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ColorScheme.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

const QString AppearanceGroup = u"org.freedesktop.appearance"_s;
const QString SchemeKey = u"color-scheme"_s;

/// The portal wraps the value in one variant (Read) or two (older portals
/// answer Read with a variant holding a variant): unwrap them all.
std::optional<uint> unsignedValue(QVariant value)
{
    for (int depth = 0; depth < 4 && value.canConvert<QDBusVariant>(); ++depth) {
        value = value.value<QDBusVariant>().variant();
    }
    if (value.typeId() != QMetaType::UInt && value.typeId() != QMetaType::Int) {
        return std::nullopt;
    }
    bool ok = false;
    const uint number = value.toUInt(&ok);
    return ok ? std::optional<uint>(number) : std::nullopt;
}

const QString PortalService = u"org.freedesktop.portal.Desktop"_s;
const QString PortalPath = u"/org/freedesktop/portal/desktop"_s;
const QString SettingsInterface = u"org.freedesktop.portal.Settings"_s;

} // namespace

QString schemeChoiceName(SchemeChoice choice)
{
    switch (choice) {
    case SchemeChoice::Light:
        return u"Light"_s;
    case SchemeChoice::Dark:
        return u"Dark"_s;
    case SchemeChoice::System:
        break;
    }
    return u"System"_s;
}

QPalette desktopPalette(bool dark)
{
    QPalette palette;
    const QColor back = dark ? QColor(0x24, 0x24, 0x24) : QColor(0xf6, 0xf5, 0xf4);
    const QColor fore = dark ? QColor(0xf0, 0xf0, 0xf0) : QColor(0x1e, 0x1e, 0x1e);
    for (const auto role : { QPalette::Window, QPalette::Button, QPalette::Base, QPalette::ToolTipBase }) {
        palette.setColor(role, back);
    }
    for (const auto role : { QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::ToolTipText }) {
        palette.setColor(role, fore);
    }
    return palette;
}

SchemeChoice schemeChoiceFromName(const QString &name)
{
    if (name == u"Light"_s) {
        return SchemeChoice::Light;
    }
    if (name == u"Dark"_s) {
        return SchemeChoice::Dark;
    }
    return SchemeChoice::System;
}

ColorScheme decideScheme(SchemeChoice choice, std::optional<uint> portalScheme, const QColor &desktopWindow)
{
    switch (choice) {
    case SchemeChoice::Light:
        return ColorScheme::Light;
    case SchemeChoice::Dark:
        return ColorScheme::Dark;
    case SchemeChoice::System:
        break;
    }
    if (portalScheme == 1U) {
        return ColorScheme::Dark;
    }
    if (portalScheme == 2U) {
        return ColorScheme::Light;
    }
    if (desktopWindow.isValid() && desktopWindow.toHsl().lightness() < 128) {
        return ColorScheme::Dark;
    }
    return ColorScheme::Light;
}

DesktopScheme::DesktopScheme(const QColor &desktopWindow, bool askPortal, QObject *parent)
    : QObject(parent)
    , m_desktopWindow(desktopWindow)
{
    if (!askPortal) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // Only a portal that is running or can be started is asked, so a desktop
    // without one costs no time-out.
    const auto *busInterface = bus.interface();
    if (busInterface == nullptr || !busInterface->isServiceRegistered(PortalService).value()) {
        const QStringList activatable =
            busInterface != nullptr ? busInterface->activatableServiceNames().value() : QStringList();
        if (!activatable.contains(PortalService)) {
            return;
        }
    }
    // Qt D-Bus learns its own types (QDBusVariant among them) at its first
    // marshalling; matching the slot's parameters needs them before that.
    (void)QDBusMetaType::typeToSignature(QMetaType::fromType<QDBusVariant>());
    // The slot's signature as moc writes it (D-Bus matches it without normalising).
    const bool listening = bus.connect(PortalService,
        PortalPath,
        SettingsInterface,
        u"SettingChanged"_s,
        this,
        "1onSettingChanged(QString,QString,QDBusVariant)");
    if (!listening) {
        qWarning("spruce: cannot follow the settings portal's changes: %s", qPrintable(bus.lastError().message()));
    }
    QDBusMessage read = QDBusMessage::createMethodCall(PortalService, PortalPath, SettingsInterface, u"Read"_s);
    read << AppearanceGroup << SchemeKey;
    const QDBusMessage reply = bus.call(read, QDBus::Block, 250);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        m_portal = unsignedValue(reply.arguments().constFirst());
    }
}

void DesktopScheme::onSettingChanged(const QString &group, const QString &key, const QDBusVariant &value)
{
    if (group != AppearanceGroup || key != SchemeKey) {
        return;
    }
    setPortalScheme(unsignedValue(value.variant()));
}

void DesktopScheme::setPortalScheme(std::optional<uint> value)
{
    if (value == m_portal) {
        return;
    }
    m_portal = value;
    Q_EMIT changed();
}

} // namespace gui
