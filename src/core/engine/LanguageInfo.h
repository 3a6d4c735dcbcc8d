// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "format/Locale.h"
#include "fs/Callbacks.h"
#include "fs/FolderInfo.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace core {

/// One language an application may carry resources for.
struct Language
{
    /// Folder names (last path components) holding this language's resources.
    /// First the identifier + ".lproj", then the other ".lproj" forms (with
    /// "-" and "_", or the English name for a bare language), then the bare
    /// names Linux trees use ("de", "pt_BR", "sr@latin", "ca@valencia").
    /// No name appears twice.
    std::vector<std::string> folders;
    /// The language's name in the user's current locale (UTF-8).
    std::string displayName;
    /// True when the language is not one of the user's: its folders are reported.
    bool enabled = false;
};

/// What a LanguageInfo reads from its surroundings; tests inject both.
struct LanguageOptions
{
    /// The user's languages and current locale (default: the process-wide one).
    format::LocaleProvider locale = format::localeProvider();
    /// Entries never examined besides LanguageInfo::BLACK_LIST, compared with
    /// an entry's full path; nullopt: LanguageInfo::platformBlackList().
    std::optional<std::vector<std::string>> extraBlackList;
};

/// Finds the localizations that installed software carries for languages
/// the user does not use, and measures them. Only finds: nothing is deleted
/// (the cleaner skips "Localization" categories).
///
/// Each entry of `root` is one "application". On Linux the root is
/// /usr/share, so the entries are shared data folders ("locale", "man",
/// "help", "vim", ...). Inside an application a directory counts when its
/// name is a folder name of a reported language: ".lproj" names anywhere,
/// bare names ("de", "sr@latin") only directly below a folder named locale,
/// locales, man, help, translation or translations, since folders called
/// "it", "no" or "be" are common elsewhere. A counted folder is not entered,
/// so nothing inside it is counted twice.
///
/// One object serves one category scan: the language list is built on the
/// first use and kept. Not thread-safe: use it on one thread (the scan job).
class LanguageInfo
{
public:
    /// The applications folder of the original platform; kept as a constant,
    /// the catalogue gives the root in use.
    static constexpr std::string_view APPLICATIONS_PATH =
        "file:///Applications"; // NOLINT(readability-identifier-naming)
    /// Entries never examined (compared with an entry's full path).
    static constexpr std::array<std::string_view, 4> BLACK_LIST = { // NOLINT(readability-identifier-naming)
        "/Applications",
        "/Applications/Utilities",
        "/Applications/Xcode.app",
        "/Applications/XAMPP"
    };

    /// Large trees below /usr/share that hold no localizations (icons,
    /// fonts, documentation, time zones, MIME data, TeX, and the C library's
    /// locale sources in /usr/share/i18n); never examined either.
    static const std::vector<std::string> &platformBlackList();

    /// The 31 identifiers added to ICU's available ones ("ach", ..., "zh_TW").
    static const std::array<std::string_view, 31> &extraIdentifiers();

    /// `rootUrl`: file URL string of the folder whose entries are examined.
    explicit LanguageInfo(std::string rootUrl);
    LanguageInfo(std::string rootUrl, LanguageOptions options);

    std::string root; // NOLINT(misc-non-private-member-variables-in-classes)

    /// Every known language (ICU's available identifiers plus
    /// extraIdentifiers(), each once), sorted by displayName in byte order.
    /// `enabled` is false exactly for the user's languages: "en", the current
    /// locale's identifier and language code, and for each preferred tag its
    /// language code and its parts joined with "_" ("pt-BR" → "pt", "pt_BR";
    /// "sr-Latn-RS" also keeps "sr_Latn", whose folders gettext falls back
    /// to). A language the current locale has no name for is named by the
    /// "locale_" + identifier entry of the Localizable string table (a
    /// resource), else by its identifier.
    /// Built on the first call and kept for the life of this object.
    const std::vector<Language> &getLanguages();

    /// The application at `url` (a file URL) with its surplus localization
    /// folders as children (each with its measured size, checked 0, no
    /// children of its own); its size is their total (0 when it has none).
    /// Unreadable folders inside are passed over. nullptr when the
    /// application itself cannot be read.
    FolderInfoPtr calculateLanguage(const std::string &url);

    /// Examines every non-hidden entry of `root` in listing order and returns
    /// one record per application that has surplus localizations (size > 0),
    /// findex numbered along the list. Per entry, on the main queue: for a
    /// reported application progress(rootPath + "/" + name, size), then for
    /// every entry showPercent(1/C), C being the number of entries, so
    /// black-listed and skipped entries advance the progress too. Entries
    /// that are symbolic links are not followed (they could lead out of the
    /// root or count a tree twice). An unreadable root gives an empty list.
    std::vector<FolderInfoPtr> scanApplicationLanguage(const Progress &progress, const ShowPercent &showPercent);

    /// Number of entries the last scanApplicationLanguage listed (0 before any).
    [[nodiscard]] std::size_t listedEntryCount() const { return m_listedEntryCount; }

private:
    struct FolderNames
    {
        std::unordered_set<std::string> anywhere; // ".lproj" names
        std::unordered_set<std::string> guarded; // bare names, only below a localization parent
    };

    const FolderNames &folderNames();
    bool isBlackListed(std::string_view path) const;
    std::optional<std::string> tableName(const std::string &identifier);

    LanguageOptions m_options;
    std::optional<std::vector<Language>> m_languages;
    std::optional<FolderNames> m_folderNames;
    bool m_tableLoaded = false;
    std::vector<std::pair<std::string, std::string>> m_table; // "locale_" key → name
    std::size_t m_listedEntryCount = 0;
};

} // namespace core
