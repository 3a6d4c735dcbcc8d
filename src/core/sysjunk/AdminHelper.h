// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sysjunk/AdminProtocol.h"

#include <cstdint>
#include <string>
#include <vector>

/// The privileged half: what spruce-admin does with one checked request
/// word. Kept in the core so that the helper's main() only checks who
/// started it and reads its command line.
namespace core::sysjunk {

/// Where the helper works.
struct AdminContext
{
    std::string root = "/"; // the system root, ending in "/"
    std::vector<std::string> toolPath; // where journalctl, snap and flatpak are; empty: defaultToolPath()
    std::int64_t now = 0; // Unix seconds, for the age of /var/tmp entries
};

/// Carries out one item and says what became of it. Before anything is
/// removed the item is checked on the spot, whatever the scan saw:
/// - a file action: the action's folder is reached from the root one
///   component at a time without following a link, the entry must be of
///   the action's kind there (a regular file; a kdump folder in /var/crash;
///   anything in /var/tmp, once nothing in it changed for 30 days and all of
///   it could be read), and it is removed by tree::removeBelow from that
///   folder (no link followed, no mount crossed);
/// - journal-vacuum: `journalctl --vacuum-time=1s`, which removes the
///   archived files only; freed is what the archived files shrank by;
/// - snap-revision: `snap list --all` must mark that revision disabled, then
///   `snap remove --revision=REV NAME`;
/// - flatpak-runtime: `flatpak uninstall --unused --system` (answered no)
///   must list the id and branch, and the runtime must be installed below
///   the root for that arch, then
///   `flatpak uninstall --system --noninteractive runtime/ID/ARCH/BRANCH`.
/// An item not there is AlreadyGone; anything else that does not hold is
/// Refused with why, and nothing of it is touched.
[[nodiscard]] AdminReport performAdminItem(const AdminItem &item, const AdminContext &context);

} // namespace core::sysjunk
