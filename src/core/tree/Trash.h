// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "tree/KeptItems.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace core::tree {

/// Whose Trash items go to: the Trash of the home being cleaned, as the
/// freedesktop.org Trash standard lays it out.
struct TrashPlace
{
    /// The home trash is `dataFolder` + "/Trash" ($XDG_DATA_HOME, or the
    /// home's ".local/share"). Folders of it that are missing are made
    /// (private to the owner) inside `homeDir` only.
    std::string dataFolder;
    std::string homeDir;
    /// The owner of that home: trash folders and ".trashinfo" records made
    /// for a clean run by root belong to them, so they can restore.
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    /// The deletion date written into records ("YYYY-MM-DDThh:mm:ss", local
    /// time); null: the clock now. A seam for tests.
    std::function<std::string()> deletionDate;

    /// The place for the home folder `homeDir` and data folder `dataFolder`,
    /// owned by whoever owns `homeDir` (the effective ids when it cannot be
    /// read).
    [[nodiscard]] static TrashPlace forHome(const std::string &homeDir, const std::string &dataFolder);
};

/// Where one item went.
struct TrashedItem
{
    std::string filesPath; // the item in the trash's "files" folder
    std::string infoPath; // its ".trashinfo" record
};

/// Moves the entry `name` of the folder open at `parentFd` to the Trash, by
/// descriptor: nothing on the way is looked up by path, so a link swapped in
/// above the item cannot redirect the move. `realParentPath` is where that
/// folder really is (written into the record as the original location) and
/// `expected` the identity the caller examined: an entry that is something
/// else by the time it moves is moved back and the call fails.
///
/// The trash is the home trash of `place` when the item lies on the same
/// mount, else the trash at the top of the item's own mount
/// ($topdir/.Trash/$uid when $topdir/.Trash is a real sticky folder, else
/// $topdir/.Trash-$uid). Every trash folder is opened without following a
/// link and must belong to the owner; its "files" and "info" must be real
/// folders. The name is reserved by creating "info/NAME.trashinfo" with
/// O_EXCL, then the item is renamed into "files" with RENAME_NOREPLACE; a
/// name taken in either folder moves on to the next ("NAME.2", ...). Nothing
/// is ever overwritten, copied or deleted. An item no usable trash can take
/// fails and stays where it is.
///
/// Every failure's message says on its own that the item was not moved to
/// the Trash. An item that is not the one examined any more fails with the
/// message TrashChangedSinceScan.
///
/// With `dryRun` nothing is made or moved: the trash is looked up (missing
/// folders count as makeable) and the result names where it would go.
/// ENOENT when the item is not there any more. Thread-safe.
inline constexpr std::string_view TrashChangedSinceScan = "changed since the scan; not moved to the Trash";
[[nodiscard]] Result<TrashedItem> trashEntry(int parentFd,
    const std::string &name,
    const std::string &realParentPath,
    FileId expected,
    const TrashPlace &place,
    bool dryRun);

/// What a ".trashinfo" record says: the original path (decoded) and the
/// deletion date as written; nullopt for a record that is not one (no
/// "[Trash Info]" group, no Path). A relative path is returned as written
/// (it is relative to the top of its mount). Pure.
struct TrashInfo
{
    std::string path;
    std::string deletionDate;
};
[[nodiscard]] std::optional<TrashInfo> parseTrashInfo(std::string_view text);

} // namespace core::tree
