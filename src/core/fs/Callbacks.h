// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace core {

/// The engine's callbacks, shared by scanning and cleaning. All three are
/// delivered on the main queue.
///
/// progress(path, size): an item was measured (or deleted) with that many
/// bytes; path is the item's path (bytes), or "" for a batch of deeper items.
using Progress = std::function<void(const std::string &path, std::int64_t size)>;
/// showPercent(fraction): a fraction between 0 and 1 (not a percentage).
/// Scanners pass increments; the scan driver passes the module's running total.
using ShowPercent = std::function<void(float fraction)>;
using Done = std::function<void()>;

/// Posts progress(path, size) to the main queue; nothing when `progress` is empty.
void postProgress(const Progress &progress, std::string path, std::int64_t size);
/// Posts showPercent(fraction) to the main queue; nothing when `showPercent` is empty.
void postShowPercent(const ShowPercent &showPercent, float fraction);

} // namespace core
