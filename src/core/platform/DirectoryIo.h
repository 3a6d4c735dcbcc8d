#pragma once

// Internal to the platform layer: the descriptor-relative calls the Walker
// and treeSize share. Not part of the core's interface.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <sys/types.h>

namespace core::platform::detail {

/// What one no-follow stat of a directory entry yields.
struct EntryStat
{
    mode_t mode = 0; // file type bits and permissions
    std::int64_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int32_t mtimeNsec = 0;
    std::uint64_t dev = 0;
};

/// statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC) asking for
/// type, mode, size and mtime; falls back to fstatat(AT_SYMLINK_NOFOLLOW)
/// for the rest of the process once statx answers ENOSYS or EPERM
/// (seccomp-filtered containers). Returns 0, or the errno of the failure.
/// Thread-safe.
int statEntry(int dirFd, const char *name, EntryStat &out);

/// Opens the directory `name` below `parentFd` for reading, never following
/// a link (O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC). -1 on failure.
int openSubdirectory(int parentFd, const char *name);

/// Stores the device of an open descriptor in `dev`; false when fstat fails.
bool deviceOf(int fd, std::uint64_t &dev);

/// A directory named *.app, *.bundle, *.framework or *.plugin (with at least
/// one character before the suffix).
bool isPackageName(std::string_view name);

/// Levels a walk goes down: a directory whose entries would lie deeper than
/// this is treated as unreadable (guards against bind-mount loops and
/// descriptor exhaustion).
inline constexpr int MaxLevel = 4096;

/// Size of the getdents64 buffer of each walking thread.
inline constexpr std::size_t DirentBufferSize = std::size_t{ 64 } * 1024;

} // namespace core::platform::detail
