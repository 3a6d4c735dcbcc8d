// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace core::tree {

/// Identity of a file-system item: the device and inode a stat reports.
struct FileId
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileId &) const = default;
};

/// A set of items by identity, for membership tests in the inner loops of
/// walks (one hash lookup per entry). Filled once, then only read: reading
/// from several threads at once is safe.
class FileIdSet
{
public:
    void insert(FileId id)
    {
        m_ids.insert(id);
        m_seen[bitOf(id) / 64] |= std::uint64_t{ 1 } << (bitOf(id) % 64);
    }
    /// One bit test for nearly every entry that is not in the set; a hash
    /// lookup only for the few whose inode shares a bit with a member.
    [[nodiscard]] bool contains(FileId id) const
    {
        return (m_seen[bitOf(id) / 64] & (std::uint64_t{ 1 } << (bitOf(id) % 64))) != 0 && m_ids.contains(id);
    }
    [[nodiscard]] bool empty() const { return m_ids.empty(); }
    [[nodiscard]] std::size_t size() const { return m_ids.size(); }

    /// Stores in `id` the identity of the item at `path` (following a final
    /// link when `follow`); false when there is nothing there to stat.
    static bool identify(const std::string &path, bool follow, FileId &id);

private:
    struct Hash
    {
        std::size_t operator()(const FileId &id) const noexcept
        {
            // Inodes differ within a device; the device only separates the rare clash.
            return std::hash<std::uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ULL ^ id.device);
        }
    };
    static constexpr std::size_t FilterBits = std::size_t{ 1 } << 16U; // 8 KiB: stays in the cache
    static std::size_t bitOf(FileId id) { return static_cast<std::size_t>(id.inode) % FilterBits; }

    std::unordered_set<FileId, Hash> m_ids;
    std::array<std::uint64_t, FilterBits / 64> m_seen{};
};

/// The user's always-keep list as the file system held it at one moment:
/// the identity of every kept path that existed then (for a link, both the
/// link and what it leads to). Walks match entries against it by the inode
/// their directory listing already carries, so a kept item costs nothing
/// per entry beyond one hash lookup, and nothing at all when the list is
/// empty (then no KeptItems is made: resolve() returns null).
///
/// What is kept is decided by the paths when resolve() runs; from then on
/// matching is by identity, so the item is recognised under its other names
/// (a hard link, a folder reached through a link or a bind mount). A kept
/// path that did not exist then matches nothing, and a kept file renamed
/// before the next resolve() is no longer kept. Immutable once built;
/// thread-safe.
class KeptItems
{
public:
    /// The identities of `paths` (absolute paths) as they are now; null when
    /// none of them exists (nothing to keep).
    [[nodiscard]] static std::shared_ptr<const KeptItems> resolve(const std::vector<std::string> &paths);

    /// The items of `base` (may be null) and the identities of `paths` as
    /// they are now; null when there is nothing to keep.
    [[nodiscard]] static std::shared_ptr<const KeptItems> resolve(
        const std::vector<std::string> &paths, const KeptItems *base);

    /// Whether the item with this identity is kept.
    [[nodiscard]] bool contains(FileId id) const { return m_ids.contains(id); }
    [[nodiscard]] std::size_t size() const { return m_ids.size(); }

    /// Whether the item at `path`, or any folder above it, is kept: the item
    /// itself, every folder above where it really is (links in the path
    /// resolved), and for a link also what it leads to and the folders above
    /// that (a walk starting at the link goes on there). A missing item is
    /// judged by its folder; false when that cannot be opened either. Reads
    /// the file system: a few system calls per folder level.
    [[nodiscard]] bool covers(const std::string &path) const;

    /// Whether the folder open at `dirFd` (any kind of descriptor), or any
    /// folder above it, is kept.
    [[nodiscard]] bool coversFolder(int dirFd) const;

    /// Whether a kept item lies somewhere inside the folder `folder`. The
    /// folders above each kept item are looked up once, on the first call.
    [[nodiscard]] bool holdsKeptItem(FileId folder) const;

private:
    FileIdSet m_ids;
    std::vector<std::string> m_paths; // the kept paths that existed, for holdsKeptItem
    mutable std::once_flag m_ancestorsOnce;
    mutable FileIdSet m_ancestors;
};

/// The kept items of the scan running on the calling thread (a KeepScope),
/// for the class-level FolderInfo and ModuleInfo operations whose
/// signatures carry no options: they read it here and hand it to every walk
/// they start (WalkOptions::kept and its like). Walks themselves never read
/// it: what a walk leaves out depends on its arguments alone. Null: nothing
/// is left out.
[[nodiscard]] const KeptItems *keptItemsHere();

/// Makes `kept` the calling thread's kept items until the scope ends (the
/// previous value comes back then). `kept` must outlive the scope.
class KeepScope
{
public:
    explicit KeepScope(const KeptItems *kept);
    ~KeepScope();
    KeepScope(const KeepScope &) = delete;
    KeepScope &operator=(const KeepScope &) = delete;

private:
    const KeptItems *m_previous;
};

} // namespace core::tree
