#pragma once

#include "Result.h"

#include <string>

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
/// user's items directly in it may go. Purely lexical: a caller that may see
/// links above the item checks the resolved location as well. An empty or
/// relative `homeDir` protects nothing extra.
[[nodiscard]] bool isProtectedPath(const std::string &path, const std::string &homeDir);

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
/// be links. Works at any depth (no path longer than the given one is ever
/// passed to the kernel), within the process's limit of open descriptors
/// (one per level). Thread-safe.
[[nodiscard]] Status removeItem(const std::string &path);

/// Test seam: called inside removeItem after a directory entry was examined
/// and before it is opened, with the parent's path and the entry's name.
/// Lets a test swap a folder for a link in that window. Null (and never set) in normal runs.
extern void (*removalRaceHook)(const std::string &parentPath, const std::string &name);

} // namespace core::tree
