// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/Walker.h"

#include "tree/DirectoryIo.h"

#include <algorithm>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace core::tree {

// ---------------------------------------------------------------------------
// Walker

struct Walker::Impl
{
    explicit Impl(const WalkOptions &walkOptions)
        : options(walkOptions)
        , stack(detail::ListingOptions{
              .skipHidden = walkOptions.skipHidden, .wantStat = walkOptions.wantStat, .kept = walkOptions.kept })
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
    const int fd = detail::openRoot(rootPath, dev, options.kept);
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
        (void)detail::readItemValues(item, AT_FDCWD, item.path.c_str());
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

} // namespace core::tree
