// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TempDir.h"

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

/// Runs a copy of sleep under the name `name` until stopped.
class RunningProgram
{
public:
    RunningProgram(const TempDir &tmp, const std::string &name)
    {
        const std::string copy = tmp / name;
        std::error_code error;
        if (!std::filesystem::copy_file("/bin/sleep", copy, error)) {
            return;
        }
        std::string arg0 = name;
        std::string seconds = "60";
        char *argv[] = { arg0.data(), seconds.data(), nullptr };
        if (::posix_spawn(&m_pid, copy.c_str(), nullptr, nullptr, argv, environ) != 0) {
            m_pid = -1;
        }
        // The child runs the copy once exec is done: wait until /proc says so.
        for (int i = 0; i < 200 && m_pid > 0; ++i) {
            char target[4096] = {};
            const std::string link = "/proc/" + std::to_string(m_pid) + "/exe";
            const ssize_t got = ::readlink(link.c_str(), target, sizeof target - 1);
            if (got > 0 && std::string(target, static_cast<std::size_t>(got)) == copy) {
                return;
            }
            ::usleep(10'000);
        }
    }
    ~RunningProgram() { stop(); }
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    bool running() const { return m_pid > 0; }
    void stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

} // namespace testing_support
