// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to fs/: where a deep walk puts its records.

#include "Types.h"
#include "fs/FolderInfo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace core::detail {

/// A block of `bytes` for records, its pages made present and writable in
/// one call. Touched one by one, each page would cost a fault, and a record's
/// first write (its bit fields are read, then written) a second fault that
/// stops the other walking threads' processors to flush their address
/// caches. Freed with ::operator delete.
void *newRecordBlock(std::size_t bytes);

/// Memory handed out in order from large blocks and given back all at once.
/// A deep walk of a home folder makes a hundred thousand records on its
/// threads: one by one from the allocator, each thread's heap would grow a
/// page at a time (a system call each), and the records would lie scattered
/// among their own strings. Not thread-safe: one arena per thread.
class RecordArena
{
public:
    RecordArena() = default;
    RecordArena(const RecordArena &) = delete;
    RecordArena &operator=(const RecordArena &) = delete;
    ~RecordArena()
    {
        for (std::byte *block : m_blocks) {
            ::operator delete(block);
        }
    }

    void *allocate(std::size_t bytes, std::size_t alignment)
    {
        std::size_t at = (m_used + alignment - 1) & ~(alignment - 1);
        if (m_blocks.empty() || at + bytes > m_blockSize) {
            m_blockSize = std::max(BlockSize, bytes);
            m_blocks.push_back(static_cast<std::byte *>(newRecordBlock(m_blockSize)));
            at = 0;
        }
        m_used = at + bytes;
        return m_blocks.back() + at;
    }

    /// A copy of `bytes` in the arena (not terminated).
    const char *copy(std::string_view bytes)
    {
        if (bytes.empty()) {
            return "";
        }
        auto *to = static_cast<char *>(allocate(bytes.size(), 1));
        std::copy(bytes.begin(), bytes.end(), to);
        return to;
    }

private:
    static constexpr std::size_t BlockSize = std::size_t{ 256 } * 1024;
    std::vector<std::byte *> m_blocks;
    std::size_t m_blockSize = 0;
    std::size_t m_used = 0;
};

/// The folder above some records of a pool, shared by them: its path,
/// ending in "/", and the anchor the records were listed from.
struct RecordFolder
{
    const char *path;
    std::uint32_t pathSize;
    const std::shared_ptr<const tree::Anchor> *anchor;

    std::string_view pathView() const { return { path, pathSize }; }
};

/// What a record that is not in a pool owns: its name, URL and anchor, and
/// its icon or colour when the process-wide tables are full.
struct RecordText
{
    std::string name;
    std::string url;
    std::shared_ptr<const tree::Anchor> anchor;
    IconRef icon;
    Rgba color;
};

/// The records of one walking thread, with their names and folders, made in
/// arenas and given back together when the last record is gone: the pool is
/// owned by a shared_ptr and every record's FolderInfoPtr shares that
/// ownership (one count for the pool, no control block per record). A
/// record that leaves its lists keeps its memory until the pool goes.
/// Not thread-safe: one pool per thread while it is filled.
class RecordPool
{
public:
    explicit RecordPool(std::shared_ptr<const tree::Anchor> anchor)
        : m_anchor(std::move(anchor))
    {
    }
    RecordPool(const RecordPool &) = delete;
    RecordPool &operator=(const RecordPool &) = delete;
    ~RecordPool()
    {
        for (std::size_t b = 0; b < m_records.size(); ++b) {
            const std::size_t count = b + 1 == m_records.size() ? m_inLast : RecordsPerBlock;
            for (std::size_t k = 0; k < count; ++k) {
                m_records[b][k].~FolderInfo();
            }
            ::operator delete(static_cast<void *>(m_records[b]));
        }
    }

    /// A record for the item at `path`, whose last component is `name`
    /// and whose URL is format::fileUrlFromPath(path, isDirectory). The
    /// record's other values are set by the caller. Null when `path` is not
    /// a folder's path followed by `name` (the caller makes an owned record).
    FolderInfo *make(std::string_view path, std::string_view name, bool isDirectory, int level);

    /// A record of the pool that owns its text (an item make() refused):
    /// FolderInfo's own constructor, the storage the pool's.
    template<typename... Args> FolderInfo *makeWhole(Args &&...args)
    {
        return new (slot()) FolderInfo(std::forward<Args>(args)...);
    }

    /// The record made `index`-th (by make or makeWhole).
    FolderInfo *at(std::size_t index) const { return m_records[index / RecordsPerBlock] + index % RecordsPerBlock; }

    /// Shared ownership of a record of this pool.
    static FolderInfoPtr share(const std::shared_ptr<RecordPool> &pool, FolderInfo *record)
    {
        return FolderInfoPtr(pool, record);
    }

    const std::shared_ptr<const tree::Anchor> &anchor() const { return m_anchor; }

    std::size_t recordCount() const
    {
        return m_records.empty() ? 0 : (m_records.size() - 1) * RecordsPerBlock + m_inLast;
    }

private:
    static constexpr std::size_t RecordsPerBlock = 2048;

    /// Room for the next record; counted as made.
    void *slot()
    {
        if (m_records.empty() || m_inLast == RecordsPerBlock) {
            m_records.push_back(static_cast<FolderInfo *>(newRecordBlock(sizeof(FolderInfo) * RecordsPerBlock)));
            m_inLast = 0;
        }
        return m_records.back() + m_inLast++;
    }

    const RecordFolder *folderOf(std::string_view folderPath, int level);

    std::shared_ptr<const tree::Anchor> m_anchor;
    RecordArena m_bytes;
    std::vector<FolderInfo *> m_records; // blocks of RecordsPerBlock records
    std::size_t m_inLast = 0;
    // The last folder made for each level: a walk lists a folder's entries
    // before it comes back to its parent's, so most records find theirs here.
    std::vector<const RecordFolder *> m_byLevel;
};

} // namespace core::detail
