// SPDX-License-Identifier: GPL-3.0-or-later
// Trashed items and their ".trashinfo" records, paired: one row per item in
// the Trash category, removed together by the cleaner.
#include "engine/TrashPairs.h"

#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "tree/DirectoryIo.h"

#include <array>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace core {

namespace {

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

/// The folder holding a trash's "files" and "info" (the trash itself) when
/// `filesFolder` is such a "files" folder.
std::optional<std::string> trashOfFilesFolder(const std::string &filesFolder)
{
    if (!filesFolder.ends_with("/files")) {
        return std::nullopt;
    }
    const std::string trash = tree::detail::parentPath(filesFolder);
    const std::string trashName = trash.substr(trash.rfind('/') + 1);
    const std::string above = tree::detail::parentPath(trash);
    if (trashName != "Trash" && !trashName.starts_with(".Trash-") && !above.ends_with("/.Trash")) {
        return std::nullopt;
    }
    return trash;
}

/// Reads a small file in the folder open at `dirFd` without following a link; nullopt when it cannot.
std::optional<std::string> readSmallFile(int dirFd, const std::string &name)
{
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const tree::detail::UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st
    {
    };
    constexpr std::size_t Limit = std::size_t{ 64 } * 1024; // a record is a few lines
    if (!fd.isValid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)
        || static_cast<std::size_t>(st.st_size) > Limit) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    const ssize_t got = ::read(fd.get(), text.data(), text.size());
    if (got < 0) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(got));
    return text;
}

/// A DeletionDate ("YYYY-MM-DDThh:mm:ss", local time) as a timestamp; nullopt when it does not parse.
std::optional<Timestamp> parseDeletionDate(const std::string &text)
{
    std::tm tm{};
    const char *end = ::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &tm);
    if (end == nullptr) {
        return std::nullopt;
    }
    tm.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&tm);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return Timestamp{ static_cast<std::int64_t>(seconds), 0 };
}

} // namespace

std::optional<std::pair<tree::Anchor, std::string>> trashRecordOf(const FolderInfo &record)
{
    if (!record.anchor()) {
        return std::nullopt;
    }
    const std::optional<std::string> trash = trashOfFilesFolder(record.anchor()->path);
    const std::optional<std::string> path = format::pathFromFileUrl(record.url());
    if (!trash || !path) {
        return std::nullopt;
    }
    const std::string item = withoutTrailingSlashes(*path);
    const std::string prefix = record.anchor()->path + "/";
    if (!item.starts_with(prefix) || item.find('/', prefix.size()) != std::string::npos) {
        return std::nullopt; // not directly in "files"
    }
    const tree::detail::UniqueFd trashFd(::open(trash->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    if (!trashFd.isValid()) {
        return std::nullopt;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const tree::detail::UniqueFd info(::openat(trashFd.get(), "info", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    tree::detail::EntryStat st;
    if (!info.isValid() || tree::detail::statOpened(info.get(), st) != 0) {
        return std::nullopt;
    }
    std::string name = item.substr(prefix.size()) + ".trashinfo";
    struct stat recordStat
    {
    };
    if (::fstatat(info.get(), name.c_str(), &recordStat, AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    return std::make_pair(tree::Anchor{ *trash + "/info", st.dev, st.inode }, std::move(name));
}

std::optional<tree::TrashInfo> trashedItemInfo(const FolderInfo &record)
{
    const auto where = trashRecordOf(record);
    if (!where) {
        return std::nullopt;
    }
    const tree::detail::UniqueFd info(::open(where->first.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    if (!info.isValid()) {
        return std::nullopt;
    }
    const std::optional<std::string> text = readSmallFile(info.get(), where->second);
    std::optional<tree::TrashInfo> parsed = text ? tree::parseTrashInfo(*text) : std::nullopt;
    if (parsed && !parsed->path.empty() && parsed->path.front() != '/') {
        // Relative to the top of the mount the trash sits on: the folder that holds it.
        std::string trash = tree::detail::parentPath(where->first.path);
        std::string topdir = tree::detail::parentPath(trash);
        if (topdir.ends_with("/.Trash")) {
            topdir = tree::detail::parentPath(topdir);
        }
        parsed->path = (topdir == "/" ? std::string() : topdir) + "/" + parsed->path;
    }
    return parsed;
}

void ModuleInfo::scanTrash(Category &category, const Progress &progress, const ShowPercent &showPercent)
{
    scanFolder(category, progress, showPercent);
    // One row per trashed item: named by its original name, dated by its
    // deletion, sized with its record, which no longer has a row of its own.
    std::unordered_map<std::string, std::size_t> recordRows;
    for (std::size_t k = 0; k < category.files.size(); ++k) {
        const std::optional<std::string> path = format::pathFromFileUrl(category.files[k]->url());
        if (path && path->ends_with(".trashinfo")) {
            recordRows.emplace(withoutTrailingSlashes(*path), k);
        }
    }
    std::vector<bool> paired(category.files.size(), false);
    for (const FolderInfoPtr &item : category.files) {
        const auto where = trashRecordOf(*item);
        if (!where) {
            continue;
        }
        const auto row = recordRows.find(where->first.path + "/" + where->second);
        if (row != recordRows.end()) {
            paired[row->second] = true;
            item->size += category.files[row->second]->size;
        }
        if (const std::optional<tree::TrashInfo> info = trashedItemInfo(*item)) {
            const std::string original = withoutTrailingSlashes(info->path);
            if (const std::size_t slash = original.rfind('/');
                slash != std::string::npos && slash + 1 < original.size()) {
                item->setName(original.substr(slash + 1));
            }
            if (const std::optional<Timestamp> deleted = parseDeletionDate(info->deletionDate)) {
                item->date = *deleted;
            }
        }
    }
    std::vector<FolderInfoPtr> rows;
    category.size = 0;
    for (std::size_t k = 0; k < category.files.size(); ++k) {
        if (!paired[k]) {
            category.files[k]->findex = static_cast<std::int64_t>(rows.size());
            category.size += category.files[k]->size;
            rows.push_back(category.files[k]);
        }
    }
    category.files = std::move(rows);
}

} // namespace core
