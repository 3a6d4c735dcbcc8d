// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/Trash.h"

#include "format/FileUrl.h"
#include "tree/DirectoryIo.h"

#include <array>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace core::tree {

namespace {

using detail::UniqueFd;

constexpr std::string_view InfoSuffix = ".trashinfo";
// Enough for any real clash; a guard against a trash flooded on purpose.
constexpr int MaxNameAttempts = 10000;

/// The folders of one usable trash, open, and how records name the items.
struct TrashFolders
{
    UniqueFd files;
    UniqueFd info;
    std::string path; // the trash folder
    std::string topdir; // "" for the home trash; else records hold paths relative to it
    bool missing = false; // dry run: a folder of it does not exist yet (it would be made)
};

Error failure(int code, const std::string &path, std::string message)
{
    return Error{ code, path, std::move(message) };
}

/// A system call's failure on the way to the Trash, said as such.
Error notMoved(int code, const std::string &path)
{
    return Error{ code, path, "not moved to the Trash: " + Error::fromErrno(code, "").message };
}

/// Opens (and, unless `dryRun`, makes) the folder `name` inside `parentFd`
/// without following a link: it must be a real folder owned by `uid`.
/// Sets `missing` instead of failing when a dry run finds nothing there.
Result<UniqueFd> openOwnedFolder(
    int parentFd, const char *name, const std::string &path, const TrashPlace &place, bool dryRun, bool &missing)
{
    UniqueFd fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)); // NOLINT
    if (!fd.isValid() && errno == ENOENT) {
        if (dryRun) {
            missing = true;
            return UniqueFd();
        }
        if (::mkdirat(parentFd, name, 0700) != 0 && errno != EEXIST) {
            return Error::fromErrno(errno, path);
        }
        fd.reset(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)); // NOLINT
        if (fd.isValid() && ::geteuid() == 0) {
            struct stat st
            {
            };
            // Made by root for another user's home: theirs, so they can use their Trash.
            if (::fstat(fd.get(), &st) == 0 && st.st_uid != place.uid) {
                (void)::fchown(fd.get(), place.uid, place.gid);
            }
        }
    }
    if (!fd.isValid()) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) {
            return failure(error, path, "is a link or not a folder; no usable trash");
        }
        return Error::fromErrno(error, path);
    }
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0) {
        return Error::fromErrno(errno, path);
    }
    if (st.st_uid != place.uid) {
        return failure(EPERM, path, "belongs to another user; no usable trash");
    }
    return fd;
}

/// Opens "files" and "info" inside the trash folder open at `trashFd`.
Result<TrashFolders> openTrashFolders(
    UniqueFd trashFd, std::string path, std::string topdir, const TrashPlace &place, bool dryRun, bool missing)
{
    TrashFolders folders;
    folders.path = std::move(path);
    folders.topdir = std::move(topdir);
    folders.missing = missing;
    if (missing) {
        return folders;
    }
    for (const char *name : { "files", "info" }) {
        Result<UniqueFd> opened =
            openOwnedFolder(trashFd.get(), name, folders.path + "/" + name, place, dryRun, folders.missing);
        if (!opened) {
            return opened.error();
        }
        (std::string_view(name) == "files" ? folders.files : folders.info) = std::move(opened.value());
    }
    return folders;
}

/// The home trash: dataFolder/Trash. The data folder is opened as the
/// user's setting names it (it may be a link, as in dotfile setups); inside
/// the home, missing folders on the way are made.
Result<TrashFolders> openHomeTrash(const TrashPlace &place, bool dryRun)
{
    const std::string data = detail::stripTrailingSlashes(place.dataFolder);
    if (data.empty() || data.front() != '/') {
        return failure(EINVAL, data, "no data folder for the home Trash");
    }
    UniqueFd base(::open(data.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    bool missing = false;
    if (!base.isValid() && errno == ENOENT) {
        // Make it from the home down, one folder at a time, never following a link.
        const std::string home = detail::stripTrailingSlashes(place.homeDir);
        if (home.empty() || !data.starts_with(home + "/")) {
            return failure(ENOENT, data, "the data folder does not exist; no usable trash");
        }
        base.reset(::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); // NOLINT
        std::string path = home;
        std::string_view rest = std::string_view(data).substr(home.size() + 1);
        while (base.isValid() && !rest.empty() && !missing) {
            const std::size_t slash = rest.find('/');
            const std::string name(rest.substr(0, slash));
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
            if (name.empty()) {
                continue;
            }
            path += "/" + name;
            Result<UniqueFd> next = openOwnedFolder(base.get(), name.c_str(), path, place, dryRun, missing);
            if (!next) {
                return next.error();
            }
            base = std::move(next.value());
        }
    }
    if (!missing && !base.isValid()) {
        return Error::fromErrno(errno, data);
    }
    const std::string trashPath = data + "/Trash";
    UniqueFd trash;
    if (!missing) {
        Result<UniqueFd> opened = openOwnedFolder(base.get(), "Trash", trashPath, place, dryRun, missing);
        if (!opened) {
            return opened.error();
        }
        trash = std::move(opened.value());
    }
    return openTrashFolders(std::move(trash), trashPath, "", place, dryRun, missing);
}

/// The trash at the top of the mount the folder open at `folderFd` (at
/// `folderPath`) lies on: $topdir/.Trash/$uid when $topdir/.Trash is a real
/// folder with the sticky bit, else $topdir/.Trash-$uid.
Result<TrashFolders> openTopdirTrash(int folderFd, const std::string &folderPath, const TrashPlace &place, bool dryRun)
{
    // Up through ".." to the root of the mount, counting the levels.
    UniqueFd top(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0)); // NOLINT(cppcoreguidelines-pro-type-vararg)
    std::string topdir = detail::stripTrailingSlashes(folderPath);
    for (int level = 0; top.isValid() && level < detail::MaxLevel; ++level) {
        if (detail::isMountRoot(top.get()) || topdir == "/") {
            break;
        }
        top.reset(::openat(top.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC)); // NOLINT
        topdir = detail::parentPath(topdir);
    }
    if (!top.isValid()) {
        return Error::fromErrno(errno, folderPath);
    }
    // A file system in memory empties itself at the next start, and the
    // desktop's Trash does not show one: a trash there is no trash.
    struct statfs fs
    {
    };
    if (::fstatfs(top.get(), &fs) == 0) {
        const auto type = static_cast<unsigned long>(fs.f_type);
        if (type == TMPFS_MAGIC || type == RAMFS_MAGIC || type == PROC_SUPER_MAGIC || type == SYSFS_MAGIC) {
            return failure(EXDEV, topdir, "a file system in memory has no trash");
        }
    }
    const std::string uid = std::to_string(place.uid);
    bool missing = false;
    // The administrator's shared .Trash: only when it is a real sticky folder.
    const UniqueFd shared(::openat(top.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)); // NOLINT
    struct stat st
    {
    };
    const std::string base = topdir == "/" ? std::string() : topdir;
    if (shared.isValid() && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX) != 0) {
        const std::string path = base + "/.Trash/" + uid;
        Result<UniqueFd> own = openOwnedFolder(shared.get(), uid.c_str(), path, place, dryRun, missing);
        if (own) {
            return openTrashFolders(std::move(own.value()), path, topdir, place, dryRun, missing);
        }
    }
    missing = false;
    const std::string name = ".Trash-" + uid;
    const std::string path = base + "/" + name;
    Result<UniqueFd> own = openOwnedFolder(top.get(), name.c_str(), path, place, dryRun, missing);
    if (!own) {
        return own.error();
    }
    return openTrashFolders(std::move(own.value()), path, topdir, place, dryRun, missing);
}

std::string nowAsDeletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::array<char, 32> text{};
    const std::size_t n = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(text.data(), n);
}

/// The n-th name tried for `name` in the trash: the name itself, then
/// "stem.2.ext", "stem.3.ext", ... (a leading dot is no extension). Cut so
/// that the record's name fits NAME_MAX.
std::string candidateName(const std::string &name, int n)
{
    std::string stem = name;
    std::string ext;
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        stem = name.substr(0, dot);
        ext = name.substr(dot);
    }
    const std::string number = n == 1 ? std::string() : "." + std::to_string(n);
    constexpr std::size_t NameMax = 255;
    const std::size_t room = NameMax - InfoSuffix.size();
    if (stem.size() + number.size() + ext.size() > room) {
        if (ext.size() > room / 2) {
            ext.clear();
        }
        stem.resize(std::min(stem.size(), room - number.size() - ext.size()));
    }
    return stem + number + ext;
}

/// The record's text: the original location percent-encoded as a URL path
/// (relative to `topdir` for a trash at the top of a mount) and the date.
std::string trashInfoText(const std::string &originalPath, const std::string &topdir, const std::string &date)
{
    std::string path = originalPath;
    if (!topdir.empty() && topdir != "/" && path.starts_with(topdir + "/")) {
        path = path.substr(topdir.size() + 1);
    } else if (topdir == "/" && path.size() > 1) {
        path = path.substr(1);
    }
    return "[Trash Info]\nPath=" + format::percentEncodePath(path) + "\nDeletionDate=" + date + "\n";
}

bool writeAll(int fd, const std::string &text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

/// Renames without ever replacing what is at the target: RENAME_NOREPLACE,
/// or where a file system lacks it (NFS), a hard link then an unlink for
/// anything but a folder (linkat fails on an existing name).
int renameNoReplace(int fromFd, const char *from, int toFd, const char *to, bool isDirectory)
{
    if (::renameat2(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL || isDirectory) {
        return error;
    }
    if (::linkat(fromFd, from, toFd, to, 0) != 0) {
        return errno;
    }
    if (::unlinkat(fromFd, from, 0) != 0) {
        const int unlinkError = errno;
        (void)::unlinkat(toFd, to, 0);
        return unlinkError;
    }
    return 0;
}

std::optional<std::uint64_t> mountOf(int fd)
{
    return detail::mountIdOf(fd);
}

} // namespace

TrashPlace TrashPlace::forHome(const std::string &homeDir, const std::string &dataFolder)
{
    TrashPlace place;
    place.homeDir = homeDir;
    place.dataFolder = dataFolder;
    struct stat st
    {
    };
    if (!homeDir.empty() && ::stat(homeDir.c_str(), &st) == 0) {
        place.uid = st.st_uid;
        place.gid = st.st_gid;
    } else {
        place.uid = ::geteuid();
        place.gid = ::getegid();
    }
    return place;
}

Result<TrashedItem> trashEntry(int parentFd,
    const std::string &name,
    const std::string &realParentPath,
    FileId expected,
    const TrashPlace &place,
    bool dryRun)
{
    std::string original = realParentPath;
    if (original.empty() || original.back() != '/') {
        original += '/';
    }
    original += name;
    detail::EntryStat item;
    if (const int error = detail::statEntry(parentFd, name.c_str(), item); error != 0) {
        return notMoved(error, original);
    }
    if (FileId{ item.dev, item.inode } != expected) {
        return failure(0, original, std::string(TrashChangedSinceScan));
    }
    const std::optional<std::uint64_t> itemMount = mountOf(parentFd);

    // The home trash when the item lies on its mount (a rename cannot cross
    // one, a bind mount of the same disk included), else its mount's own.
    // The home trash's mount is the data folder's, or the home's while the
    // data folder is not made yet.
    UniqueFd dataFolder(::open(place.dataFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    if (!dataFolder.isValid()) {
        dataFolder.reset(::open(place.homeDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    }
    const std::optional<std::uint64_t> homeMount = dataFolder.isValid() ? mountOf(dataFolder.get()) : std::nullopt;
    const bool home = itemMount && homeMount && *itemMount == *homeMount;
    Result<TrashFolders> trash =
        home ? openHomeTrash(place, dryRun) : openTopdirTrash(parentFd, realParentPath, place, dryRun);
    if (!trash) {
        return failure(trash.error().code,
            original,
            "no usable trash (" + trash.error().path + ": " + trash.error().message + "); not moved to the Trash");
    }
    if (!trash.value().missing) {
        const std::optional<std::uint64_t> trashMount = mountOf(trash.value().files.get());
        if (!itemMount || !trashMount || *itemMount != *trashMount) {
            return failure(EXDEV, original, "no usable trash on its file system; not moved to the Trash");
        }
    }
    TrashFolders &folders = trash.value();
    if (dryRun) {
        return TrashedItem{ folders.path + "/files/" + name, folders.path + "/info/" + name + std::string(InfoSuffix) };
    }

    const std::string date = place.deletionDate ? place.deletionDate() : nowAsDeletionDate();
    const std::string text = trashInfoText(original, folders.topdir, date);
    const bool isDirectory = S_ISDIR(item.mode);
    for (int n = 1; n <= MaxNameAttempts; ++n) {
        const std::string candidate = candidateName(name, n);
        const std::string infoName = candidate + std::string(InfoSuffix);
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        const UniqueFd info(
            ::openat(folders.info.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!info.isValid()) {
            if (errno == EEXIST) {
                continue; // a record by that name: the next name
            }
            const int error = errno;
            return failure(error,
                original,
                "its trash record cannot be written: " + Error::fromErrno(error, "").message
                    + "; not moved to the Trash");
        }
        if (::geteuid() == 0 && place.uid != 0) {
            (void)::fchown(info.get(), place.uid, place.gid);
        }
        if (!writeAll(info.get(), text)) {
            const int error = errno != 0 ? errno : EIO;
            (void)::unlinkat(folders.info.get(), infoName.c_str(), 0);
            return failure(error,
                original,
                "its trash record cannot be written: " + Error::fromErrno(error, "").message
                    + "; not moved to the Trash");
        }
        const int error = renameNoReplace(parentFd, name.c_str(), folders.files.get(), candidate.c_str(), isDirectory);
        if (error == EEXIST || error == ENOTEMPTY) {
            (void)::unlinkat(folders.info.get(), infoName.c_str(), 0); // an item without a record: the next name
            continue;
        }
        if (error != 0) {
            (void)::unlinkat(folders.info.get(), infoName.c_str(), 0);
            return notMoved(error, original);
        }
        // Renamed by name: check it is still the item examined. Something
        // swapped in meanwhile goes back where it was, untouched.
        detail::EntryStat moved;
        if (detail::statEntry(folders.files.get(), candidate.c_str(), moved) != 0
            || FileId{ moved.dev, moved.inode } != expected) {
            if (renameNoReplace(folders.files.get(), candidate.c_str(), parentFd, name.c_str(), S_ISDIR(moved.mode))
                == 0) {
                (void)::unlinkat(folders.info.get(), infoName.c_str(), 0);
            }
            return failure(0, original, std::string(TrashChangedSinceScan));
        }
        return TrashedItem{ folders.path + "/files/" + candidate, folders.path + "/info/" + infoName };
    }
    return failure(EEXIST, original, "no free name in the Trash; not moved to the Trash");
}

std::optional<TrashInfo> parseTrashInfo(std::string_view text)
{
    bool inGroup = false;
    std::optional<TrashInfo> info;
    std::string date;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.starts_with("[")) {
            inGroup = line == "[Trash Info]";
            continue;
        }
        if (!inGroup) {
            continue;
        }
        if (line.starts_with("Path=") && !info) {
            const std::string_view value = line.substr(5);
            std::string decoded;
            const bool relative = value.empty() || value.front() != '/';
            if (!format::decodeFileUrl("file://" + std::string(relative ? "/" : "") + std::string(value), decoded)) {
                return std::nullopt;
            }
            info = TrashInfo{ relative ? decoded.substr(1) : decoded, std::string() };
        } else if (line.starts_with("DeletionDate=")) {
            date = std::string(line.substr(13));
        }
    }
    if (info) {
        info->deletionDate = std::move(date);
    }
    return info;
}

} // namespace core::tree
