#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "platform/LogSink.h"
#include "platform/Services.h"
#include "support/MountNamespace.h"
#include "support/RunAsNobody.h"
#include "support/ScopedImmutable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using core::FolderInfo;
using core::format::fileUrlFromPath;
using testing_support::CannotRun;
using testing_support::ScopedImmutable;
using testing_support::TempDir;

bool exists(const std::string &path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

core::platform::Services servicesFor(const std::string &homeDir, core::platform::LogSink *log)
{
    core::platform::Services s;
    s.user = core::platform::UserContext{ "ann", homeDir };
    s.log = log;
    return s;
}

/// A temporary tree with a home folder at <tmp>/home/ann, and every
/// diagnostic line captured.
class FolderDeletionTest : public testing::Test
{
protected:
    std::vector<std::string> lines() const { return m_sink.stdoutLines(); }

    TempDir m_tmp;
    const std::string m_home = m_tmp.makeDir("home/ann");
    core::platform::CapturingLogSink m_sink;

private:
    core::platform::ScopedServices m_services{ servicesFor(m_home, &m_sink) };
};

TEST_F(FolderDeletionTest, DeletesFilesFoldersAndLinksThroughTheirUrls)
{
    const std::string file = m_tmp.writeFile("home/ann/.cache/a.bin", 4);
    const std::string folder = m_tmp.makeDir("home/ann/.cache/thumbs/large");
    m_tmp.writeFile("home/ann/.cache/thumbs/large/x.png", 4);
    const std::string target = m_tmp.writeFile("home/ann/Documents/keep.txt", 4);
    const std::string link = m_tmp.makeLink("home/ann/.cache/docs", m_tmp / "home/ann/Documents");

    EXPECT_TRUE(FolderInfo::deleteFile(fileUrlFromPath(file)));
    EXPECT_TRUE(FolderInfo::deleteFile(fileUrlFromPath(m_tmp / "home/ann/.cache/thumbs", true)));
    // A link given as a folder URL ("docs/") still goes as the link.
    EXPECT_TRUE(FolderInfo::deleteFile(fileUrlFromPath(link, true)));

    EXPECT_FALSE(exists(file));
    EXPECT_FALSE(exists(folder));
    EXPECT_FALSE(exists(link));
    EXPECT_TRUE(exists(target));
    EXPECT_TRUE(lines().empty());
}

TEST_F(FolderDeletionTest, NonUtf8NameIsDeletedThroughItsUrl)
{
    const std::string file = m_tmp.writeFile("home/ann/caf\xE9 \xFF%41.txt", 3);

    EXPECT_TRUE(FolderInfo::deleteFile(fileUrlFromPath(file)));
    EXPECT_FALSE(exists(file));
}

TEST_F(FolderDeletionTest, ReadOnlyLocationPrintsTheLineAndFails)
{
    ASSERT_EQ(::chmod(m_tmp.path().c_str(), 0755), 0);
    const std::string file = m_tmp.writeFile("readonly/file.txt", 1);
    ASSERT_EQ(::chmod((m_tmp / "readonly").c_str(), 0555), 0);
    const std::string url = fileUrlFromPath(file);

    // The child shares the capturing sink installed by the fixture.
    const int rc = testing_support::runAsNobody([&] {
        if (::access(m_tmp.path().c_str(), X_OK) != 0) {
            return CannotRun;
        }
        if (FolderInfo::deleteFile(url)) {
            return 10;
        }
        if (lines() != std::vector<std::string>{ file + "  is not deletable!" }) {
            return 11;
        }
        const core::Status status = FolderInfo::tryDeleteFile(url);
        return !status.has_value() && status.error().code == EACCES ? 0 : 12;
    });

    if (rc == CannotRun) {
        GTEST_SKIP() << "cannot run as the unprivileged user here";
    }
    EXPECT_EQ(rc, 0) << "10: reported deleted, 11: wrong diagnostic line, 12: wrong reason";
    EXPECT_TRUE(exists(file));
}

TEST_F(FolderDeletionTest, ImmutableLocationPrintsTheLineAndFails)
{
    const std::string file = m_tmp.writeFile("frozen/file.txt", 1);
    const ScopedImmutable frozen(m_tmp / "frozen");
    if (!frozen.isSet()) {
        GTEST_SKIP() << "the file system or this process cannot set the immutable flag";
    }

    EXPECT_FALSE(FolderInfo::deleteFile(fileUrlFromPath(file)));
    EXPECT_EQ(lines(), std::vector<std::string>{ file + "  is not deletable!" });

    const core::Status status = FolderInfo::tryDeleteFile(fileUrlFromPath(file));
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().path, file);
    EXPECT_EQ(status.error().code, EPERM);
    EXPECT_EQ(status.error().message.rfind("not deletable", 0), 0u) << status.error().message;
    EXPECT_TRUE(exists(file));
}

TEST_F(FolderDeletionTest, FailedRemovalFailsWithoutTheLine)
{
    m_tmp.makeDir("home/ann/.cache");
    EXPECT_FALSE(FolderInfo::deleteFile(fileUrlFromPath(m_tmp / "home/ann/.cache/missing")));

    const std::string held = m_tmp.writeFile("home/ann/.cache/app/locked/held.bin", 1);
    m_tmp.writeFile("home/ann/.cache/app/other.bin", 1);
    const ScopedImmutable frozen(m_tmp / "home/ann/.cache/app/locked");
    if (frozen.isSet()) {
        const std::string url = fileUrlFromPath(m_tmp / "home/ann/.cache/app", true);
        EXPECT_FALSE(FolderInfo::deleteFile(url));
        EXPECT_EQ(FolderInfo::tryDeleteFile(url).error().path, held);
        EXPECT_TRUE(exists(held));
        EXPECT_FALSE(exists(m_tmp / "home/ann/.cache/app/other.bin"));
    }
    EXPECT_TRUE(lines().empty());
}

TEST_F(FolderDeletionTest, HomeFolderAndFoldersAboveItAreRefused)
{
    m_tmp.writeFile("home/ann/Documents/keep.txt", 1);

    EXPECT_FALSE(FolderInfo::deleteFile(fileUrlFromPath(m_home, true)));
    EXPECT_FALSE(FolderInfo::deleteFile(fileUrlFromPath(m_tmp / "home", true)));

    EXPECT_EQ(
        lines(), (std::vector<std::string>{ m_home + "  is not deletable!", m_tmp / "home" + "  is not deletable!" }));
    const core::Status status = FolderInfo::tryDeleteFile(fileUrlFromPath(m_home));
    ASSERT_FALSE(status.has_value());
    EXPECT_EQ(status.error().message, "protected location");
    EXPECT_TRUE(exists(m_tmp / "home/ann/Documents/keep.txt"));
}

TEST_F(FolderDeletionTest, HomeReachedThroughALinkIsRefused)
{
    m_tmp.writeFile("home/ann/keep.txt", 1);
    m_tmp.makeLink("alias", m_tmp / "home");
    EXPECT_FALSE(FolderInfo::deleteFile(fileUrlFromPath(m_tmp / "alias/ann", true)));

    // The same home injected through a link and deleted under its real name.
    m_tmp.makeLink("home-link", m_tmp / "home");
    {
        const core::platform::ScopedServices linked(servicesFor(m_tmp / "home-link/ann", &m_sink));
        EXPECT_FALSE(FolderInfo::deleteFile(fileUrlFromPath(m_home, true)));
    }

    EXPECT_EQ(lines().size(), 2u);
    EXPECT_TRUE(exists(m_tmp / "home/ann/keep.txt"));
}

TEST_F(FolderDeletionTest, DotComponentsAreRefusedNotResolved)
{
    m_tmp.writeFile("home/ann/.cache/sub/keep.txt", 1);
    const std::string path = m_tmp / "home/ann/.cache/sub/..";

    EXPECT_FALSE(FolderInfo::deleteFile(fileUrlFromPath(path)));

    EXPECT_EQ(lines(), std::vector<std::string>{ path + "  is not deletable!" });
    EXPECT_TRUE(exists(m_tmp / "home/ann/.cache/sub/keep.txt"));
}

TEST_F(FolderDeletionTest, UnparsableUrlFailsWithoutTheLine)
{
    const std::string file = m_tmp.writeFile("home/ann/a.txt", 1);

    EXPECT_FALSE(FolderInfo::deleteFile(file)); // a path, not a URL
    EXPECT_FALSE(FolderInfo::deleteFile("http://example.org" + file));
    EXPECT_EQ(FolderInfo::tryDeleteFile("file://" + file + "%00").error().code, EINVAL);

    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(exists(file));
}

} // namespace
