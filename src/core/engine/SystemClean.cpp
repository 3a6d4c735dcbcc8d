// SPDX-License-Identifier: GPL-3.0-or-later
// Cleaning system junk: the selected records become one request to the
// privileged helper, whose answers become the clean's reports.
#include "engine/CleanJob.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "sysjunk/AdminClient.h"
#include "sysjunk/Locations.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace core::clean {

namespace {

std::string pathOf(const FolderInfo &record)
{
    std::string path = format::pathFromFileUrl(record.url()).value_or(std::string());
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

/// The name of `path` when it lies directly in `folder`; nullopt otherwise.
std::optional<std::string> nameIn(const std::string &path, const std::string &folder)
{
    if (!path.starts_with(folder + "/")) {
        return std::nullopt;
    }
    std::string name = path.substr(folder.size() + 1);
    if (name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

std::optional<sysjunk::AdminItem> candidate(CategoryKind kind, const std::string &path, const std::string &root)
{
    using sysjunk::AdminAction;
    using sysjunk::under;
    auto in = [&](std::string_view location, AdminAction action) -> std::optional<sysjunk::AdminItem> {
        if (auto name = nameIn(path, under(root, location))) {
            return sysjunk::AdminItem{ action, std::move(*name) };
        }
        return std::nullopt;
    };
    switch (kind) {
    case CategoryKind::AptCache:
        if (auto item = in(sysjunk::AptArchives, AdminAction::AptArchive)) {
            return item;
        }
        return in(sysjunk::AptPartial, AdminAction::AptPartial);
    case CategoryKind::CrashDumps:
        if (auto item = in(sysjunk::CrashReports, AdminAction::CrashReport)) {
            return item;
        }
        return in(sysjunk::Coredumps, AdminAction::Coredump);
    case CategoryKind::OldTemporaryFiles:
        return in(sysjunk::VarTmp, AdminAction::OldTemporary);
    case CategoryKind::Journal:
        if (path == under(root, sysjunk::JournalFolder)) {
            return sysjunk::AdminItem{ AdminAction::JournalVacuum, {} };
        }
        return std::nullopt;
    case CategoryKind::SnapRevisions:
        if (auto item = in(sysjunk::SnapFiles, AdminAction::SnapRevision); item && item->id.ends_with(".snap")) {
            item->id.resize(item->id.size() - 5);
            return item;
        }
        return std::nullopt;
    case CategoryKind::FlatpakRuntimes: {
        const std::string runtimes = under(root, sysjunk::FlatpakRuntimes) + "/";
        if (path.starts_with(runtimes)) {
            return sysjunk::AdminItem{ AdminAction::FlatpakRuntime, path.substr(runtimes.size()) };
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

ModuleInfo::ItemReport refusedReport(const std::string &path, std::string message, tree::Refusal refusal)
{
    ModuleInfo::ItemReport report;
    report.error = Error{ EPERM, path, std::move(message) };
    report.refusal = refusal;
    return report;
}

} // namespace

std::optional<sysjunk::AdminItem> adminItemFor(CategoryKind kind, const FolderInfo &record, const std::string &root)
{
    const std::optional<sysjunk::AdminItem> item = candidate(kind, pathOf(record), root);
    if (!item) {
        return std::nullopt;
    }
    // Checked here as the helper checks it: a word it would refuse is never sent.
    Result<sysjunk::AdminItem> checked = sysjunk::parseAdminWord(item->word());
    if (!checked || checked.value() != *item) {
        return std::nullopt;
    }
    return item;
}

void cleanSystemItems(const Category &category,
    const std::vector<CleanItem> &items,
    const ModuleInfo::CleanOptions &options,
    const tree::KeptItems *kept,
    const CleanEvents &events,
    std::vector<RecordChange> &changes)
{
    const std::string root = platform::services().sysRoot;
    auto fail = [&](const CleanItem &where, const ModuleInfo::ItemReport &report) {
        if (events.failed) {
            events.failed(where, report);
        }
    };
    auto remove = [&](const CleanItem &where, const ModuleInfo::ItemReport &report) {
        if (events.progress) {
            events.progress(pathOf(*where.item), report.freed);
        }
        if (events.removed) {
            events.removed(where, report);
        }
        changes.push_back(RecordChange{ where, true, 0, {} });
    };

    // The words to send, each with the records that asked for it.
    std::vector<std::string> words;
    std::map<std::string, std::vector<const CleanItem *>> asking;
    for (const CleanItem &where : items) {
        const std::string path = pathOf(*where.item);
        const std::optional<sysjunk::AdminItem> item = adminItemFor(category.kind, *where.item, root);
        if (!item) {
            fail(where,
                refusedReport(path,
                    "not where " + category.title + " lies, or not a name spruce-admin takes; not deleted",
                    tree::Refusal::Invalid));
            continue;
        }
        if (kept != nullptr && kept->covers(path)) {
            fail(where, refusedReport(path, "on the always-keep list; not deleted", tree::Refusal::Kept));
            continue;
        }
        if (options.dryRun) {
            ModuleInfo::ItemReport report;
            report.freed = where.item->size;
            if (events.progress) {
                events.progress(path, report.freed);
            }
            if (events.removed) {
                events.removed(where, report);
            }
            continue;
        }
        auto &records = asking[item->word()];
        if (records.empty()) {
            words.push_back(item->word());
        }
        records.push_back(&where);
    }
    if (words.empty()) {
        return;
    }

    const sysjunk::AdminAnswer answer = sysjunk::callAdmin(words);
    for (const sysjunk::AdminReport &report : answer.reports) {
        const auto found = asking.find(report.word);
        if (found == asking.end()) {
            continue;
        }
        for (const CleanItem *where : found->second) {
            const std::string path = pathOf(*where->item);
            ModuleInfo::ItemReport item;
            item.freed = report.freed;
            switch (report.outcome) {
            case sysjunk::AdminReport::Outcome::Removed:
                remove(*where, item);
                break;
            case sysjunk::AdminReport::Outcome::AlreadyGone:
                item.alreadyGone = true;
                remove(*where, item);
                break;
            case sysjunk::AdminReport::Outcome::Refused:
                // The scan lists only what the helper takes: what it refuses now changed since.
                fail(*where, refusedReport(path, report.reason, tree::Refusal::ChangedSinceScan));
                break;
            case sysjunk::AdminReport::Outcome::Failed:
                item.error = Error{ EIO, path, report.reason };
                item.left = std::max<std::int64_t>(where->item->size - report.freed, 0);
                if (report.freed > 0) {
                    if (events.progress) {
                        events.progress(path, report.freed);
                    }
                    changes.push_back(RecordChange{ *where, false, item.left, {} });
                }
                fail(*where, item);
                break;
            }
        }
        asking.erase(found);
    }
    // Whatever got no answer is still there, as far as anyone can tell.
    for (const auto &[word, records] : asking) {
        for (const CleanItem *where : records) {
            ModuleInfo::ItemReport item;
            item.error = answer.error
                ? Error{ answer.error->code, pathOf(*where->item), answer.error->message }
                : Error{ EIO, pathOf(*where->item), "spruce-admin gave no answer for it; not deleted" };
            fail(*where, item);
        }
    }
}

} // namespace core::clean
