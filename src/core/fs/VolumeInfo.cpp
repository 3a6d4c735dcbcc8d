// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/VolumeInfo.h"

#include "format/FileUrl.h"
#include "fs/FolderInfo.h"
#include "monitor/SysFiles.h"
#include "platform/Services.h"
#include "tree/MountInfo.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace core {

using namespace sysfiles;

std::string_view caseName(FileTypeName name)
{
    switch (name) {
    case FileTypeName::Apps:
        return "Apps";
    case FileTypeName::Music:
        return "Music";
    case FileTypeName::Movie:
        return "Movie";
    case FileTypeName::Picture:
        return "Picture";
    case FileTypeName::Mail:
        return "Mail";
    case FileTypeName::IOS:
        return "IOS";
    case FileTypeName::iCloud:
        return "iCloud";
    case FileTypeName::iTunes:
        return "iTunes";
    case FileTypeName::Document:
        return "Document";
    case FileTypeName::Other:
        return "Other";
    case FileTypeName::Available:
        return "Available";
    case FileTypeName::Calculating:
        break;
    }
    return "Calculating";
}

std::string_view label(FileTypeName name)
{
    return name == FileTypeName::IOS ? "IOS Backup" : caseName(name);
}

namespace {

/// Hidden from the volume list: kernel interfaces, and the RAM, overlay and
/// image file systems that hold no volume of their own.
bool isPseudoType(std::string_view type)
{
    static constexpr std::array<std::string_view, 5> NoVolume = {
        "tmpfs", "ramfs", "overlay", "squashfs", "fuse.snapfuse"
    };
    return tree::isKernelPseudoFsType(type) || std::find(NoVolume.begin(), NoVolume.end(), type) != NoVolume.end();
}

bool isUnder(std::string_view path, std::string_view prefix)
{
    return path == prefix || (path.starts_with(prefix) && path.size() > prefix.size() && path[prefix.size()] == '/');
}

bool isSystemLocation(std::string_view mountPoint)
{
    if (isUnder(mountPoint, "/run")) {
        return !isUnder(mountPoint, "/run/media") || mountPoint == "/run/media";
    }
    for (const std::string_view prefix : { "/proc", "/sys", "/dev", "/snap", "/var/lib", "/boot", "/efi" }) {
        if (isUnder(mountPoint, prefix)) {
            return true;
        }
    }
    return mountPoint.find("/.") != std::string_view::npos;
}

std::string lastComponent(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// The filesystem label udev published for the device, if any.
std::optional<std::string> labelOf(unsigned major, unsigned minor)
{
    const std::string dir = sysPath("dev/disk/by-label/");
    for (const auto &entry : listDirectory(dir)) {
        struct stat st
        {
        };
        if (::stat((dir + entry).c_str(), &st) == 0 && S_ISBLK(st.st_mode) && ::major(st.st_rdev) == major
            && ::minor(st.st_rdev) == minor) {
            return VolumeInfo::decodeUdevEscapes(entry);
        }
    }
    return std::nullopt;
}

/// Whether the block device is removable media or sits on a USB bus
/// (USB hard disks report removable 0). Device-mapper, loop and virtual disks are not.
bool isRemovableDevice(unsigned major, unsigned minor)
{
    const std::string link = sysPath("sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
    char resolved[PATH_MAX];
    if (::realpath(link.c_str(), resolved) == nullptr) {
        return false;
    }
    std::string device(resolved);
    struct stat st
    {
    };
    if (::stat((device + "/partition").c_str(), &st) == 0) {
        device = device.substr(0, device.rfind('/'));
    }
    return readInteger(device + "/removable") == 1 || device.find("/usb") != std::string::npos;
}

std::optional<VolumeInfo::SpaceFigures> statvfsFigures(const std::string &mountPoint)
{
    struct statvfs vfs
    {
    };
    if (::statvfs(mountPoint.c_str(), &vfs) != 0) {
        return std::nullopt;
    }
    // f_frsize is the unit of f_blocks and f_bavail (f_bsize is only the preferred I/O size).
    const auto unit = static_cast<std::int64_t>(vfs.f_frsize);
    const auto reservedBlocks = vfs.f_bfree > vfs.f_bavail ? vfs.f_bfree - vfs.f_bavail : 0;
    return VolumeInfo::SpaceFigures{ static_cast<std::int64_t>(vfs.f_blocks) * unit,
        static_cast<std::int64_t>(vfs.f_bavail) * unit,
        static_cast<std::int64_t>(reservedBlocks) * unit };
}

/// Whether `path` is `mountPoint` or lies below it.
bool isWithin(const std::string &path, const std::string &mountPoint)
{
    return mountPoint == "/" || isUnder(path, mountPoint);
}

} // namespace

VolumeInfo::Paths VolumeInfo::Paths::forHome(const std::string &homeDir)
{
    std::string home = homeDir;
    while (!home.empty() && home.back() == '/') {
        home.pop_back();
    }
    Paths paths;
    for (const std::string &root : { std::string("/usr"),
             std::string("/opt"),
             std::string("/var/lib/flatpak"),
             home + "/.local/share/flatpak",
             std::string("/var/lib/snapd/snaps") }) {
        paths.applicationRootUrls.push_back(format::fileUrlFromPath(root, true));
    }
    paths.backupFolderUrl = format::fileUrlFromPath(home + "/.local/share/MobileSync/Backup", true);
    return paths;
}

VolumeInfo::VolumeInfo(std::string volumeURL, const std::optional<Facts> &facts)
    : url(std::move(volumeURL))
{
    if (!facts || !facts->capacity || !facts->removable || !facts->available || !facts->isLocal) {
        if (auto *log = platform::services().log) {
            log->systemLog("Error in mount volumes");
        }
        return;
    }
    name = facts->name;
    capacity = *facts->capacity;
    removable = *facts->removable;
    available = *facts->available;
    isLocal = *facts->isLocal;
    reserved = std::clamp(facts->reserved, std::int64_t{ 0 }, std::max(capacity - available, std::int64_t{ 0 }));
    fileDistribution = initDistributionWithCapacity(capacity - reserved, available);
    image = facts->image;
}

namespace {

std::optional<VolumeInfo::Facts> factsForUrl(const std::string &volumeURL)
{
    const auto path = format::pathFromFileUrl(volumeURL);
    if (!path) {
        return std::nullopt;
    }
    const auto text = readText(sysPath("proc/self/mountinfo"));
    if (!text) {
        return std::nullopt;
    }
    // The last line wins: a later mount at the same place hides the earlier one.
    std::optional<MountEntry> best;
    for (auto &entry : VolumeInfo::parseMountInfo(*text)) {
        if (isWithin(*path, entry.mountPoint) && (!best || entry.mountPoint.size() >= best->mountPoint.size())) {
            best = std::move(entry);
        }
    }
    if (!best) {
        return std::nullopt;
    }
    return VolumeInfo::readFacts(*best);
}

} // namespace

VolumeInfo::VolumeInfo(const std::string &volumeURL)
    : VolumeInfo(volumeURL, factsForUrl(volumeURL))
{
}

std::string VolumeInfo::unescapeMountField(std::string_view field)
{
    return tree::unescapeMountField(field);
}

std::string VolumeInfo::decodeUdevEscapes(std::string_view name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int hi = format::hexDigitValue(name[i + 2]);
            const int lo = format::hexDigitValue(name[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

std::vector<MountEntry> VolumeInfo::parseMountInfo(std::string_view text)
{
    std::vector<MountEntry> entries;
    for (const tree::MountInfoLine &line : tree::splitMountInfo(text)) {
        if (line.source.empty() || !line.mountPoint.starts_with('/')) {
            continue; // truncated or foreign line
        }
        entries.push_back(MountEntry{ tree::unescapeMountField(line.root),
            tree::unescapeMountField(line.mountPoint),
            std::string(line.fsType),
            tree::unescapeMountField(line.source),
            line.major,
            line.minor });
    }
    return entries;
}

std::vector<MountEntry> VolumeInfo::visibleMounts(const std::vector<MountEntry> &entries)
{
    std::unordered_map<std::string, std::size_t> lastAt;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        lastAt[entries[i].mountPoint] = i;
    }
    std::vector<MountEntry> visible;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto &entry = entries[i];
        if (lastAt[entry.mountPoint] != i) {
            continue; // over-mounted by a later line
        }
        if (entry.mountPoint == "/") {
            // The start-up volume comes first, whatever its type (overlay in containers).
            visible.insert(visible.begin(), entry);
            continue;
        }
        if (isPseudoType(entry.fsType) || isSystemLocation(entry.mountPoint) || entry.root != "/") {
            continue;
        }
        visible.push_back(entry);
    }
    return visible;
}

std::optional<VolumeInfo::SpaceFigures> VolumeInfo::readSpace(const std::string &mountPoint, bool isLocal)
{
    if (isLocal) {
        return statvfsFigures(mountPoint);
    }
    // statvfs on a dead network server blocks for minutes; this runs on the main thread.
    struct Pending
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::optional<SpaceFigures> figures;
    };
    auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, mountPoint] {
            auto figures = statvfsFigures(mountPoint);
            std::lock_guard lock(pending->mutex);
            pending->figures = figures;
            pending->finished = true;
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error &) {
        return std::nullopt; // no thread to spare: count the volume as unreadable
    }
    std::unique_lock lock(pending->mutex);
    if (!pending->done.wait_for(lock, std::chrono::seconds(2), [&] {
            return pending->finished;
        })) {
        return std::nullopt;
    }
    return pending->figures;
}

VolumeInfo::Facts VolumeInfo::readFacts(const MountEntry &entry, const SpaceReader &space)
{
    Facts facts;
    facts.isLocal = !tree::isNetworkFsType(entry.fsType);
    facts.removable = *facts.isLocal && isRemovableDevice(entry.major, entry.minor);
    facts.name = labelOf(entry.major, entry.minor);
    if (!facts.name) {
        facts.name = entry.mountPoint == "/" ? std::string("Filesystem root") : lastComponent(entry.mountPoint);
    }
    if (const auto figures = space(entry.mountPoint, *facts.isLocal)) {
        facts.capacity = figures->capacity;
        facts.available = figures->available;
        facts.reserved = figures->reserved;
    }
    facts.image = entry.mountPoint == "/" ? IconKind::Root
        : !*facts.isLocal                 ? IconKind::Network
        : *facts.removable                ? IconKind::Removable
                                          : IconKind::Disk;
    return facts;
}

std::vector<VolumeInfoPtr> VolumeInfo::mountedVolumes()
{
    std::vector<VolumeInfoPtr> result;
    const std::string path = sysPath("proc/self/mountinfo");
    const auto text = readText(path);
    if (!text) {
        logOnce(path, "Cannot read the mounted volumes in " + path);
        return result;
    }
    for (const auto &entry : visibleMounts(parseMountInfo(*text))) {
        result.push_back(std::make_shared<VolumeInfo>(
            format::fileUrlFromPath(entry.mountPoint, true), std::optional<Facts>(readFacts(entry))));
    }
    return result;
}

VolumeInfoPtr VolumeInfo::getMainVolume()
{
    if (volumes.empty()) {
        volumes = mountedVolumes();
    }
    return volumes.empty() ? nullptr : volumes.front();
}

FileDistribution VolumeInfo::initDistributionWithCapacity(std::int64_t capacity, std::int64_t available)
{
    FileDistribution d{ capacity, available, {} };
    if (capacity <= 0) {
        return d;
    }
    const double r = static_cast<double>(available) / static_cast<double>(capacity);
    d.distribution.push_back(FileType{ FileTypeName::Calculating, capacity - available, 1.0 - r });
    d.distribution.push_back(FileType{ FileTypeName::Available, available, r });
    return d;
}

void VolumeInfo::calculatingDistributionForLocalVolume()
{
    calculatingDistributionForLocalVolume(Paths::forHome(platform::services().user.homeDir));
}

void VolumeInfo::calculatingDistributionForLocalVolume(const Paths &paths)
{
    // Without slices there is nothing a result could refine.
    if (!fileDistribution || fileDistribution->distribution.empty()) {
        return;
    }
    auto *dispatch = platform::services().dispatch;
    std::weak_ptr<VolumeInfo> weak = weak_from_this();
    if (dispatch == nullptr || weak.expired()) {
        logOnce("VolumeInfo#unmeasured", "The volume distribution cannot be measured here");
        return;
    }
    // All application roots add up in one job, so "Apps" enters the split once.
    dispatch->async([dispatch, weak, roots = paths.applicationRootUrls] {
        std::int64_t total = 0;
        for (const auto &root : roots) {
            total += FolderInfo::getFolderSize(root);
        }
        dispatch->asyncMain([weak, total] {
            if (const auto self = weak.lock()) {
                self->doneApps(total);
            }
        });
    });
    FolderInfo::asyncGetFolderSize(paths.backupFolderUrl, [weak](std::int64_t size) {
        if (const auto self = weak.lock()) {
            self->doneIOS(size);
        }
    });
}

void VolumeInfo::doneApps(std::int64_t size)
{
    if (auto *log = platform::services().log) {
        log->standardOutput("THE Apps SIZE IS " + std::to_string(size));
    }
    updateDistribution(FileTypeName::Apps, size);
}

void VolumeInfo::doneIOS(std::int64_t size)
{
    if (auto *log = platform::services().log) {
        log->standardOutput("THE IOS SIZE IS " + std::to_string(size));
    }
    updateDistribution(FileTypeName::IOS, size);
}

bool VolumeInfo::isCalculating() const
{
    return fileDistribution
        && std::any_of(
            fileDistribution->distribution.begin(), fileDistribution->distribution.end(), [](const FileType &slice) {
                return slice.name == FileTypeName::Calculating;
            });
}

void VolumeInfo::updateDistribution(FileTypeName sliceName, std::int64_t size)
{
    if (!fileDistribution || fileDistribution->distribution.empty() || fileDistribution->capacity <= 0) {
        return;
    }
    auto &slices = fileDistribution->distribution;
    const double p = static_cast<double>(size) / static_cast<double>(fileDistribution->capacity);
    const auto existing = std::find_if(slices.begin(), slices.end(), [sliceName](const FileType &slice) {
        return slice.name == sliceName;
    });
    if (existing != slices.end()) {
        existing->bytes = size;
        existing->percent = p;
        return;
    }
    slices.insert(slices.end() - 1, FileType{ sliceName, size, p });
    recalculateFileDistribution();
}

void VolumeInfo::recalculateFileDistribution()
{
    if (!fileDistribution || fileDistribution->capacity <= 0) {
        return;
    }
    auto &slices = fileDistribution->distribution;
    const std::size_t n = slices.size();
    const std::int64_t c = fileDistribution->capacity;
    const auto capacityF = static_cast<double>(c);
    for (auto &slice : slices) {
        if (slice.name == FileTypeName::Calculating) {
            std::int64_t attributed = 0;
            for (const auto &other : slices) {
                if (other.name != FileTypeName::Calculating) {
                    attributed += other.bytes;
                }
            }
            slice.bytes = c - attributed;
            if (n == 4) {
                slice.name = FileTypeName::Other;
            }
        }
        slice.percent = static_cast<double>(slice.bytes) / capacityF;
    }
}

} // namespace core
