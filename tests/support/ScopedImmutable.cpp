// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScopedImmutable.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace testing_support {

ScopedImmutable::ScopedImmutable(const std::string &path)
    : m_fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC))
{
    // The flag word is an int, whatever the ioctl's definition says (ioctl_iflags(2)).
    int flags = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0) {
        return;
    }
    flags |= FS_IMMUTABLE_FL;
    m_set = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
}

ScopedImmutable::~ScopedImmutable()
{
    int flags = 0;
    if (m_set && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

} // namespace testing_support
