// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace core::platform {

/// Who runs the program: the short login name and the home folder (an
/// absolute path without a trailing "/"). Computed once in main() and
/// injected; tests build their own (for example {"ann", "/Users/ann"}).
struct UserContext
{
    std::string loginName;
    std::string homeDir;
    /// Where the user's configuration lives (Spruce keeps its own in the
    /// "Spruce" folder inside); "" for homeDir + "/.config".
    std::string configDir{};
    /// Where the user's data lives (the home Trash is "Trash" inside); ""
    /// for homeDir + "/.local/share".
    std::string dataDir{};

    /// Login name from the password database for the effective uid (else
    /// $USER, $LOGNAME, then the decimal uid); home from $HOME when it is
    /// absolute, else the password database's folder, else "/";
    /// configuration folder from $XDG_CONFIG_HOME when it is absolute, else
    /// the home's ".config"; data folder from $XDG_DATA_HOME when it is
    /// absolute, else the home's ".local/share".
    static UserContext fromSystem();

    /// configDir, or homeDir + "/.config" when it is empty.
    [[nodiscard]] std::string configFolder() const;
    /// dataDir, or homeDir + "/.local/share" when it is empty.
    [[nodiscard]] std::string dataFolder() const;
};

} // namespace core::platform
