// SPDX-License-Identifier: GPL-3.0-or-later
// The always-keep list: its file, scans that leave kept items out (also
// inside folders measured whole), and the cleaner refusing them again.
#include "engine/KeepList.h"

#include "support/CleanFixture.h"
#include "tree/KeptItems.h"
#include "tree/TreeSize.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using core::KeepList;
using core::ModuleInfo;
using testing_support::exists;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

constexpr std::int64_t MiB = testing_support::MiB;

class KeepListTest : public testing_support::CleanFixture
{
protected:
    void keep(const std::vector<std::string> &paths)
    {
        const auto added = KeepList::add(paths);
        ASSERT_TRUE(added.has_value()) << added.error().message;
    }

    void unkeep(const std::vector<std::string> &paths)
    {
        const auto removed = KeepList::remove(paths);
        ASSERT_TRUE(removed.has_value()) << removed.error().message;
    }

    /// The record names of a category, with their sizes.
    std::map<std::string, std::int64_t> sizes(int module, int categoryIndex)
    {
        std::map<std::string, std::int64_t> out;
        for (const auto &record : categoryAt(module, categoryIndex).files) {
            out[record->name()] = record->size;
        }
        return out;
    }
};

TEST_F(KeepListTest, FileKeepsAnyPathAndWhatAPersonWroteInIt)
{
    EXPECT_EQ(KeepList::filePath(), tmp.path() + "/.config/Spruce/always-keep");
    ASSERT_TRUE(KeepList::load().has_value());
    EXPECT_TRUE(KeepList::load().value().paths.empty()) << "no file yet: nothing kept";

    const std::string odd = tmp / "line\nbreak \xff name";
    const auto added = KeepList::add({ odd, tmp / "folder/", tmp / "folder" });
    ASSERT_TRUE(added.has_value());
    EXPECT_EQ(added.value(), (std::vector<std::string>{ odd, tmp / "folder" }))
        << "a trailing / and a repeat add nothing";
    EXPECT_EQ(KeepList::load().value().paths, added.value());

    // A line of one's own and a comment survive the next rewrite.
    {
        std::FILE *f = std::fopen(KeepList::filePath().c_str(), "a");
        std::fputs("# mine\nnot a url\n", f);
        std::fclose(f);
    }
    keep({ tmp / "later" });
    unkeep({ odd });
    EXPECT_EQ(KeepList::load().value().paths, (std::vector<std::string>{ tmp / "folder", tmp / "later" }));
    const std::string text = readFile(KeepList::filePath());
    EXPECT_NE(text.find("# mine\nnot a url\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nfile://" + tmp.path() + "/folder\n"), std::string::npos) << text;

    const auto relative = KeepList::add({ "relative/path" });
    ASSERT_FALSE(relative.has_value());
    EXPECT_EQ(relative.error().code, EINVAL);
    EXPECT_EQ(KeepList::remove({ tmp / "never-kept" }).value(), std::vector<std::string>{});

    struct stat st
    {
    };
    ASSERT_EQ(::stat(KeepList::filePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U) << "the list is the user's own";
}

TEST_F(KeepListTest, AListThatCannotBeReadIsAnError)
{
    tmp.makeDir(".config/Spruce/always-keep"); // a folder where the file should be
    EXPECT_FALSE(KeepList::load().has_value());
    EXPECT_FALSE(KeepList::resolve().has_value());
    EXPECT_FALSE(KeepList::add({ tmp / "x" }).has_value());
}

/// Writes the list file by hand, as a person with an editor would.
void writeList(const std::string &text)
{
    std::filesystem::create_directories(std::filesystem::path(KeepList::filePath()).parent_path());
    std::ofstream(KeepList::filePath(), std::ios::binary | std::ios::trunc) << text;
}

/// Whether `work` returns within a few seconds (it runs on a thread of its own, left behind when it hangs).
bool finishesSoon(std::function<void()> work)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([work = std::move(work), done] {
        work();
        done->set_value();
    }).detach();
    return finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

TEST_F(KeepListTest, HandWrittenLinesArePathsURLsCommentsOrToldAsUnusable)
{
    using namespace std::string_literals;
    for (const char *name : { "plain", "short", "lead", "crlf", "trail", "plain dir", "tilde" }) {
        tmp.writeFile(name, 1);
    }
    writeList("# my list\n"s + "\n" + "   # indented comment\r\n" + tmp / "plain" + "\n" + "file:" + tmp / "short"
        + "\n" + " \t" + core::format::fileUrlFromPath(tmp / "lead") + "\n"
        + core::format::fileUrlFromPath(tmp / "crlf") + "\r\n" + core::format::fileUrlFromPath(tmp / "trail") + "  \t\n"
        + tmp / "plain dir" + "//\n" + "relative/path\r\n" + "~/tilde\n" + tmp / "nul\0byte"s + "\n"
        + "file:///bad%zz\n" + "file://otherhost" + tmp / "plain" + "\n" + "file:///nul%00\n" + "\r\n"
        + "file:relative");

    const auto loaded = KeepList::load();
    ASSERT_TRUE(loaded.has_value()) << loaded.error().message;
    EXPECT_EQ(loaded.value().paths,
        (std::vector<std::string>{
            tmp / "plain", tmp / "short", tmp / "lead", tmp / "crlf", tmp / "trail", tmp / "plain dir" }));
    std::vector<std::string> unusable;
    for (const KeepList::Unusable &line : loaded.value().unusable) {
        unusable.push_back(line.describe());
    }
    const std::string notPath = "cannot be used (not an absolute path or a file URL): ";
    const std::string badUrl = "cannot be used (not a file URL of this computer, or a malformed one): ";
    EXPECT_EQ(unusable,
        (std::vector<std::string>{ "line 10 " + notPath + "relative/path",
            "line 11 " + notPath + "~/tilde",
            "line 12 cannot be used (holds a NUL byte): " + tmp / "nul\0byte"s,
            "line 13 " + badUrl + "file:///bad%zz",
            "line 14 " + badUrl + "file://otherhost" + tmp / "plain",
            "line 15 " + badUrl + "file:///nul%00",
            "line 17 " + badUrl + "file:relative" }));

    // Every usable form keeps its file.
    const auto resolved = KeepList::resolve();
    ASSERT_TRUE(resolved.has_value());
    ASSERT_NE(resolved.value().kept, nullptr);
    for (const char *name : { "plain", "short", "lead", "crlf", "trail", "plain dir" }) {
        EXPECT_TRUE(resolved.value().kept->covers(tmp / name)) << name;
    }
    EXPECT_FALSE(resolved.value().kept->covers(tmp / "tilde"));
    EXPECT_EQ(resolved.value().unusable.size(), 7U);

    // A path written plainly is listed already; taking it off takes the plain line; the rest stays as written.
    EXPECT_EQ(KeepList::add({ tmp / "plain", tmp / "trail" }).value(), std::vector<std::string>{});
    EXPECT_EQ(KeepList::remove({ tmp / "plain", tmp / "crlf" }).value(),
        (std::vector<std::string>{ tmp / "plain", tmp / "crlf" }));
    const std::string text = readFile(KeepList::filePath());
    EXPECT_EQ(text.find("\n" + tmp / "plain" + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("   # indented comment\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nrelative/path\r\n~/tilde\n"), std::string::npos) << text;
    EXPECT_NE(text.find(tmp / "nul\0byte"s + "\n"), std::string::npos) << text;
    EXPECT_EQ(KeepList::load().value().unusable.size(), 7U);
}

TEST_F(KeepListTest, APathListedTwiceIsTakenOffWhollyAndSaidOnce)
{
    tmp.writeFile("twice", 1);
    writeList(tmp / "twice" + "\n" + core::format::fileUrlFromPath(tmp / "twice") + "\n");

    EXPECT_EQ(KeepList::remove({ tmp / "twice" }).value(), std::vector<std::string>{ tmp / "twice" });
    EXPECT_TRUE(KeepList::load().value().paths.empty());
}

TEST_F(KeepListTest, AnUnusableLineStopsTheWholeCleanAndSaysWhichLine)
{
    tmp.writeFile("cache/a", 1);
    tmp.writeFile("cache/b", 2);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    writeList("# mine\n" + tmp / "cache/b" + "\nDocuments/thesis.tex\n");

    for (const bool dryRun : { true, false }) {
        const Report out = clean(1, dryRun);
        EXPECT_TRUE(out.removed.empty());
        ASSERT_EQ(out.failed.size(), 2U);
        EXPECT_EQ(out.failed.at(tmp / "cache/a"),
            KeepList::filePath()
                + ": the always-keep list has 1 line that cannot be used (line 3 cannot be used (not an absolute "
                  "path or a file URL): Documents/thesis.tex); nothing deleted");
    }
    EXPECT_TRUE(exists(tmp / "cache/a"));

    // Mended, the clean goes ahead and still keeps what the list keeps.
    writeList("# mine\n" + tmp / "cache/b" + "\n" + tmp / "Documents/thesis.tex" + "\n");
    const Report out = clean(1);
    EXPECT_EQ(out.removed, std::vector<std::string>{ tmp / "cache/a" });
    EXPECT_TRUE(exists(tmp / "cache/b"));
}

TEST_F(KeepListTest, OnlyARegularFileOfAtMostFourMebibytesIsAList)
{
    const std::string file = KeepList::filePath();
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    const auto refusal = [] {
        std::optional<core::Error> error;
        const bool returned = finishesSoon([&error] {
            auto loaded = KeepList::load();
            error = loaded ? std::nullopt : std::optional<core::Error>(loaded.error());
        });
        return returned ? error.value_or(core::Error{ 0, "", "read as a list" }) : core::Error{ 0, "", "hangs" };
    };

    // A FIFO would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(refusal().message, "not a regular file");
    EXPECT_TRUE(finishesSoon([this] {
        EXPECT_FALSE(KeepList::add({ tmp.path() }).has_value());
    })) << "nor does a change";
    ASSERT_EQ(::unlink(file.c_str()), 0);

    // A link to a device that never ends (it aborted on memory before).
    tmp.makeLink(".config/Spruce/always-keep", "/dev/zero");
    EXPECT_EQ(refusal().message, "not a regular file");
    ASSERT_EQ(::unlink(file.c_str()), 0);

    // Exactly the cap is read; one byte more is refused with a clear reason.
    ASSERT_EQ(::truncate(tmp.writeFile(".config/Spruce/always-keep", 0).c_str(), KeepList::MaxFileSize), 0);
    EXPECT_EQ(refusal().message, "read as a list") << "a file of NUL bytes: one line that cannot be used";
    const auto nuls = KeepList::load();
    ASSERT_EQ(nuls.value().unusable.size(), 1U);
    EXPECT_EQ(nuls.value().unusable[0].text.size(), KeepList::MaxFileSize) << "read whole";
    EXPECT_EQ(nuls.value().unusable[0].describe(),
        "line 1 cannot be used (holds a NUL byte): " + std::string(200, '\0') + "...")
        << "told in a line of reasonable length";
    ASSERT_EQ(::truncate(file.c_str(), KeepList::MaxFileSize + 1), 0);
    const core::Error big = refusal();
    EXPECT_EQ(big.message, "larger than 4 MiB");
    EXPECT_EQ(big.code, EFBIG);
    EXPECT_EQ(big.path, file);
    ASSERT_EQ(::unlink(file.c_str()), 0);

    // A link that leads nowhere is not an empty list: it was meant to keep something.
    tmp.makeLink(".config/Spruce/always-keep", tmp / "dotfiles/always-keep");
    EXPECT_EQ(refusal().message, "a link that leads to nothing");
    EXPECT_FALSE(KeepList::add({ tmp.path() }).has_value());
    EXPECT_FALSE(exists(tmp / "dotfiles/always-keep"));
}

TEST_F(KeepListTest, ALinkToTheListIsReadAndWrittenThrough)
{
    // Dotfiles setups link the list to a file in a repository of their own.
    const std::string target = tmp.writeFile("dotfiles/spruce/always-keep", 0);
    std::ofstream(target) << "# versioned\n"
                          << tmp / "old"
                          << "\n";
    tmp.makeLink(".config/Spruce/always-keep", "../../dotfiles/spruce/always-keep");
    tmp.writeFile("old", 1);
    tmp.writeFile("new", 1);

    EXPECT_EQ(KeepList::load().value().paths, std::vector<std::string>{ tmp / "old" });
    EXPECT_EQ(KeepList::add({ tmp / "new" }).value(), std::vector<std::string>{ tmp / "new" });
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(KeepList::filePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(
        readFile(target), "# versioned\n" + tmp / "old" + "\n" + core::format::fileUrlFromPath(tmp / "new") + "\n");
    EXPECT_EQ(KeepList::remove({ tmp / "old" }).value(), std::vector<std::string>{ tmp / "old" });
    EXPECT_EQ(KeepList::load().value().paths, std::vector<std::string>{ tmp / "new" });
    ASSERT_EQ(::lstat(KeepList::filePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(std::filesystem::directory_iterator(tmp / "dotfiles/spruce")->path().string(), target)
        << "no temporary left";
}

TEST_F(KeepListTest, AListLongerThanOneReadKeepsWhatItsLastLineNames)
{
    tmp.writeFile("cache/a", 1);
    tmp.writeFile("cache/last", 2);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    // Some 300 KiB of kept paths elsewhere, then the one that matters, without a newline after it.
    std::string text;
    for (int i = 0; text.size() < 300 * 1024; ++i) {
        text +=
            core::format::fileUrlFromPath(tmp / ("elsewhere/some/long/folder/name/number-" + std::to_string(i))) + "\n";
    }
    writeList(text + core::format::fileUrlFromPath(tmp / "cache/last"));

    const Report out = clean(1);
    EXPECT_EQ(out.removed, std::vector<std::string>{ tmp / "cache/a" });
    EXPECT_EQ(readFile(tmp / "cache/last"), "xx");
}

/// Counts the flushes of the list and checks, at each, what is on disk then.
struct SyncProbe
{
    static inline int files = 0;
    static inline int folders = 0;
    static inline std::string listBefore; // what the list said when the new one was flushed
    static inline std::string flushed; // what the flushed file held

    static int sync(int fd)
    {
        struct stat st
        {
        };
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ++folders;
            return 0;
        }
        ++files;
        listBefore = exists(KeepList::filePath()) ? readFile(KeepList::filePath()) : "<none>";
        flushed.assign(static_cast<std::size_t>(st.st_size), '\0');
        if (::pread(fd, flushed.data(), flushed.size(), 0) != static_cast<ssize_t>(flushed.size())) {
            flushed = "<unreadable>";
        }
        return 0;
    }
};

TEST_F(KeepListTest, TheNewListIsOnDiskBeforeItTakesTheOldOnesPlace)
{
    tmp.writeFile("a", 1);
    tmp.writeFile("b", 1);
    const KeepList::SyncFunction before = KeepList::setSyncForTesting(&SyncProbe::sync);
    keep({ tmp / "a" });
    EXPECT_EQ(SyncProbe::files, 1);
    EXPECT_EQ(SyncProbe::listBefore, "<none>");
    const std::string first = readFile(KeepList::filePath());
    EXPECT_EQ(SyncProbe::flushed, first);

    keep({ tmp / "b" });
    EXPECT_EQ(SyncProbe::files, 2);
    EXPECT_EQ(SyncProbe::listBefore, first) << "flushed before the rename";
    EXPECT_EQ(SyncProbe::flushed, readFile(KeepList::filePath()));
    EXPECT_EQ(SyncProbe::folders, 2) << "and the folder after it";

    // A flush that fails leaves the old list in place.
    KeepList::setSyncForTesting([](int) {
        errno = EIO;
        return -1;
    });
    const auto failed = KeepList::add({ tmp / "c" });
    KeepList::setSyncForTesting(before);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().code, EIO);
    EXPECT_EQ(KeepList::load().value().paths, (std::vector<std::string>{ tmp / "a", tmp / "b" }));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp / ".config/Spruce"), {}), 1) << "no temporary left";
}

TEST_F(KeepListTest, TheSettingsFoldersAreMadePrivate)
{
    const mode_t mask = ::umask(0); // what the folders get is what the code asks for
    tmp.writeFile("a", 1);
    const auto added = KeepList::add({ tmp / "a" });
    ::umask(mask);
    ASSERT_TRUE(added.has_value());
    for (const std::string &folder : { tmp / ".config", tmp / ".config/Spruce" }) {
        struct stat st
        {
        };
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700U) << folder;
    }
    struct stat st
    {
    };
    ASSERT_EQ(::stat(KeepList::filePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600U);
}

TEST(KeptItems, MatchByIdentityNotByName)
{
    TempDir tmp;
    const std::string file = tmp.writeFile("a/file", 3);
    tmp.makeDir("b/deep/er");
    tmp.makeLink("to-b", tmp / "b");
    ASSERT_EQ(::link(file.c_str(), (tmp / "hard").c_str()), 0);

    EXPECT_EQ(core::tree::KeptItems::resolve({ tmp / "missing", tmp / "also/missing" }), nullptr)
        << "nothing that exists: nothing to match";

    const auto kept = core::tree::KeptItems::resolve({ file, tmp / "to-b", tmp / "missing" });
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(kept->covers(tmp / "hard")) << "another name of a kept file";
    EXPECT_TRUE(kept->covers(tmp / "b/deep/er")) << "below the folder a kept link leads to";
    EXPECT_TRUE(kept->covers(tmp / "to-b/deep")) << "reached through the link";
    EXPECT_FALSE(kept->covers(tmp / "a"));
    EXPECT_FALSE(kept->covers(tmp.path()));
    EXPECT_FALSE(kept->covers(tmp / "missing")) << "a kept path that is not there matches nothing";

    struct stat st
    {
    };
    ASSERT_EQ(::stat((tmp / "b").c_str(), &st), 0);
    EXPECT_FALSE(kept->holdsKeptItem({ st.st_dev, st.st_ino })) << "b is kept itself, but holds nothing kept";
    ASSERT_EQ(::stat(tmp.path().c_str(), &st), 0);
    EXPECT_TRUE(kept->holdsKeptItem({ st.st_dev, st.st_ino }));

    // A link that leads to a kept file, or into a kept folder, is judged as where it leads.
    tmp.makeLink("to-file", file);
    tmp.makeLink("into-b", tmp / "b/deep");
    const auto keptFileAndB = core::tree::KeptItems::resolve({ file, tmp / "b" });
    EXPECT_TRUE(keptFileAndB->covers(tmp / "to-file"));
    EXPECT_TRUE(keptFileAndB->covers(tmp / "into-b"));

    // A link inside a kept folder is below it, wherever it leads.
    tmp.makeLink("b/out", tmp / "a");
    const auto keptB = core::tree::KeptItems::resolve({ tmp / "b" });
    EXPECT_TRUE(keptB->covers(tmp / "b/out"));
    EXPECT_FALSE(keptB->covers(tmp / "a"));

    // A kept path that appears later is matched once the list is read again.
    tmp.writeFile("missing", 1);
    EXPECT_FALSE(kept->covers(tmp / "missing"));
    EXPECT_TRUE(core::tree::KeptItems::resolve({ tmp / "missing" })->covers(tmp / "missing"));
}

TEST_F(KeepListTest, ScansLeaveKeptItemsOutEvenInsideFoldersMeasuredWhole)
{
    tmp.writeFile("cache/app/blob", 1000);
    tmp.writeFile("cache/app/sub/kept.bin", 200);
    tmp.writeFile("cache/keepdir/x", 50);
    tmp.writeFile("cache/other", 7);
    tmp.writeFile("logs/old.log", 30);
    tmp.writeFile("held/inner/a", 5);
    tmp.writeFile("children/one", 11);
    tmp.writeFile("children/two", 13);
    const std::string bigKept = oldFile("Movies/kept.mkv", 150 * MiB);
    const std::string inKeptFolder = oldFile("Archive/old.txt", 10);
    const std::string bigShown = oldFile("Movies/shown.mkv", 120 * MiB);
    keep({ tmp / "cache/app/sub/kept.bin",
        tmp / "cache/keepdir",
        tmp / "logs/old.log",
        tmp / "held",
        tmp / "children/two",
        bigKept,
        tmp / "Archive" });

    // Junk categories in module 1, the large and old files bands in module 3.
    auto scanBoth = [this] {
        scan(1,
            { atLocation(location(tmp / "cache")),
                withLocations({ location(tmp / "logs/old.log", "File"), location(tmp / "held/inner") }),
                withLocations({ location(tmp / "children", "Children") }) });
        ModuleInfo::modules()[3].categories = fourBands();
        ModuleInfo::scan(3, {}, {}, {});
        dispatcher.runAllQueues();
    };
    scanBoth();
    EXPECT_EQ(sizes(1, 0), (std::map<std::string, std::int64_t>{ { "app", 1000 }, { "other", 7 } }));
    EXPECT_EQ(categoryAt(1, 0).size, 1007);
    EXPECT_TRUE(categoryAt(1, 1).files.empty()) << "a kept file and a location below a kept folder";
    EXPECT_EQ(categoryAt(1, 1).size, 0);
    EXPECT_EQ(sizes(1, 2), (std::map<std::string, std::int64_t>{ { "one", 11 } }));

    // The deep walk of the large and old files module leaves them out too.
    EXPECT_EQ(recordPaths(3, 0), std::vector<std::string>{ bigShown });
    EXPECT_EQ(recordPaths(3, 2), std::vector<std::string>{ bigShown });

    // Taken off the list, they are back at the next scan.
    unkeep({ tmp / "cache/app/sub/kept.bin", tmp / "cache/keepdir", tmp / "held", bigKept, tmp / "Archive" });
    scanBoth();
    EXPECT_EQ(sizes(1, 0), (std::map<std::string, std::int64_t>{ { "app", 1200 }, { "keepdir", 50 }, { "other", 7 } }));
    EXPECT_EQ(categoryAt(1, 1).files.size(), 1U) << "held/inner is back; logs/old.log is still kept";
    EXPECT_EQ(recordPaths(3, 0).size(), 2U);
    EXPECT_EQ(recordPaths(3, 2).size(), 3U);
}

TEST_F(KeepListTest, TheCleanerRefusesWhatWasKeptAfterTheScan)
{
    tmp.writeFile("cache/app/blob", 1000);
    tmp.writeFile("cache/app/sub/kept.bin", 200);
    tmp.writeFile("cache/other", 7);
    tmp.writeFile("cache/gone", 3);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    keep({ tmp / "cache/app/sub/kept.bin", tmp / "cache/other" });

    const Report dry = clean(1, true);
    EXPECT_EQ(dry.removed, std::vector<std::string>{ tmp / "cache/gone" });
    EXPECT_EQ(dry.failed.size(), 2U);

    const Report out = clean(1);
    EXPECT_EQ(out.removed, std::vector<std::string>{ tmp / "cache/gone" });
    EXPECT_EQ(out.failed.at(tmp / "cache/other"), tmp / "cache/other: on the always-keep list; not deleted");
    EXPECT_EQ(out.failed.at(tmp / "cache/app"), tmp / "cache/app/sub/kept.bin: on the always-keep list; left in place");
    const ModuleInfo::ItemReport &partial = out.failures.at(tmp / "cache/app");
    EXPECT_EQ(partial.freed, 1000) << "the rest of the folder went";
    EXPECT_EQ(partial.left, 200);
    EXPECT_EQ(out.freed, 1003);
    EXPECT_EQ(readFile(tmp / "cache/app/sub/kept.bin"), std::string(200, 'x'));
    EXPECT_TRUE(exists(tmp / "cache/other"));
    EXPECT_FALSE(exists(tmp / "cache/app/blob"));
    EXPECT_EQ(categoryAt(1, 0).size, 207) << "what stays is counted again";
}

TEST_F(KeepListTest, NothingBelowAKeptFolderIsDeleted)
{
    tmp.writeFile("cache/a", 1);
    tmp.writeFile("cache/b/c", 2);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    keep({ tmp / "cache" }); // the location itself, after the scan

    const Report out = clean(1);
    EXPECT_TRUE(out.removed.empty());
    EXPECT_EQ(out.failed.size(), 2U);
    for (const auto &[path, why] : out.failed) {
        EXPECT_NE(why.find("on the always-keep list; not deleted"), std::string::npos) << path << ": " << why;
    }
    EXPECT_TRUE(exists(tmp / "cache/a"));
    EXPECT_TRUE(exists(tmp / "cache/b/c"));
}

TEST_F(KeepListTest, ALocationThatIsALinkInsideAKeptFolderIsNotCleaned)
{
    tmp.writeFile("disk/cache/a", 1);
    tmp.makeLink("kept/cache-link", tmp / "disk/cache");
    scan(1, { atLocation(location(tmp / "kept/cache-link")) });
    ASSERT_EQ(categoryAt(1, 0).files.size(), 1U);
    selectAll(1);
    keep({ tmp / "kept" });

    const Report out = clean(1);
    EXPECT_TRUE(out.removed.empty());
    EXPECT_TRUE(exists(tmp / "disk/cache/a"));
    scan(1, { atLocation(location(tmp / "kept/cache-link")) });
    EXPECT_TRUE(categoryAt(1, 0).files.empty()) << "nor listed by the next scan";
}

TEST_F(KeepListTest, AnUnreadableListStopsTheWholeClean)
{
    tmp.writeFile("cache/a", 1);
    scan(1, { atLocation(location(tmp / "cache")) });
    selectAll(1);
    tmp.makeDir(".config/Spruce/always-keep");

    const Report out = clean(1);
    EXPECT_TRUE(out.removed.empty());
    ASSERT_EQ(out.failed.size(), 1U);
    EXPECT_NE(out.failed.begin()->second.find("the always-keep list cannot be read"), std::string::npos);
    EXPECT_TRUE(exists(tmp / "cache/a"));
}

TEST(KeptItems, TreeSizeCountsNothingKeptAndZeroForAKeptRoot)
{
    TempDir tmp;
    tmp.writeFile("t/a", 10);
    tmp.writeFile("t/k/b", 20);
    tmp.writeFile("t/c", 40);
    const auto kept = core::tree::KeptItems::resolve({ tmp / "t/k", tmp / "t/c" });
    EXPECT_EQ(core::tree::treeSize(tmp / "t"), 70) << "no list given: everything counts";
    const core::tree::TreeSizeOptions options{ .threads = 0, .kept = kept.get() };
    EXPECT_EQ(core::tree::treeSize(tmp / "t", options), 10);
    EXPECT_EQ(core::tree::treeSize(tmp / "t/k", options), 0);
}

} // namespace
