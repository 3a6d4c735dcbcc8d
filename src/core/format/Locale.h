// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace core::format {

/// The locale variables of an environment (LANGUAGE, LC_ALL, LC_MESSAGES,
/// LANG), by name. Other names are ignored; an empty value counts as unset.
using LocaleEnvironment = std::map<std::string, std::string, std::less<>>;

/// The user's languages and current locale, derived from a locale
/// environment the way gettext reads it. The environment is injected so
/// tests never touch the process environment. A plain value: immutable after
/// construction, safe to share between threads.
class LocaleProvider
{
public:
    /// An empty environment: the "C" locale.
    LocaleProvider() = default;
    explicit LocaleProvider(LocaleEnvironment environment);

    /// The four variables as the process sees them now (getenv).
    static LocaleProvider fromProcessEnvironment();

    const LocaleEnvironment &environment() const { return m_environment; }

    /// The user's preferred languages as "-"-separated tags, most preferred
    /// first, never empty. The messages locale M is the first non-empty of
    /// LC_ALL, LC_MESSAGES, LANG. When M is unset, "C", "POSIX" or "C.<codeset>"
    /// (or not a locale name at all) the answer is ["en"] and LANGUAGE is
    /// ignored, as gettext ignores it under the C locale. Otherwise the
    /// colon-separated entries of a non-empty LANGUAGE, else M. Each entry is
    /// normalised: the codeset is dropped, @latin/@cyrillic/@devanagari
    /// become a script, other modifiers are dropped ("pt_BR.UTF-8" → "pt-BR",
    /// "sr_RS@latin" → "sr-Latn-RS", "ca_ES@valencia" → "ca-ES");
    /// C/POSIX, empty and malformed entries are skipped and duplicates
    /// removed; ["en"] when nothing is left.
    std::vector<std::string> preferredLanguages() const;

    /// M normalised as above in ICU form ("de_DE.UTF-8" → "de_DE",
    /// "sr_RS@latin" → "sr_Latn_RS"); "en_US_POSIX" when M is unset, C or POSIX.
    std::string currentIdentifier() const;

    /// The language code of currentIdentifier() ("en" for "en_US_POSIX").
    std::string currentLanguageCode() const;

private:
    LocaleEnvironment m_environment;
};

/// The process-wide provider: the one a ScopedLocaleProvider installed, else
/// the process environment as read on first use. Safe to read from any
/// thread as long as nobody installs a replacement meanwhile.
const LocaleProvider &localeProvider();

/// Installs `replacement` as localeProvider() for the lifetime of this
/// object (tests). Not thread-safe: install before starting jobs.
class ScopedLocaleProvider
{
public:
    explicit ScopedLocaleProvider(LocaleProvider replacement);
    ~ScopedLocaleProvider();
    ScopedLocaleProvider(const ScopedLocaleProvider &) = delete;
    ScopedLocaleProvider &operator=(const ScopedLocaleProvider &) = delete;

private:
    std::optional<LocaleProvider> m_saved;
};

// ICU's locale data. Identifiers are in ICU form ("zh_Hans_CN"). All
// functions below are pure over ICU's data and thread-safe; none of them
// reads or changes ICU's default locale.

/// The identifiers of every locale ICU has data for ("af", ..., "en_US_POSIX",
/// "zh_Hans_CN"), in ICU's order.
std::vector<std::string> availableLocaleIdentifiers();

/// The codes an identifier is made of; empty strings for absent parts.
struct LocaleParts
{
    std::string language;
    std::string script;
    std::string region;
    std::string variant;
};

/// Splits an identifier as ICU parses it: "zh_Hans_CN" → zh/Hans/CN,
/// "ca_ES_VALENCIA" → ca//ES/VALENCIA, "es_419" → es//419.
LocaleParts parseLocaleIdentifier(const std::string &identifier);

/// The name that locale `inLocale` gives `identifier` ("de" in "en_US_POSIX"
/// → "German", in "de" → "Deutsch"), as UTF-8. nullopt when ICU has no name
/// for it (it would only echo the code, as for "md"). `inLocale` must be a
/// locale ICU has data for (see displayLocale()): for any other ICU silently
/// falls back to its process default.
std::optional<std::string> localeDisplayName(const std::string &identifier, const std::string &inLocale);

/// `identifier` when ICU has data for its language, so names can be given in
/// it; "en_US_POSIX" otherwise.
std::string displayLocale(const std::string &identifier);

} // namespace core::format
