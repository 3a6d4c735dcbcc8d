// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/PathPattern.h"

#include "format/FileUrl.h"
#include "tree/DirectoryIo.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace core::tree {

namespace {

/// `text` with its "%XX" escapes decoded; nullopt for a broken escape.
std::optional<std::string> percentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = format::hexDigitValue(text[i + 1]);
        const int low = format::hexDigitValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>((high << 4) | low);
        i += 2;
    }
    return out;
}

/// Splits `path` at "/" into components (empty ones dropped) and each at
/// "*" into pieces, decoding the pieces with `decode`.
template<typename Decode> std::optional<PathPattern> parse(std::string_view path, bool absolute, Decode &&decode)
{
    PathPattern pattern;
    pattern.absolute = absolute;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view raw = path.substr(start, end - start);
        start = end + 1;
        if (raw.empty()) {
            continue;
        }
        PatternComponent component;
        std::size_t from = 0;
        for (;;) {
            const std::size_t star = raw.find('*', from);
            const std::string_view piece = raw.substr(from, star == std::string_view::npos ? raw.npos : star - from);
            std::optional<std::string> decoded = decode(piece);
            if (!decoded || decoded->find('/') != std::string::npos || decoded->find('\0') != std::string::npos) {
                return std::nullopt;
            }
            component.pieces.push_back(std::move(*decoded));
            if (star == std::string_view::npos) {
                break;
            }
            from = star + 1;
        }
        if (!component.isPattern() && (component.pieces[0] == "." || component.pieces[0] == "..")) {
            return std::nullopt;
        }
        pattern.components.push_back(std::move(component));
    }
    return pattern;
}

bool holdsAny(int dirFd, const std::vector<std::string> &names)
{
    return std::any_of(names.begin(), names.end(), [dirFd](const std::string &name) {
        struct stat st
        {
        };
        return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    });
}

/// Whether the folder open at `fd` lies inside (or is) the folder `confine`
/// and on its device.
bool liesInside(int fd, const std::string &confine)
{
    struct stat outer
    {
    };
    struct stat inner
    {
    };
    if (::stat(confine.c_str(), &outer) != 0 || ::fstat(fd, &inner) != 0 || inner.st_dev != outer.st_dev) {
        return false;
    }
    const FileId target = detail::idOf(outer);
    return detail::forEachFolderUpward(fd, [target](FileId id) {
        return id == target;
    });
}

class Expansion
{
public:
    Expansion(const PathPattern &pattern, const ExpandOptions &options)
        : m_pattern(pattern)
        , m_options(options)
        , m_buffer(detail::DirentBufferSize)
    {
        for (std::size_t i = 0; i < pattern.components.size(); ++i) {
            if (pattern.components[i].isPattern()) {
                m_lastWildcard = i;
            }
        }
    }

    std::vector<std::string> run(const std::string &base)
    {
        const auto &components = m_pattern.components;
        if (components.empty()) {
            return {};
        }
        // The fixed beginning: up to the first wildcard, and never the last component.
        std::size_t fixed = 0;
        while (fixed + 1 < components.size() && !components[fixed].isPattern()) {
            ++fixed;
        }
        std::string path = m_pattern.absolute ? std::string() : detail::stripTrailingSlashes(base);
        if (path == "/") {
            path.clear();
        }
        for (std::size_t i = 0; i < fixed; ++i) {
            path += "/" + components[i].pieces[0];
        }
        const std::string opened = path.empty() ? std::string("/") : path;
        const detail::UniqueFd fd(::open(opened.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st
        {
        };
        if (!fd.isValid() || ::fstat(fd.get(), &st) != 0) {
            return {};
        }
        const std::string &confine = m_options.confineTo;
        if (!confine.empty() && (opened == confine || opened.starts_with(confine + "/"))
            && !liesInside(fd.get(), confine)) {
            return {};
        }
        descend(fd.get(), static_cast<std::uint64_t>(st.st_dev), path, fixed);
        std::sort(m_found.begin(), m_found.end());
        return std::move(m_found);
    }

private:
    void descend(int dirFd, std::uint64_t dev, const std::string &path, std::size_t index)
    {
        const PatternComponent &component = m_pattern.components[index];
        const bool last = index + 1 == m_pattern.components.size();
        std::vector<std::string> names;
        if (component.isPattern()) {
            detail::forEachEntry(dirFd, m_buffer, [&](const char *name, unsigned char, std::uint64_t) {
                if (component.matches(name)) {
                    names.emplace_back(name);
                }
            });
            std::sort(names.begin(), names.end());
        } else {
            names.push_back(component.pieces[0]);
        }
        const bool checkMarkers = index == m_lastWildcard && !m_options.markers.empty();
        for (const std::string &name : names) {
            detail::EntryStat entry;
            if (detail::statEntry(dirFd, name.c_str(), entry) != 0) {
                continue;
            }
            const bool isDir = S_ISDIR(entry.mode);
            if (last) {
                if (!matchesKind(entry, dev)) {
                    continue;
                }
                if (checkMarkers) {
                    const detail::UniqueFd child(
                        ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                    if (!child.isValid() || !holdsAny(child.get(), m_options.markers)) {
                        continue;
                    }
                }
                m_found.push_back(path + "/" + name);
                continue;
            }
            if (!isDir || entry.mountRoot || entry.dev != dev) {
                continue;
            }
            std::uint64_t childDev = 0;
            const std::string childPath = path + "/" + name;
            const detail::UniqueFd child(detail::openChildDirectory(dirFd, dev, name.c_str(), childDev, &childPath));
            if (!child.isValid() || (checkMarkers && !holdsAny(child.get(), m_options.markers))) {
                continue;
            }
            descend(child.get(), childDev, childPath, index + 1);
        }
    }

    [[nodiscard]] bool matchesKind(const detail::EntryStat &entry, std::uint64_t dev) const
    {
        switch (m_options.last) {
        case MatchKind::Folder:
            return S_ISDIR(entry.mode) && !entry.mountRoot && entry.dev == dev;
        case MatchKind::File:
            return S_ISREG(entry.mode) && entry.dev == dev;
        case MatchKind::Any:
            return true;
        }
        return false;
    }

    const PathPattern &m_pattern;
    const ExpandOptions &m_options;
    std::vector<char> m_buffer;
    std::size_t m_lastWildcard = static_cast<std::size_t>(-1);
    std::vector<std::string> m_found;
};

} // namespace

bool PatternComponent::matches(std::string_view name) const
{
    if (!isPattern()) {
        return name == pieces[0];
    }
    if (!name.empty() && name.front() == '.' && pieces.front().empty()) {
        return false; // a wildcard never stands for a leading "."
    }
    if (!name.starts_with(pieces.front()) || name.size() < pieces.front().size() + pieces.back().size()
        || !name.ends_with(pieces.back())) {
        return false;
    }
    // The middle pieces in order, each at its first place after the one before.
    std::size_t pos = pieces.front().size();
    const std::size_t end = name.size() - pieces.back().size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        const std::size_t hit = name.substr(0, end).find(pieces[i], pos);
        if (hit == std::string_view::npos) {
            return false;
        }
        pos = hit + pieces[i].size();
    }
    return true;
}

bool PathPattern::hasWildcard() const
{
    return std::any_of(components.begin(), components.end(), [](const PatternComponent &c) {
        return c.isPattern();
    });
}

std::optional<PathPattern> PathPattern::fromFileUrl(std::string_view url)
{
    constexpr std::string_view Scheme = "file://";
    if (!url.starts_with(Scheme)) {
        return std::nullopt;
    }
    url.remove_prefix(Scheme.size());
    if (url.empty() || url.front() != '/') {
        return std::nullopt;
    }
    return parse(url, true, percentDecoded);
}

std::optional<PathPattern> PathPattern::fromRelative(std::string_view path)
{
    if (path.empty() || path.front() == '/') {
        return std::nullopt;
    }
    // Trailing "/" aside, an empty component is a mistake in the catalogue.
    std::string_view trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '/') {
        trimmed.remove_suffix(1);
    }
    if (trimmed.find("//") != std::string_view::npos) {
        return std::nullopt;
    }
    auto pattern = parse(trimmed, false, [](std::string_view piece) -> std::optional<std::string> {
        return std::string(piece);
    });
    if (pattern && pattern->components.empty()) {
        return std::nullopt;
    }
    return pattern;
}

std::vector<std::string> expandPattern(
    const PathPattern &pattern, const std::string &base, const ExpandOptions &options)
{
    return Expansion(pattern, options).run(base);
}

} // namespace core::tree
