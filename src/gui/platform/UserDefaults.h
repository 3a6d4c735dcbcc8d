// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace gui {

/// The user's persistent preferences, kept in an INI file:
/// $XDG_CONFIG_HOME/Spruce/Spruce.ini (~/.config/Spruce/Spruce.ini) by
/// default, or the file given to the constructor (tests). GUI thread.
class UserDefaults
{
public:
    UserDefaults();
    explicit UserDefaults(const QString &iniFile);
    ~UserDefaults();
    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    /// The Boolean under `key`; false when absent or not a Boolean.
    bool boolForKey(const QString &key) const;
    /// The Boolean under `key`; `fallback` when absent, false when not a Boolean.
    bool boolForKey(const QString &key, bool fallback) const;
    void setBool(const QString &key, bool value);
    /// The text under `key`; `fallback` when absent.
    QString stringForKey(const QString &key, const QString &fallback = QString()) const;
    void setString(const QString &key, const QString &value);

    /// Forgets the value under `key`: the default holds again.
    void removeKey(const QString &key);

    /// Writes pending changes to disk now; false when the file could not be written.
    bool synchronize();

    /// The file the values live in.
    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace gui
