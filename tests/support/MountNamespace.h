// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace testing_support {

/// Exit code of a child that could not set up what the test needs.
inline constexpr int CannotRun = 125;

/// Runs `fn` in a forked child with a private mount namespace, so that the
/// mounts it makes vanish with it and the machine's mount table is never
/// touched. Returns the child's exit code: `fn`'s return value, CannotRun
/// when the namespace cannot be had here, 126 when the child died.
int inPrivateMountNamespace(const std::function<int()> &fn);

/// Mounts a small tmpfs at `path` (inside inPrivateMountNamespace only). False when it cannot.
bool mountTmpfs(const std::string &path);

/// Binds `source` (a file or a folder) onto `target` (inside inPrivateMountNamespace only).
bool bindMount(const std::string &source, const std::string &target);

} // namespace testing_support
