// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace testing_support {

/// Makes a file or folder immutable (as `chattr +i` does) for the lifetime of
/// this object and clears the flag again when it goes, so that a test run as
/// root still has an item nobody may delete or add to. isSet() is false when
/// the file system or the process cannot set the flag: skip the test then.
/// Declare it after the TempDir that holds the item, so that it is cleared first.
class ScopedImmutable
{
public:
    explicit ScopedImmutable(const std::string &path);
    ~ScopedImmutable();
    ScopedImmutable(const ScopedImmutable &) = delete;
    ScopedImmutable &operator=(const ScopedImmutable &) = delete;

    bool isSet() const { return m_set; }

protected:
    ScopedImmutable(const std::string &path, int flag);

private:
    int m_fd = -1;
    int m_flag = 0;
    bool m_set = false;
};

/// The same with the append-only flag (`chattr +a`): nothing in a folder so
/// marked may be removed or renamed, though things may be added.
class ScopedAppendOnly : public ScopedImmutable
{
public:
    explicit ScopedAppendOnly(const std::string &path);
};

} // namespace testing_support
