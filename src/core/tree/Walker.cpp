#include "tree/Walker.h"

#include "platform/Services.h"
#include "tree/DirectoryIo.h"
#include "tree/MountInfo.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace core::tree {

// ---------------------------------------------------------------------------
// Walker

struct Walker::Impl
{
    explicit Impl(const WalkOptions &walkOptions)
        : options(walkOptions)
        , stack(detail::ListingOptions{ .skipHidden = walkOptions.skipHidden, .wantStat = walkOptions.wantStat })
    {
    }

    WalkOptions options;
    detail::SortedDirectoryStack stack;
    WalkItem item;
    int itemLevel = 0;
    bool rootOpened = false;
    bool descendPending = false; // the item last returned is a directory to enter on the next call

    void enterPendingDirectory()
    {
        std::uint64_t dev = 0;
        const int fd = stack.openChild(item, dev);
        if (fd >= 0) {
            stack.push(fd, dev, itemLevel + 1, item.path);
        }
    }
};

Walker::Walker(std::string rootPath, WalkOptions options)
    : m_impl(std::make_unique<Impl>(options))
{
    std::uint64_t dev = 0;
    const int fd = detail::openRoot(rootPath, dev);
    if (fd < 0) {
        return;
    }
    m_impl->rootOpened = true;
    m_impl->stack.push(fd, dev, 1, detail::rootDirPath(std::move(rootPath)));
}

Walker::~Walker() = default;

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
    const int level = d.stack.next(d.item);
    if (level == 0) {
        return nullptr;
    }
    d.itemLevel = level;
    d.descendPending = d.item.isDir && !d.options.skipSubdirectoryDescendants
        && !(d.item.isPackage && d.options.skipPackageDescendants) && level < detail::MaxLevel;
    return &d.item;
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
    item.path = detail::stripTrailingSlashes(path);
    const std::size_t slash = item.path.rfind('/');
    item.name = (slash == std::string::npos || item.path == "/") ? item.path : item.path.substr(slash + 1);
    item.isHidden = !item.name.empty() && item.name.front() == '.';
    if (!item.path.empty()) {
        detail::readItemValues(item, AT_FDCWD, item.path.c_str());
    }
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
    std::vector<MountDeviceType> result;
    for (const MountInfoLine &line : splitMountInfo(text)) {
        result.push_back(MountDeviceType{ line.major, line.minor, std::string(line.fsType) });
    }
    return result;
}

bool isPseudoOrNetworkFsType(std::string_view fsType)
{
    // Pseudo: kernel interfaces (never user data; /proc/kcore alone "weighs"
    // the whole address space) and automounters (entering one triggers a mount).
    // Network: every directory costs round trips, and a dead server blocks.
    return isKernelPseudoFsType(fsType) || isNetworkFsType(fsType);
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
    const std::string &root = platform::services().sysRoot;
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

} // namespace core::tree
