// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysjunk/AdminHelper.h"

#include "sysjunk/Locations.h"
#include "sysjunk/ToolOutput.h"
#include "sysjunk/Tools.h"
#include "tree/Removal.h"
#include "tree/TreeSize.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace core::sysjunk {

namespace {

AdminReport report(const AdminItem &item, AdminReport::Outcome outcome, std::int64_t freed = 0, std::string reason = {})
{
    return AdminReport{ outcome, item.word(), freed, std::move(reason) };
}

AdminReport refused(const AdminItem &item, std::string reason)
{
    return report(item, AdminReport::Outcome::Refused, 0, std::move(reason));
}

std::string_view locationOf(AdminAction action)
{
    switch (action) {
    case AdminAction::AptArchive:
        return AptArchives;
    case AdminAction::AptPartial:
        return AptPartial;
    case AdminAction::CrashReport:
        return CrashReports;
    case AdminAction::Coredump:
        return Coredumps;
    case AdminAction::OldTemporary:
        return VarTmp;
    default:
        return {};
    }
}

/// The folder `location` below the root, reached one component at a time
/// without following a link: its anchor, or why it cannot be used
/// (ENOENT: it is not there).
Result<tree::Anchor> openLocation(const std::string &root, std::string_view location)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Error::fromErrno(errno, root);
    }
    std::string path = root;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    while (!location.empty()) {
        const std::size_t slash = location.find('/');
        const std::string component(location.substr(0, slash));
        location = slash == std::string_view::npos ? std::string_view() : location.substr(slash + 1);
        path += (path == "/" ? "" : "/") + component;
        const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(fd);
        if (next < 0) {
            // A link where a system folder should be: someone planted it.
            if (error == ELOOP || error == ENOTDIR) {
                return Error{ error, path, path + " is not a folder (a link or a file); nothing removed there" };
            }
            return Error::fromErrno(error, path);
        }
        fd = next;
    }
    struct stat st
    {
    };
    const int statted = ::fstat(fd, &st);
    const int error = errno;
    ::close(fd);
    if (statted != 0) {
        return Error::fromErrno(error, path);
    }
    return tree::Anchor{ path, st.st_dev, st.st_ino };
}

const std::vector<std::string> &searchPath(const AdminContext &context)
{
    return context.toolPath.empty() ? defaultToolPath() : context.toolPath;
}

/// Runs a tool of the system with a fixed argument list; Error when it is
/// missing or could not be started.
Result<ToolRun> runSystemTool(const AdminContext &context, std::string_view name, const std::vector<std::string> &args)
{
    const std::optional<std::string> path = findTool(searchPath(context), name);
    if (!path) {
        return Error{ ENOENT, std::string(name), std::string(name) + " is not installed" };
    }
    return runTool(*path, args);
}

AdminReport removeFile(const AdminItem &item, const AdminContext &context)
{
    const Result<tree::Anchor> anchor = openLocation(context.root, locationOf(item.action));
    if (!anchor) {
        if (anchor.error().code == ENOENT) {
            return report(item, AdminReport::Outcome::AlreadyGone);
        }
        return refused(item, anchor.error().message);
    }
    const std::string path = anchor.value().path + "/" + item.id;
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return report(item, AdminReport::Outcome::AlreadyGone);
        }
        return refused(item, path + ": " + std::system_category().message(errno));
    }
    tree::RemovalRequest request;
    request.expected = tree::ItemKind::Other;
    switch (item.action) {
    case AdminAction::AptArchive:
    case AdminAction::AptPartial:
    case AdminAction::Coredump:
        if (!S_ISREG(st.st_mode)) {
            return refused(item, path + " is not a regular file; not removed");
        }
        break;
    case AdminAction::CrashReport:
        if (isKdumpFolderName(item.id)) {
            if (!S_ISDIR(st.st_mode)) {
                return refused(item, path + " is not a folder; not removed");
            }
            request.expected = tree::ItemKind::Directory;
        } else if (!S_ISREG(st.st_mode)) {
            return refused(item, path + " is not a regular file; not removed");
        }
        break;
    case AdminAction::OldTemporary: {
        request.expected = S_ISDIR(st.st_mode) ? tree::ItemKind::Directory
            : S_ISLNK(st.st_mode)              ? tree::ItemKind::Symlink
                                               : tree::ItemKind::Other;
        const Result<Newest> newest = newestChange(path);
        if (!newest || !newest.value().complete) {
            return refused(item, path + " cannot be read through, so its age is unknown; not removed");
        }
        const std::int64_t age = context.now - newest.value().seconds;
        if (age < VarTmpAgeSeconds) {
            return refused(item,
                path + " changed " + std::to_string(std::max<std::int64_t>(age, 0) / 86'400)
                    + " days ago, less than 30; not removed");
        }
        break;
    }
    default:
        return refused(item, "not a file action");
    }
    const tree::RemovalOutcome outcome = tree::removeBelow(anchor.value(), item.id, request);
    if (outcome.alreadyGone) {
        return report(item, AdminReport::Outcome::AlreadyGone);
    }
    if (outcome.ok()) {
        return report(item, AdminReport::Outcome::Removed, outcome.freed);
    }
    const std::string why = outcome.error->message.empty() ? outcome.error->path : outcome.error->message;
    const std::string reason = outcome.error->path.empty() || why.find(outcome.error->path) != std::string::npos
        ? why
        : outcome.error->path + ": " + why;
    if (outcome.refused()) {
        return refused(item, reason);
    }
    return report(item, AdminReport::Outcome::Failed, outcome.freed, reason);
}

AdminReport vacuumJournal(const AdminItem &item, const AdminContext &context)
{
    const Result<JournalUse> before = archivedJournals(context.root);
    if (!before) {
        return refused(item, before.error().path + ": " + before.error().message);
    }
    if (before.value().files == 0) {
        return report(item, AdminReport::Outcome::AlreadyGone);
    }
    // Archived files only: the file being written stays, with the latest messages.
    std::vector<std::string> args{ "--vacuum-time=1s" };
    if (context.root != "/") {
        args.push_back("--root=" + context.root);
    }
    const Result<ToolRun> run = runSystemTool(context, "journalctl", args);
    if (!run) {
        return report(item, AdminReport::Outcome::Failed, 0, run.error().message);
    }
    const Result<JournalUse> after = archivedJournals(context.root);
    const std::int64_t freed = after ? std::max<std::int64_t>(before.value().bytes - after.value().bytes, 0) : 0;
    if (!run.value().ok()) {
        return report(item, AdminReport::Outcome::Failed, freed, "journalctl failed: " + run.value().lastLine());
    }
    if (after && after.value().files > 0) {
        return report(item,
            AdminReport::Outcome::Failed,
            freed,
            std::to_string(after.value().files) + " archived journal files are left");
    }
    return report(item, AdminReport::Outcome::Removed, freed);
}

AdminReport removeSnapRevision(const AdminItem &item, const AdminContext &context)
{
    const std::optional<SnapRevision> revision = parseSnapRevision(item.id);
    if (!revision) {
        return refused(item, "not a snap name and revision");
    }
    const Result<ToolRun> listing = runSystemTool(context, "snap", { "list", "--all" });
    if (!listing || !listing.value().ok()) {
        return refused(
            item, "snap list --all failed: " + (listing ? listing.value().lastLine() : listing.error().message));
    }
    const std::vector<SnapRevision> disabled = disabledSnaps(listing.value().out);
    if (std::find(disabled.begin(), disabled.end(), *revision) == disabled.end()) {
        return refused(item, revision->name + " revision " + revision->revision + " is not a disabled revision");
    }
    const std::string file = under(context.root, SnapFiles) + "/" + revision->id() + ".snap";
    struct stat st
    {
    };
    const std::int64_t size = ::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
    const Result<ToolRun> run =
        runSystemTool(context, "snap", { "remove", "--revision=" + revision->revision, revision->name });
    const bool gone = ::lstat(file.c_str(), &st) != 0 && errno == ENOENT;
    const std::int64_t freed = gone ? size : 0;
    if (!run || !run.value().ok()) {
        return report(item,
            AdminReport::Outcome::Failed,
            freed,
            "snap remove failed: " + (run ? run.value().lastLine() : run.error().message));
    }
    return report(item, AdminReport::Outcome::Removed, freed);
}

AdminReport removeFlatpakRuntime(const AdminItem &item, const AdminContext &context)
{
    const std::optional<FlatpakRef> ref = parseFlatpakRef(item.id);
    if (!ref) {
        return refused(item, "not a runtime ref");
    }
    // Asked without a terminal, flatpak lists what it would remove and answers no itself.
    const Result<ToolRun> listing = runSystemTool(context, "flatpak", { "uninstall", "--unused", "--system" });
    if (!listing) {
        return refused(item, listing.error().message);
    }
    const std::vector<UnusedRuntime> unused = unusedRuntimes(listing.value().out);
    if (std::find(unused.begin(), unused.end(), UnusedRuntime{ ref->id, ref->branch }) == unused.end()) {
        return refused(item, ref->id + " " + ref->branch + " is not an unused runtime");
    }
    const std::string folder = under(context.root, FlatpakRuntimes) + "/" + ref->text();
    struct stat st
    {
    };
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return report(item, AdminReport::Outcome::AlreadyGone);
    }
    const std::int64_t size = tree::treeSize(folder);
    const Result<ToolRun> run =
        runSystemTool(context, "flatpak", { "uninstall", "--system", "--noninteractive", "runtime/" + ref->text() });
    const bool gone = ::lstat(folder.c_str(), &st) != 0 && errno == ENOENT;
    const std::int64_t freed = gone ? size : 0;
    if (!run || !run.value().ok()) {
        return report(item,
            AdminReport::Outcome::Failed,
            freed,
            "flatpak uninstall failed: " + (run ? run.value().lastLine() : run.error().message));
    }
    return report(item, AdminReport::Outcome::Removed, freed);
}

} // namespace

AdminReport performAdminItem(const AdminItem &item, const AdminContext &context)
{
    switch (item.action) {
    case AdminAction::AptArchive:
    case AdminAction::AptPartial:
    case AdminAction::CrashReport:
    case AdminAction::Coredump:
    case AdminAction::OldTemporary:
        return removeFile(item, context);
    case AdminAction::JournalVacuum:
        return vacuumJournal(item, context);
    case AdminAction::SnapRevision:
        return removeSnapRevision(item, context);
    case AdminAction::FlatpakRuntime:
        return removeFlatpakRuntime(item, context);
    }
    return refused(item, "unknown action");
}

} // namespace core::sysjunk
