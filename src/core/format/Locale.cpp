// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Locale.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <string_view>
#include <unicode/uloc.h>
#include <unicode/ustring.h>
#include <utility>

namespace core::format {

namespace {

/// A POSIX locale name (language[_territory][.codeset][@modifier], see
/// locale(7)) split into the codes of a language tag.
struct TagParts
{
    std::string language;
    std::string script;
    std::string region;
    std::vector<std::string> variants;

    std::string joined(char separator) const
    {
        std::string out = language;
        for (const std::string *part : { &script, &region }) {
            if (!part->empty()) {
                out += separator;
                out += *part;
            }
        }
        for (const std::string &variant : variants) {
            out += separator;
            out += variant;
        }
        return out;
    }
};

bool isAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiAlnum(char c)
{
    return isAsciiAlpha(c) || (c >= '0' && c <= '9');
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string lowered(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

std::string uppered(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
}

/// The script a glibc modifier names; "" for the modifiers that name none (@euro, @valencia).
std::string scriptOfModifier(std::string_view modifier)
{
    const std::string m = lowered(modifier);
    if (m == "latin") {
        return "Latn";
    }
    if (m == "cyrillic") {
        return "Cyrl";
    }
    if (m == "devanagari") {
        return "Deva";
    }
    return {};
}

/// nullopt for the C/POSIX locale, an empty name, and anything that is not a
/// locale name (a language of 2 to 8 letters, then letter/digit codes).
std::optional<TagParts> parsePosixName(std::string_view name)
{
    std::string_view modifier;
    if (const auto at = name.find('@'); at != std::string_view::npos) {
        modifier = name.substr(at + 1);
        name = name.substr(0, at);
    }
    if (const auto dot = name.find('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    if (name.empty() || name == "C" || name == "POSIX") {
        return std::nullopt;
    }

    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = name.find_first_of("_-", start);
        parts.push_back(name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }

    const std::string_view language = parts.front();
    if (language.size() < 2 || language.size() > 8 || !std::all_of(language.begin(), language.end(), isAsciiAlpha)) {
        return std::nullopt;
    }
    TagParts tag;
    tag.language = lowered(language);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        if (part.empty() || part.size() > 8 || !std::all_of(part.begin(), part.end(), isAsciiAlnum)) {
            return std::nullopt;
        }
        const bool scriptShaped = part.size() == 4 && std::all_of(part.begin(), part.end(), isAsciiAlpha);
        if (i == 1 && scriptShaped) {
            tag.script = uppered(part.substr(0, 1)) + lowered(part.substr(1));
        } else if (tag.region.empty() && tag.variants.empty() && part.size() <= 3) {
            tag.region = uppered(part);
        } else {
            tag.variants.push_back(uppered(part));
        }
    }
    // Only the script modifiers carry over: @euro picked a currency, and the
    // variant a modifier like @valencia would name is not among ICU's locales.
    if (tag.script.empty()) {
        tag.script = scriptOfModifier(modifier);
    }
    return tag;
}

/// First non-empty of the variables, in order; empty when all are unset or empty.
std::string_view firstSet(const LocaleEnvironment &env, std::initializer_list<std::string_view> names)
{
    for (const std::string_view name : names) {
        if (const auto it = env.find(name); it != env.end() && !it->second.empty()) {
            return it->second;
        }
    }
    return {};
}

std::string_view messagesLocale(const LocaleEnvironment &env)
{
    return firstSet(env, { "LC_ALL", "LC_MESSAGES", "LANG" });
}

std::optional<LocaleProvider> &installedProvider()
{
    static std::optional<LocaleProvider> slot;
    return slot;
}

/// One code of an identifier through one of ICU's uloc_get* calls; "" when absent or unparsable.
std::string codeOf(int32_t (*get)(const char *, char *, int32_t, UErrorCode *), const std::string &identifier)
{
    char buffer[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = get(identifier.c_str(), buffer, ULOC_FULLNAME_CAPACITY, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0
        || length >= ULOC_FULLNAME_CAPACITY) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string toUtf8(const UChar *text, int32_t length)
{
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strToUTF8(nullptr, 0, &needed, text, length, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return {};
    }
    std::string out(static_cast<std::size_t>(needed), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), needed, &needed, text, length, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

} // namespace

LocaleProvider::LocaleProvider(LocaleEnvironment environment)
    : m_environment(std::move(environment))
{
}

LocaleProvider LocaleProvider::fromProcessEnvironment()
{
    LocaleEnvironment env;
    for (const char *name : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" }) {
        if (const char *value = std::getenv(name)) { // NOLINT(concurrency-mt-unsafe): nobody calls setenv
            env.emplace(name, value);
        }
    }
    return LocaleProvider(std::move(env));
}

std::vector<std::string> LocaleProvider::preferredLanguages() const
{
    const std::optional<TagParts> messages = parsePosixName(messagesLocale(m_environment));
    if (!messages) {
        return { "en" };
    }
    std::vector<std::string> entries;
    const std::string_view language = firstSet(m_environment, { "LANGUAGE" });
    if (language.empty()) {
        entries.push_back(messages->joined('-'));
    } else {
        std::size_t start = 0;
        while (start <= language.size()) {
            const std::size_t end = std::min(language.find(':', start), language.size());
            if (const auto parsed = parsePosixName(language.substr(start, end - start))) {
                std::string tag = parsed->joined('-');
                if (std::find(entries.begin(), entries.end(), tag) == entries.end()) {
                    entries.push_back(std::move(tag));
                }
            }
            start = end + 1;
        }
    }
    if (entries.empty()) {
        entries.emplace_back("en");
    }
    return entries;
}

std::string LocaleProvider::currentIdentifier() const
{
    const std::optional<TagParts> messages = parsePosixName(messagesLocale(m_environment));
    return messages ? messages->joined('_') : std::string("en_US_POSIX");
}

std::string LocaleProvider::currentLanguageCode() const
{
    return codeOf(uloc_getLanguage, currentIdentifier());
}

const LocaleProvider &localeProvider()
{
    if (const std::optional<LocaleProvider> &installed = installedProvider()) {
        return *installed;
    }
    static const LocaleProvider fromProcess = LocaleProvider::fromProcessEnvironment();
    return fromProcess;
}

ScopedLocaleProvider::ScopedLocaleProvider(LocaleProvider replacement)
    : m_saved(std::move(installedProvider()))
{
    installedProvider() = std::move(replacement);
}

ScopedLocaleProvider::~ScopedLocaleProvider()
{
    installedProvider() = std::move(m_saved);
}

std::vector<std::string> availableLocaleIdentifiers()
{
    const int32_t count = uloc_countAvailable();
    std::vector<std::string> ids;
    ids.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int32_t i = 0; i < count; ++i) {
        if (const char *id = uloc_getAvailable(i)) {
            ids.emplace_back(id);
        }
    }
    return ids;
}

LocaleParts parseLocaleIdentifier(const std::string &identifier)
{
    return LocaleParts{ codeOf(uloc_getLanguage, identifier),
        codeOf(uloc_getScript, identifier),
        codeOf(uloc_getCountry, identifier),
        codeOf(uloc_getVariant, identifier) };
}

std::optional<std::string> localeDisplayName(const std::string &identifier, const std::string &inLocale)
{
    std::vector<UChar> buffer(128);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = uloc_getDisplayName(
        identifier.c_str(), inLocale.c_str(), buffer.data(), static_cast<int32_t>(buffer.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR && length > 0) {
        buffer.resize(static_cast<std::size_t>(length) + 1);
        status = U_ZERO_ERROR;
        length = uloc_getDisplayName(
            identifier.c_str(), inLocale.c_str(), buffer.data(), static_cast<int32_t>(buffer.size()), &status);
    }
    // ICU answers "no name" by echoing the code with U_USING_DEFAULT_WARNING.
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING || length <= 0) {
        return std::nullopt;
    }
    std::string name = toUtf8(buffer.data(), length);
    if (name.empty()) {
        return std::nullopt;
    }
    return name;
}

std::string displayLocale(const std::string &identifier)
{
    static const std::set<std::string, std::less<>> languages = [] {
        std::set<std::string, std::less<>> codes;
        for (const std::string &id : availableLocaleIdentifiers()) {
            codes.insert(codeOf(uloc_getLanguage, id));
        }
        return codes;
    }();
    const std::string language = codeOf(uloc_getLanguage, identifier);
    if (!language.empty() && languages.contains(language)) {
        return identifier;
    }
    return "en_US_POSIX";
}

} // namespace core::format
