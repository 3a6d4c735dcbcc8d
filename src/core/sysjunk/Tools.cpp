// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysjunk/Tools.h"

#include "sysjunk/Locations.h"
#include "tree/DirectoryIo.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace core::sysjunk {

namespace {

using Fd = tree::detail::UniqueFd;

/// Reads both pipes until each is at its end, keeping at most MaxToolOutput bytes of each.
void drain(int outFd, int errFd, ToolRun &run)
{
    std::array<pollfd, 2> fds{ pollfd{ outFd, POLLIN, 0 }, pollfd{ errFd, POLLIN, 0 } };
    std::array<std::string *, 2> sinks{ &run.out, &run.err };
    std::array<char, 65536> buffer{};
    int open = 2;
    while (open > 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (std::size_t k = 0; k < fds.size(); ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) {
                continue;
            }
            const ssize_t got = ::read(fds[k].fd, buffer.data(), buffer.size());
            if (got > 0) {
                std::string &sink = *sinks[k];
                const std::size_t room = MaxToolOutput - std::min(MaxToolOutput, sink.size());
                sink.append(buffer.data(), std::min(room, static_cast<std::size_t>(got)));
            } else if (got == 0 || errno != EINTR) {
                fds[k].fd = -1; // at its end (or broken): no longer polled
                --open;
            }
        }
    }
}

} // namespace

const std::vector<std::string> &defaultToolPath()
{
    static const std::vector<std::string> path = { "/usr/bin", "/bin", "/usr/sbin", "/sbin" };
    return path;
}

std::vector<std::string> splitSearchPath(std::string_view text)
{
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t colon = std::min(text.find(':', start), text.size());
        if (colon > start) {
            folders.emplace_back(text.substr(start, colon - start));
        }
        start = colon + 1;
    }
    return folders;
}

std::optional<std::string> findTool(const std::vector<std::string> &searchPath, std::string_view name)
{
    if (!isPlainName(name)) {
        return std::nullopt;
    }
    for (const std::string &folder : searchPath) {
        if (folder.empty() || folder.front() != '/') {
            continue; // a relative folder would depend on where the program was started
        }
        std::string path = folder;
        if (path.back() != '/') {
            path += '/';
        }
        path += name;
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return std::nullopt;
}

std::string ToolRun::lastLine() const
{
    for (const std::string *text : { &err, &out }) {
        std::size_t end = text->size();
        while (end > 0) {
            const std::size_t start = text->rfind('\n', end - 1);
            const std::size_t from = start == std::string::npos ? 0 : start + 1;
            if (end > from) {
                return text->substr(from, end - from);
            }
            if (start == std::string::npos) {
                break;
            }
            end = start;
        }
    }
    return {};
}

Result<ToolRun> runTool(const std::string &path, const std::vector<std::string> &args, const ToolOptions &options)
{
    std::array<int, 2> outPipe{ -1, -1 };
    std::array<int, 2> errPipe{ -1, -1 };
    if (::pipe2(outPipe.data(), O_CLOEXEC) != 0) {
        return Error::fromErrno(errno, path);
    }
    Fd outRead(outPipe[0]);
    Fd outWrite(outPipe[1]);
    if (::pipe2(errPipe.data(), O_CLOEXEC) != 0) {
        return Error::fromErrno(errno, path);
    }
    Fd errRead(errPipe[0]);
    Fd errWrite(errPipe[1]);

    std::vector<std::string> words;
    words.reserve(args.size() + 1);
    words.push_back(path);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    // The tools get an environment of their own: a fixed search path and the
    // C locale, whose messages and number formats the parsers read.
    std::array<std::string, 3> environment{ "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C", "LANG=C" };
    std::array<char *, 4> envp{ environment[0].data(), environment[1].data(), environment[2].data(), nullptr };

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!options.passInput) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return Error::fromErrno(spawned, path);
    }
    outWrite.reset();
    errWrite.reset();

    ToolRun run;
    drain(outRead.get(), errRead.get(), run);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return Error::fromErrno(errno, path);
        }
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace core::sysjunk
