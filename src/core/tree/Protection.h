// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/KeptItems.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace core::tree {

/// Whether Spruce refuses to delete `path` whatever a catalogue says, judged
/// by how the path is written: "/", every top-level folder (/usr, /etc,
/// /home, /mnt, ...), every item directly inside a top-level folder
/// (/usr/share, /var/log, /home/ann, /tmp/x, ...), the home folder `homeDir`
/// and every folder above it, and any path that is not absolute or holds
/// "." or ".." components. Repeated and trailing "/" are ignored, as the
/// kernel ignores them. One exception: when `homeDir` is itself a top-level
/// folder that is not a system one (root's /root), the user's items directly
/// in it may go. An empty or relative `homeDir` protects nothing extra. Pure:
/// Protection also judges where an item really is.
[[nodiscard]] bool isProtectedPath(const std::string &path, const std::string &homeDir);

/// The folders Spruce never removes nor empties, by identity, as the file
/// system stood when it was built: "/", every top-level folder and every
/// folder directly inside one, the home folder and every folder above it.
/// A folder is recognised under any name it is reached by (a link, a bind
/// mount of it elsewhere), because it is matched by device and inode, and
/// "above the home" follows ".." from where the home really is.
///
/// Built once per clean (a few hundred stat calls: the top two levels of
/// the tree), then only read: thread-safe.
class Protection
{
public:
    /// The protection for a clean of the home folder `homeDir` (absolute;
    /// "" protects no home). Never fails: what cannot be read is protected
    /// by the lexical rules alone.
    [[nodiscard]] static std::shared_ptr<const Protection> forHome(const std::string &homeDir);

    [[nodiscard]] const std::string &homeDir() const { return m_homeDir; }

    /// Where the protected folder with this identity was found ("/usr",
    /// "/home/ann"); nullopt for a folder that is not protected.
    [[nodiscard]] std::optional<std::string> protectedFolder(FileId id) const;

    /// Whether nothing directly inside the folder with this identity may go:
    /// "/" and the top-level folders, except a home that is a top-level
    /// folder of its own (/root).
    [[nodiscard]] bool protectsEntriesOf(FileId folder) const;

    /// Whether a folder that scanned records hang from may be used: refused
    /// when it is a protected folder reached under a name that is not its
    /// own (`writtenPath`, tidied, differs from where the folder was found,
    /// as written or resolved): a link or a bind mount leading to the home,
    /// to "/" or to a system folder. The home walk anchored at the home by
    /// its own name passes. `real` is where the anchor really is (nullopt:
    /// unknown).
    [[nodiscard]] bool refusesAnchor(
        const std::string &writtenPath, const std::optional<std::string> &real, FileId id) const;

    /// The catalogue loader's check of a location: `path` is protected when
    /// isProtectedPath holds for it as written or for where it leads (the
    /// folder above resolved, the last component too when it is a link to a
    /// folder, as a scan opens a location), or when the folder it opens is a
    /// protected one by identity. Reads the file system.
    [[nodiscard]] bool isProtectedLocation(const std::string &path) const;

    /// isProtectedPath against the home folder as given and as resolved.
    [[nodiscard]] bool isProtectedPathForHome(const std::string &path) const;

private:
    struct Hash
    {
        std::size_t operator()(const FileId &id) const noexcept
        {
            return std::hash<std::uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ULL ^ id.device);
        }
    };

    std::string m_homeDir;
    std::optional<std::string> m_realHome;
    std::unordered_map<FileId, std::string, Hash> m_folders; // protected folder -> where it was found
    std::unordered_map<FileId, bool, Hash> m_entriesProtected; // "/" and top-level folders
};

} // namespace core::tree
