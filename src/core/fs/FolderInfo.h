#pragma once

#include "Result.h"
#include "Types.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace core {

class FolderInfo;
using FolderInfoPtr = std::shared_ptr<FolderInfo>;

/// The resource values read for every record, in the order they are asked for.
enum class ResourceKey {
    LocalizedName,
    Path,
    FileSize,
    CustomIcon,
    EffectiveIcon,
    TypeIdentifier,
    ContentModificationDate,
    IsDirectory,
    IsPackage,
    IsHidden,
};

/// One file or folder of a scan result, shared by reference: the same
/// record may sit in a parent's `children` and in a flat list at once, and
/// a change made through one is seen through the other.
///
/// A record is built by one background job and handed over whole; after
/// that it is read and changed on the main queue only. It carries no lock.
///
/// The class is also the home of the stateless file-system measuring
/// operations (static members). Locations are "file://" URL strings
/// (platform/FileUrl.h); sizes are logical byte counts (st_size), never
/// allocated blocks.
class FolderInfo
{
public:
    FolderInfo(std::int64_t findex,
               std::string name,
               IconRef icon,
               std::int64_t size,
               Rgba color,
               bool isFolder,
               Timestamp date,
               std::string url,
               bool isPackage,
               std::vector<FolderInfoPtr> children,
               bool hidden,
               int checked);

    std::int64_t findex;   // position in the list it was built into
    std::string name;      // display name ("" when absent); bytes, may be non-UTF-8
    IconRef icon;
    std::int64_t size;     // bytes: a file's size, or a measured folder's total
    Rgba color;
    bool isFolder;         // a directory (packages count as directories); a link is never one
    Timestamp date;        // content modification time; distant past when absent
    std::string url;       // file URL (a directory's ends in "/")
    bool isPackage;
    std::vector<FolderInfoPtr> children;
    bool hidden;
    int checked;           // 1 selected, 0 not selected, -1 partly selected

    /// The ten resource keys every record-building read asks for. Built once, never changed.
    static const std::vector<ResourceKey> &keysToRead();

    /// Total logical size of everything below the folder at `url`: every
    /// level, hidden items and package contents included, directories
    /// counting 0 and links their own length (never followed below the
    /// root). 0 for a missing path, a plain file or an unparsable URL; an
    /// unreadable subtree counts 0. Runs on the caller's thread (it may use
    /// a few helper threads of its own); thread-safe.
    static std::int64_t getFolderSize(const std::string &url);

    /// getFolderSize on the global queue; `doneCalculating` is called once, on the main queue.
    static void asyncGetFolderSize(const std::string &url, std::function<void(std::int64_t)> doneCalculating);

    /// For each immediate, non-hidden sub-folder of `url` that `filter`
    /// does not exclude (filter(entryUrl) == true leaves it out): its path
    /// mapped to its total size. Files get no key; a failed listing gives an empty map.
    static std::map<std::string, std::int64_t> getFolderUsageWithFilter(
        const std::string &url, const std::function<bool(const std::string &entryUrl)> &filter);

    /// getFolderUsageWithFilter on the global queue; the map is handed to
    /// `doneCalculating` on the main queue.
    static void asyncGetFolderUsageWithFilter(
        const std::string &url,
        std::function<bool(const std::string &entryUrl)> filter,
        std::function<void(std::map<std::string, std::int64_t>)> doneCalculating);

    /// Path-based recursive size with diagnostic lines on the log sink's
    /// standard output (the path, "true"/"false", one line per child URL
    /// built). Names containing ".DS_Store" are skipped. 0 for a missing path.
    static std::int64_t fastFolderSizeAtFSRef(const std::string &theFilePath);

    /// Removes the item at `url` (a file, a link, or a folder with all its
    /// content) without following links and without a trash. True only when
    /// the item is gone. A protected or non-deletable location writes
    /// "<path>  is not deletable!" and returns false; a failed removal
    /// returns false silently (a partial folder removal is a failure).
    static bool deleteFile(const std::string &url);

    /// deleteFile with the reason of a failure: the error names the path
    /// that could not be removed and the platform's text for why.
    static Status tryDeleteFile(const std::string &url);

    /// The injected home folder, without a trailing "/".
    static std::string getUserHomeDirectory();
};

} // namespace core
