// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Junk outside the home folder: where it lies, how its items are named, and
/// the rules both the unprivileged scan and the privileged helper
/// (spruce-admin) apply to a name before it is taken for an item. Every
/// location is relative to a system root ("/" normally, a planted tree in
/// tests), so nothing here names an absolute path. Pure functions, no
/// global state: thread-safe.
namespace core::sysjunk {

// Locations below the system root (no leading or trailing "/").
inline constexpr std::string_view AptArchives = "var/cache/apt/archives";
inline constexpr std::string_view AptPartial = "var/cache/apt/archives/partial";
inline constexpr std::string_view CrashReports = "var/crash";
inline constexpr std::string_view Coredumps = "var/lib/systemd/coredump";
inline constexpr std::string_view VarTmp = "var/tmp";
inline constexpr std::string_view JournalFolder = "var/log/journal";
inline constexpr std::string_view SnapFiles = "var/lib/snapd/snaps";
inline constexpr std::string_view FlatpakRuntimes = "var/lib/flatpak/runtime";

/// How long an entry of /var/tmp must have stood unchanged to count as old
/// (systemd-tmpfiles' own default age for /var/tmp).
inline constexpr std::int64_t VarTmpAgeSeconds = 30LL * 24 * 60 * 60;

/// `root` (ending in "/") joined with a relative location.
[[nodiscard]] std::string under(std::string_view root, std::string_view location);

/// A single file name: not empty, at most 255 bytes, not "." or "..", and
/// holding neither "/", a NUL nor any other control character.
[[nodiscard]] bool isPlainName(std::string_view name);

/// A downloaded package in the apt cache: a plain name ending in ".deb"
/// (something before it, no leading "."), as apt writes them.
[[nodiscard]] bool isAptArchiveName(std::string_view name);
/// A download apt left in partial/: a package name, or one apt marked
/// ".FAILED". Never "lock" or anything else apt keeps there.
[[nodiscard]] bool isAptPartialName(std::string_view name);
/// A dump systemd-coredump wrote: "core." followed by the program and more.
[[nodiscard]] bool isCoredumpName(std::string_view name);
/// An entry of /var/crash: an apport report (".crash", ".upload",
/// ".uploaded") or a kdump folder (twelve digits, YYYYMMDDhhmm).
[[nodiscard]] bool isCrashReportName(std::string_view name);
[[nodiscard]] bool isKdumpFolderName(std::string_view name);
/// An entry of /var/tmp that may be judged by age: a plain name that is not
/// a service's private folder (systemd-private-*: in use while it runs).
[[nodiscard]] bool isVarTmpCandidate(std::string_view name);
/// A journal file journald has closed (archived, "name@....journal", or
/// put aside after an unclean shutdown, "....journal~"): what a vacuum
/// removes. The active files ("system.journal") never are.
[[nodiscard]] bool isArchivedJournalName(std::string_view name);

/// A revision of a snap, written as snapd names its file without ".snap":
/// "NAME_REVISION" (core18_2697, or x1 for a local revision).
struct SnapRevision
{
    std::string name;
    std::string revision;

    /// "core18_2697"
    [[nodiscard]] std::string id() const { return name + "_" + revision; }
    bool operator==(const SnapRevision &) const = default;
};
/// A snap name (lowercase letters, digits and inner single hyphens, at most
/// 40 bytes, at least one letter; an instance key "_key" is not accepted).
[[nodiscard]] bool isSnapName(std::string_view name);
/// "123" or "x7".
[[nodiscard]] bool isSnapRevision(std::string_view revision);
/// Splits "NAME_REVISION" at its last "_"; nullopt unless both parts are valid.
[[nodiscard]] std::optional<SnapRevision> parseSnapRevision(std::string_view id);

/// An installed Flatpak runtime: "ID/ARCH/BRANCH", the ref without "runtime/".
struct FlatpakRef
{
    std::string id;
    std::string arch;
    std::string branch;

    [[nodiscard]] std::string text() const { return id + "/" + arch + "/" + branch; }
    bool operator==(const FlatpakRef &) const = default;
};
/// Reverse-DNS id of at least two elements, each of letters, digits, "_"
/// and "-", the first not starting with a digit or "-".
[[nodiscard]] bool isFlatpakId(std::string_view id);
/// An architecture ("x86_64", "aarch64"): lowercase letters, digits, "_".
[[nodiscard]] bool isFlatpakArch(std::string_view arch);
/// A branch ("stable", "22.08", "master"): letters, digits, "_", "-", ".",
/// starting with a letter or digit.
[[nodiscard]] bool isFlatpakBranch(std::string_view branch);
[[nodiscard]] std::optional<FlatpakRef> parseFlatpakRef(std::string_view text);

/// Newest change (modification or status change, in Unix seconds) of the
/// item at `path` and, for a folder, of everything below it, without
/// following links or crossing mounts. Error when the item cannot be read;
/// `complete` is set false when part of a folder could not be read (the
/// time then covers only what could).
struct Newest
{
    std::int64_t seconds = 0;
    bool complete = true;
};
[[nodiscard]] Result<Newest> newestChange(const std::string &path);

/// Sum of the sizes of the archived journal files in the journal folder's
/// machine folders below `root`, and how many there are. Error when the
/// journal folder exists but cannot be listed; {0, 0} when it is absent.
struct JournalUse
{
    std::int64_t bytes = 0;
    std::size_t files = 0;
    std::int64_t newest = 0; // modification time of the newest archived file
    std::vector<std::string> unreadable; // machine folders that could not be listed
};
[[nodiscard]] Result<JournalUse> archivedJournals(std::string_view root);

} // namespace core::sysjunk
