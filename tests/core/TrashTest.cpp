// Moving large and old files to the Trash instead of deleting them: the
// freedesktop.org layout GIO writes, unique names, file systems without a
// usable trash, links, and the junk modules that always delete.
//
// GIO reads $HOME and $XDG_DATA_HOME once per process, so main() below
// points both at a private temporary folder before any test runs: the
// user's real Trash is never touched.
#include "engine/KeepList.h"
#include "format/FileUrl.h"
#include "support/CleanFixture.h"
#include "support/MountNamespace.h"
#include "tree/Removal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using core::ModuleInfo;
using core::tree::RemovalRequest;
using testing_support::exists;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

std::string g_trash; // $XDG_DATA_HOME/Trash of this process

/// One entry of the home trash: the name in files/ and what its record says.
struct Trashed
{
    std::string name;
    std::string path; // the decoded Path= value
    std::string deletionDate;
};

std::vector<Trashed> trashContent()
{
    std::vector<Trashed> out;
    DIR *dir = ::opendir((g_trash + "/files").c_str());
    if (dir == nullptr) {
        return out;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        Trashed item{ name, {}, {} };
        std::istringstream info(readFile(g_trash + "/info/" + name + ".trashinfo"));
        for (std::string line; std::getline(info, line);) {
            if (line.starts_with("Path=")) {
                item.path = core::format::pathFromFileUrl("file://" + line.substr(5)).value_or("?");
            } else if (line.starts_with("DeletionDate=")) {
                item.deletionDate = line.substr(13);
            }
        }
        out.push_back(item);
    }
    ::closedir(dir);
    return out;
}

std::optional<Trashed> trashedFrom(const std::string &path)
{
    for (const Trashed &item : trashContent()) {
        if (item.path == path) {
            return item;
        }
    }
    return std::nullopt;
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

class TrashTest : public testing_support::CleanFixture
{
protected:
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

    static core::tree::RemovalOutcome trash(
        const std::string &folder, const std::string &name, RemovalRequest request = {})
    {
        request.moveToTrash = true;
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
    EXPECT_EQ(out.removed, std::vector<std::string>{ file });
    EXPECT_EQ(out.trashed, std::vector<std::string>{ file });
    EXPECT_EQ(out.freed, static_cast<std::int64_t>(bytes.size())) << "what was moved";
    EXPECT_FALSE(exists(file));
    EXPECT_TRUE(categoryAt(3, 1).files.empty());

    const auto item = trashedFrom(file);
    ASSERT_TRUE(item.has_value()) << "a .trashinfo whose Path is the file's";
    const std::time_t deleted = parseLocal(item->deletionDate);
    EXPECT_GE(deleted, before - 1) << item->deletionDate;
    EXPECT_LE(deleted, after + 1) << item->deletionDate;

    // Restoring is a rename back, as a file manager does it.
    ASSERT_EQ(::rename((g_trash + "/files/" + item->name).c_str(), file.c_str()), 0);
    EXPECT_EQ(readFile(file), bytes);
}

TEST_F(TrashTest, ANameAlreadyInTheTrashGetsAUniqueOne)
{
    const std::string first = tmp.writeFile("one/same.txt", 3);
    const std::string second = tmp.writeFile("two/same.txt", 5);
    ASSERT_TRUE(trash(tmp / "one", "same.txt").ok());
    const auto outcome = trash(tmp / "two", "same.txt");
    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    EXPECT_TRUE(outcome.trashed);
    EXPECT_EQ(outcome.freed, 5);

    const auto a = trashedFrom(first);
    const auto b = trashedFrom(second);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->name, b->name);
    EXPECT_EQ(readFile(g_trash + "/files/" + a->name), std::string(3, 'x'));
    EXPECT_EQ(readFile(g_trash + "/files/" + b->name), std::string(5, 'x'));
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
    const ssize_t got = ::readlink((g_trash + "/files/" + item->name).c_str(), buffer, sizeof buffer - 1);
    ASSERT_GT(got, 0) << "still a link in the trash";
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), target);
    EXPECT_EQ(readFile(target), std::string(9, 'x'));
}

TEST_F(TrashTest, GioIsHandedWhereTheItemReallyIs)
{
    tmp.writeFile("real/file.txt", 4);
    tmp.makeLink("via", tmp / "real");
    const auto outcome = trash(tmp / "via", "file.txt");
    ASSERT_TRUE(outcome.ok()) << outcome.error->message;
    EXPECT_TRUE(trashedFrom(tmp / "real/file.txt").has_value()) << "the record names the resolved location";
    EXPECT_FALSE(trashedFrom(tmp / "via/file.txt").has_value());
}

TEST_F(TrashTest, AnItemSwappedJustBeforeTheMoveIsNotTrashed)
{
    tmp.writeFile("swap/victim.txt", 3);
    tmp.writeFile("swap/intruder.txt", 4);
    static std::string folder;
    folder = tmp / "swap";
    core::tree::removalRaceHook = [](const std::string &parent, const std::string &name) {
        if (parent == folder && name == "victim.txt") {
            (void)::rename((folder + "/intruder.txt").c_str(), (folder + "/victim.txt").c_str());
        }
    };
    const auto outcome = trash(tmp / "swap", "victim.txt");
    core::tree::removalRaceHook = nullptr;
    EXPECT_TRUE(outcome.refused);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->message, "changed since the scan; not deleted");
    EXPECT_EQ(readFile(tmp / "swap/victim.txt"), std::string(4, 'x')) << "the file put in its place stays";
}

TEST_F(TrashTest, WhatNoTrashTakesStaysAndIsAFailure)
{
    const std::string mount = tmp.makeDir("mnt");
    const int code = testing_support::inPrivateMountNamespace([&mount] {
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
    EXPECT_TRUE(kept.refused);
    auto holder = trash(tmp.path(), "holder", request);
    EXPECT_TRUE(holder.refused);
    ASSERT_TRUE(holder.error.has_value());
    EXPECT_NE(holder.error->message.find("always-keep"), std::string::npos);

    request.dryRun = true;
    auto dry = trash(tmp / "dry", "b.txt", request);
    EXPECT_TRUE(dry.ok() && dry.trashed);
    EXPECT_EQ(dry.freed, 2);
    EXPECT_TRUE(exists(tmp / "dry/b.txt"));

    request.dryRun = false;
    request.expected = core::tree::ItemKind::Directory; // the scan saw a folder: a file now is another item
    EXPECT_TRUE(trash(tmp / "dry", "b.txt", request).refused);
    EXPECT_EQ(trashContent().size(), inTrash);
    EXPECT_TRUE(exists(tmp / "holder/other.txt"));

    request.expected = core::tree::ItemKind::Any;
    const auto folder = trash(tmp.path(), "dry", request);
    ASSERT_TRUE(folder.ok()) << folder.error->message;
    EXPECT_EQ(folder.freed, 2) << "a folder's moved size is its content";
    EXPECT_TRUE(trashedFrom(tmp / "dry").has_value());
}

} // namespace

int main(int argc, char **argv)
{
    // A home of this process's own, made before GIO can read the real one.
    const TempDir home;
    const std::string data = home / ".local/share";
    ::setenv("HOME", home.path().c_str(), 1); // NOLINT(concurrency-mt-unsafe)
    ::setenv("XDG_DATA_HOME", data.c_str(), 1); // NOLINT(concurrency-mt-unsafe)
    g_trash = data + "/Trash";
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
