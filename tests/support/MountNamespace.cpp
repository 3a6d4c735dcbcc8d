// SPDX-License-Identifier: GPL-3.0-or-later
#include "MountNamespace.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

int inPrivateMountNamespace(const std::function<int()> &fn)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            ::_exit(CannotRun);
        }
        ::_exit(fn());
    }
    if (pid < 0) {
        return CannotRun;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return 126;
    }
    return WEXITSTATUS(status);
}

bool mountTmpfs(const std::string &path)
{
    return ::mount("tmpfs", path.c_str(), "tmpfs", 0, "size=4m") == 0;
}

bool bindMount(const std::string &source, const std::string &target)
{
    return ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

} // namespace testing_support
