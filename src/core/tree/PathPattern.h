// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core::tree {

/// One component of a path pattern: the literal pieces between its "*"
/// wildcards (one piece: no wildcard; "*" alone: two empty pieces). A "*"
/// stands for any run of bytes, none included, but a leading "." is never
/// matched by a wildcard (as in a shell). No other byte is special.
struct PatternComponent
{
    std::vector<std::string> pieces;

    [[nodiscard]] bool isPattern() const { return pieces.size() > 1; }
    [[nodiscard]] bool matches(std::string_view name) const;
};

/// A path with one-component patterns: "/home/ann/.var/app/*/cache",
/// "JetBrains/*/LocalHistory".
struct PathPattern
{
    bool absolute = false;
    std::vector<PatternComponent> components;

    [[nodiscard]] bool hasWildcard() const;

    /// From a file URL: a "*" written as is is a wildcard, one written
    /// "%2A" a literal byte; the pieces are percent-decoded. nullopt for a
    /// string that is not a "file://" URL of an absolute path, or with "."
    /// or ".." components.
    [[nodiscard]] static std::optional<PathPattern> fromFileUrl(std::string_view url);
    /// From a plain relative path where every "*" is a wildcard. nullopt
    /// when it is absolute, empty, or has empty, "." or ".." components.
    [[nodiscard]] static std::optional<PathPattern> fromRelative(std::string_view path);
};

/// What an expansion may match at the last component.
enum class MatchKind {
    Folder, // real folders
    File, // regular files
    Any, // anything that is there, a link included (never followed)
};

struct ExpandOptions
{
    MatchKind last = MatchKind::Folder;
    /// When not empty: a folder matched by the last wildcard component must
    /// hold one of these names (of any type), or nothing below it matches.
    std::vector<std::string> markers;
    /// When not empty: the folder the pattern's fixed beginning leads to
    /// must lie inside this folder (a link may lead there only from within
    /// it) and on its device.
    std::string confineTo;
};

/// The paths `pattern` matches below the folder `base` ("" for an absolute
/// pattern), sorted by bytes, written as the pattern is: the fixed
/// beginning as written, then the matched names. The folder of the fixed
/// beginning is opened following links, as a scan opens a location; below
/// it no link is followed, no mount point (a bind mount included) is
/// entered and nothing on another device matches. A pattern without a
/// wildcard gives its one path when something of the `last` kind is
/// there. Reads only the folders the wildcards stand in; thread-safe.
[[nodiscard]] std::vector<std::string> expandPattern(
    const PathPattern &pattern, const std::string &base, const ExpandOptions &options);

} // namespace core::tree
