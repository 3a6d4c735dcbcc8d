// FolderInfo's deletion operations; the measuring ones live in FolderInfo.cpp.
#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "platform/Services.h"
#include "tree/Removal.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>

namespace core {

namespace {

std::optional<std::string> realPath(const std::string &path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

/// Where the item at the absolute `path` really is when a folder above it is
/// a link: the resolved parent joined with the last name (the item itself is
/// not resolved, a link is deleted as a link). nullopt when the parent cannot
/// be resolved (the removal then fails anyway).
std::optional<std::string> resolvedLocation(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        return std::nullopt;
    }
    const std::optional<std::string> parent = realPath(slash == 0 ? std::string("/") : path.substr(0, slash));
    if (!parent) {
        return std::nullopt;
    }
    return (*parent == "/" ? std::string() : *parent) + path.substr(slash);
}

/// The protected-path rule applied to the path as written and as resolved,
/// against the home folder as given and as resolved: a link above the item,
/// or a home reached through a link (/home -> /var/home), must not let a
/// system folder or the home folder through under another name.
bool isProtectedLocation(const std::string &path, const std::string &homeDir)
{
    const std::array<std::optional<std::string>, 2> paths = { path, resolvedLocation(path) };
    const std::array<std::optional<std::string>, 2> homes = { homeDir, realPath(homeDir) };
    for (const auto &candidate : paths) {
        for (const auto &home : homes) {
            if (candidate && home && tree::isProtectedPath(*candidate, *home)) {
                return true;
            }
        }
    }
    return false;
}

Status refuse(const std::string &path, Error reason)
{
    if (platform::LogSink *log = platform::services().log) {
        log->standardOutput(path + "  is not deletable!");
    }
    return reason;
}

} // namespace

Status FolderInfo::tryDeleteFile(const std::string &url)
{
    const std::optional<std::string> path = format::pathFromFileUrl(url);
    if (!path) {
        return Error{ EINVAL, url, "not a file URL" };
    }
    if (isProtectedLocation(*path, platform::services().user.homeDir)) {
        return refuse(*path, Error{ EPERM, *path, "protected location" });
    }
    if (const Status check = tree::checkDeletable(*path); !check) {
        return refuse(*path, Error{ check.error().code, *path, "not deletable: " + check.error().message });
    }
    return tree::removeItem(*path);
}

bool FolderInfo::deleteFile(const std::string &url)
{
    return tryDeleteFile(url).has_value();
}

} // namespace core
