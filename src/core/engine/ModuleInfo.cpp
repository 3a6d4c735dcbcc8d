// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ModuleInfo.h"

#include "format/FileUrl.h"
#include "format/Plist.h"
#include "platform/Services.h"
#include "tree/PathPattern.h"
#include "tree/Protection.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

namespace core {

using format::PlistArray;
using format::PlistValue;

namespace {

constexpr std::string_view HomeUrlPrefix = "file://~/";

// Positions the rest of the program addresses without checking.
constexpr std::size_t RequiredModules = 5;
constexpr std::size_t LargeAndOldFileBands = 4;

struct CatalogueState
{
    std::once_flag loadOnce;
    std::vector<Module> modules;
    std::string path; // "" = look the resource up
};

CatalogueState &state()
{
    static CatalogueState s;
    return s;
}

std::optional<int> toInt(std::int64_t value)
{
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// The single-URL conversion. A url dictionary with a missing or mistyped key
// gives the empty FolderUrl and a description of the fault in `problem`.
FolderUrl convertUrl(const PlistValue *value, std::string_view homeDir, std::string &problem)
{
    if (value == nullptr) {
        return {};
    }
    if (const auto *s = value->string()) {
        FolderUrl result{ ModuleInfo::substituteHome(*s, homeDir), "Folder", 0 };
        if (result.url.find('*') != std::string::npos && !tree::PathPattern::fromFileUrl(result.url)) {
            problem = "location \"" + result.url + "\" is not a file URL of an absolute path";
            return {};
        }
        return result;
    }
    if (!value->isDict()) {
        return {};
    }
    const auto required = [&](std::string_view key) -> const PlistValue * {
        const auto *v = value->find(key);
        if (v == nullptr) {
            problem = "required key \"" + std::string(key) + "\" missing";
        }
        return v;
    };
    const auto *url = required("url");
    const auto *type = url != nullptr ? required("type") : nullptr;
    const auto *checked = type != nullptr ? required("checked") : nullptr;
    if (checked == nullptr) {
        return {};
    }
    if (url->string() == nullptr) {
        problem = "key \"url\" is not a string";
        return {};
    }
    if (type->string() == nullptr) {
        problem = "key \"type\" is not a string";
        return {};
    }
    const auto checkedInt = checked->integer();
    if (!checkedInt) {
        problem = "key \"checked\" is not an integer";
        return {};
    }
    const auto checkedValue = toInt(*checkedInt);
    if (!checkedValue) {
        problem = "key \"checked\" is out of range";
        return {};
    }
    FolderUrl result{ ModuleInfo::substituteHome(*url->string(), homeDir), *type->string(), *checkedValue };
    // Optional: a name, or names, the folder a wildcard stands for must hold.
    if (const PlistValue *markers = value->find("requires")) {
        if (const std::string *one = markers->string()) {
            result.markers.push_back(*one);
        } else if (const PlistArray *many = markers->array()) {
            for (const PlistValue &name : *many) {
                if (name.string() == nullptr) {
                    problem = "key \"requires\" holds something that is not a string";
                    return {};
                }
                result.markers.push_back(*name.string());
            }
        } else {
            problem = "key \"requires\" is neither a string nor an array of strings";
            return {};
        }
    }
    for (const std::string &marker : result.markers) {
        if (marker.empty() || marker.find('/') != std::string::npos || marker == "." || marker == "..") {
            problem = "key \"requires\" holds \"" + marker + "\", which is not a name";
            return {};
        }
    }
    if (result.url.find('*') != std::string::npos && !tree::PathPattern::fromFileUrl(result.url)) {
        problem = "location \"" + result.url + "\" is not a file URL of an absolute path";
        return {};
    }
    return result;
}

// The URL-list conversion. A faulty url dictionary gives an empty list and
// its position and fault in `problem`.
std::vector<FolderUrl> convertUrls(const PlistValue &value, std::string_view homeDir, std::string &problem)
{
    const PlistArray *items = value.array();
    if (items == nullptr) {
        return {};
    }
    bool allStrings = true;
    bool allDicts = true;
    for (const auto &item : *items) {
        allStrings = allStrings && item.isString();
        allDicts = allDicts && item.isDict();
    }
    if (!allStrings && !allDicts) {
        return {};
    }
    std::vector<FolderUrl> out;
    out.reserve(items->size());
    for (std::size_t i = 0; i < items->size(); ++i) {
        std::string itemProblem;
        out.push_back(convertUrl(&(*items)[i], homeDir, itemProblem));
        if (!itemProblem.empty()) {
            problem = "entry " + std::to_string(i) + ": " + itemProblem;
            return {};
        }
    }
    return out;
}

// Builds the records of one catalogue file. The first fault found is kept;
// the caller stops at the end of the entry being read.
class CatalogueReader
{
public:
    CatalogueReader(const std::string &file, std::string_view homeDir)
        : m_file(file)
        , m_homeDir(homeDir)
    {
    }

    Result<std::vector<Module>> read(const PlistValue &root)
    {
        const PlistArray *entries = root.array();
        if (entries == nullptr) {
            return error("", "the root is not an array");
        }
        std::vector<Module> modules;
        modules.reserve(entries->size());
        for (std::size_t i = 0; i < entries->size(); ++i) {
            Module module = readModule((*entries)[i], "module " + std::to_string(i));
            if (m_error) {
                return std::move(*m_error);
            }
            modules.push_back(std::move(module));
        }
        if (modules.size() < RequiredModules) {
            return error("",
                std::to_string(modules.size())
                    + " modules, at least 5 expected (dashboard, system junk, application junk, large and "
                      "old files, more tools)");
        }
        if (const auto n = modules[ModuleInfo::LargeAndOldFileModule].categories.size(); n < LargeAndOldFileBands) {
            return error("module 3", std::to_string(n) + " categories, at least 4 expected (the size and age bands)");
        }
        return modules;
    }

private:
    [[nodiscard]] Error error(const std::string &where, const std::string &what) const
    {
        std::string line = m_file + ": ";
        if (!where.empty()) {
            line += where + ": ";
        }
        line += what;
        return Error{ 0, m_file, std::move(line) };
    }

    void fail(const std::string &where, const std::string &what)
    {
        if (!m_error) {
            m_error = error(where, what);
        }
    }

    const PlistValue *required(const PlistValue &dict, std::string_view key, const std::string &where)
    {
        const PlistValue *v = dict.find(key);
        if (v == nullptr) {
            fail(where, "required key \"" + std::string(key) + "\" missing");
        }
        return v;
    }

    std::string requiredString(const PlistValue &dict, std::string_view key, const std::string &where)
    {
        const PlistValue *v = required(dict, key, where);
        if (v == nullptr) {
            return {};
        }
        if (const auto *s = v->string()) {
            return *s;
        }
        fail(where, "key \"" + std::string(key) + "\" is not a string");
        return {};
    }

    const PlistArray *requiredArray(const PlistValue &dict, std::string_view key, const std::string &where)
    {
        const PlistValue *v = required(dict, key, where);
        if (v == nullptr) {
            return nullptr;
        }
        if (const auto *a = v->array()) {
            return a;
        }
        fail(where, "key \"" + std::string(key) + "\" is not an array");
        return nullptr;
    }

    bool expectDict(const PlistValue &value, const std::string &where)
    {
        if (!value.isDict()) {
            fail(where, "not a dictionary");
            return false;
        }
        return true;
    }

    Module readModule(const PlistValue &entry, const std::string &where)
    {
        Module module;
        if (!expectDict(entry, where)) {
            return module;
        }
        // "categories" is optional: absent or not an array gives an empty list.
        if (const PlistValue *cats = entry.find("categories"); cats != nullptr && cats->isArray()) {
            const PlistArray &items = *cats->array();
            module.categories.reserve(items.size());
            for (std::size_t i = 0; i < items.size() && !m_error; ++i) {
                module.categories.push_back(readCategory(items[i], where + ", category " + std::to_string(i)));
            }
        }
        module.title = requiredString(entry, "title", where);
        module.image = requiredString(entry, "image", where);
        module.tab = requiredString(entry, "tab", where);
        module.description = requiredString(entry, "description", where);
        if (const PlistArray *features = requiredArray(entry, "features", where)) {
            module.features.reserve(features->size());
            for (std::size_t i = 0; i < features->size() && !m_error; ++i) {
                const std::string featureWhere = where + ", feature " + std::to_string(i);
                const PlistValue &f = (*features)[i];
                if (expectDict(f, featureWhere)) {
                    Feature feature;
                    feature.image = requiredString(f, "image", featureWhere);
                    feature.description = requiredString(f, "description", featureWhere);
                    module.features.push_back(std::move(feature));
                }
            }
        }
        return module;
    }

    Category readCategory(const PlistValue &entry, const std::string &where)
    {
        Category category;
        if (!expectDict(entry, where)) {
            return category;
        }
        category.title = requiredString(entry, "title", where);
        category.image = requiredString(entry, "image", where);
        if (const PlistValue *size = entry.find("size")) {
            category.size = size->integer().value_or(0);
        }
        category.description = requiredString(entry, "description", where);

        std::string problem;
        category.url = convertUrl(entry.find("url"), m_homeDir, problem);
        if (!problem.empty()) {
            fail(where + ", \"url\"", problem);
        }
        if (const PlistValue *urls = entry.find("urls")) {
            category.urls = convertUrls(*urls, m_homeDir, problem);
            if (!problem.empty()) {
                fail(where + ", \"urls\"", problem);
            }
        }
        if (const PlistValue *type = entry.find("type"); type != nullptr && type->isString()) {
            category.type = *type->string();
        }
        category.kind = categoryKindOf(category.type);
        if (const PlistValue *st = entry.find("state")) {
            const auto value = st->integer();
            category.state = value ? toInt(*value).value_or(0) : 0;
        }
        // Optional, like "size" and "state": anything but an array of strings gives none.
        if (const PlistValue *apps = entry.find("runningApps"); apps != nullptr && apps->isArray()) {
            for (const PlistValue &app : *apps->array()) {
                if (const std::string *name = app.string(); name != nullptr && !name->empty()) {
                    category.runningApps.push_back(*name);
                }
            }
        }
        // Optional, but a wrong entry is an error: what is excluded protects the user's data.
        if (const PlistValue *exclude = entry.find("exclude")) {
            const PlistArray *items = exclude->array();
            if (items == nullptr) {
                fail(where, "key \"exclude\" is not an array");
            }
            for (std::size_t k = 0; items != nullptr && k < items->size(); ++k) {
                const std::string *text = (*items)[k].string();
                if (text == nullptr || !tree::PathPattern::fromRelative(*text)) {
                    fail(where + ", \"exclude\" " + std::to_string(k),
                        "not a relative path (names or \"*\" patterns, no \".\" or \"..\")");
                    break;
                }
                category.exclude.push_back(*text);
            }
        }
        // Translations are only listed for review, never cleaned; every other
        // location is somewhere the cleaner may empty.
        if (!isReviewOnly(category)) {
            if (!category.url.url.empty()) {
                refuseProtected(category.url, where + ", \"url\"");
            }
            for (std::size_t k = 0; k < category.urls.size(); ++k) {
                refuseProtected(category.urls[k], where + ", \"urls\" " + std::to_string(k));
            }
        }
        return category;
    }

    /// A location that is, or resolves to, a folder Spruce never deletes
    /// from ("/", the home folder or a folder above it, a top-level system
    /// folder or a folder directly inside one) is a catalogue error: listing
    /// its entries for cleaning would offer the whole home or system.
    void refuseProtected(const FolderUrl &location, const std::string &where)
    {
        const std::optional<std::string> path = format::pathFromFileUrl(location.url);
        if (!path) {
            return; // an unparsable location lists nothing
        }
        if (!m_protection) {
            m_protection = tree::Protection::forHome(std::string(m_homeDir));
        }
        // As written, where it leads, and by the identity of the folder a scan would open there.
        const bool refused = m_protection->isProtectedLocation(*path);
        if (refused) {
            fail(where, "location \"" + location.url + "\" is a protected folder and cannot be cleaned");
        }
    }

    const std::string &m_file;
    std::string_view m_homeDir;
    std::shared_ptr<const tree::Protection> m_protection; // built on the first location checked
    std::optional<Error> m_error;
};

// The catalogue file to read: the path set on the command line, else the resource.
Result<std::string> cataloguePath()
{
    if (!state().path.empty()) {
        return state().path;
    }
    const std::string name = std::string(ModuleInfo::bundlename) + "Modules";
    const auto &locator = platform::services().resources;
    if (auto found = locator.path(name, "plist")) {
        return std::move(*found);
    }
    std::string searched;
    for (const auto &dir : locator.searchDirs()) {
        searched += searched.empty() ? dir : ", " + dir;
    }
    return Error{ ENOENT,
        name + ".plist",
        name + ".plist: resource not found (searched: " + (searched.empty() ? "nowhere" : searched) + ")" };
}

[[noreturn]] void dieWithCatalogueError(std::string line)
{
    // One line, whatever bytes the path holds.
    for (char &c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str()); // NOLINT(cppcoreguidelines-pro-type-vararg)
    std::fflush(nullptr);
    // _Exit, not exit: scan workers may already be running, and static
    // destructors must not pull the services out from under them.
    std::_Exit(3);
}

} // namespace

std::vector<Module> &ModuleInfo::modules()
{
    CatalogueState &s = state();
    std::call_once(s.loadOnce, [&s] {
        auto path = cataloguePath();
        if (!path) {
            dieWithCatalogueError(path.error().message);
        }
        auto loaded = loadCatalogue(path.value(), platform::services().user.homeDir);
        if (!loaded) {
            dieWithCatalogueError(loaded.error().message);
        }
        s.modules = std::move(loaded).value();
    });
    return s.modules;
}

void ModuleInfo::setCataloguePath(std::string path)
{
    state().path = std::move(path);
}

CategoryKind categoryKindOf(std::string_view type)
{
    if (type == "Photo") {
        return CategoryKind::Photo;
    }
    if (type == "iTunes") {
        return CategoryKind::DeviceBackup;
    }
    if (type == "Mail") {
        return CategoryKind::Mail;
    }
    if (type == "Localization") {
        return CategoryKind::Localization;
    }
    if (type == "TaggedCaches") {
        return CategoryKind::TaggedCaches;
    }
    if (type == "Trash") {
        return CategoryKind::Trash;
    }
    static constexpr std::pair<std::string_view, CategoryKind> SystemKinds[] = {
        { "AptCache", CategoryKind::AptCache },
        { "Journal", CategoryKind::Journal },
        { "CrashDumps", CategoryKind::CrashDumps },
        { "SnapRevisions", CategoryKind::SnapRevisions },
        { "FlatpakRuntimes", CategoryKind::FlatpakRuntimes },
        { "VarTmp", CategoryKind::OldTemporaryFiles },
    };
    for (const auto &[name, kind] : SystemKinds) {
        if (type == name) {
            return kind;
        }
    }
    return CategoryKind::Folder;
}

void ModuleInfo::setModulesForTesting(std::vector<Module> modules)
{
    CatalogueState &s = state();
    std::call_once(s.loadOnce, [] {});
    s.modules = std::move(modules);
}

Result<std::vector<Module>> ModuleInfo::loadCatalogue(const std::string &path, const std::string &homeDir)
{
    // The shipped catalogue has about a thousand nodes; one of a user's own
    // may be many times larger, but never a million.
    constexpr std::size_t CatalogueNodes = std::size_t{ 1 } << 16U;
    auto root = format::loadPlistFile(path, CatalogueNodes);
    if (!root) {
        const Error &e = root.error();
        const std::string what = e.code != 0 ? "cannot be read: " + e.message : e.message;
        return Error{ e.code, path, path + ": " + what };
    }
    // A relative or empty home would turn "file://~/.cache/" into a location
    // somewhere else entirely, and the catalogue says what may be deleted.
    if (homeDir.empty() || homeDir.front() != '/') {
        return Error{ 0, path, path + ": home folder \"" + homeDir + "\" is not an absolute path" };
    }
    return CatalogueReader(path, homeDir).read(root.value());
}

FolderUrl ModuleInfo::wrappCusomterUrl(const PlistValue *value)
{
    std::string problem;
    return convertUrl(value, platform::services().user.homeDir, problem);
}

std::vector<FolderUrl> ModuleInfo::wrappCusomterUrls(const PlistValue &value)
{
    std::string problem;
    return convertUrls(value, platform::services().user.homeDir, problem);
}

std::string ModuleInfo::substituteHome(std::string_view url, std::string_view homeDir)
{
    while (!homeDir.empty() && homeDir.back() == '/') {
        homeDir.remove_suffix(1);
    }
    const std::string replacement = "file://" + format::percentEncodePath(homeDir) + "/";
    std::string out;
    out.reserve(url.size() + replacement.size());
    std::size_t pos = 0;
    for (std::size_t hit = url.find(HomeUrlPrefix); hit != std::string_view::npos; hit = url.find(HomeUrlPrefix, pos)) {
        out.append(url.substr(pos, hit - pos));
        out += replacement;
        pos = hit + HomeUrlPrefix.size();
    }
    out.append(url.substr(pos));
    return out;
}

} // namespace core
