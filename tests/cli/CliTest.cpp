// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end checks of spruce-cli on private temporary homes.
#include "CliSupport.h"
#include "support/MountNamespace.h"
#include "support/RunAsNobody.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace cli_tests;
using testing_support::TempDir;

/// A home with junk in it and a catalogue that points at it through "file://~/".
class CliEndToEnd : public ::testing::Test
{
protected:
    CliEndToEnd()
    {
        home = tmp.makeDir("home");
        tmp.writeFile("home/.cache/app/blob", 1000);
        tmp.writeFile("home/.cache/app/sub/deep", 24);
        tmp.writeFile("home/.cache/thumbs/t1.png", 300);
        tmp.writeFile("home/.cache/weird \xff name", 7);
        tmp.writeFile("home/logs/old.log", 50);
        tmp.writeFile("home/logs/keep.txt", 5);
        tmp.writeFile("home/Documents/precious.txt", 11);
        tmp.makeLink("home/.cache/escape", tmp / "home/Documents");
        catalogue = writeCatalogue(tmp,
            "catalogue.plist",
            category("Caches", "<key>url</key><string>file://~/.cache/</string>")
                + category("Logs",
                    "<key>urls</key><array><dict><key>url</key><string>file://~/logs/old.log</string>"
                    "<key>type</key><string>File</string><key>checked</key><integer>0</integer></dict>"
                    "<dict><key>url</key><string>file://~/gone/</string><key>type</key>"
                    "<string>Children</string><key>checked</key><integer>0</integer></dict></array>"),
            category("Nothing", "<key>url</key><string>file://~/absent/</string>"));
    }

    std::vector<std::string> base(std::vector<std::string> args) const
    {
        args.insert(args.begin(), { "--home", home, "--catalogue", catalogue });
        return args;
    }

    /// Every regular file below home with its content, to prove nothing else changed.
    std::map<std::string, std::string> snapshot() const
    {
        std::map<std::string, std::string> files;
        for (const char *rel : { ".cache/app/blob",
                 ".cache/app/sub/deep",
                 ".cache/thumbs/t1.png",
                 ".cache/weird \xff name",
                 "logs/old.log",
                 "logs/keep.txt",
                 "Documents/precious.txt" }) {
            struct stat st
            {
            };
            if (::lstat((home + "/" + rel).c_str(), &st) == 0) {
                files[rel] = testing_support::readFile(home + "/" + rel);
            }
        }
        return files;
    }

    TempDir tmp;
    std::string home;
    std::string catalogue;
};

} // namespace

TEST_F(CliEndToEnd, ScanReportsSizesAndTreesAsJson)
{
    const CliRun run = runCli(base({ "scan", "systemJunk", "2", "--json" }));
    ASSERT_EQ(run.code, 0) << run.err;
    const auto doc = run.json();
    ASSERT_EQ(doc["modules"].size(), 2U);
    const auto &junk = doc["modules"][0];
    EXPECT_EQ(junk["tab"], "systemJunk");
    const auto &caches = junk["categories"][0];
    const std::int64_t linkSize = static_cast<std::int64_t>((tmp / "home/Documents").size());
    EXPECT_EQ(caches["size"], 1000 + 24 + 300 + 7 + linkSize) << "a link counts its own length, never its target";
    std::vector<std::string> names;
    for (const auto &file : caches["files"]) {
        names.push_back(file["name"]);
        EXPECT_EQ(file["checked"], 0);
        EXPECT_TRUE(file["children"].empty());
    }
    EXPECT_EQ(names, (std::vector<std::string>{ "app", "escape", "thumbs", "weird \xEF\xBF\xBD name" }));
    EXPECT_EQ(caches["files"][0]["size"], 1024);
    EXPECT_EQ(caches["files"][3]["url"], "file://" + tmp.path() + "/home/.cache/weird%20%FF%20name");
    // The missing "gone" location is skipped; the scan still completes.
    const auto &logs = junk["categories"][1];
    EXPECT_EQ(logs["size"], 50);
    ASSERT_EQ(logs["files"].size(), 1U);
    EXPECT_EQ(doc["modules"][1]["size"], 0);
}

TEST_F(CliEndToEnd, CleanRemovesExactlyTheSelectedRecords)
{
    const auto before = snapshot();
    const CliRun run = runCli(base({ "clean",
        "1",
        "--path",
        home + "/.cache/app",
        "--path",
        home + "/.cache/weird \xff name",
        "--path",
        home + "/.cache/escape",
        "--yes",
        "--json" }));
    ASSERT_EQ(run.code, 0) << run.err;
    const auto doc = run.json();
    const std::int64_t linkSize = static_cast<std::int64_t>((tmp / "home/Documents").size());
    EXPECT_EQ(doc["freed"], 1024 + 7 + linkSize);
    EXPECT_EQ(doc["removed"].size(), 3U);
    EXPECT_TRUE(doc["failed"].empty());

    auto after = snapshot();
    auto expected = before;
    expected.erase(".cache/app/blob");
    expected.erase(".cache/app/sub/deep");
    expected.erase(".cache/weird \xff name");
    EXPECT_EQ(after, expected);
    struct stat st
    {
    };
    EXPECT_NE(::lstat((home + "/.cache/escape").c_str(), &st), 0);
    EXPECT_EQ(::stat((home + "/Documents").c_str(), &st), 0) << "the link's target must survive";
    EXPECT_EQ(::stat((home + "/.cache").c_str(), &st), 0) << "the location itself stays";
}

TEST_F(CliEndToEnd, DryRunAndRefusalsDeleteNothing)
{
    // (Refused for want of --yes: ConfirmationSaysWhatIsAboutToGo; a category past the end: CategoryIndexBoundary.)
    const auto before = snapshot();
    const CliRun dry = runCli(base({ "--json", "clean", "systemJunk", "--all", "--dry-run" }));
    ASSERT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(dry.json()["dryRun"], true);
    EXPECT_EQ(dry.json()["wouldRemove"].size(), 5U);

    const CliRun noSelection = runCli(base({ "clean", "1", "--yes" }));
    EXPECT_EQ(noSelection.code, 2);
    EXPECT_NE(noSelection.err.find("clean needs a SELECTION"), std::string::npos) << noSelection.err;

    const CliRun unknownPath = runCli(base({ "clean", "1", "--path", home + "/Documents/precious.txt", "--yes" }));
    EXPECT_EQ(unknownPath.code, 2);
    const CliRun unknownModule = runCli(base({ "clean", "7", "--all", "--yes" }));
    EXPECT_EQ(unknownModule.code, 2);
    const CliRun badOption = runCli(base({ "scan", "1", "--frobnicate" }));
    EXPECT_EQ(badOption.code, 2);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CliEndToEnd, UnreadableCatalogueExitsThreeWithOneLine)
{
    const std::string broken = tmp.writeFile("broken.plist", 0);
    std::FILE *f = std::fopen(broken.c_str(), "w");
    std::fputs("<?xml version=\"1.0\"?><plist><array><dict><key>title</key>", f);
    std::fclose(f);
    for (const std::string &path : { broken, tmp / "missing.plist" }) {
        const CliRun run = runCli({ "--home", home, "--catalogue", path, "scan", "1" });
        EXPECT_EQ(run.code, 3) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    }
}

TEST(CliSize, MatchesLstatSumWithoutFollowingLinks)
{
    TempDir tmp;
    tmp.writeFile("t/a", 100);
    tmp.writeFile("t/.hidden/b", 20);
    tmp.writeFile("t/Pkg.app/c", 3);
    tmp.writeFile("t/\xfe\xff", 4);
    tmp.writeFile("t/sparse", 1 << 30, true);
    tmp.makeLink("t/loop", "loop");
    tmp.makeLink("t/out", "/usr");
    const std::int64_t expected = 100 + 20 + 3 + 4 + (1 << 30) + 4 + 4;
    const CliRun run = runCli({ "size", "--json", tmp / "t", tmp / "t/a" });
    ASSERT_EQ(run.code, 0) << run.err;
    const auto doc = run.json();
    ASSERT_EQ(doc.size(), 2U);
    EXPECT_EQ(doc[0]["size"], expected);
    EXPECT_EQ(doc[1]["size"], 100);

    const CliRun missing = runCli({ "size", tmp / "nothing" });
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(missing.out.empty());
}

TEST_F(CliEndToEnd, LargeAndOldModuleCountsAFileInTwoBandsOnce)
{
    const std::int64_t twoYearsAgo = static_cast<std::int64_t>(::time(nullptr)) - 2 * 365 * 86400;
    const std::string big = tmp.writeFile("home/Videos/old-big.mkv", std::int64_t{ 200 } << 20, true);
    testing_support::setMtime(big, twoYearsAgo);
    // Another file of the same size and date is another item, not a repeat.
    const std::string twin = tmp.writeFile("home/Videos/twin.mkv", std::int64_t{ 200 } << 20, true);
    testing_support::setMtime(twin, twoYearsAgo);
    const CliRun run = runCli(base({ "--json", "scan", "largeAndOldFile" }));
    ASSERT_EQ(run.code, 0) << run.err;
    const auto module = run.json()["modules"][0];
    EXPECT_EQ(module["categories"][0]["size"], std::int64_t{ 400 } << 20) << "over 100 MB";
    EXPECT_EQ(module["categories"][2]["size"], std::int64_t{ 400 } << 20) << "unchanged for over a year";
    EXPECT_EQ(module["size"], std::int64_t{ 400 } << 20) << "two files, each counted once in the module's total";

    const CliRun text = runCli(base({ "scan", "largeAndOldFile" }));
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("(largeAndOldFile): 419.4 MB\n"), std::string::npos) << text.out;
    // The confirmation counts them the same way.
    const CliRun clean = runCli(base({ "clean", "largeAndOldFile", "--all" }));
    EXPECT_EQ(clean.code, 2);
    EXPECT_TRUE(contains(clean.err, "refusing to delete 2 items (419.4 MB)")) << clean.err;
}

TEST_F(CliEndToEnd, ResultsThatCannotBeWrittenFailTheCommand)
{
    struct stat st
    {
    };
    if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const CliSetup full = CliSetup::writingTo("/dev/full");
    for (const auto &args : { base({ "--json", "scan", "1", "2", "3" }),
             base({ "scan", "1", "--files" }),
             base({ "modules" }),
             std::vector<std::string>{ "size", home },
             std::vector<std::string>{ "--help" } }) {
        const CliRun run = runCli(args, full);
        EXPECT_EQ(run.code, 1) << args.back() << ": " << run.err;
        EXPECT_TRUE(contains(run.err, "cannot write the results: No space left on device")) << run.err;
    }

    // The clean itself went ahead: the lost report is a failure, and stderr still says what went.
    const CliRun clean = runCli(base({ "--json", "clean", "1", "--path", home + "/.cache/app", "--yes" }), full);
    EXPECT_EQ(clean.code, 1) << clean.err;
    EXPECT_TRUE(contains(clean.err, "cannot write the results")) << clean.err;
    EXPECT_TRUE(contains(clean.err, "freed 1.0 kB in 1 item; 0 failed")) << clean.err;
    EXPECT_FALSE(snapshot().contains(".cache/app/blob"));
}

TEST_F(CliEndToEnd, DoubleDashEndsTheOptions)
{
    const auto before = snapshot();
    // After "--", "--all" and "--dry-run" are words, not a selection.
    const CliRun select = runCli(base({ "clean", "1", "--", "--all", "--dry-run" }));
    EXPECT_EQ(select.code, 2) << select.out;
    EXPECT_EQ(snapshot(), before);
    const CliRun moduleAfter = runCli(base({ "--json", "clean", "--category", "1", "--dry-run", "--", "systemJunk" }));
    ASSERT_EQ(moduleAfter.code, 0) << moduleAfter.err;
    EXPECT_EQ(moduleAfter.json()["wouldRemove"].size(), 1U);
    const CliRun valueAfter = runCli(base({ "clean", "1", "--dry-run", "--path", "--", "x" }));
    EXPECT_EQ(valueAfter.code, 2) << "an option's value comes before \"--\"";

    tmp.writeFile("work/-dash.txt", 9);
    const CliSetup inWork = CliSetup::workingIn(tmp / "work");
    const CliRun dash = runCli({ "size", "--", "-dash.txt" }, inWork);
    ASSERT_EQ(dash.code, 0) << dash.err;
    EXPECT_EQ(dash.out, "9\t9 bytes\t" + tmp.path() + "/work/-dash.txt\n");
    EXPECT_EQ(runCli({ "size", "-dash.txt" }, inWork).code, 2) << "without \"--\" it is an option";
    EXPECT_EQ(runCli({ "--", "size", "-dash.txt" }, inWork).code, 0) << "the command word may follow \"--\"";
}

TEST_F(CliEndToEnd, EmptyPathsAndMissingResourcesAreRefused)
{
    const CliRun size = runCli({ "size", "" }, CliSetup::workingIn(home));
    EXPECT_EQ(size.code, 2);
    EXPECT_TRUE(size.out.empty()) << "the current folder is not sized";
    EXPECT_EQ(runCli(base({ "clean", "1", "--path", "", "--dry-run" })).code, 2);
    EXPECT_EQ(runCli(base({ "--resources", "", "modules" })).code, 2);

    const CliRun resources = runCli(base({ "--resources", tmp / "nowhere", "modules" }));
    EXPECT_EQ(resources.code, 3);
    EXPECT_TRUE(resources.out.empty());
    EXPECT_EQ(std::count(resources.err.begin(), resources.err.end(), '\n'), 1) << resources.err;
    EXPECT_TRUE(contains(resources.err, tmp / "nowhere")) << resources.err;
    EXPECT_EQ(runCli(base({ "--resources", catalogue, "modules" })).code, 3) << "a file is no resource folder";
    EXPECT_EQ(runCli(base({ "--resources", tmp.path(), "modules" })).code, 0);
}

TEST_F(CliEndToEnd, PathsAreNormalisedBeforeMatchingRecords)
{
    const std::string messy = tmp.path() + "//home/./.cache/thumbs/../app/";
    const CliRun run = runCli(base({ "--json", "clean", "1", "--path", messy, "--dry-run" }));
    ASSERT_EQ(run.code, 0) << run.err;
    ASSERT_EQ(run.json()["wouldRemove"].size(), 1U);
    EXPECT_EQ(run.json()["wouldRemove"][0]["path"], home + "/.cache/app");

    // The home folder is tidied the same way, so the records it yields still match.
    const CliRun messyHome = runCli({ "--home",
        tmp.path() + "/./home//",
        "--catalogue",
        catalogue,
        "--json",
        "clean",
        "1",
        "--path",
        home + "/logs/old.log",
        "--dry-run" });
    ASSERT_EQ(messyHome.code, 0) << messyHome.err;
    EXPECT_EQ(messyHome.json()["wouldRemove"][0]["path"], home + "/logs/old.log");

    const CliRun size = runCli({ "size", home + "/logs/../logs//./keep.txt" });
    EXPECT_EQ(size.out, "5\t5 bytes\t" + home + "/logs/keep.txt\n");
}

TEST_F(CliEndToEnd, NamesWithControlCharactersStayOnOneLine)
{
    tmp.writeFile("home/.cache/new\nline", 3);
    tmp.writeFile("home/.cache/esc\x1b[2J", 4);
    const CliRun scan = runCli(base({ "scan", "1", "--files" }));
    ASSERT_EQ(scan.code, 0) << scan.err;
    EXPECT_TRUE(contains(scan.out, "  '" + home + "/.cache/new'$'\\n''line'\n")) << scan.out;
    EXPECT_TRUE(contains(scan.out, "  '" + home + "/.cache/esc'$'\\033''[2J'\n")) << scan.out;
    EXPECT_TRUE(contains(scan.out, "  '" + home + "/.cache/weird '$'\\377'' name'\n")) << scan.out;
    EXPECT_TRUE(contains(scan.out, "  " + home + "/.cache/thumbs/\n")) << "printable names stay as they are";
    EXPECT_FALSE(contains(scan.out, "\x1b")) << "no terminal control sequence gets through";
    // The module line, two category lines, six records of Caches and one of Logs.
    EXPECT_EQ(std::count(scan.out.begin(), scan.out.end(), '\n'), 1 + 2 + 6 + 1) << scan.out;

    const CliRun json = runCli(base({ "--json", "scan", "1" }));
    ASSERT_EQ(json.code, 0) << json.err;
    const auto doc = json.json();
    std::vector<std::string> names;
    for (const auto &file : doc["modules"][0]["categories"][0]["files"]) {
        names.push_back(file["name"]);
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "new\nline"), names.end()) << "JSON keeps the name whole";

    const CliRun clean = runCli(base({ "clean", "1", "--path", home + "/.cache/new\nline", "--dry-run" }));
    ASSERT_EQ(clean.code, 0) << clean.err;
    EXPECT_TRUE(contains(clean.out, "would remove '" + home + "/.cache/new'$'\\n''line'\n")) << clean.out;
}

TEST_F(CliEndToEnd, ConfirmationSaysWhatIsAboutToGo)
{
    const auto before = snapshot();
    const std::vector<std::string> args =
        base({ "clean", "1", "--path", home + "/.cache/app", "--path", home + "/.cache/thumbs" });
    const CliRun refused = runCli(args);
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(contains(refused.err, "refusing to delete 2 items (1.3 kB) without confirmation: pass --yes"))
        << refused.err;

    // On a terminal the question comes after the count and the size; "n" deletes nothing.
    const CliRun asked = runCliOnTerminal(args, "n\n");
    EXPECT_EQ(asked.code, 2);
    EXPECT_TRUE(contains(asked.err, "2 items (1.3 kB) selected in systemJunk.\nAre you sure to delete selected files?"))
        << asked.err;
    EXPECT_EQ(snapshot(), before);
}

TEST(CliReview, ReviewOnlyFindingsAreNamedInTheTotalAndNeverCounted)
{
    TempDir tmp;
    const std::string home = tmp.makeDir("home");
    tmp.writeFile("home/share/app/locale/de/LC_MESSAGES/app.mo", 100);
    tmp.writeFile("home/share/app/locale/en/LC_MESSAGES/app.mo", 7);
    tmp.writeFile("home/junk/x", 50);
    const std::string catalogue = writeCatalogue(tmp,
        "catalogue.plist",
        "",
        category("Junk", "<key>url</key><string>file://~/junk/</string>")
            + category("Languages", "<key>url</key><string>file://~/share/</string>", "Localization"));
    const CliSetup english =
        CliSetup::withEnvironment({ "LANGUAGE=en", "LC_ALL=", "LC_MESSAGES=", "LANG=en_US.UTF-8" });
    const std::vector<std::string> base = { "--home", home, "--catalogue", catalogue };

    auto with = [&base](std::vector<std::string> args) {
        args.insert(args.begin(), base.begin(), base.end());
        return args;
    };
    const CliRun scan = runCli(with({ "scan", "2" }), english);
    ASSERT_EQ(scan.code, 0) << scan.err;
    EXPECT_TRUE(contains(scan.out, "(applicationJunk): 150 bytes, of which 100 bytes for review only\n")) << scan.out;
    EXPECT_TRUE(contains(scan.out, "1 item  (review only")) << scan.out;

    const CliRun clean = runCli(with({ "clean", "2", "--all" }), english);
    EXPECT_EQ(clean.code, 2);
    EXPECT_TRUE(contains(clean.err, "refusing to delete 1 item (50 bytes)")) << clean.err;

    // Asked for by its number: said once, and nothing of it goes.
    const CliRun languages = runCli(with({ "clean", "2", "--category", "1", "--yes" }), english);
    EXPECT_TRUE(contains(languages.err, "category 1 (Languages) is for review only; nothing is deleted from it"))
        << languages.err;
    EXPECT_EQ(testing_support::readFile(tmp / "home/share/app/locale/de/LC_MESSAGES/app.mo").size(), 100U);
}

TEST_F(CliEndToEnd, CategoryIndexBoundary)
{
    // systemJunk has two categories: 1 is the last one, 2 is past the end.
    const CliRun last = runCli(base({ "--json", "clean", "1", "--category", "1", "--dry-run" }));
    ASSERT_EQ(last.code, 0) << last.err;
    ASSERT_EQ(last.json()["wouldRemove"].size(), 1U);
    EXPECT_EQ(last.json()["wouldRemove"][0]["path"], home + "/logs/old.log");
    const CliRun past = runCli(base({ "clean", "1", "--category", "2", "--dry-run" }));
    EXPECT_EQ(past.code, 2);
    EXPECT_TRUE(contains(past.err, "has no category 2")) << past.err;
    EXPECT_TRUE(past.out.empty());
}

TEST(CliRefusal, LocationsAtProtectedFoldersAreCatalogueErrors)
{
    TempDir tmp;
    const std::string home = tmp.makeDir("home");
    tmp.writeFile("home/Documents/precious.txt", 11);
    const std::vector<std::pair<std::string, std::string>> locations = {
        { "file:///etc/passwd", "File" },
        { "file://~/", "Folder" },
    };
    for (const auto &[url, type] : locations) {
        SCOPED_TRACE(url);
        const std::string catalogue = writeCatalogue(tmp,
            "catalogue.plist",
            category("Protected",
                "<key>urls</key><array><dict><key>url</key><string>" + url + "</string><key>type</key><string>" + type
                    + "</string><key>checked</key><integer>0</integer></dict></array>"),
            "");
        const CliRun run = runCli({ "--home", home, "--catalogue", catalogue, "clean", "1", "--all", "--yes" });
        EXPECT_EQ(run.code, 3);
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(contains(run.err, "is a protected folder and cannot be cleaned\n")) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(testing_support::readFile(home + "/Documents/precious.txt"), std::string(11, 'x'));
}

TEST_F(CliEndToEnd, DryRunListsWhatTheCleanWouldBeRefused)
{
    // Unprivileged (root passes every permission check): the logs folder is
    // read-only, so its old log could not be removed.
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((home + "/logs").c_str(), 0555), 0);
    const std::string report = tmp / "report.json";
    ASSERT_EQ(::chmod(tmp.writeFile("report.json", 0).c_str(), 0666), 0);
    const int code = testing_support::runAsNobody([&] {
        return runCli(base({ "--json", "clean", "1", "--path", home + "/logs/old.log", "--dry-run" }),
            CliSetup::writingTo(report))
            .code;
    });
    ::chmod((home + "/logs").c_str(), 0755);
    if (code == 125) {
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(code, 1);
    const auto doc = nlohmann::json::parse(testing_support::readFile(report));
    EXPECT_TRUE(doc["wouldRemove"].empty()) << doc.dump();
    ASSERT_EQ(doc["refused"].size(), 1U) << doc.dump();
    EXPECT_EQ(doc["refused"][0]["path"], home + "/logs/old.log");
    EXPECT_EQ(doc["refused"][0]["error"], "not deletable: Permission denied");
    EXPECT_TRUE(snapshot().contains("logs/old.log"));
}

TEST_F(CliEndToEnd, UnreadableFoldersMakeSizesPartialAndSaySo)
{
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    tmp.writeFile("home/.cache/locked/inside.bin", 500);
    ASSERT_EQ(::chmod((home + "/.cache/locked").c_str(), 0700), 0);
    const std::string report = tmp / "report.json";
    ASSERT_EQ(::chmod(tmp.writeFile("report.json", 0).c_str(), 0666), 0);
    const std::string errors = tmp.writeFile("errors.txt", 0);
    ASSERT_EQ(::chmod(errors.c_str(), 0666), 0);
    const int code = testing_support::runAsNobody([&] {
        const CliRun run = runCli({ "--json", "size", home + "/.cache" }, CliSetup::writingTo(report));
        FILE *out = std::fopen(errors.c_str(), "w");
        if (out != nullptr) {
            std::fputs(run.err.c_str(), out);
            std::fclose(out);
        }
        return run.code;
    });
    if (code == 125) {
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(code, 1) << "as du does";
    const auto doc = nlohmann::json::parse(testing_support::readFile(report));
    EXPECT_EQ(doc[0]["unreadable"], 1);
    EXPECT_EQ(doc[0]["size"], 1000 + 24 + 300 + 7 + static_cast<std::int64_t>((home + "/Documents").size()));
    EXPECT_EQ(testing_support::readFile(errors),
        "spruce-cli: " + home + "/.cache: 1 folder could not be read, so sizes leave it out (first: " + home
            + "/.cache/locked: Permission denied)\n");
}

TEST_F(CliEndToEnd, MountPointsBelowTheHomeAreNotEnteredAndSaidOnce)
{
    const std::string drive = tmp.makeDir("home/drive");
    const std::string report = tmp / "report.json";
    const int code = testing_support::inPrivateMountNamespace([&] {
        if (!testing_support::mountTmpfs(drive)) {
            return testing_support::CannotRun;
        }
        const std::string big = TempDir::writeFileAt(drive + "/big.iso", 200 * 1024 * 1024, true);
        testing_support::setMtime(big, 1'000'000'000);
        const CliRun run = runCli(base({ "--json", "scan", "largeAndOldFile" }), CliSetup::writingTo(report));
        const std::string said = "spruce-cli: 1 mount point not entered (first: " + drive + ")\n";
        return run.code == 0 && run.err == said ? 0 : 1;
    });
    if (code == testing_support::CannotRun) {
        GTEST_SKIP() << "cannot mount in a private namespace here";
    }
    EXPECT_EQ(code, 0);
    const std::string json = testing_support::readFile(report);
    EXPECT_EQ(json.find("big.iso"), std::string::npos);
}

TEST_F(CliEndToEnd, CleanExitsOneWhenASelectedFileCannotBeRemoved)
{
    // Run unprivileged (root passes every permission check): the logs folder
    // is read-only, the caches are the user's own.
    constexpr uid_t Nobody = 65534;
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((home + "/logs").c_str(), 0555), 0);
    if (::geteuid() == 0) {
        for (const char *rel : { ".cache", ".cache/app", ".cache/app/blob", ".cache/app/sub", ".cache/app/sub/deep" }) {
            ASSERT_EQ(::lchown((home + "/" + rel).c_str(), Nobody, Nobody), 0) << rel;
        }
    }
    const std::string report = tmp / "report.json";
    ASSERT_EQ(::chmod(tmp.writeFile("report.json", 0).c_str(), 0666), 0);
    const int code = testing_support::runAsNobody([&] {
        const CliRun run = runCli(
            base({ "--json", "clean", "1", "--path", home + "/.cache/app", "--path", home + "/logs/old.log", "--yes" }),
            CliSetup::writingTo(report));
        return run.code;
    });
    ::chmod((home + "/logs").c_str(), 0755);
    if (code == 125) {
        GTEST_SKIP() << "cannot run as an unprivileged user here";
    }
    EXPECT_EQ(code, 1);
    const auto doc = nlohmann::json::parse(testing_support::readFile(report));
    ASSERT_EQ(doc["failed"].size(), 1U) << doc.dump();
    EXPECT_EQ(doc["failed"][0]["path"], home + "/logs/old.log");
    EXPECT_EQ(doc["removed"].size(), 1U) << "the other item still went";
    const auto after = snapshot();
    EXPECT_TRUE(after.contains("logs/old.log"));
    EXPECT_FALSE(after.contains(".cache/app/blob"));
}
