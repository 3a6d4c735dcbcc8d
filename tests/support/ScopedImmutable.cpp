// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScopedImmutable.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace testing_support {

ScopedImmutable::ScopedImmutable(const std::string &path)
    : ScopedImmutable(path, FS_IMMUTABLE_FL)
{
}

ScopedAppendOnly::ScopedAppendOnly(const std::string &path)
    : ScopedImmutable(path, FS_APPEND_FL)
{
}

ScopedImmutable::ScopedImmutable(const std::string &path, int flag)
    : m_fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC))
    , m_flag(flag)
{
    // The flag word is an int, whatever the ioctl's definition says (ioctl_iflags(2)).
    int flags = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0) {
        return;
    }
    flags |= m_flag;
    m_set = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
}

ScopedImmutable::~ScopedImmutable()
{
    int flags = 0;
    if (m_set && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~m_flag;
        ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

} // namespace testing_support
