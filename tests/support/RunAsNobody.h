// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace testing_support {

/// Runs `fn` in a forked child that has dropped to the unprivileged user
/// 65534 (root passes every permission check, and CI runs as root). Returns
/// the child's exit code: `fn`'s return value, or 125 when the child could
/// not drop its privileges. Only async-signal-safe work is wise in `fn`.
int runAsNobody(const std::function<int()> &fn);

} // namespace testing_support
