#pragma once

// Internal to fs/: where a deep walk puts its records.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace core::detail {

/// Memory for the records of one walking thread, handed out in order from
/// large blocks and given back all at once when the last record made from
/// it is gone. A deep walk of a home folder makes a hundred thousand records
/// on its threads: one by one from the allocator, each thread's heap would
/// grow a page at a time (a system call each), and the records would lie
/// scattered among their own strings. Not thread-safe: one arena per thread.
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
            m_blocks.push_back(static_cast<std::byte *>(::operator new(m_blockSize)));
            at = 0;
        }
        m_used = at + bytes;
        return m_blocks.back() + at;
    }

private:
    static constexpr std::size_t BlockSize = std::size_t{ 256 } * 1024;
    std::vector<std::byte *> m_blocks;
    std::size_t m_blockSize = 0;
    std::size_t m_used = 0;
};

/// The allocator std::allocate_shared uses for records: each record's
/// control block holds the arena, so the arena lives as long as its records.
template<typename T> struct RecordAllocator
{
    using value_type = T;

    explicit RecordAllocator(std::shared_ptr<RecordArena> owner)
        : arena(std::move(owner))
    {
    }
    template<typename U>
    RecordAllocator(const RecordAllocator<U> &other) // NOLINT(google-explicit-constructor): rebinding
        : arena(other.arena)
    {
    }

    T *allocate(std::size_t n) { return static_cast<T *>(arena->allocate(n * sizeof(T), alignof(T))); }
    void deallocate(T * /*p*/, std::size_t /*n*/) noexcept {} // given back with the whole arena

    template<typename U> bool operator==(const RecordAllocator<U> &other) const { return arena == other.arena; }

    std::shared_ptr<RecordArena> arena;
};

} // namespace core::detail
