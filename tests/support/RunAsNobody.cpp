// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunAsNobody.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

int runAsNobody(const std::function<int()> &fn)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 && ::geteuid() == 0) {
            ::_exit(125);
        }
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(125);
        }
        ::_exit(fn());
    }
    if (pid < 0) {
        return 125;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return 126;
    }
    return WEXITSTATUS(status);
}

} // namespace testing_support
