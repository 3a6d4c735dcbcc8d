// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ResourceLocator.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace core::platform {

namespace {

std::string executableDir()
{
    std::array<char, 4096> buf{};
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        return {};
    }
    std::string exe(buf.data(), static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

} // namespace

ResourceLocator::ResourceLocator(std::vector<std::string> searchDirs)
    : m_dirs(std::move(searchDirs))
{
}

ResourceLocator ResourceLocator::forExecutable(const std::string &overrideDir)
{
    std::vector<std::string> dirs;
    if (!overrideDir.empty()) {
        dirs.push_back(overrideDir);
    }
    if (const char *env = std::getenv("SPRUCE_RESOURCES");
        env != nullptr && *env != '\0') { // NOLINT(concurrency-mt-unsafe)
        dirs.emplace_back(env);
    }
    if (const std::string exeDir = executableDir(); !exeDir.empty()) {
        dirs.push_back(exeDir + "/../share/spruce/resources");
        dirs.push_back(exeDir + "/resources");
    }
    return ResourceLocator(std::move(dirs));
}

std::optional<std::string> ResourceLocator::path(const std::string &name, const std::string &type) const
{
    for (const auto &dir : m_dirs) {
        std::string candidate = dir + "/" + name + "." + type;
        struct stat st
        {
        };
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string adminHelperForExecutable()
{
    const std::string exeDir = executableDir();
    if (exeDir.empty()) {
        return {};
    }
    for (const char *relative : { "/../libexec/spruce/spruce-admin", "/../admin/spruce-admin" }) {
        const std::string candidate = exeDir + relative;
        struct stat st
        {
        };
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            // pkexec matches the program against its polkit action by the real path.
            std::array<char, PATH_MAX> real{};
            return ::realpath(candidate.c_str(), real.data()) != nullptr ? std::string(real.data()) : candidate;
        }
    }
    return {};
}

} // namespace core::platform
