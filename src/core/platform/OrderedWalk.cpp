#include "platform/OrderedWalk.h"

#include "platform/DirectoryIo.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace core::platform {

namespace {

/// A token whose worker is this stands for a whole segment handed to
/// another thread: its index is the segment's number.
constexpr std::uint32_t SegmentMark = std::numeric_limits<std::uint32_t>::max();

// The caller walks alone until it has seen this many entries: a small folder
// (one mail account, a test tree) then costs no thread start.
constexpr std::size_t EntriesBeforeHelpers = 512;

/// The kept items of one stretch of the walk, in order, with marks where a
/// subdirectory's stretch (walked by another thread) belongs.
using Segment = std::vector<WalkToken>;

/// A directory opened by one thread and walked by whichever is free.
struct Task
{
    int fd = -1; // owned by the task until a worker takes it
    std::uint64_t dev = 0;
    int level = 1; // level of the directory's entries
    std::string path;
    std::uint32_t segment = 0;
};

/// One name of a directory listing, inside the listing's name buffer.
struct NameRef
{
    std::uint32_t offset = 0;
    std::uint16_t length = 0;
    unsigned char type = DT_UNKNOWN;
};

/// Reads every name of the directory open at `fd` (without "." and "..")
/// and sorts them by bytes, as Walker does.
void readSorted(int fd, std::vector<char> &buffer, std::string &names, std::vector<NameRef> &refs)
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
            refs.push_back(
                NameRef{ static_cast<std::uint32_t>(names.size()), static_cast<std::uint16_t>(length), d->d_type });
            names.append(name, length + 1);
        }
    }
    const char *base = names.data();
    std::sort(refs.begin(), refs.end(), [base](const NameRef &a, const NameRef &b) {
        return std::string_view(base + a.offset, a.length) < std::string_view(base + b.offset, b.length);
    });
}

/// What the walking threads share: the task queue, the segments and the
/// helper threads. The queue is only touched when a thread is idle, so in
/// the steady state a directory costs two relaxed atomic loads and no lock.
class SharedWalk
{
public:
    SharedWalk(const OrderedWalkOptions &options, const OrderedVisit &visit)
        : m_options(options)
        , m_visit(visit)
    {
        m_segments.emplace_back(); // the root's
    }

    const OrderedWalkOptions &options() const { return m_options; }
    const OrderedVisit &visit() const { return m_visit; }

    /// Whether handing a directory over would help an idle thread. Racy by design: a hint.
    [[nodiscard]] bool wantsWork() const
    {
        return m_queued.load(std::memory_order_relaxed) < m_waiting.load(std::memory_order_relaxed);
    }

    /// A new, empty segment and its number. The deque keeps every other
    /// segment where it is, so threads appending to theirs are not disturbed.
    std::pair<std::uint32_t, Segment *> newSegment()
    {
        std::lock_guard lock(m_mutex);
        m_segments.emplace_back();
        return { static_cast<std::uint32_t>(m_segments.size() - 1), &m_segments.back() };
    }

    Segment *segment(std::uint32_t number)
    {
        std::lock_guard lock(m_mutex);
        return &m_segments[number];
    }

    void push(Task task)
    {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
            m_queued.store(m_tasks.size(), std::memory_order_relaxed);
        }
        m_wake.notify_one();
    }

    /// Blocks until a task is available (true) or the walk is over (false):
    /// it is over when every thread waits and no task is left, since only a
    /// busy thread can add one.
    bool pop(Task &task)
    {
        std::unique_lock lock(m_mutex);
        m_waiting.fetch_add(1, std::memory_order_relaxed);
        while (m_tasks.empty()) {
            if (m_done || m_waiting.load(std::memory_order_relaxed) == m_workers) {
                m_done = true;
                m_waiting.fetch_sub(1, std::memory_order_relaxed);
                m_wake.notify_all();
                return false;
            }
            m_wake.wait(lock);
        }
        m_waiting.fetch_sub(1, std::memory_order_relaxed);
        task = std::move(m_tasks.back());
        m_tasks.pop_back();
        m_queued.store(m_tasks.size(), std::memory_order_relaxed);
        return true;
    }

    /// Starts the helper threads, once; called by the caller's thread only.
    void startHelpers();

    /// Joins the helpers and lays the segments out in walk order.
    std::vector<WalkToken> finish()
    {
        m_helpers.clear(); // joins
        std::vector<WalkToken> ordered;
        std::vector<std::pair<const Segment *, std::size_t>> stack{ { &m_segments.front(), 0 } };
        while (!stack.empty()) {
            auto &[segment, next] = stack.back();
            if (next >= segment->size()) {
                stack.pop_back();
                continue;
            }
            const WalkToken token = (*segment)[next++];
            if (token.worker == SegmentMark) {
                stack.emplace_back(&m_segments[token.index], 0);
            } else {
                ordered.push_back(token);
            }
        }
        return ordered;
    }

private:
    const OrderedWalkOptions &m_options;
    const OrderedVisit &m_visit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Task> m_tasks;
    std::deque<Segment> m_segments;
    std::size_t m_workers = 1; // the caller
    bool m_done = false;
    bool m_helpersStarted = false; // caller's thread only
    std::atomic<std::size_t> m_waiting{ 0 };
    std::atomic<std::size_t> m_queued{ 0 };
    std::vector<std::jthread> m_helpers;
};

/// One walking thread: depth-first over a stack of open directories, like
/// Walker, appending the tokens of kept items to the segment of the task it
/// is walking. A directory it is about to enter while another thread idles
/// is handed over instead, with a mark in its own segment where the
/// directory's items belong.
class Worker
{
public:
    Worker(SharedWalk &shared, std::size_t index)
        : m_shared(shared)
        , m_index(index)
        , m_buffer(detail::DirentBufferSize)
    {
    }
    ~Worker()
    {
        while (!m_stack.empty()) {
            popFrame();
        }
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void walk(Task task)
    {
        m_segment = m_shared.segment(task.segment);
        m_dirPath = std::move(task.path);
        pushDirectory(task.fd, task.dev, task.level);
        while (!m_stack.empty()) {
            Frame &frame = m_stack.back();
            if (frame.next >= frame.refs.size()) {
                popFrame();
                continue;
            }
            const NameRef ref = frame.refs[frame.next++];
            const bool hidden = frame.names[ref.offset] == '.';
            if (hidden && m_shared.options().skipHidden) {
                continue; // before any stat: a skipped name costs nothing
            }
            if (m_index == 0 && ++m_entriesSeen == EntriesBeforeHelpers) {
                m_shared.startHelpers();
            }
            fillItem(frame, ref, hidden);
            const VisitAnswer answer = m_shared.visit()(m_item, frame.level, m_index);
            if (answer.keep) {
                m_segment->push_back(WalkToken{ static_cast<std::uint32_t>(m_index), m_kept++ });
            }
            if (answer.descend && m_item.isDir && !(m_item.isPackage && m_shared.options().skipPackageDescendants)
                && frame.level < detail::MaxLevel) {
                enter();
            }
        }
    }

private:
    struct Frame
    {
        int fd = -1;
        std::uint64_t dev = 0;
        int level = 1; // level of this directory's entries
        std::size_t pathLength = 0; // length of this directory's path in m_dirPath
        std::string names;
        std::vector<NameRef> refs;
        std::size_t next = 0;
    };

    void pushDirectory(int fd, std::uint64_t dev, int level)
    {
        Frame frame;
        frame.fd = fd;
        frame.dev = dev;
        frame.level = level;
        frame.pathLength = m_dirPath.size();
        readSorted(fd, m_buffer, frame.names, frame.refs);
        m_stack.push_back(std::move(frame));
    }

    void popFrame()
    {
        ::close(m_stack.back().fd);
        m_stack.pop_back();
        if (!m_stack.empty()) {
            m_dirPath.resize(m_stack.back().pathLength);
        }
    }

    /// Enters the directory just visited, or hands it to an idle thread.
    void enter()
    {
        Frame &parent = m_stack.back();
        const int fd = detail::openSubdirectory(parent.fd, m_item.name.c_str());
        if (fd < 0) {
            return; // unreadable, vanished or replaced by a link: passed over
        }
        std::uint64_t dev = 0;
        if (!detail::deviceOf(fd, dev) || (dev != parent.dev && isSkippedMountDevice(dev))) {
            ::close(fd);
            return;
        }
        const int level = parent.level + 1;
        if (m_shared.wantsWork()) {
            const auto [number, segment] = m_shared.newSegment();
            (void)segment;
            m_segment->push_back(WalkToken{ SegmentMark, number });
            m_shared.push(Task{ fd, dev, level, m_item.path, number });
            return;
        }
        if (parent.next >= parent.refs.size()) {
            // The parent has nothing left: release its descriptor now, so a
            // chain of single folders holds one descriptor, not one per level.
            popFrame();
        }
        m_dirPath = m_item.path;
        pushDirectory(fd, dev, level);
    }

    void fillItem(const Frame &frame, const NameRef &ref, bool hidden)
    {
        const char *name = frame.names.data() + ref.offset;
        m_item.path.assign(m_dirPath).push_back('/');
        m_item.path.append(name, ref.length);
        m_item.name.assign(name, ref.length);
        m_item.statOk = false;
        m_item.isDir = false;
        m_item.isPackage = false;
        m_item.isHidden = hidden;
        m_item.isSymlink = false;
        m_item.hasSize = false;
        m_item.size = 0;
        m_item.mtime = Timestamp::distantPast();
        m_item.dev = 0;
        detail::EntryStat st;
        if (detail::statEntry(frame.fd, name, st) != 0) {
            return;
        }
        m_item.statOk = true;
        m_item.isDir = S_ISDIR(st.mode);
        m_item.isSymlink = S_ISLNK(st.mode);
        m_item.hasSize = S_ISREG(st.mode) || S_ISLNK(st.mode);
        m_item.size = m_item.hasSize ? st.size : 0;
        m_item.mtime = Timestamp{ st.mtimeSec, st.mtimeNsec };
        m_item.dev = st.dev;
        m_item.isPackage = m_item.isDir && detail::isPackageName(m_item.name);
    }

    SharedWalk &m_shared;
    const std::size_t m_index;
    std::vector<char> m_buffer;
    std::vector<Frame> m_stack;
    std::string m_dirPath; // path of the top frame's directory ("" for the root "/")
    Segment *m_segment = nullptr;
    WalkItem m_item;
    std::uint32_t m_kept = 0;
    std::size_t m_entriesSeen = 0;
};

void SharedWalk::startHelpers()
{
    if (m_helpersStarted || m_options.threads < 2) {
        return;
    }
    m_helpersStarted = true;
    {
        std::lock_guard lock(m_mutex);
        m_workers += m_options.threads - 1;
    }
    for (std::size_t i = 1; i < m_options.threads; ++i) {
        m_helpers.emplace_back([this, i] {
            Worker helper(*this, i);
            Task task;
            while (pop(task)) {
                helper.walk(std::move(task));
            }
        });
    }
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

std::optional<std::vector<WalkToken>> walkInOrder(
    const std::string &rootPath, const OrderedWalkOptions &options, const OrderedVisit &visit)
{
    // The start location is followed when it is a link, as a start URL is resolved.
    const int fd =
        ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (fd < 0) {
        return std::nullopt;
    }
    std::uint64_t dev = 0;
    if (!detail::deviceOf(fd, dev)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string path = withoutTrailingSlashes(rootPath);
    if (path == "/") {
        path.clear(); // entries become "/" + name
    }

    OrderedWalkOptions resolved = options;
    resolved.threads = std::max<std::size_t>(resolved.threads, 1);
    SharedWalk shared(resolved, visit);
    {
        Worker caller(shared, 0);
        caller.walk(Task{ fd, dev, 1, std::move(path), 0 });
        Task task;
        while (shared.pop(task)) {
            caller.walk(std::move(task));
        }
    }
    return shared.finish();
}

std::size_t defaultWalkThreads()
{
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 2, 4);
}

} // namespace core::platform
