// End-to-end checks of spruce-cli on private temporary homes.
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using testing_support::TempDir;

struct CliRun
{
    int code = -1;
    std::string out;
    std::string err;
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

/// Runs spruce-cli with `args`, stdin from /dev/null, and collects both streams.
CliRun runCli(const std::vector<std::string> &args)
{
    int outPipe[2] = { -1, -1 };
    int errPipe[2] = { -1, -1 };
    EXPECT_EQ(::pipe2(outPipe, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(errPipe, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<std::string> all = { SPRUCE_CLI, "--no-progress" };
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, SPRUCE_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliRun run;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << SPRUCE_CLI;
        return run;
    }
    pollfd fds[2] = { { outPipe[0], POLLIN, 0 }, { errPipe[0], POLLIN, 0 } };
    std::string *sinks[2] = { &run.out, &run.err };
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 60000) > 0) {
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) {
                continue;
            }
            char buf[65536];
            const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[k].fd);
                fds[k].fd = -1;
                --open;
            } else {
                sinks[k]->append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::string category(const std::string &title, const std::string &urlXml, const std::string &type = "Folder")
{
    return "<dict><key>title</key><string>" + title + "</string><key>image</key><string>i</string>"
        + "<key>description</key><string>d</string>" + urlXml + "<key>type</key><string>" + type + "</string></dict>";
}

std::string module(const std::string &tab, const std::string &categories)
{
    return "<dict><key>title</key><string>" + tab + "</string><key>image</key><string>i</string><key>tab</key><string>"
        + tab + "</string><key>description</key><string>d</string><key>features</key><array/>"
        + "<key>categories</key><array>" + categories + "</array></dict>";
}

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
        const std::string bands = category("b0", "") + category("b1", "") + category("b2", "") + category("b3", "");
        const std::string plist = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array>)"
            + module("dashboard", "")
            + module("systemJunk",
                category("Caches", "<key>url</key><string>file://~/.cache/</string>")
                    + category("Logs",
                        "<key>urls</key><array><dict><key>url</key><string>file://~/logs/old.log</string>"
                        "<key>type</key><string>File</string><key>checked</key><integer>0</integer></dict>"
                        "<dict><key>url</key><string>file://~/gone/</string><key>type</key>"
                        "<string>Children</string><key>checked</key><integer>0</integer></dict></array>"))
            + module("applicationJunk", category("Nothing", "<key>url</key><string>file://~/absent/</string>"))
            + module("largeAndOldFile", bands) + module("moreTool", "") + "</array></plist>";
        catalogue = tmp.writeFile("catalogue.plist", 0);
        std::FILE *f = std::fopen(catalogue.c_str(), "w");
        std::fputs(plist.c_str(), f);
        std::fclose(f);
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
    const auto before = snapshot();
    const CliRun dry = runCli(base({ "--json", "clean", "systemJunk", "--all", "--dry-run" }));
    ASSERT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(dry.json()["dryRun"], true);
    EXPECT_EQ(dry.json()["wouldRemove"].size(), 5U);

    const CliRun noConfirm = runCli(base({ "clean", "1", "--all" }));
    EXPECT_EQ(noConfirm.code, 2);
    EXPECT_NE(noConfirm.err.find("--yes"), std::string::npos) << noConfirm.err;

    const CliRun unknownPath = runCli(base({ "clean", "1", "--path", home + "/Documents/precious.txt", "--yes" }));
    EXPECT_EQ(unknownPath.code, 2);
    const CliRun unknownModule = runCli(base({ "clean", "7", "--all", "--yes" }));
    EXPECT_EQ(unknownModule.code, 2);
    const CliRun unknownCategory = runCli(base({ "clean", "1", "--category", "9", "--yes" }));
    EXPECT_EQ(unknownCategory.code, 2);
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
    const std::string big = tmp.writeFile("home/Videos/old-big.mkv", std::int64_t{ 200 } << 20, true);
    testing_support::setMtime(big, static_cast<std::int64_t>(::time(nullptr)) - 2 * 365 * 86400);
    const CliRun run = runCli(base({ "--json", "scan", "largeAndOldFile" }));
    ASSERT_EQ(run.code, 0) << run.err;
    const auto module = run.json()["modules"][0];
    EXPECT_EQ(module["categories"][0]["size"], std::int64_t{ 200 } << 20) << "over 100 MB";
    EXPECT_EQ(module["categories"][2]["size"], std::int64_t{ 200 } << 20) << "unchanged for over a year";
    EXPECT_EQ(module["size"], std::int64_t{ 200 } << 20) << "one file, counted once in the module's total";
}
