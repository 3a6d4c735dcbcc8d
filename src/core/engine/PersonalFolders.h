// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/UserContext.h"
#include "tree/KeptItems.h"

#include <string>
#include <string_view>
#include <vector>

namespace core {

/// The user's document folders as xdg-user-dirs names them: the
/// "XDG_*_DIR" lines of `text` (the content of "user-dirs.dirs"), each a
/// quoted "$HOME/..." or absolute path, with backslash escapes undone.
/// Lines of any other form are passed over. Pure.
[[nodiscard]] std::vector<std::string> parseUserDirs(std::string_view text, const std::string &homeDir);

/// Folders a cache search must never propose, whatever tag they hold, by
/// identity as the file system stands now: the home and every folder above
/// it; the document folders (those user-dirs.dirs names in the user's
/// configuration folder, and the usual English names beside them) and
/// every folder above each; the configuration, data and state folders with
/// ~/.config, ~/.local, ~/.local/share, ~/.local/state; ~/.ssh, ~/.gnupg,
/// ~/.pki; and Spruce's own settings folder with the folders above it.
/// Reads the file system: a few stat calls per folder.
[[nodiscard]] tree::FileIdSet personalFolders(const platform::UserContext &user);

} // namespace core
