// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// What the unprivileged front ends and the privileged helper (spruce-admin)
/// say to each other. A request is a list of words on the helper's command
/// line, each an action's name and, where the action needs one, an
/// identifier ("apt-archive:bash_5.2_amd64.deb"); never a path. The helper
/// answers with one report line per word on its standard output. Pure.
namespace core::sysjunk {

enum class AdminAction {
    AptArchive, // a package file in the apt cache, by file name
    AptPartial, // an unfinished download in the apt cache's partial/, by file name
    CrashReport, // an entry of /var/crash, by name
    Coredump, // a dump of /var/lib/systemd/coredump, by file name
    OldTemporary, // an entry of /var/tmp unchanged for 30 days, by name
    JournalVacuum, // the journal's archived files, through journalctl; no identifier
    SnapRevision, // a disabled snap revision, "NAME_REVISION", through snap
    FlatpakRuntime, // an unused runtime, "ID/ARCH/BRANCH", through flatpak
};

[[nodiscard]] std::string_view actionName(AdminAction action);

/// One word of a request.
struct AdminItem
{
    AdminAction action = AdminAction::AptArchive;
    std::string id; // empty for JournalVacuum

    /// "action:id", or "action" without an identifier.
    [[nodiscard]] std::string word() const;
    bool operator==(const AdminItem &) const = default;
};

/// Reads one request word and checks its identifier's form for the action
/// (a plain name of the action's kind, a snap revision, a runtime ref): an
/// unknown action, a path, "..", a name of another kind, or a missing or
/// extra identifier is an Error whose message says why in one line. Whether
/// the item is there and may go is for the helper to check on the spot.
[[nodiscard]] Result<AdminItem> parseAdminWord(std::string_view word);

/// What the helper did with one item.
struct AdminReport
{
    enum class Outcome {
        Removed,
        AlreadyGone, // not there (any more): nothing to do, not a failure
        Refused, // not taken: not of its kind, not disabled, not unused, too recent...
        Failed, // taken, and removing it failed (in part, when freed > 0)
    };
    Outcome outcome = Outcome::Failed;
    std::string word; // the request word it answers
    std::int64_t freed = 0; // bytes really given back
    std::string reason; // why not (Refused, Failed); one line

    bool operator==(const AdminReport &) const = default;
};

/// "removed WORD FREED", "gone WORD 0", "refused WORD 0 REASON",
/// "failed WORD FREED REASON": one line, without its newline. Words hold
/// no blanks (parseAdminWord refuses them); line breaks in a reason are
/// turned into blanks.
[[nodiscard]] std::string formatReport(const AdminReport &report);
/// The report a line holds; nullopt for any other line.
[[nodiscard]] std::optional<AdminReport> parseReport(std::string_view line);

/// The helper's exit codes.
enum AdminExit : int {
    AdminOk = 0, // every item went (or was already gone)
    AdminItemsFailed = 1, // some item was refused or failed; each has its report line
    AdminMalformed = 2, // the request was refused whole: nothing was touched
    AdminNotPermitted = 3, // not started by root or through pkexec, or a test option through pkexec
};

} // namespace core::sysjunk
