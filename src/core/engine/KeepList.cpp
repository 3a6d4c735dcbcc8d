// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/KeepList.h"

#include "engine/TextSplit.h"
#include "format/FileUrl.h"
#include "platform/Services.h"
#include "tree/DirectoryIo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace core {

namespace {

constexpr std::string_view FileName = "always-keep";
constexpr std::string_view Header = "# Spruce always-keep list: files and folders that are never cleaned.\n"
                                    "# One file URL or absolute path per line; lines starting with # are comments.\n"
                                    "# The command line edits it with spruce-cli keep.\n";
/// How much of the file one read asks for.
constexpr std::size_t ReadChunk = std::size_t{ 64 } * 1024;

std::atomic<KeepList::SyncFunction> g_sync{ nullptr };

int syncFd(int fd)
{
    const KeepList::SyncFunction sync = g_sync.load();
    return sync != nullptr ? sync(fd) : ::fsync(fd);
}

std::string spruceFolder()
{
    return platform::services().user.configFolder() + "/Spruce";
}

/// `line` without the blanks around it and a CR (or several) before its end.
std::string_view trimmed(std::string_view line)
{
    constexpr std::string_view Blanks = " \t\r";
    const std::size_t first = line.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(Blanks) - first + 1);
}

/// What one line of the file says: nothing (a comment or a blank line), a
/// kept path, or why it cannot be used.
struct Nothing
{
};
struct Reason
{
    std::string text;
};
using LineMeaning = std::variant<Nothing, std::string, Reason>;

LineMeaning meaningOf(std::string_view raw)
{
    const std::string_view line = trimmed(raw);
    if (line.empty() || line.front() == '#') {
        return Nothing{};
    }
    // A NUL would cut the path short wherever it is handed to the system.
    if (line.find('\0') != std::string_view::npos) {
        return Reason{ "holds a NUL byte" };
    }
    if (line.front() == '/') {
        // Taken byte for byte: no escapes in a plain path.
        return tree::detail::stripTrailingSlashes(std::string(line));
    }
    constexpr std::string_view Scheme = "file:";
    if (!line.starts_with(Scheme)) {
        return Reason{ "not an absolute path or a file URL" };
    }
    std::string url(line);
    if (!line.starts_with("file://")) {
        url.insert(Scheme.size(), "//"); // "file:/path", the short form
    }
    const std::optional<std::string> path = format::pathFromFileUrl(url);
    if (!path || path->empty() || path->front() != '/') {
        return Reason{ "not a file URL of this computer, or a malformed one" };
    }
    return tree::detail::stripTrailingSlashes(*path);
}

/// The kept path a line names; nullopt for anything else.
std::optional<std::string> entryOf(std::string_view line)
{
    LineMeaning meaning = meaningOf(line);
    if (auto *path = std::get_if<std::string>(&meaning)) {
        return std::move(*path);
    }
    return std::nullopt;
}

/// The list file's bytes; "" for a missing file. Opened without blocking
/// and checked before anything is read: only a regular file (a link to one
/// is followed) of at most MaxFileSize bytes is a list.
Result<std::string> readText(const std::string &file)
{
    // O_NONBLOCK: a FIFO put in the list's place must not wait for a writer; fstat refuses it then.
    const tree::detail::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.isValid()) {
        const int error = errno;
        struct stat st
        {
        };
        if (error == ENOENT && ::lstat(file.c_str(), &st) == 0) {
            // A link to a list that is not there (a dotfiles folder not set up): the user meant to keep something.
            return Error{ ENOENT, file, "a link that leads to nothing" };
        }
        if (error == ENOENT) {
            return std::string();
        }
        return Error::fromErrno(error, file);
    }
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0) {
        return Error::fromErrno(errno, file);
    }
    if (!S_ISREG(st.st_mode)) {
        return Error{ EINVAL, file, "not a regular file" };
    }
    const auto tooLarge = [&file] {
        return Error{ EFBIG, file, "larger than 4 MiB" };
    };
    if (static_cast<std::uint64_t>(st.st_size) > KeepList::MaxFileSize) {
        return tooLarge();
    }
    // Read to the end, whatever the size said: a list cut short would let a kept path be cleaned.
    std::string text;
    while (true) {
        const std::size_t had = text.size();
        if (had > KeepList::MaxFileSize) {
            return tooLarge(); // grew while it was read
        }
        text.resize(had + ReadChunk);
        const ssize_t n = ::read(fd.get(), text.data() + had, ReadChunk);
        const int error = errno;
        text.resize(had + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0 && error == EINTR) {
            continue;
        }
        if (n < 0) {
            return Error::fromErrno(error, file);
        }
        if (n == 0) {
            return text;
        }
    }
}

/// The lines of the list file, without their newlines; none for a missing file.
Result<std::vector<std::string>> readLines(const std::string &file)
{
    Result<std::string> text = readText(file);
    if (!text) {
        return text.error();
    }
    return splitAt(text.value(), '\n');
}

/// Creates `path` and the folders above it that are missing, private to the user.
Status makeFolders(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return Error::fromErrno(errno, prefix);
        }
        if (slash == std::string::npos) {
            return Ok{};
        }
    }
}

/// The file a rewrite replaces: the list itself, or when the list is a
/// link (a dotfiles setup), the file it leads to, so that the link stays.
Result<std::string> fileToReplace(const std::string &file)
{
    struct stat st
    {
    };
    if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return file;
    }
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(file.c_str(), nullptr), &std::free);
    if (!target) {
        return Error{ errno, file, "a link that leads to nothing" };
    }
    return std::string(target.get());
}

/// Writes `lines` as the new list file: a private temporary file beside it,
/// flushed to disk, then renamed over it (and the folder flushed), so a
/// reader sees the old list or the new one and never half of one, even
/// after a power cut.
Status replaceFile(const std::string &list, const std::vector<std::string> &lines)
{
    const Result<std::string> target = fileToReplace(list);
    if (!target) {
        return target.error();
    }
    const std::string &file = target.value();
    std::string text;
    for (const std::string &line : lines) {
        text += line;
        text += '\n';
    }
    std::string temporary = file + ".XXXXXX";
    const tree::detail::UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.isValid()) {
        return Error::fromErrno(errno, file);
    }
    const auto failed = [&temporary, &file](int error) {
        ::unlink(temporary.c_str());
        return Error::fromErrno(error, file);
    };
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return failed(n < 0 ? errno : EIO);
        }
        written += static_cast<std::size_t>(n);
    }
    if (syncFd(fd.get()) != 0 || ::rename(temporary.c_str(), file.c_str()) != 0) {
        return failed(errno);
    }
    // The rename itself lasts once the folder holding it is on disk; the list is already whole either way.
    const tree::detail::UniqueFd folder(
        ::open(tree::detail::parentPath(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isValid()) {
        (void)syncFd(folder.get());
    }
    return Ok{};
}

/// Runs `change` on the file's lines under an exclusive lock and writes
/// them back when it says they changed.
template<typename Change> Status rewrite(Change &&change)
{
    const std::string folder = spruceFolder();
    if (Status made = makeFolders(folder); !made) {
        return made;
    }
    const tree::detail::UniqueFd lock(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!lock.isValid() || ::flock(lock.get(), LOCK_EX) != 0) {
        return Error::fromErrno(errno, folder);
    }
    const std::string file = KeepList::filePath();
    Result<std::vector<std::string>> lines = readLines(file);
    if (!lines) {
        return lines.error();
    }
    if (lines.value().empty()) {
        std::string_view header = Header;
        while (!header.empty()) {
            const std::size_t end = header.find('\n');
            lines.value().emplace_back(header.substr(0, end));
            header.remove_prefix(end + 1);
        }
    }
    if (!change(lines.value())) {
        return Ok{};
    }
    return replaceFile(file, lines.value());
}

/// `paths` without trailing "/"; EINVAL for one that is not absolute.
Result<std::vector<std::string>> cleanPaths(const std::vector<std::string> &paths)
{
    std::vector<std::string> cleaned;
    for (const std::string &path : paths) {
        if (path.empty() || path.front() != '/') {
            return Error{ EINVAL, path, "not an absolute path" };
        }
        cleaned.push_back(tree::detail::stripTrailingSlashes(path));
    }
    return cleaned;
}

/// Runs `change(lines, paths, changed)` on the list under its lock with
/// `paths` made clean, writes the list when `changed` got any path, and
/// returns `changed`.
template<typename Change>
Result<std::vector<std::string>> changeList(const std::vector<std::string> &paths, Change &&change)
{
    Result<std::vector<std::string>> cleaned = cleanPaths(paths);
    if (!cleaned) {
        return cleaned.error();
    }
    std::vector<std::string> changed;
    const Status written = rewrite([&](std::vector<std::string> &lines) {
        change(lines, cleaned.value(), changed);
        return !changed.empty();
    });
    if (!written) {
        return written.error();
    }
    return changed;
}

} // namespace

std::string KeepList::Unusable::describe() const
{
    // A line can be megabytes long (a file of NUL bytes): enough of it to find it.
    constexpr std::size_t Shown = 200;
    const std::string shown = text.size() <= Shown ? text : text.substr(0, Shown) + "...";
    return "line " + std::to_string(line) + " cannot be used (" + reason + "): " + shown;
}

std::string KeepList::filePath()
{
    return spruceFolder() + "/" + std::string(FileName);
}

Result<KeepList::Contents> KeepList::load()
{
    Result<std::vector<std::string>> lines = readLines(filePath());
    if (!lines) {
        return lines.error();
    }
    Contents contents;
    for (std::size_t k = 0; k < lines.value().size(); ++k) {
        std::string &line = lines.value()[k];
        LineMeaning meaning = meaningOf(line);
        if (auto *path = std::get_if<std::string>(&meaning)) {
            contents.paths.push_back(std::move(*path));
        } else if (auto *reason = std::get_if<Reason>(&meaning)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            contents.unusable.push_back(Unusable{ k + 1, std::move(line), std::move(reason->text) });
        }
    }
    return contents;
}

Result<std::vector<std::string>> KeepList::add(const std::vector<std::string> &paths)
{
    return changeList(paths,
        [](std::vector<std::string> &lines, const std::vector<std::string> &wanted, std::vector<std::string> &added) {
            std::vector<std::string> listed;
            for (const std::string &line : lines) {
                if (std::optional<std::string> path = entryOf(line)) {
                    listed.push_back(std::move(*path));
                }
            }
            for (const std::string &path : wanted) {
                if (std::find(listed.begin(), listed.end(), path) == listed.end()) {
                    listed.push_back(path);
                    added.push_back(path);
                    lines.push_back(format::fileUrlFromPath(path));
                }
            }
        });
}

Result<std::vector<std::string>> KeepList::remove(const std::vector<std::string> &paths)
{
    return changeList(paths,
        [](std::vector<std::string> &lines,
            const std::vector<std::string> &unwanted,
            std::vector<std::string> &removed) {
            std::erase_if(lines, [&](const std::string &line) {
                const std::optional<std::string> path = entryOf(line);
                if (!path || std::find(unwanted.begin(), unwanted.end(), *path) == unwanted.end()) {
                    return false;
                }
                if (std::find(removed.begin(), removed.end(), *path) == removed.end()) {
                    removed.push_back(*path);
                }
                return true;
            });
        });
}

Result<KeepList::Resolved> KeepList::resolve()
{
    Result<Contents> contents = load();
    if (!contents) {
        return contents.error();
    }
    return Resolved{ tree::KeptItems::resolve(contents.value().paths), std::move(contents.value().unusable) };
}

KeepList::SyncFunction KeepList::setSyncForTesting(SyncFunction sync)
{
    return g_sync.exchange(sync);
}

} // namespace core
