// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FolderInfo.h"
#include "tree/Removal.h"
#include "tree/Trash.h"

#include <optional>
#include <string>
#include <utility>

namespace core {

/// The ".trashinfo" record beside a trashed item: for a record directly in a
/// trash's "files" folder (as the freedesktop.org Trash standard lays them
/// out: .../Trash, $topdir/.Trash-$uid, $topdir/.Trash/$uid), that trash's
/// "info" folder as an anchor (reached from the folder above "files", opened
/// without following a link) and the record's name there; nullopt for any
/// other record, or when there is no record. Reads the file system.
[[nodiscard]] std::optional<std::pair<tree::Anchor, std::string>> trashRecordOf(const FolderInfo &record);

/// What the ".trashinfo" record of a trashed item says: where it came from
/// (an absolute path, a relative one made absolute from the top of its
/// mount) and when it was deleted; nullopt for a record that is not a
/// trashed item or whose record cannot be read. For screens that show a
/// trashed item by its original name and place. Reads one small file.
[[nodiscard]] std::optional<tree::TrashInfo> trashedItemInfo(const FolderInfo &record);

} // namespace core
