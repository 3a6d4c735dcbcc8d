// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Dispatcher.h"
#include "platform/LogSink.h"
#include "platform/ResourceLocator.h"
#include "platform/UserContext.h"
#include "platform/WalkReport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace core::platform {

/// Everything the engine needs from its surroundings, in one replaceable
/// place: the two queues, the user, the root prefix of /proc, /sys and /dev
/// (a fixture tree in tests), the clock, the diagnostic sink and the
/// resource lookup. main() fills it once before any engine call; a test
/// installs its own with ScopedServices. Reading it from several threads is
/// safe as long as nobody replaces it meanwhile.
struct Services
{
    Dispatcher *dispatch = nullptr; // not owned
    UserContext user;
    std::string sysRoot = "/"; // always ends in "/"; also the root of the system junk locations
    /// Folders the system's tools (journalctl, snap, flatpak) are looked for
    /// in; empty: the usual system folders (sysjunk::defaultToolPath).
    std::vector<std::string> toolPath;
    /// The privileged helper that removes system junk (spruce-admin); empty
    /// when there is none, and then system junk cannot be cleaned.
    std::string adminHelper;
    std::function<std::int64_t()> now; // Unix seconds
    LogSink *log = nullptr; // not owned
    WalkReport *walkReport = nullptr; // not owned; null: nobody listens
    ResourceLocator resources;
};

/// The process-wide services. Before anything is installed it has no
/// dispatcher, the system user, the real clock and a sink on stdout/stderr.
Services &services();

/// Installs `replacement` for the lifetime of this object and restores the
/// previous services afterwards. Not thread-safe: install before starting jobs.
class ScopedServices
{
public:
    explicit ScopedServices(Services replacement);
    ~ScopedServices();
    ScopedServices(const ScopedServices &) = delete;
    ScopedServices &operator=(const ScopedServices &) = delete;

private:
    Services m_saved;
};

} // namespace core::platform
