// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "engine/Catalogue.h"
#include "tree/Removal.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

namespace format {
struct PlistValue;
}

/// The module catalogue and the engine's class-level operations. No
/// instances: every member is static.
///
/// The catalogue is the property list "SpruceModules.plist" (the resource
/// `bundlename` + "Modules" of type "plist", found through
/// platform::services().resources), or the file given to setCataloguePath().
/// It is loaded once, on the first call of modules(), and kept for the life
/// of the process; scans, selection changes and cleaning then change it in
/// place.
///
/// Thread affinity: modules() is read and written on the main queue only.
/// Workers build whole values and post them to the main queue, which writes
/// them back; there is no lock. The one-time load itself is guarded
/// (std::call_once), so even concurrent first calls read the file once.
class ModuleInfo
{
public:
    ModuleInfo() = delete;

    /// The application bundle's name, from which the resource names are
    /// formed ("SpruceModules", "SpruceUI", "SpruceSetting").
    static constexpr std::string_view bundlename = "Spruce";

    /// Position of the large and old files module in the catalogue.
    static constexpr int LargeAndOldFileModule = 3;

    /// Position of the system module (junk outside the home), after More
    /// Tools; a catalogue may end before it.
    static constexpr int SystemModule = 5;

    /// The process-wide catalogue, loading it on first use with the home
    /// folder of platform::services().user. Never returns a partial
    /// catalogue: when the file cannot be found or read, or an entry lacks a
    /// required key or has one of the wrong type, it writes one line naming
    /// the file and the entry at fault to stderr and ends the process with
    /// exit code 3. Main queue only (see the class comment).
    static std::vector<Module> &modules();

    /// Makes modules() read `path` instead of looking the resource up (the
    /// command line's --catalogue). Call on the main thread before the
    /// first modules(); later calls have no effect on a loaded catalogue.
    /// An empty path restores the resource lookup.
    static void setCataloguePath(std::string path);

    /// Test seam: installs `modules` as the catalogue, replacing any loaded
    /// one, and marks the one-time load as done so that no file is read
    /// afterwards. Lets tests of the scan driver and the cleaner run on
    /// small catalogues built in the test. Main thread, no scan running.
    static void setModulesForTesting(std::vector<Module> modules);

    /// Reads the catalogue file at `path`, replacing "file://~/" by the
    /// file URL of `homeDir` (an absolute path). No global state is read or
    /// changed. Besides the key rules of the format it checks the positions
    /// the rest of the program indexes blindly: at least five modules, and
    /// at least four categories in module 3. The Error's message is one line
    /// naming the file and the entry or key at fault, for example
    /// "<path>: module 2, category 4: required key "title" missing"
    /// (modules, categories, features and urls are counted from 0).
    [[nodiscard]] static Result<std::vector<Module>> loadCatalogue(const std::string &path, const std::string &homeDir);

    /// The single-URL conversion: a string becomes {substituted string,
    /// "Folder", 0}; a url dictionary becomes {substituted "url", "type",
    /// "checked"}; anything else, nullptr included, the empty FolderUrl
    /// {"", "Folder", 0}. A dictionary that lacks one of its three keys or
    /// holds one of the wrong type also gives the empty FolderUrl (loading
    /// treats it as a catalogue error instead). Uses the home folder of
    /// platform::services().user. Thread-safe.
    static FolderUrl wrappCusomterUrl(const format::PlistValue *value);

    /// The URL-list conversion: an array of strings or an array of url
    /// dictionaries, each converted as by wrappCusomterUrl; anything else
    /// (an array mixing the two, or holding other values, or no array)
    /// gives an empty list, and so does an array holding a faulty url
    /// dictionary. Thread-safe.
    static std::vector<FolderUrl> wrappCusomterUrls(const format::PlistValue &value);

    /// `url` with every occurrence of "file://~/" replaced by "file://" +
    /// the percent-encoded `homeDir` + "/" (trailing slashes of homeDir are
    /// dropped first, so "/" gives "file:///"). Nothing else is expanded:
    /// a "~" elsewhere stays as it is. A single pass over `url`: text that a
    /// replacement produces is never replaced again. Pure.
    static std::string substituteHome(std::string_view url, std::string_view homeDir);

    // Scanning. Every operation below is called on the main queue, returns
    // at once, and delivers its callbacks on the main queue.

    /// Scans module `moduleIndex`: one background job per category (the
    /// scanner chosen by the category's type), progress reported as items
    /// are measured, showPercent with the module's running fraction, each
    /// category written back into modules() on the main queue, and `done`
    /// once after the last one. Module 3 is scanned as a whole by
    /// scanLargeAndOldFile. A module without categories is done at once.
    /// "TaggedCaches" categories go to scanTaggedCaches.
    ///
    /// The user's always-keep list (KeepList) is read once per scan, by the
    /// first job that starts, and every job of the scan walks with it
    /// (tree::KeepScope): kept items and everything below them are neither
    /// listed nor counted, in any category. A list that cannot be read, and
    /// each of its lines that cannot be used, is told to
    /// services().walkReport (to the log's standard output without one) and
    /// the scan goes on with what it could use (the cleaner then refuses to
    /// delete anything).
    static void scan(int moduleIndex, Progress progress, ShowPercent showPercent, Done done);

    /// The scanner of ordinary folder categories (runs in a background job,
    /// fills `category` in place). A partly selected category is scanned as
    /// not selected; its state flows into every location and record.
    /// Locations with a "*" are expanded now (scanLocations), and a match
    /// that is one of `taken` (listed by an earlier category of the module)
    /// is left out; a record of a match is named by its path from the home,
    /// so people tell one application's from another's. What the category
    /// excludes is neither listed nor measured.
    static void scanFolder(Category &category,
        const Progress &progress,
        const ShowPercent &showPercent,
        const tree::FileIdSet *taken = nullptr);

    /// Device backups, mail attachments and unused localizations: special
    /// category scanners, same contract as scanFolder.
    static void scaniTunes(Category &category, const Progress &progress, const ShowPercent &showPercent);
    static void scanMailAttachments(Category &category, const Progress &progress, const ShowPercent &showPercent);
    static void scanLanguage(Category &category, const Progress &progress, const ShowPercent &showPercent);
    /// A desktop Trash (its "files" and "info" folders as "Children"
    /// locations): scanned as a folder category, then each trashed item
    /// and its ".trashinfo" record become one row, named by the item's
    /// original name, dated by its deletion and sized with its record
    /// (trashedItemInfo tells where it came from); a record without an item,
    /// or an item without a record, keeps a row of its own.
    static void scanTrash(Category &category, const Progress &progress, const ShowPercent &showPercent);

    /// System junk (the kinds isSystemKind names): the category's fixed
    /// locations below services().sysRoot, and the listings of the system's
    /// tools (found in services().toolPath), read without rights. Each
    /// finding says what it is (package, dump of which program, snap and
    /// revision, runtime); what could not be read or asked goes into the
    /// category's `notes` instead of failing the scan. Same contract as
    /// scanFolder otherwise.
    static void scanSystem(Category &category, const Progress &progress, const ShowPercent &showPercent);

    /// Tagged caches: every folder below the category's location (the home
    /// folder when `url.url` is "") that a valid CACHEDIR.TAG marks as a
    /// cache and that belongs to the user (tree::findTaggedFolders), each
    /// listed and measured like a "Folder" location (one record with its
    /// entries as children). A found folder is not searched further; the
    /// search neither follows links nor enters mounts. `otherLocations`
    /// (absolute paths: the locations of the catalogue's other categories)
    /// are neither searched nor counted, and a tagged folder holding one of
    /// them is not listed, so nothing is counted twice. The scan driver
    /// passes the locations of every other category of the catalogue
    /// (read on the main queue when the scan starts). Same contract as
    /// scanFolder otherwise; showPercent reports half for the search and
    /// the rest as the folders are measured.
    static void scanTaggedCaches(Category &category,
        const Progress &progress,
        const ShowPercent &showPercent,
        const std::vector<std::string> &otherLocations);

    /// The large and old files walk over the whole category list of module 3;
    /// its showPercent increments add up to 1.0 for the whole module.
    static std::vector<Category> scanLargeAndOldFile(
        std::vector<Category> categories, const Progress &progress, const ShowPercent &showPercent);

    // Selection and cleaning.

    /// 0 for an empty list; 1 when every record is selected, 0 when none
    /// is, -1 otherwise (a partly selected record makes the parent partly selected).
    static int calculateParentState(const std::vector<FolderInfoPtr> &files);

    /// Sets a selection `state` and keeps the three levels consistent.
    /// fileIndex absent: the category only; -1: every file (and, with
    /// childrenIndex -1, every child). childrenIndex absent: the file
    /// itself; -1: every child of the file; c: that child. Main queue only.
    static void updateState(
        int state, int moduleIndex, int categoryIndex, std::optional<int> fileIndex, std::optional<int> childrenIndex);

    /// What happened to one selected item in a clean.
    struct ItemReport
    {
        /// Bytes really removed (in a dry run: that would be), counted also
        /// when the removal failed half-way.
        std::int64_t freed = 0;
        /// After a failure: bytes still there (measured again).
        std::int64_t left = 0;
        /// Nothing was there to remove: the item vanished before its turn,
        /// or an earlier record of the same clean removed it (a file listed
        /// in two bands). Not a failure.
        bool alreadyGone = false;
        /// Why the item (or part of it) is still there; set for `failed` only.
        std::optional<Error> error;
        /// The item went to the Trash instead of being deleted (in a dry
        /// run: would go); `freed` then counts what was moved there.
        bool trashed = false;
        /// Where it went in the Trash (empty unless trashed).
        std::string trashedAs;
        /// Bytes of names removed whose data stays because other names of
        /// the same files (hard links) still hold it: not in `freed`.
        std::int64_t held = 0;
        /// Why the item was refused before anything was touched (for
        /// `failed` only); None for a failure while removing.
        tree::Refusal refusal = tree::Refusal::None;
    };

    /// What a clean reports beyond the progress callbacks, and whether it only previews.
    struct CleanOptions
    {
        /// Check every selected item as a clean would (still there, still
        /// of the kind the scan saw, not protected, and everything the
        /// removal needs: permissions and flags down every folder it would
        /// empty) but delete nothing and change nothing in the catalogue.
        bool dryRun = false;
        /// An item was removed (or, in a dry run, would be). Main queue.
        std::function<void(const FolderInfo &record, const ItemReport &report)> removed;
        /// An item could not be removed, or only in part (or would be
        /// refused), with why. Main queue.
        std::function<void(const FolderInfo &record, const ItemReport &report)> failed;
        /// Move the selected items to the desktop Trash instead of deleting
        /// them (tree::moveToTrash), with every check of a deletion. Honoured
        /// for the large and old files module (3) only: the junk modules'
        /// caches and logs are always deleted. An item no trash can take is
        /// a failure and stays; it is never deleted instead.
        bool moveToTrash = false;
        /// A category with selected items was left alone because a program
        /// it names in "runningApps" runs: called once per such category
        /// with its index and an error whose message is "<name> is running"
        /// (the entry as the catalogue writes it). Its items get no other
        /// report. Main queue.
        std::function<void(int categoryIndex, const Error &why)> categorySkipped;
        /// Test seam: handed to every removal (tree::RaceHook). Null in normal runs.
        tree::RaceHook raceHook;
    };

    /// The first of the category's runningApps that runs now for the owner
    /// of the home being cleaned (its entry as written), or nullopt. Reads /proc under
    /// services().sysRoot; thread-safe. For a screen that warns before a clean.
    static std::optional<std::string> runningApp(const Category &category);

    /// Deletes what is selected in module `moduleIndex`, in order, on one
    /// background job: a selected file as a whole, the selected children of
    /// a partly selected file. Each item is reached from the folder the scan
    /// listed it from, one component at a time without following links; an
    /// item that changed kind since the scan, or lies below a folder that
    /// did, is not touched (tree::removeBelow). A trash record
    /// (".trashinfo") goes after every other item, and only once the item
    /// it describes has gone. progress(path, bytes removed) per item
    /// removed (also for a folder removed in part), showPercent after each
    /// file examined, then the deleted records are dropped from the
    /// catalogue, findex renumbered and sizes recomputed, all on the main
    /// queue and before `done`. A record that could not be deleted stays;
    /// one removed in part keeps what is left (its size measured again, its
    /// gone children dropped). "Localization" categories are never cleaned.
    ///
    /// The user's always-keep list (KeepList), read when the job starts,
    /// guards every item again: a kept item or one below a kept folder is
    /// refused, and a folder holding kept items is removed in part, the kept
    /// items and the folders above them staying. When the list exists but
    /// cannot be read, or has a line that cannot be used, nothing is
    /// deleted: every selected item fails with that reason. A category
    /// naming a program in "runningApps" that runs for the owner of the home
    /// (homeOwner) when the category's turn comes is left alone
    /// (CleanOptions::categorySkipped); the others proceed.
    static void cleanModule(int moduleIndex, Progress progress, ShowPercent showPercent, Done done);
    static void cleanModule(
        int moduleIndex, Progress progress, ShowPercent showPercent, Done done, CleanOptions options);
};

/// Whether a clean of module `moduleIndex` may move its items to the Trash
/// instead of deleting them: only the user's own large and old files may;
/// caches and logs are always deleted.
[[nodiscard]] inline bool allowsTrash(int moduleIndex)
{
    return moduleIndex == ModuleInfo::LargeAndOldFileModule;
}

} // namespace core
