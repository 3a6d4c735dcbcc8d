// SPDX-License-Identifier: GPL-3.0-or-later
// The cleaner deletes exactly what was selected, reached the way the scan
// found it, and says truthfully what happened: links swapped in above an
// item, protected locations reached through links, other file systems,
// trash records, permissions a dry run must foresee, partial removals.
#include "engine/KeepList.h"
#include "engine/TrashPairs.h"
#include "platform/WalkReport.h"
#include "support/CleanFixture.h"
#include "support/FolderSwap.h"
#include "support/MountNamespace.h"
#include "support/RunAsNobody.h"
#include "tree/OrderedWalk.h"
#include "tree/Removal.h"
#include "tree/TreeSize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using core::Category;
using core::FolderUrl;
using core::ModuleInfo;
using testing_support::CannotRun;
using testing_support::Day;
using testing_support::exists;
using testing_support::FolderSwap;
using testing_support::MiB;
using testing_support::Now;
using testing_support::readFile;
using testing_support::swapHook;
using testing_support::TempDir;

namespace {

class CleanSafetyTest : public testing_support::CleanFixture
{
};

/// The Trash of a test home.
struct RemovalRequestHolder
{
    explicit RemovalRequestHolder(const TempDir &home)
        : place(std::make_shared<core::tree::TrashPlace>(
            core::tree::TrashPlace::forHome(home.path(), home / ".local/share")))
    {
    }
    std::shared_ptr<core::tree::TrashPlace> place;
};

} // namespace

// --- links swapped in above an item ------------------------------------------

TEST_F(CleanSafetyTest, ScannedFolderSwappedForALinkAfterTheScanIsNotFollowed)
{
    tmp.writeFile("Trash/files/a.txt", 5);
    tmp.writeFile("Trash/files/b/inner.txt", 7);
    tmp.writeFile("Trash/info/a.txt.trashinfo", 1);
    tmp.writeFile("Trash/info/b.trashinfo", 1);
    TempDir elsewhere;
    elsewhere.writeFile("a.txt.trashinfo", 3);
    elsewhere.writeFile("b.trashinfo", 3);
    scan(1, { withLocations({ location(tmp / "Trash/files", "Children"), location(tmp / "Trash/info", "Children") }) });
    selectAll(1);
    // While the user reviews, the info folder is moved away and a link put in its place.
    ASSERT_EQ(::rename((tmp / "Trash/info").c_str(), (tmp / "Trash/info.real").c_str()), 0);
    tmp.makeLink("Trash/info", elsewhere.path());

    const Report out = clean(1);

    EXPECT_EQ(readFile(elsewhere / "a.txt.trashinfo"), "xxx");
    EXPECT_EQ(readFile(elsewhere / "b.trashinfo"), "xxx");
    EXPECT_TRUE(exists(tmp / "Trash/info.real/a.txt.trashinfo"));
    ASSERT_EQ(out.failed.size(), 2U);
    EXPECT_EQ(out.failed.at(tmp / "Trash/info/b.trashinfo"),
        tmp / "Trash/info/b.trashinfo: changed since the scan; not deleted");
    EXPECT_EQ(out.removed, (std::vector<std::string>{ tmp / "Trash/files/a.txt", tmp / "Trash/files/b" }));
    EXPECT_EQ(out.freed, 12);
    EXPECT_EQ(out.progressBytes, 12);
}

TEST_F(CleanSafetyTest, FolderBetweenLocationAndItemSwappedMidCleanIsNotFollowed)
{
    const std::string kept = oldFile("deep/sub/old.bin", 10);
    oldFile("deep/other.bin", 20);
    TempDir elsewhere;
    const std::string decoy = elsewhere.writeFile("sub/old.bin", 4);
    scan(3, fourBands());
    selectAll(3);
    FolderSwap swap{ tmp / "deep", "sub", tmp / "stash", elsewhere / "sub" };
    ModuleInfo::CleanOptions options;
    options.raceHook = swapHook(swap);

    const Report out = clean(3, options);

    ASSERT_TRUE(swap.done);
    EXPECT_EQ(readFile(decoy), "xxxx");
    EXPECT_EQ(out.failed.at(kept), kept + ": changed since the scan; not deleted");
    EXPECT_EQ(out.removed, std::vector<std::string>{ tmp / "deep/other.bin" });
    EXPECT_EQ(recordPaths(3, 2), std::vector<std::string>{ kept }) << "the failed record stays";
}

TEST_F(CleanSafetyTest, ALinkedLocationIsFollowedAndEmptiedButNothingBelowIsFollowed)
{
    tmp.writeFile("disk/cache/a.bin", 100);
    tmp.writeFile("disk/cache/sub/b.bin", 50);
    TempDir outside;
    outside.writeFile("keep.bin", 9);
    tmp.makeLink("disk/cache/to-outside", outside.path());
    tmp.makeLink(".cache", tmp / "disk/cache");
    scan(1, { atLocation(location(tmp / ".cache")) });
    ASSERT_EQ(categoryAt(1, 0).files.size(), 3U);
    const std::int64_t linkLength = static_cast<std::int64_t>(outside.path().size());
    EXPECT_EQ(categoryAt(1, 0).size, 150 + linkLength);
    selectAll(1);

    const Report out = clean(1);

    EXPECT_TRUE(out.failed.empty()) << out.failed.begin()->second;
    EXPECT_EQ(out.freed, 150 + linkLength);
    EXPECT_TRUE(exists(tmp / "disk/cache")) << "the folder the link leads to stays";
    EXPECT_FALSE(exists(tmp / "disk/cache/a.bin"));
    EXPECT_EQ(readFile(outside / "keep.bin"), std::string(9, 'x'));
    struct stat st
    {
    };
    ASSERT_EQ(::lstat((tmp / ".cache").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself stays";
}

TEST_F(CleanSafetyTest, ALinkedLocationPointedElsewhereAfterTheScanIsRefused)
{
    tmp.writeFile("disk/cache/a.bin", 100);
    tmp.writeFile("decoy/a.bin", 3);
    tmp.makeLink(".cache", tmp / "disk/cache");
    scan(1, { atLocation(location(tmp / ".cache")) });
    selectAll(1);
    ASSERT_EQ(::unlink((tmp / ".cache").c_str()), 0);
    tmp.makeLink(".cache", tmp / "decoy");

    const Report out = clean(1);

    EXPECT_EQ(out.failed.at(tmp / ".cache/a.bin"), tmp / ".cache/a.bin: changed since the scan; not deleted");
    EXPECT_EQ(readFile(tmp / "decoy/a.bin"), "xxx");
    EXPECT_EQ(out.freed, 0);
}

TEST_F(CleanSafetyTest, FileLocationThatIsAFolderIsMeasuredAndFreedAsOne)
{
    tmp.writeFile("xorg/Xorg.0.log.old/one", 30);
    tmp.writeFile("xorg/Xorg.0.log.old/two/three", 12);
    scan(1, { withLocations({ location(tmp / "xorg/Xorg.0.log.old", "File") }) });
    ASSERT_EQ(categoryAt(1, 0).files.size(), 1U);
    EXPECT_EQ(categoryAt(1, 0).files[0]->size, 42);
    EXPECT_TRUE(categoryAt(1, 0).files[0]->isFolder);
    EXPECT_EQ(categoryAt(1, 0).size, 42);
    selectAll(1);

    const Report out = clean(1);

    EXPECT_EQ(out.freed, 42);
    EXPECT_FALSE(exists(tmp / "xorg/Xorg.0.log.old"));
}

// --- protected locations -------------------------------------------------------

TEST_F(CleanSafetyTest, ProtectedLocationIsJudgedByWhereTheItemReallyIs)
{
    // ~/sys leads to /etc: its passwd must be refused like /etc/passwd itself.
    // Only ever a dry run here.
    tmp.makeLink("sys", "/etc");
    scan(1, { withLocations({ location(tmp / "sys/passwd", "File") }) });
    ASSERT_EQ(categoryAt(1, 0).files.size(), 1U);
    selectAll(1);

    const Report out = clean(1, true);

    EXPECT_TRUE(out.removed.empty());
    EXPECT_EQ(out.failed.at(tmp / "sys/passwd"), tmp / "sys/passwd: protected location");
    EXPECT_TRUE(out.failures.at(tmp / "sys/passwd").error->code == EPERM);
}

TEST_F(CleanSafetyTest, PathBasedDeletionJudgesTheResolvedLocationToo)
{
    // The folder above the home, reached through a link inside it.
    const std::string home = tmp.makeDir("home/ann");
    tmp.makeLink("home/ann/up", tmp / "home");
    core::tree::RemovalRequest request;
    request.homeDir = home;
    request.dryRun = true;

    const core::tree::RemovalOutcome outcome = core::FolderInfo::removeAt(home + "/up/ann", request);

    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->message, "protected location");
    EXPECT_TRUE(outcome.refused());
}

TEST_F(CleanSafetyTest, ALocationLinkPointedAtTheHomeBeforeTheScanIsRefusedWhole)
{
    tmp.writeFile(".bashrc", 5);
    tmp.writeFile(".aws/credentials", 7);
    tmp.writeFile("disk/cache/a.bin", 3);
    tmp.makeLink(".cache", tmp / "disk/cache");
    setModules(1, { atLocation(location(tmp / ".cache")) }); // the catalogue is loaded here
    ASSERT_EQ(::unlink((tmp / ".cache").c_str()), 0);
    tmp.makeLink(".cache", tmp.path()); // and the link re-pointed at the home afterwards
    core::ModuleInfo::scan(1, {}, {}, {});
    dispatcher.runAllQueues();
    selectAll(1);

    const Report dry = clean(1, true);
    const Report out = clean(1);

    EXPECT_TRUE(dry.removed.empty());
    EXPECT_TRUE(out.removed.empty());
    ASSERT_FALSE(out.failed.empty());
    for (const auto &[path, why] : out.failed) {
        EXPECT_NE(why.find("protected location"), std::string::npos) << path << ": " << why;
        EXPECT_EQ(out.failures.at(path).refusal, core::tree::Refusal::Protected);
    }
    EXPECT_EQ(readFile(tmp / ".bashrc"), "xxxxx");
    EXPECT_EQ(readFile(tmp / ".aws/credentials"), "xxxxxxx");
}

// --- the always-keep list at clean time ----------------------------------------

TEST_F(CleanSafetyTest, AFolderBetweenTheLocationAndTheItemKeptAfterTheScanIsRespected)
{
    const std::string film = oldFile("Videos/2019/trip/film.mkv", 150 * MiB);
    scan(3, fourBands());
    selectAll(3);
    ASSERT_TRUE(core::KeepList::add({ tmp / "Videos/2019" }).has_value());

    const Report out = clean(3);

    EXPECT_TRUE(exists(film));
    ASSERT_TRUE(out.failures.contains(film));
    EXPECT_EQ(out.failures.at(film).refusal, core::tree::Refusal::Kept);
    EXPECT_EQ(out.failed.at(film), tmp / "Videos/2019/trip/film.mkv: on the always-keep list; not deleted");
}

TEST_F(CleanSafetyTest, KeptLinksProtectTheLinkAndWhatItLeadsTo)
{
    const std::string target = tmp.writeFile("Documents/thesis.pdf", 9);
    tmp.makeLink("c/thesis-link", target);
    tmp.makeLink("c/dangling", tmp / "nowhere");
    tmp.writeFile("c/junk.bin", 4);
    scan(1, { atLocation(location(tmp / "c")) });
    selectAll(1);
    ASSERT_TRUE(core::KeepList::add({ tmp / "c/thesis-link", tmp / "c/dangling" }).has_value());

    const Report out = clean(1);

    EXPECT_TRUE(exists(tmp / "c/thesis-link")) << "the kept link itself is refused";
    EXPECT_TRUE(exists(tmp / "c/dangling")) << "a dangling kept link still protects the link";
    EXPECT_FALSE(exists(tmp / "c/junk.bin"));
    EXPECT_EQ(readFile(target), std::string(9, 'x'));

    // Its target's folder is not trashed whole.
    RemovalRequestHolder holder(tmp);
    const auto documents = core::tree::anchorAt(tmp.path());
    core::tree::RemovalRequest request;
    request.kept = core::tree::KeptItems::resolve({ tmp / "c/thesis-link" });
    request.trash = holder.place;
    const core::tree::RemovalOutcome trashed = core::tree::removeBelow(*documents, "Documents", request);
    EXPECT_EQ(trashed.refusal, core::tree::Refusal::Kept);
    EXPECT_EQ(readFile(target), std::string(9, 'x'));
}

TEST_F(CleanSafetyTest, AKeptWalkRootOrAKeptFolderALocationLeadsIntoShowsNothing)
{
    oldFile("Videos/film.mkv", 150 * MiB);
    tmp.writeFile("disk/cache/a.bin", 3);
    tmp.makeLink(".cache", tmp / "disk/cache");
    ASSERT_TRUE(core::KeepList::add({ tmp.path(), tmp / "disk" }).has_value());

    scan(3, fourBands());
    for (int band = 0; band < 4; ++band) {
        EXPECT_TRUE(recordPaths(3, band).empty()) << band;
    }
    scan(1, { atLocation(location(tmp / ".cache")) });
    EXPECT_TRUE(categoryAt(1, 0).files.empty());
    EXPECT_EQ(categoryAt(1, 0).size, 0);
}

// --- trash records -------------------------------------------------------------

TEST_F(CleanSafetyTest, TrashRecordGoesOnlyOnceItsItemHasGoneCompletely)
{
    tmp.writeFile("Trash/files/bigdir/a.bin", 10);
    tmp.writeFile("Trash/files/bigdir/inner/b.bin", 20);
    tmp.writeFile("Trash/files/small.txt", 3);
    tmp.writeFile("Trash/files/no-record.txt", 4);
    tmp.writeFile("Trash/info/bigdir.trashinfo", 1);
    tmp.writeFile("Trash/info/small.txt.trashinfo", 1);
    tmp.writeFile("Trash/info/orphan.trashinfo", 1);
    tmp.writeFile("replacement/c.bin", 40);
    // The records are listed before the items: they must still wait for them.
    scan(1, { withLocations({ location(tmp / "Trash/info", "Children"), location(tmp / "Trash/files", "Children") }) });
    selectAll(1);
    FolderSwap swap{ tmp / "Trash/files/bigdir", "inner", tmp / "stash", tmp / "replacement", false };
    ModuleInfo::CleanOptions options;
    options.raceHook = swapHook(swap);

    const Report out = clean(1, options);

    ASSERT_TRUE(swap.done);
    EXPECT_NE(out.failed.at(tmp / "Trash/files/bigdir").find("replaced by another folder"), std::string::npos);
    EXPECT_EQ(out.failed.at(tmp / "Trash/info/bigdir.trashinfo"),
        tmp / "Trash/info/bigdir.trashinfo: kept while the item it describes is still in the trash");
    EXPECT_TRUE(exists(tmp / "Trash/info/bigdir.trashinfo")) << "what is left stays restorable";
    for (const char *gone :
        { "files/small.txt", "info/small.txt.trashinfo", "info/orphan.trashinfo", "files/no-record.txt" }) {
        EXPECT_FALSE(exists(tmp / (std::string("Trash/") + gone))) << gone;
    }
}

TEST_F(CleanSafetyTest, TrashRecordAloneIsKeptWhileItsItemStays)
{
    tmp.writeFile("Trash/files/doc.txt", 3);
    tmp.writeFile("Trash/info/doc.txt.trashinfo", 1);
    scan(1, { withLocations({ location(tmp / "Trash/info", "Children") }) });
    selectAll(1);

    const Report dry = clean(1, true);
    const Report out = clean(1);

    EXPECT_EQ(dry.failed.size(), 1U);
    EXPECT_EQ(out.failed.size(), 1U);
    EXPECT_TRUE(exists(tmp / "Trash/info/doc.txt.trashinfo"));
}

TEST_F(CleanSafetyTest, DryRunKnowsATrashRecordGoesWithItsItem)
{
    tmp.writeFile("Trash/files/doc.txt", 3);
    tmp.writeFile("Trash/info/doc.txt.trashinfo", 1);
    scan(1, { withLocations({ location(tmp / "Trash/info", "Children"), location(tmp / "Trash/files", "Children") }) });
    selectAll(1);

    const Report dry = clean(1, true);

    EXPECT_TRUE(dry.failed.empty()) << dry.failed.begin()->second;
    EXPECT_EQ(dry.removed.size(), 2U);
}

TEST_F(CleanSafetyTest, TheTrashShowsOneRowPerTrashedItemAndCleansThePairTogether)
{
    tmp.writeFile("Trash/files/report.2.txt", 30);
    std::ofstream(tmp.writeFile("Trash/info/report.2.txt.trashinfo", 0))
        << "[Trash Info]\nPath=/home/ann/Documents/report%20final.txt\nDeletionDate=2026-03-04T05:06:07\n";
    tmp.writeFile("Trash/files/bigdir/a.bin", 100);
    std::ofstream(tmp.writeFile("Trash/info/bigdir.trashinfo", 0))
        << "[Trash Info]\nPath=/home/ann/Projects/bigdir\nDeletionDate=2026-01-01T00:00:00\n";
    tmp.writeFile("Trash/files/no-record.txt", 4);
    tmp.writeFile("Trash/info/orphan.trashinfo", 2);
    core::Category trash =
        withLocations({ location(tmp / "Trash/files", "Children"), location(tmp / "Trash/info", "Children") });
    trash.kind = core::CategoryKind::Trash;
    scan(1, { trash });

    const core::Category &rows = categoryAt(1, 0);
    ASSERT_EQ(rows.files.size(), 4U) << "each item with its record is one row";
    std::map<std::string, std::int64_t> sizes;
    for (const auto &row : rows.files) {
        sizes[row->name()] = row->size;
    }
    struct stat record
    {
    };
    ASSERT_EQ(::stat((tmp / "Trash/info/report.2.txt.trashinfo").c_str(), &record), 0);
    const std::int64_t reportRecord = record.st_size;
    EXPECT_EQ(sizes.at("report final.txt"), 30 + reportRecord) << "named by its original name, sized with its record";
    EXPECT_TRUE(sizes.contains("bigdir"));
    EXPECT_EQ(sizes.at("no-record.txt"), 4);
    EXPECT_EQ(sizes.at("orphan.trashinfo"), 2);
    const auto report = std::find_if(rows.files.begin(), rows.files.end(), [](const auto &row) {
        return row->name() == "report final.txt";
    });
    const auto info = core::trashedItemInfo(**report);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->path, "/home/ann/Documents/report final.txt");
    EXPECT_EQ(info->deletionDate, "2026-03-04T05:06:07");
    EXPECT_NE((*report)->date.seconds, 0);

    // Deleting a trashed folder takes its record with it.
    for (std::size_t k = 0; k < rows.files.size(); ++k) {
        if (rows.files[k]->name() == "bigdir") {
            ModuleInfo::updateState(1, 1, 0, static_cast<int>(k), std::nullopt);
        }
    }
    ASSERT_EQ(::stat((tmp / "Trash/info/bigdir.trashinfo").c_str(), &record), 0);
    const std::int64_t bigdirRecord = record.st_size;
    const Report out = clean(1);
    EXPECT_TRUE(out.failed.empty()) << out.failed.begin()->second;
    EXPECT_EQ(out.freed, 100 + bigdirRecord) << "the record's bytes count too";
    EXPECT_FALSE(exists(tmp / "Trash/files/bigdir"));
    EXPECT_FALSE(exists(tmp / "Trash/info/bigdir.trashinfo"));
    EXPECT_TRUE(exists(tmp / "Trash/info/report.2.txt.trashinfo"));
    EXPECT_EQ(categoryAt(1, 0).files.size(), 3U);
}

// --- honest numbers -------------------------------------------------------------

TEST_F(CleanSafetyTest, FolderRemovedInPartCountsWhatWentAndKeepsWhatIsLeft)
{
    tmp.writeFile("c/big/a.bin", 1000);
    tmp.writeFile("c/big/b.bin", 2000);
    tmp.writeFile("c/big/inner/c.bin", 4000);
    tmp.writeFile("c/other.bin", 5);
    tmp.writeFile("replacement/kept.bin", 300);
    scan(1, { atLocation(location(tmp / "c")) });
    selectAll(1);
    FolderSwap swap{ tmp / "c/big", "inner", tmp / "stash", tmp / "replacement", false };
    ModuleInfo::CleanOptions options;
    options.raceHook = swapHook(swap);

    const Report out = clean(1, options);

    ASSERT_TRUE(swap.done);
    EXPECT_EQ(out.freed, 3005) << "the part of the folder that went counts";
    EXPECT_EQ(out.progressBytes, 3005);
    const ModuleInfo::ItemReport &partial = out.failures.at(tmp / "c/big");
    EXPECT_EQ(partial.freed, 3000);
    EXPECT_EQ(partial.left, 300);
    EXPECT_EQ(partial.error->path, tmp / "c/big/inner");
    ASSERT_EQ(recordPaths(1, 0), std::vector<std::string>{ tmp / "c/big" });
    EXPECT_EQ(categoryAt(1, 0).files[0]->size, 300);
    EXPECT_EQ(categoryAt(1, 0).size, 300);
}

TEST_F(CleanSafetyTest, AFileInTwoBandsIsRemovedAndCountedOnce)
{
    const std::string both = oldFile("Movies/old.mkv", 150 * MiB, 2 * 365 * Day);
    const std::string gone = oldFile("Documents/old.txt", 10, 2 * 365 * Day);
    scan(3, fourBands());
    ASSERT_EQ(recordPaths(3, 0), std::vector<std::string>{ both });
    selectAll(3);

    const Report dry = clean(3, true);
    EXPECT_TRUE(dry.failed.empty());
    EXPECT_EQ(dry.freed, 150 * MiB + 10);

    // Another clean got there first.
    ASSERT_EQ(::unlink(gone.c_str()), 0);
    const Report out = clean(3);
    EXPECT_TRUE(out.failed.empty()) << out.failed.begin()->second;
    EXPECT_EQ(out.freed, 150 * MiB);
    EXPECT_EQ(out.removed.size(), 3U);
    EXPECT_EQ(out.alreadyGone.size(), 2U) << "the second record of the movie and the vanished file";
    EXPECT_FALSE(exists(both));
    for (int band = 0; band < 4; ++band) {
        EXPECT_TRUE(categoryAt(3, band).files.empty()) << band;
    }
}

TEST_F(CleanSafetyTest, VeryDeepFileIsRemovedThroughItsRecord)
{
    // A chain of 60 folders of 100-character names: over 6 000 characters,
    // beyond what one path may hold. Built by descriptor.
    int fd = ::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string name(100, 'd');
    std::string path = tmp.path();
    for (int level = 0; level < 60; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        path += "/" + name;
    }
    const int file = ::openat(fd, "old.bin", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "abc", 3), 3);
    const timespec times[2] = { { Now - 400 * Day, 0 }, { Now - 400 * Day, 0 } };
    ASSERT_EQ(::futimens(file, times), 0);
    ::close(file);
    scan(3, fourBands());
    ASSERT_EQ(recordPaths(3, 2), std::vector<std::string>{ path + "/old.bin" });
    selectAll(3);

    const Report out = clean(3);

    EXPECT_TRUE(out.failed.empty()) << out.failed.begin()->second;
    EXPECT_EQ(out.freed, 3);
    struct stat st
    {
    };
    EXPECT_NE(::fstatat(fd, "old.bin", &st, AT_SYMLINK_NOFOLLOW), 0);
    ::close(fd);
}

// --- permissions a dry run must foresee -----------------------------------------

TEST_F(CleanSafetyTest, DryRunRefusesWhatTheCleanCannotRemove)
{
    constexpr uid_t Nobody = 65534;
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    const std::string top = tmp.makeDir("top");
    tmp.writeFile("top/ok.txt", 2);
    tmp.writeFile("top/ro/f", 3);
    tmp.writeFile("top/entry/rootdir/f", 4);
    for (const char *mine : { "top", "top/ok.txt", "top/ro", "top/ro/f", "top/entry" }) {
        ASSERT_EQ(::lchown((tmp / mine).c_str(), Nobody, Nobody), 0);
    }
    // A read-only folder of the user's: a cache is emptied as its tool would (Go makes its module cache so).
    ASSERT_EQ(::chmod((tmp / "top/ro").c_str(), 0555), 0);
    scan(1, { atLocation(location(top)) });
    ASSERT_EQ(categoryAt(1, 0).files.size(), 3U);
    selectAll(1);

    // 1: the dry run promised too much or too little; 2: the clean failed elsewhere; 3: ok.txt or ro stayed.
    const int code = testing_support::runAsNobody([&] {
        if (::access(top.c_str(), W_OK) != 0) {
            return CannotRun;
        }
        const Report dry = clean(1, true);
        const Report real = clean(1);
        std::vector<std::string> refused;
        std::vector<std::string> failed;
        for (const auto &[path, why] : dry.failed) {
            refused.push_back(path);
        }
        for (const auto &[path, why] : real.failed) {
            failed.push_back(path);
        }
        const std::vector<std::string> expected = { tmp / "top/entry" };
        if (refused != expected || dry.removed != std::vector<std::string>{ tmp / "top/ok.txt", tmp / "top/ro" }) {
            return 1;
        }
        if (failed != expected) {
            return 2;
        }
        return exists(tmp / "top/ok.txt") || exists(tmp / "top/ro") ? 3 : 0;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(code, 0);
}

// --- other file systems ----------------------------------------------------------

TEST_F(CleanSafetyTest, BindMountsOfTheSameDiskAreNeitherMeasuredNorEnteredNorRemoved)
{
    const std::string cache = tmp.makeDir(".cache");
    tmp.writeFile(".cache/app/own.bin", 5);
    const std::string bm = tmp.makeDir(".cache/app/bm");
    const std::string pictures = tmp.makeDir("Pictures");
    TempDir outside;
    outside.writeFile("precious.doc", 300);
    outside.writeFile("photos/big.raw", 20 * MiB, true);
    testing_support::setMtime(outside / "photos/big.raw", Now - 800 * Day);

    // 1: measured across; 2: not reported; 3: outside content removed or counted;
    // 4: the large-and-old walk went through ~/Pictures.
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::bindMount(outside.path(), bm)
            || !testing_support::bindMount(outside / "photos", pictures)) {
            return CannotRun;
        }
        core::platform::WalkReport report;
        core::platform::services().walkReport = &report;
        scan(1, { atLocation(location(cache)) });
        if (categoryAt(1, 0).size != 5
            || core::FolderInfo::getFolderSize(core::format::fileUrlFromPath(cache, true)) != 5) {
            return 1;
        }
        if (report.snapshot().otherFileSystems == 0) {
            return 2;
        }
        selectAll(1);
        const Report out = clean(1);
        if (!exists(outside / "precious.doc") || out.freed != 5 || out.failed.size() != 1) {
            return 3;
        }
        scan(3, fourBands());
        for (int band = 0; band < 4; ++band) {
            if (!recordPaths(3, band).empty()) {
                return 4;
            }
        }
        return 0;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot bind-mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readFile(outside / "precious.doc"), std::string(300, 'x'));
}

TEST_F(CleanSafetyTest, MountPointsBelowALocationAreNeitherListedNorEnteredNorRemoved)
{
    const std::string cache = tmp.makeDir(".cache");
    tmp.writeFile(".cache/plain.bin", 5);
    const std::string mounted = tmp.makeDir(".cache/mounted");
    const std::string drive = tmp.makeDir("drive");
    const std::string boundFile = tmp.writeFile("bound.bin", 0);
    const std::string realFile = drive + "/real.bin";

    // 1: a mount point listed; 2: walk report silent; 3: removal reached another
    // file system; 4: a file on another file system in the large-and-old bands;
    // 5: the size took in what the mounts brought.
    const int code = testing_support::inPrivateMountNamespace([&] {
        const std::int64_t sizeBefore = core::tree::treeSize(tmp.path());
        if (!testing_support::mountTmpfs(mounted) || !testing_support::mountTmpfs(drive)) {
            return CannotRun;
        }
        TempDir::writeFileAt(realFile, 200 * MiB, true);
        testing_support::setMtime(realFile, Now - 800 * Day);
        if (!testing_support::bindMount(realFile, boundFile)) {
            return CannotRun;
        }
        TempDir::writeFileAt(mounted + "/inside.bin", 7);
        TempDir::writeFileAt(drive + "/big.bin", 3 * MiB);
        testing_support::setMtime(drive + "/big.bin", Now - 800 * Day);

        core::platform::WalkReport report;
        core::platform::services().walkReport = &report;
        scan(1, { atLocation(location(cache)) });
        if (recordPaths(1, 0) != std::vector<std::string>{ cache + "/plain.bin" }) {
            return 1;
        }
        if (report.snapshot().otherFileSystems != 1 || report.snapshot().firstOtherFileSystem != mounted) {
            return 2;
        }
        const auto anchor = core::tree::anchorAt(cache);
        const core::tree::RemovalOutcome outcome = core::tree::removeBelow(*anchor, "mounted", {});
        const auto home = core::tree::anchorAt(tmp.path());
        const core::tree::RemovalOutcome file = core::tree::removeBelow(*home, "bound.bin", {});
        const core::tree::RemovalOutcome below = core::tree::removeBelow(*home, "drive/big.bin", {});
        if (outcome.ok() || outcome.error->code != EXDEV || !exists(mounted + "/inside.bin") || file.ok() || below.ok()
            || !exists(drive + "/big.bin") || !exists(realFile)) {
            return 3;
        }
        scan(3, fourBands());
        for (int band = 0; band < 4; ++band) {
            if (!recordPaths(3, band).empty()) {
                return 4;
            }
        }
        return core::tree::treeSize(tmp.path()) == sizeBefore ? 0 : 5;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
}

// --- unreadable folders ------------------------------------------------------------

TEST_F(CleanSafetyTest, UnreadableFoldersAreToldToTheWalkReport)
{
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    tmp.writeFile("top/open/a.bin", 10);
    tmp.writeFile("top/secret/b.bin", 20);
    tmp.writeFile("top/unvisited/c.bin", 30);
    ASSERT_EQ(::chmod((tmp / "top/secret").c_str(), 0700), 0);
    ASSERT_EQ(::chmod((tmp / "top/unvisited").c_str(), 0700), 0);

    // 1: the size left out more than the closed folders; 2: the report was silent.
    // The ordered walk: 3: a closed folder lost its values or its files were
    // listed; 4: it was not told, or one the walk never entered was.
    const int code = testing_support::runAsNobody([&] {
        core::platform::WalkReport report;
        core::platform::services().walkReport = &report;
        if (core::tree::treeSize(tmp / "top") != 10) {
            return 1;
        }
        const auto seen = report.snapshot();
        if (seen.unreadable != 2 || seen.firstError != EACCES) {
            return 2;
        }
        report.reset();
        bool secretSeenAsFolder = false;
        bool secretContentListed = false;
        const auto walked = core::tree::walkInOrder(
            tmp / "top", core::tree::OrderedWalkOptions{}, [&](const core::tree::WalkItem &item, int, std::size_t) {
                if (item.name == "secret") {
                    secretSeenAsFolder = item.statOk && item.isDir;
                }
                secretContentListed = secretContentListed || item.name == "b.bin";
                return core::tree::VisitAnswer{ false, item.name != "unvisited" };
            });
        if (!walked || !secretSeenAsFolder || secretContentListed) {
            return 3;
        }
        const auto walkSeen = report.snapshot();
        return walkSeen.unreadable == 1 && walkSeen.firstUnreadable == tmp / "top/secret" ? 0 : 4;
    });
    if (code == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(code, 0);
}

TEST_F(CleanSafetyTest, ATrashAtTheTopOfAMountNamesItsItemsByTheirPlaceThere)
{
    // The administrator's shared $topdir/.Trash/$uid and a user's own
    // $topdir/.Trash-$uid: their records name paths relative to $topdir.
    tmp.writeFile("disk/.Trash/1000/files/a.txt", 3);
    std::ofstream(tmp.writeFile("disk/.Trash/1000/info/a.txt.trashinfo", 0))
        << "[Trash Info]\nPath=docs/a%20b.txt\nDeletionDate=2026-03-04T05:06:07\n";
    tmp.writeFile("disk/.Trash-1000/files/c.txt", 3);
    std::ofstream(tmp.writeFile("disk/.Trash-1000/info/c.txt.trashinfo", 0))
        << "[Trash Info]\nPath=c%2B.txt\nDeletionDate=2026-03-04T05:06:07\n";
    // Far too large to be a record: not read (nor trusted for a name).
    tmp.writeFile("disk/.Trash-1000/files/big.txt", 3);
    std::ofstream(tmp.writeFile("disk/.Trash-1000/info/big.txt.trashinfo", 0))
        << "[Trash Info]\nPath=renamed.txt\n"
        << std::string(std::size_t{ 100 } * 1024, '#') << "\n";
    std::vector<core::Category> trashes;
    for (const std::string trash : { "disk/.Trash/1000", "disk/.Trash-1000" }) {
        core::Category category = withLocations(
            { location(tmp / (trash + "/files"), "Children"), location(tmp / (trash + "/info"), "Children") });
        category.kind = core::CategoryKind::Trash;
        trashes.push_back(category);
    }
    scan(1, trashes);

    const core::Category &shared = categoryAt(1, 0);
    ASSERT_EQ(shared.files.size(), 1U) << "the item and its record are one row";
    const auto a = core::trashedItemInfo(*shared.files[0]);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->path, tmp / "disk/docs/a b.txt");
    EXPECT_EQ(shared.files[0]->name(), "a b.txt");
    std::map<std::string, std::string> own;
    for (const auto &row : categoryAt(1, 1).files) {
        const auto info = core::trashedItemInfo(*row);
        own[row->name()] = info ? info->path : "";
    }
    EXPECT_EQ(own, (std::map<std::string, std::string>{ { "big.txt", "" }, { "c+.txt", tmp / "disk/c+.txt" } }));
}
