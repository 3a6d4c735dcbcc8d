// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/DirectoryIo.h"

#include "platform/Services.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace core::tree::detail {

namespace {

// Set once statx turned out to be unavailable (old kernel, or a seccomp
// filter that answers EPERM, as some container runtimes do).
std::atomic<bool> statxUnavailable{ false };

/// A directory named *.app, *.bundle, *.framework or *.plugin (with at least
/// one character before the suffix).
bool isPackageName(std::string_view name)
{
    static constexpr std::array<std::string_view, 4> Suffixes = { ".app", ".bundle", ".framework", ".plugin" };
    return std::any_of(Suffixes.begin(), Suffixes.end(), [name](std::string_view suffix) {
        return name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    });
}

} // namespace

namespace {

constexpr unsigned int StatxMask =
    STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_INO | STATX_NLINK | STATX_UID;

void fromStatx(const struct statx &stx, EntryStat &out)
{
    out.mode = stx.stx_mode;
    out.size = static_cast<std::int64_t>(stx.stx_size);
    out.mtimeSec = stx.stx_mtime.tv_sec;
    out.mtimeNsec = static_cast<std::int32_t>(stx.stx_mtime.tv_nsec);
    out.dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    out.inode = stx.stx_ino;
    out.links = stx.stx_nlink;
    out.uid = stx.stx_uid;
    out.mountRoot = (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    constexpr std::uint64_t Flags = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    out.flagsKnown = (stx.stx_attributes_mask & Flags) == Flags;
    out.protectingFlags = (stx.stx_attributes & Flags) != 0;
}

void fromStat(const struct stat &st, EntryStat &out)
{
    out.mode = st.st_mode;
    out.size = static_cast<std::int64_t>(st.st_size);
    out.mtimeSec = st.st_mtim.tv_sec;
    out.mtimeNsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
    out.dev = st.st_dev;
    out.inode = st.st_ino;
    out.links = st.st_nlink;
    out.uid = st.st_uid;
    out.mountRoot = false;
    out.flagsKnown = false;
    out.protectingFlags = false;
}

/// statx where the kernel has it, else fstatat. `mountRootKnown` tells
/// whether out.mountRoot could be read.
int statWith(int dirFd, const char *name, int flags, EntryStat &out, bool &mountRootKnown)
{
    mountRootKnown = false;
    if (!statxUnavailable.load(std::memory_order_relaxed)) {
        struct statx stx
        {
        };
        // AT_STATX_DONT_SYNC: take what the client caches on NFS/CIFS instead of a server round trip.
        if (::statx(dirFd, name, flags | AT_STATX_DONT_SYNC, StatxMask, &stx) == 0) {
            fromStatx(stx, out);
            mountRootKnown = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
            return 0;
        }
        const int error = errno;
        if (error != ENOSYS && error != EPERM) {
            return error;
        }
        statxUnavailable.store(true, std::memory_order_relaxed);
    }
    struct stat st
    {
    };
    if (::fstatat(dirFd, name, &st, flags) != 0) {
        return errno;
    }
    fromStat(st, out);
    return 0;
}

/// The mount the item open at `fd` lies on, as /proc/self/fdinfo names it
/// ("mnt_id:", Linux 3.15 on); nullopt when it cannot be read.
std::optional<std::uint64_t> mountIdFromFdinfo(int fd)
{
    const std::string file = "/proc/self/fdinfo/" + std::to_string(fd);
    const UniqueFd info(::open(file.c_str(), O_RDONLY | O_CLOEXEC)); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (!info.isValid()) {
        return std::nullopt;
    }
    std::array<char, 512> text{};
    const ssize_t got = ::read(info.get(), text.data(), text.size() - 1);
    if (got <= 0) {
        return std::nullopt;
    }
    const std::string_view all(text.data(), static_cast<std::size_t>(got));
    const std::size_t key = all.find("mnt_id:");
    if (key == std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t pos = key + 7;
    while (pos < all.size() && (all[pos] == ' ' || all[pos] == '\t')) {
        ++pos;
    }
    std::uint64_t id = 0;
    const auto [end, ec] = std::from_chars(all.data() + pos, all.data() + all.size(), id);
    if (ec != std::errc{} || end == all.data() + pos) {
        return std::nullopt;
    }
    return id;
}

/// Where statx cannot tell: a folder is the root of a mount when the folder
/// above it (its "..", which leaves a mount at its root) lies on another one.
bool isMountRootByFdinfo(int fd)
{
    const UniqueFd up(
        ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (!up.isValid()) {
        return false;
    }
    const std::optional<std::uint64_t> here = mountIdFromFdinfo(fd);
    const std::optional<std::uint64_t> above = mountIdFromFdinfo(up.get());
    return here && above && *here != *above;
}

} // namespace

int statEntry(int dirFd, const char *name, EntryStat &out)
{
    bool mountRootKnown = false;
    return statWith(dirFd, name, AT_SYMLINK_NOFOLLOW, out, mountRootKnown);
}

int statOpened(int fd, EntryStat &out)
{
    bool mountRootKnown = false;
    const int error = statWith(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, out, mountRootKnown);
    if (error == 0 && !mountRootKnown && S_ISDIR(out.mode)) {
        out.mountRoot = isMountRootByFdinfo(fd);
    }
    return error;
}

std::optional<std::uint64_t> mountIdOf(int fd)
{
    if (!statxUnavailable.load(std::memory_order_relaxed)) {
        struct statx stx
        {
        };
        if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_MNT_ID, &stx) == 0
            && (stx.stx_mask & STATX_MNT_ID) != 0) {
            return stx.stx_mnt_id;
        }
    }
    return mountIdFromFdinfo(fd);
}

bool isMountRoot(int fd)
{
    EntryStat st;
    return statOpened(fd, st) == 0 && st.mountRoot;
}

namespace {

/// Whether a failed open of a folder means it could not be read (rather than
/// that it vanished, is not a folder, or became a link meanwhile).
bool isReadFailure(int error)
{
    return error != ENOENT && error != ENOTDIR && error != ELOOP;
}

} // namespace

std::optional<std::string> pathOfDescriptor(int fd)
{
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string target(4096, '\0');
    for (;;) {
        const ssize_t got = ::readlink(link.c_str(), target.data(), target.size());
        if (got < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(got) < target.size()) {
            target.resize(static_cast<std::size_t>(got));
            break;
        }
        target.resize(target.size() * 2);
    }
    // A folder removed meanwhile is named "... (deleted)": no location to give.
    if (target.empty() || target.front() != '/' || target.ends_with(" (deleted)")) {
        return std::nullopt;
    }
    return target;
}

void reportUnreadable(std::string_view path, int error)
{
    if (platform::WalkReport *report = platform::services().walkReport) {
        report->unreadable(path, error);
    }
}

void reportOtherFileSystem(std::string_view path)
{
    if (platform::WalkReport *report = platform::services().walkReport) {
        report->otherFileSystem(path);
    }
}

namespace {

std::string childPath(int parentFd, const char *name, const std::string *path)
{
    if (path != nullptr) {
        return *path;
    }
    std::string joined = pathOfDescriptor(parentFd).value_or(std::string());
    if (joined != "/") {
        joined += '/';
    }
    return joined + name;
}

} // namespace

int openRoot(const std::string &path, std::uint64_t &dev, const KeptItems *kept)
{
    if (kept != nullptr && kept->covers(path)) {
        return -1; // kept: as if nothing were there
    }
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (fd < 0) {
        if (isReadFailure(errno)) {
            reportUnreadable(path, errno);
        }
        return -1;
    }
    EntryStat st;
    if (statOpened(fd, st) != 0) {
        ::close(fd);
        return -1;
    }
    dev = st.dev;
    return fd;
}

int openChildDirectory(
    int parentFd, std::uint64_t parentDev, const char *name, std::uint64_t &dev, const std::string *path)
{
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (isReadFailure(errno)) {
            reportUnreadable(childPath(parentFd, name, path), errno);
        }
        return -1;
    }
    EntryStat st;
    if (statOpened(fd, st) != 0) {
        ::close(fd);
        return -1;
    }
    dev = st.dev;
    // Another file system, or a mount of this one somewhere else (a bind
    // mount shares the device number): not entered, as du -x.
    if (dev != parentDev || st.mountRoot) {
        ::close(fd);
        reportOtherFileSystem(childPath(parentFd, name, path));
        return -1;
    }
    return fd;
}

std::string stripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string parentPath(const std::string &path)
{
    const std::string clean = stripTrailingSlashes(path);
    const std::size_t slash = clean.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : clean.substr(0, slash);
}

int openFolderOf(const std::string &path)
{
    const int folder =
        ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (folder >= 0) {
        return folder;
    }
    return ::open(
        parentPath(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); // NOLINT(cppcoreguidelines-pro-type-vararg)
}

std::string rootDirPath(std::string rootPath)
{
    std::string path = stripTrailingSlashes(std::move(rootPath));
    if (path == "/") {
        path.clear();
    }
    return path;
}

namespace {

void fillItemValues(WalkItem &item, const EntryStat &st)
{
    item.statOk = true;
    item.isDir = S_ISDIR(st.mode);
    item.isSymlink = S_ISLNK(st.mode);
    item.hasSize = S_ISREG(st.mode) || S_ISLNK(st.mode);
    item.size = item.hasSize ? st.size : 0;
    item.mtime = Timestamp{ st.mtimeSec, st.mtimeNsec };
    item.dev = st.dev;
    item.isPackage = item.isDir && isPackageName(item.name);
}

} // namespace

bool readItemValues(WalkItem &item, int dirFd, const char *name)
{
    EntryStat st;
    if (statEntry(dirFd, name, st) == 0) {
        fillItemValues(item, st);
        return st.mountRoot;
    }
    return false;
}

// ---------------------------------------------------------------------------
// SortedDirectoryStack

SortedDirectoryStack::SortedDirectoryStack(const ListingOptions &options)
    : m_options(options)
{
}

SortedDirectoryStack::~SortedDirectoryStack()
{
    while (!m_stack.empty()) {
        pop();
    }
}

void SortedDirectoryStack::pop()
{
    ::close(m_stack.back().fd);
    m_stack.pop_back();
    if (!m_stack.empty()) {
        m_dirPath.resize(m_stack.back().pathLength);
    }
}

void SortedDirectoryStack::push(int fd, std::uint64_t dev, int level, std::string_view path)
{
    if (m_buffer.empty()) {
        m_buffer.resize(DirentBufferSize);
    }
    Listing listing;
    const KeptItems *kept = m_options.kept;
    forEachEntry(fd, m_buffer, [&listing, kept, dev](const char *name, unsigned char type, std::uint64_t inode) {
        if (isKeptEntry(kept, dev, inode)) {
            return; // neither listed nor entered
        }
        const std::size_t length = std::strlen(name);
        listing.refs.push_back(
            NameRef{ static_cast<std::uint32_t>(listing.names.size()), static_cast<std::uint16_t>(length), type });
        listing.names.append(name, length + 1);
    });
    // Names are compared by their first eight bytes as one number, most of
    // them decided there without a call to memcmp: the padding lets the last
    // name be read that far too.
    listing.names.append(sizeof(std::uint64_t), '\0');
    const char *base = listing.names.data();
    const auto firstEight = [base](const NameRef &ref) {
        std::uint64_t bytes = 0;
        std::memcpy(&bytes, base + ref.offset, sizeof bytes);
        // In the bytes' order. A name's NUL sorts it before longer names that
        // start with it, and bytes past that NUL never decide: names differ first.
        return std::endian::native == std::endian::little ? __builtin_bswap64(bytes) : bytes;
    };
    std::sort(listing.refs.begin(), listing.refs.end(), [base, &firstEight](const NameRef &a, const NameRef &b) {
        const std::uint64_t x = firstEight(a);
        const std::uint64_t y = firstEight(b);
        if (x != y) {
            return x < y;
        }
        // string_view compares as unsigned bytes, so "\xff" sorts after ASCII.
        return std::string_view(base + a.offset, a.length) < std::string_view(base + b.offset, b.length);
    });
    pushListing(fd, dev, level, path, std::move(listing));
}

void SortedDirectoryStack::pushListing(int fd, std::uint64_t dev, int level, std::string_view path, Listing listing)
{
    if (!m_stack.empty() && m_stack.back().next >= m_stack.back().listing.refs.size()) {
        pop();
    }
    m_dirPath.assign(path);
    m_stack.push_back(Frame{ fd, dev, level, m_dirPath.size(), std::move(listing), 0 });
}

std::optional<SortedDirectoryStack::ListingTail> SortedDirectoryStack::splitShallowest()
{
    const auto found = std::find_if(m_stack.begin(), m_stack.end(), [](const Frame &frame) {
        return frame.listing.refs.size() - frame.next >= 2;
    });
    if (found == m_stack.end()) {
        return std::nullopt;
    }
    Frame &frame = *found;
    const int fd = ::fcntl(frame.fd, F_DUPFD_CLOEXEC, 0); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (fd < 0) {
        return std::nullopt;
    }
    // Each frame's path is the start of the top frame's.
    ListingTail tail{ fd,
        frame.dev,
        frame.level,
        m_dirPath.substr(0, frame.pathLength),
        {},
        static_cast<std::size_t>(found - m_stack.begin()) + 1 };
    const std::size_t first = frame.next + (frame.listing.refs.size() - frame.next) / 2;
    tail.listing.refs.reserve(frame.listing.refs.size() - first);
    for (std::size_t k = first; k < frame.listing.refs.size(); ++k) {
        const NameRef ref = frame.listing.refs[k];
        tail.listing.refs.push_back(
            NameRef{ static_cast<std::uint32_t>(tail.listing.names.size()), ref.length, ref.type });
        tail.listing.names.append(frame.listing.names, ref.offset, ref.length + std::size_t{ 1 });
    }
    frame.listing.refs.resize(first);
    return tail;
}

int SortedDirectoryStack::next(WalkItem &item)
{
    while (!m_stack.empty()) {
        Frame &frame = m_stack.back();
        if (frame.next >= frame.listing.refs.size()) {
            pop();
            continue;
        }
        const NameRef ref = frame.listing.refs[frame.next++];
        const char *name = frame.listing.names.data() + ref.offset;
        const bool hidden = name[0] == '.';
        if (hidden && m_options.skipHidden) {
            continue; // before any stat: a skipped name costs nothing
        }
        item.path.assign(m_dirPath).push_back('/');
        item.path.append(name, ref.length);
        item.name.assign(name, ref.length);
        item.statOk = false;
        item.isDir = false;
        item.isPackage = false;
        item.isHidden = hidden;
        item.isSymlink = false;
        item.hasSize = false;
        item.size = 0;
        item.mtime = Timestamp::distantPast();
        item.dev = 0;
        m_opened.reset();
        if (!m_options.wantStat && ref.type != DT_UNKNOWN) {
            item.statOk = true;
            item.isDir = ref.type == DT_DIR;
            item.isSymlink = ref.type == DT_LNK;
            item.isPackage = item.isDir && isPackageName(item.name);
            return frame.level;
        }
        bool mountRoot = false;
        if (!(m_options.openDirectories && ref.type == DT_DIR
                && readOpenedDirectory(item, frame.fd, name, mountRoot))) {
            mountRoot = readItemValues(item, frame.fd, name);
        }
        if (item.statOk && (item.dev != frame.dev || mountRoot)) {
            // A mount point (a folder or a file bound there): another
            // file system, neither listed nor entered.
            m_opened.reset();
            reportOtherFileSystem(item.path);
            continue;
        }
        return frame.level;
    }
    return 0;
}

bool SortedDirectoryStack::readOpenedDirectory(WalkItem &item, int dirFd, const char *name, bool &mountRoot)
{
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    EntryStat st;
    if (!fd.isValid() || statOpened(fd.get(), st) != 0) {
        return false; // unreadable, vanished or replaced: a stat of the name tells what it is now
    }
    fillItemValues(item, st);
    mountRoot = st.mountRoot;
    m_opened = std::move(fd);
    return true;
}

int SortedDirectoryStack::openChild(const WalkItem &item, std::uint64_t &dev)
{
    const Frame &parent = m_stack.back();
    if (m_opened.isValid()) {
        // Opened by next() already, on the parent's file system.
        dev = parent.dev;
        return m_opened.release();
    }
    return openChildDirectory(parent.fd, parent.dev, item.name.c_str(), dev, &item.path);
}

} // namespace core::tree::detail
