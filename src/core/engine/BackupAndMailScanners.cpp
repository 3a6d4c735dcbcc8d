// SPDX-License-Identifier: GPL-3.0-or-later
// Scanners of device backups ("iTunes" categories) and mail attachments
// ("Mail" categories). Both read small property lists written by other
// programs, so every value is checked for its type before use and a data
// file of an unexpected shape only costs its own entry.
#include "engine/ModuleInfo.h"
#include "engine/ShareCounter.h"
#include "format/FileUrl.h"
#include "format/Plist.h"
#include "platform/Services.h"
#include "tree/Walker.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

/// Most nodes a backup's Info.plist or the mail's PersistenceInfo.plist may
/// have. A phone with a thousand apps writes about ten thousand (a key, a
/// dictionary and three data entries per app); a hostile file that makes
/// one small array appear at half a million places is refused before it
/// costs more than a millisecond.
constexpr std::size_t DataFileNodes = std::size_t{ 1 } << 14U;

/// Reads the property list at `path` when it is a regular file of at most
/// MaxPlistFileSize bytes. Opened non-blocking, so a FIFO planted under the
/// data file's name cannot stall the scan; nullopt for anything missing,
/// unreadable, oversized or malformed.
std::optional<format::PlistValue> readDataFile(const std::string &path)
{
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st
    {
    };
    std::string bytes;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
        && static_cast<std::uint64_t>(st.st_size) <= format::MaxPlistFileSize;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = n == 0; // a file that shrank meanwhile is parsed as it is now
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return format::readPlistMemory(bytes, DataFileNodes);
}

/// The string under `key` of a dictionary; "" when missing or of another type.
std::string stringValue(const format::PlistValue &dict, std::string_view key)
{
    const format::PlistValue *value = dict.find(key);
    const std::string *text = value != nullptr ? value->string() : nullptr;
    return text != nullptr ? *text : std::string();
}

/// A plist value as text for a progress line: strings as they are, numbers
/// in decimal, booleans as 1 or 0; containers, data and dates give "".
std::string textForm(const format::PlistValue &value)
{
    if (const std::string *text = value.string()) {
        return *text;
    }
    if (const auto boolean = value.boolean()) {
        return *boolean ? "1" : "0";
    }
    std::array<char, 32> buffer{};
    std::to_chars_result written{ buffer.data(), std::errc{} };
    if (const auto integer = value.integer()) {
        written = std::to_chars(buffer.begin(), buffer.end(), *integer);
    } else if (const auto real = value.real()) {
        written = std::to_chars(buffer.begin(), buffer.end(), *real);
    }
    return written.ec == std::errc{} ? std::string(buffer.data(), written.ptr) : std::string();
}

/// True for a name that addresses exactly one entry inside its folder. Names
/// read from a data file are joined onto paths: "..", "." or a "/" would let
/// the file point the walk at another folder.
bool isSingleComponent(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

/// A folder URL string with the "/" that joins a name onto it.
std::string withTrailingSlash(std::string url)
{
    if (url.empty() || url.back() != '/') {
        url.push_back('/');
    }
    return url;
}

void appendRecords(Category &category, ChildrenInfo listed)
{
    category.size += listed.totalSize;
    for (FolderInfoPtr &record : listed.children) {
        // Renumbered along the category's list: each listing counts from 0.
        record->findex = static_cast<std::int64_t>(category.files.size());
        category.files.push_back(std::move(record));
    }
}

} // namespace

void ModuleInfo::scaniTunes(Category &category, const Progress &progress, const ShowPercent &showPercent)
{
    // Whatever a previous scan found is replaced; records start not selected.
    category.files.clear();
    category.size = 0;
    category.state = 0;

    // Measured quietly: what is reported, and what the category counts, is
    // the backups listed, not the stray files and hidden entries beside them.
    const FolderInfoPtr folder = FolderInfo::folderInfo(category.url, true, Progress{});
    if (!folder) {
        postShowPercent(showPercent, 1.0F);
        return;
    }
    const std::size_t count = folder->children.size();
    if (count == 0) {
        // No backup at all: the category is still finished.
        postShowPercent(showPercent, 1.0F);
        return;
    }
    const float step = 1.0F / static_cast<float>(count);

    for (const FolderInfoPtr &backup : folder->children) {
        // A backup is a folder holding "Info.plist"; a hidden entry, a stray
        // file or a link is passed over (never followed).
        const auto backupPath = format::pathFromFileUrl(backup->url());
        if (backup->hidden || !backup->isFolder || !backupPath) {
            postShowPercent(showPercent, step);
            continue;
        }
        const auto info = readDataFile(*backupPath + "/Info.plist");
        if (!info || !info->isDict()) {
            postShowPercent(showPercent, step);
            continue;
        }
        Timestamp date = Timestamp::distantPast();
        if (const format::PlistValue *value = info->find("Last Backup Date")) {
            if (const auto backupDate = value->date()) {
                date = Timestamp{ backupDate->unixSeconds, static_cast<std::int32_t>(backupDate->micros * 1000LL) };
            }
        }
        // The record is a leaf: the backup's content is never listed. It is
        // marked as the folder it is, so that cleaning removes it as one.
        auto record = std::make_shared<FolderInfo>(static_cast<std::int64_t>(category.files.size()),
            stringValue(*info, "Display Name") + "--" + stringValue(*info, "Product Name"),
            IconRef{ IconRef::Kind::Named, "iTunes" },
            backup->size,
            Rgba{},
            true,
            date,
            backup->url(),
            false,
            std::vector<FolderInfoPtr>{},
            false,
            0);
        record->setAnchor(backup->anchor());
        category.size += record->size;
        postProgress(progress, *backupPath, record->size);
        category.files.push_back(std::move(record));
        postShowPercent(showPercent, step);
    }
}

void ModuleInfo::scanMailAttachments(Category &category, const Progress &progress, const ShowPercent &showPercent)
{
    // Whatever a previous scan found is replaced; records start not selected.
    category.files.clear();
    category.size = 0;
    category.state = 0;

    const std::string base = withTrailingSlash(category.url.url);
    const auto persistencePath = format::pathFromFileUrl(base + "PersistenceInfo.plist");
    const auto persistence = persistencePath ? readDataFile(*persistencePath) : std::nullopt;
    const format::PlistDict *keys = persistence ? persistence->dict() : nullptr;
    if (keys == nullptr || keys->empty()) {
        postShowPercent(showPercent, 1.0F);
        return;
    }
    const std::string version = stringValue(*persistence, "LastUsedVersionDirectoryName");
    const float keyStep = 1.0F / static_cast<float>(keys->size());

    for (const auto &[key, value] : *keys) {
        const format::PlistDict *accounts =
            key.find("AccountDirectories") != std::string::npos ? value.dict() : nullptr;
        if (accounts == nullptr || accounts->empty() || !isSingleComponent(version)) {
            postShowPercent(showPercent, keyStep);
            continue;
        }
        const float accountShare = static_cast<float>(keys->size() * accounts->size());
        for (const auto &[account, stored] : *accounts) {
            postProgress(progress, "Scanning Mail Attachments From " + textForm(stored), 0);
            if (!isSingleComponent(account)) {
                postShowPercent(showPercent, 1.0F / accountShare);
                continue;
            }
            FolderUrl folder;
            folder.url = base + format::percentEncodePath(version) + "/" + format::percentEncodePath(account) + "/";
            folder.type = "Folder";
            folder.checked = 0;
            const auto folderPath = format::pathFromFileUrl(folder.url);
            if (!folderPath) {
                postShowPercent(showPercent, 1.0F / accountShare);
                continue;
            }
            // Only the part below the account folder is judged, so a mail folder
            // that itself sits below an "Attachments" folder does not turn every
            // mailbox file into an attachment.
            const std::size_t below = folderPath->size();
            const auto attachments = [below](const tree::WalkItem &item) {
                const std::string_view inside = std::string_view(item.path).substr(std::min(below, item.path.size()));
                return !item.isDir && inside.find("Attachments") != std::string_view::npos ? FilterType::NoSkip
                                                                                           : FilterType::SkipSelf;
            };
            // A missing or empty account folder reports nothing itself; its share is still owed.
            const ShareCounter share(showPercent, accountShare);
            ChildrenInfo listed = FolderInfo::filesFromDirWithFilter(folder, progress, share.callback(), attachments);
            share.postRemainder();
            appendRecords(category, std::move(listed));
        }
    }
}

} // namespace core
