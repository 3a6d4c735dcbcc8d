// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sysjunk/Locations.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

/// Readers of what the system's tools print, run in the C locale. Pure.
namespace core::sysjunk {

/// The revisions `snap list --all` marks "disabled" in its Notes column
/// (the table: Name Version Rev Tracking Publisher Notes). Rows that are not
/// a valid name and revision are passed over.
[[nodiscard]] std::vector<SnapRevision> disabledSnaps(std::string_view snapListAll);

/// An unused runtime as `flatpak uninstall --unused` lists it before asking
/// whether to go on: its id and branch (the listing leaves out the
/// architecture).
struct UnusedRuntime
{
    std::string id;
    std::string branch;
    bool operator==(const UnusedRuntime &) const = default;
};
/// The numbered rows ("  1.   org.gnome.Platform   43   r") of that listing.
[[nodiscard]] std::vector<UnusedRuntime> unusedRuntimes(std::string_view flatpakUninstallUnused);

/// The total of `journalctl --disk-usage` ("Archived and active journals
/// take up 1.2G in the file system."), in bytes; nullopt when the text says
/// no such thing.
[[nodiscard]] std::optional<std::int64_t> journalDiskUsage(std::string_view text);

} // namespace core::sysjunk
