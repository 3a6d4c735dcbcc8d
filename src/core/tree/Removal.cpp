#include "tree/Removal.h"

#include <algorithm>
#include <array>
#include <cerrno>
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

/// Owns one file descriptor; closes it on destruction.
class UniqueFd
{
public:
    explicit UniqueFd(int fd)
        : m_fd(fd)
    {
    }
    ~UniqueFd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

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
void appendComponent(std::string &path, const std::string &name)
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

/// One removal run: remembers the first thing left behind.
class Remover
{
public:
    void fail(Error error)
    {
        if (!m_firstError) {
            m_firstError = std::move(error);
        }
    }
    void failErrno(int code, const std::string &path) { fail(Error::fromErrno(code, path)); }

    Status result() const
    {
        if (m_firstError) {
            return *m_firstError;
        }
        return Ok{};
    }

    /// Removes `name` inside the open folder `dirFd`. `path` holds that
    /// folder's path for messages and the race hook; it is extended while the
    /// entry is handled and restored on return. `topDev` is the device of the
    /// item being removed, null when `name` is that item. True when the entry is gone.
    bool removeEntry(int dirFd, std::string &path, const std::string &name, const dev_t *topDev)
    {
        const std::size_t parentLength = path.size();
        appendComponent(path, name);
        const bool gone = removeEntryAt(dirFd, path, parentLength, name, topDev);
        path.resize(parentLength);
        return gone;
    }

private:
    bool removeEntryAt(
        int dirFd, std::string &path, std::size_t parentLength, const std::string &name, const dev_t *topDev)
    {
        const bool isTop = topDev == nullptr;
        struct stat examined
        {
        };
        if (::fstatat(dirFd, name.c_str(), &examined, AT_SYMLINK_NOFOLLOW) != 0) {
            // Something below the item vanishing meanwhile is what we wanted anyway.
            return failUnlessVanished(errno, path, isTop);
        }
        if (!S_ISDIR(examined.st_mode)) {
            if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
                return failUnlessVanished(errno, path, isTop);
            }
            return true;
        }
        const dev_t device = isTop ? examined.st_dev : *topDev;
        if (examined.st_dev != device) {
            fail(Error{ EXDEV, path, "a mounted file system; not entered" });
            return false;
        }
        if (removalRaceHook != nullptr) {
            removalRaceHook(path.substr(0, parentLength), name);
        }
        // O_NOFOLLOW: an entry swapped for a link since fstatat fails here
        // (ELOOP/ENOTDIR) instead of leading outside the tree.
        UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.isValid()) {
            return failUnlessVanished(errno, path, isTop);
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
        removeContents(fd.get(), path, device);
        // Tried even after a failing child: the only cost is an ENOTEMPTY that
        // the child's own error already explains.
        if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) {
            return failUnlessVanished(errno, path, isTop);
        }
        return true;
    }

    bool failUnlessVanished(int code, const std::string &path, bool isTop)
    {
        if (code == ENOENT && !isTop) {
            return true;
        }
        failErrno(code, path);
        return false;
    }

    /// Removes everything inside the folder open at `fd`, whose path is `path`.
    void removeContents(int fd, std::string &path, dev_t device)
    {
        const std::optional<std::vector<std::string>> names = readNames(fd, path);
        if (!names) {
            return;
        }
        for (const std::string &name : *names) {
            removeEntry(fd, path, name, &device);
        }
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
    const char *parent = openablePath(split->parent);
    // AT_EACCESS: the kernel judges an unlink by the effective ids, and this
    // also honours ACLs, read-only mounts (EROFS) and an immutable parent (EPERM).
    if (::faccessat(AT_FDCWD, parent, W_OK | X_OK, AT_EACCESS) != 0) {
        return Error::fromErrno(errno, path);
    }
    struct stat parentStat
    {
    };
    if (::stat(parent, &parentStat) != 0) {
        return Error::fromErrno(errno, path);
    }
    std::string item = split->parent;
    appendComponent(item, split->name);
    struct stat itemStat
    {
    };
    const bool itemExists = ::lstat(item.c_str(), &itemStat) == 0;
    const int itemErrno = errno;
    if ((parentStat.st_mode & S_ISVTX) != 0) {
        if (!itemExists) {
            return Error::fromErrno(itemErrno, path);
        }
        const uid_t euid = ::geteuid();
        if (euid != 0 && euid != itemStat.st_uid && euid != parentStat.st_uid) {
            return Error::fromErrno(EPERM, path);
        }
    }
    {
        const UniqueFd parentFd(::open(parent, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
        if (parentFd.isValid() && hasProtectingFlags(parentFd.get())) {
            return Error::fromErrno(EPERM, path);
        }
    }
    // Links carry no flags of their own, and opening anything but a file or a
    // folder (a device, a FIFO) could have side effects.
    if (itemExists && (S_ISREG(itemStat.st_mode) || S_ISDIR(itemStat.st_mode))) {
        const UniqueFd itemFd(::open(item.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (itemFd.isValid() && hasProtectingFlags(itemFd.get())) {
            return Error::fromErrno(EPERM, path);
        }
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

Status removeItem(const std::string &path)
{
    const std::optional<SplitPath> split = splitPath(path);
    if (!split) {
        return Error::fromErrno(EINVAL, path);
    }
    // Folders above the item are resolved normally (they may be links);
    // from here on nothing is looked up by path again.
    const UniqueFd parentFd(::open(openablePath(split->parent), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const int openErrno = errno;
    std::string itemPath = split->parent;
    if (!parentFd.isValid()) {
        appendComponent(itemPath, split->name);
        return Error::fromErrno(openErrno, itemPath);
    }
    Remover remover;
    remover.removeEntry(parentFd.get(), itemPath, split->name, nullptr);
    return remover.result();
}

} // namespace core::tree
