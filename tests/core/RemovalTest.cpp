// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using core::tree::isProtectedPath;
using core::tree::Refusal;
using core::tree::RemovalOutcome;
using core::tree::RemovalRequest;
using testing_support::CannotRun;
using testing_support::exists;
using testing_support::FolderSwap;
using testing_support::readFile;
using testing_support::runAsNobody;
using testing_support::ScopedAppendOnly;
using testing_support::ScopedImmutable;
using testing_support::swapHook;
using testing_support::TempDir;

constexpr uid_t NobodyId = 65534;

bool isLink(const std::string &path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

/// Removes `relative` below the folder `base`, as the cleaner does for a
/// record found there (an empty `relative`: everything inside `base`).
RemovalOutcome removeAt(const std::string &base, const std::string &relative, RemovalRequest request = {})
{
    const std::optional<core::tree::Anchor> anchor = core::tree::anchorAt(base);
    if (!anchor) {
        RemovalOutcome outcome;
        outcome.error = core::Error::fromErrno(ENOENT, base);
        return outcome;
    }
    return core::tree::removeBelow(*anchor, relative, request);
}

RemovalRequest dryRun()
{
    RemovalRequest request;
    request.dryRun = true;
    return request;
}

/// Lets the unprivileged user reach the temporary tree.
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

TEST(RemovalTest, RemovesNestedTreeWithHiddenFilesAndPackagesCountingWhatWent)
{
    TempDir t;
    t.writeFile("victim/.hidden", 10);
    t.writeFile("victim/a/b/c/deep.txt", 100);
    t.writeFile("victim/.cache/x/.y", 1);
    t.writeFile("victim/Tool.app/Contents/Info.plist", 20);
    t.makeDir("victim/empty");
    t.writeFile("victim-sibling.txt", 3);

    const RemovalOutcome outcome = removeAt(t.path(), "victim");

    ASSERT_TRUE(outcome.ok()) << outcome.error->path << ": " << outcome.error->message;
    EXPECT_EQ(outcome.freed, 131);
    EXPECT_EQ(outcome.refusal, Refusal::None);
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

    ASSERT_TRUE(removeAt(t.path(), "victim").ok());

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
    t.makeLink("file-link", t / "target.txt");
    RemovalRequest asLink;
    asLink.expected = core::tree::ItemKind::Symlink;

    EXPECT_TRUE(removeAt(t.path(), "dir-link", asLink).ok());
    EXPECT_TRUE(removeAt(t.path(), "file-link").ok());

    EXPECT_FALSE(exists(t / "dir-link"));
    EXPECT_FALSE(exists(t / "file-link"));
    EXPECT_EQ(readFile(t / "target/keep.txt"), "xxxx");
    EXPECT_EQ(readFile(t / "target.txt"), "xx");
}

TEST(RemovalTest, MissingMalformedAndChangedItemsTouchNothing)
{
    TempDir t;
    t.writeFile("a/keep.txt", 1);
    t.makeDir("dir");

    EXPECT_TRUE(removeAt(t.path(), "missing").alreadyGone);
    EXPECT_TRUE(removeAt(t.path(), "nowhere/missing").alreadyGone);
    for (const char *bad : { "a/..", "a/.", "a//keep.txt", "/a" }) {
        const RemovalOutcome outcome = removeAt(t.path(), bad);
        EXPECT_EQ(outcome.refusal, Refusal::Invalid) << bad;
    }
    RemovalRequest asFile;
    asFile.expected = core::tree::ItemKind::Other;
    const RemovalOutcome changed = removeAt(t.path(), "dir", asFile);
    EXPECT_EQ(changed.refusal, Refusal::ChangedSinceScan);
    EXPECT_EQ(changed.error->message, "changed since the scan; not deleted");
    EXPECT_TRUE(exists(t / "a/keep.txt"));
    EXPECT_TRUE(exists(t / "dir"));
}

TEST(RemovalTest, TheContentOfALocationGoesOnlyForAFolderAndNeverInsteadOfTheTrash)
{
    TempDir t;
    t.writeFile("loc/a.txt", 4);
    t.writeFile("loc/sub/b.txt", 4);

    // The scan saw a file or a link there: the location is not what it was.
    for (const auto kind : { core::tree::ItemKind::Other, core::tree::ItemKind::Symlink }) {
        RemovalRequest request;
        request.expected = kind;
        EXPECT_EQ(removeAt(t / "loc", "", request).refusal, Refusal::ChangedSinceScan);
    }
    // Asked for the Trash: the location stays, so there is no one item to
    // move, and its content is not deleted instead.
    RemovalRequest toTrash;
    toTrash.trash =
        std::make_shared<core::tree::TrashPlace>(core::tree::TrashPlace::forHome(t.path(), t / ".local/share"));
    EXPECT_EQ(removeAt(t / "loc", "", toTrash).refusal, Refusal::Invalid);
    EXPECT_TRUE(exists(t / "loc/a.txt"));
    EXPECT_TRUE(exists(t / "loc/sub/b.txt"));
}

TEST(RemovalTest, AnAnchorThatIsNotAnAbsolutePathIsRefusedWhereverTheProcessIs)
{
    TempDir t;
    t.writeFile("loc/a.txt", 4);
    const std::optional<core::tree::Anchor> real = core::tree::anchorAt(t / "loc");
    ASSERT_TRUE(real.has_value());
    const int here = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(here, 0);
    ASSERT_EQ(::chdir(t.path().c_str()), 0);

    const RemovalOutcome outcome =
        core::tree::removeBelow(core::tree::Anchor{ "loc", real->device, real->inode }, "a.txt", {});

    EXPECT_EQ(::fchdir(here), 0);
    ::close(here);
    EXPECT_EQ(outcome.refusal, Refusal::Invalid);
    EXPECT_TRUE(exists(t / "loc/a.txt"));
}

TEST(RemovalTest, SubfolderSwappedForLinkBeforeOpeningIsNotFollowed)
{
    TempDir t;
    t.writeFile("outside/keep.txt", 3);
    t.writeFile("victim/a.txt", 1);
    t.writeFile("victim/sub/inner.txt", 1);
    FolderSwap swap{ t / "victim", "sub", t / "stash", t / "outside" };
    RemovalRequest request;
    request.raceHook = swapHook(swap);

    const RemovalOutcome outcome = removeAt(t.path(), "victim", request);

    ASSERT_TRUE(swap.done);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error->path, t / "victim/sub");
    EXPECT_NE(outcome.error->code, 0);
    EXPECT_TRUE(outcome.partial);
    EXPECT_EQ(readFile(t / "outside/keep.txt"), "xxx");
    EXPECT_TRUE(isLink(t / "victim/sub"));
    EXPECT_FALSE(exists(t / "victim/a.txt")); // the other children still went
}

TEST(RemovalTest, FolderOnTheWaySwappedForLinkIsNotFollowed)
{
    TempDir t;
    t.writeFile("outside/victim/keep.txt", 3);
    t.writeFile("loc/mid/victim/inner.txt", 1);
    FolderSwap swap{ t / "loc", "mid", t / "stash", t / "outside" };
    RemovalRequest request;
    request.raceHook = swapHook(swap);

    const RemovalOutcome outcome = removeAt(t / "loc", "mid/victim", request);

    ASSERT_TRUE(swap.done);
    EXPECT_EQ(outcome.refusal, Refusal::ChangedSinceScan);
    EXPECT_EQ(readFile(t / "outside/victim/keep.txt"), "xxx");
}

TEST(RemovalTest, SubfolderSwappedForAnotherFolderIsNotEmptied)
{
    TempDir t;
    t.writeFile("other/keep.txt", 3);
    t.writeFile("victim/sub/inner.txt", 1);
    FolderSwap swap{ t / "victim", "sub", t / "stash", t / "other", false };
    RemovalRequest request;
    request.raceHook = swapHook(swap);

    const RemovalOutcome outcome = removeAt(t.path(), "victim", request);

    ASSERT_TRUE(swap.done);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error->path, t / "victim/sub");
    EXPECT_EQ(readFile(t / "victim/sub/keep.txt"), "xxx");
}

TEST(RemovalTest, ImmutableEntriesLeaveAPartialTreeNamedWithWhatWentAndWhatIsLeft)
{
    TempDir t;
    t.writeFile("tree/a.txt", 3000);
    t.writeFile("tree/locked.txt", 500);
    t.makeDir("tree/frozen-empty");
    t.writeFile("tree/z/deeper.txt", 1);
    const ScopedImmutable lock(t / "tree/locked.txt");
    const ScopedImmutable frozen(t / "tree/frozen-empty");
    if (!lock.isSet() || !frozen.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the immutable flag";
    }

    // The dry run foresees it at any depth.
    const RemovalOutcome preview = removeAt(t.path(), "tree", dryRun());
    ASSERT_FALSE(preview.ok());
    EXPECT_EQ(preview.error->code, EPERM);
    EXPECT_TRUE(exists(t / "tree/a.txt"));

    const RemovalOutcome outcome = removeAt(t.path(), "tree");

    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error->code, EPERM);
    EXPECT_TRUE(outcome.partial);
    EXPECT_EQ(outcome.freed, 3001);
    EXPECT_TRUE(exists(t / "tree/locked.txt"));
    EXPECT_TRUE(exists(t / "tree/frozen-empty"));
    EXPECT_FALSE(exists(t / "tree/a.txt"));
    EXPECT_FALSE(exists(t / "tree/z"));

    // A folder holding only an empty immutable folder is not "removed".
    const RemovalOutcome again = removeAt(t / "tree", "frozen-empty");
    EXPECT_FALSE(again.ok());
    EXPECT_EQ(again.refusal, Refusal::NotDeletable);
}

TEST(RemovalTest, DryRunFindsAppendOnlyAndImmutableEntriesDeepInside)
{
    TempDir t;
    t.writeFile("tree/a/b/c/log.txt", 10);
    t.writeFile("tree/a/ok.txt", 10);
    t.makeDir("appendable");
    t.writeFile("appendable/x.txt", 1);
    const ScopedAppendOnly deep(t / "tree/a/b/c/log.txt");
    const ScopedAppendOnly folder(t / "appendable");
    if (!deep.isSet() || !folder.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the append-only flag";
    }

    const RemovalOutcome preview = removeAt(t.path(), "tree", dryRun());
    ASSERT_FALSE(preview.ok());
    EXPECT_EQ(preview.error->path, t / "tree/a/b/c/log.txt");
    EXPECT_EQ(preview.error->code, EPERM);

    // An append-only folder selected whole: its entries cannot be unlinked.
    const RemovalOutcome selected = removeAt(t.path(), "appendable", dryRun());
    EXPECT_FALSE(selected.ok());
    EXPECT_TRUE(exists(t / "tree/a/ok.txt"));
}

TEST(RemovalTest, NothingInAnAppendOnlyFolderGoesNotEvenInPart)
{
    TempDir t;
    t.writeFile("log/old/a.txt", 10);
    t.writeFile("log/b.txt", 5);
    const ScopedAppendOnly folder(t / "log");
    if (!folder.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the append-only flag";
    }

    // A folder in it cannot be unlinked: refused before anything inside it goes.
    for (const bool dry : { true, false }) {
        RemovalRequest request;
        request.dryRun = dry;
        const RemovalOutcome outcome = removeAt(t / "log", "old", request);
        EXPECT_EQ(outcome.refusal, Refusal::NotDeletable) << (dry ? "dry run" : "real run");
        EXPECT_EQ(outcome.freed, 0);
        EXPECT_TRUE(exists(t / "log/old/a.txt"));
    }

    // Its content as a scanned location: the dry run foresees that nothing may go.
    const RemovalOutcome preview = removeAt(t / "log", "", dryRun());
    ASSERT_FALSE(preview.ok());
    EXPECT_EQ(preview.error->code, EPERM);
    EXPECT_EQ(preview.error->path, t / "log");
}

TEST(RemovalTest, AsNobodyPermissionsAndStickyFoldersAreForeseenAndHonoured)
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
    // nobody's folder holding a world-writable sticky folder with a root file in it.
    const std::string box = t.makeDir("box");
    const std::string mine = t.makeDir("box/mine");
    const std::string shared = t.makeDir("box/mine/shared");
    t.writeFile("box/mine/shared/roots.txt", 1);
    ASSERT_EQ(::chown(box.c_str(), NobodyId, NobodyId), 0);
    ASSERT_EQ(::chown(mine.c_str(), NobodyId, NobodyId), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    // A sticky folder nobody owns: nobody may unlink what is in it.
    const std::string ownSticky = t.makeDir("own-sticky");
    t.writeFile("own-sticky/roots.txt", 1);
    ASSERT_EQ(::chown(ownSticky.c_str(), NobodyId, NobodyId), 0);
    ASSERT_EQ(::chmod(ownSticky.c_str(), 01755), 0);

    const int rc = runAsNobodyIn(t.path(), [&] {
        const RemovalOutcome readOnly = removeAt(t / "readonly", "file.txt", dryRun());
        if (readOnly.refusal != Refusal::NotDeletable || readOnly.error->code != EACCES) {
            return 10;
        }
        if (removeAt(t / "sticky", "roots.txt", dryRun()).refusal != Refusal::NotDeletable) {
            return 12;
        }
        if (!removeAt(t / "sticky", "own.txt", dryRun()).ok()) {
            return 13;
        }
        const RemovalOutcome inside = removeAt(box, "mine", dryRun());
        if (inside.ok() || inside.error->path != t / "box/mine/shared/roots.txt") {
            return 14;
        }
        if (!removeAt(t / "own-sticky", "roots.txt", dryRun()).ok()) {
            return 15; // the sticky folder's owner may unlink anything in it
        }
        const RemovalOutcome real = removeAt(box, "mine");
        return real.ok() || !exists(t / "box/mine/shared/roots.txt") ? 16 : 0;
    });

    if (rc == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(rc, 0) << "10: read-only folder, 12: someone else's file in a sticky folder, 13: own file in a "
                        "sticky folder, 14: sticky folder inside the item, 15: sticky folder's owner, 16: real run";
}

TEST(RemovalTest, ATrashRecordIsKeptExactlyWhileItsItemIsInTheTrash)
{
    TempDir t;
    // A trashed link that leads nowhere is still in the trash.
    t.makeLink("Trash/files/link", "nowhere");
    t.writeFile("Trash/info/link.trashinfo", 1);
    const RemovalOutcome record = removeAt(t / "Trash/info", "link.trashinfo");
    EXPECT_EQ(record.refusal, Refusal::TrashRecordKept);
    EXPECT_TRUE(exists(t / "Trash/info/link.trashinfo"));

    // A file named like a record outside a trash's info folder is no record.
    t.writeFile("Trash/notes/link.trashinfo", 1);
    EXPECT_TRUE(removeAt(t / "Trash/notes", "link.trashinfo").ok());
    EXPECT_FALSE(exists(t / "Trash/notes/link.trashinfo"));
}

TEST(RemovalTest, AnEntryThatCannotBeExaminedIsTheFailureNamed)
{
    TempDir t;
    openToNobody(t);
    const std::string home = t.makeDir("home");
    const std::string box = t.makeDir("home/box");
    const std::string blind = t.makeDir("home/box/blind");
    const std::string file = t.writeFile("home/box/blind/f.txt", 1);
    for (const std::string &path : { home, box, blind, file }) {
        ASSERT_EQ(::chown(path.c_str(), NobodyId, NobodyId), 0);
    }
    ASSERT_EQ(::chmod(blind.c_str(), 0600), 0); // listable, but its entries cannot be looked at

    const int code = runAsNobodyIn(t.path(), [&] {
        const RemovalOutcome outcome = removeAt(home, "box");
        if (outcome.ok()) {
            return 10;
        }
        return outcome.error->path == file && outcome.error->code == EACCES ? 0 : 11;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(code, 0) << "10: reported as removed, 11: the failure does not name the entry and why";
    EXPECT_TRUE(exists(file));
}

TEST(RemovalTest, AFolderOfAnotherOwnerIsNeverMadeWritable)
{
    TempDir t;
    t.writeFile("cache/mod/locked.txt", 1);
    ASSERT_EQ(::chown((t / "cache/mod").c_str(), NobodyId, NobodyId), 0);
    ASSERT_EQ(::chmod((t / "cache/mod").c_str(), 0555), 0);
    const ScopedImmutable lock(t / "cache/mod/locked.txt"); // so that the folder stays to be looked at
    if (!lock.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the immutable flag";
    }
    RemovalRequest asked;
    asked.makeOwnFoldersWritable = true;

    EXPECT_FALSE(removeAt(t / "cache", "mod", asked).ok());

    struct stat mod
    {
    };
    ASSERT_EQ(::stat((t / "cache/mod").c_str(), &mod), 0);
    EXPECT_EQ(mod.st_mode & 07777, 0555U);
}

TEST(RemovalTest, HardLinkedFilesFreeTheirBytesOnlyWithTheirLastName)
{
    TempDir t;
    const std::string big = t.writeFile("cache/big.bin", 1500);
    ASSERT_EQ(::link(big.c_str(), (t / "cache/big-again.bin").c_str()), 0);
    const std::string document = t.writeFile("Documents/report.pdf", 500);
    ASSERT_EQ(::link(document.c_str(), (t / "cache/report-link.pdf").c_str()), 0);

    // Both names of big.bin go, report.pdf keeps one: one ledger, as in a clean.
    RemovalRequest preview = dryRun();
    preview.links = std::make_shared<core::tree::LinkLedger>();
    const RemovalOutcome foreseen = removeAt(t.path(), "cache", preview);
    EXPECT_EQ(foreseen.freed, 1500);
    EXPECT_EQ(foreseen.held, 2000);

    const RemovalOutcome outcome = removeAt(t.path(), "cache");
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.freed, 1500);
    EXPECT_EQ(outcome.held, 2000);
    EXPECT_EQ(readFile(document).size(), 500U);
}

TEST(RemovalTest, OwnReadOnlyFoldersAreMadeWritableOnlyWhenAskedAndOnlyInsideTheItem)
{
    TempDir t;
    openToNobody(t);
    t.writeFile("cache/mod/pkg@v1/a.go", 10);
    t.writeFile("cache/mod/pkg@v1/sub/b.go", 10);
    for (const char *path : { "cache",
             "cache/mod",
             "cache/mod/pkg@v1",
             "cache/mod/pkg@v1/a.go",
             "cache/mod/pkg@v1/sub",
             "cache/mod/pkg@v1/sub/b.go" }) {
        ASSERT_EQ(::chown((t / path).c_str(), NobodyId, NobodyId), 0);
    }
    // As Go leaves its module cache: every folder read-only.
    for (const char *path : { "cache/mod/pkg@v1/sub", "cache/mod/pkg@v1", "cache/mod" }) {
        ASSERT_EQ(::chmod((t / path).c_str(), 0555), 0);
    }

    const int code = runAsNobodyIn(t.path(), [&] {
        if (removeAt(t / "cache", "mod").ok()) {
            return 10; // not asked: read-only folders stay as they are
        }
        if (removeAt(t / "cache", "mod", dryRun()).ok()) {
            return 11;
        }
        RemovalRequest asked;
        asked.makeOwnFoldersWritable = true;
        RemovalRequest askedPreview = asked;
        askedPreview.dryRun = true;
        if (!removeAt(t / "cache", "mod", askedPreview).ok()) {
            return 12;
        }
        return removeAt(t / "cache", "mod", asked).ok() && !exists(t / "cache/mod") ? 0 : 13;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(code, 0) << "10: removed without asking, 11: dry run passed without asking, 12: dry run refused "
                          "when asked, 13: not removed when asked";
    struct stat cache
    {
    };
    ASSERT_EQ(::stat((t / "cache").c_str(), &cache), 0);
    EXPECT_EQ(cache.st_mode & 07777, 0755U); // the folder above the item is never changed
}

TEST(RemovalTest, KeepEntriesEmptiesTheFolderButLeavesItAndThem)
{
    TempDir t;
    t.writeFile("build/CACHEDIR.TAG", 43);
    t.writeFile("build/obj/a.o", 100);
    t.writeFile("build/b.o", 50);
    RemovalRequest request;
    request.keepEntries = { "CACHEDIR.TAG" };

    const RemovalOutcome outcome = removeAt(t.path(), "build", request);

    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.freed, 150);
    EXPECT_TRUE(exists(t / "build/CACHEDIR.TAG"));
    EXPECT_FALSE(exists(t / "build/obj"));
    EXPECT_FALSE(exists(t / "build/b.o"));
}

TEST(RemovalTest, AFolderToEmptySwappedForAnotherFolderIsLeftAlone)
{
    TempDir t;
    t.writeFile("build/CACHEDIR.TAG", 43);
    t.writeFile("build/a.o", 100);
    t.writeFile("other/CACHEDIR.TAG", 43);
    t.writeFile("other/keep.txt", 3);
    FolderSwap swap{ t.path(), "build", t / "stash", t / "other", false };
    RemovalRequest request;
    request.keepEntries = { "CACHEDIR.TAG" };
    request.raceHook = swapHook(swap);

    const RemovalOutcome outcome = removeAt(t.path(), "build", request);

    ASSERT_TRUE(swap.done);
    EXPECT_EQ(outcome.refusal, Refusal::ChangedSinceScan);
    EXPECT_EQ(readFile(t / "build/keep.txt"), "xxx");
    EXPECT_TRUE(exists(t / "stash/a.o"));
}

TEST(RemovalTest, MountPointsInsideAreNeverEnteredBindMountsOfTheSameDiskIncluded)
{
    TempDir t;
    t.writeFile("tree/a.txt", 1);
    const std::string tmpfsPoint = t.makeDir("tree/mnt");
    const std::string bindPoint = t.makeDir("tree/bm");
    t.writeFile("outside/precious.txt", 9);
    t.writeFile("outside-file.txt", 4);
    t.writeFile("tree/bound-file.txt", 0);
    t.writeFile("loc/mid/x.txt", 1);
    t.writeFile("elsewhere/x.txt", 1);

    // 10: reported success, 11: wrong path named, 12: mounted content removed,
    // 13: bind-mounted content removed or counted, 14: bound file touched,
    // 15: bind mount on the way entered, 16: the bind mount itself removed.
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::mountTmpfs(tmpfsPoint) || !testing_support::bindMount(t / "outside", bindPoint)
            || !testing_support::bindMount(t / "outside-file.txt", t / "tree/bound-file.txt")
            || !testing_support::bindMount(t / "elsewhere", t / "loc/mid")) {
            return CannotRun;
        }
        const std::string inside = TempDir::writeFileAt(tmpfsPoint + "/inside.txt", 1);
        const RemovalOutcome preview = removeAt(t.path(), "tree", dryRun());
        if (preview.ok()) {
            return 10;
        }
        const RemovalOutcome outcome = removeAt(t.path(), "tree");
        if (outcome.ok()) {
            return 10;
        }
        if (outcome.error->path != t / "tree/bm" && outcome.error->path != tmpfsPoint
            && outcome.error->path != t / "tree/bound-file.txt") {
            return 11;
        }
        if (!exists(inside)) {
            return 12;
        }
        if (readFile(t / "tree/bm/precious.txt") != "xxxxxxxxx" || outcome.freed != 1) {
            return 13;
        }
        if (readFile(t / "outside-file.txt") != "xxxx") {
            return 14;
        }
        const RemovalOutcome through = removeAt(t / "loc", "mid/x.txt");
        if (through.refusal != Refusal::OtherFileSystem || !exists(t / "elsewhere/x.txt")) {
            return 15;
        }
        const RemovalOutcome point = removeAt(t / "loc", "mid");
        return point.refusal == Refusal::OtherFileSystem && exists(t / "elsewhere/x.txt") ? 0 : 16;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(exists(t / "tree/a.txt"));
    EXPECT_EQ(readFile(t / "outside/precious.txt"), "xxxxxxxxx");
}

TEST(RemovalTest, TheHomeReachedUnderAnotherNameIsProtectedByIdentity)
{
    TempDir t;
    const std::string home = t.makeDir("home/ann");
    t.writeFile("home/ann/.bashrc", 5);
    t.writeFile("home/ann/.aws/credentials", 5);
    t.makeLink("home/ann/.cache", home); // a cache location that leads back to the home
    const std::string hb = t.makeDir("elsewhere/hb");
    RemovalRequest request;
    request.protection = core::tree::Protection::forHome(home);

    // Through a link: the location's content is the home's.
    EXPECT_EQ(removeAt(home + "/.cache", "", request).refusal, Refusal::Protected);
    EXPECT_EQ(removeAt(home + "/.cache", ".bashrc", request).refusal, Refusal::Protected);
    EXPECT_TRUE(exists(home + "/.bashrc"));

    // 10: content through a bind mount removed, 11: an item through it removed,
    // 12: with the home given as the bind mount's path.
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::bindMount(home, hb) || ::unlink((home + "/.cache").c_str()) != 0
            || ::symlink(hb.c_str(), (home + "/.cache").c_str()) != 0) {
            return CannotRun;
        }
        if (removeAt(home + "/.cache", "", request).refusal != Refusal::Protected) {
            return 10;
        }
        if (removeAt(home + "/.cache", ".aws", request).refusal != Refusal::Protected) {
            return 11;
        }
        RemovalRequest viaBind;
        viaBind.protection = core::tree::Protection::forHome(hb);
        if (removeAt(hb + "/.cache", "", viaBind).refusal != Refusal::Protected) {
            return 12;
        }
        return exists(home + "/.aws/credentials") ? 0 : 13;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot bind-mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(exists(home + "/.aws/credentials"));

    // The home walk, anchored at the home by its own name, still removes what was found there.
    EXPECT_TRUE(removeAt(home, ".bashrc", request).ok());
}

TEST(RemovalTest, SystemFoldersAndTheirEntriesAreRefusedUnderAnyName)
{
    TempDir t;
    t.makeLink("usr-link", "/usr");
    t.makeLink("root-link", "/");
    RemovalRequest request = dryRun();
    request.protection = core::tree::Protection::forHome(t / "home");

    EXPECT_EQ(removeAt(t / "usr-link", "", request).refusal, Refusal::Protected);
    EXPECT_EQ(removeAt(t / "usr-link", "share", request).refusal, Refusal::Protected);
    EXPECT_EQ(removeAt(t / "root-link", "etc", request).refusal, Refusal::Protected);
    EXPECT_EQ(removeAt("/", "etc", request).refusal, Refusal::Protected);
    EXPECT_EQ(removeAt("/usr", "share", request).refusal, Refusal::Protected);
}

TEST(RemovalTest, ALocationIsProtectedWhereverItLeadsEvenBeforeItExists)
{
    TempDir t;
    const std::string home = t.makeDir("home");
    t.makeLink("home/root-link", "/");
    const auto protection = core::tree::Protection::forHome(home);

    // Nothing there yet: where it would be is all there is to judge.
    EXPECT_TRUE(protection->isProtectedLocation(home + "/root-link/not-yet"));
    EXPECT_FALSE(protection->isProtectedLocation(home + "/.cache/not-yet"));

    // The home bound elsewhere: no name says it is the home, its identity does.
    const std::string elsewhere = t.makeDir("mnt/deep/hb");
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::bindMount(home, elsewhere)) {
            return CannotRun;
        }
        return protection->isProtectedLocation(elsewhere) ? 0 : 1;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot bind-mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
}

TEST(RemovalTest, RemovesTreeDeeperThanPathMax)
{
    TempDir t;
    const std::string name(200, 'd');
    const int levels = 25;
    ASSERT_GT(levels * (name.size() + 1), static_cast<std::size_t>(PATH_MAX));
    ASSERT_TRUE(testing_support::makeChain(t.path(), name, levels, 0));

    const RemovalOutcome outcome = removeAt(t.path(), name);

    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    EXPECT_FALSE(exists(t / name));
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
