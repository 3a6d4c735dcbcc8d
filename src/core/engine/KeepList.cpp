#include "engine/KeepList.h"

#include "engine/TextSplit.h"
#include "format/FileUrl.h"
#include "monitor/SysFiles.h"
#include "platform/Services.h"
#include "tree/DirectoryIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

constexpr std::string_view FileName = "always-keep";
constexpr std::string_view Header = "# Spruce always-keep list: files and folders that are never cleaned.\n"
                                    "# One file URL per line; the command line edits it with spruce-cli keep.\n";

std::string spruceFolder()
{
    return platform::services().user.configFolder() + "/Spruce";
}

/// The kept path a line of the file names; nullopt for comments, blank lines and anything else.
std::optional<std::string> entryOf(std::string_view line)
{
    if (line.empty() || line.front() == '#') {
        return std::nullopt;
    }
    std::optional<std::string> path = format::pathFromFileUrl(line);
    if (!path || path->empty() || path->front() != '/') {
        return std::nullopt;
    }
    return tree::detail::stripTrailingSlashes(std::move(*path));
}

/// The lines of the list file, without their newlines; none for a missing file.
Result<std::vector<std::string>> readLines(const std::string &file)
{
    // Read whole: a list cut short would let a kept path be cleaned.
    Result<std::string> text = sysfiles::readFile(file, std::numeric_limits<std::size_t>::max());
    if (!text) {
        if (text.error().code == ENOENT) {
            return std::vector<std::string>{};
        }
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

/// Writes `lines` as the new list file: a private temporary file beside it,
/// flushed to disk, then renamed over it, so a reader sees the old list or
/// the new one and never half of one.
Status replaceFile(const std::string &file, const std::vector<std::string> &lines)
{
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
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::unlink(temporary.c_str());
            return Error::fromErrno(error, file);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0 || ::rename(temporary.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Error::fromErrno(error, file);
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

std::string KeepList::filePath()
{
    return spruceFolder() + "/" + std::string(FileName);
}

Result<std::vector<std::string>> KeepList::load()
{
    Result<std::vector<std::string>> lines = readLines(filePath());
    if (!lines) {
        return lines.error();
    }
    std::vector<std::string> paths;
    for (const std::string &line : lines.value()) {
        if (std::optional<std::string> path = entryOf(line)) {
            paths.push_back(std::move(*path));
        }
    }
    return paths;
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

Result<std::shared_ptr<const tree::KeptItems>> KeepList::resolve()
{
    Result<std::vector<std::string>> paths = load();
    if (!paths) {
        return paths.error();
    }
    return tree::KeptItems::resolve(paths.value());
}

} // namespace core
