// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/VolumeInfo.h"

#include "monitor/FixtureServices.h"
#include "support/ManualDispatcher.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <sys/statvfs.h>

using core::FileType;
using core::FileTypeName;
using core::VolumeInfo;
using testing_support::fixtureRoot;
using testing_support::FixtureServices;
using testing_support::ManualDispatcher;
using testing_support::TempDir;

namespace {

VolumeInfo::Facts facts(std::int64_t capacity, std::int64_t available)
{
    VolumeInfo::Facts f;
    f.name = "Disk";
    f.capacity = capacity;
    f.available = available;
    f.removable = false;
    f.isLocal = true;
    return f;
}

/// "Name bytes percent" per slice, for readable comparisons.
std::string slices(const VolumeInfo &volume)
{
    std::ostringstream out;
    for (const auto &s : volume.fileDistribution->distribution) {
        out << core::caseName(s.name) << ' ' << s.bytes << ' ' << s.percent << "; ";
    }
    return out.str();
}

std::vector<std::string> mountPoints(const std::vector<core::MountEntry> &entries)
{
    std::vector<std::string> out;
    for (const auto &e : entries) {
        out.push_back(e.mountPoint);
    }
    return out;
}

} // namespace

TEST(VolumeDistribution, SlicesRefineAsMeasurementsArrive)
{
    FixtureServices services("/");
    auto volume = std::make_shared<VolumeInfo>("file:///", facts(1000, 400));
    EXPECT_EQ(slices(*volume), "Calculating 600 0.6; Available 400 0.4; ");

    volume->updateDistribution(FileTypeName::Apps, 100);
    EXPECT_EQ(slices(*volume), "Calculating 500 0.5; Apps 100 0.1; Available 400 0.4; ");

    volume->updateDistribution(FileTypeName::IOS, 50);
    EXPECT_EQ(slices(*volume), "Other 450 0.45; Apps 100 0.1; IOS 50 0.05; Available 400 0.4; ");

    // A repeated measurement only replaces its own slice; the remainder is not recomputed.
    volume->updateDistribution(FileTypeName::Apps, 200);
    EXPECT_EQ(slices(*volume), "Other 450 0.45; Apps 200 0.2; IOS 50 0.05; Available 400 0.4; ");
}

TEST(VolumeDistribution, BackupsFirstAndAnUnclampedRemainder)
{
    FixtureServices services("/");
    auto volume = std::make_shared<VolumeInfo>("file:///", facts(1000, 400));
    volume->updateDistribution(FileTypeName::IOS, 0); // a missing backup folder still enters its slice
    volume->updateDistribution(FileTypeName::Apps, 700);
    EXPECT_EQ(slices(*volume), "Other -100 -0.1; IOS 0 0; Apps 700 0.7; Available 400 0.4; ");
}

TEST(VolumeDistribution, ReservedSpaceStaysOutOfTheSplit)
{
    FixtureServices services("/");
    // 1100 bytes, 400 available to users, 100 held back for the administrator: 600 used.
    auto withReserve = facts(1100, 400);
    withReserve.reserved = 100;
    auto volume = std::make_shared<VolumeInfo>("file:///", withReserve);
    EXPECT_EQ(volume->capacity, 1100);
    EXPECT_EQ(volume->reserved, 100);
    EXPECT_EQ(volume->fileDistribution->capacity, 1000);
    EXPECT_EQ(slices(*volume), "Calculating 600 0.6; Available 400 0.4; ");
    EXPECT_TRUE(volume->isCalculating());

    volume->updateDistribution(FileTypeName::Apps, 100);
    EXPECT_TRUE(volume->isCalculating());
    volume->updateDistribution(FileTypeName::IOS, 50);
    EXPECT_EQ(slices(*volume), "Other 450 0.45; Apps 100 0.1; IOS 50 0.05; Available 400 0.4; ");
    EXPECT_FALSE(volume->isCalculating());

    // A reserve larger than what is not available is cut to it.
    auto oversized = facts(1000, 400);
    oversized.reserved = 900;
    auto full = std::make_shared<VolumeInfo>("file:///", oversized);
    EXPECT_EQ(full->reserved, 600);
    EXPECT_EQ(slices(*full), "Calculating 0 0; Available 400 1; ");
    auto negative = facts(1000, 400);
    negative.reserved = -5;
    EXPECT_EQ(std::make_shared<VolumeInfo>("file:///", negative)->reserved, 0);
}

TEST(VolumeDistribution, ReserveIsReadFromTheFileSystem)
{
    TempDir dir;
    struct statvfs vfs
    {
    };
    ASSERT_EQ(::statvfs(dir.path().c_str(), &vfs), 0);
    const auto figures = VolumeInfo::readSpace(dir.path(), true);
    ASSERT_TRUE(figures);
    const auto unit = static_cast<std::int64_t>(vfs.f_frsize);
    EXPECT_EQ(figures->reserved, static_cast<std::int64_t>(vfs.f_bfree - vfs.f_bavail) * unit);
    // Used as df counts it: the blocks in use, neither available nor reserved.
    const auto usedBlocks = static_cast<std::int64_t>(vfs.f_blocks - vfs.f_bfree);
    EXPECT_NEAR(static_cast<double>(figures->capacity - figures->reserved - figures->available),
        static_cast<double>(usedBlocks * unit),
        64.0 * 1024 * 1024); // files come and go while the test runs

    FixtureServices services("/");
    const core::MountEntry entry{ "/", dir.path(), "ext4", "/dev/x", 0, 0 };
    const auto read = VolumeInfo::readFacts(entry, [](const std::string &, bool) {
        return VolumeInfo::SpaceFigures{ 1000, 400, 100 };
    });
    EXPECT_EQ(read.reserved, 100);
}

TEST(VolumeDistribution, ZeroCapacityAndUnreadableVolumes)
{
    ManualDispatcher dispatcher;
    FixtureServices services("/", 0, &dispatcher);

    auto empty = std::make_shared<VolumeInfo>("file:///x/", facts(0, 0));
    EXPECT_TRUE(empty->fileDistribution->distribution.empty());
    empty->calculatingDistributionForLocalVolume(VolumeInfo::Paths::forHome("/nonexistent"));
    EXPECT_EQ(dispatcher.pendingBackground(), 0U);
    empty->updateDistribution(FileTypeName::Apps, 10);
    EXPECT_TRUE(empty->fileDistribution->distribution.empty());

    auto noSpace = facts(1000, 400);
    noSpace.available.reset();
    auto unreadable = std::make_shared<VolumeInfo>("file:///y/", noSpace);
    EXPECT_FALSE(unreadable->name);
    EXPECT_FALSE(unreadable->fileDistribution);
    EXPECT_EQ(unreadable->capacity, 0);
    EXPECT_EQ(unreadable->available, 0);
    unreadable->updateDistribution(FileTypeName::Apps, 10); // ignored, no crash
    unreadable->calculatingDistributionForLocalVolume(VolumeInfo::Paths::forHome("/nonexistent"));
    EXPECT_EQ(dispatcher.pendingBackground(), 0U);
    EXPECT_EQ(services.log.systemLines(), std::vector<std::string>{ "Error in mount volumes" });
}

TEST(VolumeDistribution, MeasuresApplicationRootsAndBackups)
{
    TempDir tree;
    tree.writeFile("usr/bin/tool", 100);
    tree.writeFile("opt/app/data", 50);
    ManualDispatcher dispatcher;
    FixtureServices services("/", 0, &dispatcher);

    VolumeInfo::Paths paths;
    paths.applicationRootUrls = { "file://" + tree.path() + "/usr/", "file://" + tree.path() + "/opt/" };
    paths.backupFolderUrl = "file://" + tree.path() + "/home/.local/share/MobileSync/Backup/"; // missing
    auto volume = std::make_shared<VolumeInfo>("file:///", facts(10000, 4000));
    volume->calculatingDistributionForLocalVolume(paths);
    dispatcher.runAllQueues();

    const auto lines = services.log.stdoutLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "THE Apps SIZE IS 150"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "THE IOS SIZE IS 0"), lines.end());
    const auto &d = volume->fileDistribution->distribution;
    ASSERT_EQ(d.size(), 4U);
    EXPECT_EQ(d.front(), (FileType{ FileTypeName::Other, 5850, 0.585 }));
    EXPECT_EQ(d.back().name, FileTypeName::Available);
}

TEST(VolumeDistribution, ResultForAVolumeThatIsGoneIsDropped)
{
    TempDir tree;
    ManualDispatcher dispatcher;
    FixtureServices services("/", 0, &dispatcher);
    VolumeInfo::Paths paths;
    paths.applicationRootUrls = { "file://" + tree.path() + "/" };
    paths.backupFolderUrl = "file://" + tree.path() + "/";
    auto volume = std::make_shared<VolumeInfo>("file:///", facts(1000, 400));
    volume->calculatingDistributionForLocalVolume(paths);
    volume.reset();
    dispatcher.runAllQueues();
    EXPECT_TRUE(services.log.stdoutLines().empty());
}

TEST(VolumeDistribution, PathsFollowTheHomeFolder)
{
    const auto paths = VolumeInfo::Paths::forHome("/home/ann lee/");
    EXPECT_EQ(paths.backupFolderUrl, "file:///home/ann%20lee/.local/share/MobileSync/Backup/");
    EXPECT_EQ(paths.applicationRootUrls.front(), "file:///usr/");
    EXPECT_NE(std::find(paths.applicationRootUrls.begin(),
                  paths.applicationRootUrls.end(),
                  "file:///home/ann%20lee/.local/share/flatpak/"),
        paths.applicationRootUrls.end());
}

TEST(VolumeMounts, VisibleVolumesOfALaptop)
{
    const auto text = testing_support::readFile(fixtureRoot("laptop-discharging") + "proc/self/mountinfo");
    const auto visible = VolumeInfo::visibleMounts(VolumeInfo::parseMountInfo(text));
    // "/" first although mounted sixth; pseudo, system, bind, portal and over-mounted entries hidden.
    EXPECT_EQ(mountPoints(visible),
        (std::vector<std::string>{
            "/", "/home", "/media/ann/My Disk", "/run/media/ann/CARD", "/mnt/nas", "/mnt/scratch" }));
    EXPECT_EQ(visible.back().minor, 33U); // the later of two mounts at /mnt/scratch

    FixtureServices services(fixtureRoot("laptop-discharging"));
    auto fakeSpace = [](const std::string &, bool) {
        return VolumeInfo::SpaceFigures{ 1000, 400 };
    };
    struct Expect
    {
        const char *name;
        bool removable;
        bool isLocal;
        VolumeInfo::IconKind image;
    };
    const std::vector<Expect> expected = { { "Filesystem root", false, true, VolumeInfo::IconKind::Root },
        { "home", false, true, VolumeInfo::IconKind::Disk },
        { "My Disk", true, true, VolumeInfo::IconKind::Removable }, // USB disk
        { "CARD", true, true, VolumeInfo::IconKind::Removable }, // card reader
        { "nas", false, false, VolumeInfo::IconKind::Network },
        { "scratch", false, true, VolumeInfo::IconKind::Disk } };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(visible[i].mountPoint);
        const auto f = VolumeInfo::readFacts(visible[i], fakeSpace);
        EXPECT_EQ(f.name, expected[i].name);
        EXPECT_EQ(f.removable, expected[i].removable);
        EXPECT_EQ(f.isLocal, expected[i].isLocal);
        EXPECT_EQ(f.image, expected[i].image);
        EXPECT_EQ(f.capacity, 1000);
    }
}

TEST(VolumeMounts, EscapesAndMalformedLines)
{
    EXPECT_EQ(VolumeInfo::unescapeMountField("/a\\040b\\011c\\134d\\012"), "/a b\tc\\d\n");
    EXPECT_EQ(VolumeInfo::unescapeMountField("/end\\04"), "/end\\04");
    EXPECT_EQ(VolumeInfo::unescapeMountField("/mnt/trailing\\040"), "/mnt/trailing ") << "an escape at the very end";
    EXPECT_EQ(VolumeInfo::unescapeMountField("\\011"), "\t");
    EXPECT_EQ(VolumeInfo::decodeUdevEscapes("My\\x20Disk\\xzz"), "My Disk\\xzz");

    const auto text = testing_support::readFile(fixtureRoot("malformed") + "proc/self/mountinfo");
    EXPECT_EQ(mountPoints(VolumeInfo::parseMountInfo(text)), std::vector<std::string>{ "/" });
}

TEST(VolumeMounts, MainVolumeIsListedOnceAndKept)
{
    VolumeInfo::volumes.clear();
    FixtureServices services(fixtureRoot("vm"));
    const auto main = VolumeInfo::getMainVolume();
    ASSERT_TRUE(main);
    EXPECT_EQ(VolumeInfo::volumes.size(), 1U); // the tmpfs sandbox is hidden
    EXPECT_EQ(main->url, "file:///");
    EXPECT_EQ(VolumeInfo::getMainVolume(), main);

    struct statvfs vfs
    {
    };
    ASSERT_EQ(::statvfs("/", &vfs), 0);
    EXPECT_EQ(main->capacity, static_cast<std::int64_t>(vfs.f_blocks * vfs.f_frsize));
    ASSERT_TRUE(main->fileDistribution);
    EXPECT_EQ(main->fileDistribution->distribution.size(), 2U);
    VolumeInfo::volumes.clear();
}

TEST(VolumeMounts, UnreadableVolumesAreLoggedAndKeptEmpty)
{
    {
        // Most laptop mount points do not exist here, so their space cannot be read.
        FixtureServices services(fixtureRoot("laptop-discharging"));
        const auto volumes = VolumeInfo::mountedVolumes();
        ASSERT_EQ(volumes.size(), 6U);
        EXPECT_EQ(volumes.front()->url, "file:///");
        EXPECT_TRUE(volumes.front()->fileDistribution);
        const auto unread = std::count_if(volumes.begin(), volumes.end(), [](const auto &v) {
            return !v->fileDistribution && !v->name && v->capacity == 0;
        });
        EXPECT_GE(unread, 3);
        EXPECT_EQ(static_cast<std::size_t>(unread), services.log.systemLines().size());
    }
    VolumeInfo::volumes.clear();
    TempDir empty;
    FixtureServices services(empty.path());
    EXPECT_TRUE(VolumeInfo::mountedVolumes().empty());
    EXPECT_EQ(VolumeInfo::getMainVolume(), nullptr);
}

TEST(VolumeMounts, ConstructorFromAUrl)
{
    FixtureServices services("/");
    const VolumeInfo root("file:///");
    EXPECT_GT(root.capacity, 0);
    EXPECT_TRUE(root.isLocal);
    const VolumeInfo bogus("not a url");
    EXPECT_FALSE(bogus.fileDistribution);
    EXPECT_EQ(services.log.systemLines(), std::vector<std::string>{ "Error in mount volumes" });
}
