// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Types.h"
#include "tree/KeptItems.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core::tree {

struct WalkOptions
{
    bool skipHidden = false; // hidden items are neither returned nor entered
    bool skipPackageDescendants = false; // packages are returned, not entered
    bool skipSubdirectoryDescendants = false; // only the root's immediate entries (a shallow listing)
    bool wantStat = true; // false: no stat call where the directory entry type is known
    const KeptItems *kept = nullptr; // the always-keep list: kept items are neither returned nor entered; not owned
};

/// One enumerated item and its resource values.
///
/// With `wantStat` false and a directory entry type the file system reports,
/// no stat call is made: `statOk` is true and only the type fields (isDir,
/// isPackage, isSymlink) and isHidden are filled; hasSize stays false and
/// mtime stays distant past. An entry whose type is unknown is stat'ed anyway.
struct WalkItem
{
    std::string path; // root path + "/" + relative path (bytes)
    std::string name; // last component (bytes)
    bool statOk = false; // false: the item's values could not be read (the fields below are defaults)
    bool isDir = false; // a directory; a link to one is not
    bool isPackage = false;
    bool isHidden = false; // the name starts with "."; filled even when statOk is false
    bool isSymlink = false;
    bool hasSize = false; // regular files and links have a size; directories and special files do not
    std::int64_t size = 0;
    Timestamp mtime = Timestamp::distantPast();
    std::uint64_t dev = 0;
};

/// Pre-order enumeration below a folder, in byte-sorted name order per
/// directory (each directory's names are read fully, then sorted). The root
/// is opened following links (as a start location is); nothing below it is
/// followed: every directory is opened relative to its parent's descriptor
/// with O_NOFOLLOW, so paths longer than PATH_MAX are reached too.
///
/// The walk stays on the root's file system, as du -x does: a mount point
/// below the root (a folder or a file with another device) is neither
/// returned nor entered. Passed over (never entered, the walk goes on): a
/// directory that cannot be opened (permissions, a race, too many open
/// files) and a directory at level 4096 (its entries would lie deeper than
/// 4096 levels). Unreadable folders and mount points are told to
/// services().walkReport. An entry whose stat fails is still returned, with
/// statOk false. Without stat (wantStat false) a mount point is returned
/// but still not entered. A package is a directory whose name ends in ".app",
/// ".bundle", ".framework" or ".plugin".
///
/// Items on the always-keep list (WalkOptions::kept) are neither returned
/// nor entered; a root that is kept, or lies below a kept folder, is not opened.
///
/// Open descriptors: one per level that still has entries to return (a
/// directory whose last entry is being entered is closed first), so a chain
/// of single folders costs one descriptor whatever its depth.
///
/// Not thread-safe: one walker per job; different walkers may run at once.
class Walker
{
public:
    Walker(std::string rootPath, WalkOptions options);
    ~Walker();
    Walker(const Walker &) = delete;
    Walker &operator=(const Walker &) = delete;

    /// False when the root could not be opened as a directory.
    [[nodiscard]] bool opened() const;

    /// The next item, or nullptr at the end. The pointer stays valid until the next call.
    const WalkItem *next();

    /// Depth of the item last returned: 1 for the root's immediate entries
    /// (0 before the first item).
    [[nodiscard]] int level() const;

    /// Do not enter the item last returned. No effect for a non-directory.
    void skipDescendants();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Reads one item's values without following a final link (directory or not).
/// statOk is false when the item is missing or unreadable. Trailing "/" of
/// `path` are ignored (so "link/" still describes the link).
WalkItem statItem(const std::string &path);

/// True when `path` exists and, following links, is a directory.
bool isDirectoryFollowing(const std::string &path);

/// True when `path` exists (following links; a dangling link does not exist).
bool existsFollowing(const std::string &path);

/// Raises the soft limit of open files (RLIMIT_NOFILE) to the hard limit,
/// once per process; later calls do nothing. Call it early in main(): walks
/// hold a descriptor per branching level and the background queue runs
/// several walks at once. Returns the soft limit in force afterwards.
/// Thread-safe.
std::uint64_t raiseFileLimit();

} // namespace core::tree
