// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UserContext.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace core::platform {

namespace {

std::string envValue(const char *name)
{
    const char *value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): read once at start-up
    return value != nullptr ? std::string(value) : std::string();
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

UserContext UserContext::fromSystem()
{
    UserContext user;
    std::string pwHome;
    passwd entry{};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        user.loginName = found->pw_name != nullptr ? found->pw_name : "";
        pwHome = found->pw_dir != nullptr ? found->pw_dir : "";
    }
    for (const char *var : { "USER", "LOGNAME" }) {
        if (user.loginName.empty()) {
            user.loginName = envValue(var);
        }
    }
    if (user.loginName.empty()) {
        user.loginName = std::to_string(geteuid());
    }
    const std::string home = envValue("HOME");
    if (!home.empty() && home.front() == '/') {
        user.homeDir = withoutTrailingSlash(home);
    } else if (!pwHome.empty() && pwHome.front() == '/') {
        user.homeDir = withoutTrailingSlash(pwHome);
    } else {
        user.homeDir = "/";
    }
    // The XDG base directory rules: a relative value is invalid and ignored.
    const std::string config = envValue("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/') {
        user.configDir = withoutTrailingSlash(config);
    }
    const std::string data = envValue("XDG_DATA_HOME");
    if (!data.empty() && data.front() == '/') {
        user.dataDir = withoutTrailingSlash(data);
    }
    return user;
}

std::string UserContext::configFolder() const
{
    if (!configDir.empty()) {
        return configDir;
    }
    return (homeDir == "/" ? std::string() : homeDir) + "/.config";
}

std::string UserContext::dataFolder() const
{
    if (!dataDir.empty()) {
        return dataDir;
    }
    return (homeDir == "/" ? std::string() : homeDir) + "/.local/share";
}

} // namespace core::platform
