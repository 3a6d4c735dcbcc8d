// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysjunk/Locations.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core::sysjunk {

namespace {

bool isLower(char c)
{
    return c >= 'a' && c <= 'z';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return isLower(c) || (c >= 'A' && c <= 'Z');
}

bool allOf(std::string_view text, bool (*ok)(char))
{
    return !text.empty() && std::all_of(text.begin(), text.end(), ok);
}

std::int64_t changeOf(const struct stat &st)
{
    return std::max<std::int64_t>(st.st_mtim.tv_sec, st.st_ctim.tv_sec);
}

/// Depth below which a folder's entries are not looked at: deeper trees are
/// judged incomplete rather than walked without end.
constexpr int MaxDepth = 256;

/// Takes the newest change of everything in the open folder `fd` (closed here).
void newestBelow(int fd, dev_t device, int depth, Newest &newest)
{
    DIR *dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        newest.complete = false;
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st
        {
        };
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            newest.complete = false;
            continue;
        }
        newest.seconds = std::max(newest.seconds, changeOf(st));
        if (!S_ISDIR(st.st_mode)) {
            continue;
        }
        if (st.st_dev != device || depth >= MaxDepth) {
            newest.complete = false; // a mount point, or too deep: not looked into
            continue;
        }
        const int child = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) {
            newest.complete = false;
            continue;
        }
        newestBelow(child, device, depth + 1, newest);
    }
    ::closedir(dir);
}

bool isJournalMachineFolder(std::string_view name)
{
    // journald names them by the machine id: 32 lowercase hex digits.
    return name.size() == 32 && std::all_of(name.begin(), name.end(), [](char c) {
        return isDigit(c) || (c >= 'a' && c <= 'f');
    });
}

} // namespace

std::string under(std::string_view root, std::string_view location)
{
    std::string path(root);
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += location;
    return path;
}

bool isPlainName(std::string_view name)
{
    if (name.empty() || name.size() > 255 || name == "." || name == "..") {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || byte < 0x20 || byte == 0x7F;
    });
}

bool isAptArchiveName(std::string_view name)
{
    return isPlainName(name) && name.size() > 4 && name.ends_with(".deb") && name.front() != '.';
}

bool isAptPartialName(std::string_view name)
{
    constexpr std::string_view Failed = ".FAILED";
    if (name.ends_with(Failed)) {
        name.remove_suffix(Failed.size());
    }
    return isAptArchiveName(name);
}

bool isCoredumpName(std::string_view name)
{
    return isPlainName(name) && name.size() > 5 && name.starts_with("core.");
}

bool isCrashReportName(std::string_view name)
{
    if (!isPlainName(name) || name.front() == '.') {
        return false;
    }
    for (const std::string_view suffix : { std::string_view(".crash"), std::string_view(".upload") }) {
        if (name.size() > suffix.size() && name.ends_with(suffix)) {
            return true;
        }
    }
    return name.size() > 9 && name.ends_with(".uploaded");
}

bool isKdumpFolderName(std::string_view name)
{
    return name.size() == 12 && allOf(name, isDigit);
}

bool isVarTmpCandidate(std::string_view name)
{
    return isPlainName(name) && !name.starts_with("systemd-private-");
}

bool isArchivedJournalName(std::string_view name)
{
    if (!isPlainName(name) || name.front() == '.') {
        return false;
    }
    if (name.ends_with(".journal~")) {
        return name.size() > 9;
    }
    return name.ends_with(".journal") && name.find('@') != std::string_view::npos;
}

bool isSnapName(std::string_view name)
{
    if (name.empty() || name.size() > 40 || name.front() == '-' || name.back() == '-'
        || name.find("--") != std::string_view::npos) {
        return false;
    }
    bool letter = false;
    for (const char c : name) {
        if (isLower(c)) {
            letter = true;
        } else if (!isDigit(c) && c != '-') {
            return false;
        }
    }
    return letter;
}

bool isSnapRevision(std::string_view revision)
{
    if (revision.starts_with("x")) {
        revision.remove_prefix(1);
    }
    return revision.size() <= 12 && allOf(revision, isDigit) && revision.front() != '0';
}

std::optional<SnapRevision> parseSnapRevision(std::string_view id)
{
    const std::size_t cut = id.rfind('_');
    if (cut == std::string_view::npos) {
        return std::nullopt;
    }
    SnapRevision revision{ std::string(id.substr(0, cut)), std::string(id.substr(cut + 1)) };
    if (!isSnapName(revision.name) || !isSnapRevision(revision.revision)) {
        return std::nullopt;
    }
    return revision;
}

bool isFlatpakId(std::string_view id)
{
    if (id.empty() || id.size() > 255) {
        return false;
    }
    std::size_t elements = 0;
    std::size_t start = 0;
    while (start <= id.size()) {
        const std::size_t dot = std::min(id.find('.', start), id.size());
        const std::string_view element = id.substr(start, dot - start);
        if (element.empty() || isDigit(element.front()) || element.front() == '-') {
            return false;
        }
        for (const char c : element) {
            if (!isLetter(c) && !isDigit(c) && c != '_' && c != '-') {
                return false;
            }
        }
        ++elements;
        start = dot + 1;
    }
    return elements >= 2;
}

bool isFlatpakArch(std::string_view arch)
{
    return arch.size() <= 32 && allOf(arch, [](char c) {
        return isLower(c) || isDigit(c) || c == '_';
    });
}

bool isFlatpakBranch(std::string_view branch)
{
    if (branch.empty() || branch.size() > 64 || !(isLetter(branch.front()) || isDigit(branch.front()))) {
        return false;
    }
    return allOf(branch, [](char c) {
        return isLetter(c) || isDigit(c) || c == '_' || c == '-' || c == '.';
    });
}

std::optional<FlatpakRef> parseFlatpakRef(std::string_view text)
{
    const std::size_t first = text.find('/');
    const std::size_t second = first == std::string_view::npos ? first : text.find('/', first + 1);
    if (second == std::string_view::npos || text.find('/', second + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    FlatpakRef ref{ std::string(text.substr(0, first)),
        std::string(text.substr(first + 1, second - first - 1)),
        std::string(text.substr(second + 1)) };
    if (!isFlatpakId(ref.id) || !isFlatpakArch(ref.arch) || !isFlatpakBranch(ref.branch)) {
        return std::nullopt;
    }
    return ref;
}

Result<Newest> newestChange(const std::string &path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        return Error::fromErrno(errno, path);
    }
    Newest newest{ changeOf(st), true };
    if (!S_ISDIR(st.st_mode)) {
        return newest;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        newest.complete = false;
        return newest;
    }
    newestBelow(fd, st.st_dev, 1, newest);
    return newest;
}

Result<JournalUse> archivedJournals(std::string_view root)
{
    const std::string folder = under(root, JournalFolder);
    JournalUse use;
    DIR *top = ::opendir(folder.c_str());
    if (top == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return use;
        }
        return Error::fromErrno(errno, folder);
    }
    while (const dirent *machine = ::readdir(top)) {
        if (!isJournalMachineFolder(machine->d_name)) {
            continue;
        }
        const std::string machinePath = folder + "/" + machine->d_name;
        const int fd = ::openat(::dirfd(top), machine->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (dir == nullptr) {
            if (fd >= 0) {
                ::close(fd);
            }
            use.unreadable.push_back(machinePath);
            continue;
        }
        while (const dirent *entry = ::readdir(dir)) {
            struct stat st
            {
            };
            if (!isArchivedJournalName(entry->d_name)
                || ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
                continue;
            }
            use.bytes += st.st_size;
            use.newest = std::max<std::int64_t>(use.newest, st.st_mtim.tv_sec);
            ++use.files;
        }
        ::closedir(dir);
    }
    ::closedir(top);
    return use;
}

} // namespace core::sysjunk
