// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/KeptItems.h"

#include "tree/DirectoryIo.h"

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace core::tree {

namespace {

thread_local const KeptItems *t_kept = nullptr;

} // namespace

bool FileIdSet::identify(const std::string &path, bool follow, FileId &id)
{
    struct stat st
    {
    };
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
        return false;
    }
    id = detail::idOf(st);
    return true;
}

std::shared_ptr<const KeptItems> KeptItems::resolve(const std::vector<std::string> &paths)
{
    return resolve(paths, nullptr);
}

std::shared_ptr<const KeptItems> KeptItems::resolve(const std::vector<std::string> &paths, const KeptItems *base)
{
    auto kept = std::make_shared<KeptItems>();
    if (base != nullptr) {
        kept->m_ids = base->m_ids;
        kept->m_paths = base->m_paths;
    }
    for (const std::string &path : paths) {
        struct stat st
        {
        };
        if (::lstat(path.c_str(), &st) != 0) {
            continue; // gone: it matches nothing
        }
        kept->m_ids.insert(detail::idOf(st));
        if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) == 0) {
            kept->m_ids.insert(detail::idOf(st)); // a link keeps what it leads to as well
        }
        kept->m_paths.push_back(path);
    }
    if (kept->m_ids.empty()) {
        return nullptr;
    }
    return kept;
}

bool KeptItems::coversFolder(int dirFd) const
{
    return detail::forEachFolderUpward(dirFd, [this](FileId id) {
        return contains(id);
    });
}

bool KeptItems::covers(const std::string &path) const
{
    struct stat st
    {
    };
    const bool present = ::lstat(path.c_str(), &st) == 0;
    if (present && contains(detail::idOf(st))) {
        return true;
    }
    if (present && S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) == 0) {
        // A link is judged as what it leads to as well: a walk starting there goes on below the target.
        if (contains(detail::idOf(st))) {
            return true;
        }
        const detail::UniqueFd target(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (target.isValid() && coversFolder(target.get())) {
            return true;
        }
    }
    const detail::UniqueFd folder(::open(detail::parentPath(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder.isValid() && coversFolder(folder.get());
}

bool KeptItems::holdsKeptItem(FileId folder) const
{
    std::call_once(m_ancestorsOnce, [this] {
        for (const std::string &path : m_paths) {
            // Above the item as written, and above what a link leads to (a file or a folder).
            const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
            const std::string aboveTarget = target ? detail::parentPath(target.get()) : detail::parentPath(path);
            for (const std::string &start : { detail::parentPath(path), aboveTarget }) {
                const detail::UniqueFd fd(::open(start.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
                if (fd.isValid()) {
                    (void)detail::forEachFolderUpward(fd.get(), [this](FileId id) {
                        m_ancestors.insert(id);
                        return false;
                    });
                }
            }
        }
    });
    return m_ancestors.contains(folder);
}

const KeptItems *keptItemsHere()
{
    return t_kept;
}

KeepScope::KeepScope(const KeptItems *kept)
    : m_previous(t_kept)
{
    t_kept = kept;
}

KeepScope::~KeepScope()
{
    t_kept = m_previous;
}

} // namespace core::tree
