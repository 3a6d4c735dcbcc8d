// SPDX-License-Identifier: GPL-3.0-or-later
// FolderInfo's deletion operations; the measuring ones live in FolderInfo.cpp.
#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "platform/Services.h"
#include "tree/Removal.h"

#include <cerrno>
#include <optional>

namespace core {

namespace {

/// The folder above `path` as an anchor and the item's name in it; nullopt
/// for a path without a folder above it ("/", "", "a").
std::optional<std::pair<tree::Anchor, std::string>> parentAnchor(const std::string &path)
{
    const std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t slash = path.rfind('/', end);
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    std::string name = path.substr(slash + 1, end - slash);
    const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
    const std::optional<tree::Anchor> anchor = tree::anchorAt(parent);
    if (!anchor) {
        return std::nullopt;
    }
    return std::make_pair(*anchor, std::move(name));
}

} // namespace

tree::RemovalOutcome FolderInfo::removeAt(const std::string &path, const tree::RemovalRequest &request)
{
    tree::RemovalOutcome outcome;
    const auto place = parentAnchor(path);
    if (!place) {
        const bool protectedPath = tree::isProtectedPath(path, request.homeDir);
        outcome.error = protectedPath ? Error{ EPERM, path, "protected location" } : Error::fromErrno(ENOENT, path);
        outcome.refusal = protectedPath ? tree::Refusal::Protected : tree::Refusal::None;
        return outcome;
    }
    return tree::removeBelow(place->first, place->second, request);
}

} // namespace core
