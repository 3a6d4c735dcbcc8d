// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/Protection.h"

#include "tree/DirectoryIo.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <vector>

namespace core::tree {

namespace {

using detail::UniqueFd;

/// Top-level folders of the system itself: a home folder of one of these names
/// does not make the items directly in it deletable.
constexpr std::array<std::string_view, 20> SystemTopLevelFolders = {
    "bin",
    "boot",
    "dev",
    "etc",
    "home",
    "lib",
    "lib32",
    "lib64",
    "libx32",
    "media",
    "mnt",
    "opt",
    "proc",
    "run",
    "sbin",
    "srv",
    "sys",
    "tmp",
    "usr",
    "var",
};

/// The components of an absolute path, empty ones (repeated or trailing "/")
/// dropped. nullopt when the path is not absolute or holds "." or "..".
std::optional<std::vector<std::string_view>> absoluteComponents(std::string_view path)
{
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") {
            return std::nullopt;
        }
        if (!part.empty()) {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

std::optional<std::string> realPath(const std::string &path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

/// `path` with repeated and trailing "/" dropped; nullopt when it is not
/// absolute or holds "." or "..".
std::optional<std::string> tidied(const std::string &path)
{
    const auto parts = absoluteComponents(path);
    if (!parts) {
        return std::nullopt;
    }
    std::string out;
    for (const std::string_view part : *parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? std::string("/") : out;
}

FileId idOf(const detail::EntryStat &st)
{
    return FileId{ st.dev, st.inode };
}

/// Kernel interfaces whose entries are no one's data and may number in the
/// thousands (/proc holds a folder per process): their children are not listed.
bool isPseudoFileSystem(int fd)
{
    struct statfs fs
    {
    };
    if (::fstatfs(fd, &fs) != 0) {
        return false;
    }
    const auto type = static_cast<unsigned long>(fs.f_type);
    return type == PROC_SUPER_MAGIC || type == SYSFS_MAGIC || type == DEVPTS_SUPER_MAGIC || type == CGROUP2_SUPER_MAGIC;
}

std::string joined(const std::string &folder, std::string_view name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

} // namespace

bool isProtectedPath(const std::string &path, const std::string &homeDir)
{
    const auto parts = absoluteComponents(path);
    if (!parts || parts->size() <= 1) {
        return true;
    }
    const auto home = absoluteComponents(homeDir);
    if (home && parts->size() <= home->size() && std::equal(parts->begin(), parts->end(), home->begin())) {
        return true; // the home folder or a folder above it
    }
    if (parts->size() == 2) {
        const bool inTopLevelHome = home && home->size() == 1 && home->front() == parts->front()
            && std::find(SystemTopLevelFolders.begin(), SystemTopLevelFolders.end(), home->front())
                == SystemTopLevelFolders.end();
        return !inTopLevelHome;
    }
    return false;
}

std::shared_ptr<const Protection> Protection::forHome(const std::string &homeDir)
{
    auto protection = std::make_shared<Protection>();
    protection->m_homeDir = homeDir;
    protection->m_realHome = homeDir.empty() ? std::nullopt : realPath(homeDir);

    // The home and every folder above where it really is.
    std::optional<FileId> home;
    bool homeIsOwnTopLevel = false;
    if (!homeDir.empty() && homeDir.front() == '/') {
        const UniqueFd fd(::open(homeDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
        detail::EntryStat st;
        if (fd.isValid() && detail::statOpened(fd.get(), st) == 0) {
            home = idOf(st);
            std::string where = protection->m_realHome.value_or(homeDir);
            (void)detail::forEachFolderUpward(fd.get(), [&](FileId id) {
                protection->m_folders.emplace(id, where);
                where = detail::parentPath(where);
                return false;
            });
        }
        const std::string realHome = protection->m_realHome.value_or(homeDir);
        if (const auto parts = absoluteComponents(realHome); parts && parts->size() == 1) {
            homeIsOwnTopLevel = std::find(SystemTopLevelFolders.begin(), SystemTopLevelFolders.end(), parts->front())
                == SystemTopLevelFolders.end();
        }
    }

    // "/", the top-level folders and the folders directly inside them.
    const UniqueFd root(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    detail::EntryStat rootStat;
    if (!root.isValid() || detail::statOpened(root.get(), rootStat) != 0) {
        return protection;
    }
    protection->m_folders.emplace(idOf(rootStat), "/");
    protection->m_entriesProtected.emplace(idOf(rootStat), true);
    std::vector<char> buffer(detail::DirentBufferSize);
    std::vector<std::string> topLevel;
    detail::forEachEntry(root.get(), buffer, [&](const char *name, unsigned char, std::uint64_t) {
        topLevel.emplace_back(name);
    });
    for (const std::string &name : topLevel) {
        detail::EntryStat st;
        // A mount point is described by what is mounted there: its identity is the one to protect.
        if (detail::statEntry(root.get(), name.c_str(), st) != 0 || !S_ISDIR(st.mode)) {
            continue;
        }
        const std::string path = "/" + name;
        protection->m_folders.emplace(idOf(st), path);
        const bool ownHome = homeIsOwnTopLevel && home && *home == idOf(st);
        if (!ownHome) {
            protection->m_entriesProtected.emplace(idOf(st), true);
        }
        const UniqueFd folder(::openat(root.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (ownHome || !folder.isValid() || isPseudoFileSystem(folder.get())) {
            continue;
        }
        std::vector<std::string> children;
        detail::forEachEntry(folder.get(), buffer, [&](const char *child, unsigned char type, std::uint64_t) {
            if (type == DT_DIR || type == DT_UNKNOWN) {
                children.emplace_back(child);
            }
        });
        for (const std::string &child : children) {
            detail::EntryStat childStat;
            if (detail::statEntry(folder.get(), child.c_str(), childStat) == 0 && S_ISDIR(childStat.mode)) {
                protection->m_folders.emplace(idOf(childStat), joined(path, child));
            }
        }
    }
    return protection;
}

std::optional<std::string> Protection::protectedFolder(FileId id) const
{
    const auto found = m_folders.find(id);
    if (found == m_folders.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool Protection::protectsEntriesOf(FileId folder) const
{
    return m_entriesProtected.contains(folder);
}

bool Protection::refusesAnchor(const std::string &writtenPath, const std::optional<std::string> &real, FileId id) const
{
    const std::optional<std::string> folder = protectedFolder(id);
    if (!folder) {
        return false;
    }
    // The folder under its own name (the home walk at the home) is fine;
    // the same folder reached through a link or a bind mount is not.
    const std::optional<std::string> written = tidied(writtenPath);
    auto ownName = [&](const std::optional<std::string> &path) {
        return path
            && (*path == *folder || (path == tidied(m_homeDir) && m_homeDir != "")
                || (m_realHome && *path == *m_realHome));
    };
    return !(ownName(written) && (!real || ownName(tidied(*real))));
}

bool Protection::isProtectedPathForHome(const std::string &path) const
{
    if (isProtectedPath(path, m_homeDir)) {
        return true;
    }
    return m_realHome && *m_realHome != m_homeDir && isProtectedPath(path, *m_realHome);
}

bool Protection::isProtectedLocation(const std::string &path) const
{
    if (isProtectedPathForHome(path)) {
        return true;
    }
    const std::string written = detail::stripTrailingSlashes(path);
    const std::string parent = detail::parentPath(written);
    if (parent == ".") {
        return true;
    }
    if (const std::optional<std::string> resolvedParent = realPath(parent)) {
        const std::size_t slash = written.rfind('/');
        if (isProtectedPathForHome(joined(*resolvedParent, std::string_view(written).substr(slash + 1)))) {
            return true;
        }
    }
    // What a scan would open there, following links as a start location is.
    const UniqueFd fd(::open(written.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)); // NOLINT
    detail::EntryStat st;
    if (!fd.isValid() || detail::statOpened(fd.get(), st) != 0) {
        return false; // nothing there (yet): the written path is all there is
    }
    if (const std::optional<std::string> real = realPath(written); real && isProtectedPathForHome(*real)) {
        return true;
    }
    return protectedFolder(idOf(st)).has_value();
}

} // namespace core::tree
