// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/KeptItems.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core::tree {

/// The file that marks a folder as a cache, and the line a valid one starts
/// with (the Cache Directory Tagging standard: the exact bytes at the
/// very start of the file, whatever follows them).
inline constexpr std::string_view CacheTagName = "CACHEDIR.TAG";
inline constexpr std::string_view CacheTagSignature = "Signature: 8a477f597d28d172789f06886806bc55";

struct TagSearchOptions
{
    /// Folders neither entered nor listed (the locations of other
    /// categories: what they hold is counted there). Not owned; may be null.
    const FileIdSet *skipped = nullptr;
    /// Folders not listed even when tagged, because a skipped folder lies
    /// inside them (listing them would count it twice); they are entered
    /// like any other. Not owned; may be null.
    const FileIdSet *holdingSkipped = nullptr;
    /// Folders never listed even when tagged (the user's own folders: the
    /// home, its document folders, its settings), entered like any other.
    /// Not owned; may be null.
    const FileIdSet *neverListed = nullptr;
    /// Only tagged folders of this owner are listed; nullopt: any owner.
    std::optional<std::uint32_t> owner;
    /// The always-keep list: kept items are neither listed nor entered, and
    /// a tagged folder holding one is not listed (it is entered). Not owned.
    const KeptItems *kept = nullptr;
};

/// The file whose presence beside a cache tag marks a Python virtual
/// environment: uv and virtualenv tag every environment they make, but an
/// environment is a project's, not a cache.
inline constexpr std::string_view VirtualEnvMarker = "pyvenv.cfg";

/// Every folder below `rootPath` that holds a valid cache tag (isCacheTag,
/// the tag owned by the folder's owner), sorted by path bytes. A tagged
/// folder is not entered, so a tag inside it is not listed again; a tagged
/// folder of another owner is neither listed nor entered. The root itself
/// is never listed, and neither is a tagged folder that is a Python
/// virtual environment (VirtualEnvMarker beside the tag), one of
/// `neverListed`, or one holding a kept item: those are entered instead.
///
/// Walks as the other walks do: the root opened following a link, nothing
/// below it followed (a tagged folder reached through a link is not
/// found), no mount point entered, unreadable folders and mount points told
/// to services().walkReport, kept items
/// (TagSearchOptions::kept) neither listed nor entered. Cheap: the tag's name is
/// noticed while each folder's entries are read, so a folder costs its
/// open, one fstat and its directory reads; files are never stat'ed (on
/// file systems that report entry types), and a tag file is opened only
/// where one is present. Runs on the caller's thread; thread-safe.
[[nodiscard]] std::vector<std::string> findTaggedFolders(const std::string &rootPath, const TagSearchOptions &options);

/// Whether `name` in the folder open at `dirFd` is a valid cache tag: a
/// regular file (a link is not followed) whose content starts with
/// CacheTagSignature and, when `owner` is given, owned by that user.
[[nodiscard]] bool isCacheTag(int dirFd, const char *name, std::optional<std::uint32_t> owner = std::nullopt);

} // namespace core::tree
