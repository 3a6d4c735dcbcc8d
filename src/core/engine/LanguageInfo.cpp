// SPDX-License-Identifier: GPL-3.0-or-later
// The localization scanner: languages from ICU and the user's locale, and the
// walk that finds and measures the folders of the languages the user does not use.
#include "engine/LanguageInfo.h"

#include "engine/Catalogue.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "format/Plist.h"
#include "platform/Services.h"
#include "tree/Walker.h"

#include <algorithm>
#include <set>
#include <utility>

namespace core {

namespace {

/// Locale used for the English names that form folder names like "German.lproj".
constexpr const char *EnglishLocale = "en_US_POSIX";

/// Folders whose sub-folders are named by bare language identifiers: gettext
/// catalogues (locale/de/LC_MESSAGES), manual pages (man/de/man1), desktop
/// help (help/de/<app>) and application-private translation trees.
bool isLocalizationParent(std::string_view name)
{
    return name == "locale" || name == "locales" || name == "man" || name == "help" || name == "translation"
        || name == "translations";
}

/// The glibc modifier form of an ICU script, "" when glibc has none.
std::string_view modifierOfScript(std::string_view script)
{
    if (script == "Latn") {
        return "latin";
    }
    if (script == "Cyrl") {
        return "cyrillic";
    }
    if (script == "Deva") {
        return "devanagari";
    }
    return {};
}

std::string lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return s;
}

/// Appends `name` unless the list already holds it.
void addOnce(std::vector<std::string> &names, std::string name)
{
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(std::move(name));
    }
}

/// The folder names of one identifier: ".lproj" forms first, then Linux's bare forms.
std::vector<std::string> foldersOf(const std::string &identifier)
{
    static const std::string Lproj = ".lproj";
    const format::LocaleParts p = format::parseLocaleIdentifier(identifier);
    const std::string &l = p.language;
    const std::string &s = p.script;
    const std::string &r = p.region;
    const std::string &v = p.variant;

    // The structured forms, each with "-" and with "_"; none for a bare language.
    std::vector<std::string> stems;
    if (!l.empty() && !r.empty() && s.empty() && v.empty()) {
        stems = { l + "-" + r, l + "_" + r };
    } else if (!l.empty() && !r.empty() && !v.empty()) {
        stems = { l + "-" + r + "_" + v, l + "_" + r + "_" + v };
    } else if (!l.empty() && !s.empty() && !r.empty()) {
        stems = { l + "-" + s + "-" + r, l + "_" + s + "_" + r };
    } else if (!l.empty() && !s.empty()) {
        stems = { l + "-" + s, l + "_" + s };
    }

    std::vector<std::string> folders;
    addOnce(folders, identifier + Lproj);
    for (const std::string &stem : stems) {
        addOnce(folders, stem + Lproj);
    }
    if (stems.empty()) {
        if (auto english = format::localeDisplayName(identifier, EnglishLocale)) {
            addOnce(folders, *english + Lproj);
        }
    }

    addOnce(folders, identifier);
    for (const std::string &stem : stems) {
        addOnce(folders, stem);
    }
    // glibc spells scripts and variants as modifiers: sr@latin, sr_RS@latin, ca@valencia.
    if (!l.empty()) {
        std::string modifier(modifierOfScript(s));
        if (modifier.empty() && !v.empty()) {
            modifier = lowered(v);
        }
        if (!modifier.empty()) {
            if (!r.empty()) {
                addOnce(folders, l + "_" + r + "@" + modifier);
            }
            addOnce(folders, l + "@" + modifier);
        }
    }
    return folders;
}

bool isLproj(const std::string &name)
{
    return name.ends_with(".lproj");
}

/// The name of the folder that holds `path` ("locale" for ".../locale/de").
std::string_view parentName(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    const std::string_view parent = path.substr(0, slash);
    const auto previous = parent.rfind('/');
    return previous == std::string_view::npos ? parent : parent.substr(previous + 1);
}

} // namespace

const std::vector<std::string> &LanguageInfo::platformBlackList()
{
    static const std::vector<std::string> list = {
        "/usr/share/icons",
        "/usr/share/fonts",
        "/usr/share/doc",
        "/usr/share/zoneinfo",
        "/usr/share/mime",
        "/usr/share/texmf",
        "/usr/share/texlive",
        "/usr/share/i18n",
    };
    return list;
}

const std::array<std::string_view, 31> &LanguageInfo::extraIdentifiers()
{
    static constexpr std::array<std::string_view, 31> ids = {
        "ach",
        "an",
        "ast",
        "ay",
        "bi",
        "co",
        "fur",
        "gd",
        "gn",
        "ia",
        "jv",
        "ku",
        "la",
        "mi",
        "md",
        "no",
        "oc",
        "qu",
        "sa",
        "sd",
        "se",
        "su",
        "tet",
        "tk_Cyrl",
        "tl",
        "tlh",
        "tt",
        "wa",
        "yi",
        "zh_CN",
        "zh_TW",
    };
    return ids;
}

LanguageInfo::LanguageInfo(std::string rootUrl)
    : LanguageInfo(std::move(rootUrl), LanguageOptions{})
{
}

LanguageInfo::LanguageInfo(std::string rootUrl, LanguageOptions options)
    : root(std::move(rootUrl))
    , m_options(std::move(options))
{
}

std::optional<std::string> LanguageInfo::tableName(const std::string &identifier)
{
    if (!m_tableLoaded) {
        m_tableLoaded = true;
        if (const auto path = platform::services().resources.path("Localizable", "plist")) {
            // A name per language: a few hundred nodes.
            constexpr std::size_t TableNodes = std::size_t{ 1 } << 14U;
            if (const auto table = format::readPlistFile(*path, TableNodes); table && table->dict()) {
                for (const auto &[key, value] : *table->dict()) {
                    if (const std::string *text = value.string()) {
                        m_table.emplace_back(key, *text);
                    }
                }
            }
        }
    }
    const std::string key = "locale_" + identifier;
    for (const auto &[entryKey, text] : m_table) {
        if (entryKey == key) {
            return text;
        }
    }
    return std::nullopt;
}

const std::vector<Language> &LanguageInfo::getLanguages()
{
    if (m_languages) {
        return *m_languages;
    }
    const format::LocaleProvider &locale = m_options.locale;

    // The user's languages: each preferred tag gives its language code and
    // all its parts joined with "_"; a language-script-region tag also its
    // language_script (sr-Latn-RS reads sr@latin, which belongs to sr_Latn).
    std::set<std::string, std::less<>> users = { "en", locale.currentIdentifier(), locale.currentLanguageCode() };
    for (const std::string &tag : locale.preferredLanguages()) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (true) {
            const std::size_t dash = tag.find('-', start);
            parts.push_back(tag.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
            if (dash == std::string::npos) {
                break;
            }
            start = dash + 1;
        }
        if (parts.size() == 1) {
            users.insert(tag);
            continue;
        }
        std::string joined = parts.front();
        for (std::size_t i = 1; i < parts.size(); ++i) {
            joined += "_" + parts[i];
        }
        users.insert(parts.front());
        users.insert(std::move(joined));
        if (parts.size() >= 3 && parts[1].size() == 4) {
            users.insert(parts[0] + "_" + parts[1]);
        }
    }

    std::set<std::string, std::less<>> identifiers;
    for (std::string &id : format::availableLocaleIdentifiers()) {
        identifiers.insert(std::move(id));
    }
    for (const std::string_view id : extraIdentifiers()) {
        identifiers.emplace(id);
    }

    const std::string displayIn = format::displayLocale(locale.currentIdentifier());
    std::vector<Language> languages;
    languages.reserve(identifiers.size());
    for (const std::string &id : identifiers) {
        Language language;
        language.folders = foldersOf(id);
        if (auto name = format::localeDisplayName(id, displayIn)) {
            language.displayName = std::move(*name);
        } else {
            language.displayName = tableName(id).value_or(id);
        }
        language.enabled = !users.contains(id);
        languages.push_back(std::move(language));
    }
    std::stable_sort(languages.begin(), languages.end(), [](const Language &a, const Language &b) {
        return a.displayName < b.displayName;
    });
    m_languages = std::move(languages);
    return *m_languages;
}

const LanguageInfo::FolderNames &LanguageInfo::folderNames()
{
    if (m_folderNames) {
        return *m_folderNames;
    }
    // A name that also belongs to one of the user's languages is never
    // reported, whichever other language claims it too.
    std::unordered_set<std::string> kept;
    FolderNames names;
    for (const Language &language : getLanguages()) {
        for (const std::string &folder : language.folders) {
            if (!language.enabled) {
                kept.insert(folder);
            } else if (isLproj(folder)) {
                names.anywhere.insert(folder);
            } else {
                names.guarded.insert(folder);
            }
        }
    }
    for (const std::string &folder : kept) {
        names.anywhere.erase(folder);
        names.guarded.erase(folder);
    }
    m_folderNames = std::move(names);
    return *m_folderNames;
}

bool LanguageInfo::isBlackListed(std::string_view path) const
{
    if (std::find(BLACK_LIST.begin(), BLACK_LIST.end(), path) != BLACK_LIST.end()) {
        return true;
    }
    const std::vector<std::string> &extra = m_options.extraBlackList ? *m_options.extraBlackList : platformBlackList();
    return std::find(extra.begin(), extra.end(), path) != extra.end();
}

FolderInfoPtr LanguageInfo::calculateLanguage(const std::string &url)
{
    const FolderNames &names = folderNames();
    const auto path = format::pathFromFileUrl(url);
    if (!path) {
        return nullptr;
    }

    std::vector<FolderInfoPtr> children;
    std::int64_t total = 0;
    // Hidden items and package contents are part of an application's tree;
    // only the directory flag is needed, which the entry type gives without a stat.
    tree::WalkOptions options;
    options.kept = tree::keptItemsHere();
    options.wantStat = false;
    tree::Walker walker(*path, options);
    while (const tree::WalkItem *item = walker.opened() ? walker.next() : nullptr) {
        if (!item->statOk || !item->isDir) {
            continue;
        }
        const bool matched = names.anywhere.contains(item->name)
            || (names.guarded.contains(item->name) && isLocalizationParent(parentName(item->path)));
        if (!matched) {
            continue;
        }
        // A matched folder is measured whole and not entered, so a nested match is not counted again.
        walker.skipDescendants();
        const std::string folderUrl = format::fileUrlFromPath(item->path, true);
        const std::int64_t size = FolderInfo::getFolderSize(folderUrl);
        if (size <= 0) {
            continue;
        }
        FolderInfoPtr record = FolderInfo::folderInfo(FolderUrl{ folderUrl, "Folder", 0 }, false, Progress{});
        if (!record) {
            continue;
        }
        // folderInfo without children gives a folder size 0; the record carries what was measured.
        record->size = size;
        record->findex = static_cast<std::int64_t>(children.size());
        total += size;
        children.push_back(std::move(record));
    }

    FolderInfoPtr application = FolderInfo::folderInfo(FolderUrl{ url, "Folder", 0 }, false, Progress{});
    if (!application) {
        return nullptr;
    }
    application->children = std::move(children);
    application->size = total;
    return application;
}

std::vector<FolderInfoPtr> LanguageInfo::scanApplicationLanguage(
    const Progress &progress, const ShowPercent &showPercent)
{
    std::vector<FolderInfoPtr> result;
    m_listedEntryCount = 0;
    const auto rootPath = format::pathFromFileUrl(root);
    if (!rootPath) {
        return result;
    }

    struct Entry
    {
        std::string path;
        bool isLink = false;
    };
    std::vector<Entry> entries;
    {
        tree::WalkOptions shallow;
        shallow.kept = tree::keptItemsHere();
        shallow.skipSubdirectoryDescendants = true;
        shallow.skipPackageDescendants = true;
        shallow.skipHidden = true;
        shallow.wantStat = false;
        tree::Walker listing(*rootPath, shallow);
        while (const tree::WalkItem *item = listing.opened() ? listing.next() : nullptr) {
            entries.push_back(Entry{ item->path, item->isSymlink });
        }
    }
    m_listedEntryCount = entries.size();
    if (entries.empty()) {
        return result;
    }

    const float step = 1.0F / static_cast<float>(entries.size());
    const std::string prefix = rootPath->ends_with('/') ? *rootPath : *rootPath + "/";
    for (const Entry &entry : entries) {
        if (entry.isLink || isBlackListed(entry.path)) {
            postShowPercent(showPercent, step);
            continue;
        }
        FolderInfoPtr record = calculateLanguage(format::fileUrlFromPath(entry.path, true));
        if (record && record->size > 0) {
            record->findex = static_cast<std::int64_t>(result.size());
            postProgress(progress, prefix + record->name(), record->size);
            result.push_back(std::move(record));
        }
        postShowPercent(showPercent, step);
    }
    return result;
}

void ModuleInfo::scanLanguage(Category &category, const Progress &progress, const ShowPercent &showPercent)
{
    LanguageInfo info(category.url.url);
    std::vector<FolderInfoPtr> files = info.scanApplicationLanguage(progress, showPercent);
    // Summed here rather than from the progress reports: those run later, on the main queue.
    std::int64_t total = 0;
    for (const FolderInfoPtr &file : files) {
        total += file->size;
    }
    category.size = total;
    category.files = std::move(files);
    if (info.listedEntryCount() == 0) {
        // Nothing listed, so no step was reported: the category's share still adds up to 1.0.
        postShowPercent(showPercent, 1.0F);
    }
}

} // namespace core
