// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the platform layer: the descriptor-relative directory reading
// that Walker, walkInOrder and treeSize share. Not part of the core's interface.

#include "tree/KeptItems.h"
#include "tree/Walker.h"

#include <cstddef>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace core::tree::detail {

/// Owns one file descriptor; closes it on destruction.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(other.release())
    {
    }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

/// Levels a walk goes down: a directory whose entries would lie deeper than
/// this is treated as unreadable (guards against bind-mount loops and
/// descriptor exhaustion).
inline constexpr int MaxLevel = 4096;

/// What one no-follow stat of a directory entry yields.
struct EntryStat
{
    mode_t mode = 0; // file type bits and permissions
    std::int64_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int32_t mtimeNsec = 0;
    std::uint64_t dev = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 1; // st_nlink
    std::uint32_t uid = 0;
    /// The entry is the root of a mount: a mount point, a bind mount of a
    /// folder or file of the same file system included (which shares the
    /// device number of the folder above it). Only known where statx reports
    /// STATX_ATTR_MOUNT_ROOT (Linux 5.8 on); statOpened() also knows it
    /// without. Walks and removals never cross one.
    bool mountRoot = false;
    /// The entry carries the immutable or append-only flag (only known where
    /// `flagsKnown`: statx reports them on ext4, XFS, Btrfs and others).
    bool protectingFlags = false;
    bool flagsKnown = false;
};

/// statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC) asking for
/// type, mode, size, mtime, owner, links and inode; falls back to
/// fstatat(AT_SYMLINK_NOFOLLOW) for the rest of the process once statx
/// answers ENOSYS or EPERM (seccomp-filtered containers). An entry that is
/// a mount point is described by the root of what is mounted there (the
/// kernel crosses into it), with mountRoot set. Returns 0, or the errno of
/// the failure. Thread-safe.
int statEntry(int dirFd, const char *name, EntryStat &out);

/// statEntry for the item open at `fd` (any kind of descriptor). mountRoot
/// is always known here: where statx cannot tell, the mount of the folder
/// is compared with the mount of the one above it (/proc/self/fdinfo).
/// Returns 0, or the errno of the failure. Thread-safe.
int statOpened(int fd, EntryStat &out);

/// The mount the item open at `fd` lies on (statx's STATX_MNT_ID, Linux 5.8
/// on, else /proc/self/fdinfo); nullopt when neither can tell. Two items
/// can be renamed into each other's folders only on the same mount.
std::optional<std::uint64_t> mountIdOf(int fd);

/// Whether the folder open at `fd` is the root of a mount (statOpened's
/// mountRoot); false when that cannot be read. Thread-safe.
bool isMountRoot(int fd);

/// Opens the root of a walk, following a link (as a start location is
/// resolved), and stores its device in `dev`. Returns the descriptor, owned
/// by the caller; -1 when `path` is not a directory that can be opened (a
/// folder that exists but cannot be read is told to the walk report), and
/// -1 silently when `kept` covers it (a kept folder or one below it).
int openRoot(const std::string &path, std::uint64_t &dev, const KeptItems *kept = nullptr);

/// Opens the directory `name` below the directory open at `parentFd` (on
/// device `parentDev`) as a walk enters it: never following a link, and
/// never onto another file system (a mount point is not entered, as with
/// du -x). Returns the descriptor, owned by the caller, and stores its
/// device in `dev`; -1 when the directory is passed over. A folder that
/// cannot be read and a mount point are told to the walk report under
/// `path` (the child's path; derived from `parentFd` when null); one that
/// vanished or became a link meanwhile is passed over silently.
int openChildDirectory(
    int parentFd, std::uint64_t parentDev, const char *name, std::uint64_t &dev, const std::string *path = nullptr);

/// Where the folder open at `fd` is, as the kernel names it
/// (/proc/self/fd); nullopt when that cannot be read or the folder was removed.
std::optional<std::string> pathOfDescriptor(int fd);

/// Tells services().walkReport, if any, of a folder that could not be read.
void reportUnreadable(std::string_view path, int error);

/// Tells services().walkReport, if any, of a mount point passed over.
void reportOtherFileSystem(std::string_view path);

/// `path` without trailing "/" ("/" stays "/").
std::string stripTrailingSlashes(std::string path);

/// The folder above `path` as written: "/" for a top-level item, "." for a bare name.
std::string parentPath(const std::string &path);

/// The identity a stat reports.
inline FileId idOf(const struct stat &st)
{
    return FileId{ static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino) };
}

/// Opens (O_PATH) the folder `path` names, following links, or when it is
/// no folder the folder it is in. Returns the descriptor, owned by the
/// caller; -1 when neither can be opened.
int openFolderOf(const std::string &path);

/// Calls `visit(id)` for the folder open at `fd` (any kind of descriptor)
/// and every folder above it up to "/", stopping as soon as `visit` returns
/// true; returns whether it did. Goes up through "..", so the folders are
/// those above where the folder really is, across mount points.
template<typename Visit> bool forEachFolderUpward(int fd, Visit &&visit)
{
    UniqueFd current(::fcntl(fd, F_DUPFD_CLOEXEC, 0)); // NOLINT(cppcoreguidelines-pro-type-vararg)
    struct stat st
    {
    };
    if (!current.isValid() || ::fstat(current.get(), &st) != 0) {
        return false;
    }
    // Deeper than any real path could be: a guard, not a limit met in practice.
    for (int level = 0; level <= MaxLevel; ++level) {
        const FileId here = idOf(st);
        if (visit(here)) {
            return true;
        }
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        UniqueFd parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!parent.isValid() || ::fstat(parent.get(), &st) != 0 || idOf(st) == here) {
            return false; // "/" is its own parent
        }
        current = std::move(parent);
    }
    return false;
}

/// The directory path a walk puts before "/" + name for the entries of its
/// root: `rootPath` without trailing "/", and "" for the root "/" (so its
/// entries become "/name", not "//name").
std::string rootDirPath(std::string rootPath);

/// Size of the getdents64 buffer of each walking thread.
inline constexpr std::size_t DirentBufferSize = std::size_t{ 64 } * 1024;

/// Calls `visit(name, type, inode)` for every entry of the directory open at
/// `fd` but "." and "..", in the order the file system lists them. `name` is
/// NUL-terminated and valid during the call only; `type` is the entry's
/// d_type (DT_UNKNOWN where the file system does not report it) and `inode`
/// its d_ino (the st_ino of everything but a mount point). Reads with
/// getdents64 into `buffer` (DirentBufferSize: fewer calls than readdir's
/// 32 KiB); a read error ends the listing with what was read so far.
/// Inline: the walks call it for every entry.
template<typename Visit> void forEachEntry(int fd, std::vector<char> &buffer, Visit &&visit)
{
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            return;
        }
        for (ssize_t pos = 0; pos < got;) {
            const auto *d = reinterpret_cast<const struct dirent64 *>(buffer.data() + pos); // NOLINT
            pos += d->d_reclen;
            const char *name = d->d_name; // NOLINT(cppcoreguidelines-pro-bounds-array-to-pointer-decay)
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            visit(name, d->d_type, static_cast<std::uint64_t>(d->d_ino));
        }
    }
}

/// Fills the values of `item` from a no-follow stat of `name` relative to
/// `dirFd` (statEntry): statOk, the type fields, size, mtime and dev.
/// Leaves `item` as it is when the stat fails. Returns whether the entry is
/// known to be the root of a mount (EntryStat::mountRoot).
bool readItemValues(WalkItem &item, int dirFd, const char *name);

/// How SortedDirectoryStack fills items.
struct ListingOptions
{
    bool skipHidden = false; // hidden names are passed over before any stat
    bool wantStat = true; // false: no stat call where the directory entry type is known
    // With wantStat, a directory is opened as it is listed and its values are
    // read from the descriptor, which openChild() then hands out: for walks
    // that enter nearly every directory, one call fewer per directory.
    bool openDirectories = false;
    const KeptItems *kept = nullptr; // kept entries are left out of the listing; not owned
};

/// Whether the entry with inode `inode` of a folder on `device` is kept.
/// Inline: the walks ask for every entry while `kept` is set.
inline bool isKeptEntry(const KeptItems *kept, std::uint64_t device, std::uint64_t inode)
{
    return kept != nullptr && kept->contains(FileId{ device, inode });
}

/// The open directories of one depth-first walk, each with its names read
/// fully and sorted by bytes, handing out one item at a time from the top
/// directory: the order of Walker and walkInOrder. Owns the descriptors of
/// its frames; a frame's is closed when the frame is popped or the stack
/// destroyed. Not thread-safe: one stack per walking thread.
class SortedDirectoryStack
{
public:
    explicit SortedDirectoryStack(const ListingOptions &options);
    ~SortedDirectoryStack();
    SortedDirectoryStack(const SortedDirectoryStack &) = delete;
    SortedDirectoryStack &operator=(const SortedDirectoryStack &) = delete;

    /// Takes over the directory open at `fd` on device `dev`, whose path is
    /// `path` ("" for the root "/") and whose entries lie at `level`, and
    /// reads its names. When the top frame has no name left it is popped
    /// first, so a chain of single folders holds one descriptor at any depth.
    void push(int fd, std::uint64_t dev, int level, std::string_view path);

    /// Fills `item` with the next name to visit (as Walker describes its
    /// items; statOk is false when the stat fails), popping the frames that
    /// have no name left on the way. Returns the item's level; 0 once the
    /// stack is empty.
    [[nodiscard]] int next(WalkItem &item);

    /// Opens the directory `item` (filled by the last next()) to enter it, as
    /// openChildDirectory does below the top frame; -1 when it is passed over.
    /// The descriptor next() opened, if any, is handed out instead.
    [[nodiscard]] int openChild(const WalkItem &item, std::uint64_t &dev);

    /// One name of a listing, inside the listing's name buffer.
    struct NameRef
    {
        std::uint32_t offset = 0; // of the NUL-terminated name
        std::uint16_t length = 0; // without the NUL (names are at most 255 bytes)
        unsigned char type = DT_UNKNOWN;
    };

    /// The names of a directory, or the last of them, sorted by bytes.
    struct Listing
    {
        std::string names; // NUL-terminated, back to back
        std::vector<NameRef> refs; // sorted by bytes
    };

    /// The last names of a frame's listing, split off to be walked by
    /// another stack (pushListing) while this one walks the first.
    struct ListingTail
    {
        int fd = -1; // the directory, opened anew for the tail; the taker owns it
        std::uint64_t dev = 0;
        int level = 1;
        std::string path;
        Listing listing;
        std::size_t depth = 0; // of the frame split, counted from 1 at the bottom
    };

    /// Splits off the second half of the names the shallowest frame with two
    /// or more left has still to hand out (the biggest share of the walk left:
    /// whole subtrees near the root), when a descriptor can be had; this
    /// stack then ends that frame at the first half.
    [[nodiscard]] std::optional<ListingTail> splitShallowest();

    /// As push(), with the names read already: a tail split off another stack.
    void pushListing(int fd, std::uint64_t dev, int level, std::string_view path, Listing listing);

    /// How many frames are open.
    [[nodiscard]] std::size_t depth() const { return m_stack.size(); }

private:
    /// One open directory whose names are being handed out.
    struct Frame
    {
        int fd = -1;
        std::uint64_t dev = 0;
        int level = 1; // level of this directory's entries
        std::size_t pathLength = 0; // length of this directory's path in m_dirPath
        Listing listing;
        std::size_t next = 0; // next name to hand out
    };

    void pop();

    /// Opens the directory `name` below `dirFd` as openDirectories asks and
    /// fills `item` from it; false (nothing kept open) when it cannot be opened.
    bool readOpenedDirectory(WalkItem &item, int dirFd, const char *name, bool &mountRoot);

    ListingOptions m_options;
    UniqueFd m_opened; // the directory the last next() opened, until openChild() or the next next()
    std::vector<char> m_buffer; // allocated by the first push
    std::vector<Frame> m_stack;
    std::string m_dirPath; // path of the top frame's directory ("" for the root "/")
};

} // namespace core::tree::detail
