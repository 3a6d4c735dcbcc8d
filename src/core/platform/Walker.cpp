#include "platform/Walker.h"

#include "platform/DirectoryIo.h"
#include "platform/Services.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace core::platform {

// ---------------------------------------------------------------------------
// Descriptor-relative calls shared with treeSize

namespace detail {

namespace {

// Set once statx turned out to be unavailable (old kernel, or a seccomp
// filter that answers EPERM, as some container runtimes do).
std::atomic<bool> statxUnavailable{ false };

} // namespace

int statEntry(int dirFd, const char *name, EntryStat &out)
{
    if (!statxUnavailable.load(std::memory_order_relaxed)) {
        struct statx stx
        {
        };
        // AT_STATX_DONT_SYNC: take what the client caches on NFS/CIFS instead of a server round trip.
        if (::statx(dirFd,
                name,
                AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
                STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME,
                &stx)
            == 0) {
            out.mode = stx.stx_mode;
            out.size = static_cast<std::int64_t>(stx.stx_size);
            out.mtimeSec = stx.stx_mtime.tv_sec;
            out.mtimeNsec = static_cast<std::int32_t>(stx.stx_mtime.tv_nsec);
            out.dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
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
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    out.mode = st.st_mode;
    out.size = static_cast<std::int64_t>(st.st_size);
    out.mtimeSec = st.st_mtim.tv_sec;
    out.mtimeNsec = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
    out.dev = st.st_dev;
    return 0;
}

int openSubdirectory(int parentFd, const char *name)
{
    return ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool deviceOf(int fd, std::uint64_t &dev)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    dev = st.st_dev;
    return true;
}

bool isPackageName(std::string_view name)
{
    static constexpr std::array<std::string_view, 4> Suffixes = { ".app", ".bundle", ".framework", ".plugin" };
    return std::any_of(Suffixes.begin(), Suffixes.end(), [name](std::string_view suffix) {
        return name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    });
}

} // namespace detail

namespace {

using detail::EntryStat;

/// One name of a directory listing, inside the listing's name buffer.
struct DirEntryRef
{
    std::uint32_t offset = 0; // of the NUL-terminated name in the buffer
    std::uint16_t length = 0; // without the NUL (names are at most 255 bytes)
    unsigned char type = DT_UNKNOWN;
};

/// Reads all names of the directory open at `fd` (without "." and "..")
/// into `names` (NUL-terminated, back to back) and `entries`, sorted by
/// bytes. A read error ends the listing with what was read so far.
void readSortedDirectory(int fd, std::vector<char> &buffer, std::string &names, std::vector<DirEntryRef> &entries)
{
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        for (ssize_t pos = 0; pos < got;) {
            const auto *d = reinterpret_cast<const struct dirent64 *>(buffer.data() + pos); // NOLINT
            pos += d->d_reclen;
            const char *name = d->d_name; // NOLINT(cppcoreguidelines-pro-bounds-array-to-pointer-decay)
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            const std::size_t length = std::strlen(name);
            entries.push_back(
                DirEntryRef{ static_cast<std::uint32_t>(names.size()), static_cast<std::uint16_t>(length), d->d_type });
            names.append(name, length + 1);
        }
    }
    const char *base = names.data();
    std::sort(entries.begin(), entries.end(), [base](const DirEntryRef &a, const DirEntryRef &b) {
        // string_view compares as unsigned bytes, so "\xff" sorts after ASCII.
        return std::string_view(base + a.offset, a.length) < std::string_view(base + b.offset, b.length);
    });
}

std::string stripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

// ---------------------------------------------------------------------------
// Walker

struct Walker::Impl
{
    /// One open directory whose entries are being returned.
    struct Frame
    {
        int fd = -1;
        std::uint64_t dev = 0;
        int level = 1; // level of this directory's entries
        std::size_t pathLength = 0; // length of this directory's path in dirPath
        std::string names;
        std::vector<DirEntryRef> entries;
        std::size_t index = 0; // next entry to return
    };

    WalkOptions options;
    std::string dirPath; // path of the top frame's directory ("" for the root "/")
    std::vector<Frame> stack;
    std::vector<char> buffer;
    WalkItem item;
    int itemLevel = 0;
    bool rootOpened = false;
    bool descendPending = false; // the item last returned is a directory to enter on the next call

    void popFrame()
    {
        if (stack.back().fd >= 0) {
            ::close(stack.back().fd);
        }
        stack.pop_back();
        if (!stack.empty()) {
            dirPath.resize(stack.back().pathLength);
        }
    }

    bool pushDirectory(int fd, std::uint64_t dev, int level)
    {
        Frame frame;
        frame.fd = fd;
        frame.dev = dev;
        frame.level = level;
        frame.pathLength = dirPath.size();
        readSortedDirectory(fd, buffer, frame.names, frame.entries);
        stack.push_back(std::move(frame));
        return true;
    }

    void enterPendingDirectory()
    {
        Frame &parent = stack.back();
        const int fd = detail::openSubdirectory(parent.fd, item.name.c_str());
        if (fd < 0) {
            return; // unreadable, vanished or replaced by a link: passed over
        }
        std::uint64_t dev = 0;
        if (!detail::deviceOf(fd, dev) || (dev != parent.dev && isSkippedMountDevice(dev))) {
            ::close(fd);
            return;
        }
        const int level = parent.level + 1;
        if (parent.index >= parent.entries.size()) {
            // The parent has nothing left to return: release its descriptor now,
            // so a long chain of single folders holds one descriptor, not one per level.
            popFrame();
        }
        dirPath = item.path;
        pushDirectory(fd, dev, level);
    }

    void fillItem(const Frame &frame, const DirEntryRef &entry, bool hidden)
    {
        const char *name = frame.names.data() + entry.offset;
        item.path.assign(dirPath).push_back('/');
        item.path.append(name, entry.length);
        item.name.assign(name, entry.length);
        item.statOk = false;
        item.isDir = false;
        item.isPackage = false;
        item.isHidden = hidden;
        item.isSymlink = false;
        item.hasSize = false;
        item.size = 0;
        item.mtime = Timestamp::distantPast();
        item.dev = 0;

        if (!options.wantStat && entry.type != DT_UNKNOWN) {
            item.statOk = true;
            item.isDir = entry.type == DT_DIR;
            item.isSymlink = entry.type == DT_LNK;
            item.isPackage = item.isDir && detail::isPackageName(item.name);
            return;
        }
        EntryStat st;
        if (detail::statEntry(frame.fd, name, st) != 0) {
            return;
        }
        item.statOk = true;
        item.isDir = S_ISDIR(st.mode);
        item.isSymlink = S_ISLNK(st.mode);
        item.hasSize = S_ISREG(st.mode) || S_ISLNK(st.mode);
        item.size = item.hasSize ? st.size : 0;
        item.mtime = Timestamp{ st.mtimeSec, st.mtimeNsec };
        item.dev = st.dev;
        item.isPackage = item.isDir && detail::isPackageName(item.name);
    }
};

Walker::Walker(std::string rootPath, WalkOptions options)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->options = options;
    // The start location is followed when it is a link, as a start URL is resolved.
    const int fd = ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    std::uint64_t dev = 0;
    if (!detail::deviceOf(fd, dev)) {
        ::close(fd);
        return;
    }
    m_impl->rootOpened = true;
    m_impl->buffer.resize(detail::DirentBufferSize);
    m_impl->dirPath = stripTrailingSlashes(std::move(rootPath));
    if (m_impl->dirPath == "/") {
        m_impl->dirPath.clear(); // entries become "/" + name
    }
    m_impl->pushDirectory(fd, dev, 1);
}

Walker::~Walker()
{
    while (!m_impl->stack.empty()) {
        m_impl->popFrame();
    }
}

bool Walker::opened() const
{
    return m_impl->rootOpened;
}

const WalkItem *Walker::next()
{
    Impl &d = *m_impl;
    if (d.descendPending) {
        d.descendPending = false;
        d.enterPendingDirectory();
    }
    while (!d.stack.empty()) {
        Impl::Frame &frame = d.stack.back();
        if (frame.index >= frame.entries.size()) {
            d.popFrame();
            continue;
        }
        const DirEntryRef entry = frame.entries[frame.index++];
        const bool hidden = frame.names[entry.offset] == '.';
        if (hidden && d.options.skipHidden) {
            continue; // before any stat: a skipped name costs nothing
        }
        d.fillItem(frame, entry, hidden);
        d.itemLevel = frame.level;
        d.descendPending = d.item.isDir && !d.options.skipSubdirectoryDescendants
            && !(d.item.isPackage && d.options.skipPackageDescendants) && frame.level < detail::MaxLevel;
        return &d.item;
    }
    return nullptr;
}

int Walker::level() const
{
    return m_impl->itemLevel;
}

void Walker::skipDescendants()
{
    m_impl->descendPending = false;
}

// ---------------------------------------------------------------------------
// Single items

WalkItem statItem(const std::string &path)
{
    WalkItem item;
    item.path = stripTrailingSlashes(path);
    const std::size_t slash = item.path.rfind('/');
    item.name = (slash == std::string::npos || item.path == "/") ? item.path : item.path.substr(slash + 1);
    item.isHidden = !item.name.empty() && item.name.front() == '.';
    EntryStat st;
    if (item.path.empty() || detail::statEntry(AT_FDCWD, item.path.c_str(), st) != 0) {
        return item;
    }
    item.statOk = true;
    item.isDir = S_ISDIR(st.mode);
    item.isSymlink = S_ISLNK(st.mode);
    item.hasSize = S_ISREG(st.mode) || S_ISLNK(st.mode);
    item.size = item.hasSize ? st.size : 0;
    item.mtime = Timestamp{ st.mtimeSec, st.mtimeNsec };
    item.dev = st.dev;
    item.isPackage = item.isDir && detail::isPackageName(item.name);
    return item;
}

bool isDirectoryFollowing(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool existsFollowing(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0;
}

std::uint64_t raiseFileLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct rlimit limit
        {
        };
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) {
            return;
        }
        // An unlimited hard limit cannot become the soft one (the kernel caps
        // it at fs.nr_open); a million descriptors is far more than enough.
        constexpr rlim_t Cap = rlim_t{ 1 } << 20U;
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? std::max(limit.rlim_cur, Cap) : limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    });
    struct rlimit now
    {
    };
    if (::getrlimit(RLIMIT_NOFILE, &now) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(now.rlim_cur);
}

// ---------------------------------------------------------------------------
// Mount types

std::vector<MountDeviceType> parseMountDeviceTypes(std::string_view text)
{
    // Format: proc(5), "/proc/[pid]/mountinfo". Fields are separated by single
    // spaces; names inside fields are octal-escaped, so they hold no spaces.
    std::vector<MountDeviceType> result;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        std::vector<std::string_view> fields;
        for (std::size_t pos = 0; pos < line.size();) {
            const std::size_t next = std::min(line.find(' ', pos), line.size());
            if (next > pos) {
                fields.push_back(line.substr(pos, next - pos));
            }
            pos = next + 1;
        }
        // Six mandatory fields, optional ones, "-", then the type.
        const auto separator = std::find(
            fields.begin() + std::min<std::ptrdiff_t>(6, std::ssize(fields)), fields.end(), std::string_view("-"));
        if (fields.size() < 8 || separator == fields.end() || separator + 1 == fields.end()) {
            continue;
        }
        const std::string_view device = fields[2];
        const std::size_t colon = device.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        MountDeviceType entry;
        const char *majorEnd = device.data() + colon;
        const char *minorEnd = device.data() + device.size();
        const auto majorResult = std::from_chars(device.data(), majorEnd, entry.major);
        const auto minorResult = std::from_chars(majorEnd + 1, minorEnd, entry.minor);
        if (majorResult.ec != std::errc{} || majorResult.ptr != majorEnd || minorResult.ec != std::errc{}
            || minorResult.ptr != minorEnd || colon == 0) {
            continue;
        }
        entry.fsType = std::string(*(separator + 1));
        result.push_back(std::move(entry));
    }
    return result;
}

bool isPseudoOrNetworkFsType(std::string_view fsType)
{
    // Pseudo: kernel interfaces (never user data; /proc/kcore alone "weighs"
    // the whole address space) and automounters (entering one triggers a mount).
    // Network: every directory costs round trips, and a dead server blocks.
    static constexpr std::array<std::string_view, 40> Skipped = {
        "proc",
        "sysfs",
        "devtmpfs",
        "devpts",
        "cgroup",
        "cgroup2",
        "pstore",
        "securityfs",
        "debugfs",
        "tracefs",
        "configfs",
        "fusectl",
        "mqueue",
        "hugetlbfs",
        "bpf",
        "autofs",
        "binfmt_misc",
        "efivarfs",
        "nsfs",
        "rpc_pipefs",
        "nfsd",
        "selinuxfs",
        "fuse.gvfsd-fuse",
        "fuse.portal",
        "fuse.lxcfs",
        "cifs",
        "smb3",
        "smbfs",
        "ncpfs",
        "afs",
        "ceph",
        "glusterfs",
        "fuse.glusterfs",
        "9p",
        "fuse.sshfs",
        "fuse.rclone",
        "davfs",
        "fuse.davfs",
        "fuse.s3fs",
        "fuse.cephfs",
    };
    if (fsType.starts_with("nfs")) { // nfs, nfs4
        return true;
    }
    return std::find(Skipped.begin(), Skipped.end(), fsType) != Skipped.end();
}

namespace {

std::string readWholeFile(const std::string &path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    std::array<char, 16384> chunk{};
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

/// The mount table as far as walks need it, read lazily and kept.
struct MountTypeCache
{
    std::mutex mutex;
    bool loaded = false;
    std::string sysRoot; // the root the table was read from; another root reloads it
    std::unordered_map<std::uint64_t, bool> skippedByDevice;
    std::unordered_set<std::uint64_t> reloadedFor; // unknown devices that already cost one reload

    void load(const std::string &root)
    {
        skippedByDevice.clear();
        for (const MountDeviceType &entry : parseMountDeviceTypes(readWholeFile(root + "proc/self/mountinfo"))) {
            // One superblock, one device number: lines that share a device share its type.
            skippedByDevice[makedev(entry.major, entry.minor)] = isPseudoOrNetworkFsType(entry.fsType);
        }
        loaded = true;
        sysRoot = root;
    }
};

} // namespace

bool isSkippedMountDevice(std::uint64_t dev)
{
    static MountTypeCache cache;
    const std::string &root = services().sysRoot;
    std::lock_guard lock(cache.mutex);
    if (!cache.loaded || cache.sysRoot != root) {
        cache.load(root);
        cache.reloadedFor.clear();
    }
    auto found = cache.skippedByDevice.find(dev);
    if (found == cache.skippedByDevice.end() && cache.reloadedFor.insert(dev).second) {
        // Mounted after the table was read? Look once more (btrfs subvolumes,
        // for one, have device numbers the table never lists).
        cache.load(root);
        found = cache.skippedByDevice.find(dev);
    }
    return found != cache.skippedByDevice.end() && found->second;
}

} // namespace core::platform
