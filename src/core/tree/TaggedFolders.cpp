// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/TaggedFolders.h"

#include "tree/DirectoryIo.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace core::tree {

namespace {

/// One open folder of the search and the subfolders it has left to visit.
struct Frame
{
    detail::UniqueFd fd;
    std::uint64_t dev = 0;
    int level = 1; // level of the folder's entries
    std::size_t pathLength = 0; // of the folder's path in the search's path
    std::string subdirs; // NUL-terminated names, back to back
    std::size_t pos = 0; // next name in subdirs
};

/// The depth-first search: one descriptor per level with subfolders left.
class TagSearch
{
public:
    explicit TagSearch(const TagSearchOptions &options)
        : m_options(options)
        , m_kept(options.kept)
        , m_buffer(detail::DirentBufferSize)
    {
    }

    std::vector<std::string> run(const std::string &rootPath)
    {
        std::uint64_t dev = 0;
        const int fd = detail::openRoot(rootPath, dev, m_kept);
        if (fd < 0) {
            return {};
        }
        m_path = detail::rootDirPath(rootPath);
        visit(detail::UniqueFd(fd), dev, 1, true);
        while (!m_stack.empty()) {
            Frame &top = m_stack.back();
            if (top.pos >= top.subdirs.size()) {
                m_stack.pop_back();
                continue;
            }
            const char *name = top.subdirs.data() + top.pos;
            top.pos += std::strlen(name) + 1;
            m_path.resize(top.pathLength);
            m_path += '/';
            m_path += name;
            std::uint64_t childDev = 0;
            detail::UniqueFd child(detail::openChildDirectory(top.fd.get(), top.dev, name, childDev, &m_path));
            if (child.isValid()) {
                visit(std::move(child), childDev, top.level + 1, false);
            }
        }
        std::sort(m_found.begin(), m_found.end());
        return std::move(m_found);
    }

private:
    /// Reads the folder open at `fd` (path m_path): lists it when it is a
    /// tagged cache, else pushes it with the subfolders to visit.
    void visit(detail::UniqueFd fd, std::uint64_t dev, int level, bool isRoot)
    {
        Frame frame;
        frame.dev = dev;
        frame.level = level;
        frame.pathLength = m_path.size();
        bool tagSeen = false;
        bool venvSeen = false;
        const bool enter = level < detail::MaxLevel;
        detail::forEachEntry(fd.get(), m_buffer, [&](const char *name, unsigned char type, std::uint64_t inode) {
            if (detail::isKeptEntry(m_kept, dev, inode)) {
                return;
            }
            if (type == DT_UNKNOWN) {
                struct stat st
                {
                };
                if (::fstatat(fd.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    return;
                }
                type = S_ISDIR(st.st_mode) ? DT_DIR : (S_ISREG(st.st_mode) ? DT_REG : DT_LNK);
            }
            if (type == DT_REG && CacheTagName == name) {
                tagSeen = true;
            } else if (VirtualEnvMarker == name) {
                venvSeen = true; // whatever its type: a project's environment is never proposed
            } else if (type == DT_DIR && enter
                && !(m_options.skipped != nullptr && m_options.skipped->contains(FileId{ dev, inode }))) {
                frame.subdirs.append(name, std::strlen(name) + 1);
            }
        });
        if (tagSeen && !isRoot && !venvSeen) {
            struct stat self
            {
            };
            if (::fstat(fd.get(), &self) == 0 && isCacheTag(fd.get(), CacheTagName.data(), self.st_uid)) {
                const FileId id{ static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino) };
                if (listable(id)) {
                    if (!m_options.owner || self.st_uid == *m_options.owner) {
                        m_found.push_back(m_path);
                    }
                    return; // a cache: nothing inside it is searched
                }
            }
        }
        if (!frame.subdirs.empty()) {
            frame.fd = std::move(fd);
            m_stack.push_back(std::move(frame));
        }
    }

    /// Whether a tagged folder may be listed: not one of the user's own
    /// folders, not holding another category's location or a kept item.
    [[nodiscard]] bool listable(FileId id) const
    {
        const auto holds = [id](const FileIdSet *set) {
            return set != nullptr && set->contains(id);
        };
        return !holds(m_options.holdingSkipped) && !holds(m_options.neverListed)
            && !(m_kept != nullptr && m_kept->holdsKeptItem(id));
    }

    const TagSearchOptions &m_options;
    const KeptItems *m_kept; // not owned
    std::vector<char> m_buffer;
    std::vector<Frame> m_stack;
    std::string m_path; // of the folder being read ("" for the root "/")
    std::vector<std::string> m_found;
};

} // namespace

bool isCacheTag(int dirFd, const char *name, std::optional<std::uint32_t> owner)
{
    const detail::UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st
    {
    };
    if (!fd.isValid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_size < static_cast<off_t>(CacheTagSignature.size()) || (owner && st.st_uid != *owner)) {
        return false;
    }
    std::array<char, CacheTagSignature.size()> head{};
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd.get(), head.data() + got, head.size() - got);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return std::string_view(head.data(), head.size()) == CacheTagSignature;
}

std::vector<std::string> findTaggedFolders(const std::string &rootPath, const TagSearchOptions &options)
{
    return TagSearch(options).run(rootPath);
}

} // namespace core::tree
