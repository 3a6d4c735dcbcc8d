// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace cli_tests {

CliRun runProgram(const std::string &program, const std::vector<std::string> &args, const CliSetup &setup)
{
    int outPipe[2] = { -1, -1 };
    int errPipe[2] = { -1, -1 };
    EXPECT_EQ(::pipe2(outPipe, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(errPipe, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (setup.stdinFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, setup.stdinFd, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (setup.stdoutPath.empty()) {
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, setup.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (!setup.cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, setup.cwd.c_str());
    }
    std::vector<std::string> all = { program };
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envText = setup.env;
    for (char **e = environ; !setup.exactEnvironment && *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(setup.env.begin(), setup.env.end(), [&](const std::string &own) {
                return own.starts_with(name);
            })) {
            envText.push_back(entry);
        }
    }
    std::vector<char *> envp;
    for (auto &e : envText) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliRun run;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return run;
    }
    pollfd fds[2] = { { outPipe[0], POLLIN, 0 }, { errPipe[0], POLLIN, 0 } };
    std::string *sinks[2] = { &run.out, &run.err };
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 60000) > 0) {
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) {
                continue;
            }
            char buf[65536];
            const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[k].fd);
                fds[k].fd = -1;
                --open;
            } else {
                sinks[k]->append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

CliRun runCli(const std::vector<std::string> &args, const CliSetup &setup)
{
    std::vector<std::string> all = { "--no-progress" };
    all.insert(all.end(), args.begin(), args.end());
    return runProgram(SPRUCE_CLI, all, setup);
}

CliRun runCliOnTerminal(const std::vector<std::string> &args, const std::string &typed)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(::grantpt(master), 0);
    EXPECT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(terminal, 0);
    EXPECT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    CliRun run = runCli(args, CliSetup::readingFrom(terminal));
    ::close(terminal);
    ::close(master);
    return run;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string category(const std::string &title, const std::string &urlXml, const std::string &type)
{
    return "<dict><key>title</key><string>" + title + "</string><key>image</key><string>i</string>"
        + "<key>description</key><string>d</string>" + urlXml + "<key>type</key><string>" + type + "</string></dict>";
}

std::string module(const std::string &tab, const std::string &categories)
{
    return "<dict><key>title</key><string>" + tab + "</string><key>image</key><string>i</string><key>tab</key><string>"
        + tab + "</string><key>description</key><string>d</string><key>features</key><array/>"
        + "<key>categories</key><array>" + categories + "</array></dict>";
}

std::string writeCatalogue(const testing_support::TempDir &tmp,
    const std::string &name,
    const std::string &systemJunkCategories,
    const std::string &applicationJunkCategories)
{
    const std::string bands = category("b0", "") + category("b1", "") + category("b2", "") + category("b3", "");
    const std::string plist = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><array>)"
        + module("dashboard", "") + module("systemJunk", systemJunkCategories)
        + module("applicationJunk", applicationJunkCategories) + module("largeAndOldFile", bands)
        + module("moreTool", "") + "</array></plist>";
    const std::string path = tmp.writeFile(name, 0);
    std::FILE *f = std::fopen(path.c_str(), "w");
    std::fputs(plist.c_str(), f);
    std::fclose(f);
    return path;
}

} // namespace cli_tests
