#pragma once

#include "Result.h"

#include <string>

namespace core::tree {

/// Moves the item at `resolvedPath` (a file, a link as the link, or a folder
/// with its content) to the desktop Trash, as the freedesktop.org Trash
/// standard lays it out, through GIO's g_file_trash: an item on the
/// home folder's file system goes to the home trash
/// ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash), one elsewhere to
/// $topdir/.Trash/$uid or $topdir/.Trash-$uid of its file system, each with
/// a ".trashinfo" record of its original path and the deletion date; a name
/// already in the trash gets a unique one. The move is a rename: nothing is
/// copied, and nothing is ever deleted. When no trash can take the item (a
/// file system without a usable trash, a system-internal mount such as a
/// tmpfs, a trash across a bind mount) it stays where it is and the error
/// says why, naming `resolvedPath`.
///
/// `resolvedPath` must be absolute and hold no link above the item: GIO
/// reaches the item by its path. The home folder and the data folder are
/// those of the process's environment ($HOME, $XDG_DATA_HOME), which GIO
/// reads once per process. Thread-safe.
[[nodiscard]] Status moveToTrash(const std::string &resolvedPath);

} // namespace core::tree
