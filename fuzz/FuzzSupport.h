// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared pieces of the libFuzzer targets: the input as text, a scratch folder
// that lives as long as the process, a file whose content is the current input,
// and engine services that run every posted job at once and log nowhere.

#include "platform/Dispatcher.h"
#include "platform/LogSink.h"
#include "platform/Services.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <initializer_list>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fuzz {

inline std::string_view text(const std::uint8_t *data, std::size_t size)
{
    return { reinterpret_cast<const char *>(data), size }; // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

/// Stops the process in a way libFuzzer reports as a crash, with the broken rule.
[[noreturn]] inline void fail(const char *rule)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", rule);
    std::abort();
}

/// Runs jobs where they are posted: the scanners' reports go nowhere else.
class InlineDispatcher final : public core::platform::Dispatcher
{
public:
    void async(core::platform::Task job) override { job(); }
    void asyncMain(core::platform::Task job) override { job(); }
};

class NullLogSink final : public core::platform::LogSink
{
public:
    void standardOutput(std::string_view /*line*/) override { }
    void systemLog(std::string_view /*line*/) override { }
};

/// A private folder below /dev/shm (or /tmp), removed when the process exits normally.
inline const std::string &scratchDir()
{
    static const std::string dir = [] {
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/spruce-fuzz-XXXXXX" : "/tmp/spruce-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            fail("cannot make a scratch folder");
        }
        std::atexit([] {
            ::nftw(
                scratchDir().c_str(),
                [](const char *path, const struct stat *, int, struct FTW *) {
                    return ::remove(path);
                },
                16,
                FTW_DEPTH | FTW_PHYS);
        });
        return pattern;
    }();
    return dir;
}

/// Writes `bytes` to `relative` below the scratch folder, making its folders.
inline std::string writeScratch(const std::string &relative, std::string_view bytes)
{
    std::string path = scratchDir();
    for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
        ::mkdir((path + "/" + relative.substr(0, slash)).c_str(), 0700);
    }
    path += "/" + relative;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail("cannot write a scratch file");
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            fail("cannot write a scratch file");
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return path;
}

/// Engine services for one fuzz target, installed once for the process: the
/// inline dispatcher, no log, the scratch folder as home and as /proc-/sys
/// root. The first call also writes `fixedFiles` (relative path, content) there.
inline void installServices(std::initializer_list<std::pair<const char *, std::string_view>> fixedFiles = {})
{
    static InlineDispatcher dispatcher;
    static NullLogSink log;
    static const bool installed = [fixedFiles] {
        for (const auto &[relative, content] : fixedFiles) {
            writeScratch(relative, content);
        }
        core::platform::Services &s = core::platform::services();
        s.dispatch = &dispatcher;
        s.log = &log;
        s.user = core::platform::UserContext{ "fuzz", scratchDir() };
        s.sysRoot = scratchDir() + "/";
        s.now = [] {
            return std::int64_t{ 1'800'000'000 };
        };
        return true;
    }();
    (void)installed;
}

} // namespace fuzz
