// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

/// The category of one slice of a volume. Only Apps, IOS, Other, Available
/// and Calculating are ever measured; the others are vocabulary for the disk graph.
enum class FileTypeName {
    Apps,
    Music,
    Movie,
    Picture,
    Mail,
    IOS,
    iCloud,
    iTunes,
    Document,
    Other,
    Available,
    Calculating
};

/// The case's own name ("Apps", "IOS", "iCloud"...).
std::string_view caseName(FileTypeName name);
/// The label the disk graph shows ("IOS Backup" for IOS, else the case name).
std::string_view label(FileTypeName name);

/// One slice: its bytes and its fraction (0..1, not a percentage) of the capacity.
struct FileType
{
    FileTypeName name = FileTypeName::Calculating;
    std::int64_t bytes = 0;
    double percent = 0;
    bool operator==(const FileType &) const = default;
};

/// The split of a volume, in drawing order; Available is always last.
/// `capacity` is the space the slices share: the volume's capacity less the
/// blocks reserved for the administrator (VolumeInfo::reserved), so the
/// slices add up to it and the used fraction is the one df shows.
struct FileDistribution
{
    std::int64_t capacity = 0;
    std::int64_t available = 0;
    std::vector<FileType> distribution;
};

/// One line of /proc/self/mountinfo (proc(5)), with the escapes decoded.
struct MountEntry
{
    std::string root; // the mounted sub-tree of the file system ("/" unless a bind mount)
    std::string mountPoint;
    std::string fsType;
    std::string source;
    unsigned major = 0;
    unsigned minor = 0;
};

class VolumeInfo;
using VolumeInfoPtr = std::shared_ptr<VolumeInfo>;

/// A mounted volume's name and space, and the split of its used space into
/// applications, device backups and the rest, refined as two background
/// measurements finish.
///
/// Shared by reference (make it with std::make_shared: the measurements
/// hold a weak reference and drop their result when the volume is gone).
/// The fields and the distribution are read and changed on the main queue only.
class VolumeInfo : public std::enable_shared_from_this<VolumeInfo>
{
public:
    enum class IconKind { Root, Removable, Network, Disk };

    /// Where the measured slices come from: the folders whose sizes add up
    /// to "Apps", and the device-backup folder ("IOS"). File URLs of folders.
    struct Paths
    {
        std::vector<std::string> applicationRootUrls;
        std::string backupFolderUrl;

        /// /usr, /opt, /var/lib/flatpak, <home>/.local/share/flatpak and
        /// /var/lib/snapd/snaps; backups in <home>/.local/share/MobileSync/Backup/.
        static Paths forHome(const std::string &homeDir);
    };

    /// What is read about a volume; a value that could not be read is nullopt.
    struct Facts
    {
        std::optional<std::string> name;
        std::optional<std::int64_t> capacity;
        std::optional<bool> removable;
        std::optional<std::int64_t> available;
        std::optional<bool> isLocal;
        IconKind image = IconKind::Disk;
        std::int64_t reserved = 0; // see SpaceFigures::reserved
    };

    struct SpaceFigures
    {
        std::int64_t capacity = 0;
        std::int64_t available = 0; // what an unprivileged user may still write
        /// Free blocks that only the administrator may use (statvfs's
        /// f_bfree - f_bavail): neither used nor available. df leaves them
        /// out of its Used and Avail columns.
        std::int64_t reserved = 0;
    };
    using SpaceReader = std::function<std::optional<SpaceFigures>(const std::string &mountPoint, bool isLocal)>;

    /// Reads the volume mounted at (or containing) the folder `volumeURL`.
    explicit VolumeInfo(const std::string &volumeURL);

    /// A volume from facts already read. When `facts` is nullopt or lacks
    /// the capacity, the available space, the removable or the local flag,
    /// "Error in mount volumes" goes to the system log and the object keeps
    /// its initial values (no name, no distribution, capacity 0). The
    /// distribution splits the capacity less the reserve (clamped to what
    /// is not available).
    VolumeInfo(std::string volumeURL, const std::optional<Facts> &facts);

    std::string url; // file URL of the volume's root folder
    std::optional<std::string> name;
    std::optional<std::string> volumeType; // never set
    std::optional<IconKind> image;
    std::int64_t capacity = 0; // the whole volume, as df's Size
    std::int64_t available = 0;
    /// Reserved for the administrator: not in the distribution, whose
    /// capacity is `capacity - reserved`. 0 where the file system keeps no reserve.
    std::int64_t reserved = 0;
    bool removable = false;
    std::optional<FileDistribution> fileDistribution;
    bool isLocal = true;
    bool startCalculating = false; // set by the disk graph once it has started the measurements
    int calculateModule = 4;

    /// Volumes a person would recognise, from services().sysRoot +
    /// "proc/self/mountinfo": "/" always and first, then local and network
    /// disks in mount order; pseudo file systems, system folders
    /// (/proc, /sys, /dev, /run, /boot...), bind mounts of sub-folders and
    /// over-mounted entries are left out. Empty when mountinfo cannot be read.
    static std::vector<VolumeInfoPtr> mountedVolumes();

    /// The volume mounted at "/", listed on first use and then kept for the
    /// life of the process (`volumes`); nullptr when no volume is mounted.
    /// Main queue only.
    static VolumeInfoPtr getMainVolume();

    /// The list getMainVolume keeps. Main queue only.
    static inline std::vector<VolumeInfoPtr> volumes; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

    /// [Calculating (used), Available] with their fractions. A capacity of
    /// 0 or less gives an empty slice list (the graph draws an empty bar).
    static FileDistribution initDistributionWithCapacity(std::int64_t capacity, std::int64_t available);

    /// Starts the two measurements on the global queue (paths from the
    /// injected home folder); each result is entered on the main queue with
    /// updateDistribution, after a "THE Apps SIZE IS <n>" or "THE IOS SIZE
    /// IS <n>" standard-output line. Does nothing for a volume without
    /// slices or one not owned by a shared_ptr. Returns at once.
    void calculatingDistributionForLocalVolume();
    void calculatingDistributionForLocalVolume(const Paths &paths);

    /// Whether the split still has a share waiting for a measurement (a
    /// Calculating slice): true from construction until both measurements
    /// are in; false for a volume without slices. Main queue only.
    bool isCalculating() const;

    /// Enters a measured slice. An existing slice of that name only gets the
    /// new size and fraction; a new one goes just before Available and the
    /// remainder is recomputed. Ignored without a distribution. Main queue only.
    void updateDistribution(FileTypeName name, std::int64_t size);

    /// The Calculating slice becomes the capacity minus every other slice
    /// (not clamped: negative when the measured folders exceed the used
    /// space) and is named Other once four slices exist; every fraction is
    /// recomputed.
    void recalculateFileDistribution();

    /// The pure parts, exposed for tests.
    static std::vector<MountEntry> parseMountInfo(std::string_view text);
    static std::vector<MountEntry> visibleMounts(const std::vector<MountEntry> &entries);
    /// The octal escapes of mountinfo ("\040" is a space).
    static std::string unescapeMountField(std::string_view field);
    /// The "\xHH" escapes of udev's /dev/disk/by-label names.
    static std::string decodeUdevEscapes(std::string_view name);
    /// Name, flags and space of a mount; `space` defaults to statvfs (a
    /// network volume gets 2 s before it counts as unreadable).
    static Facts readFacts(const MountEntry &entry, const SpaceReader &space = readSpace);
    static std::optional<SpaceFigures> readSpace(const std::string &mountPoint, bool isLocal);

private:
    void doneApps(std::int64_t size);
    void doneIOS(std::int64_t size);
};

} // namespace core
