// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core::tree {

/// The fields of one line of /proc/<pid>/mountinfo that the mount readers
/// use. The views point into the text that was split and are still
/// octal-escaped as the kernel writes them (see unescapeMountField).
struct MountInfoLine
{
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::string_view root; // of the mount within its file system
    std::string_view mountPoint;
    std::string_view fsType;
    std::string_view source; // empty when the line ends right after the type
};

/// Splits the text of /proc/<pid>/mountinfo ("ID parentID major:minor root
/// mountpoint options [optional fields...] - fstype source superoptions",
/// see proc(5)) into lines, in order. Passed over: lines without six fields
/// before a "-" field, without a type after it, or whose device is not
/// "major:minor" in plain decimal. Fields are separated by spaces (runs of
/// them count as one). Pure; the views point into `mountinfoText`.
std::vector<MountInfoLine> splitMountInfo(std::string_view mountinfoText);

/// A mountinfo field with the kernel's octal escapes decoded ("\040" space,
/// "\011" tab, "\012" newline, "\134" backslash, any "\ooo" up to \377); a
/// backslash not followed by such an escape stays as it is. Pure.
std::string unescapeMountField(std::string_view field);

/// True for the kernel's pseudo file systems and the automounters and
/// portals that stand in for other mounts (proc, sysfs, devtmpfs, devpts,
/// cgroup, cgroup2, ..., autofs, fuse.gvfsd-fuse, fuse.portal, fuse.lxcfs):
/// interfaces, never user data. Both the walks, which do not enter them, and
/// the volume list, which hides them, start from this list.
bool isKernelPseudoFsType(std::string_view fsType);

/// True for network file systems (nfs*, cifs, smb3, sshfs, rclone, davfs,
/// glusterfs, ceph, 9p, ...): every directory costs round trips and a dead
/// server blocks. The walks do not enter them; the volume list marks them remote.
bool isNetworkFsType(std::string_view fsType);

} // namespace core::tree
