// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "tree/KeptItems.h"
#include "tree/Protection.h"
#include "tree/Trash.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace core::tree {

/// A folder that scanned records hang from (a catalogue location, the home
/// folder of a deep walk), as the scan found it: the path the scan opened
/// (following links, as a start location is) and the identity of the folder
/// it reached. Removal opens the path again and goes no further when it
/// reaches another folder.
struct Anchor
{
    std::string path; // absolute, without trailing "/" ("/" stays "/")
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const Anchor &) const = default;
};

/// The anchor for the folder at `path` as it is now (following links);
/// nullopt when it is not a folder that can be reached.
[[nodiscard]] std::optional<Anchor> anchorAt(const std::string &path);

/// What the scan saw at the item: removal refuses an item of another kind.
enum class ItemKind {
    Any, // no expectation (a path given by hand)
    Directory,
    Symlink,
    Other, // a file, or anything that is neither a folder nor a link
};

/// Why an item was refused before anything was touched. The front ends group
/// and count refusals by this value; the error's message says it in words.
enum class Refusal {
    None, // not refused: removed, already gone, or failed while removing
    ChangedSinceScan, // the item, or a folder on the way to it, is not what the scan saw
    Kept, // on the always-keep list, below a kept folder, or marking a kept cache
    Protected, // "/", a system folder, the home or a folder above it, reached by any name
    OtherFileSystem, // a mount point (a bind mount included) or another device
    NotDeletable, // the folder holding it does not let it be unlinked
    TrashRecordKept, // a ".trashinfo" record whose item is still in the trash
    Invalid, // not a path below the location it was found in, or not something removal takes
};

/// Counts the names of files met by the removals of one clean, so that a
/// file's bytes count as freed when its last name goes (a file with two
/// names both removed frees its bytes once; one whose other name stays
/// frees nothing). A real removal asks the kernel's link count at each
/// unlink; a dry run counts the names it would unlink here. One ledger per
/// clean, used by one thread at a time.
class LinkLedger
{
public:
    /// Takes one name of the file `id` with `links` names (st_nlink) and
    /// `size` bytes; returns the bytes this name gives back (the size once
    /// its last name is taken, else 0).
    std::int64_t take(FileId id, std::uint64_t links, std::int64_t size);

private:
    struct Hash
    {
        std::size_t operator()(const FileId &id) const noexcept
        {
            return std::hash<std::uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ULL ^ id.device);
        }
    };
    std::unordered_map<FileId, std::uint64_t, Hash> m_namesLeft;
};

/// Test seam: called inside removals with a folder's path and the name in it
/// that is about to be opened or moved (after it was examined), so a test can
/// swap a folder for a link in that window.
using RaceHook = std::function<void(const std::string &parentPath, const std::string &name)>;

struct RemovalRequest
{
    ItemKind expected = ItemKind::Any;
    /// Check what the removal needs, everywhere it would reach, and delete nothing.
    bool dryRun = false;
    /// What is never removed: the home folder with everything above it,
    /// "/" and the system's folders (Protection). Null: built for `homeDir`
    /// at each call (a clean builds it once).
    std::shared_ptr<const Protection> protection;
    /// The home folder, when `protection` is null ("" for none extra).
    std::string homeDir;
    /// In a dry run, whether the trashed item at this written path (the
    /// "files" entry a ".trashinfo" record describes) would be removed
    /// earlier in the same clean; such a record is then not kept for it.
    std::function<bool(const std::string &trashedItemPath)> trashedItemGoing;
    /// The user's always-keep list: a kept item, or one below a kept folder,
    /// is refused; a folder holding kept items is removed in part (the kept
    /// items and the folders above them stay). Null: nothing is kept.
    std::shared_ptr<const KeptItems> kept;
    /// Move the item to this Trash (trashEntry) instead of deleting it, after
    /// the same checks. An item no trash can take fails and stays where it
    /// is; it is never deleted instead. Null: delete.
    std::shared_ptr<const TrashPlace> trash;
    /// Names kept directly inside a folder item: the folder is emptied but
    /// stays with these entries (a tagged cache keeps its CACHEDIR.TAG, so it
    /// stays marked for backup tools and the next scan). Empty: the folder
    /// goes whole.
    std::vector<std::string> keepEntries;
    /// Folders the user owns inside the item (the item included, never a
    /// folder above it) that lack write or search permission are given them
    /// to be emptied, as `go clean -modcache` does for Go's read-only module
    /// cache. A folder of another owner is never changed.
    bool makeOwnFoldersWritable = false;
    /// The names counted so far in this clean; null: this removal alone.
    std::shared_ptr<LinkLedger> links;
    /// Test seam (see RaceHook); null in normal runs.
    RaceHook raceHook;
};

/// What one removal did, or in a dry run would do.
struct RemovalOutcome
{
    /// Bytes given back: the st_size of every file and link whose last name
    /// was unlinked (in a dry run: would be). Counted also when the removal
    /// fails half-way. When `trashed`, the bytes moved to the Trash instead.
    std::int64_t freed = 0;
    /// Bytes of names unlinked whose data stays because other names (hard
    /// links outside what was removed) still hold it.
    std::int64_t held = 0;
    /// The item was not there any more (nothing removed, nothing failed).
    bool alreadyGone = false;
    /// The first thing left behind and why; nullopt when everything went.
    /// Its path is the one that could not be removed.
    std::optional<Error> error;
    /// Something was removed before the failure (a folder removed in part).
    bool partial = false;
    /// Why the item was refused before anything was touched; None otherwise.
    Refusal refusal = Refusal::None;
    /// Identity of the item examined (0 when it was not reached).
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    /// The item went to the Trash (in a dry run: would go).
    bool trashed = false;
    /// Where it went in the Trash (empty unless trashed).
    std::string trashedAs;

    [[nodiscard]] bool ok() const { return !error.has_value(); }
    [[nodiscard]] bool refused() const { return refusal != Refusal::None; }
};

/// Removes the item `relative` below `anchor` (components separated by "/",
/// none of them empty, "." or ".."), or with an empty `relative` everything
/// inside the anchor (the anchor itself stays). The one entry point of every
/// removal the program makes.
///
/// The item is reached one component at a time, never following a link:
/// the anchor is opened as the scan opened it and must be the folder the
/// scan saw, every folder on the way is opened with O_NOFOLLOW on the
/// anchor's mount, and the item must be of the `expected` kind. Anything
/// else is refused as ChangedSinceScan and nothing is touched. A missing
/// component or item is `alreadyGone`.
///
/// Refused before anything is touched (RemovalOutcome::refusal): a
/// protected location, judged by identity (Protection) as well as by the
/// written and the resolved path, and an anchor that is a protected folder
/// reached under another name; a mount point or another device on the way
/// or at the item (a bind mount of the same disk included); an item whose
/// parent does not let it be unlinked; a kept item; a ".trashinfo" record
/// whose trashed item is still in "files".
///
/// Then a folder's content is removed by descriptor, links removed and never
/// followed, mount points not entered, going on after a failing child; a
/// folder swapped for another or for a link mid-way makes that part fail. A
/// kept entry met inside stays ("on the always-keep list; left in place"),
/// so the folders above it stay too and the removal is partial. The dry run
/// walks what would be removed instead and fails where the removal would: a
/// folder it cannot list, a folder whose entries it may not unlink (write
/// and search permission, the sticky-folder rule, immutable or append-only
/// flags on the folder or on any entry, at every depth), a mount point.
///
/// With `request.trash` the item, once every check has passed, is moved by
/// descriptor into that Trash (trashEntry); a folder holding a kept item is
/// refused whole. The content of an anchor is never trashed.
///
/// Messages name the written path (anchor path + "/" + relative). Works at
/// any depth. Thread-safe (a shared LinkLedger excepted).
[[nodiscard]] RemovalOutcome removeBelow(
    const Anchor &anchor, std::string_view relative, const RemovalRequest &request);

} // namespace core::tree
