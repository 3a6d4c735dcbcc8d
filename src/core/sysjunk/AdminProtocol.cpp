// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysjunk/AdminProtocol.h"

#include "sysjunk/Locations.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <utility>

namespace core::sysjunk {

namespace {

constexpr std::array<std::pair<AdminAction, std::string_view>, 8> Names{ {
    { AdminAction::AptArchive, "apt-archive" },
    { AdminAction::AptPartial, "apt-partial" },
    { AdminAction::CrashReport, "crash-report" },
    { AdminAction::Coredump, "coredump" },
    { AdminAction::OldTemporary, "var-tmp" },
    { AdminAction::JournalVacuum, "journal-vacuum" },
    { AdminAction::SnapRevision, "snap-revision" },
    { AdminAction::FlatpakRuntime, "flatpak-runtime" },
} };

constexpr std::array<std::pair<AdminReport::Outcome, std::string_view>, 4> OutcomeNames{ {
    { AdminReport::Outcome::Removed, "removed" },
    { AdminReport::Outcome::AlreadyGone, "gone" },
    { AdminReport::Outcome::Refused, "refused" },
    { AdminReport::Outcome::Failed, "failed" },
} };

Error refusal(std::string message)
{
    return Error{ EINVAL, std::string(), std::move(message) };
}

/// Why `id` is not an identifier of `action`; empty when it is one.
std::string whyNot(AdminAction action, std::string_view id)
{
    const bool wantsName = action != AdminAction::JournalVacuum && action != AdminAction::SnapRevision
        && action != AdminAction::FlatpakRuntime;
    if (wantsName) {
        if (id.find('/') != std::string_view::npos) {
            return "a file name is wanted, not a path";
        }
        if (!isPlainName(id)) {
            return "not a file name";
        }
    }
    switch (action) {
    case AdminAction::AptArchive:
        return isAptArchiveName(id) ? "" : "not the name of a package file (*.deb)";
    case AdminAction::AptPartial:
        return isAptPartialName(id) ? "" : "not the name of a package download (*.deb, *.deb.FAILED)";
    case AdminAction::CrashReport:
        return isCrashReportName(id) || isKdumpFolderName(id) ? "" : "not the name of a crash report or kernel dump";
    case AdminAction::Coredump:
        return isCoredumpName(id) ? "" : "not the name of a core dump (core.*)";
    case AdminAction::OldTemporary:
        return isVarTmpCandidate(id) ? "" : "not an entry of /var/tmp that may be judged by age";
    case AdminAction::JournalVacuum:
        return id.empty() ? "" : "takes no identifier";
    case AdminAction::SnapRevision:
        return parseSnapRevision(id) ? "" : "not a snap name and revision (NAME_REVISION)";
    case AdminAction::FlatpakRuntime:
        return parseFlatpakRef(id) ? "" : "not a runtime ref (ID/ARCH/BRANCH)";
    }
    return "unknown action";
}

} // namespace

std::string_view actionName(AdminAction action)
{
    for (const auto &[value, name] : Names) {
        if (value == action) {
            return name;
        }
    }
    return {};
}

std::string AdminItem::word() const
{
    std::string word(actionName(action));
    if (!id.empty()) {
        word += ':';
        word += id;
    }
    return word;
}

Result<AdminItem> parseAdminWord(std::string_view word)
{
    const std::size_t colon = word.find(':');
    const std::string_view name = word.substr(0, colon);
    const std::string_view id = colon == std::string_view::npos ? std::string_view() : word.substr(colon + 1);
    for (const auto &[action, known] : Names) {
        if (known != name) {
            continue;
        }
        if (action != AdminAction::JournalVacuum && id.empty()) {
            return refusal(std::string(known) + " needs an identifier");
        }
        if (const std::string why = whyNot(action, id); !why.empty()) {
            return refusal(why);
        }
        return AdminItem{ action, std::string(id) };
    }
    return refusal("unknown action");
}

std::string formatReport(const AdminReport &report)
{
    std::string line;
    for (const auto &[outcome, name] : OutcomeNames) {
        if (outcome == report.outcome) {
            line = name;
        }
    }
    line += ' ';
    line += report.word;
    line += ' ';
    line += std::to_string(report.freed);
    if (!report.reason.empty()) {
        line += ' ';
        for (const char c : report.reason) {
            line += c == '\n' || c == '\r' ? ' ' : c;
        }
    }
    return line;
}

std::optional<AdminReport> parseReport(std::string_view line)
{
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    AdminReport report;
    const std::string_view outcome = line.substr(0, first);
    const auto known = std::find_if(OutcomeNames.begin(), OutcomeNames.end(), [outcome](const auto &entry) {
        return entry.second == outcome;
    });
    if (known == OutcomeNames.end()) {
        return std::nullopt;
    }
    report.outcome = known->first;
    report.word = std::string(line.substr(first + 1, second - first - 1));
    const std::size_t third = line.find(' ', second + 1);
    const std::string_view freed =
        line.substr(second + 1, third == std::string_view::npos ? third : third - second - 1);
    if (std::from_chars(freed.data(), freed.data() + freed.size(), report.freed).ptr != freed.data() + freed.size()
        || report.freed < 0 || report.word.empty()) {
        return std::nullopt;
    }
    if (third != std::string_view::npos) {
        report.reason = std::string(line.substr(third + 1));
    }
    return report;
}

} // namespace core::sysjunk
