// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/Walker.h"

#include "RunAsNobody.h"
#include "TempDir.h"
#include "platform/Services.h"
#include "tree/MountInfo.h"
#include "tree/TreeSize.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using core::tree::Walker;
using core::tree::WalkItem;
using core::tree::WalkOptions;
using testing_support::makeChain;
using testing_support::TempDir;

namespace {

/// One walked item as readable text: "<level> <relative path>[/][@]", "/"
/// for a directory, "@" for a link, "!" when its values could not be read.
std::vector<std::string> walk(const std::string &root, WalkOptions options, const std::string &skip = "")
{
    std::vector<std::string> out;
    Walker walker(root, options);
    while (const WalkItem *item = walker.next()) {
        std::string line = std::to_string(walker.level()) + " " + item->path.substr(root.size() + 1);
        if (item->isDir) {
            line += "/";
        }
        if (item->isSymlink) {
            line += "@";
        }
        if (!item->statOk) {
            line += "!";
        }
        out.push_back(line);
        if (!skip.empty() && item->name == skip) {
            walker.skipDescendants();
        }
    }
    return out;
}

WalkOptions noStat()
{
    WalkOptions options;
    options.wantStat = false;
    return options;
}

/// Removes a chain made by makeChain with a constant number of descriptors,
/// however deep it is: lift the grandchild up, drop the emptied child, repeat.
void removeChain(const std::string &root, const std::string &name)
{
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (;;) {
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (child < 0) {
            break;
        }
        ::unlinkat(child, "leaf", 0);
        const bool lifted = ::renameat(child, name.c_str(), fd, "lifted") == 0;
        ::close(child);
        ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
        if (!lifted || ::renameat(fd, "lifted", fd, name.c_str()) != 0) {
            break;
        }
    }
    ::close(fd);
}

} // namespace

TEST(WalkerTest, PreOrderWithNamesSortedByBytesAndLevels)
{
    TempDir tmp;
    tmp.writeFile("b/z.txt", 1);
    tmp.writeFile("b/a/deep.txt", 2);
    tmp.writeFile("a.txt", 3);
    tmp.writeFile("B", 4);
    tmp.writeFile("a b", 5);
    tmp.writeFile("\xff\xfe", 6);
    tmp.writeFile("caf\xc3\xa9", 7);
    tmp.makeDir("empty");
    // Names alike in their first eight bytes, and names that start others.
    tmp.writeFile("IMG_0001b.jpg", 8);
    tmp.writeFile("IMG_0001a.jpg", 8);
    tmp.writeFile("IMG_0001", 8);
    tmp.writeFile("IMG_000", 8);
    const std::vector<std::string> expected = {
        "1 B",
        "1 IMG_000",
        "1 IMG_0001",
        "1 IMG_0001a.jpg",
        "1 IMG_0001b.jpg",
        "1 a b",
        "1 a.txt",
        "1 b/",
        "2 b/a/",
        "3 b/a/deep.txt",
        "2 b/z.txt",
        "1 caf\xc3\xa9",
        "1 empty/",
        "1 \xff\xfe",
    };
    EXPECT_EQ(walk(tmp.path(), WalkOptions{}), expected);
    EXPECT_EQ(walk(tmp.path(), noStat()), expected);
}

TEST(WalkerTest, ItemValuesComeFromTheEntryItself)
{
    TempDir tmp;
    tmp.writeFile("sparse", 1LL << 40, true);
    tmp.makeDir("Tool.app/Contents");
    tmp.writeFile("fake.app", 1);
    tmp.writeFile(".hidden", 1);
    tmp.makeLink("link", "sparse");
    testing_support::setMtime(tmp / "sparse", 1'000'000'000);

    Walker walker(tmp.path(), WalkOptions{});
    ASSERT_TRUE(walker.opened());
    std::vector<WalkItem> items;
    while (const WalkItem *item = walker.next()) {
        items.push_back(*item);
    }
    ASSERT_EQ(items.size(), 6U); // .hidden, Tool.app, Tool.app/Contents, fake.app, link, sparse
    EXPECT_TRUE(items[0].isHidden);
    EXPECT_TRUE(items[1].isDir && items[1].isPackage && !items[1].hasSize);
    EXPECT_FALSE(items[2].isPackage);
    EXPECT_FALSE(items[3].isPackage) << "a file named *.app is not a package";
    EXPECT_TRUE(items[4].isSymlink && !items[4].isDir && items[4].hasSize);
    EXPECT_EQ(items[4].size, 6) << "a link's size is the length of its target text";
    EXPECT_EQ(items[5].name, "sparse");
    EXPECT_EQ(items[5].path, tmp / "sparse");
    EXPECT_EQ(items[5].size, 1LL << 40) << "logical size, not allocated blocks";
    EXPECT_EQ(items[5].mtime.seconds, 1'000'000'000);
}

TEST(WalkerTest, SkipDescendantsLeavesOnlyThatFolderOut)
{
    TempDir tmp;
    tmp.writeFile("a/inner/x", 1);
    tmp.writeFile("a/y", 1);
    tmp.writeFile("b/z", 1);
    EXPECT_EQ(walk(tmp.path(), WalkOptions{}, "a"), (std::vector<std::string>{ "1 a/", "1 b/", "2 b/z" }));
    EXPECT_EQ(walk(tmp.path(), WalkOptions{}, "inner"),
        (std::vector<std::string>{ "1 a/", "2 a/inner/", "2 a/y", "1 b/", "2 b/z" }));
}

TEST(WalkerTest, SkipOptions)
{
    TempDir tmp;
    tmp.writeFile(".cache/data", 1);
    tmp.writeFile(".profile", 1);
    tmp.writeFile("Tool.app/Contents/bin", 1);
    tmp.writeFile("docs/.git/HEAD", 1);
    tmp.writeFile("docs/readme", 1);

    WalkOptions hidden;
    hidden.skipHidden = true;
    EXPECT_EQ(walk(tmp.path(), hidden),
        (std::vector<std::string>{
            "1 Tool.app/", "2 Tool.app/Contents/", "3 Tool.app/Contents/bin", "1 docs/", "2 docs/readme" }));

    WalkOptions packages;
    packages.skipPackageDescendants = true;
    EXPECT_EQ(walk(tmp.path(), packages),
        (std::vector<std::string>{ "1 .cache/",
            "2 .cache/data",
            "1 .profile",
            "1 Tool.app/",
            "1 docs/",
            "2 docs/.git/",
            "3 docs/.git/HEAD",
            "2 docs/readme" }));

    WalkOptions shallow = noStat();
    shallow.skipSubdirectoryDescendants = true;
    shallow.skipHidden = true;
    EXPECT_EQ(walk(tmp.path(), shallow), (std::vector<std::string>{ "1 Tool.app/", "1 docs/" }));
}

TEST(WalkerTest, LinksAreNeverFollowedBelowTheRoot)
{
    TempDir outside;
    outside.writeFile("secret", 100);
    TempDir tmp;
    tmp.makeDir("dir");
    tmp.makeLink("dir/loop", "..");
    tmp.makeLink("self", "self");
    tmp.makeLink("out", outside.path());
    tmp.makeLink("dangling", "nowhere");
    const std::vector<std::string> expected = { "1 dangling@", "1 dir/", "2 dir/loop@", "1 out@", "1 self@" };
    EXPECT_EQ(walk(tmp.path(), WalkOptions{}), expected);
    EXPECT_EQ(walk(tmp.path(), noStat()), expected) << "the entry type alone must not make a link a directory";
}

TEST(WalkerTest, TheRootIsFollowedWhenItIsALink)
{
    TempDir tmp;
    tmp.writeFile("real/file", 1);
    const std::string link = tmp.makeLink("link", "real");
    EXPECT_EQ(walk(link, WalkOptions{}), std::vector<std::string>{ "1 file" });

    Walker trailing(link + "/", WalkOptions{});
    const WalkItem *item = trailing.next();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->path, link + "/file");

    EXPECT_FALSE(Walker(tmp / "real/file", WalkOptions{}).opened());
    EXPECT_FALSE(Walker(tmp / "missing", WalkOptions{}).opened());
    Walker missing(tmp / "missing", WalkOptions{});
    EXPECT_EQ(missing.next(), nullptr);
}

TEST(WalkerTest, RootSlashMakesSingleSlashPaths)
{
    WalkOptions shallow = noStat();
    shallow.skipSubdirectoryDescendants = true;
    Walker walker("/", shallow);
    const WalkItem *item = walker.next();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->path, "/" + item->name);
}

TEST(WalkerTest, ChainsDeeperThanPathMaxAreWalkedWithFewDescriptors)
{
    TempDir tmp;
    ASSERT_TRUE(makeChain(tmp.path(), "n", 300, 3));
    const std::string longName(250, 'L');
    ASSERT_TRUE(makeChain(tmp.path(), longName, 20, 5)); // about 5000 bytes of path

    // A tight descriptor limit proves that a chain does not hold one per level.
    struct rlimit saved
    {
    };
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);

    Walker walker(tmp.path(), WalkOptions{});
    int maxLevel = 0;
    std::vector<std::pair<int, std::int64_t>> leaves;
    std::size_t longestPath = 0;
    while (const WalkItem *item = walker.next()) {
        maxLevel = std::max(maxLevel, walker.level());
        longestPath = std::max(longestPath, item->path.size());
        if (item->name == "leaf") {
            leaves.emplace_back(walker.level(), item->statOk ? item->size : -1);
        }
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(maxLevel, 301);
    EXPECT_GT(longestPath, std::size_t{ PATH_MAX });
    EXPECT_EQ(leaves, (std::vector<std::pair<int, std::int64_t>>{ { 21, 5 }, { 301, 3 } }));
    EXPECT_EQ(core::tree::treeSize(tmp.path()), 8);
}

TEST(WalkerTest, FoldersBelowLevel4096AreTreatedAsUnreadable)
{
    TempDir tmp;
    // Leaves at level 4096 (the last one walked) and 4097 (one too deep).
    ASSERT_TRUE(makeChain(tmp.path(), "a", 4095, 7));
    ASSERT_TRUE(makeChain(tmp.path(), "b", 4096, 100));
    Walker walker(tmp.path(), noStat());
    int maxLevel = 0;
    std::vector<int> leafLevels;
    while (const WalkItem *item = walker.next()) {
        maxLevel = std::max(maxLevel, walker.level());
        if (item->name == "leaf") {
            leafLevels.push_back(walker.level());
        }
    }
    const std::int64_t size = core::tree::treeSize(tmp.path());
    removeChain(tmp.path(), "a");
    removeChain(tmp.path(), "b");

    EXPECT_EQ(maxLevel, 4096);
    EXPECT_EQ(leafLevels, std::vector<int>{ 4096 });
    EXPECT_EQ(size, 7);
}

TEST(WalkerTest, UnreadableFoldersArePassedOverAndUnstattableItemsFlagged)
{
    TempDir tmp;
    ::chmod(tmp.path().c_str(), 0755); // let the unprivileged child in
    tmp.writeFile("a/file", 1);
    tmp.writeFile("locked/inside", 1);
    tmp.writeFile("listable/inside", 1);
    tmp.writeFile("z", 1);
    ::chmod((tmp / "locked").c_str(), 0);
    ::chmod((tmp / "listable").c_str(), 0444); // names readable, entries not stat'able

    const std::vector<std::string> expected = {
        "1 a/", "2 a/file", "1 listable/", "2 listable/inside!", "1 locked/", "1 z"
    };
    // Root passes every permission check, so the check runs as an unprivileged user.
    const int code = testing_support::runAsNobody([&] {
        return walk(tmp.path(), WalkOptions{}) == expected ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
}

TEST(WalkerTest, StatItemDescribesTheItemAndTheFollowingChecksFollow)
{
    TempDir tmp;
    tmp.writeFile("dir/file", 12);
    tmp.makeLink("to-dir", "dir");
    tmp.makeLink("dangling", "missing-target");

    const WalkItem file = core::tree::statItem(tmp / "dir/file");
    EXPECT_TRUE(file.statOk && file.hasSize);
    EXPECT_EQ(file.size, 12);
    EXPECT_EQ(file.name, "file");

    const WalkItem link = core::tree::statItem(tmp / "to-dir/");
    EXPECT_TRUE(link.statOk && link.isSymlink && !link.isDir);
    EXPECT_EQ(link.name, "to-dir");
    EXPECT_TRUE(core::tree::isDirectoryFollowing(tmp / "to-dir"));
    EXPECT_TRUE(core::tree::existsFollowing(tmp / "to-dir"));

    EXPECT_TRUE(core::tree::statItem(tmp / "dangling").statOk);
    EXPECT_FALSE(core::tree::existsFollowing(tmp / "dangling"));
    EXPECT_FALSE(core::tree::isDirectoryFollowing(tmp / "dir/file"));
    EXPECT_FALSE(core::tree::statItem(tmp / "missing").statOk);
}

TEST(WalkerTest, RaiseFileLimitLiftsTheSoftLimitToTheHardOne)
{
    struct rlimit before
    {
    };
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    const std::uint64_t now = core::tree::raiseFileLimit();
    EXPECT_GE(now, before.rlim_cur);
    if (before.rlim_max != RLIM_INFINITY) {
        EXPECT_EQ(now, before.rlim_max);
    }
    EXPECT_EQ(core::tree::raiseFileLimit(), now);
}

// --- mount types ---------------------------------------------------------

TEST(WalkerMountTypesTest, ParsesRecordedMountinfo)
{
    const std::string path = std::string(SPRUCE_SOURCE_DIR) + "/tests/fixtures/mountinfo/desktop-with-network";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::tuple<unsigned, unsigned, std::string>> entries;
    for (const auto &line : core::tree::splitMountInfo(text)) {
        entries.emplace_back(line.major, line.minor, std::string(line.fsType));
    }
    const std::vector<std::tuple<unsigned, unsigned, std::string>> expected = {
        { 0, 21, "sysfs" },
        { 0, 22, "proc" },
        { 0, 5, "devtmpfs" },
        { 0, 23, "devpts" },
        { 259, 2, "ext4" },
        { 0, 25, "tmpfs" },
        { 0, 26, "cgroup2" },
        { 259, 1, "vfat" },
        { 0, 50, "autofs" },
        { 0, 62, "fuse.gvfsd-fuse" },
        { 0, 70, "nfs4" },
        { 0, 71, "fuse.sshfs" },
        { 0, 72, "cifs" },
        { 7, 3, "squashfs" },
        { 0, 73, "overlay" },
    };
    EXPECT_EQ(entries, expected) << "optional fields, escaped names and malformed lines";
}

TEST(WalkerMountTypesTest, NetworkAndPseudoTypesAreToldApartFromLocalOnes)
{
    for (const char *network : { "nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "9p" }) {
        EXPECT_TRUE(core::tree::isNetworkFsType(network)) << network;
    }
    for (const char *local : { "ext4", "btrfs", "xfs", "vfat", "tmpfs", "overlay", "nfsd" }) {
        EXPECT_FALSE(core::tree::isNetworkFsType(local)) << local;
    }
    for (const char *pseudo : { "proc", "sysfs", "cgroup2", "autofs", "fuse.gvfsd-fuse" }) {
        EXPECT_TRUE(core::tree::isKernelPseudoFsType(pseudo)) << pseudo;
    }
    EXPECT_FALSE(core::tree::isKernelPseudoFsType("ext4"));
}

TEST(WalkerMountTypesTest, SplitLinesKeepEscapesAndAnOptionalSource)
{
    // The first line is proc(5)'s example with an escaped space added.
    const std::string text =
        "36 35 98:0 /mnt1 /mnt/my\\040disk rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
        "37 35 0:40 /  /no/source  rw - tmpfs\n"
        "38 35 +8:1 / /signed rw - ext4 /dev/sda1 rw\n";
    const auto lines = core::tree::splitMountInfo(text);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0].major, 98U);
    EXPECT_EQ(lines[0].minor, 0U);
    EXPECT_EQ(lines[0].root, "/mnt1");
    EXPECT_EQ(lines[0].mountPoint, "/mnt/my\\040disk");
    EXPECT_EQ(lines[0].fsType, "ext3");
    EXPECT_EQ(lines[0].source, "/dev/root");
    EXPECT_EQ(lines[1].mountPoint, "/no/source");
    EXPECT_EQ(lines[1].fsType, "tmpfs");
    EXPECT_TRUE(lines[1].source.empty());
}
