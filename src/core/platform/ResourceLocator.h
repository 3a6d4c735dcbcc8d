// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace core::platform {

/// Finds the application's resource files (property lists, images) by name
/// and type, the way a bundle lookup does. Searched in order: the override
/// folder (--resources or $SPRUCE_RESOURCES), <exe dir>/../share/spruce/resources
/// (an installed tree), <exe dir>/resources (the build tree). Immutable after
/// construction, so safe to share between threads.
class ResourceLocator
{
public:
    ResourceLocator() = default;
    explicit ResourceLocator(std::vector<std::string> searchDirs);

    /// The standard search list for the running executable; `overrideDir`
    /// (may be empty) wins over $SPRUCE_RESOURCES, which wins over the rest.
    static ResourceLocator forExecutable(const std::string &overrideDir = {});

    /// Path of "<name>.<type>" in the first search folder that holds it; nullopt when none does.
    std::optional<std::string> path(const std::string &name, const std::string &type) const;

    const std::vector<std::string> &searchDirs() const { return m_dirs; }

private:
    std::vector<std::string> m_dirs;
};

/// The privileged helper that goes with the running executable:
/// <exe dir>/../libexec/spruce/spruce-admin (an installed tree), else
/// <exe dir>/../admin/spruce-admin (the build tree); "" when neither is a
/// regular file.
[[nodiscard]] std::string adminHelperForExecutable();

} // namespace core::platform
