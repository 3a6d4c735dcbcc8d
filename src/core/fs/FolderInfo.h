// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "Types.h"
#include "fs/Callbacks.h"
#include "tree/Removal.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core {

namespace tree {
struct WalkItem;
} // namespace tree

struct FolderUrl;
class FolderInfo;

namespace detail {
class RecordPool;
struct RecordFolder;
struct RecordText;
} // namespace detail

using FolderInfoPtr = std::shared_ptr<FolderInfo>;

/// A record's children: a sequence of shared records that takes one
/// pointer in a record without any (most records of a scan are files) and
/// reads like the std::vector it holds. Changes that need the vector itself
/// go through edit().
class RecordList
{
public:
    using Vector = std::vector<FolderInfoPtr>;
    using value_type = FolderInfoPtr;
    using size_type = Vector::size_type;
    using iterator = Vector::iterator;
    using const_iterator = Vector::const_iterator;

    RecordList() = default;
    RecordList(Vector records) // NOLINT(google-explicit-constructor): reads as the vector it holds
    {
        assign(std::move(records));
    }
    RecordList(std::initializer_list<FolderInfoPtr> records)
        : RecordList(Vector(records))
    {
    }
    RecordList(const RecordList &other)
        : RecordList(other.vector())
    {
    }
    RecordList(RecordList &&) noexcept = default;
    RecordList &operator=(const RecordList &other)
    {
        if (this != &other) {
            assign(other.vector());
        }
        return *this;
    }
    RecordList &operator=(RecordList &&) noexcept = default;
    RecordList &operator=(Vector records)
    {
        assign(std::move(records));
        return *this;
    }
    RecordList &operator=(std::initializer_list<FolderInfoPtr> records)
    {
        assign(Vector(records));
        return *this;
    }
    ~RecordList() = default;

    operator const Vector &() const // NOLINT(google-explicit-constructor): reads as the vector it holds
    {
        return vector();
    }
    const Vector &vector() const { return m_records ? *m_records : none(); }
    /// The vector itself, made when the record had no children.
    Vector &edit()
    {
        if (!m_records) {
            m_records = std::make_unique<Vector>();
        }
        return *m_records;
    }

    bool empty() const { return !m_records || m_records->empty(); }
    size_type size() const { return m_records ? m_records->size() : 0; }
    const_iterator begin() const { return vector().begin(); }
    const_iterator end() const { return vector().end(); }
    iterator begin() { return m_records ? m_records->begin() : iterator{}; }
    iterator end() { return m_records ? m_records->end() : iterator{}; }
    const FolderInfoPtr &operator[](size_type k) const { return (*m_records)[k]; }
    FolderInfoPtr &operator[](size_type k) { return (*m_records)[k]; }
    const FolderInfoPtr &at(size_type k) const { return vector().at(k); }
    FolderInfoPtr &at(size_type k) { return edit().at(k); }
    const FolderInfoPtr &front() const { return m_records->front(); }
    const FolderInfoPtr &back() const { return m_records->back(); }
    void push_back(FolderInfoPtr record) { edit().push_back(std::move(record)); }
    template<typename... Args> FolderInfoPtr &emplace_back(Args &&...args)
    {
        return edit().emplace_back(std::forward<Args>(args)...);
    }
    void reserve(size_type count) { edit().reserve(count); }
    void clear() { m_records.reset(); }

private:
    void assign(Vector records)
    {
        if (records.empty()) {
            m_records.reset();
        } else {
            m_records = std::make_unique<Vector>(std::move(records));
        }
    }
    static const Vector &none()
    {
        static const Vector empty;
        return empty;
    }

    std::unique_ptr<Vector> m_records;
};

/// The start of the URL of the last record asked through urlInto(out, start):
/// a loop over many records, most of them lying in the folder of the one
/// before, encodes each folder once. Told apart by the folder's path itself.
struct UrlStart
{
    std::string folderPath;
    std::string url;
};

/// Records found by a listing and the sum of their sizes.
struct ChildrenInfo
{
    std::vector<FolderInfoPtr> children;
    std::int64_t totalSize = 0;
};

/// A deep walk's filter answer for one item: whether to record it and
/// whether to descend into it (descending only matters for folders).
enum class FilterType {
    SkipSelf, // not recorded, descended into
    SkipChildren, // recorded, not descended into
    SkipSelfAndChildren, // neither
    NoSkip, // both
};

/// Decides, from an item's resource values, what a deep walk does with it.
using WalkFilter = std::function<FilterType(const tree::WalkItem &values)>;

/// Whether a deep walk may call its filter on several threads at once.
enum class FilterThreading {
    CallerOnly, // one call at a time, all on the caller's thread
    Concurrent, // the filter is thread-safe: subtrees are walked on 2 to 4 threads
};

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
    /// A copy owns its name and URL, wherever the original keeps them.
    FolderInfo(const FolderInfo &other);
    FolderInfo &operator=(const FolderInfo &other);
    ~FolderInfo();

    // The members are laid out largest first so that a record, of which a
    // scan of a home folder holds hundreds of thousands, carries no padding:
    // `checked` lies in the four bytes the date leaves unused.
    std::int64_t findex; // position in the list it was built into
    std::int64_t size; // bytes: a file's size, or a measured folder's total
    [[no_unique_address]] Timestamp date; // content modification time; distant past when absent
    int checked; // 1 selected, 0 not selected, -1 partly selected

    /// The display name ("" when absent): bytes, may be non-UTF-8.
    std::string name() const { return std::string(nameView()); }
    /// The name without a copy: valid while the record lives and its name is not set.
    std::string_view nameView() const;
    void setName(std::string value);

    /// The file URL (a directory's ends in "/"). A record of a deep walk
    /// keeps its folder's URL shared with its siblings and makes its own
    /// when asked: loops over many records use urlInto with one buffer.
    std::string url() const;
    /// url() into `out` (replacing what it held), reusing its storage.
    void urlInto(std::string &out) const;
    /// The same, taking the folder's part from `start` when the record lies
    /// in the folder of the record asked before, and keeping it there.
    void urlInto(std::string &out, UrlStart &start) const;
    /// The path of url() into `out`, as format::decodeFileUrl gives it
    /// (false, and `out` empty, where that fails), without the round trip
    /// through the URL where the record knows its path.
    bool pathInto(std::string &out) const;
    void setUrl(std::string value);
    /// Whether the scan that made this record knows it is the only record
    /// of its file in the module (the large-and-old walk, for a file in one
    /// band): the same file is then looked for in no other category. False
    /// unless a scan says so; a copy, or a record assigned over, is not.
    bool isOnlyListing() const { return m_onlyListing; }
    void setOnlyListing(bool value) { m_onlyListing = value; }

    /// A hash of url()'s last component (a folder's slash left out), made
    /// without the URL: records with the same URL have the same hash, so a
    /// loop over many records makes URLs only where these agree. `scratch`
    /// is a reused buffer.
    std::size_t urlTailHash(std::string &scratch) const;

    IconRef icon() const;
    void setIcon(IconRef value);

    Rgba color() const;
    void setColor(Rgba value);

    /// The folder the scan listed this record from (a catalogue location, the
    /// home folder of a deep walk, or the folder above a location that is a
    /// record itself), as the scan found it; null for a record no scan built.
    /// Cleaning reaches the record from there, one component at a time.
    const std::shared_ptr<const tree::Anchor> &anchor() const;
    void setAnchor(std::shared_ptr<const tree::Anchor> value);

    RecordList children;

    bool isFolder; // a directory (packages count as directories); a link is never one
    bool isPackage;
    bool hidden;

private:
    friend class detail::RecordPool;
    struct PoolSpot
    {
    };
    /// A record of a pool: the name's bytes and the folder lie in the pool.
    FolderInfo(PoolSpot, const detail::RecordFolder *folder, std::string_view name, bool urlSlash);

    /// Gives the record its own name and URL (a record of a pool that is changed).
    detail::RecordText &ownText();

    // Either the record lies in a pool (m_folder set: its name's bytes are at
    // m_nameData, its URL is the folder's URL and the encoded name) or it
    // owns its text (m_folder null: m_text). Icon and colour are positions
    // in process-wide tables of the few distinct values records carry.
    bool m_urlSlash : 1 = false; // a pool record's URL ends in "/"
    bool m_onlyListing : 1 = false; // see isOnlyListing()
    std::uint16_t m_nameSize = 0;
    std::uint8_t m_icon = 0;
    std::uint8_t m_color = 0;
    const detail::RecordFolder *m_folder = nullptr;
    union {
        const char *m_nameData;
        detail::RecordText *m_text;
    };

public:
    /// Total logical size of everything below the folder at `url`: every
    /// level, hidden items and package contents included, directories
    /// counting 0 and links their own length (never followed below the
    /// root). 0 for a missing path, a plain file or an unparsable URL; an
    /// unreadable subtree counts 0. Runs on the caller's thread (it may use
    /// a few helper threads of its own); thread-safe.
    static std::int64_t getFolderSize(const std::string &url);

    /// getFolderSize on the global queue; `doneCalculating` is called once, on the main queue.
    static void asyncGetFolderSize(const std::string &url, std::function<void(std::int64_t)> doneCalculating);

    /// Removes (or, with request.dryRun, checks) the item at the absolute
    /// `path`, reached from the folder above it as that folder is now:
    /// tree::removeBelow with the parent as anchor. A path with no folder
    /// above it is refused.
    static tree::RemovalOutcome removeAt(const std::string &path, const tree::RemovalRequest &request);

    // Listing operations. They run synchronously on the caller's thread (a
    // background job); only their callbacks go through the main queue, posted
    // with the values of the moment. A location that is missing, unreadable
    // or not a valid file URL yields no record or an empty result, and so
    // does one on the calling thread's always-keep list (tree::keptItemsHere)
    // or below a kept folder; kept entries are neither listed nor counted.

    /// One record for the location; with `includeChildren`, a folder's
    /// immediate entries are listed (each measured in full) and the record's
    /// size is their total. Posts exactly one progress report (the location
    /// and its size). nullptr when the location cannot be read.
    static FolderInfoPtr folderInfo(const FolderUrl &folderURL, bool includeChildren, const Progress &progress);

    /// The folder's immediate entries (hidden ones included, package
    /// content not listed), each measured in full, with one progress report each.
    static ChildrenInfo childrenOfDirectory(const FolderUrl &folderURL, const Progress &progress);

    /// A flat list for several locations, each handled by its type ("Folder",
    /// "File", "Children"; other types list nothing), with `findex` renumbered
    /// along the list and one showPercent(1/N) increment per location.
    static ChildrenInfo folderInfoList(
        const std::vector<FolderUrl> &urls, const Progress &progress, const ShowPercent &showPercent);

    /// A deep walk below the folder (hidden items and package content never
    /// visited) in which `filter` decides what is recorded and what is
    /// entered. Recorded folders have size 0. Progress is reported per item
    /// down to level 4; deeper sizes are batched into the next report, and a
    /// final progress("", pending) closes the walk. Each top-level entry
    /// posts showPercent(1/C), C being the number of non-hidden top-level entries.
    /// With FilterThreading::Concurrent, big walks spread over several
    /// threads: the filter then runs on any of them, and progress reports
    /// of different subtrees are posted from those threads and interleave
    /// (each batches its own deep sizes); the records still come back in
    /// walk order.
    static ChildrenInfo filesFromDirWithFilter(const FolderUrl &folderURL,
        const Progress &progress,
        const ShowPercent &showPercent,
        const WalkFilter &filter,
        FilterThreading threading = FilterThreading::CallerOnly);

    /// The injected home folder, without a trailing "/".
    static std::string getUserHomeDirectory();

    // --- Defined for completeness; no front end calls these (FolderInfoExtras.cpp) ---

    /// The ten resource keys every record-building read asks for. Built once, never changed.
    static const std::vector<ResourceKey> &keysToRead();

    /// For each immediate, non-hidden sub-folder of `url` that `filter`
    /// does not exclude (filter(entryUrl) == true leaves it out): its path
    /// mapped to its total size. Files get no key; a failed listing gives an empty map.
    static std::map<std::string, std::int64_t> getFolderUsageWithFilter(
        const std::string &url, const std::function<bool(const std::string &entryUrl)> &filter);

    /// getFolderUsageWithFilter on the global queue; the map is handed to
    /// `doneCalculating` on the main queue.
    static void asyncGetFolderUsageWithFilter(const std::string &url,
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
};

} // namespace core
