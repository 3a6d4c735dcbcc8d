// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/TreeSize.h"

#include "tree/DirectoryIo.h"
#include "tree/Walker.h"
#include "tree/WorkQueue.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace core::tree {

namespace {

/// An opened directory waiting to be walked by whichever thread is free, or
/// (with `files`) part of one's files waiting to be counted.
struct DirTask
{
    int fd = -1; // owned by the task until a worker takes it
    std::uint64_t dev = 0;
    int level = 1; // level of the directory's entries (1 for the root's)
    /// When not empty: only these names of the directory's files are
    /// counted (NUL-terminated, back to back), and nothing is entered.
    std::string files;
};

using WorkQueue = detail::WorkQueue<DirTask>;

class ParallelWalk;

/// An open directory on a worker's stack and the subdirectories it has left.
struct Frame
{
    int fd = -1; // -1 once every subdirectory was taken
    std::uint64_t dev = 0;
    int level = 1;
    std::string subdirs; // NUL-terminated names, back to back
    std::size_t pos = 0; // next name in subdirs
};

/// One walking thread: depth-first over a stack of open directories. Each
/// frame keeps only the names of its subdirectories still to visit, so a
/// frame costs a descriptor and a few bytes per subdirectory, whatever the
/// number of files; a frame is closed as soon as its last subdirectory is
/// entered, so a chain of single folders holds one descriptor at any depth.
class Worker
{
public:
    Worker(ParallelWalk &walk, bool isCaller);
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    /// Walks the task's whole subtree, except what is handed to other workers.
    void walk(DirTask task);
    [[nodiscard]] std::int64_t total() const { return m_total; }

private:
    void scan(DirTask task);
    /// Counts the files `names` (NUL-terminated, back to back) of the
    /// directory open at `fd` on `dev`, handing half of those left to an
    /// idle thread as long as one waits and enough are left.
    void countFiles(int fd, std::uint64_t dev, std::string_view names);
    /// Hands the files `names` of the directory open at `fd` to whichever
    /// thread is free, with a descriptor of their own; false when none can be had.
    bool handOver(int fd, std::uint64_t dev, std::string_view names);
    void shareOne();
    void popFrame();

    ParallelWalk &m_walk;
    const bool m_isCaller;
    std::vector<char> m_buffer;
    std::vector<Frame> m_stack;
    std::vector<std::string> m_spareNames; // capacity recycled between frames
    std::string m_files; // files of the directory being scanned, not yet counted
    std::int64_t m_total = 0;
    std::size_t m_entriesSeen = 0;
    std::size_t m_subdirsLeft = 0; // names not yet taken, over the whole stack
};

/// The state of one treeSize call.
class ParallelWalk
{
public:
    ParallelWalk(std::size_t threads, const KeptItems *kept)
        : m_threads(threads)
        , m_kept(kept)
    {
    }

    /// The kept items of the thread that started the walk, for every walking thread.
    const KeptItems *kept() const { return m_kept; }

    std::int64_t run(DirTask root)
    {
        std::int64_t total = 0;
        {
            Worker caller(*this, true);
            caller.walk(root);
            DirTask task;
            while (m_queue.pop(task)) {
                caller.walk(task);
            }
            total = caller.total();
        }
        m_helpers.clear(); // joins
        return total + m_helperTotal.load();
    }

    WorkQueue &queue() { return m_queue; }

    /// Called once by the caller's worker when the walk proves big enough to share.
    void startHelpers()
    {
        if (m_helpersStarted || m_threads < 2) {
            return;
        }
        m_helpersStarted = true;
        detail::startHelperThreads(m_helpers, m_threads - 1, [this](std::size_t /*index*/) {
            m_queue.join();
            Worker helper(*this, false);
            DirTask task;
            while (m_queue.pop(task)) {
                helper.walk(std::move(task));
            }
            m_helperTotal.fetch_add(helper.total(), std::memory_order_relaxed);
        });
    }

private:
    const std::size_t m_threads;
    const KeptItems *m_kept; // not owned
    WorkQueue m_queue;
    bool m_helpersStarted = false; // touched by the caller's thread only
    std::atomic<std::int64_t> m_helperTotal{ 0 };
    std::vector<std::jthread> m_helpers;
};

// The most bytes of file names a thread gathers before it counts them.
constexpr std::size_t FilesChunkBytes = std::size_t{ 64 } * 1024;

// Helpers start once the caller has seen this many entries and still has
// subdirectories to visit: a small folder then costs no thread start.
constexpr std::size_t EntriesBeforeHelpers = 512;

Worker::Worker(ParallelWalk &walk, bool isCaller)
    : m_walk(walk)
    , m_isCaller(isCaller)
    , m_buffer(detail::DirentBufferSize)
{
}

Worker::~Worker()
{
    while (!m_stack.empty()) {
        popFrame();
    }
}

void Worker::popFrame()
{
    Frame &top = m_stack.back();
    if (top.fd >= 0) {
        ::close(top.fd);
    }
    // Keep small name lists for reuse; let a huge one (a folder of thousands
    // of subfolders) go, so a single odd folder does not pin its memory.
    constexpr std::size_t MaxRecycledCapacity = std::size_t{ 64 } * 1024;
    if (top.subdirs.capacity() <= MaxRecycledCapacity) {
        top.subdirs.clear();
        m_spareNames.push_back(std::move(top.subdirs));
    }
    m_stack.pop_back();
}

/// Opens the subdirectory `name` of `parent` as a task one level deeper;
/// false when it cannot be opened or lies on a mount a walk does not enter.
bool openChild(const Frame &parent, const char *name, DirTask &child)
{
    std::uint64_t dev = 0;
    const int fd = detail::openChildDirectory(parent.fd, parent.dev, name, dev);
    if (fd < 0) {
        return false; // unreadable, vanished, replaced by a link or on a skipped mount: counts 0
    }
    child = DirTask{ fd, dev, parent.level + 1, {} };
    return true;
}

void Worker::scan(DirTask task)
{
    Frame frame;
    frame.fd = task.fd;
    frame.dev = task.dev;
    frame.level = task.level;
    if (!m_spareNames.empty()) {
        frame.subdirs = std::move(m_spareNames.back());
        m_spareNames.pop_back();
    }
    const bool enter = task.level < detail::MaxLevel;
    const KeptItems *kept = m_walk.kept();
    const auto addSubdir = [&](const char *name) {
        if (enter) {
            frame.subdirs.append(name, std::strlen(name) + 1);
            ++m_subdirsLeft;
        }
    };
    m_files.clear();
    detail::forEachEntry(task.fd, m_buffer, [&](const char *name, unsigned char type, std::uint64_t inode) {
        ++m_entriesSeen;
        if (detail::isKeptEntry(kept, task.dev, inode)) {
            return; // a kept item and everything below it count nothing
        }
        if (type == DT_DIR) { // directories count 0: no stat for them
            addSubdir(name);
            return;
        }
        if (type != DT_UNKNOWN) {
            // Counted a few thousand at a time, so that a folder of many
            // thousand files can be shared out between the threads while its
            // names take a bounded room.
            m_files.append(name, std::strlen(name) + 1);
            if (m_files.size() >= FilesChunkBytes) {
                // A thread that waits gets the whole chunk and counts it while
                // this one reads on; otherwise this one counts it.
                if (!(m_walk.queue().wantsWork() && handOver(task.fd, task.dev, m_files))) {
                    countFiles(task.fd, task.dev, m_files);
                }
                m_files.clear();
            }
            return;
        }
        detail::EntryStat st; // a file system that does not tell the type: a stat does
        if (detail::statEntry(task.fd, name, st) != 0) {
            return; // vanished or unreadable: counts 0
        }
        if (st.dev != task.dev || st.mountRoot) {
            // A file bound here (from another file system or from elsewhere
            // on this one), or a mount point: not this tree's.
            if (S_ISDIR(st.mode)) {
                detail::reportOtherFileSystem(detail::pathOfDescriptor(task.fd).value_or("") + "/" + name);
            }
            return;
        }
        if (S_ISDIR(st.mode)) {
            addSubdir(name);
        } else {
            m_total += st.size;
        }
    });
    countFiles(task.fd, task.dev, m_files);
    if (frame.subdirs.empty()) {
        ::close(frame.fd);
        m_spareNames.push_back(std::move(frame.subdirs)); // empty: nothing to cap
        return;
    }
    m_stack.push_back(std::move(frame));
}

bool Worker::handOver(int fd, std::uint64_t dev, std::string_view names)
{
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (copy < 0) {
        return false;
    }
    m_walk.queue().push(DirTask{ copy, dev, 0, std::string(names) });
    return true;
}

void Worker::countFiles(int fd, std::uint64_t dev, std::string_view names)
{
    // How often a thread looks whether another idles, and the fewest bytes of
    // names it hands over (some hundreds of files: less is not worth a task).
    constexpr std::size_t LookEvery = 128;
    constexpr std::size_t FewestSharedBytes = std::size_t{ 8 } * 1024;
    std::size_t pos = 0;
    std::size_t sinceLook = 0;
    while (pos < names.size()) {
        if (++sinceLook == LookEvery) {
            sinceLook = 0;
            if (m_isCaller) {
                m_walk.startHelpers(); // a tree that is mostly one big folder
            }
            const std::size_t left = names.size() - pos;
            if (left >= FewestSharedBytes && m_walk.queue().wantsWork()) {
                const std::size_t half = names.find('\0', pos + left / 2) + 1; // the end of a name
                if (half < names.size() && handOver(fd, dev, names.substr(half))) {
                    names = names.substr(0, half);
                }
            }
        }
        const char *name = names.data() + pos;
        pos += std::strlen(name) + 1;
        detail::EntryStat st;
        if (detail::statEntry(fd, name, st) != 0) {
            continue; // vanished or unreadable: counts 0
        }
        // A file bound here (from another file system or from elsewhere on
        // this one) is not this tree's; nor is a file that became a folder
        // since the listing.
        if (st.dev == dev && !st.mountRoot && !S_ISDIR(st.mode)) {
            m_total += st.size;
        }
    }
}

void Worker::shareOne()
{
    // The bottom-most frame with subdirectories left holds the biggest
    // untouched subtrees: hand one of those over, not a leaf.
    for (std::size_t i = 0; i < m_stack.size(); ++i) {
        Frame &frame = m_stack[i];
        if (frame.pos >= frame.subdirs.size()) {
            continue;
        }
        const char *name = frame.subdirs.data() + frame.pos;
        frame.pos += std::strlen(name) + 1;
        --m_subdirsLeft;
        DirTask child;
        const bool opened = openChild(frame, name, child);
        if (frame.pos >= frame.subdirs.size() && i + 1 < m_stack.size()) {
            ::close(frame.fd); // exhausted; popped when it comes to the top
            frame.fd = -1;
        }
        if (opened) {
            m_walk.queue().push(child);
        }
        return;
    }
}

void Worker::walk(DirTask task)
{
    if (!task.files.empty()) {
        countFiles(task.fd, task.dev, task.files);
        ::close(task.fd);
        return;
    }
    scan(std::move(task));
    while (!m_stack.empty()) {
        if (m_stack.back().pos >= m_stack.back().subdirs.size()) {
            popFrame();
            continue;
        }
        if (m_isCaller && m_entriesSeen >= EntriesBeforeHelpers) {
            m_walk.startHelpers();
        }
        // Share only a surplus: a worker with one subdirectory left keeps it
        // (handing over the links of a chain would only bounce it between threads).
        if (m_subdirsLeft >= 2 && m_walk.queue().wantsWork()) {
            shareOne();
            continue; // the top frame may just have given away its last subdirectory
        }
        Frame &top = m_stack.back();
        const char *name = top.subdirs.data() + top.pos;
        top.pos += std::strlen(name) + 1;
        --m_subdirsLeft;
        DirTask child;
        const bool opened = openChild(top, name, child);
        if (top.pos >= top.subdirs.size()) {
            popFrame(); // its last subdirectory: the child takes its place
        }
        if (opened) {
            scan(std::move(child));
        }
    }
}

std::size_t defaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(cores, 2, 4);
}

} // namespace

std::int64_t treeSize(const std::string &rootPath, const TreeSizeOptions &options)
{
    std::uint64_t dev = 0;
    const KeptItems *kept = options.kept;
    const int fd = detail::openRoot(rootPath, dev, kept);
    if (fd < 0) {
        return 0;
    }
    const std::size_t threads = options.threads > 0 ? static_cast<std::size_t>(options.threads) : defaultThreads();
    ParallelWalk walk(threads, kept);
    return walk.run(DirTask{ fd, dev, 1, {} });
}

} // namespace core::tree
