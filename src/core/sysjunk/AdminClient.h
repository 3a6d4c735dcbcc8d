// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "sysjunk/AdminProtocol.h"

#include <string>
#include <vector>

/// The unprivileged half: starting spruce-admin for a request and reading
/// its answer. Thread-safe (it blocks the calling thread, a clean job,
/// while the helper runs and the administrator is asked).
namespace core::sysjunk {

/// What the helper answered.
struct AdminAnswer
{
    /// One report per request word the helper answered, in its order.
    std::vector<AdminReport> reports;
    /// Set when the request as a whole came to nothing: no helper, no
    /// consent, or the helper refused it (its one-line reason). Nothing
    /// was removed then.
    std::optional<Error> error;
};

/// Asks services().adminHelper to carry out `words` (AdminItem::word()).
/// Run directly when this process is root, else through pkexec (the
/// polkit agent asks for the administrator's password; the terminal's
/// input is passed on so pkexec can ask there when no agent runs). The
/// system root and tool path of services() are passed on when they are
/// not the defaults (the helper refuses them through pkexec).
[[nodiscard]] AdminAnswer callAdmin(const std::vector<std::string> &words);

} // namespace core::sysjunk
