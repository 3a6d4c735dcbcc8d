#include "tree/Removal.h"

#include "support/FolderSwap.h"
#include "support/MountNamespace.h"
#include "support/RunAsNobody.h"
#include "support/ScopedImmutable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <functional>
#include <ostream>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using core::tree::isDeletable;
using core::tree::isProtectedPath;
using core::tree::removeItem;
using testing_support::CannotRun;
using testing_support::FolderSwap;
using testing_support::readFile;
using testing_support::runAsNobody;
using testing_support::ScopedFolderSwap;
using testing_support::ScopedImmutable;
using testing_support::TempDir;

constexpr uid_t NobodyId = 65534;

bool exists(const std::string &path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

bool isLink(const std::string &path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

/// Lets the unprivileged user reach the temporary tree (mkdtemp makes it 0700).
void openToNobody(const TempDir &dir)
{
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
}

/// Runs `fn` as nobody after checking that nobody can reach `root`;
/// CannotRun when either is impossible.
int runAsNobodyIn(const std::string &root, const std::function<int()> &fn)
{
    return runAsNobody([&] {
        return ::access(root.c_str(), X_OK) == 0 ? fn() : CannotRun;
    });
}

TEST(RemovalTest, RemovesNestedTreeWithHiddenFilesAndPackages)
{
    TempDir t;
    t.writeFile("victim/.hidden", 10);
    t.writeFile("victim/a/b/c/deep.txt", 100);
    t.writeFile("victim/.cache/x/.y", 1);
    t.writeFile("victim/Tool.app/Contents/Info.plist", 20);
    t.makeDir("victim/empty");
    t.writeFile("victim-sibling.txt", 3);

    const core::Status status = removeItem(t / "victim");

    ASSERT_TRUE(status.has_value()) << status.error().path << ": " << status.error().message;
    EXPECT_FALSE(exists(t / "victim"));
    EXPECT_TRUE(exists(t / "victim-sibling.txt"));
}

TEST(RemovalTest, LinksInsideAreRemovedButNeverFollowed)
{
    TempDir t;
    t.writeFile("outside/keep.txt", 7);
    t.writeFile("outside.txt", 5);
    t.makeLink("victim/to-dir", t / "outside");
    t.makeLink("victim/sub/to-file", t / "outside.txt");
    t.makeLink("victim/relative-up", "../outside");
    t.makeLink("victim/dangling", t / "nowhere");

    ASSERT_TRUE(removeItem(t / "victim").has_value());

    EXPECT_FALSE(exists(t / "victim"));
    EXPECT_EQ(readFile(t / "outside/keep.txt"), "xxxxxxx");
    EXPECT_EQ(readFile(t / "outside.txt"), "xxxxx");
}

TEST(RemovalTest, RemovingALinkRemovesOnlyTheLink)
{
    TempDir t;
    t.writeFile("target/keep.txt", 4);
    t.writeFile("target.txt", 2);
    t.makeLink("dir-link", t / "target");
    t.makeLink("dir-link-slash", t / "target");
    t.makeLink("file-link", t / "target.txt");

    EXPECT_TRUE(removeItem(t / "dir-link").has_value());
    // A trailing slash would make the kernel resolve the link; the link is still what goes.
    EXPECT_TRUE(removeItem(t / "dir-link-slash/").has_value());
    EXPECT_TRUE(removeItem(t / "file-link").has_value());

    EXPECT_FALSE(exists(t / "dir-link"));
    EXPECT_FALSE(exists(t / "dir-link-slash"));
    EXPECT_FALSE(exists(t / "file-link"));
    EXPECT_EQ(readFile(t / "target/keep.txt"), "xxxx");
    EXPECT_EQ(readFile(t / "target.txt"), "xx");
}

TEST(RemovalTest, MissingAndMalformedPathsFailWithoutTouchingAnything)
{
    TempDir t;
    t.writeFile("a/keep.txt", 1);

    const core::Status missing = removeItem(t / "missing");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_EQ(missing.error().path, t / "missing");

    EXPECT_FALSE(removeItem(t / "nowhere/missing").has_value());
    EXPECT_FALSE(removeItem("").has_value());
    EXPECT_EQ(removeItem(t / "a/..").error().code, EINVAL);
    EXPECT_EQ(removeItem(t / "a/.").error().code, EINVAL);
    EXPECT_TRUE(exists(t / "a/keep.txt"));
}

TEST(RemovalTest, SubfolderSwappedForLinkBeforeOpeningIsNotFollowed)
{
    TempDir t;
    t.writeFile("outside/keep.txt", 3);
    t.writeFile("victim/a.txt", 1);
    t.writeFile("victim/sub/inner.txt", 1);
    FolderSwap swap{ t / "victim", "sub", t / "stash", t / "outside" };
    const ScopedFolderSwap hook(swap);

    const core::Status status = removeItem(t / "victim");

    ASSERT_TRUE(swap.done);
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().path, t / "victim/sub");
    EXPECT_NE(status.error().code, 0);
    EXPECT_EQ(readFile(t / "outside/keep.txt"), "xxx");
    EXPECT_TRUE(isLink(t / "victim/sub"));
    EXPECT_FALSE(exists(t / "victim/a.txt")); // the other children still went
}

TEST(RemovalTest, TopFolderSwappedForLinkBeforeOpeningIsNotFollowed)
{
    TempDir t;
    t.writeFile("outside/keep.txt", 3);
    t.writeFile("victim/inner.txt", 1);
    FolderSwap swap{ t.path(), "victim", t / "stash", t / "outside" };
    const ScopedFolderSwap hook(swap);

    const core::Status status = removeItem(t / "victim");

    ASSERT_TRUE(swap.done);
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().path, t / "victim");
    EXPECT_EQ(readFile(t / "outside/keep.txt"), "xxx");
}

TEST(RemovalTest, SubfolderSwappedForAnotherFolderIsNotEmptied)
{
    TempDir t;
    t.writeFile("other/keep.txt", 3);
    t.writeFile("victim/sub/inner.txt", 1);
    FolderSwap swap{ t / "victim", "sub", t / "stash", t / "other", false };
    const ScopedFolderSwap hook(swap);

    const core::Status status = removeItem(t / "victim");

    ASSERT_TRUE(swap.done);
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().path, t / "victim/sub");
    EXPECT_EQ(readFile(t / "victim/sub/keep.txt"), "xxx");
}

TEST(RemovalTest, ImmutableChildLeavesPartialTreeAndIsNamed)
{
    TempDir t;
    t.writeFile("tree/a.txt", 1);
    t.writeFile("tree/locked/held.txt", 1);
    t.writeFile("tree/z/deeper.txt", 1);
    const ScopedImmutable lock(t / "tree/locked");
    if (!lock.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the immutable flag";
    }

    const core::Status status = removeItem(t / "tree");

    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().path, t / "tree/locked/held.txt");
    EXPECT_EQ(status.error().code, EPERM);
    EXPECT_FALSE(status.error().message.empty());
    EXPECT_TRUE(exists(t / "tree/locked/held.txt"));
    EXPECT_FALSE(exists(t / "tree/a.txt"));
    EXPECT_FALSE(exists(t / "tree/z"));
}

TEST(RemovalTest, UnwritableChildAsNobodyLeavesPartialTree)
{
    TempDir t;
    openToNobody(t);
    const std::string tree = t.makeDir("tree");
    t.writeFile("tree/mine.txt", 1);
    t.writeFile("tree/rootdir/held.txt", 1);
    ASSERT_EQ(::chown(tree.c_str(), NobodyId, NobodyId), 0);
    ASSERT_EQ(::chown((t / "tree/mine.txt").c_str(), NobodyId, NobodyId), 0);
    const std::string held = t / "tree/rootdir/held.txt";

    const int rc = runAsNobodyIn(t.path(), [&] {
        const core::Status status = removeItem(tree);
        if (status.has_value()) {
            return 10;
        }
        if (status.error().path != held) {
            return 11;
        }
        return status.error().code == EACCES ? 0 : 12;
    });

    if (rc == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(rc, 0) << "10: removal reported success, 11: wrong path named, 12: wrong errno";
    EXPECT_TRUE(exists(held));
    EXPECT_FALSE(exists(t / "tree/mine.txt"));
}

TEST(RemovalTest, MountPointInsideIsNotEntered)
{
    TempDir t;
    t.writeFile("tree/a.txt", 1);
    const std::string mountPoint = t.makeDir("tree/mnt");

    // 10: reported success, 11: wrong path named, 12: mounted content removed.
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::mountTmpfs(mountPoint)) {
            return CannotRun;
        }
        const std::string inside = TempDir::writeFileAt(mountPoint + "/inside.txt", 1);
        const core::Status status = removeItem(t / "tree");
        if (status.has_value()) {
            return 10;
        }
        if (status.error().path != mountPoint) {
            return 11;
        }
        return exists(inside) ? 0 : 12;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot mount a tmpfs in a private namespace here";
    }
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(exists(t / "tree/a.txt"));
}

TEST(RemovalTest, RemovesTreeDeeperThanPathMax)
{
    TempDir t;
    const std::string name(200, 'd');
    const int levels = 25;
    ASSERT_GT(levels * (name.size() + 1), static_cast<std::size_t>(PATH_MAX));
    int fd = ::open(t.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < levels; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    const int leaf = ::openat(fd, "leaf.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(leaf, 0);
    ::close(leaf);
    ::close(fd);

    const core::Status status = removeItem(t / name);

    ASSERT_TRUE(status.has_value()) << status.error().message;
    EXPECT_FALSE(exists(t / name));
}

TEST(RemovalTest, IsDeletableFollowsTheKernelRules)
{
    TempDir t;
    t.writeFile("dir/file.txt", 1);
    t.writeFile("frozen/inside.txt", 1);
    t.writeFile("frozen-file.txt", 1);
    t.makeLink("link-to-frozen", t / "frozen-file.txt");

    EXPECT_TRUE(isDeletable(""));
    EXPECT_FALSE(isDeletable("/"));
    EXPECT_TRUE(isDeletable(t / "dir/file.txt"));
    EXPECT_TRUE(isDeletable(t / "dir/"));
    EXPECT_TRUE(isDeletable(t / "dir/missing")); // its removal fails instead
    EXPECT_FALSE(isDeletable(t / "missing-folder/missing"));

    const ScopedImmutable frozenDir(t / "frozen");
    const ScopedImmutable frozenFile(t / "frozen-file.txt");
    if (!frozenDir.isSet() || !frozenFile.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the immutable flag";
    }
    EXPECT_FALSE(isDeletable(t / "frozen/inside.txt"));
    EXPECT_FALSE(isDeletable(t / "frozen"));
    EXPECT_FALSE(isDeletable(t / "frozen-file.txt"));
    EXPECT_EQ(core::tree::checkDeletable(t / "frozen-file.txt").error().code, EPERM);
    EXPECT_TRUE(isDeletable(t / "link-to-frozen")); // the link is not what is frozen
}

TEST(RemovalTest, IsDeletableAsNobodyHonoursPermissionsAndStickyFolders)
{
    TempDir t;
    openToNobody(t);
    t.writeFile("readonly/file.txt", 1);
    ASSERT_EQ(::chmod((t / "readonly").c_str(), 0555), 0);
    const std::string sticky = t.makeDir("sticky");
    ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
    t.writeFile("sticky/roots.txt", 1);
    const std::string own = t.writeFile("sticky/own.txt", 1);
    ASSERT_EQ(::chown(own.c_str(), NobodyId, NobodyId), 0);

    const int rc = runAsNobodyIn(t.path(), [&] {
        if (core::tree::checkDeletable(t / "readonly/file.txt").error().code != EACCES) {
            return 10;
        }
        if (isDeletable(t / "readonly/missing")) {
            return 11;
        }
        if (core::tree::checkDeletable(t / "sticky/roots.txt").error().code != EPERM) {
            return 12;
        }
        if (!isDeletable(own)) {
            return 13;
        }
        return isDeletable(t / "sticky/missing") ? 14 : 0;
    });

    if (rc == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(rc, 0) << "10/11: read-only folder, 12: someone else's file in a sticky folder, "
                        "13: own file in a sticky folder, 14: missing item in a sticky folder";
}

struct ProtectedCase
{
    const char *path;
    const char *home;
    bool isProtected;
};

void PrintTo(const ProtectedCase &c, std::ostream *out)
{
    *out << '"' << c.path << "\" with home \"" << c.home << '"';
}

/// A readable, stable test name: the case's number, path and home with
/// every character that may not stand in a name turned into "_".
std::string caseName(const testing::TestParamInfo<ProtectedCase> &info)
{
    std::string name = std::to_string(info.index) + "_" + info.param.path + "_home_" + info.param.home;
    for (char &c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            c = '_';
        }
    }
    return name;
}

class RemovalProtectedPathTest : public testing::TestWithParam<ProtectedCase>
{
};

TEST_P(RemovalProtectedPathTest, Classifies)
{
    const ProtectedCase &c = GetParam();
    EXPECT_EQ(isProtectedPath(c.path, c.home), c.isProtected) << '"' << c.path << "\" with home " << c.home;
}

INSTANTIATE_TEST_SUITE_P(Paths,
    RemovalProtectedPathTest,
    testing::Values(
        // The root, top-level folders and what is directly in them.
        ProtectedCase{ "/", "/home/ann", true },
        ProtectedCase{ "/usr", "/home/ann", true },
        ProtectedCase{ "/usr/share", "/home/ann", true },
        ProtectedCase{ "/var/log", "/home/ann", true },
        ProtectedCase{ "/etc/", "/home/ann", true },
        ProtectedCase{ "//usr//share/", "/home/ann", true },
        ProtectedCase{ "/home/bob", "/home/ann", true },
        ProtectedCase{ "/mnt/usb", "/home/ann", true },
        ProtectedCase{ "/tmp/x", "/home/ann", true },
        ProtectedCase{ "/usr/share/locale", "/home/ann", false },
        ProtectedCase{ "/var/log/old.log.1", "/home/ann", false },
        // The home folder and every folder above it, on component boundaries.
        ProtectedCase{ "/home/ann", "/home/ann", true },
        ProtectedCase{ "/home/ann/", "/home/ann/", true },
        ProtectedCase{ "/srv/users/ann", "/srv/users/ann", true },
        ProtectedCase{ "/srv/users", "/srv/users/ann", true },
        ProtectedCase{ "/srv/users/an", "/srv/users/ann", false },
        ProtectedCase{ "/srv/users/annex", "/srv/users/ann", false },
        ProtectedCase{ "/srv/users/ann/.cache", "/srv/users/ann", false },
        ProtectedCase{ "/home/ann/.cache/thumbnails", "/home/ann", false },
        // A top-level home: its own items may go, system ones still not.
        ProtectedCase{ "/root", "/root", true },
        ProtectedCase{ "/root/big.iso", "/root", false },
        ProtectedCase{ "/usr/share", "/root", true },
        ProtectedCase{ "/tmp/x", "/tmp", true },
        ProtectedCase{ "/usr/x", "/usr", true },
        // Nothing is normalised: relative paths, "." and ".." are refused.
        ProtectedCase{ "", "/home/ann", true },
        ProtectedCase{ "home/ann/.cache", "/home/ann", true },
        ProtectedCase{ "/home/ann/.cache/..", "/home/ann", true },
        ProtectedCase{ "/home/ann/../../usr/lib/x", "/home/ann", true },
        ProtectedCase{ "/home/ann/./.cache", "/home/ann", true },
        // A missing or relative home protects nothing extra.
        ProtectedCase{ "/srv/users/ann", "", false },
        ProtectedCase{ "/srv/users/ann", "users/ann", false }),
    caseName);

} // namespace
