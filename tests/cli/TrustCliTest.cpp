// SPDX-License-Identifier: GPL-3.0-or-later
// spruce-cli end to end for the trust features: the always-keep list, clean
// --trash, categories left alone while their program runs, tagged caches.
#include "CliSupport.h"
#include "support/RunningProgram.h"
#include "support/ScopedImmutable.h"
#include "support/TempDir.h"
#include "tree/Removal.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace cli_tests;
using testing_support::exists;
using testing_support::TempDir;

constexpr std::string_view Signature = "Signature: 8a477f597d28d172789f06886806bc55";

class TrustCli : public ::testing::Test
{
protected:
    TrustCli()
        : home(tmp.makeDir("home"))
    {
        tmp.writeFile("home/.cache/app/blob", 1000);
        tmp.writeFile("home/.cache/photos-cache/img", 300);
        tmp.writeFile("home/.cache/other", 7);
        tmp.writeFile("home/editor/Cache/data", 40);
        tag("home/proj/target");
        tmp.writeFile("home/proj/target/debug/app", 2000);
        tag("home/.cache/tool"); // counted by the cache category, not again as tagged
    }

    void tag(const std::string &relative) const
    {
        std::ofstream(tmp.writeFile(relative + "/CACHEDIR.TAG", 0)) << Signature << "\n";
    }

    /// A catalogue: system junk holds the cache folder, application junk an
    /// editor cache held by `program` and the tagged caches.
    std::string catalogue(const std::string &program = "no-such-program") const
    {
        return writeCatalogue(tmp,
            "catalogue.plist",
            category("Caches", "<key>url</key><string>file://~/.cache/</string>"),
            category("Editor",
                "<key>url</key><string>file://~/editor/Cache/</string><key>runningApps</key><array><string>" + program
                    + "</string></array>")
                + category("Tagged", "", "TaggedCaches"));
    }

    /// The run's own home, data folder (the Trash) and configuration.
    CliSetup environment() const
    {
        return CliSetup::withEnvironment(
            { "HOME=" + home, "XDG_DATA_HOME=" + home + "/.local/share", "XDG_CONFIG_HOME=" + tmp / "elsewhere" });
    }

    CliRun run(std::vector<std::string> args, const std::string &program = "no-such-program") const
    {
        args.insert(args.begin(), { "--home", home, "--catalogue", catalogue(program) });
        return runCli(args, environment());
    }

    static std::map<std::string, std::int64_t> files(const nlohmann::json &category)
    {
        std::map<std::string, std::int64_t> out;
        for (const auto &file : category["files"]) {
            out[file["name"].get<std::string>()] = file["size"].get<std::int64_t>();
        }
        return out;
    }

    TempDir tmp;
    std::string home;
};

TEST_F(TrustCli, KeptPathsLeaveTheScanUntilTakenOffTheList)
{
    const std::string kept = home + "/.cache/photos-cache";
    const CliRun added = run({ "keep", "add", kept + "/", home + "/proj/target" });
    ASSERT_EQ(added.code, 0) << added.err;
    EXPECT_EQ(added.out, "kept " + kept + "\nkept " + home + "/proj/target\n");
    EXPECT_TRUE(exists(home + "/.config/Spruce/always-keep")) << "the list of the home being cleaned";
    EXPECT_FALSE(exists(tmp / "elsewhere/Spruce")) << "--home wins over the caller's XDG_CONFIG_HOME";

    const CliRun again = run({ "--json", "keep", "add", kept });
    ASSERT_EQ(again.code, 0);
    EXPECT_TRUE(again.json()["added"].empty());
    EXPECT_EQ(again.json()["alreadyKept"][0]["path"], kept);

    const CliRun missing = run({ "keep", "add", home + "/no/such/thing" });
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(contains(missing.err, "nothing is at")) << missing.err;

    const CliRun scanned = run({ "--json", "scan", "1", "2" });
    ASSERT_EQ(scanned.code, 0) << scanned.err;
    const auto doc = scanned.json();
    const auto &modules = doc["modules"];
    const std::int64_t tagSize = static_cast<std::int64_t>(Signature.size() + 1);
    EXPECT_EQ(files(modules[0]["categories"][0]),
        (std::map<std::string, std::int64_t>{ { "app", 1000 }, { "other", 7 }, { "tool", tagSize } }));
    EXPECT_TRUE(modules[1]["categories"][1]["files"].empty()) << "the kept tagged folder is not listed";

    ASSERT_TRUE(
        core::tree::removeBelow(*core::tree::anchorAt(home), "proj", {}).ok()); // a kept path that is gone stays listed
    const CliRun listed = run({ "keep", "list" });
    ASSERT_EQ(listed.code, 0);
    EXPECT_EQ(listed.out, kept + "\n" + home + "/proj/target  (missing: matches nothing)\n");
    const CliRun json = run({ "--json", "keep", "list" });
    EXPECT_EQ(json.json()["kept"][1]["exists"], false);
    EXPECT_EQ(json.json()["file"], home + "/.config/Spruce/always-keep");

    const CliRun removed = run({ "keep", "remove", kept });
    ASSERT_EQ(removed.code, 0) << removed.err;
    EXPECT_EQ(removed.out, "no longer kept " + kept + "\n");
    const CliRun unknown = run({ "keep", "remove", home + "/never" });
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(unknown.out, "was not kept " + home + "/never\n");
    const CliRun back = run({ "--json", "scan", "1" });
    EXPECT_EQ(files(back.json()["modules"][0]["categories"][0]).count("photos-cache"), 1U);

    EXPECT_EQ(run({ "keep" }).code, 2);
    EXPECT_EQ(run({ "keep", "frobnicate", "x" }).code, 2);
    EXPECT_EQ(run({ "keep", "add" }).code, 2);
}

TEST_F(TrustCli, AKeepListThatCannotBeUsedWholeIsToldAndStopsEveryClean)
{
    const std::string file = home + "/.config/Spruce/always-keep";
    tmp.makeDir("home/.config/Spruce");
    std::ofstream(file) << "# mine\n" << home << "/.cache/photos-cache \r\nDocuments/thesis.tex\n";
    const std::string told = "spruce-cli: the always-keep list " + file
        + ", line 3 cannot be used (not an absolute path or a file URL): Documents/thesis.tex\n";

    const CliRun listed = run({ "keep", "list" });
    EXPECT_EQ(listed.code, 1);
    EXPECT_EQ(listed.out, home + "/.cache/photos-cache\n");
    EXPECT_EQ(listed.err, told);
    const CliRun json = run({ "--json", "keep", "list" });
    EXPECT_EQ(json.code, 1);
    EXPECT_EQ(json.json()["unusable"][0]["line"], 3);
    EXPECT_EQ(json.json()["unusable"][0]["text"], "Documents/thesis.tex");

    const CliRun scanned = run({ "--json", "scan", "1", "2" });
    EXPECT_EQ(scanned.code, 1) << "a scan that may show what was meant to be kept";
    EXPECT_EQ(scanned.err, told) << "said once for both modules";
    EXPECT_EQ(files(scanned.json()["modules"][0]["categories"][0]).count("photos-cache"), 0U)
        << "the usable lines count";

    for (const bool dryRun : { true, false }) {
        std::vector<std::string> args = { "clean", "1", "--category", "0", "--yes" };
        if (dryRun) {
            args.emplace_back("--dry-run");
        }
        const CliRun cleaned = run(args);
        EXPECT_EQ(cleaned.code, 1);
        EXPECT_TRUE(contains(cleaned.err, told)) << cleaned.err;
        EXPECT_TRUE(contains(cleaned.err, "spruce-cli: nothing deleted: the always-keep list must be read whole"))
            << cleaned.err;
        EXPECT_EQ(cleaned.out, "");
        EXPECT_TRUE(exists(home + "/.cache/app/blob"));
    }

    // Changing the list works, and the line still standing is said again.
    const CliRun added = run({ "keep", "add", home + "/.cache/other" });
    EXPECT_EQ(added.code, 0);
    EXPECT_EQ(added.err, told);
}

TEST_F(TrustCli, AKeepListThatCannotBeReadMakesScanAndCleanExitOne)
{
    const std::string file = home + "/.config/Spruce/always-keep";
    tmp.makeDir("home/.config/Spruce");
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); // waited for a writer for ever before

    const CliRun listed = run({ "keep", "list" });
    EXPECT_EQ(listed.code, 1);
    EXPECT_EQ(listed.err, "spruce-cli: the always-keep list " + file + ": not a regular file\n");

    const CliRun scanned = run({ "scan", "1" });
    EXPECT_EQ(scanned.code, 1);
    EXPECT_TRUE(contains(scanned.err,
        "spruce-cli: the always-keep list " + file
            + " cannot be read (not a regular file); nothing is left out of "
              "the scan\n"))
        << scanned.err;

    const CliRun cleaned = run({ "clean", "1", "--all", "--yes" });
    EXPECT_EQ(cleaned.code, 1);
    EXPECT_TRUE(contains(cleaned.err, "cannot be read (not a regular file)")) << cleaned.err;
    EXPECT_TRUE(contains(cleaned.err, "nothing deleted")) << cleaned.err;
    EXPECT_TRUE(exists(home + "/.cache/app/blob"));

    ASSERT_EQ(::unlink(file.c_str()), 0);
    tmp.makeLink("home/.config/Spruce/always-keep", "/dev/zero"); // aborted on memory before
    const CliRun zero = run({ "clean", "1", "--all", "--yes" });
    EXPECT_EQ(zero.code, 1);
    EXPECT_TRUE(contains(zero.err, "cannot be read (not a regular file)")) << zero.err;
    EXPECT_TRUE(exists(home + "/.cache/app/blob"));
}

TEST_F(TrustCli, CleanTrashMovesLargeAndOldFilesOnly)
{
    const std::string old = tmp.writeFile("home/Documents/old.txt", 12);
    testing_support::setMtime(old, static_cast<std::int64_t>(::time(nullptr)) - 400 * 86400);

    const CliRun junk = run({ "clean", "1", "--all", "--trash", "--yes" });
    EXPECT_EQ(junk.code, 2);
    EXPECT_TRUE(contains(junk.err, "--trash is for the large and old files module")) << junk.err;
    EXPECT_TRUE(exists(home + "/.cache/app/blob"));

    const CliRun unconfirmed = run({ "clean", "3", "--path", old, "--trash" });
    EXPECT_EQ(unconfirmed.code, 2);
    EXPECT_TRUE(contains(unconfirmed.err, "refusing to move 1 item (12 bytes) to the Trash without confirmation"))
        << unconfirmed.err;
    std::vector<std::string> args = {
        "--home", home, "--catalogue", catalogue(), "clean", "3", "--path", old, "--trash"
    };
    const CliRun asked = runCliOnTerminal(args, "n\n");
    EXPECT_TRUE(contains(asked.err, "Move the selected files to the Trash? [y/N]")) << asked.err;
    EXPECT_TRUE(exists(old));

    const CliRun dry = run({ "--json", "clean", "3", "--path", old, "--trash", "--dry-run" });
    ASSERT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(dry.json()["wouldRemove"][0]["trashed"], true);
    const CliRun dryText = run({ "clean", "3", "--path", old, "--trash", "--dry-run" });
    EXPECT_TRUE(contains(dryText.out, "Dry run: 1 item would be moved to the Trash (12 bytes), 0 refused."))
        << dryText.out;
    EXPECT_TRUE(exists(old));

    const CliRun moved = run({ "--json", "clean", "3", "--path", old, "--trash", "--yes" });
    ASSERT_EQ(moved.code, 0) << moved.err;
    const auto doc = moved.json();
    EXPECT_EQ(doc["freed"], 0) << "nothing was freed: it is in the Trash";
    EXPECT_EQ(doc["movedToTrash"], 12);
    ASSERT_EQ(doc["removed"].size(), 1U);
    EXPECT_EQ(doc["removed"][0]["trashed"], true);
    EXPECT_FALSE(exists(old));
    EXPECT_TRUE(exists(home + "/.local/share/Trash/files/old.txt"));
    EXPECT_TRUE(exists(home + "/.local/share/Trash/info/old.txt.trashinfo"));

    const std::string other = tmp.writeFile("home/Documents/older.txt", 5);
    testing_support::setMtime(other, static_cast<std::int64_t>(::time(nullptr)) - 400 * 86400);
    const CliRun text = run({ "clean", "3", "--path", other, "--trash", "--yes" });
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out, "moved to the Trash " + other + "\nMoved 5 bytes in 1 item to the Trash; 0 failed.\n");

    const CliRun deleted = run({ "--json", "clean", "1", "--category", "0", "--yes" });
    ASSERT_EQ(deleted.code, 0) << deleted.err;
    EXPECT_EQ(deleted.json()["removed"][0]["trashed"], false);
    EXPECT_EQ(deleted.json()["movedToTrash"], 0);
}

TEST_F(TrustCli, ACategoryWhoseProgramRunsIsSkippedWithTheReason)
{
    TempDir bin;
    const std::string name = "spruce-cli-test-" + std::to_string(::getpid());
    testing_support::RunningProgram program(bin, name);
    ASSERT_TRUE(program.running());

    const CliRun modules = run({ "modules" }, name);
    EXPECT_TRUE(contains(modules.out, "not cleaned while running: " + name)) << modules.out;

    const CliRun json = run({ "--json", "clean", "2", "--category", "0", "--category", "1", "--yes" }, name);
    EXPECT_EQ(json.code, 1) << json.err;
    const auto doc = json.json();
    ASSERT_EQ(doc["skipped"].size(), 1U);
    EXPECT_EQ(doc["skipped"][0]["category"], 0);
    EXPECT_EQ(doc["skipped"][0]["reason"], name + " is running");
    EXPECT_TRUE(exists(home + "/editor/Cache/data"));
    ASSERT_EQ(doc["removed"].size(), 1U) << "the other category is cleaned";
    EXPECT_EQ(doc["removed"][0]["path"], home + "/proj/target");
    EXPECT_FALSE(exists(home + "/proj/target/debug")) << "the tagged cache is emptied";
    EXPECT_TRUE(exists(home + "/proj/target/CACHEDIR.TAG")) << "and stays marked";

    const CliRun text = run({ "clean", "2", "--category", "0", "--yes" }, name);
    EXPECT_EQ(text.code, 1);
    EXPECT_TRUE(contains(text.out, "skipped category 0 (Editor): " + name + " is running\n")) << text.out;

    program.stop();
    const CliRun after = run({ "clean", "2", "--category", "0", "--yes" }, name);
    EXPECT_EQ(after.code, 0) << after.err;
    EXPECT_FALSE(exists(home + "/editor/Cache/data"));
}

TEST_F(TrustCli, TaggedCachesAreListedWithTheirSizes)
{
    const CliRun scanned = run({ "--json", "scan", "applicationJunk" });
    ASSERT_EQ(scanned.code, 0) << scanned.err;
    const auto doc = scanned.json();
    const auto &tagged = doc["modules"][0]["categories"][1];
    EXPECT_EQ(tagged["type"], "TaggedCaches");
    ASSERT_EQ(tagged["files"].size(), 1U) << "the tag inside the cache folder is that category's";
    EXPECT_EQ(tagged["files"][0]["path"], home + "/proj/target");
    EXPECT_EQ(tagged["size"], 2000 + static_cast<std::int64_t>(Signature.size() + 1));

    const CliRun text = run({ "scan", "2", "--files" });
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_TRUE(contains(text.out, home + "/proj/target")) << text.out;
}

TEST_F(TrustCli, TheTrashIsTheOneOfTheHomeBeingCleaned)
{
    const std::string old = tmp.writeFile("home/Videos/notes.txt", 6);
    testing_support::setMtime(old, static_cast<std::int64_t>(::time(nullptr)) - 400 * 86400);
    // The caller's data folder is someone else's: the files of the home given go to that home's Trash.
    const std::string otherData = tmp.makeDir("other-user/.local/share");
    const CliRun moved = runCli(
        { "--home", home, "--catalogue", catalogue(), "clean", "3", "--path", old, "--trash", "--yes" },
        CliSetup::withEnvironment(
            { "HOME=" + tmp / "other-user", "XDG_DATA_HOME=" + otherData, "XDG_CONFIG_HOME=" + tmp / "elsewhere" }));
    ASSERT_EQ(moved.code, 0) << moved.err;
    EXPECT_TRUE(exists(home + "/.local/share/Trash/files/notes.txt"));
    EXPECT_FALSE(exists(otherData + "/Trash"));
}

TEST_F(TrustCli, FreedCountsFilesWhoseLastNameWentAndWhatWentOfAFolderRemovedInPart)
{
    // A hard link inside the cache to a document elsewhere frees nothing.
    const std::string document = tmp.writeFile("home/Documents/thesis.pdf", 500);
    ASSERT_EQ(::link(document.c_str(), (home + "/.cache/app/thesis-link.pdf").c_str()), 0);
    // Two names of one file, both in the cache: their bytes count once.
    ASSERT_EQ(::link((home + "/.cache/other").c_str(), (home + "/.cache/other-again").c_str()), 0);

    const CliRun dry = run({ "--json", "clean", "1", "--category", "0", "--dry-run" });
    ASSERT_EQ(dry.code, 0) << dry.err;
    std::int64_t foreseen = 0;
    const nlohmann::json preview = dry.json();
    for (const auto &item : preview["wouldRemove"]) {
        foreseen += item["size"].get<std::int64_t>();
    }
    const CliRun out = run({ "--json", "clean", "1", "--category", "0", "--yes" });
    ASSERT_EQ(out.code, 0) << out.err;
    const auto doc = out.json();
    EXPECT_EQ(doc["freed"], 1000 + 300 + 7 + 44) << "blob, img, other once, the tool's tag";
    EXPECT_EQ(foreseen, doc["freed"].get<std::int64_t>()) << "the dry run said the same: " << dry.out;
    EXPECT_EQ(doc["heldByOtherNames"], 500 + 7);
    std::int64_t heldPerItem = 0;
    for (const auto &item : doc["removed"]) {
        heldPerItem += item.value("heldByOtherNames", std::int64_t{ 0 });
    }
    EXPECT_EQ(heldPerItem, 500 + 7) << "each record says what of it stays";
    EXPECT_EQ(testing_support::readFile(document).size(), 500U);

    const CliRun text = run({ "clean", "1", "--category", "0", "--yes" });
    EXPECT_EQ(text.code, 0) << text.err;

    // A folder with an immutable file: what went counts in the total.
    tmp.writeFile("home/.cache/box/gone.bin", 3000);
    const std::string stays = tmp.writeFile("home/.cache/box/stays.bin", 500);
    const testing_support::ScopedImmutable frozen(stays);
    if (!frozen.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the immutable flag";
    }
    const CliRun partial = run({ "--json", "clean", "1", "--category", "0", "--yes" });
    EXPECT_EQ(partial.code, 1);
    const auto report = partial.json();
    EXPECT_EQ(report["freed"], 3000);
    ASSERT_EQ(report["failed"].size(), 1U);
    EXPECT_EQ(report["failed"][0]["freed"], 3000);
    EXPECT_EQ(report["failed"][0]["left"], 500);
}

} // namespace
