// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree/MountInfo.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

namespace core::tree {

// Format: proc(5), "/proc/[pid]/mountinfo". Fields are separated by single
// spaces; names inside fields are octal-escaped, so they hold no spaces.
std::vector<MountInfoLine> splitMountInfo(std::string_view text)
{
    std::vector<MountInfoLine> lines;
    std::vector<std::string_view> fields;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        fields.clear();
        for (std::size_t pos = 0; pos < line.size();) {
            const std::size_t next = std::min(line.find(' ', pos), line.size());
            if (next > pos) {
                fields.push_back(line.substr(pos, next - pos));
            }
            pos = next + 1;
        }
        // Six mandatory fields, optional ones, "-", then the type and the source.
        const auto separator = std::find(
            fields.begin() + std::min<std::ptrdiff_t>(6, std::ssize(fields)), fields.end(), std::string_view("-"));
        if (separator == fields.end() || separator + 1 == fields.end()) {
            continue; // truncated or foreign line
        }
        const std::string_view device = fields[2];
        const std::size_t colon = device.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            continue;
        }
        MountInfoLine parsed;
        const char *majorEnd = device.data() + colon;
        const char *minorEnd = device.data() + device.size();
        const auto majorResult = std::from_chars(device.data(), majorEnd, parsed.major);
        const auto minorResult = std::from_chars(majorEnd + 1, minorEnd, parsed.minor);
        if (majorResult.ec != std::errc{} || majorResult.ptr != majorEnd || minorResult.ec != std::errc{}
            || minorResult.ptr != minorEnd) {
            continue;
        }
        parsed.root = fields[3];
        parsed.mountPoint = fields[4];
        parsed.fsType = *(separator + 1);
        if (separator + 2 != fields.end()) {
            parsed.source = *(separator + 2);
        }
        lines.push_back(parsed);
    }
    return lines;
}

std::string unescapeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const auto a = field[i + 1];
            const auto b = field[i + 2];
            const auto c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

bool isKernelPseudoFsType(std::string_view fsType)
{
    static constexpr std::array<std::string_view, 25> Types = {
        "proc",
        "sysfs",
        "devtmpfs",
        "devpts",
        "cgroup",
        "cgroup2",
        "pstore",
        "securityfs",
        "debugfs",
        "tracefs",
        "configfs",
        "fusectl",
        "mqueue",
        "hugetlbfs",
        "bpf",
        "autofs",
        "binfmt_misc",
        "efivarfs",
        "nsfs",
        "rpc_pipefs",
        "nfsd",
        "selinuxfs",
        "fuse.gvfsd-fuse",
        "fuse.portal",
        "fuse.lxcfs",
    };
    return std::find(Types.begin(), Types.end(), fsType) != Types.end();
}

bool isNetworkFsType(std::string_view fsType)
{
    static constexpr std::array<std::string_view, 15> Types = {
        "cifs",
        "smb3",
        "smbfs",
        "ncpfs",
        "afs",
        "ceph",
        "glusterfs",
        "fuse.glusterfs",
        "9p",
        "fuse.sshfs",
        "fuse.rclone",
        "davfs",
        "fuse.davfs",
        "fuse.s3fs",
        "fuse.cephfs",
    };
    if (fsType == "nfs" || fsType == "nfs4") { // not "nfsd": the NFS server's own control file system
        return true;
    }
    return std::find(Types.begin(), Types.end(), fsType) != Types.end();
}

} // namespace core::tree
