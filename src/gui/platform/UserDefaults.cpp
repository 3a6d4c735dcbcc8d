// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserDefaults.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace gui {

UserDefaults::UserDefaults()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, u"Spruce"_s, u"Spruce"_s))
{
}

UserDefaults::UserDefaults(const QString &iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

UserDefaults::~UserDefaults() = default;

bool UserDefaults::boolForKey(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    // INI files hold text: accept what QSettings wrote ("true") and nothing looser.
    return value.isValid() && value.toString() == u"true"_s;
}

bool UserDefaults::boolForKey(const QString &key, bool fallback) const
{
    return m_settings->contains(key) ? boolForKey(key) : fallback;
}

QString UserDefaults::stringForKey(const QString &key, const QString &fallback) const
{
    return m_settings->contains(key) ? m_settings->value(key).toString() : fallback;
}

void UserDefaults::setString(const QString &key, const QString &value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::setBool(const QString &key, bool value)
{
    m_settings->setValue(key, value);
}

void UserDefaults::removeKey(const QString &key)
{
    m_settings->remove(key);
}

bool UserDefaults::synchronize()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString UserDefaults::fileName() const
{
    return m_settings->fileName();
}

} // namespace gui
