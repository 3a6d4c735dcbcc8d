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
    void setBool(const QString &key, bool value);

    /// Writes pending changes to disk now; false when the file could not be written.
    bool synchronize();

    /// The file the values live in.
    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace gui
