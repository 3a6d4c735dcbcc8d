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

    /// Login name from the password database for the effective uid (else
    /// $USER, $LOGNAME, then the decimal uid); home from $HOME when it is
    /// absolute, else the password database's folder, else "/".
    static UserContext fromSystem();
};

} // namespace core::platform
