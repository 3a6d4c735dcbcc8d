#pragma once

#include "Result.h"
#include "tree/KeptItems.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace core::tree {

/// Whether the item at `path` may be deleted by this process, mirroring the
/// kernel's own check: the parent folder is writable and searchable for the
/// effective ids; in a sticky folder the item or the folder belongs to us
/// (or we are root); neither the item nor its parent is immutable or
/// append-only. An empty path is deletable; "/" is not. A missing item under
/// a writable, non-sticky folder counts as deletable (its removal then fails).
/// Only the top item is checked: a folder removal can still fail half-way.
/// A trailing "/" is ignored, so a link is judged as the link. Thread-safe.
[[nodiscard]] bool isDeletable(const std::string &path);

/// isDeletable with the reason when the answer is no: the error names `path`
/// and carries the errno of the check that refused it (EACCES or EROFS from
/// the parent's access check, EPERM for the sticky-folder owner rule and for
/// an immutable or append-only flag, the item's lstat error in a sticky
/// folder) with the platform's text for it.
[[nodiscard]] Status checkDeletable(const std::string &path);

/// Whether Spruce refuses to delete `path` whatever a catalogue says: "/",
/// every top-level folder (/usr, /etc, /home, /mnt, ...), every item directly
/// inside a top-level folder (/usr/share, /var/log, /home/ann, /tmp/x, ...),
/// the home folder `homeDir` and every folder above it, and any path that is
/// not absolute or holds "." or ".." components. Repeated and trailing "/"
/// are ignored, as the kernel ignores them. One exception: when `homeDir` is
/// itself a top-level folder that is not a system one (root's /root), the
/// user's items directly in it may go. Purely lexical: removeBelow also
/// judges where an item really is. An empty or relative `homeDir` protects
/// nothing extra.
[[nodiscard]] bool isProtectedPath(const std::string &path, const std::string &homeDir);

/// isProtectedPath for a path as written and as resolved (realpath of the
/// folder above it; the last component is not followed), against the home
/// folder as written and as resolved: a link above the item, or a home
/// reached through a link, must not let a protected folder through under
/// another name. Reads the file system; thread-safe.
[[nodiscard]] bool isProtectedLocation(const std::string &path, const std::string &homeDir);

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

struct RemovalRequest
{
    ItemKind expected = ItemKind::Any;
    /// Check what the removal needs, everywhere it would reach, and delete nothing.
    bool dryRun = false;
    /// The home folder protected with everything above it ("" for none extra).
    std::string homeDir;
    /// In a dry run, whether the trashed item at this written path (the
    /// "files" entry a ".trashinfo" record describes) would be removed
    /// earlier in the same clean; such a record is then not kept for it.
    std::function<bool(const std::string &trashedItemPath)> trashedItemGoing;
    /// The user's always-keep list: a kept item, or one below a kept folder,
    /// is refused; a folder holding kept items is removed in part (the kept
    /// items and the folders above them stay). Null: nothing is kept.
    std::shared_ptr<const KeptItems> kept;
    /// Move the item to the desktop Trash (tree::moveToTrash) instead of
    /// deleting it, after the same checks. An item no trash can take fails
    /// and stays where it is; it is never deleted instead.
    bool moveToTrash = false;
};

/// What one removal did, or in a dry run would do.
struct RemovalOutcome
{
    /// Bytes removed: the st_size of every file and link unlinked (in a dry
    /// run, of everything the check passed over). Counted also when the
    /// removal fails half-way.
    std::int64_t freed = 0;
    /// The item was not there any more (nothing removed, nothing failed).
    bool alreadyGone = false;
    /// The first thing left behind and why; nullopt when everything went.
    /// Its path is the one that could not be removed.
    std::optional<Error> error;
    /// Something was removed before the failure (a folder removed in part).
    bool partial = false;
    /// The item was refused before anything was touched (protected, not
    /// deletable, changed since the scan, on another file system, a trash record kept).
    bool refused = false;
    /// Identity of the item examined (0 when it was not reached).
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    /// The item went to the Trash (in a dry run: would go); `freed` is then
    /// what was moved there, not space given back.
    bool trashed = false;

    [[nodiscard]] bool ok() const { return !error.has_value(); }
};

/// Removes the item `relative` below `anchor` (components separated by "/",
/// none of them empty, "." or ".."), or with an empty `relative` everything
/// inside the anchor (the anchor itself stays). The item is reached one
/// component at a time, never following a link: the anchor is opened as the
/// scan opened it and must be the folder the scan saw, every folder on the
/// way is opened with O_NOFOLLOW on the anchor's file system, and the item
/// must be of the `expected` kind. Anything else fails with "changed since
/// the scan; not deleted" and nothing is touched. A missing component or
/// item is `alreadyGone`.
///
/// Refused before anything is touched: a protected location, judged by
/// where the item really is (the resolved folder it was found in) as well
/// as by its written path; an item on another file system (a mount point);
/// an item whose parent does not let it be unlinked (checkDeletable's
/// rules); a ".trashinfo" file in a trash "info" folder while the trashed
/// item it describes is still in "files" (removing it would leave that item
/// impossible to restore).
///
/// Then, as removeItem: a folder's content is removed by descriptor, links
/// removed and never followed, mount points not entered, going on after a
/// failing child; a folder swapped for another or for a link mid-way makes
/// that part fail. The dry run walks what would be removed instead and
/// fails where the removal would: a folder it cannot list, a folder whose
/// entries it may not unlink (write and search permission, the sticky-folder
/// rule, immutable or append-only flags), a mount point.
///
/// Items on `request.kept` are never touched: a kept item, one below a kept
/// folder or a kept anchor (or a folder above the anchor) is refused with
/// "on the always-keep list; not deleted"; a kept entry met inside a folder
/// being removed stays with "on the always-keep list; left in place", so the
/// folders above it stay too and the removal is partial.
///
/// With `request.moveToTrash` the item, once every check above has passed,
/// is handed to moveToTrash by where it really is: the path of the folder
/// reached by descriptor (as the kernel names it) and the item's name, after
/// checking that this path still leads to the item examined. A link is
/// trashed as the link. A folder holding a kept item is refused whole. What
/// GIO cannot trash fails with its reason ("not moved to the Trash: ...")
/// and stays. GIO moves by path, so a link swapped in above the item
/// between that last check and the move is the one race left open. A dry
/// run makes every check but cannot foresee whether a trash will take the
/// item.
///
/// Messages name the written path (anchor path + "/" + relative). Works at
/// any depth. Thread-safe.
[[nodiscard]] RemovalOutcome removeBelow(
    const Anchor &anchor, std::string_view relative, const RemovalRequest &request);

/// Removes a file, a link (never its target) or a folder with all its
/// content, by file descriptor: every component below the parent is opened
/// with O_NOFOLLOW and checked to be the directory that was examined, so a
/// folder swapped for a link mid-way makes the removal fail instead of
/// reaching outside. Mount points below the item are not entered. Goes on
/// after a failing child; returns an error naming the first path that could
/// not be removed (and why) when anything is left. A missing item is an
/// error (ENOENT); an item below it that vanishes meanwhile is not. Trailing
/// "/" are dropped first, so "link/" removes the link. "/", "" and a last
/// component "." or ".." are refused with EINVAL. Folders above the item may
/// be links. No protection rules: callers with a catalogue use removeBelow.
/// Thread-safe.
[[nodiscard]] Status removeItem(const std::string &path);

/// Test seam: called inside removals after a directory entry was examined
/// and before it is opened (or, when trashing, before the item's location is
/// resolved and checked again), with the parent's path and the entry's name.
/// Lets a test swap a folder for a link in that window. Null (and never set) in normal runs.
extern void (*removalRaceHook)(const std::string &parentPath, const std::string &name);

} // namespace core::tree
