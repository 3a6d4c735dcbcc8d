// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Plist.h"
#include "support/EngineFixture.h"
#include "support/PlistBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sys/stat.h>

using core::Category;
using core::ModuleInfo;
using testing_support::writeBytes;
using testing_support::xmlPlist;

namespace {

class SpecialScannersTest : public testing_support::EngineFixture
{
protected:
    struct Reports
    {
        std::vector<std::pair<std::string, std::int64_t>> progress;
        std::vector<float> increments;

        float total() const { return std::accumulate(increments.begin(), increments.end(), 0.0F); }
    };

    using Scanner = void (*)(Category &, const core::Progress &, const core::ShowPercent &);

    Reports run(Scanner scanner, Category &category)
    {
        Reports reports;
        scanner(
            category,
            [&reports](const std::string &path, std::int64_t size) {
                reports.progress.emplace_back(path, size);
            },
            [&reports](float increment) {
                reports.increments.push_back(increment);
            });
        dispatcher.runMain();
        return reports;
    }

    /// Writes a data file at `relative`, creating its folders.
    std::string writeData(const std::string &relative, const std::string &bytes)
    {
        tmp.makeDir(relative.substr(0, relative.rfind('/')));
        return writeBytes(tmp / relative, bytes);
    }

    static std::string backupInfo(const std::string &entries) { return xmlPlist("<dict>" + entries + "</dict>"); }

    static std::string path(const core::FolderInfoPtr &record)
    {
        return core::format::pathFromFileUrl(record->url()).value_or("?");
    }
};

std::string persistenceInfo(const std::string &version, const std::string &accounts)
{
    return xmlPlist("<dict><key>LastUsedVersionDirectoryName</key><string>" + version
        + "</string><key>AccountDirectories</key><dict>" + accounts + "</dict></dict>");
}

} // namespace

// ---------------------------------------------------------------------------
// Device backups

TEST_F(SpecialScannersTest, BackupsGiveOneLeafRecordEachAndHiddenOnesOnlyTheirStep)
{
    const std::string full = "<key>Display Name</key><string>Ann's iPhone</string>"
                             "<key>Product Name</key><string>iPhone 12</string>"
                             "<key>Last Backup Date</key><date>2023-05-01T10:00:00Z</date>";
    tmp.writeFile("Backup/00008030-aaaa/Manifest.db", 300);
    tmp.writeFile("Backup/00008030-aaaa/ab/abcdef", 700);
    writeData("Backup/00008030-aaaa/Info.plist", backupInfo(full));
    // The second one is stored in binary form, as device tools write it.
    tmp.writeFile("Backup/00008101-bbbb/Manifest.db", 50);
    writeData("Backup/00008101-bbbb/Info.plist",
        testing_support::xmlToBinaryPlist(backupInfo("<key>Display Name</key><string>iPad</string>")));
    tmp.writeFile("Backup/.00008110-cccc/Manifest.db", 5000);
    writeData("Backup/.00008110-cccc/Info.plist", backupInfo(full));

    Category backups = category("iOS backups", "iTunes");
    backups.url = location(tmp / "Backup");
    backups.state = 1;
    const Reports reports = run(ModuleInfo::scaniTunes, backups);

    EXPECT_EQ(reports.increments, (std::vector<float>{ 1.0F / 3, 1.0F / 3, 1.0F / 3 }));
    ASSERT_EQ(backups.files.size(), 2U);
    const auto &phone = backups.files[0];
    EXPECT_EQ(phone->name(), "Ann's iPhone--iPhone 12");
    EXPECT_EQ(path(phone), tmp / "Backup/00008030-aaaa");
    EXPECT_EQ(phone->size, 300 + 700 + static_cast<std::int64_t>(backupInfo(full).size()));
    EXPECT_EQ(phone->date, (core::Timestamp{ 1'682'935'200, 0 }));
    EXPECT_EQ(phone->icon(), (core::IconRef{ core::IconRef::Kind::Named, "iTunes" }));
    EXPECT_TRUE(phone->children.empty()) << "a backup is one leaf";
    EXPECT_TRUE(phone->isFolder) << "so that a clean removes the backup folder it stands for";
    EXPECT_EQ(phone->checked, 0);
    EXPECT_EQ(phone->findex, 0);

    const auto &pad = backups.files[1];
    EXPECT_EQ(pad->name(), "iPad--") << "no product name";
    EXPECT_TRUE(pad->date.isDistantPast()) << "no backup date";
    EXPECT_EQ(pad->findex, 1) << "numbered along the records, the hidden backup left out";

    // The category counts what it lists: the hidden backup is not part of it.
    EXPECT_EQ(backups.size, phone->size + pad->size);
    EXPECT_EQ(backups.state, 0) << "records start not selected";
    EXPECT_EQ(reports.progress,
        (std::vector<std::pair<std::string, std::int64_t>>{
            { tmp / "Backup/00008030-aaaa", phone->size }, { tmp / "Backup/00008101-bbbb", pad->size } }))
        << "one report per backup listed, so a screen adding them up shows the category's size";
}

TEST_F(SpecialScannersTest, BackupsWithBadDataFilesAreSkippedWithTheirStep)
{
    // Wrong value types still give a record, with empty names and no date.
    writeData("Backup/a-wrong-types/Info.plist",
        backupInfo("<key>Display Name</key><integer>7</integer><key>Product Name</key><true/>"
                   "<key>Last Backup Date</key><string>yesterday</string>"));
    // Each of these is skipped: no data file, garbage, not a dictionary, cut
    // short, over the size limit, a FIFO (reading it must not block), a
    // stray file and a link to a backup elsewhere (never followed).
    tmp.makeDir("Backup/b-no-info");
    writeData("Backup/c-garbage/Info.plist", "this is not a property list");
    writeData("Backup/d-array/Info.plist", xmlPlist("<array><string>Display Name</string></array>"));
    const std::string binary =
        testing_support::xmlToBinaryPlist(backupInfo("<key>Display Name</key><string>x</string>"));
    writeData("Backup/e-truncated/Info.plist", binary.substr(0, binary.size() / 2));
    tmp.writeFile("Backup/f-huge/Info.plist", 17 * 1024 * 1024, true);
    tmp.makeDir("Backup/g-fifo");
    ASSERT_EQ(::mkfifo((tmp / "Backup/g-fifo/Info.plist").c_str(), 0644), 0);
    tmp.writeFile("Backup/h-stray-file", 10);
    writeData("elsewhere/real/Info.plist", backupInfo("<key>Display Name</key><string>x</string>"));
    tmp.makeLink("Backup/i-link", tmp / "elsewhere/real");

    Category backups = category("iOS backups", "iTunes");
    backups.url = location(tmp / "Backup");
    const Reports reports = run(ModuleInfo::scaniTunes, backups);

    ASSERT_EQ(backups.files.size(), 1U);
    EXPECT_EQ(backups.files[0]->name(), "--");
    EXPECT_TRUE(backups.files[0]->date.isDistantPast());
    EXPECT_EQ(reports.increments.size(), 9U) << "one step per entry of the backups folder";
    EXPECT_NEAR(reports.total(), 1.0F, 1e-6F);
    // Neither the skipped folders, nor the stray file, nor the 17 MiB data file count.
    EXPECT_EQ(backups.size, backups.files[0]->size);
    EXPECT_EQ(reports.progress.size(), 1U);
}

TEST_F(SpecialScannersTest, AnInfoPlistThatExpandsToHalfAMillionNodesIsPassedOver)
{
    using testing_support::BinaryPlist;
    // Under two kilobytes: each array refers to the next one twice, so the
    // eighteen levels are 2^19 - 1 nodes once every reference is copied.
    BinaryPlist amplified;
    std::vector<BinaryPlist::Ref> arrays;
    for (int i = 0; i <= 18; ++i) {
        arrays.push_back(amplified.array());
    }
    for (std::size_t i = 0; i + 1 < arrays.size(); ++i) {
        amplified.setItems(arrays[i], { arrays[i + 1], arrays[i + 1] });
    }
    const std::string hostile =
        amplified.build(amplified.dict({ { amplified.ascii("Display Name"), amplified.ascii("Big") },
            { amplified.ascii("Installed Applications"), arrays.front() } }));
    ASSERT_LT(hostile.size(), 2048U);
    ASSERT_TRUE(core::format::readPlistMemory(hostile, core::format::MaxPlistNodes).has_value())
        << "within what a reader may ever allow: refused by the backup reader's own limit only";
    writeData("Backup/a-amplified/Info.plist", hostile);

    // A phone with a thousand apps: a key, a dictionary and three data entries each.
    std::string apps;
    for (int i = 0; i < 1000; ++i) {
        apps += "<key>com.example.app" + std::to_string(i) + "</key><dict><key>ApplicationSICF</key><data>AA==</data>"
            + "<key>PlaceholderIcon</key><data>AA==</data><key>iTunesMetadata</key><data>AA==</data></dict>";
    }
    writeData("Backup/b-many-apps/Info.plist",
        backupInfo("<key>Display Name</key><string>Full</string><key>Applications</key><dict>" + apps + "</dict>"));

    Category backups = category("iOS backups", "iTunes");
    backups.url = location(tmp / "Backup");
    const Reports reports = run(ModuleInfo::scaniTunes, backups);
    ASSERT_EQ(backups.files.size(), 1U);
    EXPECT_EQ(backups.files[0]->name(), "Full--");
    EXPECT_EQ(reports.increments.size(), 2U);
}

TEST_F(SpecialScannersTest, MissingOrEmptyBackupsFolderFinishesWithNothing)
{
    Category backups = category("iOS backups", "iTunes");
    backups.url = location(tmp / "no such folder");
    backups.size = 123;
    backups.files.push_back(std::make_shared<core::FolderInfo>(0,
        "stale",
        core::IconRef{},
        123,
        core::Rgba{},
        true,
        core::Timestamp{},
        "file:///gone/",
        false,
        std::vector<core::FolderInfoPtr>{},
        false,
        1));
    Reports reports = run(ModuleInfo::scaniTunes, backups);
    EXPECT_EQ(reports.increments, std::vector<float>{ 1.0F });
    EXPECT_TRUE(backups.files.empty()) << "a record of an earlier scan is not kept";
    EXPECT_EQ(backups.size, 0);

    tmp.makeDir("Empty");
    backups.url = location(tmp / "Empty");
    reports = run(ModuleInfo::scaniTunes, backups);
    EXPECT_EQ(reports.increments, std::vector<float>{ 1.0F }) << "no backup at all still finishes the category";
    EXPECT_TRUE(backups.files.empty());
}

// ---------------------------------------------------------------------------
// Mail attachments

TEST_F(SpecialScannersTest, MailCollectsFilesBelowAttachmentsFoldersOfEachAccount)
{
    writeData("Mail/PersistenceInfo.plist",
        persistenceInfo("V10",
            "<key>imap-ann</key><string>imap://ann@example.org</string>"
            "<key>pop-work</key><string>pop://work</string>"));
    // First account: two top-level entries, so two walk increments of 1/2.
    const auto photo = tmp.writeFile("Mail/V10/imap-ann/INBOX.mbox/Attachments/17/photo.jpg", 100);
    tmp.writeFile("Mail/V10/imap-ann/INBOX.mbox/Messages/17.emlx", 50);
    tmp.writeFile("Mail/V10/imap-ann/Sent.mbox/Messages/3.emlx", 60);
    tmp.writeFile("Mail/V10/imap-ann/Sent.mbox/report.pdf", 70); // named like one, not in Attachments
    // Second account: one top-level entry, its whole walk is one increment.
    const auto pdf = tmp.writeFile("Mail/V10/pop-work/Attachments/9/invoice.pdf", 200);
    tmp.writeFile("Mail/V10/pop-work/Attachments/.hidden.pdf", 300);

    Category mail = category("Mail attachments", "Mail");
    mail.url = location(tmp / "Mail");
    const Reports reports = run(ModuleInfo::scanMailAttachments, mail);

    // Two keys: 1/2 for the version key, and each account's listing scaled by 1/(2 x 2).
    EXPECT_EQ(reports.increments, (std::vector<float>{ 0.5F, 0.125F, 0.125F, 0.25F }));
    ASSERT_EQ(mail.files.size(), 2U);
    EXPECT_EQ(path(mail.files[0]), photo);
    EXPECT_EQ(path(mail.files[1]), pdf);
    EXPECT_EQ(mail.files[0]->findex, 0);
    EXPECT_EQ(mail.files[1]->findex, 1) << "numbered along the category, not per account";
    EXPECT_EQ(mail.files[1]->checked, 0);
    EXPECT_EQ(mail.size, 300);
    const auto announced = [&reports](const std::string &text) {
        return std::find(reports.progress.begin(), reports.progress.end(), std::make_pair(text, std::int64_t{ 0 }))
            != reports.progress.end();
    };
    EXPECT_TRUE(announced("Scanning Mail Attachments From imap://ann@example.org"));
    EXPECT_TRUE(announced("Scanning Mail Attachments From pop://work"));

    // A second scan replaces the first one's results instead of adding to them.
    const Reports again = run(ModuleInfo::scanMailAttachments, mail);
    EXPECT_EQ(mail.files.size(), 2U);
    EXPECT_EQ(mail.size, 300);
    EXPECT_FLOAT_EQ(again.total(), 1.0F);
}

TEST_F(SpecialScannersTest, MailBelowAFolderNamedAttachmentsOnlyCollectsAttachments)
{
    const std::string root = "Old Attachments/Mail";
    writeData(root + "/PersistenceInfo.plist", persistenceInfo("V2", "<key>acc</key><string>imap://x</string>"));
    tmp.writeFile(root + "/V2/acc/INBOX.mbox/Messages/1.emlx", 10);
    const auto kept = tmp.writeFile(root + "/V2/acc/INBOX.mbox/Attachments/1/a.png", 20);

    Category mail = category("Mail attachments", "Mail");
    mail.url = location(tmp / root);
    run(ModuleInfo::scanMailAttachments, mail);
    ASSERT_EQ(mail.files.size(), 1U);
    EXPECT_EQ(path(mail.files[0]), kept);
}

TEST_F(SpecialScannersTest, MailDataOfUnexpectedShapeFinishesWithoutFindingAnything)
{
    // Outside the mail folder: a data file must not be able to point the walk here.
    tmp.writeFile("outside/acc/Attachments/secret.txt", 5);
    const std::vector<std::pair<std::string, std::string>> cases = {
        { "missing", "" },
        { "array", xmlPlist("<array/>") },
        { "empty dictionary", xmlPlist("<dict/>") },
        { "no version",
            xmlPlist("<dict><key>AccountDirectories</key><dict><key>acc</key><string>x</string></dict></dict>") },
        { "accounts not a dictionary",
            xmlPlist("<dict><key>LastUsedVersionDirectoryName</key><string>V1</string>"
                     "<key>AccountDirectories</key><array><string>acc</string></array></dict>") },
        { "no accounts", persistenceInfo("V1", "") },
        { "missing account folder", persistenceInfo("V1", "<key>acc</key><string>x</string>") },
        { "version escapes", persistenceInfo("..", "<key>outside</key><string>x</string>") },
        { "account escapes", persistenceInfo("V1", "<key>../../outside</key><string>x</string>") },
    };
    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        const std::string folder = "Mail " + name;
        tmp.makeDir(folder + "/V1");
        if (name != "missing") {
            writeData(folder + "/PersistenceInfo.plist", bytes);
        }
        Category mail = category("Mail attachments", "Mail");
        mail.url = location(tmp / folder);
        const Reports reports = run(ModuleInfo::scanMailAttachments, mail);
        EXPECT_TRUE(mail.files.empty());
        EXPECT_EQ(mail.size, 0);
        EXPECT_NEAR(reports.total(), 1.0F, 1e-6F);
    }
}
