#include "tree/Removal.h"

#include "tree/DirectoryIo.h"
#include "tree/Trash.h"
#include "tree/TreeSize.h"

#include <algorithm>
#include <array>
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

void (*removalRaceHook)(const std::string &parentPath, const std::string &name) = nullptr;

namespace {

using detail::UniqueFd;

constexpr std::string_view ChangedSinceScan = "changed since the scan; not deleted";
constexpr std::string_view KeptNotDeleted = "on the always-keep list; not deleted";
constexpr std::string_view KeptLeftInPlace = "on the always-keep list; left in place";

FileId idOf(const struct stat &st)
{
    return FileId{ static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino) };
}

bool isKept(const KeptItems *kept, const struct stat &st)
{
    return kept != nullptr && kept->contains(idOf(st));
}

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

/// A path cut into the folder that holds the item and the item's name.
struct SplitPath
{
    std::string parent; // "" for a bare relative name (then "." is opened)
    std::string name;
};

/// Cuts `path` after dropping its trailing slashes: a trailing "/" would make
/// the kernel resolve a final link, and the item meant is the link itself.
/// nullopt for "", for "/" (only slashes) and for a last component "." or "..".
std::optional<SplitPath> splitPath(const std::string &path)
{
    const std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t slash = path.rfind('/', end);
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    SplitPath split;
    split.name = path.substr(start, end + 1 - start);
    if (split.name == "." || split.name == "..") {
        return std::nullopt;
    }
    if (slash != std::string::npos) {
        const std::size_t parentEnd = path.find_last_not_of('/', slash);
        split.parent = parentEnd == std::string::npos ? std::string("/") : path.substr(0, parentEnd + 1);
    }
    return split;
}

const char *openablePath(const std::string &parent)
{
    return parent.empty() ? "." : parent.c_str();
}

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

std::optional<std::string> realPath(const std::string &path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

/// Whether the kernel would let this process unlink an entry owned by
/// `itemUid` from the folder described by `parent` (the sticky-folder rule).
bool stickyAllows(const struct stat &parent, uid_t itemUid)
{
    if ((parent.st_mode & S_ISVTX) == 0) {
        return true;
    }
    const uid_t euid = ::geteuid();
    return euid == 0 || euid == itemUid || euid == parent.st_uid;
}

/// The checks the kernel makes before unlinking `name` (examined as
/// `item`) from the folder open at `parentFd` (any kind of descriptor):
/// write and search permission on the folder, the sticky-folder rule, and
/// no immutable or append-only flag on the folder or the item.
std::optional<Error> unlinkRefusal(
    int parentFd, std::string_view name, const struct stat &item, const std::string &path)
{
    // AT_EACCESS: the kernel judges an unlink by the effective ids; this also
    // honours ACLs, read-only mounts (EROFS) and an immutable parent (EPERM).
    if (::faccessat(parentFd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        return Error::fromErrno(errno, path);
    }
    struct stat parent
    {
    };
    if (::fstatat(parentFd, ".", &parent, 0) != 0) {
        return Error::fromErrno(errno, path);
    }
    if (!stickyAllows(parent, item.st_uid)) {
        return Error::fromErrno(EPERM, path);
    }
    {
        const UniqueFd readable(::openat(parentFd, ".", O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
        if (readable.isValid() && hasProtectingFlags(readable.get())) {
            return Error::fromErrno(EPERM, path);
        }
    }
    // Links carry no flags of their own, and opening anything but a file or a
    // folder (a device, a FIFO) could have side effects.
    if (S_ISREG(item.st_mode) || S_ISDIR(item.st_mode)) {
        const std::string own(name);
        const UniqueFd itemFd(
            ::openat(parentFd, own.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (itemFd.isValid() && hasProtectingFlags(itemFd.get())) {
            return Error::fromErrno(EPERM, path);
        }
    }
    return std::nullopt;
}

/// One removal (or dry-run check) of an item and everything inside it:
/// remembers the first thing left behind and counts the bytes removed.
class Remover
{
public:
    Remover(std::uint64_t device, bool dryRun, const KeptItems *kept)
        : m_device(device)
        , m_dryRun(dryRun)
        , m_kept(kept)
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

    /// Removes `name` inside the open folder `dirFd`, examined as `examined`.
    /// `path` holds that folder's path for messages and the race hook; it is
    /// extended while the entry is handled and restored on return. True when
    /// the entry is gone.
    bool removeExamined(int dirFd, std::string &path, const std::string &name, const struct stat &examined)
    {
        const std::size_t parentLength = path.size();
        appendComponent(path, name);
        const bool gone = removeExaminedAt(dirFd, path, parentLength, name, examined);
        path.resize(parentLength);
        return gone;
    }

    /// Removes (or checks) everything inside the folder open at `fd`
    /// (readable), described by `self`, whose path is `path`.
    void removeContents(int fd, std::string &path, const struct stat &self)
    {
        if (m_dryRun) {
            if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
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
            const std::size_t parentLength = path.size();
            appendComponent(path, name);
            struct stat examined
            {
            };
            if (::fstatat(fd, name.c_str(), &examined, AT_SYMLINK_NOFOLLOW) != 0) {
                // Something below the item vanishing meanwhile is what we wanted anyway.
                if (errno != ENOENT) {
                    failErrno(errno, path);
                }
            } else if (isKept(m_kept, examined)) {
                fail(Error{ 0, path, std::string(KeptLeftInPlace) });
            } else if (m_dryRun && !stickyAllows(self, examined.st_uid)) {
                failErrno(EPERM, path);
            } else {
                (void)removeExaminedAt(fd, path, parentLength, name, examined);
            }
            path.resize(parentLength);
        }
    }

private:
    bool removeExaminedAt(
        int dirFd, std::string &path, std::size_t parentLength, const std::string &name, const struct stat &examined)
    {
        if (examined.st_dev != m_device) {
            fail(Error{ EXDEV, path, "a mounted file system; not entered" });
            return false;
        }
        if (!S_ISDIR(examined.st_mode)) {
            if (!m_dryRun && ::unlinkat(dirFd, name.c_str(), 0) != 0) {
                return failUnlessVanished(errno, path);
            }
            m_freed += S_ISREG(examined.st_mode) || S_ISLNK(examined.st_mode) ? examined.st_size : 0;
            return true;
        }
        if (removalRaceHook != nullptr) {
            removalRaceHook(path.substr(0, parentLength), name);
        }
        // O_NOFOLLOW: an entry swapped for a link since it was examined fails
        // here (ELOOP/ENOTDIR) instead of leading outside the tree.
        const UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.isValid()) {
            return failUnlessVanished(errno, path);
        }
        struct stat opened
        {
        };
        if (::fstat(fd.get(), &opened) != 0) {
            failErrno(errno, path);
            return false;
        }
        if (opened.st_dev != examined.st_dev || opened.st_ino != examined.st_ino) {
            // Swapped for another folder since it was examined: not the one we meant to empty.
            fail(Error{ 0, path, "replaced by another folder during removal; left alone" });
            return false;
        }
        removeContents(fd.get(), path, opened);
        if (m_dryRun) {
            return true;
        }
        // Tried even after a failing child: the only cost is an ENOTEMPTY that
        // the child's own error already explains.
        if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) {
            return failUnlessVanished(errno, path);
        }
        return true;
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
        UniqueFd listFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
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

    std::uint64_t m_device;
    bool m_dryRun;
    const KeptItems *m_kept; // not owned; null: nothing kept
    std::int64_t m_freed = 0;
    std::optional<Error> m_firstError;
};

/// The components of an absolute path, empty ones (repeated or trailing "/")
/// dropped. nullopt when the path is not absolute or holds "." or "..".
std::optional<std::vector<std::string_view>> absoluteComponents(std::string_view path)
{
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") {
            return std::nullopt;
        }
        if (!part.empty()) {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

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

/// Top-level folders of the system itself: a home folder of one of these names
/// does not make the items directly in it deletable.
constexpr std::array<std::string_view, 20> SystemTopLevelFolders = {
    "bin",
    "boot",
    "dev",
    "etc",
    "home",
    "lib",
    "lib32",
    "lib64",
    "libx32",
    "media",
    "mnt",
    "opt",
    "proc",
    "run",
    "sbin",
    "srv",
    "sys",
    "tmp",
    "usr",
    "var",
};

/// isProtectedPath against the home folder as written and as resolved.
bool isProtectedForHome(const std::string &path, const std::string &homeDir)
{
    if (isProtectedPath(path, homeDir)) {
        return true;
    }
    if (homeDir.empty()) {
        return false;
    }
    // Resolved once per thread and home, not once per item: a clean of a
    // hundred thousand files would otherwise walk the home's path as often.
    thread_local std::string resolvedFor;
    thread_local std::optional<std::string> realHome;
    if (resolvedFor != homeDir) {
        realHome = realPath(homeDir);
        resolvedFor = homeDir;
    }
    return realHome && *realHome != homeDir && isProtectedPath(path, *realHome);
}

ItemKind kindOf(const struct stat &st)
{
    if (S_ISDIR(st.st_mode)) {
        return ItemKind::Directory;
    }
    return S_ISLNK(st.st_mode) ? ItemKind::Symlink : ItemKind::Other;
}

bool matchesKind(ItemKind expected, const struct stat &st)
{
    return expected == ItemKind::Any || expected == kindOf(st);
}

RemovalOutcome failed(Error error)
{
    RemovalOutcome outcome;
    outcome.error = std::move(error);
    return outcome;
}

RemovalOutcome refusedFor(Error error)
{
    RemovalOutcome outcome = failed(std::move(error));
    outcome.refused = true;
    return outcome;
}

RemovalOutcome changedSinceScan(const std::string &path)
{
    return refusedFor(Error{ 0, path, std::string(ChangedSinceScan) });
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
    const UniqueFd trash(::openat(dirFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!trash.isValid()) {
        return false;
    }
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
/// it, or (without /proc) its resolved path when that still leads to the
/// same folder. nullopt when neither can be had; callers then refuse.
std::optional<std::string> whereFolderIs(int fd, const Anchor &anchor)
{
    if (std::optional<std::string> named = detail::pathOfDescriptor(fd)) {
        return named;
    }
    const std::optional<std::string> resolved = realPath(anchor.path);
    struct stat st
    {
    };
    if (resolved && ::stat(resolved->c_str(), &st) == 0 && st.st_dev == anchor.device && st.st_ino == anchor.inode) {
        return resolved;
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

/// The last step shared by removeBelow and removeItem: `name` in the folder
/// open at `parentFd` (path `parentPath`), with its device rule.
struct FinalStep
{
    int parentFd = -1;
    std::string parentPath;
    std::optional<std::string> realParentPath; // where the parent really is; nullopt: unknown
    std::string name;
    std::uint64_t device = 0; // nothing on another device is removed
    bool checkDevice = true; // false: the item's own device counts (removeItem)
};

/// The trashing end of removeFinal, once every check has passed: hands GIO
/// the item by where it really is, never by the written path.
RemovalOutcome trashFinal(const FinalStep &step,
    const RemovalRequest &request,
    const struct stat &examined,
    const std::string &path,
    RemovalOutcome outcome)
{
    if (S_ISDIR(examined.st_mode) && request.kept && request.kept->holdsKeptItem(idOf(examined))) {
        outcome.refused = true;
        outcome.error = Error{ 0, path, "holds items on the always-keep list; not moved to the Trash" };
        return outcome;
    }
    if (removalRaceHook != nullptr) {
        removalRaceHook(step.parentPath, step.name);
    }
    std::optional<std::string> resolved = detail::pathOfDescriptor(step.parentFd);
    if (!resolved) {
        resolved = step.realParentPath; // a folder too deep for the kernel to name
    }
    if (!resolved) {
        outcome.error = Error{ 0, path, "where it really is cannot be told; not moved to the Trash" };
        return outcome;
    }
    appendComponent(*resolved, step.name);
    struct stat now
    {
    };
    if (::lstat(resolved->c_str(), &now) != 0 || idOf(now) != idOf(examined)) {
        return changedSinceScan(path);
    }
    const std::int64_t size = S_ISDIR(examined.st_mode)
        ? treeSize(*resolved)
        : (S_ISREG(examined.st_mode) || S_ISLNK(examined.st_mode) ? static_cast<std::int64_t>(examined.st_size) : 0);
    if (!request.dryRun) {
        const Status moved = moveToTrash(*resolved);
        if (!moved) {
            outcome.error = Error{ moved.error().code, path, "not moved to the Trash: " + moved.error().message };
            return outcome;
        }
    }
    outcome.freed = size;
    outcome.trashed = true;
    return outcome;
}

RemovalOutcome removeFinal(const FinalStep &step, const RemovalRequest &request, bool guarded)
{
    std::string path = step.parentPath;
    appendComponent(path, step.name);
    struct stat examined
    {
    };
    if (::fstatat(step.parentFd, step.name.c_str(), &examined, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT && guarded) {
            RemovalOutcome gone;
            gone.alreadyGone = true;
            return gone;
        }
        return failed(Error::fromErrno(errno, path));
    }
    RemovalOutcome outcome;
    outcome.device = examined.st_dev;
    outcome.inode = examined.st_ino;
    const std::uint64_t device = step.checkDevice ? step.device : examined.st_dev;
    if (guarded) {
        outcome.refused = true; // until every check has passed
        if (!matchesKind(request.expected, examined)) {
            outcome.error = Error{ 0, path, std::string(ChangedSinceScan) };
            return outcome;
        }
        if (examined.st_dev != device) {
            outcome.error = Error{ EXDEV, path, "on another file system; not deleted" };
            return outcome;
        }
        if (isKept(request.kept.get(), examined)) {
            outcome.error = Error{ 0, path, std::string(KeptNotDeleted) };
            return outcome;
        }
        const std::optional<std::string> &realParent = step.realParentPath;
        std::string realItem = realParent.value_or(std::string());
        appendComponent(realItem, step.name);
        if (!realParent || isProtectedForHome(realItem, request.homeDir) || isProtectedForHome(path, request.homeDir)) {
            outcome.error = Error{ EPERM, path, "protected location" };
            return outcome;
        }
        if (describesTrashedItem(step.parentFd, *realParent, step.name)
            && !(request.dryRun && request.trashedItemGoing
                && request.trashedItemGoing(trashedItemPath(step.parentPath, step.name)))) {
            outcome.error = Error{ 0, path, "kept while the item it describes is still in the trash" };
            return outcome;
        }
        if (std::optional<Error> refusal = unlinkRefusal(step.parentFd, step.name, examined, path)) {
            refusal->message = "not deletable: " + refusal->message;
            outcome.error = std::move(refusal);
            return outcome;
        }
        outcome.refused = false;
        if (request.moveToTrash) {
            return trashFinal(step, request, examined, path, std::move(outcome));
        }
    }
    Remover remover(device, request.dryRun, request.kept.get());
    std::string parentPath = step.parentPath;
    (void)remover.removeExamined(step.parentFd, parentPath, step.name, examined);
    outcome.freed = remover.freed();
    outcome.error = remover.firstError();
    outcome.partial = outcome.error && outcome.freed > 0;
    return outcome;
}

} // namespace

Status checkDeletable(const std::string &path)
{
    if (path.empty()) {
        return Ok{};
    }
    const std::optional<SplitPath> split = splitPath(path);
    if (!split) {
        return Error::fromErrno(path.find_first_not_of('/') == std::string::npos ? EPERM : EINVAL, path);
    }
    const UniqueFd parent(::open(openablePath(split->parent), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parent.isValid()) {
        return Error::fromErrno(errno, path);
    }
    struct stat item
    {
    };
    if (::fstatat(parent.get(), split->name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0) {
        const int itemErrno = errno;
        // A missing item under a writable, non-sticky folder counts as
        // deletable; in a sticky folder its owner cannot be judged.
        struct stat folder
        {
        };
        if (::fstat(parent.get(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0) {
            if (::faccessat(parent.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
                return Error::fromErrno(errno, path);
            }
            return Error::fromErrno(itemErrno, path);
        }
        item = {};
        item.st_uid = ::geteuid();
    }
    if (std::optional<Error> refusal = unlinkRefusal(parent.get(), split->name, item, path)) {
        return *refusal;
    }
    return Ok{};
}

bool isDeletable(const std::string &path)
{
    return checkDeletable(path).has_value();
}

bool isProtectedPath(const std::string &path, const std::string &homeDir)
{
    const auto parts = absoluteComponents(path);
    if (!parts || parts->size() <= 1) {
        return true;
    }
    const auto home = absoluteComponents(homeDir);
    if (home && parts->size() <= home->size() && std::equal(parts->begin(), parts->end(), home->begin())) {
        return true; // the home folder or a folder above it
    }
    if (parts->size() == 2) {
        const bool inTopLevelHome = home && home->size() == 1 && home->front() == parts->front()
            && std::find(SystemTopLevelFolders.begin(), SystemTopLevelFolders.end(), home->front())
                == SystemTopLevelFolders.end();
        return !inTopLevelHome;
    }
    return false;
}

bool isProtectedLocation(const std::string &path, const std::string &homeDir)
{
    if (isProtectedForHome(path, homeDir)) {
        return true;
    }
    const std::optional<SplitPath> split = splitPath(path);
    if (!split || split->parent.empty()) {
        return true;
    }
    const std::optional<std::string> parent = realPath(split->parent);
    if (!parent) {
        return false; // nothing there to resolve: the written path is all there is
    }
    std::string resolved = *parent;
    appendComponent(resolved, split->name);
    return isProtectedForHome(resolved, homeDir);
}

std::optional<Anchor> anchorAt(const std::string &path)
{
    struct stat st
    {
    };
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    std::string clean = path;
    while (clean.size() > 1 && clean.back() == '/') {
        clean.pop_back();
    }
    return Anchor{ std::move(clean), st.st_dev, st.st_ino };
}

RemovalOutcome removeBelow(const Anchor &anchor, std::string_view relative, const RemovalRequest &request)
{
    std::string path = anchor.path;
    if (!relative.empty()) {
        appendComponent(path, relative);
    }
    const std::optional<std::vector<std::string>> parts = relativeComponents(relative);
    if (!parts || anchor.path.empty() || anchor.path.front() != '/') {
        return refusedFor(Error::fromErrno(EINVAL, path));
    }
    UniqueFd folder(::open(anchor.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid()) {
        if (errno == ENOENT) {
            RemovalOutcome gone;
            gone.alreadyGone = true;
            return gone;
        }
        return failed(Error::fromErrno(errno, path));
    }
    struct stat st
    {
    };
    if (::fstat(folder.get(), &st) != 0) {
        return failed(Error::fromErrno(errno, path));
    }
    if (st.st_dev != anchor.device || st.st_ino != anchor.inode) {
        return changedSinceScan(path);
    }
    const KeptItems *kept = request.kept.get();
    // By where the anchor is, and by how it was written (a link inside a kept folder leads out of it).
    if (kept != nullptr && (kept->coversFolder(folder.get()) || kept->covers(anchor.path))) {
        return refusedFor(Error{ 0, path, std::string(KeptNotDeleted) });
    }

    if (parts->empty()) {
        // The anchor's content: the folder itself stays.
        if (request.expected != ItemKind::Any && request.expected != ItemKind::Directory) {
            return changedSinceScan(path);
        }
        if (request.moveToTrash) {
            // The folder stays, so there is no one item to move; its content is never deleted instead.
            return refusedFor(Error{ EINVAL, path, "the content of a scanned location is not moved to the Trash" });
        }
        const std::optional<std::string> real = whereFolderIs(folder.get(), anchor);
        if (!real || isProtectedForHome(*real, request.homeDir) || isProtectedForHome(path, request.homeDir)) {
            return refusedFor(Error{ EPERM, path, "protected location" });
        }
        const UniqueFd readable(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!readable.isValid()) {
            return failed(Error::fromErrno(errno, path));
        }
        Remover remover(anchor.device, request.dryRun, kept);
        remover.removeContents(readable.get(), path, st);
        RemovalOutcome outcome;
        outcome.device = st.st_dev;
        outcome.inode = st.st_ino;
        outcome.freed = remover.freed();
        outcome.error = remover.firstError();
        outcome.partial = outcome.error && outcome.freed > 0;
        return outcome;
    }

    // Down to the folder that holds the item, one component at a time. Where
    // it really is follows from where the anchor really is: nothing on the
    // way is a link. (Asking the kernel for a deep folder's path fails.)
    std::optional<std::string> realFolder = whereFolderIs(folder.get(), anchor);
    std::string folderPath = anchor.path;
    for (std::size_t k = 0; k + 1 < parts->size(); ++k) {
        const std::string &name = (*parts)[k];
        if (removalRaceHook != nullptr) {
            removalRaceHook(folderPath, name);
        }
        appendComponent(folderPath, name);
        UniqueFd next(::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.isValid()) {
            const int error = errno;
            if (error == ENOENT) {
                RemovalOutcome gone;
                gone.alreadyGone = true;
                return gone;
            }
            if (error == ELOOP || error == ENOTDIR) {
                return changedSinceScan(path);
            }
            return failed(Error::fromErrno(error, path));
        }
        if (::fstat(next.get(), &st) != 0) {
            return failed(Error::fromErrno(errno, path));
        }
        if (st.st_dev != anchor.device) {
            return refusedFor(Error{ EXDEV, path, "on another file system; not deleted" });
        }
        if (isKept(kept, st)) {
            return refusedFor(Error{ 0, path, std::string(KeptNotDeleted) });
        }
        folder = std::move(next);
        if (realFolder) {
            appendComponent(*realFolder, name);
        }
    }
    FinalStep step;
    step.parentFd = folder.get();
    step.parentPath = folderPath;
    step.realParentPath = realFolder;
    step.name = parts->back();
    step.device = anchor.device;
    return removeFinal(step, request, true);
}

Status removeItem(const std::string &path)
{
    const std::optional<SplitPath> split = splitPath(path);
    if (!split) {
        return Error::fromErrno(EINVAL, path);
    }
    // Folders above the item are resolved normally (they may be links);
    // from here on nothing is looked up by path again.
    const UniqueFd parentFd(::open(openablePath(split->parent), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.isValid()) {
        std::string itemPath = split->parent;
        appendComponent(itemPath, split->name);
        return Error::fromErrno(errno, itemPath);
    }
    FinalStep step;
    step.parentFd = parentFd.get();
    step.parentPath = split->parent;
    step.realParentPath = detail::pathOfDescriptor(parentFd.get());
    step.name = split->name;
    step.checkDevice = false;
    RemovalOutcome outcome = removeFinal(step, RemovalRequest{}, false);
    if (outcome.error) {
        return *outcome.error;
    }
    return Ok{};
}

} // namespace core::tree
