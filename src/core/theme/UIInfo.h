// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "theme/MyUI.h"

#include <map>
#include <string>
#include <string_view>

namespace core {

namespace format {
struct PlistValue;
}

/// Which of the two theme files the lookups read: "SpruceUI.plist" (Light)
/// or "SpruceUI-Dark.plist" (Dark).
enum class ThemeVariant { Light, Dark };

/// Theme entries by key, from the property list "SpruceUI.plist" (the
/// resource `bundlename` + "UI", found through platform::services().resources),
/// or under the Dark variant from "SpruceUI-Dark.plist" (`bundlename` + "UI-Dark")
/// when that file is found, the light file otherwise.
///
/// There is no cache: every lookup reads and parses the whole file again, so
/// an edited theme shows at the next lookup. Which fields an entry yields
/// depends only on its key, by case-sensitive substring:
///   - "color" or "font" in the key: red, green, blue (integers, default 0) and alpha (real, default 1.0);
///   - "font": name (default "Times-Roman"), size (default 12.0), weight (default 12);
///   - "button": bred, bgreen, bblue (default 0) and balpha (default 0.0).
/// A field of a group the key does not select keeps the MyUI default (font
/// "Arial"). Numbers are taken as written: nothing is clamped or scaled.
///
/// Never throws. A missing or unreadable theme file, or a key that the file
/// does not hold, writes one system-log line (once per file path or key for
/// the life of the process) and yields the defaults of that key's groups,
/// so every caller still gets a usable font and colour.
///
/// Thread affinity: the only state is the variant, an atomic value; the
/// application calls it on the main thread.
class UIInfo
{
public:
    UIInfo() = delete;

    using Table = std::map<std::string, MyUI, std::less<>>;

    /// Every entry of the theme file, read now. Empty when the file is missing or unreadable.
    static Table AllUIs(); // NOLINT(readability-identifier-naming)

    /// The colour of `key` (red, green, blue on the 0-255 scale, alpha
    /// unchanged); the button fields are never used here.
    static Rgba nsColor(std::string_view key);

    /// The whole entry of `key`.
    static MyUI nsMyUI(std::string_view key);

    /// The entries of a parsed theme document. A root that is not a
    /// dictionary gives an empty table; a root value that is not a
    /// dictionary is read as an empty entry (its groups' defaults). Pure.
    static Table parseTheme(const format::PlistValue &root);

    /// One entry read under the group rules above. A field of the wrong
    /// type counts as absent ("red" accepts an integer or a real). Pure.
    static MyUI parseEntry(std::string_view key, const format::PlistValue &entry);

    /// Path of the theme file in use, or "" when none is found: the dark
    /// file under the Dark variant when it is found, else the light file.
    static std::string themePath();

    /// Chooses the file every later lookup reads, for the whole process
    /// (Light until set). Thread-safe; a lookup already running finishes
    /// with the file it opened.
    static void setVariant(ThemeVariant variant);
    static ThemeVariant variant();
};

} // namespace core
