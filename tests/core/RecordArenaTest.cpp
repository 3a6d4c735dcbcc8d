// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/RecordArena.h"

#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "fs/FolderUrl.h"
#include "support/EngineFixture.h"
#include "tree/Walker.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using core::FolderInfo;
using core::FolderInfoPtr;
using core::detail::RecordArena;
using core::detail::RecordPool;

namespace {

/// The name, URL and path a record must show for the item at `path`;
/// `start` is the URL start kept from the record checked before.
void expectStandsFor(
    const FolderInfo &record, const std::string &path, const std::string &name, bool isDir, core::UrlStart &start)
{
    EXPECT_EQ(record.name(), name);
    EXPECT_EQ(record.nameView(), name);
    EXPECT_EQ(record.url(), core::format::fileUrlFromPath(path, isDir));
    std::string buffer = "something longer than the URL itself, to be replaced whole";
    record.urlInto(buffer);
    EXPECT_EQ(buffer, record.url());
    buffer = "something else";
    record.urlInto(buffer, start);
    EXPECT_EQ(buffer, record.url());
    std::string decoded;
    ASSERT_TRUE(record.pathInto(decoded));
    EXPECT_EQ(decoded, path);
    EXPECT_EQ(core::format::pathFromFileUrl(record.url()), path);
    // The hash of the URL's last component is the one a record holding the whole URL gives.
    const FolderInfo whole(0, name, {}, 0, {}, isDir, {}, record.url(), false, {}, false, 0);
    EXPECT_EQ(record.urlTailHash(buffer), whole.urlTailHash(decoded));
    whole.urlInto(buffer, start);
    EXPECT_EQ(buffer, record.url());
}

} // namespace

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

// A pool's records give back, byte for byte, the name, URL and path of the
// item they were made for: names that are not UTF-8, that need escapes, at
// the top of the file system, and paths longer than PATH_MAX.
TEST(RecordArenaTest, PoolRecordsShowTheSameNameUrlAndPath)
{
    auto pool = std::make_shared<RecordPool>(nullptr);
    const std::string deep = "/home/ann/" + std::string(PATH_MAX, 'd');
    const std::vector<std::tuple<std::string, std::string, bool>> items = {
        { "/home/ann/notes.txt", "notes.txt", false },
        { "/home/ann/Music", "Music", true },
        { "/home/ann/caf\xE9 \xFF%20#?.bin", "caf\xE9 \xFF%20#?.bin", false },
        { "/home/ann/Music/100% live [take 2].flac", "100% live [take 2].flac", false },
        { "/top", "top", true },
        { deep + "/leaf", "leaf", false },
        { deep + "/" + std::string(255, 'n'), std::string(255, 'n'), true },
    };
    std::vector<FolderInfo *> made;
    for (const auto &[path, name, isDir] : items) {
        FolderInfo *record = pool->make(path, name, isDir, 2);
        ASSERT_NE(record, nullptr) << path;
        made.push_back(record);
    }
    // In turn, so that the URL start is kept, taken and replaced, and once
    // more in reverse, back to folders it left.
    core::UrlStart start;
    for (std::size_t k = 0; k < 2 * items.size(); ++k) {
        const std::size_t at = k < items.size() ? k : 2 * items.size() - 1 - k;
        const auto &[path, name, isDir] = items[at];
        SCOPED_TRACE(path.substr(0, 60));
        expectStandsFor(*made[at], path, name, isDir, start);
    }
    EXPECT_EQ(pool->recordCount(), items.size());
}

// A path the pool cannot rebuild from a folder and a name is left to the
// caller, who keeps the record whole; nothing is guessed.
TEST(RecordArenaTest, PoolRefusesPathsItCouldNotRebuild)
{
    RecordPool pool(nullptr);
    EXPECT_EQ(pool.make("/home/ann/a.txt", "b.txt", false, 1), nullptr) << "not the last component";
    EXPECT_EQ(pool.make("/home/ann/xa.txt", "a.txt", false, 1), nullptr) << "only the end of one";
    EXPECT_EQ(pool.make("relative/a.txt", "a.txt", false, 1), nullptr);
    EXPECT_EQ(pool.make("/home/ann/", "", true, 1), nullptr);
    EXPECT_EQ(pool.make(std::string("/home/a\0b/c", 11), "c", false, 1), nullptr);
    EXPECT_EQ(pool.recordCount(), 0U);

    // Such an item gets a record that keeps its own text, in the walk's order.
    FolderInfo *kept = pool.make("/home/ann/a.txt", "a.txt", false, 1);
    FolderInfo *whole = pool.makeWhole(0,
        "b.txt",
        core::IconRef{},
        3,
        core::Rgba{},
        false,
        core::Timestamp{},
        "file:///home/ann/a.txt",
        false,
        std::vector<FolderInfoPtr>{},
        false,
        0);
    EXPECT_EQ(pool.at(0), kept);
    EXPECT_EQ(pool.at(1), whole);
    EXPECT_EQ(pool.at(1)->name(), "b.txt");
    EXPECT_EQ(pool.at(1)->url(), "file:///home/ann/a.txt");
    EXPECT_EQ(pool.recordCount(), 2U);
}

// Siblings share one folder; a folder of the same level but another path
// gets its own, and the records keep the right one.
TEST(RecordArenaTest, SiblingsShareTheirFolderAndCousinsDoNot)
{
    RecordPool pool(nullptr);
    FolderInfo *a = pool.make("/r/x/a", "a", false, 2);
    FolderInfo *deeper = pool.make("/r/x/d/e", "e", false, 3);
    FolderInfo *b = pool.make("/r/x/b", "b", false, 2);
    FolderInfo *cousin = pool.make("/r/y/c", "c", false, 2);
    FolderInfo *back = pool.make("/r/x/z", "z", false, 2);
    ASSERT_TRUE(a && deeper && b && cousin && back);
    EXPECT_EQ(a->url(), "file:///r/x/a");
    EXPECT_EQ(deeper->url(), "file:///r/x/d/e");
    EXPECT_EQ(b->url(), "file:///r/x/b");
    EXPECT_EQ(cousin->url(), "file:///r/y/c");
    EXPECT_EQ(back->url(), "file:///r/x/z");
}

// The records keep their pool: they stay whole after the walk's own handle
// on it is gone, whatever order they go in, and the pool goes with the last.
// A copy owns its text and outlives the pool; changing a pool record's name
// or anchor changes that record only.
TEST(RecordArenaTest, RecordsKeepTheirPoolAliveAndCopiesStandAlone)
{
    auto anchor = std::make_shared<const core::tree::Anchor>(core::tree::Anchor{ "/home/ann", 1, 2 });
    auto pool = std::make_shared<RecordPool>(anchor);
    std::weak_ptr<RecordPool> watch = pool;
    const std::string longName = "second" + std::string(100, 'x');
    FolderInfoPtr first = RecordPool::share(pool, pool->make("/home/ann/first", "first", false, 1));
    FolderInfoPtr second = RecordPool::share(pool, pool->make("/home/ann/" + longName, longName, false, 1));
    second->size = 7;
    second->setIcon(core::IconRef{ core::IconRef::Kind::Named, "disk" });
    second->setColor(core::Rgba{ 1, 2, 3, 0.5F });
    EXPECT_EQ(first->anchor(), anchor);
    pool.reset();
    EXPECT_FALSE(watch.expired());

    auto copy = std::make_shared<FolderInfo>(*second);
    first->setName("renamed");
    first->setAnchor(nullptr);
    EXPECT_EQ(first->name(), "renamed");
    EXPECT_EQ(first->url(), "file:///home/ann/first") << "the name is the record's, the URL stays";
    EXPECT_EQ(first->anchor(), nullptr);
    EXPECT_EQ(second->anchor(), anchor) << "a sibling keeps the shared anchor";
    first.reset();
    EXPECT_EQ(second->name(), longName);
    EXPECT_EQ(second->size, 7);
    second.reset();
    EXPECT_TRUE(watch.expired()) << "given back with the last record";

    core::UrlStart start;
    expectStandsFor(*copy, "/home/ann/" + longName, longName, false, start);
    EXPECT_EQ(copy->size, 7);
    EXPECT_EQ(copy->anchor(), anchor);
    EXPECT_EQ(copy->icon(), (core::IconRef{ core::IconRef::Kind::Named, "disk" }));
    EXPECT_EQ(copy->color(), (core::Rgba{ 1, 2, 3, 0.5F }));
}

// Icons and colours are kept as positions in shared tables; many distinct
// values (more than the tables hold) still come back exactly.
TEST(RecordArenaTest, EveryIconAndColourComesBackExactly)
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (int k = 0; k < 300; ++k) {
            out.push_back("icon-" + std::to_string(k));
        }
        return out;
    }();
    std::vector<FolderInfo> records;
    for (int k = 0; k < 300; ++k) {
        const core::IconRef icon{ core::IconRef::Kind::Named, names[static_cast<std::size_t>(k)] };
        const core::Rgba color{ static_cast<float>(k), 0.25F, 1, 1 };
        records.emplace_back(0,
            "n",
            icon,
            0,
            color,
            false,
            core::Timestamp{},
            "file:///n",
            false,
            std::vector<FolderInfoPtr>{},
            false,
            0);
    }
    for (int k = 0; k < 300; ++k) {
        const auto &record = records[static_cast<std::size_t>(k)];
        EXPECT_EQ(record.icon().name, names[static_cast<std::size_t>(k)]);
        EXPECT_EQ(record.color().red, static_cast<float>(k));
        EXPECT_EQ(record.name(), "n");
        EXPECT_EQ(record.url(), "file:///n");
    }
    FolderInfo assigned = records[299];
    assigned = records[3];
    EXPECT_EQ(assigned.icon().name, "icon-3");
    EXPECT_EQ(assigned.color().red, 3.0F);
}

namespace {

class RecordScanTest : public testing_support::EngineFixture
{
protected:
    /// A chain of `levels` folders named `name` below `root`, made with *at()
    /// calls so that it may outgrow PATH_MAX, with a file "leaf" of `size` bytes at its bottom.
    static void makeChain(const std::string &root, const std::string &name, int levels, off_t size)
    {
        int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        for (int i = 0; i < levels; ++i) {
            ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
            const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            ASSERT_GE(next, 0);
            fd = next;
        }
        const int leaf = ::openat(fd, "leaf", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(leaf, 0);
        ASSERT_EQ(::ftruncate(leaf, size), 0);
        ::close(leaf);
        ::close(fd);
    }
};

} // namespace

// A deep walk's records stand for exactly the items below the folder: the
// path, name, size, date and URL of each, for names that are not UTF-8 and
// paths beyond PATH_MAX, on every walking thread.
TEST_F(RecordScanTest, DeepWalkRecordsPinNamesSizesDatesAndUrls)
{
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> expected; // path: size, mtime
    for (int d = 0; d < 12; ++d) {
        for (int f = 0; f < 40; ++f) {
            const std::string relative = "d" + std::to_string(d) + "/sub " + std::to_string(f % 3) + "/f"
                + std::to_string(f) + (f % 5 == 0 ? "\xE9\xFF" : "%41");
            const std::string path = tmp.writeFile(relative, d * 100 + f);
            testing_support::setMtime(path, 1'000'000 + d * 1000 + f);
            expected[path] = { d * 100 + f, 1'000'000 + d * 1000 + f };
        }
    }
    const std::string name(200, 'L');
    makeChain(tmp.path(), name, 25, 12345);
    std::string deep = tmp.path();
    for (int i = 0; i < 25; ++i) {
        deep += "/" + name;
    }
    ASSERT_GT(deep.size(), std::size_t{ PATH_MAX });
    expected[deep + "/leaf"] = { 12345, 0 };

    for (const auto threading : { core::FilterThreading::CallerOnly, core::FilterThreading::Concurrent }) {
        const core::ChildrenInfo walked = FolderInfo::filesFromDirWithFilter(
            location(tmp.path()),
            {},
            {},
            [](const core::tree::WalkItem &item) {
                return item.isDir ? core::FilterType::SkipSelf : core::FilterType::NoSkip;
            },
            threading);
        dispatcher.runMain();
        ASSERT_EQ(walked.children.size(), expected.size());
        std::int64_t total = 0;
        core::UrlStart start;
        for (std::size_t k = 0; k < walked.children.size(); ++k) {
            const FolderInfo &record = *walked.children[k];
            std::string path;
            ASSERT_TRUE(record.pathInto(path));
            SCOPED_TRACE(path.substr(0, 80));
            const auto found = expected.find(path);
            ASSERT_NE(found, expected.end());
            expectStandsFor(record, path, path.substr(path.rfind('/') + 1), false, start);
            EXPECT_EQ(record.size, found->second.first);
            if (found->second.second != 0) {
                EXPECT_EQ(record.date.seconds, found->second.second);
            }
            EXPECT_EQ(record.findex, static_cast<std::int64_t>(k));
            EXPECT_EQ(record.icon().kind, core::IconRef::Kind::File);
            EXPECT_EQ(record.color(), (core::Rgba{ 0, 0, 0, 1 }));
            ASSERT_NE(record.anchor(), nullptr);
            EXPECT_EQ(record.anchor()->path, tmp.path());
            total += record.size;
        }
        EXPECT_EQ(walked.totalSize, total);
        EXPECT_TRUE(std::is_sorted(walked.children.begin(), walked.children.end(), [](const auto &a, const auto &b) {
            return a->url() < b->url();
        }) || threading == core::FilterThreading::Concurrent);
    }
}

// A record sits in the walk's list and in a category's list as one object:
// a tick, a size or a new name given through one is seen through the other.
TEST_F(RecordScanTest, RecordsStaySharedBetweenLists)
{
    tmp.writeFile("kids/one", 1);
    tmp.writeFile("kids/tw\xF6", 2);
    const core::ChildrenInfo walked = FolderInfo::filesFromDirWithFilter(location(tmp.path()), {}, {}, {});
    dispatcher.runMain();
    ASSERT_EQ(walked.children.size(), 3U); // the folder and its two files
    core::Category category;
    category.files = { walked.children[2], walked.children[1] };
    category.files[0]->checked = 1;
    category.files[0]->size = 99;
    category.files[1]->setName("renamed");
    EXPECT_EQ(walked.children[2]->checked, 1);
    EXPECT_EQ(walked.children[2]->size, 99);
    EXPECT_EQ(walked.children[1]->name(), "renamed");
    EXPECT_EQ(walked.children[1]->url(), core::format::fileUrlFromPath(tmp / "kids/one"));
    EXPECT_EQ(category.files[1].get(), walked.children[1].get());

    // The children of a "Children" location are those of the folder's own record.
    const core::ChildrenInfo listed = FolderInfo::folderInfoList({ location(tmp / "kids", "Children") }, {}, {});
    dispatcher.runMain();
    ASSERT_EQ(listed.children.size(), 2U);
    EXPECT_EQ(listed.children[1]->url(), core::format::fileUrlFromPath(tmp / "kids/tw\xF6"));
    EXPECT_EQ(listed.children[1]->name(), "tw\xF6");
}
