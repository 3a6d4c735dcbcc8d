// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PersonalFolders.h"

#include "engine/KeepList.h"
#include "tree/DirectoryIo.h"

#include <fstream>
#include <sstream>

namespace core {

namespace {

/// A value of user-dirs.dirs: the text between the quotes, "$HOME" at its
/// start replaced, backslash escapes undone; "" when it is not of that form.
std::string userDirValue(std::string_view value, const std::string &homeDir)
{
    if (value.size() < 2 || value.front() != '"') {
        return {};
    }
    std::string out;
    std::size_t i = 1;
    if (value.substr(1).starts_with("$HOME")) {
        out = homeDir;
        i += 5;
    }
    for (; i < value.size(); ++i) {
        char c = value[i];
        if (c == '"') {
            break;
        }
        if (c == '\\' && i + 1 < value.size()) {
            c = value[++i];
        }
        out += c;
    }
    return !out.empty() && out.front() == '/' ? out : std::string();
}

/// Inserts the identity of the folder at `path` (following links) and, when
/// `andAbove`, of every folder above where it really is.
void insertFolder(tree::FileIdSet &set, const std::string &path, bool andAbove)
{
    tree::FileId id;
    if (!tree::FileIdSet::identify(path, true, id)) {
        return;
    }
    set.insert(id);
    if (!andAbove) {
        return;
    }
    const tree::detail::UniqueFd folder(tree::detail::openFolderOf(path));
    if (folder.isValid()) {
        (void)tree::detail::forEachFolderUpward(folder.get(), [&set](tree::FileId above) {
            set.insert(above);
            return false;
        });
    }
}

} // namespace

std::vector<std::string> parseUserDirs(std::string_view text, const std::string &homeDir)
{
    std::vector<std::string> dirs;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        const std::size_t equals = line.find('=');
        if (!line.starts_with("XDG_") || equals == std::string_view::npos
            || !line.substr(0, equals).ends_with("_DIR")) {
            continue;
        }
        if (std::string dir = userDirValue(line.substr(equals + 1), homeDir); !dir.empty()) {
            dirs.push_back(std::move(dir));
        }
    }
    return dirs;
}

tree::FileIdSet personalFolders(const platform::UserContext &user)
{
    tree::FileIdSet set;
    const std::string &home = user.homeDir;
    const std::string prefix = home == "/" ? std::string() : home;
    insertFolder(set, home, true);

    std::vector<std::string> documents;
    for (const char *name :
        { "Desktop", "Documents", "Downloads", "Music", "Pictures", "Public", "Templates", "Videos" }) {
        documents.push_back(prefix + "/" + name);
    }
    std::ifstream dirsFile(user.configFolder() + "/user-dirs.dirs", std::ios::binary);
    if (dirsFile) {
        std::ostringstream text;
        text << dirsFile.rdbuf();
        for (std::string &dir : parseUserDirs(text.str(), prefix)) {
            documents.push_back(std::move(dir));
        }
    }
    for (const std::string &dir : documents) {
        insertFolder(set, dir, true);
    }

    for (const char *relative :
        { "/.config", "/.local", "/.local/share", "/.local/state", "/.ssh", "/.gnupg", "/.pki" }) {
        insertFolder(set, prefix + relative, false);
    }
    insertFolder(set, user.configFolder(), false);
    insertFolder(set, user.dataFolder(), false);
    insertFolder(set, tree::detail::parentPath(KeepList::filePath()), true);
    return set;
}

} // namespace core
