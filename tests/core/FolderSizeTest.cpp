// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManualDispatcher.h"
#include "RunAsNobody.h"
#include "TempDir.h"
#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "platform/LogSink.h"
#include "platform/Services.h"
#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <ftw.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using core::FolderInfo;
using core::format::fileUrlFromPath;
using core::tree::treeSize;
using core::tree::TreeSizeOptions;
using testing_support::TempDir;

namespace {

// --- an independent oracle: nftw without following links -------------------

std::int64_t nftwTotal = 0; // nftw's callback takes no context pointer

int addLstatSize(const char * /*path*/, const struct stat *st, int /*type*/, FTW *ftw)
{
    if (ftw->level > 0 && !S_ISDIR(st->st_mode)) {
        nftwTotal += st->st_size;
    }
    return 0;
}

/// Sum of lstat sizes of everything below `root`, directories counting 0.
/// Called from the test's main thread only.
std::int64_t lstatSum(const std::string &root)
{
    nftwTotal = 0;
    EXPECT_EQ(::nftw(root.c_str(), addLstatSize, 32, FTW_PHYS), 0); // NOLINT(concurrency-mt-unsafe)
    return nftwTotal;
}

/// A deterministic, irregular tree of a few thousand entries: nesting up to
/// 7 levels, wide and narrow folders, hidden names, packages, empty folders,
/// sparse files, links to files, folders, nowhere and outside, and a fifo.
void buildRandomTree(const TempDir &tmp, const std::string &outside)
{
    std::mt19937 random(20261206);
    const auto pick = [&random](int n) {
        return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    std::vector<std::string> dirs = { "t" };
    tmp.makeDir("t");
    for (int i = 0; i < 3000; ++i) {
        const std::string parent = dirs[static_cast<std::size_t>(pick(static_cast<int>(dirs.size())))];
        std::string path = parent + (pick(12) == 0 ? "/.n" : "/n");
        path += std::to_string(i);
        const int kind = pick(100);
        if (kind < 12 && std::count(parent.begin(), parent.end(), '/') < 7) {
            path += pick(10) == 0 ? ".app" : "";
            tmp.makeDir(path);
            dirs.push_back(path);
        } else if (kind < 15) {
            const char *targets[] = { "..", "n1", "nowhere", "/" };
            tmp.makeLink(path, kind == 14 ? outside : targets[pick(4)]);
        } else {
            tmp.writeFile(path, pick(50) == 0 ? (std::int64_t{ 1 } << 33) + i : pick(20000), true);
        }
    }
    ASSERT_EQ(::mkfifo((tmp / "t/fifo").c_str(), 0644), 0);
}

/// Services for one test: a manual dispatcher, a capturing log and the user ann.
class ServicesFixture : public ::testing::Test
{
protected:
    core::platform::Services makeServices()
    {
        core::platform::Services s = core::platform::services();
        s.dispatch = &m_dispatcher;
        s.log = &m_log;
        s.user = core::platform::UserContext{ "ann", "/Users/ann" };
        return s;
    }

    testing_support::ManualDispatcher m_dispatcher;
    core::platform::CapturingLogSink m_log;
    core::platform::ScopedServices m_services{ makeServices() };
    TempDir m_tmp;
};

std::string dirUrl(const std::string &path)
{
    return fileUrlFromPath(path, true);
}

} // namespace

// --- treeSize ---------------------------------------------------------------

TEST(TreeSizeTest, MatchesAnIndependentLstatSumOnAnIrregularTree)
{
    TempDir outside;
    outside.writeFile("big", 1'000'000);
    TempDir tmp;
    buildRandomTree(tmp, outside.path());
    const std::int64_t expected = lstatSum(tmp / "t");
    ASSERT_GT(expected, 0);
    for (int threads = 1; threads <= 4; ++threads) {
        EXPECT_EQ(treeSize(tmp / "t", TreeSizeOptions{ threads }), expected) << threads << " threads";
    }

    std::int64_t walkerSum = 0;
    core::tree::Walker walker(tmp / "t", core::tree::WalkOptions{});
    while (const core::tree::WalkItem *item = walker.next()) {
        walkerSum += item->isDir ? 0 : item->size;
    }
    EXPECT_EQ(walkerSum, expected);
}

TEST(TreeSizeTest, ConcurrentWalksAgree)
{
    TempDir outside;
    TempDir tmp;
    buildRandomTree(tmp, outside.path());
    const std::int64_t expected = lstatSum(tmp / "t");
    std::vector<std::int64_t> results(4, -1);
    {
        std::vector<std::jthread> threads;
        threads.reserve(results.size());
        for (std::int64_t &result : results) {
            threads.emplace_back([&result, &tmp] {
                result = treeSize(tmp / "t");
            });
        }
    }
    EXPECT_EQ(results, std::vector<std::int64_t>(4, expected));
}

TEST(TreeSizeTest, LinksCountTheirOwnLengthAndAreNeverFollowed)
{
    TempDir outside;
    outside.writeFile("content", 1'000'000);
    TempDir tmp;
    tmp.writeFile("dir/file", 10);
    tmp.makeLink("dir/loop", ".."); // 2
    tmp.makeLink("self", "self"); // 4
    tmp.makeLink("out", outside.path()); // its target's text
    tmp.makeLink("dangling", "no-where"); // 8
    const auto outLength = static_cast<std::int64_t>(outside.path().size());
    EXPECT_EQ(treeSize(tmp.path()), 10 + 2 + 4 + outLength + 8);
    // The root itself is followed.
    EXPECT_EQ(treeSize(tmp / "out"), 1'000'000);
}

TEST(TreeSizeTest, OddNamesSparseFilesAndSpecialFiles)
{
    TempDir tmp;
    tmp.writeFile("with space/a b", 3);
    tmp.writeFile("caf\xc3\xa9/\xe6\x97\xa5\xe6\x9c\xac", 5);
    tmp.writeFile("\xff\xfe/\x80", 7);
    tmp.writeFile(".hidden/.h", 11);
    tmp.writeFile("Tool.app/Contents/MacOS/tool", 13);
    tmp.writeFile("sparse", std::int64_t{ 5 } << 30, true);
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0644), 0);
    EXPECT_EQ(treeSize(tmp.path()), 3 + 5 + 7 + 11 + 13 + (std::int64_t{ 5 } << 30));
}

TEST(TreeSizeTest, NotAFolderIsZero)
{
    TempDir tmp;
    tmp.writeFile("file", 10);
    tmp.makeDir("empty");
    EXPECT_EQ(treeSize(tmp / "file"), 0);
    EXPECT_EQ(treeSize(tmp / "missing"), 0);
    EXPECT_EQ(treeSize(tmp / "empty"), 0);
    EXPECT_EQ(treeSize(""), 0);
}

TEST(TreeSizeTest, AFolderOf50000Entries)
{
    TempDir tmp;
    const std::string flat = tmp.makeDir("flat");
    const int fd = ::open(flat.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::int64_t expected = 0;
    for (int i = 0; i < 50'000; ++i) {
        const std::string name = "entry-" + std::to_string(i);
        if (i % 1000 == 0) {
            ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
            continue;
        }
        const int file = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(file, 0);
        ASSERT_EQ(::ftruncate(file, i % 97), 0);
        ::close(file);
        expected += i % 97;
    }
    ::close(fd);
    tmp.writeFile("flat/entry-0/inner", 1000);
    expected += 1000;

    // Its files are shared out between the threads: each counted once.
    for (int threads = 1; threads <= 4; ++threads) {
        EXPECT_EQ(treeSize(tmp.path(), TreeSizeOptions{ threads }), expected) << threads << " threads";
    }
    core::tree::WalkOptions options;
    options.wantStat = false;
    core::tree::Walker walker(tmp.path(), options);
    std::size_t count = 0;
    std::string previous;
    bool sorted = true;
    while (const core::tree::WalkItem *item = walker.next()) {
        sorted = sorted && previous < item->path;
        previous = item->path;
        ++count;
    }
    EXPECT_EQ(count, 50'002U); // flat, its 50000 entries, entry-0/inner
    EXPECT_TRUE(sorted);
}

TEST(TreeSizeTest, UnreadableSubtreesCountZero)
{
    TempDir tmp;
    ::chmod(tmp.path().c_str(), 0755); // let the unprivileged child in
    tmp.writeFile("open/a", 100);
    tmp.writeFile("locked/b", 1000);
    tmp.writeFile("listable/c", 10000);
    tmp.writeFile("z", 1);
    ::chmod((tmp / "locked").c_str(), 0);
    ::chmod((tmp / "listable").c_str(), 0444); // names readable, sizes not
    // Root passes every permission check, so the measure runs as an unprivileged user.
    const int code = testing_support::runAsNobody([&] {
        return treeSize(tmp.path()) == 101 ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
}

// --- FolderInfo sizing ------------------------------------------------------

using FolderSizeTest = ServicesFixture;

TEST_F(FolderSizeTest, GetFolderSizeOfWhatIsNotAFolderIsZero)
{
    m_tmp.writeFile("file", 10);
    m_tmp.makeDir("empty");
    EXPECT_EQ(FolderInfo::getFolderSize(fileUrlFromPath(m_tmp / "file")), 0);
    EXPECT_EQ(FolderInfo::getFolderSize(dirUrl(m_tmp / "missing")), 0);
    EXPECT_EQ(FolderInfo::getFolderSize(dirUrl(m_tmp / "empty")), 0);
    EXPECT_EQ(FolderInfo::getFolderSize(m_tmp.path()), 0) << "a bare path is not a URL";
    EXPECT_EQ(FolderInfo::getFolderSize("file://relative/x"), 0);
    EXPECT_EQ(FolderInfo::getFolderSize(""), 0);
}

TEST_F(FolderSizeTest, HiddenFilesAndPackageContentCount)
{
    m_tmp.writeFile("f/.hidden", 10);
    m_tmp.writeFile("f/Tool.app/Contents/x", 5);
    EXPECT_EQ(FolderInfo::getFolderSize(dirUrl(m_tmp / "f")), 15);
    EXPECT_EQ(FolderInfo::getFolderSize(fileUrlFromPath(m_tmp / "f")), 15) << "with or without the trailing slash";
}

TEST_F(FolderSizeTest, EscapedUrlsAndALinkedRoot)
{
    m_tmp.writeFile("a b%/\xff/x", 9);
    m_tmp.makeLink("link", "a b%");
    EXPECT_EQ(FolderInfo::getFolderSize(dirUrl(m_tmp / "a b%")), 9);
    // The existence check and the walk's start follow a link; nothing below it does.
    EXPECT_EQ(FolderInfo::getFolderSize(dirUrl(m_tmp / "link")), 9);
}

TEST_F(FolderSizeTest, AsyncGetFolderSizeAnswersOnceOnTheMainQueue)
{
    m_tmp.writeFile("f/a", 4);
    std::vector<std::int64_t> answers;
    FolderInfo::asyncGetFolderSize(dirUrl(m_tmp / "f"), [&answers](std::int64_t size) {
        answers.push_back(size);
    });
    EXPECT_TRUE(answers.empty()) << "returns before the size is known";
    EXPECT_EQ(m_dispatcher.pendingBackground(), 1U);
    EXPECT_EQ(m_dispatcher.pendingMain(), 0U);

    ASSERT_TRUE(m_dispatcher.runOneBackground());
    EXPECT_TRUE(answers.empty()) << "the callback waits for the main queue";
    EXPECT_EQ(m_dispatcher.pendingMain(), 1U);

    m_dispatcher.runAllQueues();
    EXPECT_EQ(answers, std::vector<std::int64_t>{ 4 });
}

TEST_F(FolderSizeTest, UserHomeDirectoryIsTheInjectedOne)
{
    EXPECT_EQ(FolderInfo::getUserHomeDirectory(), "/Users/ann");
    core::platform::Services trailing = core::platform::services();
    trailing.user.homeDir = "/home/bob/";
    const core::platform::ScopedServices scoped(std::move(trailing));
    EXPECT_EQ(FolderInfo::getUserHomeDirectory(), "/home/bob");
}
