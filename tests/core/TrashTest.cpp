// SPDX-License-Identifier: GPL-3.0-or-later
// Moving large and old files to the Trash instead of deleting them: the
// freedesktop.org layout, by descriptor: unique names that never overwrite,
// trash folders that are links or belong to someone else, the Trash of the
// home being cleaned, races with the folder above the item, file systems
// without a usable trash, and the junk modules that always delete. The
// desktop's own tools list and restore what was trashed (gio, when gvfs is
// installed).
#include "tree/Trash.h"

#include "engine/KeepList.h"
#include "format/FileUrl.h"
#include "support/CleanFixture.h"
#include "support/MountNamespace.h"
#include "support/RunAsNobody.h"
#include "tree/Removal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using core::ModuleInfo;
using core::tree::Refusal;
using core::tree::RemovalRequest;
using testing_support::exists;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

/// One entry of a trash: the name in files/ and what its record says.
struct Trashed
{
    std::string name;
    std::string path; // the decoded Path= value
    std::string deletionDate;
};

std::vector<Trashed> trashContent(const std::string &trash)
{
    std::vector<Trashed> out;
    DIR *dir = ::opendir((trash + "/files").c_str());
    if (dir == nullptr) {
        return out;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        Trashed item{ name, {}, {} };
        if (const auto info = core::tree::parseTrashInfo(readFile(trash + "/info/" + name + ".trashinfo"))) {
            item.path = info->path;
            item.deletionDate = info->deletionDate;
        }
        out.push_back(item);
    }
    ::closedir(dir);
    return out;
}

/// Local time of a DeletionDate ("YYYY-MM-DDThh:mm:ss", local time, as the Trash standard has it).
std::time_t parseLocal(const std::string &text)
{
    std::tm tm{};
    if (::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &tm) == nullptr) {
        return 0;
    }
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::string patterned(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t k = 0; k < size; ++k) {
        bytes[k] = static_cast<char>((k * 131 + k / 4096) & 0xFF);
    }
    return bytes;
}

/// Runs a shell command; its exit status, -1 when it could not run.
int run(const std::string &command)
{
    const int status = std::system(command.c_str()); // NOLINT(cert-env33-c,concurrency-mt-unsafe): tests only
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// What a command printed; nullopt when it failed.
std::optional<std::string> output(const std::string &command)
{
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return text;
}

std::string quoted(const std::string &text)
{
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

class TrashTest : public testing_support::CleanFixture
{
protected:
    /// The home trash of the fixture's home (its data folder is the home's .local/share).
    std::string homeTrash() const { return tmp / ".local/share/Trash"; }

    std::vector<Trashed> trashContent() const { return ::trashContent(homeTrash()); }

    std::optional<Trashed> trashedFrom(const std::string &path) const
    {
        for (const Trashed &item : trashContent()) {
            if (item.path == path) {
                return item;
            }
        }
        return std::nullopt;
    }

    std::string writeOld(const std::string &relative, const std::string &bytes)
    {
        const std::string path = tmp.writeFile(relative, 0);
        std::ofstream(path, std::ios::binary) << bytes;
        testing_support::setMtime(path, testing_support::Now - 400 * testing_support::Day);
        return path;
    }

    Report cleanToTrash(int module, bool dryRun = false)
    {
        ModuleInfo::CleanOptions options;
        options.moveToTrash = true;
        options.dryRun = dryRun;
        return clean(module, options);
    }

    core::tree::RemovalOutcome trash(const std::string &folder, const std::string &name, RemovalRequest request = {})
    {
        if (!request.trash) {
            request.trash = std::make_shared<core::tree::TrashPlace>(
                core::tree::TrashPlace::forHome(tmp.path(), tmp / ".local/share"));
        }
        const auto anchor = core::tree::anchorAt(folder);
        if (!anchor) {
            core::tree::RemovalOutcome none;
            none.error = core::Error{ ENOENT, folder, "no anchor" };
            return none;
        }
        return core::tree::removeBelow(*anchor, name, request);
    }
};

TEST_F(TrashTest, ALargeOldFileGoesToTheTrashAndComesBackByteForByte)
{
    const std::string bytes = patterned(6 * 1024 * 1024 + 17);
    const std::string file = writeOld("Documents/report 2019 \xff.dat", bytes);
    scan(3, fourBands());
    ASSERT_EQ(recordPaths(3, 1), std::vector<std::string>{ file });
    ModuleInfo::updateState(1, 3, 1, -1, -1);

    const std::time_t before = std::time(nullptr);
    const Report out = cleanToTrash(3);
    const std::time_t after = std::time(nullptr);
    // Ticked in one band, the file is ticked in the age band too: one file, one choice.
    EXPECT_EQ(out.removed, (std::vector<std::string>{ file, file }));
    EXPECT_EQ(out.alreadyGone, std::vector<std::string>{ file });
    EXPECT_EQ(out.trashed, std::vector<std::string>{ file });
    EXPECT_EQ(out.freed, static_cast<std::int64_t>(bytes.size())) << "what was moved";
    EXPECT_FALSE(exists(file));
    EXPECT_TRUE(categoryAt(3, 1).files.empty());
    EXPECT_TRUE(categoryAt(3, 2).files.empty()) << "the same file in another band is gone too";

    const auto item = trashedFrom(file);
    ASSERT_TRUE(item.has_value()) << "a .trashinfo whose Path is the file's";
    const std::time_t deleted = parseLocal(item->deletionDate);
    EXPECT_GE(deleted, before - 1) << item->deletionDate;
    EXPECT_LE(deleted, after + 1) << item->deletionDate;

    // Restoring is a rename back, as a file manager does it.
    ASSERT_EQ(::rename((homeTrash() + "/files/" + item->name).c_str(), file.c_str()), 0);
    EXPECT_EQ(readFile(file), bytes);
}

TEST_F(TrashTest, NothingInTheTrashIsEverOverwritten)
{
    const std::string first = tmp.writeFile("one/same.txt", 3);
    const std::string second = tmp.writeFile("two/same.txt", 5);
    // An orphan in files/ without a record, and a record without an item, under the next names.
    tmp.writeFile(".local/share/Trash/files/report.txt", 7);
    tmp.writeFile(".local/share/Trash/info/same.2.txt.trashinfo", 1);
    const std::string report = tmp.writeFile("Documents/report.txt", 4);

    ASSERT_TRUE(trash(tmp / "one", "same.txt").ok());
    const auto outcome = trash(tmp / "two", "same.txt");
    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    EXPECT_TRUE(outcome.trashed);
    EXPECT_EQ(outcome.freed, 5);
    ASSERT_TRUE(trash(tmp / "Documents", "report.txt").ok());

    const auto a = trashedFrom(first);
    const auto b = trashedFrom(second);
    const auto r = trashedFrom(report);
    ASSERT_TRUE(a && b && r);
    EXPECT_NE(a->name, b->name);
    EXPECT_EQ(readFile(homeTrash() + "/files/" + a->name), std::string(3, 'x'));
    EXPECT_EQ(readFile(homeTrash() + "/files/" + b->name), std::string(5, 'x'));
    EXPECT_EQ(readFile(homeTrash() + "/files/" + r->name), std::string(4, 'x'));
    EXPECT_EQ(readFile(homeTrash() + "/files/report.txt"), std::string(7, 'x')) << "the orphan stays";
    EXPECT_EQ(readFile(homeTrash() + "/info/same.2.txt.trashinfo"), "x");
    EXPECT_FALSE(exists(homeTrash() + "/info/report.txt.trashinfo")) << "the orphan gets no record of another item";
}

TEST_F(TrashTest, TrashFoldersThatAreLinksOrSomeoneElsesAreRefused)
{
    // files/ leads to the user's Documents: trashing an old notes.txt would
    // replace the recent one there.
    const std::string recent = tmp.writeFile("Documents/notes.txt", 6);
    tmp.makeDir(".local/share/Trash/info");
    tmp.makeLink(".local/share/Trash/files", "../../../Documents");
    const std::string old = tmp.writeFile("Videos/notes.txt", 2);

    const auto throughLink = trash(tmp / "Videos", "notes.txt");
    EXPECT_FALSE(throughLink.ok());
    EXPECT_FALSE(throughLink.trashed);
    EXPECT_EQ(readFile(recent), std::string(6, 'x'));
    EXPECT_EQ(readFile(old), std::string(2, 'x'));

    // The whole Trash a link to a folder elsewhere.
    ASSERT_EQ(::unlink((tmp / ".local/share/Trash/files").c_str()), 0);
    ASSERT_EQ(::rename((tmp / ".local/share/Trash").c_str(), (tmp / "elsewhere").c_str()), 0);
    const std::string there = tmp.writeFile("elsewhere/files/notes.txt", 9);
    tmp.makeLink(".local/share/Trash", tmp / "elsewhere");
    EXPECT_FALSE(trash(tmp / "Videos", "notes.txt").ok());
    EXPECT_EQ(readFile(there), std::string(9, 'x'));
    EXPECT_EQ(readFile(old), std::string(2, 'x'));

    // The dry run says the same.
    RemovalRequest preview;
    preview.dryRun = true;
    EXPECT_FALSE(trash(tmp / "Videos", "notes.txt", preview).ok());

    // A real Trash folder that belongs to someone else.
    ASSERT_EQ(::unlink((tmp / ".local/share/Trash").c_str()), 0);
    const std::string theirs = tmp.makeDir(".local/share/Trash");
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    const auto foreign = trash(tmp / "Videos", "notes.txt");
    EXPECT_FALSE(foreign.ok());
    EXPECT_FALSE(foreign.trashed);
    EXPECT_EQ(readFile(old), std::string(2, 'x'));
    EXPECT_FALSE(exists(theirs + "/files"));
}

TEST_F(TrashTest, AMissingDataFolderOutsideTheHomeIsNotMade)
{
    const std::string file = tmp.writeFile("home/Videos/film.mkv", 3);
    RemovalRequest request;
    request.trash = std::make_shared<core::tree::TrashPlace>(
        core::tree::TrashPlace::forHome(tmp / "home", tmp / "elsewhere/share"));

    const auto outcome = trash(tmp / "home/Videos", "film.mkv", request);

    EXPECT_FALSE(outcome.ok());
    EXPECT_FALSE(outcome.trashed);
    EXPECT_EQ(readFile(file), "xxx");
    EXPECT_FALSE(exists(tmp / "elsewhere"));
    EXPECT_FALSE(exists(tmp / "home/share"));
    EXPECT_FALSE(exists(tmp / "home/Trash"));
}

TEST_F(TrashTest, ANameAsLongAsAllowedIsTrashedUnderOneItsRecordCanHave)
{
    const std::string name = std::string(246, 'n') + ".txt"; // its record's name would be 260 bytes
    const std::string file = tmp.writeFile("Videos/" + name, 3);

    const auto outcome = trash(tmp / "Videos", name);

    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    EXPECT_FALSE(exists(file));
    const auto item = trashedFrom(file);
    ASSERT_TRUE(item.has_value());
    EXPECT_LE(item->name.size() + std::string(".trashinfo").size(), std::size_t{ NAME_MAX });
    EXPECT_TRUE(item->name.ends_with(".txt"));
}

TEST_F(TrashTest, AnItemOnAnotherMountGoesToTheTrashAtTheTopOfIt)
{
    const std::string disk = tmp.makeDir("disk");
    const std::string top = tmp.makeDir("mnt");
    struct stat home
    {
    };
    ASSERT_EQ(::stat(tmp.path().c_str(), &home), 0);
    const std::string uid = std::to_string(home.st_uid);
    const std::string own = top + "/.Trash-" + uid;
    const int code = testing_support::inPrivateMountNamespace([&] {
        // A bind mount of the same disk is a mount of its own: a rename cannot leave it.
        if (!testing_support::bindMount(disk, top)) {
            return testing_support::CannotRun;
        }
        // No shared .Trash: $topdir/.Trash-$uid, private, the record relative to the top.
        TempDir::writeFileAt(top + "/a.txt", 3);
        if (!trash(top, "a.txt").trashed || readFile(own + "/files/a.txt") != "xxx") {
            return 1;
        }
        if (readFile(own + "/info/a.txt.trashinfo").find("\nPath=a.txt\n") == std::string::npos) {
            return 2;
        }
        struct stat st
        {
        };
        if (::stat(own.c_str(), &st) != 0 || (st.st_mode & 07777) != 0700) {
            return 3;
        }
        // The administrator's shared .Trash, a real sticky folder: $topdir/.Trash/$uid.
        const std::string shared = top + "/.Trash";
        if (::mkdir(shared.c_str(), 0777) != 0 || ::chmod(shared.c_str(), 01777) != 0) {
            return 4;
        }
        TempDir::writeFileAt(top + "/b.txt", 3);
        if (!trash(top, "b.txt").trashed || !exists(shared + "/" + uid + "/files/b.txt")) {
            return 5;
        }
        // Without the sticky bit anyone could take it over: not used.
        if (::chmod(shared.c_str(), 0777) != 0) {
            return 4;
        }
        TempDir::writeFileAt(top + "/c.txt", 3);
        if (!trash(top, "c.txt").trashed || !exists(own + "/files/c.txt")) {
            return 6;
        }
        // Nor a link to a sticky folder elsewhere.
        if (::chmod(shared.c_str(), 01777) != 0 || ::rename(shared.c_str(), (top + "/elsewhere").c_str()) != 0
            || ::symlink("elsewhere", shared.c_str()) != 0) {
            return 4;
        }
        TempDir::writeFileAt(top + "/d.txt", 3);
        if (!trash(top, "d.txt").trashed || !exists(own + "/files/d.txt")) {
            return 7;
        }
        return 0;
    });
    if (code == testing_support::CannotRun) {
        GTEST_SKIP() << "cannot bind-mount in a private namespace here";
    }
    EXPECT_EQ(code, 0) << "1: not in .Trash-$uid, 2: record not relative to the top, 3: not private, 4: setup, "
                          "5: shared .Trash not used, 6: a shared .Trash without the sticky bit used, 7: a link used";
}

TEST_F(TrashTest, AnItemSwappedJustBeforeTheMoveIsNotTrashed)
{
    tmp.writeFile("swap/victim.txt", 3);
    tmp.writeFile("swap/intruder.txt", 4);
    const std::string folder = tmp / "swap";
    RemovalRequest request;
    request.raceHook = [&folder](const std::string &parent, const std::string &name) {
        if (parent == folder && name == "victim.txt") {
            (void)::rename((folder + "/intruder.txt").c_str(), (folder + "/victim.txt").c_str());
        }
    };
    const auto outcome = trash(folder, "victim.txt", request);
    EXPECT_EQ(outcome.refusal, Refusal::ChangedSinceScan);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->message, "changed since the scan; not moved to the Trash");
    EXPECT_EQ(readFile(tmp / "swap/victim.txt"), std::string(4, 'x')) << "the file put in its place stays";
    EXPECT_TRUE(trashContent().empty());
}

TEST_F(TrashTest, AnItemMovedAwayBeforeItsTurnIsAlreadyGone)
{
    tmp.writeFile("a/item.txt", 3);
    const std::string folder = tmp / "a";
    RemovalRequest request;
    request.raceHook = [&](const std::string &parent, const std::string &name) {
        if (parent == folder && name == "item.txt") {
            (void)::rename((folder + "/item.txt").c_str(), (tmp / "moved.txt").c_str()); // another clean's move
        }
    };
    const auto outcome = trash(folder, "item.txt", request);
    EXPECT_TRUE(outcome.ok());
    EXPECT_TRUE(outcome.alreadyGone);
    EXPECT_FALSE(outcome.trashed);
}

TEST_F(TrashTest, TheFolderAboveExchangedWithALinkInALoopNeverMovesAnOutsideFile)
{
    constexpr int Items = 5000;
    for (int k = 0; k < Items; ++k) {
        testing_support::setMtime(tmp.writeFile("Videos/old/item" + std::to_string(k) + ".bin", 1),
            testing_support::Now - 400 * testing_support::Day);
    }
    TempDir outside;
    for (int k = 0; k < Items; ++k) {
        outside.writeFile("item" + std::to_string(k) + ".bin", 2);
    }
    scan(3, fourBands());
    ModuleInfo::updateState(1, 3, 2, -1, -1);
    ASSERT_EQ(categoryAt(3, 2).files.size(), static_cast<std::size_t>(Items));
    tmp.makeLink("Videos/swap", outside.path());

    std::atomic<bool> stop{ false };
    std::atomic<int> exchanges{ 0 };
    const std::string old = tmp / "Videos/old";
    const std::string link = tmp / "Videos/swap";
    std::thread attacker([&] {
        while (!stop.load()) {
            if (::renameat2(AT_FDCWD, old.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0) {
                ++exchanges;
            }
        }
    });
    const Report out = cleanToTrash(3);
    stop = true;
    attacker.join();
    // Put the folders back the right way round.
    struct stat st
    {
    };
    if (::lstat(old.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        ASSERT_EQ(::renameat2(AT_FDCWD, old.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE), 0);
    }

    EXPECT_GT(exchanges.load(), 0);
    std::size_t outsideLeft = 0;
    for (int k = 0; k < Items; ++k) {
        outsideLeft += readFile(outside / ("item" + std::to_string(k) + ".bin")) == "xx" ? 1 : 0;
    }
    EXPECT_EQ(outsideLeft, static_cast<std::size_t>(Items)) << "an outside file was moved";
    for (const Trashed &item : trashContent()) {
        ASSERT_TRUE(item.path.starts_with(old + "/")) << item.path;
        EXPECT_EQ(readFile(homeTrash() + "/files/" + item.name), "x");
    }
    // Every item reported as trashed really is in the Trash; the others stay home.
    EXPECT_EQ(out.trashed.size(), trashContent().size());
    EXPECT_EQ(out.trashed.size() + out.failed.size() + out.alreadyGone.size(), static_cast<std::size_t>(Items));
    for (const std::string &path : out.trashed) {
        EXPECT_FALSE(exists(path)) << path;
    }
}

TEST_F(TrashTest, AnItemDeeperThanPathMaxIsTrashedWithItsFullPath)
{
    std::string relative = "deep";
    const std::string name(200, 'd');
    for (int level = 0; level < 22; ++level) {
        relative += "/" + name;
    }
    tmp.makeDir("deep");
    int fd = ::open((tmp / "deep").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < 22; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    const int file = ::openat(fd, "leaf.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(file, "abc", 3), 3);
    ::close(file);
    ::close(fd);
    ASSERT_GT(relative.size(), static_cast<std::size_t>(PATH_MAX));

    const auto outcome = trash(tmp.path(), relative + "/leaf.txt");

    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    EXPECT_TRUE(outcome.trashed);
    EXPECT_TRUE(trashedFrom(tmp / (relative + "/leaf.txt")).has_value());
}

TEST_F(TrashTest, TheRecordNamesWhereTheItemReallyIs)
{
    tmp.writeFile("real/file.txt", 4);
    tmp.makeLink("via", tmp / "real");
    const auto outcome = trash(tmp / "via", "file.txt");
    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    EXPECT_TRUE(trashedFrom(tmp / "real/file.txt").has_value()) << "the record names the resolved location";
    EXPECT_FALSE(trashedFrom(tmp / "via/file.txt").has_value());
}

TEST_F(TrashTest, ALinkGoesAsTheLinkItsTargetStays)
{
    const std::string target = tmp.writeFile("precious/keep.txt", 9);
    tmp.makeLink("links/to-keep", target);
    const auto outcome = trash(tmp / "links", "to-keep");
    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    const auto item = trashedFrom(tmp / "links/to-keep");
    ASSERT_TRUE(item.has_value());
    char buffer[4096] = {};
    const ssize_t got = ::readlink((homeTrash() + "/files/" + item->name).c_str(), buffer, sizeof buffer - 1);
    ASSERT_GT(got, 0) << "still a link in the trash";
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), target);
    EXPECT_EQ(readFile(target), std::string(9, 'x'));
}

TEST_F(TrashTest, WhatNoTrashTakesStaysAndIsAFailure)
{
    const std::string mount = tmp.makeDir("mnt");
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::mountTmpfs(mount)) {
            return testing_support::CannotRun;
        }
        const std::string file = TempDir::writeFileAt(mount + "/notes.txt", 12);
        const auto outcome = trash(mount, "notes.txt");
        if (outcome.ok() || outcome.trashed || outcome.freed != 0) {
            return 1;
        }
        if (outcome.error->message.find("not moved to the Trash") == std::string::npos) {
            return 2;
        }
        return readFile(file) == std::string(12, 'x') ? 0 : 3;
    });
    if (code == testing_support::CannotRun) {
        GTEST_SKIP() << "cannot mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
}

TEST_F(TrashTest, ItemsGoToTheTrashOfTheHomeBeingCleanedAndBelongToItsOwner)
{
    constexpr uid_t Nobody = 65534;
    ASSERT_EQ(::chown(tmp.path().c_str(), Nobody, Nobody), 0);
    const std::string file = tmp.writeFile("Videos/film.mkv", 8);
    ASSERT_EQ(::chown(file.c_str(), Nobody, Nobody), 0);
    ASSERT_EQ(::chown((tmp / "Videos").c_str(), Nobody, Nobody), 0);
    RemovalRequest request;
    request.trash =
        std::make_shared<core::tree::TrashPlace>(core::tree::TrashPlace::forHome(tmp.path(), tmp / ".local/share"));
    EXPECT_EQ(request.trash->uid, Nobody);

    const auto outcome = trash(tmp / "Videos", "film.mkv", request);

    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    const auto item = trashedFrom(file);
    ASSERT_TRUE(item.has_value());
    for (const std::string &made : { tmp / ".local",
             tmp / ".local/share",
             homeTrash(),
             homeTrash() + "/files",
             homeTrash() + "/info",
             homeTrash() + "/info/" + item->name + ".trashinfo" }) {
        struct stat st
        {
        };
        ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_uid, Nobody) << made;
        EXPECT_EQ(st.st_mode & 07777, S_ISDIR(st.st_mode) ? 0700U : 0600U) << made << ": private to its owner";
    }
}

TEST_F(TrashTest, TheJunkModulesStillDeleteForGood)
{
    const std::string file = tmp.writeFile("cache/blob", 10);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    const std::size_t inTrash = trashContent().size();
    const Report out = cleanToTrash(1);
    EXPECT_EQ(out.removed, std::vector<std::string>{ file });
    EXPECT_TRUE(out.trashed.empty());
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(trashContent().size(), inTrash) << "nothing of a cache goes to the Trash";
}

TEST_F(TrashTest, EveryCheckOfADeletionHoldsForTrashing)
{
    tmp.writeFile("kept/a.txt", 1);
    tmp.writeFile("holder/inner/kept.txt", 1);
    tmp.writeFile("holder/other.txt", 1);
    tmp.writeFile("dry/b.txt", 2);
    RemovalRequest request;
    request.kept = core::tree::KeptItems::resolve({ tmp / "kept/a.txt", tmp / "holder/inner/kept.txt" });
    const std::size_t inTrash = trashContent().size();

    auto kept = trash(tmp / "kept", "a.txt", request);
    EXPECT_EQ(kept.refusal, Refusal::Kept);
    auto holder = trash(tmp.path(), "holder", request);
    EXPECT_EQ(holder.refusal, Refusal::Kept);
    ASSERT_TRUE(holder.error.has_value());
    EXPECT_NE(holder.error->message.find("always-keep"), std::string::npos);

    request.dryRun = true;
    auto dry = trash(tmp / "dry", "b.txt", request);
    EXPECT_TRUE(dry.ok() && dry.trashed);
    EXPECT_EQ(dry.freed, 2);
    EXPECT_TRUE(exists(tmp / "dry/b.txt"));

    request.dryRun = false;
    request.expected = core::tree::ItemKind::Directory; // the scan saw a folder: a file now is another item
    EXPECT_EQ(trash(tmp / "dry", "b.txt", request).refusal, Refusal::ChangedSinceScan);
    EXPECT_EQ(trashContent().size(), inTrash);
    EXPECT_TRUE(exists(tmp / "holder/other.txt"));

    request.expected = core::tree::ItemKind::Any;
    const auto folder = trash(tmp.path(), "dry", request);
    ASSERT_TRUE(folder.ok()) << folder.error->message;
    EXPECT_EQ(folder.freed, 2) << "a folder's moved size is its content";
    EXPECT_TRUE(trashedFrom(tmp / "dry").has_value());
}

TEST_F(TrashTest, TheDesktopListsAndRestoresWhatWasTrashed)
{
    if (run("command -v gio >/dev/null && command -v dbus-run-session >/dev/null") != 0
        || run("test -e /usr/libexec/gvfsd-trash") != 0) {
        GTEST_SKIP() << "gio, dbus-run-session or gvfs's trash backend (Debian's gvfs) is not installed";
    }
    const std::string bytes = patterned(70000);
    const std::string file = writeOld("Documents/old report.pdf", bytes);
    const std::string accented = tmp.writeFile("Documents/r\xc3\xa9sum\xc3\xa9.txt", 3);
    const std::string folder = tmp.makeDir("Projects/old build");
    tmp.writeFile("Projects/old build/out.o", 11);
    ASSERT_TRUE(trash(tmp / "Documents", "old report.pdf").ok());
    ASSERT_TRUE(trash(tmp / "Documents", "r\xc3\xa9sum\xc3\xa9.txt").ok());
    ASSERT_TRUE(trash(tmp / "Projects", "old build").ok());

    // gio asks the trash backend, which reads the home of its own environment: this test's.
    const std::string env =
        "env HOME=" + quoted(tmp.path()) + " XDG_DATA_HOME=" + quoted(tmp / ".local/share") + " dbus-run-session -- ";
    const std::optional<std::string> listed = output(env + "gio trash --list 2>/dev/null");
    ASSERT_TRUE(listed.has_value());
    // One line per item: its trash URI and where it came from (gio prints bytes beyond ASCII escaped).
    EXPECT_NE(listed->find("trash:///old%20report.pdf\t" + file + "\n"), std::string::npos) << *listed;
    EXPECT_NE(listed->find("trash:///r%C3%A9sum%C3%A9.txt\t" + tmp / "Documents/r\\xc3\\xa9sum\\xc3\\xa9.txt\n"),
        std::string::npos)
        << *listed;
    EXPECT_NE(listed->find("trash:///old%20build\t" + folder + "\n"), std::string::npos) << *listed;

    // (gio's own restore writes a name beyond ASCII back in its escaped form, so the round trip uses an ASCII one.)
    ASSERT_EQ(run(env + "gio trash --restore 'trash:///old%20report.pdf' >/dev/null 2>&1"), 0);
    EXPECT_TRUE(readFile(file) == bytes) << "restored byte for byte";
    EXPECT_FALSE(trashedFrom(file).has_value());
    ASSERT_EQ(run(env + "gio trash --restore 'trash:///old%20build' >/dev/null 2>&1"), 0);
    EXPECT_EQ(readFile(folder + "/out.o"), std::string(11, 'x'));
    (void)accented;
}

} // namespace
