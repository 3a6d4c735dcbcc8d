#pragma once

#include "Result.h"

#include <string>

namespace core::platform {

/// Whether the item at `path` may be deleted by this process, mirroring the
/// kernel's own check: the parent folder is writable and searchable for the
/// effective ids; in a sticky folder the item or the folder belongs to us
/// (or we are root); neither the item nor its parent is immutable or
/// append-only. An empty path is deletable; "/" is not. A missing item under
/// a writable folder counts as deletable (its removal then fails).
/// Only the top item is checked: a folder removal can still fail half-way.
[[nodiscard]] bool isDeletable(const std::string &path);

/// Whether Spruce refuses to delete `path` whatever a catalogue says: "/",
/// the top-level system folders and their immediate children (/usr, /usr/share,
/// /etc, /var/log, ...), the home folder `homeDir` and every folder above it,
/// and any path that is not absolute or holds "." or ".." components.
[[nodiscard]] bool isProtectedPath(const std::string &path, const std::string &homeDir);

/// Removes a file, a link (never its target) or a folder with all its
/// content, by file descriptor: every component below the parent is opened
/// with O_NOFOLLOW and checked to be the directory that was examined, so a
/// folder swapped for a link mid-way makes the removal fail instead of
/// reaching outside. Mount points below the item are not entered. Goes on
/// after a failing child; returns an error naming the first path that could
/// not be removed (and why) when anything is left. Thread-safe.
[[nodiscard]] Status removeItem(const std::string &path);

/// Test seam: called inside removeItem after a directory entry was examined
/// and before it is opened, with the parent's path and the entry's name.
/// Lets a test swap a folder for a link in that window. Null (and never set) in normal runs.
extern void (*removalRaceHook)(const std::string &parentPath, const std::string &name);

} // namespace core::platform
