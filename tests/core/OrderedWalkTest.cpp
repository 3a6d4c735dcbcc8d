// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/OrderedWalk.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using core::tree::OrderedWalkOptions;
using core::tree::VisitAnswer;
using core::tree::WalkItem;

namespace {

/// The decisions both walks make: folders named "skip..." are not entered,
/// files ending in "5" and folders named "keep..." are kept.
VisitAnswer decide(const WalkItem &item)
{
    const bool keep = item.isDir ? item.name.starts_with("keep") : item.name.ends_with("5");
    return VisitAnswer{ keep, !item.name.starts_with("skip") };
}

/// An item as both walks must give it: where, at what level, and its values.
std::string describe(const WalkItem &item, int level)
{
    return item.path + "@" + std::to_string(level) + (item.isDir ? " dir" : "") + (item.isPackage ? " package" : "")
        + (item.isSymlink ? " link" : "") + " size " + std::to_string(item.size) + " mtime "
        + std::to_string(item.mtime.seconds) + "." + std::to_string(item.mtime.nanoseconds) + " dev "
        + std::to_string(item.dev);
}

/// A folder of `count` files, every fiftieth one a folder of two files,
/// created without going through a path per file.
void buildBigFolder(const std::string &folder, int count)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < count; ++i) {
        const std::string name = "photo" + std::to_string(i);
        if (i % 50 == 0) {
            ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
            for (const char *inner : { "/a5", "/b" }) {
                ::close(::openat(fd, (name + inner).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
            }
        } else {
            ::close(::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        }
    }
    ::close(fd);
}

/// A tree of some four thousand entries: enough for the helpers to start and
/// take the last names of folders at every depth (big ones, one inside
/// another, among them) while the first are walked.
void buildTree(const testing_support::TempDir &tmp)
{
    buildBigFolder(tmp.makeDir("Camera Roll"), 800);
    buildBigFolder(tmp / "Camera Roll/photo750", 600);
    for (int d = 0; d < 40; ++d) {
        const std::string top = (d % 3 == 0 ? "keep" : d % 3 == 1 ? "skip" : "dir") + std::to_string(d);
        for (int f = 0; f < 20; ++f) {
            tmp.writeFile(top + "/file" + std::to_string(f), 1);
            tmp.writeFile(top + "/inner/file" + std::to_string(f), 1);
            tmp.writeFile(top + "/inner/keep deeper/x/file" + std::to_string(f), 1);
        }
        tmp.writeFile(top + "/.hidden/file5", 1);
        tmp.writeFile(top + "/Tool.app/Contents/file5", 1);
        // Folder dates unlike their other times, so that a date read from the wrong field shows.
        testing_support::setMtime(tmp / (top + "/inner"), 1'000'000'000 + d);
    }
    tmp.makeLink("link to dir", "keep0");
}

} // namespace

TEST(OrderedWalkTest, SeveralThreadsKeepTheOrderOfASingleWalker)
{
    testing_support::TempDir tmp;
    buildTree(tmp);

    std::vector<std::string> expectedKept;
    std::vector<std::string> expectedVisited;
    {
        core::tree::WalkOptions options;
        options.skipHidden = true;
        options.skipPackageDescendants = true;
        core::tree::Walker walker(tmp.path(), options);
        while (const WalkItem *item = walker.next()) {
            expectedVisited.push_back(describe(*item, walker.level()));
            const VisitAnswer answer = decide(*item);
            if (answer.keep) {
                expectedKept.push_back(item->path);
            }
            if (!answer.descend) {
                walker.skipDescendants();
            }
        }
    }
    ASSERT_GT(expectedVisited.size(), 1000U);

    OrderedWalkOptions options;
    options.skipHidden = true;
    options.skipPackageDescendants = true;
    options.threads = 4;
    std::vector<std::vector<std::string>> keptBy(options.threads);
    std::mutex visitedMutex;
    std::vector<std::string> visited;
    const auto order =
        core::tree::walkInOrder(tmp.path(), options, [&](const WalkItem &item, int level, std::size_t worker) {
            EXPECT_TRUE(item.statOk) << item.path;
            {
                std::lock_guard lock(visitedMutex);
                visited.push_back(describe(item, level));
            }
            // Slow enough that the helpers get a share of the walk.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            const VisitAnswer answer = decide(item);
            if (answer.keep) {
                keptBy.at(worker).push_back(item.path);
            }
            return answer;
        });
    ASSERT_TRUE(order.has_value());

    std::vector<std::string> kept;
    std::set<std::uint32_t> workers;
    for (const auto &token : *order) {
        kept.push_back(keptBy.at(token.worker).at(token.index));
        workers.insert(token.worker);
    }
    EXPECT_EQ(kept, expectedKept);
    std::sort(visited.begin(), visited.end());
    std::sort(expectedVisited.begin(), expectedVisited.end());
    EXPECT_EQ(visited, expectedVisited)
        << "every item once, at its level, with its values; nothing below a skipped or hidden folder";
    EXPECT_GT(workers.size(), 1U) << "the helpers took part";
}

TEST(OrderedWalkTest, SmallOrMissingFolders)
{
    testing_support::TempDir tmp;
    OrderedWalkOptions options;
    options.threads = 4;
    const auto visitAll = [](const WalkItem &, int, std::size_t worker) {
        EXPECT_EQ(worker, 0U) << "a small folder is walked by the caller alone";
        return VisitAnswer{ true, true };
    };
    EXPECT_FALSE(core::tree::walkInOrder(tmp / "missing", options, visitAll).has_value());
    const auto empty = core::tree::walkInOrder(tmp.path(), options, visitAll);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());

    tmp.writeFile("b/2", 1);
    tmp.writeFile("a", 1);
    const auto few = core::tree::walkInOrder(tmp.path() + "/", options, visitAll);
    ASSERT_TRUE(few.has_value());
    EXPECT_EQ(*few, (std::vector<core::tree::WalkToken>{ { 0, 0 }, { 0, 1 }, { 0, 2 } }));
}
