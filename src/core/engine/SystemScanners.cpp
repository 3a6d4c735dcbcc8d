// SPDX-License-Identifier: GPL-3.0-or-later
// The scanners of system junk: package cache, journal, crash dumps, Snap
// revisions, Flatpak runtimes and old temporary files, all below the system
// root and all read without rights where the system allows it.
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "format/Format.h"
#include "platform/Services.h"
#include "sysjunk/Locations.h"
#include "sysjunk/ToolOutput.h"
#include "sysjunk/Tools.h"
#include "tree/DirectoryIo.h"
#include "tree/TreeSize.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace core {

namespace {

/// One entry of a system folder as the scan saw it.
struct Entry
{
    std::string name;
    std::string path;
    struct stat st
    {
    };
};

enum class Listed {
    Absent, // the folder is not there: nothing to find
    Read,
    Unreadable, // said in the category's notes
};

/// The entries of the folder at `root`/`location`, links and all, in name
/// order. An unreadable folder is said in `notes` with why.
Listed listFolder(const std::string &folder, std::vector<Entry> &entries, std::vector<std::string> &notes)
{
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return Listed::Absent;
        }
        notes.push_back(folder + " cannot be read (" + std::system_category().message(errno) + "): not counted");
        return Listed::Unreadable;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        Entry item{ std::string(name), folder + "/" + entry->d_name, {} };
        if (::fstatat(::dirfd(dir), entry->d_name, &item.st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        // A mount point (a bind mount of the same disk included) is another file system: never listed.
        tree::detail::EntryStat seen;
        if (tree::detail::statEntry(::dirfd(dir), entry->d_name, seen) != 0 || seen.mountRoot) {
            tree::detail::reportOtherFileSystem(item.path);
            continue;
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.name < b.name;
    });
    return Listed::Read;
}

FolderInfoPtr makeRecord(const std::string &name,
    const std::string &path,
    bool isFolder,
    std::int64_t size,
    std::int64_t modified,
    const std::shared_ptr<const tree::Anchor> &anchor)
{
    auto record = std::make_shared<FolderInfo>(0,
        name,
        IconRef{ isFolder ? IconRef::Kind::Folder : IconRef::Kind::File, {} },
        size,
        Rgba{},
        isFolder,
        Timestamp{ modified, 0 },
        format::fileUrlFromPath(path, isFolder),
        false,
        std::vector<FolderInfoPtr>{},
        false,
        0);
    record->setAnchor(anchor);
    return record;
}

std::shared_ptr<const tree::Anchor> anchorOf(const std::string &folder)
{
    if (auto anchor = tree::anchorAt(folder)) {
        return std::make_shared<const tree::Anchor>(std::move(*anchor));
    }
    return nullptr;
}

/// "%3a" and the like as apt writes them in file names, decoded for showing.
std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '%' && k + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[k + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[k + 2]))) {
            unsigned value = 0;
            std::from_chars(text.data() + k + 1, text.data() + k + 3, value, 16);
            out += static_cast<char>(value);
            k += 2;
        } else {
            out += text[k];
        }
    }
    return out;
}

/// "bash_5.2.15-2_amd64.deb" as "bash 5.2.15-2 (amd64), package file".
std::string describePackage(std::string_view file)
{
    std::string_view stem = file.substr(0, file.rfind(".deb"));
    const std::size_t first = stem.find('_');
    const std::size_t last = stem.rfind('_');
    if (first == std::string_view::npos || first == last) {
        return std::string(file) + ", package file";
    }
    return std::string(stem.substr(0, first)) + " " + percentDecoded(stem.substr(first + 1, last - first - 1)) + " ("
        + std::string(stem.substr(last + 1)) + "), package file";
}

/// "core.firefox.1000.<boot id>.4242.1700000000000000.zst" as
/// "Core dump of firefox (user 1000, process 4242)".
std::string describeCoredump(std::string_view file)
{
    std::vector<std::string_view> parts;
    std::string_view rest = file.substr(5);
    while (!rest.empty()) {
        const std::size_t dot = rest.find('.');
        parts.push_back(rest.substr(0, dot));
        rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    }
    if (parts.size() < 4) {
        return "Core dump " + std::string(file);
    }
    return "Core dump of " + std::string(parts[0]) + " (user " + std::string(parts[1]) + ", process "
        + std::string(parts[3]) + ")";
}

/// "_usr_bin_gedit.1000.crash" as "Crash report of /usr/bin/gedit (user 1000)".
std::string describeCrashReport(std::string_view file)
{
    const std::size_t suffix = file.rfind('.');
    const std::string_view kind = file.substr(suffix + 1);
    std::string_view stem = file.substr(0, suffix);
    std::string user;
    if (const std::size_t dot = stem.rfind('.'); dot != std::string_view::npos) {
        user = " (user " + std::string(stem.substr(dot + 1)) + ")";
        stem = stem.substr(0, dot);
    }
    std::string program(stem);
    std::replace(program.begin(), program.end(), '_', '/');
    if (kind == "crash") {
        return "Crash report of " + program + user;
    }
    return "Upload note of the crash report of " + program + user;
}

/// "202301311205" as "Kernel crash dump of 2023-01-31 12:05".
std::string describeKdump(std::string_view folder)
{
    return "Kernel crash dump of " + std::string(folder.substr(0, 4)) + "-" + std::string(folder.substr(4, 2)) + "-"
        + std::string(folder.substr(6, 2)) + " " + std::string(folder.substr(8, 2)) + ":"
        + std::string(folder.substr(10, 2));
}

/// Adds a record for every entry of `folder` that `accept` takes.
void listInto(Category &category,
    const std::string &folder,
    const std::function<std::optional<std::string>(const Entry &)> &describe,
    const Progress &progress)
{
    std::vector<Entry> entries;
    if (listFolder(folder, entries, category.notes) != Listed::Read) {
        return;
    }
    const auto anchor = anchorOf(folder);
    for (const Entry &entry : entries) {
        const std::optional<std::string> name = describe(entry);
        if (!name) {
            continue;
        }
        const bool isFolder = S_ISDIR(entry.st.st_mode);
        const std::int64_t size = isFolder ? tree::treeSize(entry.path) : entry.st.st_size;
        category.files.push_back(makeRecord(*name, entry.path, isFolder, size, entry.st.st_mtim.tv_sec, anchor));
        postProgress(progress, entry.path, size);
    }
}

std::optional<std::string> runListing(const std::string &tool,
    const std::vector<std::string> &args,
    std::vector<std::string> &notes,
    bool acceptFailure = false)
{
    const std::vector<std::string> &search =
        platform::services().toolPath.empty() ? sysjunk::defaultToolPath() : platform::services().toolPath;
    const std::optional<std::string> path = sysjunk::findTool(search, tool);
    if (!path) {
        return std::nullopt; // not installed: nothing of it to find
    }
    Result<sysjunk::ToolRun> run = sysjunk::runTool(*path, args);
    std::string command = tool;
    for (const std::string &arg : args) {
        command += " " + arg;
    }
    if (!run) {
        notes.push_back(command + " could not be started (" + run.error().message + ")");
        return std::nullopt;
    }
    if (!run.value().ok() && !acceptFailure) {
        notes.push_back(command + " failed: " + run.value().lastLine());
        return std::nullopt;
    }
    return std::move(run.value().out);
}

void scanAptCache(Category &category, const std::string &root, const Progress &progress)
{
    listInto(
        category,
        sysjunk::under(root, sysjunk::AptArchives),
        [](const Entry &entry) -> std::optional<std::string> {
            if (!S_ISREG(entry.st.st_mode) || !sysjunk::isAptArchiveName(entry.name)) {
                return std::nullopt;
            }
            return describePackage(entry.name);
        },
        progress);
    listInto(
        category,
        sysjunk::under(root, sysjunk::AptPartial),
        [](const Entry &entry) -> std::optional<std::string> {
            if (!S_ISREG(entry.st.st_mode) || !sysjunk::isAptPartialName(entry.name)) {
                return std::nullopt;
            }
            return entry.name + " (unfinished download)";
        },
        progress);
}

void scanCrashDumps(Category &category, const std::string &root, const Progress &progress)
{
    listInto(
        category,
        sysjunk::under(root, sysjunk::CrashReports),
        [](const Entry &entry) -> std::optional<std::string> {
            if (S_ISREG(entry.st.st_mode) && sysjunk::isCrashReportName(entry.name)) {
                return describeCrashReport(entry.name);
            }
            if (S_ISDIR(entry.st.st_mode) && sysjunk::isKdumpFolderName(entry.name)) {
                return describeKdump(entry.name);
            }
            return std::nullopt;
        },
        progress);
    listInto(
        category,
        sysjunk::under(root, sysjunk::Coredumps),
        [](const Entry &entry) -> std::optional<std::string> {
            if (!S_ISREG(entry.st.st_mode) || !sysjunk::isCoredumpName(entry.name)) {
                return std::nullopt;
            }
            return describeCoredump(entry.name);
        },
        progress);
}

void scanOldTemporaryFiles(Category &category, const std::string &root, const Progress &progress)
{
    const std::int64_t now = platform::services().now();
    std::size_t unknownAge = 0;
    std::string firstUnknown;
    listInto(
        category,
        sysjunk::under(root, sysjunk::VarTmp),
        [&](const Entry &entry) -> std::optional<std::string> {
            if (!sysjunk::isVarTmpCandidate(entry.name)) {
                return std::nullopt;
            }
            const Result<sysjunk::Newest> newest = sysjunk::newestChange(entry.path);
            if (!newest || !newest.value().complete) {
                // What cannot be read through may hold something recent: never listed as old.
                if (unknownAge++ == 0) {
                    firstUnknown = entry.path;
                }
                return std::nullopt;
            }
            if (now - newest.value().seconds < sysjunk::VarTmpAgeSeconds) {
                return std::nullopt;
            }
            return entry.name + " (unchanged for " + std::to_string((now - newest.value().seconds) / 86'400) + " days)";
        },
        progress);
    if (unknownAge > 0) {
        category.notes.push_back(std::to_string(unknownAge) + (unknownAge == 1 ? " entry" : " entries") + " of "
            + sysjunk::under(root, sysjunk::VarTmp) + " could not be read through, so "
            + (unknownAge == 1 ? "its" : "their") + " age is unknown (first: " + firstUnknown + ")");
    }
}

void scanJournal(Category &category, const std::string &root, const Progress &progress)
{
    const std::string folder = sysjunk::under(root, sysjunk::JournalFolder);
    const Result<sysjunk::JournalUse> use = sysjunk::archivedJournals(root);
    bool partial = !use;
    if (!use) {
        category.notes.push_back(folder + " cannot be read (" + use.error().message + "): not counted");
    } else {
        for (const std::string &unreadable : use.value().unreadable) {
            category.notes.push_back(unreadable + " cannot be read: not counted");
            partial = true;
        }
        if (use.value().files > 0) {
            const std::size_t files = use.value().files;
            category.files.push_back(makeRecord("Archived journal files (" + std::to_string(files) + ")",
                folder,
                true,
                use.value().bytes,
                use.value().newest,
                anchorOf(folder)));
            postProgress(progress, folder, use.value().bytes);
        }
    }
    if (partial) {
        // What journald itself reports for the journals this user may read.
        if (const auto out = runListing("journalctl", { "--disk-usage" }, category.notes)) {
            if (const auto bytes = sysjunk::journalDiskUsage(*out)) {
                category.notes.push_back(
                    "journalctl reports " + format::formatByteCount(*bytes) + " in the journals this user may read");
            }
        }
    }
}

void scanSnapRevisions(Category &category, const std::string &root, const Progress &progress)
{
    const std::optional<std::string> listing = runListing("snap", { "list", "--all" }, category.notes);
    if (!listing) {
        return;
    }
    const std::string folder = sysjunk::under(root, sysjunk::SnapFiles);
    const auto anchor = anchorOf(folder);
    for (const sysjunk::SnapRevision &revision : sysjunk::disabledSnaps(*listing)) {
        const std::string path = folder + "/" + revision.id() + ".snap";
        struct stat st
        {
        };
        std::int64_t size = 0;
        std::int64_t modified = Timestamp::DistantPastSeconds;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            size = st.st_size;
            modified = st.st_mtim.tv_sec;
        } else {
            category.notes.push_back(path + " cannot be measured: " + revision.name + " revision " + revision.revision
                + " counted as 0 bytes");
        }
        category.files.push_back(makeRecord(
            revision.name + " revision " + revision.revision + " (disabled)", path, false, size, modified, anchor));
        postProgress(progress, path, size);
    }
}

void scanFlatpakRuntimes(Category &category, const std::string &root, const Progress &progress)
{
    // Flatpak lists what it would remove and asks whether to go on; asked
    // without a terminal it answers no itself, so nothing is removed here.
    const std::optional<std::string> listing =
        runListing("flatpak", { "uninstall", "--unused", "--system" }, category.notes, true);
    if (!listing) {
        return;
    }
    const std::string runtimes = sysjunk::under(root, sysjunk::FlatpakRuntimes);
    for (const sysjunk::UnusedRuntime &unused : sysjunk::unusedRuntimes(*listing)) {
        // The listing leaves the architecture out: every one installed for that branch is the runtime's.
        std::vector<Entry> arches;
        std::vector<std::string> ignored;
        listFolder(runtimes + "/" + unused.id, arches, ignored);
        bool found = false;
        for (const Entry &arch : arches) {
            const std::string path = arch.path + "/" + unused.branch;
            struct stat st
            {
            };
            if (!sysjunk::isFlatpakArch(arch.name) || !S_ISDIR(arch.st.st_mode) || ::lstat(path.c_str(), &st) != 0
                || !S_ISDIR(st.st_mode)) {
                continue;
            }
            found = true;
            const std::int64_t size = tree::treeSize(path);
            category.files.push_back(
                makeRecord(unused.id + " " + unused.branch + " (" + arch.name + "), unused runtime",
                    path,
                    true,
                    size,
                    st.st_mtim.tv_sec,
                    anchorOf(arch.path)));
            postProgress(progress, path, size);
        }
        if (!found) {
            category.notes.push_back("the unused runtime " + unused.id + " " + unused.branch + " is not found below "
                + runtimes + ": not listed");
        }
    }
}

} // namespace

void ModuleInfo::scanSystem(Category &category, const Progress &progress, const ShowPercent &showPercent)
{
    // Whatever a previous scan found is replaced; records start not selected.
    category.files.clear();
    category.notes.clear();
    category.size = 0;
    category.state = 0;
    const std::string root = platform::services().sysRoot;
    switch (category.kind) {
    case CategoryKind::AptCache:
        scanAptCache(category, root, progress);
        break;
    case CategoryKind::Journal:
        scanJournal(category, root, progress);
        break;
    case CategoryKind::CrashDumps:
        scanCrashDumps(category, root, progress);
        break;
    case CategoryKind::SnapRevisions:
        scanSnapRevisions(category, root, progress);
        break;
    case CategoryKind::FlatpakRuntimes:
        scanFlatpakRuntimes(category, root, progress);
        break;
    case CategoryKind::OldTemporaryFiles:
        scanOldTemporaryFiles(category, root, progress);
        break;
    default:
        break;
    }
    for (std::size_t k = 0; k < category.files.size(); ++k) {
        category.files[k]->findex = static_cast<std::int64_t>(k);
        category.size += category.files[k]->size;
    }
    postShowPercent(showPercent, 1.0F);
}

} // namespace core
