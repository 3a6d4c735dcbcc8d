#pragma once

#include "Types.h"

#include <cstdint>
#include <memory>
#include <string>

namespace core::platform {

struct WalkOptions
{
    bool skipHidden = false;                  // hidden items are neither returned nor entered
    bool skipPackageDescendants = false;      // packages are returned, not entered
    bool skipSubdirectoryDescendants = false; // only the root's immediate entries (a shallow listing)
    bool wantStat = true;                     // false: no stat call where the directory entry type is known
};

/// One enumerated item and its resource values.
struct WalkItem
{
    std::string path;    // root path + "/" + relative path (bytes)
    std::string name;    // last component (bytes)
    bool statOk = false; // false: the item's values could not be read (the fields below are defaults)
    bool isDir = false;  // a directory; a link to one is not
    bool isPackage = false;
    bool isHidden = false;
    bool isSymlink = false;
    bool hasSize = false; // regular files and links have a size; directories and special files do not
    std::int64_t size = 0;
    Timestamp mtime = Timestamp::distantPast();
    std::uint64_t dev = 0;
};

/// Pre-order enumeration below a folder, in byte-sorted name order per
/// directory. The root is opened following links (as a start location is);
/// nothing below it is followed. A directory that cannot be opened is
/// passed over silently; a directory on a pseudo or network file system
/// mounted below the root is not entered. Not thread-safe: one walker per job.
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

    /// Depth of the item last returned: 1 for the root's immediate entries.
    [[nodiscard]] int level() const;

    /// Do not enter the item last returned.
    void skipDescendants();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Reads one item's values without following a final link (directory or not).
/// statOk is false when the item is missing or unreadable.
WalkItem statItem(const std::string &path);

/// True when `path` exists and, following links, is a directory.
bool isDirectoryFollowing(const std::string &path);

/// True when `path` exists (following links; a dangling link does not exist).
bool existsFollowing(const std::string &path);

} // namespace core::platform
