// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/KeptItems.h"

#include <cstdint>
#include <string>

namespace core::tree {

struct TreeSizeOptions
{
    /// Walking threads, the caller's included; 0 picks 2 to 4 by core count.
    /// Helpers are only started once the walk proves bigger than a few
    /// directories, so small folders cost no thread start.
    int threads = 0;
    /// The always-keep list: kept items count nothing, with everything below
    /// them; a kept root, or one below a kept folder, totals 0. Not owned.
    const KeptItems *kept = nullptr;
};

/// Total logical size (st_size) of everything below the folder at
/// `rootPath`: every level, hidden items and package contents included;
/// directories count 0, links their own length, special files their st_size
/// (0). The root is opened following a link; nothing below it is followed:
/// every directory is opened relative to its parent's descriptor with
/// O_NOFOLLOW, so paths longer than PATH_MAX are counted too. Hard links
/// count once per name, as on macOS.
///
/// Stays on the root's file system (du -x): a mount point below the root is
/// not entered and a file bound from another file system not counted.
/// Counted as 0: a subtree that cannot be opened, an entry whose stat fails,
/// a directory deeper than 4096 levels. Unreadable folders and mount points
/// are told to services().walkReport, so a caller can say that a total is
/// partial. 0 when `rootPath` is not a directory that can be opened.
///
/// Walks depth-first on up to `threads` threads, each holding one descriptor
/// per branching level; idle threads get whole subdirectories through a
/// small shared queue. Memory grows with depth, not with the item count.
/// Runs on the caller's thread (plus its own helpers, joined before it
/// returns); thread-safe, several walks may run at once.
std::int64_t treeSize(const std::string &rootPath, const TreeSizeOptions &options = {});

} // namespace core::tree
