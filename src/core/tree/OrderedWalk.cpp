// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/OrderedWalk.h"

#include "tree/DirectoryIo.h"
#include "tree/WorkQueue.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace core::tree {

namespace {

using detail::WorkQueue;

/// A token whose worker is this stands for a whole segment handed to
/// another thread: its index is the segment's number.
constexpr std::uint32_t SegmentMark = std::numeric_limits<std::uint32_t>::max();

// The caller walks alone until it has seen this many entries: a small folder
// (one mail account, a test tree) then costs no thread start.
constexpr std::size_t EntriesBeforeHelpers = 512;

/// The kept items of one stretch of the walk, in order, with marks where a
/// stretch walked by another thread belongs.
using Segment = std::vector<WalkToken>;

/// The root of the walk, or (with `listed`) the last names of a folder,
/// split off by one thread and walked by whichever is free.
struct Task
{
    int fd = -1; // owned by the task until a worker takes it
    std::uint64_t dev = 0;
    int level = 1; // level of the directory's entries
    std::string path;
    std::uint32_t segment = 0;
    bool listed = false; // only the names of `listing` are walked
    detail::SortedDirectoryStack::Listing listing;
};

/// What the walking threads share: the task queue, the segments and the
/// helper threads. The queue is only touched when a thread is idle, so in
/// the steady state a directory costs two relaxed atomic loads and no lock.
class SharedWalk
{
public:
    SharedWalk(const OrderedWalkOptions &options, const OrderedVisit &visit, const KeptItems *kept)
        : m_options(options)
        , m_visit(visit)
        , m_kept(kept)
    {
        m_segments.emplace_back(); // the root's
    }

    const OrderedWalkOptions &options() const { return m_options; }
    const OrderedVisit &visit() const { return m_visit; }
    /// The kept items of the thread that started the walk, for every walking thread.
    const KeptItems *kept() const { return m_kept; }

    WorkQueue<Task> &queue() { return m_queue; }

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
    const KeptItems *m_kept; // not owned
    WorkQueue<Task> m_queue;
    std::mutex m_mutex; // guards m_segments
    std::deque<Segment> m_segments;
    bool m_helpersStarted = false; // caller's thread only
    std::vector<std::jthread> m_helpers;
};

/// One walking thread: depth-first over a stack of open directories, like
/// Walker, appending the tokens of kept items to the segment of the task it
/// is walking. While another thread idles, it hands over the second half of
/// what is left of the shallowest folder it has open, and puts a mark in its
/// own segment where those items belong.
class Worker
{
public:
    Worker(SharedWalk &shared, std::size_t index)
        : m_shared(shared)
        , m_index(index)
        , m_stack(detail::ListingOptions{ .skipHidden = shared.options().skipHidden,
              .wantStat = true,
              .openDirectories = true,
              .kept = shared.kept() })
    {
    }

    void walk(Task task)
    {
        m_segment = m_shared.segment(task.segment);
        if (task.listed) {
            m_stack.pushListing(task.fd, task.dev, task.level, task.path, std::move(task.listing));
        } else {
            m_stack.push(task.fd, task.dev, task.level, task.path);
        }
        for (;;) {
            const int level = m_stack.next(m_item);
            markHandedTails(level == 0 ? 0 : m_stack.depth());
            if (level == 0) {
                return;
            }
            if (m_index == 0 && ++m_entriesSeen == EntriesBeforeHelpers) {
                m_shared.startHelpers();
            }
            if (m_shared.queue().wantsWork()) {
                handOverTail();
            }
            const VisitAnswer answer = m_shared.visit()(m_item, level, m_index);
            if (answer.keep) {
                m_segment->push_back(WalkToken{ static_cast<std::uint32_t>(m_index), m_kept++ });
            }
            if (answer.descend && m_item.isDir && !(m_item.isPackage && m_shared.options().skipPackageDescendants)
                && level < detail::MaxLevel) {
                enter(level + 1);
            }
        }
    }

private:
    /// Hands an idle thread the second half of the names left in the
    /// shallowest folder open (whole subtrees near the root of the walk).
    /// The mark of their segment goes in once this thread is done with the
    /// first half.
    void handOverTail()
    {
        std::optional<detail::SortedDirectoryStack::ListingTail> tail = m_stack.splitShallowest();
        if (!tail) {
            return;
        }
        const auto [number, segment] = m_shared.newSegment();
        (void)segment;
        // A deeper folder's tail comes before a shallower one's in walk order.
        // The shallowest folder with names left is split first, a folder only
        // loses names, and one that takes another's place (its last subfolder)
        // does so with nothing deeper open: so the list stays ordered by depth.
        m_handedTails.push_back(HandedTail{ tail->depth, number });
        m_shared.queue().push(
            Task{ tail->fd, tail->dev, tail->level, std::move(tail->path), number, true, std::move(tail->listing) });
    }

    /// Puts in the marks of the tails handed over from folders the walk has
    /// now left: the stack is `depth` frames deep (0: the task is done). The
    /// frame of a tail's folder may have given way to its last subfolder,
    /// one as deep, whose items still come before the tail.
    void markHandedTails(std::size_t depth)
    {
        while (!m_handedTails.empty() && m_handedTails.back().depth > depth) {
            m_segment->push_back(WalkToken{ SegmentMark, m_handedTails.back().segment });
            m_handedTails.pop_back();
        }
    }

    /// Enters the directory just visited, whose entries lie at `level`.
    void enter(int level)
    {
        std::uint64_t dev = 0;
        const int fd = m_stack.openChild(m_item, dev);
        if (fd < 0) {
            return; // unreadable, vanished, replaced by a link or on a skipped mount: passed over
        }
        m_stack.push(fd, dev, level, m_item.path);
    }

    SharedWalk &m_shared;
    const std::size_t m_index;
    detail::SortedDirectoryStack m_stack;
    Segment *m_segment = nullptr;
    WalkItem m_item;
    std::uint32_t m_kept = 0;
    std::size_t m_entriesSeen = 0;
    /// A tail handed over from the folder open `depth` frames deep, with its segment.
    struct HandedTail
    {
        std::size_t depth = 0;
        std::uint32_t segment = 0;
    };
    std::vector<HandedTail> m_handedTails;
};

void SharedWalk::startHelpers()
{
    if (m_helpersStarted || m_options.threads < 2) {
        return;
    }
    m_helpersStarted = true;
    detail::startHelperThreads(m_helpers, m_options.threads - 1, [this](std::size_t index) {
        m_queue.join();
        Worker helper(*this, index);
        Task task;
        while (m_queue.pop(task)) {
            helper.walk(std::move(task));
        }
    });
}

} // namespace

std::optional<std::vector<WalkToken>> walkInOrder(
    const std::string &rootPath, const OrderedWalkOptions &options, const OrderedVisit &visit)
{
    std::uint64_t dev = 0;
    const KeptItems *kept = options.kept;
    if (kept != nullptr && kept->covers(rootPath)) {
        return std::vector<WalkToken>{}; // kept: nothing in it is visited
    }
    const int fd = detail::openRoot(rootPath, dev);
    if (fd < 0) {
        return std::nullopt;
    }

    OrderedWalkOptions resolved = options;
    resolved.threads = std::max<std::size_t>(resolved.threads, 1);
    SharedWalk shared(resolved, visit, kept);
    {
        Worker caller(shared, 0);
        caller.walk(Task{ fd, dev, 1, detail::rootDirPath(rootPath), 0, false, {} });
        Task task;
        while (shared.queue().pop(task)) {
            caller.walk(std::move(task));
        }
    }
    return shared.finish();
}

std::size_t defaultWalkThreads()
{
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 2, 4);
}

} // namespace core::tree
