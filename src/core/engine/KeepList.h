// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "tree/KeptItems.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace core {

/// The user's always-keep list: files and folders Spruce never collects nor
/// cleans, with everything below them. Scans leave them out (ModuleInfo::scan
/// resolves the list when a scan starts), and the cleaner refuses them again
/// by identity (ModuleInfo::cleanModule resolves it when a clean starts).
///
/// Stored in the user's configuration folder as "Spruce/always-keep" (see
/// filePath): a text file with one kept path per line. Spruce writes file
/// URLs, so any path survives byte for byte (newlines and bytes that are not
/// UTF-8 included); a person may also write a plain absolute path. Blanks
/// around a line and a CR before its end are passed over, as are blank lines
/// and lines starting with "#". Any other line cannot be used: it is
/// reported (see Unusable) and left as it is when the file is rewritten, and
/// a clean deletes nothing while the list has one, as when the file cannot
/// be read at all. A kept path that no longer exists stays listed and
/// matches nothing until something is there again.
///
/// The file must be a regular file (or a link to one) of at most
/// MaxFileSize bytes. Every operation reads it afresh; add and remove take
/// an exclusive lock on the Spruce folder for their read-modify-write and
/// replace the file atomically (through a link, its target is replaced), so
/// the desktop application and the command-line tool may change it at
/// once. Thread-safe.
class KeepList
{
public:
    KeepList() = delete;

    /// Largest list file read: some 30,000 kept paths.
    static constexpr std::size_t MaxFileSize = std::size_t{ 4 } * 1024 * 1024;

    /// A line of the file that names nothing Spruce can keep.
    struct Unusable
    {
        std::size_t line = 0; // counted from 1
        std::string text; // as written, without its line end
        std::string reason; // "not an absolute path", "holds a NUL byte", ...

        /// "line 3 cannot be used (not an absolute path): Documents/x"; a
        /// text longer than 200 bytes is cut there and ends in "...".
        [[nodiscard]] std::string describe() const;
    };

    /// What the file holds.
    struct Contents
    {
        std::vector<std::string> paths; // absolute, without trailing "/", in the order of the file
        std::vector<Unusable> unusable; // in the order of the file
    };

    /// The list as the file system holds it now.
    struct Resolved
    {
        std::shared_ptr<const tree::KeptItems> kept; // null when nothing listed exists
        std::vector<Unusable> unusable;
    };

    /// services().user.configFolder() + "/Spruce/always-keep".
    [[nodiscard]] static std::string filePath();

    /// The kept paths and the lines that cannot be used. A missing file is
    /// an empty list; a file that exists but cannot be read (not a regular
    /// file, too large, a link that leads nowhere, no permission) is an
    /// error naming it.
    [[nodiscard]] static Result<Contents> load();

    /// Adds `paths` (absolute; trailing "/" dropped) that are not listed
    /// yet and returns those it added, in order. Creates the folders
    /// (private to the user) and the file (0600) when needed. A relative
    /// path is an error (EINVAL) and nothing is written.
    [[nodiscard]] static Result<std::vector<std::string>> add(const std::vector<std::string> &paths);

    /// Takes `paths` (compared byte for byte, trailing "/" dropped) off the
    /// list and returns those that were on it; the others are left alone.
    [[nodiscard]] static Result<std::vector<std::string>> remove(const std::vector<std::string> &paths);

    /// The list as the file system holds it now (tree::KeptItems::resolve of
    /// the usable lines), with the lines that cannot be used; an error when
    /// the file cannot be read.
    [[nodiscard]] static Result<Resolved> resolve();

    /// Test seam: what flushes the new list, and then its folder, to disk
    /// before and after the new list is renamed into place (fsync(2) when
    /// null). Returns the previous one.
    using SyncFunction = int (*)(int fd);
    static SyncFunction setSyncForTesting(SyncFunction sync);
};

} // namespace core
