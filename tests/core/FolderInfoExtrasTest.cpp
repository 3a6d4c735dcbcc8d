// SPDX-License-Identifier: GPL-3.0-or-later
// The FolderInfo operations no front end calls (FolderInfoExtras.cpp): one
// test each, so they keep doing what they say.
#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "platform/LogSink.h"
#include "platform/Services.h"
#include "support/ManualDispatcher.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using core::FolderInfo;
using core::format::fileUrlFromPath;
using testing_support::exists;
using testing_support::TempDir;

std::string dirUrl(const std::string &path)
{
    return fileUrlFromPath(path, true);
}

class FolderInfoExtrasTest : public testing::Test
{
protected:
    core::platform::Services makeServices()
    {
        core::platform::Services s;
        s.user = core::platform::UserContext{ "ann", m_home };
        s.log = &m_log;
        s.dispatch = &m_dispatcher;
        return s;
    }

    TempDir m_tmp;
    const std::string m_home = m_tmp.makeDir("home/ann");
    core::platform::CapturingLogSink m_log;
    testing_support::ManualDispatcher m_dispatcher;

private:
    core::platform::ScopedServices m_services{ makeServices() };
};

} // namespace

TEST_F(FolderInfoExtrasTest, KeysToReadIsTheTenKeysInOrder)
{
    const auto &keys = FolderInfo::keysToRead();
    ASSERT_EQ(keys.size(), 10U);
    EXPECT_EQ(keys.front(), core::ResourceKey::LocalizedName);
    EXPECT_EQ(keys.back(), core::ResourceKey::IsHidden);
    EXPECT_EQ(&keys, &FolderInfo::keysToRead()) << "built once";
}

TEST_F(FolderInfoExtrasTest, FolderUsageMeasuresEachVisibleSubfolderTheFilterLeaves)
{
    m_tmp.writeFile("root/a/x", 3);
    m_tmp.writeFile("root/a/.h/y", 4);
    m_tmp.writeFile("root/b.app/Contents/z", 5);
    m_tmp.writeFile("root/skip me/w", 6);
    m_tmp.writeFile("root/.hidden/v", 7);
    m_tmp.writeFile("root/file", 8);
    m_tmp.writeFile("target/t", 6);
    m_tmp.makeLink("root/link", m_tmp / "target");

    std::vector<std::string> asked;
    const auto usage = FolderInfo::getFolderUsageWithFilter(dirUrl(m_tmp / "root"), [&asked](const std::string &url) {
        asked.push_back(url);
        return url.find("skip%20me") != std::string::npos;
    });

    const std::map<std::string, std::int64_t> expected = {
        { m_tmp / "root/a", 7 }, { m_tmp / "root/b.app", 5 }, { m_tmp / "root/link", 6 }
    };
    EXPECT_EQ(usage, expected);
    EXPECT_EQ(asked.size(), 5U) << "hidden entries are never offered to the filter";
    EXPECT_TRUE(FolderInfo::getFolderUsageWithFilter("not a url", {}).empty());
}

TEST_F(FolderInfoExtrasTest, FolderUsageAsynchronouslyAnswersOnTheMainQueue)
{
    m_tmp.writeFile("root/a/x", 3);
    std::vector<std::map<std::string, std::int64_t>> answers;
    FolderInfo::asyncGetFolderUsageWithFilter(dirUrl(m_tmp / "root"), {}, [&answers](auto usage) {
        answers.push_back(std::move(usage));
    });
    ASSERT_TRUE(m_dispatcher.runOneBackground());
    EXPECT_TRUE(answers.empty()) << "the callback waits for the main queue";
    m_dispatcher.runAllQueues();
    ASSERT_EQ(answers.size(), 1U);
    EXPECT_EQ(answers[0], (std::map<std::string, std::int64_t>{ { m_tmp / "root/a", 3 } }));
}

TEST_F(FolderInfoExtrasTest, FastFolderSizeSkipsDsStoreAndWritesItsDiagnostics)
{
    const std::string root = m_tmp / "f";
    m_tmp.writeFile("f/.DS_Store", 1000);
    m_tmp.writeFile("f/backup.DS_Store", 2000);
    m_tmp.writeFile("f/.hidden", 1);
    m_tmp.writeFile("f/sub/file", 20);
    m_tmp.makeLink("f/zlink", root + "/sub"); // a link to a folder is not followed
    EXPECT_EQ(FolderInfo::fastFolderSizeAtFSRef(root), 1 + 20 + static_cast<std::int64_t>(root.size() + 4));
    const std::vector<std::string> expected = {
        root,
        "true",
        "file://" + root + "/.hidden",
        "file://" + root + "/sub",
        root + "/sub",
        "true",
        "file://" + root + "/sub/file",
        "file://" + root + "/zlink",
    };
    EXPECT_EQ(m_log.stdoutLines(), expected);
    EXPECT_EQ(FolderInfo::fastFolderSizeAtFSRef(m_tmp / "missing"), 0);
}

TEST_F(FolderInfoExtrasTest, DeleteFileRemovesByUrlAndRefusesTheHomeWithTheLine)
{
    const std::string folder = m_tmp.makeDir("home/ann/.cache/thumbs/large");
    m_tmp.writeFile("home/ann/.cache/thumbs/large/x.png", 4);
    const std::string target = m_tmp.writeFile("home/ann/Documents/keep.txt", 4);
    const std::string link = m_tmp.makeLink("home/ann/.cache/docs", m_tmp / "home/ann/Documents");

    EXPECT_TRUE(FolderInfo::deleteFile(dirUrl(m_tmp / "home/ann/.cache/thumbs")));
    EXPECT_TRUE(FolderInfo::deleteFile(dirUrl(link))) << "a link given as a folder URL goes as the link";
    EXPECT_FALSE(exists(folder));
    EXPECT_FALSE(exists(link));
    EXPECT_TRUE(exists(target));
    EXPECT_TRUE(m_log.stdoutLines().empty());

    EXPECT_FALSE(FolderInfo::deleteFile(dirUrl(m_home)));
    EXPECT_EQ(m_log.stdoutLines(), std::vector<std::string>{ m_home + "  is not deletable!" });
    const core::Status missing = FolderInfo::tryDeleteFile(fileUrlFromPath(m_home + "/missing"));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_EQ(FolderInfo::tryDeleteFile("file://" + m_home + "/x%00").error().code, EINVAL);
}
