// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/SysFiles.h"

#include "platform/Services.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <unordered_set>

namespace core::sysfiles {

std::string sysPath(std::string_view relative)
{
    std::string path = platform::services().sysRoot;
    path.append(relative);
    return path;
}

Result<std::string> readFile(const std::string &path, std::size_t limit)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Error::fromErrno(errno, path);
    }
    // /proc and /sys files report size 0 or 4096 whatever they hold, so read until EOF.
    std::string text;
    char buffer[4096];
    while (text.size() < limit) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int saved = errno;
            ::close(fd);
            return Error::fromErrno(saved, path);
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, std::min(static_cast<std::size_t>(got), limit - text.size()));
    }
    ::close(fd);
    return text;
}

std::optional<std::string> readText(const std::string &path)
{
    auto result = readFile(path);
    if (!result) {
        return std::nullopt;
    }
    return std::move(result).value();
}

std::string_view trim(std::string_view text)
{
    constexpr std::string_view Blank(" \t\r\n\0", 5);
    const auto first = text.find_first_not_of(Blank);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(Blank);
    return text.substr(first, last - first + 1);
}

std::optional<long long> readInteger(const std::string &path)
{
    const auto text = readText(path);
    if (!text) {
        return std::nullopt;
    }
    return parseNumber<long long>(*text);
}

std::optional<std::string> readTrimmed(const std::string &path)
{
    const auto text = readText(path);
    if (!text) {
        return std::nullopt;
    }
    return std::string(trim(*text));
}

std::vector<std::string> listDirectory(const std::string &path)
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool isAllDigits(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
}

void logOnce(const std::string &key, std::string_view line)
{
    static std::mutex mutex;
    static std::unordered_set<std::string> seen;
    {
        std::lock_guard lock(mutex);
        if (!seen.insert(key).second) {
            return;
        }
    }
    if (auto *log = platform::services().log) {
        log->systemLog(line);
    }
}

} // namespace core::sysfiles
