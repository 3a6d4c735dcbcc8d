#include "fs/RecordArena.h"

#include "fs/FolderInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

using core::detail::RecordAllocator;
using core::detail::RecordArena;

// Pieces are aligned as asked, never overlap, and one larger than a block
// gets a block of its own.
TEST(RecordArenaTest, HandsOutAlignedPiecesThatDoNotOverlap)
{
    RecordArena arena;
    auto *byte = static_cast<char *>(arena.allocate(1, 1));
    auto *word = static_cast<char *>(arena.allocate(8, 8));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(word) % 8, 0U);
    EXPECT_GE(word, byte + 1);
    constexpr std::size_t Big = std::size_t{ 1 } << 20U;
    auto *big = static_cast<char *>(arena.allocate(Big, 16));
    std::memset(big, 0xAB, Big); // the whole piece is usable
    auto *after = static_cast<char *>(arena.allocate(16, 16));
    EXPECT_TRUE(after + 16 <= big || after >= big + Big);
    *byte = 1;
    EXPECT_EQ(*byte, 1);
}

// The records keep their arena: they stay whole after the walk's own handle
// on it is gone, whatever order they go in.
TEST(RecordArenaTest, RecordsKeepTheirArenaAlive)
{
    auto arena = std::make_shared<RecordArena>();
    std::weak_ptr<RecordArena> watch = arena;
    const auto make = [&arena](const std::string &name) {
        return std::allocate_shared<core::FolderInfo>(RecordAllocator<core::FolderInfo>(arena),
            0,
            name,
            core::IconRef{},
            7,
            core::Rgba{},
            false,
            core::Timestamp{},
            "file:///tmp/" + name + std::string(100, 'x'),
            false,
            std::vector<core::FolderInfoPtr>{},
            false,
            0);
    };
    auto first = make("first");
    auto second = make("second");
    arena.reset();
    EXPECT_FALSE(watch.expired());
    first.reset();
    EXPECT_EQ(second->name(), "second");
    EXPECT_EQ(second->size, 7);
    second.reset();
    EXPECT_TRUE(watch.expired()) << "given back with the last record";
}
