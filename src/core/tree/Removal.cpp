// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/Removal.h"

#include "tree/DirectoryIo.h"
#include "tree/TreeSize.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace core::tree {

namespace {

using detail::EntryStat;
using detail::UniqueFd;

constexpr std::string_view ChangedSinceScan = "changed since the scan; not deleted";
constexpr std::string_view KeptNotDeleted = "on the always-keep list; not deleted";
constexpr std::string_view KeptLeftInPlace = "on the always-keep list; left in place";
constexpr std::string_view OtherFileSystem = "on another file system; not deleted";
constexpr std::string_view MountNotEntered = "a mounted file system; not entered";

FileId idOf(const EntryStat &st)
{
    return FileId{ st.dev, st.inode };
}

bool isKept(const KeptItems *kept, const EntryStat &st)
{
    return kept != nullptr && kept->contains(idOf(st));
}

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

/// Appends one component to a path.
void appendComponent(std::string &path, std::string_view name)
{
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;
}

/// Whether the open item carries a flag that forbids unlinking it or its
/// entries, even for root. A file system without the flags says no.
bool hasProtectingFlags(int fd)
{
    // FS_IOC_GETFLAGS takes an int despite the long in its definition:
    // https://man7.org/linux/man-pages/man2/ioctl_iflags.2.html
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        return false;
    }
    return (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

/// Whether the entry `name` (examined as `st`) in the folder open at
/// `dirFd` carries the immutable or append-only flag: from statx where it
/// tells, else read from the file or folder itself (links carry none, and
/// opening a device or a FIFO could have side effects).
bool entryHasProtectingFlags(int dirFd, const char *name, const EntryStat &st)
{
    if (st.flagsKnown) {
        return st.protectingFlags;
    }
    if (!S_ISREG(st.mode) && !S_ISDIR(st.mode)) {
        return false;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    return fd.isValid() && hasProtectingFlags(fd.get());
}

/// Whether the kernel would let this process unlink an entry owned by
/// `itemUid` from the folder described by `parent` (the sticky-folder rule).
bool stickyAllows(const EntryStat &parent, std::uint32_t itemUid)
{
    if ((parent.mode & S_ISVTX) == 0) {
        return true;
    }
    const uid_t euid = ::geteuid();
    return euid == 0 || euid == itemUid || euid == parent.uid;
}

/// The checks the kernel makes before unlinking `name` (examined as
/// `item`) from the folder open at `parentFd` (any kind of descriptor):
/// write and search permission on the folder, the sticky-folder rule, and
/// no immutable or append-only flag on the folder or the item.
std::optional<Error> unlinkRefusal(
    int parentFd, const std::string &name, const EntryStat &item, const std::string &path)
{
    // AT_EACCESS: the kernel judges an unlink by the effective ids; this also
    // honours ACLs, read-only mounts (EROFS) and an immutable parent (EPERM).
    if (::faccessat(parentFd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        return Error::fromErrno(errno, path);
    }
    EntryStat parent;
    if (const int error = detail::statOpened(parentFd, parent); error != 0) {
        return Error::fromErrno(error, path);
    }
    if (!stickyAllows(parent, item.uid)) {
        return Error::fromErrno(EPERM, path);
    }
    {
        const UniqueFd readable(::openat(parentFd, ".", O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC)); // NOLINT
        if (readable.isValid() && hasProtectingFlags(readable.get())) {
            return Error::fromErrno(EPERM, path);
        }
    }
    if (entryHasProtectingFlags(parentFd, name.c_str(), item)) {
        return Error::fromErrno(EPERM, path);
    }
    return std::nullopt;
}

/// What a request asks of the Remover, resolved once per removal.
struct RemoverSettings
{
    std::uint64_t device = 0; // nothing on another device is removed
    bool dryRun = false;
    const KeptItems *kept = nullptr; // not owned; null: nothing kept
    bool makeWritable = false;
    LinkLedger *links = nullptr; // not owned; null: the kernel's link counts alone
    const RaceHook *raceHook = nullptr; // not owned; may be null
};

/// One removal (or dry-run check) of an item and everything inside it:
/// remembers the first thing left behind and counts the bytes removed.
class Remover
{
public:
    explicit Remover(const RemoverSettings &settings)
        : m_s(settings)
    {
    }

    void fail(Error error)
    {
        if (!m_firstError) {
            m_firstError = std::move(error);
        }
    }
    void failErrno(int code, const std::string &path) { fail(Error::fromErrno(code, path)); }

    const std::optional<Error> &firstError() const { return m_firstError; }
    std::int64_t freed() const { return m_freed; }
    std::int64_t held() const { return m_held; }

    /// Removes `name` inside the open folder `dirFd`, examined as `examined`.
    /// `path` holds that folder's path for messages and the race hook; it is
    /// extended while the entry is handled and restored on return. True when
    /// the entry is gone.
    bool removeExamined(int dirFd, std::string &path, const std::string &name, const EntryStat &examined)
    {
        const std::size_t parentLength = path.size();
        appendComponent(path, name);
        const bool gone = removeExaminedAt(dirFd, path, parentLength, name, examined);
        path.resize(parentLength);
        return gone;
    }

    /// Removes (or checks) everything inside the folder open at `fd`
    /// (readable), described by `self`, whose path is `path`, but the
    /// entries named in `keep`.
    void removeContents(int fd, std::string &path, const EntryStat &self, const std::vector<std::string> &keep = {})
    {
        if (m_s.dryRun) {
            const bool writableOnRequest = m_s.makeWritable && self.uid == ::geteuid();
            if (!writableOnRequest && ::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
                failErrno(errno, path);
                return;
            }
            if (hasProtectingFlags(fd)) {
                failErrno(EPERM, path);
                return;
            }
        }
        const std::optional<std::vector<std::string>> names = readNames(fd, path);
        if (!names) {
            return;
        }
        for (const std::string &name : *names) {
            if (std::find(keep.begin(), keep.end(), name) != keep.end()) {
                continue;
            }
            const std::size_t parentLength = path.size();
            appendComponent(path, name);
            EntryStat examined;
            if (const int error = detail::statEntry(fd, name.c_str(), examined); error != 0) {
                // Something below the item vanishing meanwhile is what we wanted anyway.
                if (error != ENOENT) {
                    failErrno(error, path);
                }
            } else if (isKept(m_s.kept, examined)) {
                fail(Error{ 0, path, std::string(KeptLeftInPlace) });
            } else if (m_s.dryRun && !stickyAllows(self, examined.uid)) {
                failErrno(EPERM, path);
            } else if (m_s.dryRun && entryHasProtectingFlags(fd, name.c_str(), examined)) {
                failErrno(EPERM, path); // an immutable or append-only entry cannot be unlinked
            } else {
                (void)removeExaminedAt(fd, path, parentLength, name, examined);
            }
            path.resize(parentLength);
        }
    }

private:
    bool removeExaminedAt(
        int dirFd, std::string &path, std::size_t parentLength, const std::string &name, const EntryStat &examined)
    {
        if (examined.dev != m_s.device || examined.mountRoot) {
            fail(Error{ EXDEV, path, std::string(MountNotEntered) });
            return false;
        }
        if (!S_ISDIR(examined.mode)) {
            if (!m_s.dryRun && ::unlinkat(dirFd, name.c_str(), 0) != 0) {
                return failUnlessVanished(errno, path);
            }
            count(examined);
            return true;
        }
        if (m_s.raceHook != nullptr && *m_s.raceHook) {
            (*m_s.raceHook)(path.substr(0, parentLength), name);
        }
        // O_NOFOLLOW: an entry swapped for a link since it was examined fails
        // here (ELOOP/ENOTDIR) instead of leading outside the tree.
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        const UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.isValid()) {
            return failUnlessVanished(errno, path);
        }
        EntryStat opened;
        if (const int error = detail::statOpened(fd.get(), opened); error != 0) {
            failErrno(error, path);
            return false;
        }
        if (opened.dev != examined.dev || opened.inode != examined.inode) {
            // Swapped for another folder since it was examined: not the one we meant to empty.
            fail(Error{ 0, path, "replaced by another folder during removal; left alone" });
            return false;
        }
        if (opened.mountRoot) {
            fail(Error{ EXDEV, path, std::string(MountNotEntered) });
            return false;
        }
        makeWritableIfAsked(fd.get(), opened);
        removeContents(fd.get(), path, opened);
        if (m_s.dryRun) {
            return true;
        }
        // Tried even after a failing child: the only cost is an ENOTEMPTY that
        // the child's own error already explains.
        if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) {
            return failUnlessVanished(errno, path);
        }
        return true;
    }

    /// Gives a folder the user owns the write and search permission its
    /// emptying needs, when the request allows it (never in a dry run).
    void makeWritableIfAsked(int fd, EntryStat &self) const
    {
        constexpr mode_t Needed = S_IWUSR | S_IXUSR;
        if (!m_s.makeWritable || m_s.dryRun || self.uid != ::geteuid() || (self.mode & Needed) == Needed) {
            return;
        }
        if (::fchmod(fd, static_cast<mode_t>((self.mode & 07777) | Needed)) == 0) {
            self.mode |= Needed;
        }
    }

    /// Adds what unlinking a name examined as `st` gives back.
    void count(const EntryStat &st)
    {
        if (!S_ISREG(st.mode) && !S_ISLNK(st.mode)) {
            return;
        }
        std::int64_t given = st.size;
        if (m_s.links != nullptr && m_s.dryRun) {
            given = m_s.links->take(idOf(st), st.links, st.size);
        } else if (st.links > 1) {
            given = 0; // another name still holds the data (the last one to go frees it)
        }
        m_freed += given;
        m_held += st.size - given;
    }

    bool failUnlessVanished(int code, const std::string &path)
    {
        if (code == ENOENT) {
            return true;
        }
        failErrno(code, path);
        return false;
    }

    /// Every name in the folder open at `fd`; nullopt when it cannot be listed.
    /// All names are read before anything is removed: unlinking while readdir
    /// runs may make it skip or repeat entries. The listing uses a duplicate
    /// descriptor so that its buffer is freed before descending, leaving one
    /// descriptor per level.
    std::optional<std::vector<std::string>> readNames(int fd, const std::string &path)
    {
        UniqueFd listFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0)); // NOLINT(cppcoreguidelines-pro-type-vararg)
        if (!listFd.isValid()) {
            failErrno(errno, path);
            return std::nullopt;
        }
        // The duplicate shares the offset: start from the top whoever read before.
        (void)::lseek(listFd.get(), 0, SEEK_SET);
        const DirHandle dir(::fdopendir(listFd.get()));
        if (!dir) {
            failErrno(errno, path);
            return std::nullopt;
        }
        listFd.release(); // now owned by dir
        std::vector<std::string> names;
        errno = 0;
        while (const dirent *entry = ::readdir(dir.get())) {
            const std::string_view name(entry->d_name);
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
            errno = 0;
        }
        if (errno != 0) {
            // Go on with what was listed; the folder's own removal will then fail.
            failErrno(errno, path);
        }
        return names;
    }

    RemoverSettings m_s;
    std::int64_t m_freed = 0;
    std::int64_t m_held = 0;
    std::optional<Error> m_firstError;
};

/// The components of a path relative to an anchor; nullopt when one is
/// empty, "." or "..". An empty path has no components.
std::optional<std::vector<std::string>> relativeComponents(std::string_view relative)
{
    std::vector<std::string> parts;
    if (relative.empty()) {
        return parts;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string_view part = relative.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") {
            return std::nullopt;
        }
        parts.emplace_back(part);
        if (end == relative.size()) {
            return parts;
        }
        start = end + 1;
    }
}

ItemKind kindOf(const EntryStat &st)
{
    if (S_ISDIR(st.mode)) {
        return ItemKind::Directory;
    }
    return S_ISLNK(st.mode) ? ItemKind::Symlink : ItemKind::Other;
}

bool matchesKind(ItemKind expected, const EntryStat &st)
{
    return expected == ItemKind::Any || expected == kindOf(st);
}

RemovalOutcome failed(Error error)
{
    RemovalOutcome outcome;
    outcome.error = std::move(error);
    return outcome;
}

RemovalOutcome refusedFor(Refusal why, Error error)
{
    RemovalOutcome outcome = failed(std::move(error));
    outcome.refusal = why;
    return outcome;
}

RemovalOutcome changedSinceScan(const std::string &path)
{
    return refusedFor(Refusal::ChangedSinceScan, Error{ 0, path, std::string(ChangedSinceScan) });
}

RemovalOutcome protectedLocation(const std::string &path)
{
    return refusedFor(Refusal::Protected, Error{ EPERM, path, "protected location" });
}

RemovalOutcome alreadyGone()
{
    RemovalOutcome gone;
    gone.alreadyGone = true;
    return gone;
}

/// Whether `name` in the folder open at `dirFd` is the record of an item
/// still in the trash: "<trash>/info/<item>.trashinfo" while
/// "<trash>/files/<item>" exists. Reached by descriptor, never following a link.
bool describesTrashedItem(int dirFd, const std::string &folderPath, std::string_view name)
{
    constexpr std::string_view Suffix = ".trashinfo";
    if (name.size() <= Suffix.size() || !name.ends_with(Suffix)) {
        return false;
    }
    const std::size_t slash = folderPath.find_last_of('/');
    if (std::string_view(folderPath).substr(slash == std::string::npos ? 0 : slash + 1) != "info") {
        return false;
    }
    const UniqueFd trash(::openat(dirFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    if (!trash.isValid()) {
        return false;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const UniqueFd files(::openat(trash.get(), "files", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!files.isValid()) {
        return false;
    }
    const std::string item(name.substr(0, name.size() - Suffix.size()));
    struct stat st
    {
    };
    return ::fstatat(files.get(), item.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

/// Where the anchor's folder, open at `fd`, really is: as the kernel names
/// it, or (a folder too deep for that, or no /proc) its resolved path when
/// that still leads to the same folder. nullopt when neither can be had;
/// callers then refuse.
std::optional<std::string> whereFolderIs(int fd, const Anchor &anchor)
{
    if (std::optional<std::string> named = detail::pathOfDescriptor(fd)) {
        return named;
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(anchor.path.c_str(), nullptr), &std::free);
    struct stat st
    {
    };
    if (resolved && ::stat(resolved.get(), &st) == 0 && st.st_dev == anchor.device && st.st_ino == anchor.inode) {
        return std::string(resolved.get());
    }
    return std::nullopt;
}

/// The written path of the item in "files" that the record `name` in the
/// trash's "info" folder `infoPath` describes.
std::string trashedItemPath(const std::string &infoPath, std::string_view name)
{
    const std::size_t slash = infoPath.find_last_of('/');
    std::string path = slash == std::string::npos ? std::string() : infoPath.substr(0, slash);
    path += "/files/";
    path += name.substr(0, name.size() - std::string_view(".trashinfo").size());
    return path;
}

/// The last step of removeBelow: `name` in the folder open at `parentFd`.
struct FinalStep
{
    int parentFd = -1;
    FileId parentId;
    std::string parentPath; // as written
    std::optional<std::string> realParentPath; // where the parent really is; nullopt: unknown
    std::string name;
    std::uint64_t device = 0; // nothing on another device is removed
};

/// The size of what a folder item holds, measured by descriptor (the item
/// was examined as `examined`; something else there now measures 0).
std::int64_t folderSize(int parentFd, const std::string &name, const EntryStat &examined)
{
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const UniqueFd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    EntryStat now;
    if (!fd.isValid() || detail::statOpened(fd.get(), now) != 0 || idOf(now) != idOf(examined)) {
        return 0;
    }
    return treeSize("/proc/self/fd/" + std::to_string(fd.get()));
}

/// The trashing end of removeFinal, once every check has passed.
RemovalOutcome trashFinal(
    const FinalStep &step, const RemovalRequest &request, const EntryStat &examined, const std::string &path)
{
    RemovalOutcome outcome;
    outcome.device = examined.dev;
    outcome.inode = examined.inode;
    if (S_ISDIR(examined.mode) && request.kept && request.kept->holdsKeptItem(idOf(examined))) {
        return refusedFor(
            Refusal::Kept, Error{ 0, path, "holds items on the always-keep list; not moved to the Trash" });
    }
    if (!step.realParentPath) {
        outcome.error = Error{ 0, path, "where it really is cannot be told; not moved to the Trash" };
        return outcome;
    }
    if (request.raceHook) {
        request.raceHook(step.parentPath, step.name);
    }
    const std::int64_t size = S_ISDIR(examined.mode)
        ? folderSize(step.parentFd, step.name, examined)
        : (S_ISREG(examined.mode) || S_ISLNK(examined.mode) ? examined.size : 0);
    const Result<TrashedItem> moved =
        trashEntry(step.parentFd, step.name, *step.realParentPath, idOf(examined), *request.trash, request.dryRun);
    if (!moved) {
        struct stat now
        {
        };
        if (moved.error().code == ENOENT && ::fstatat(step.parentFd, step.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0
            && errno == ENOENT) {
            return alreadyGone(); // moved by someone else (another clean) before its turn
        }
        // Anything else that is missing (the trash's data folder) leaves the item where it is: a failure.
        Error error = moved.error();
        error.path = path;
        if (error.message == TrashChangedSinceScan) {
            outcome.refusal = Refusal::ChangedSinceScan;
        }
        outcome.error = std::move(error);
        return outcome;
    }
    outcome.freed = size;
    outcome.trashed = true;
    outcome.trashedAs = moved.value().filesPath;
    return outcome;
}

RemovalOutcome removeFinal(const FinalStep &step, const RemovalRequest &request, const Protection &protection)
{
    std::string path = step.parentPath;
    appendComponent(path, step.name);
    EntryStat examined;
    if (const int error = detail::statEntry(step.parentFd, step.name.c_str(), examined); error != 0) {
        return error == ENOENT ? alreadyGone() : failed(Error::fromErrno(error, path));
    }
    auto refuse = [&](Refusal why, Error error) {
        RemovalOutcome outcome = refusedFor(why, std::move(error));
        outcome.device = examined.dev;
        outcome.inode = examined.inode;
        return outcome;
    };
    if (!matchesKind(request.expected, examined)) {
        return refuse(Refusal::ChangedSinceScan, Error{ 0, path, std::string(ChangedSinceScan) });
    }
    if (examined.dev != step.device || examined.mountRoot) {
        return refuse(Refusal::OtherFileSystem, Error{ EXDEV, path, std::string(OtherFileSystem) });
    }
    if (isKept(request.kept.get(), examined)) {
        return refuse(Refusal::Kept, Error{ 0, path, std::string(KeptNotDeleted) });
    }
    const std::optional<std::string> &realParent = step.realParentPath;
    std::string realItem = realParent.value_or(std::string());
    appendComponent(realItem, step.name);
    if (!realParent || protection.isProtectedPathForHome(realItem) || protection.isProtectedPathForHome(path)
        || protection.protectsEntriesOf(step.parentId)
        || (S_ISDIR(examined.mode) && protection.protectedFolder(idOf(examined)))) {
        return refuse(Refusal::Protected, Error{ EPERM, path, "protected location" });
    }
    if (describesTrashedItem(step.parentFd, *realParent, step.name)
        && !(request.dryRun && request.trashedItemGoing
            && request.trashedItemGoing(trashedItemPath(step.parentPath, step.name)))) {
        return refuse(
            Refusal::TrashRecordKept, Error{ 0, path, "kept while the item it describes is still in the trash" });
    }
    if (std::optional<Error> refusal = unlinkRefusal(step.parentFd, step.name, examined, path)) {
        refusal->message = "not deletable: " + refusal->message;
        return refuse(Refusal::NotDeletable, std::move(*refusal));
    }
    if (request.trash) {
        return trashFinal(step, request, examined, path);
    }
    RemoverSettings settings;
    settings.device = step.device;
    settings.dryRun = request.dryRun;
    settings.kept = request.kept.get();
    settings.makeWritable = request.makeOwnFoldersWritable;
    settings.links = request.links.get();
    settings.raceHook = &request.raceHook;
    Remover remover(settings);
    RemovalOutcome outcome;
    outcome.device = examined.dev;
    outcome.inode = examined.inode;
    if (S_ISDIR(examined.mode) && !request.keepEntries.empty()) {
        // Emptied, not removed: the folder and the entries it keeps stay.
        if (request.raceHook) {
            request.raceHook(step.parentPath, step.name);
        }
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        const UniqueFd fd(::openat(step.parentFd, step.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        EntryStat opened;
        if (!fd.isValid() || detail::statOpened(fd.get(), opened) != 0 || idOf(opened) != idOf(examined)) {
            return fd.isValid() || errno == ELOOP || errno == ENOTDIR ? changedSinceScan(path)
                                                                      : failed(Error::fromErrno(errno, path));
        }
        if (request.makeOwnFoldersWritable && !request.dryRun && opened.uid == ::geteuid()) {
            (void)::fchmod(fd.get(), static_cast<mode_t>((opened.mode & 07777) | S_IWUSR | S_IXUSR));
        }
        remover.removeContents(fd.get(), path, opened, request.keepEntries);
    } else {
        std::string parentPath = step.parentPath;
        (void)remover.removeExamined(step.parentFd, parentPath, step.name, examined);
    }
    outcome.freed = remover.freed();
    outcome.held = remover.held();
    outcome.error = remover.firstError();
    outcome.partial = outcome.error && outcome.freed > 0;
    return outcome;
}

} // namespace

std::int64_t LinkLedger::take(FileId id, std::uint64_t links, std::int64_t size)
{
    if (links <= 1) {
        return size;
    }
    auto [entry, fresh] = m_namesLeft.try_emplace(id, links);
    if (entry->second > 0) {
        --entry->second;
    }
    return entry->second == 0 ? size : 0;
}

std::optional<Anchor> anchorAt(const std::string &path)
{
    struct stat st
    {
    };
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return Anchor{ detail::stripTrailingSlashes(path), st.st_dev, st.st_ino };
}

RemovalOutcome removeBelow(const Anchor &anchor, std::string_view relative, const RemovalRequest &request)
{
    std::string path = anchor.path;
    if (!relative.empty()) {
        appendComponent(path, relative);
    }
    const std::optional<std::vector<std::string>> parts = relativeComponents(relative);
    if (!parts || anchor.path.empty() || anchor.path.front() != '/') {
        return refusedFor(Refusal::Invalid, Error::fromErrno(EINVAL, path));
    }
    const std::shared_ptr<const Protection> protection =
        request.protection ? request.protection : Protection::forHome(request.homeDir);
    UniqueFd folder(::open(anchor.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    if (!folder.isValid()) {
        return errno == ENOENT ? alreadyGone() : failed(Error::fromErrno(errno, path));
    }
    EntryStat st;
    if (const int error = detail::statOpened(folder.get(), st); error != 0) {
        return failed(Error::fromErrno(error, path));
    }
    if (st.dev != anchor.device || st.inode != anchor.inode) {
        return changedSinceScan(path);
    }
    const KeptItems *kept = request.kept.get();
    // By where the anchor is, and by how it was written (a link inside a kept folder leads out of it).
    if (kept != nullptr && (kept->coversFolder(folder.get()) || kept->covers(anchor.path))) {
        return refusedFor(Refusal::Kept, Error{ 0, path, std::string(KeptNotDeleted) });
    }
    std::optional<std::string> realFolder = whereFolderIs(folder.get(), anchor);
    if (protection->refusesAnchor(anchor.path, realFolder, idOf(st))) {
        return protectedLocation(path);
    }

    if (parts->empty()) {
        // The anchor's content: the folder itself stays.
        if (request.expected != ItemKind::Any && request.expected != ItemKind::Directory) {
            return changedSinceScan(path);
        }
        if (request.trash) {
            // The folder stays, so there is no one item to move; its content is never deleted instead.
            return refusedFor(
                Refusal::Invalid, Error{ EINVAL, path, "the content of a scanned location is not moved to the Trash" });
        }
        if (!realFolder || protection->isProtectedPathForHome(*realFolder) || protection->isProtectedPathForHome(path)
            || protection->protectedFolder(idOf(st)) || protection->protectsEntriesOf(idOf(st))) {
            return protectedLocation(path);
        }
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        const UniqueFd readable(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!readable.isValid()) {
            return failed(Error::fromErrno(errno, path));
        }
        RemoverSettings settings;
        settings.device = anchor.device;
        settings.dryRun = request.dryRun;
        settings.kept = kept;
        settings.makeWritable = request.makeOwnFoldersWritable;
        settings.links = request.links.get();
        settings.raceHook = &request.raceHook;
        Remover remover(settings);
        remover.removeContents(readable.get(), path, st, request.keepEntries);
        RemovalOutcome outcome;
        outcome.device = st.dev;
        outcome.inode = st.inode;
        outcome.freed = remover.freed();
        outcome.held = remover.held();
        outcome.error = remover.firstError();
        outcome.partial = outcome.error && outcome.freed > 0;
        return outcome;
    }

    // Down to the folder that holds the item, one component at a time. Where
    // it really is follows from where the anchor really is: nothing on the
    // way is a link. (Asking the kernel for a deep folder's path fails.)
    std::string folderPath = anchor.path;
    for (std::size_t k = 0; k + 1 < parts->size(); ++k) {
        const std::string &name = (*parts)[k];
        if (request.raceHook) {
            request.raceHook(folderPath, name);
        }
        appendComponent(folderPath, name);
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        UniqueFd next(::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.isValid()) {
            const int error = errno;
            if (error == ENOENT) {
                return alreadyGone();
            }
            if (error == ELOOP || error == ENOTDIR) {
                return changedSinceScan(path);
            }
            return failed(Error::fromErrno(error, path));
        }
        if (const int error = detail::statOpened(next.get(), st); error != 0) {
            return failed(Error::fromErrno(error, path));
        }
        if (st.dev != anchor.device || st.mountRoot) {
            return refusedFor(Refusal::OtherFileSystem, Error{ EXDEV, path, std::string(OtherFileSystem) });
        }
        if (isKept(kept, st)) {
            return refusedFor(Refusal::Kept, Error{ 0, path, std::string(KeptNotDeleted) });
        }
        folder = std::move(next);
        if (realFolder) {
            appendComponent(*realFolder, name);
        }
    }
    FinalStep step;
    step.parentFd = folder.get();
    step.parentId = idOf(st);
    step.parentPath = folderPath;
    step.realParentPath = realFolder;
    step.name = parts->back();
    step.device = anchor.device;
    return removeFinal(step, request, *protection);
}

} // namespace core::tree
