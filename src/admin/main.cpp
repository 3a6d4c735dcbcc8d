// SPDX-License-Identifier: GPL-3.0-or-later
// spruce-admin: the privileged helper that removes system junk. Started
// through pkexec (its own polkit action) or by root. It takes the names of
// fixed actions with identifiers it checks itself, never a path, reads
// nothing from its caller's environment, and says per item what it did.
#include "sysjunk/AdminHelper.h"
#include "sysjunk/Tools.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace sysjunk = core::sysjunk;

constexpr const char *Usage =
    "usage: spruce-admin ACTION[:IDENTIFIER]...\n"
    "actions: apt-archive:FILE.deb apt-partial:FILE coredump:core.* crash-report:NAME\n"
    "         var-tmp:NAME journal-vacuum snap-revision:NAME_REV flatpak-runtime:ID/ARCH/BRANCH\n";

/// A word of the request as it may be shown on one line: control bytes as "?".
std::string shown(std::string_view word)
{
    std::string text(word.substr(0, 200));
    for (char &c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return text;
}

int refuse(int code, const std::string &why)
{
    std::fprintf(stderr, "spruce-admin: refused: %s\n", why.c_str());
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    // pkexec starts its programs with an environment of its own and says so
    // in PKEXEC_UID; nothing else is read from the environment, and it is
    // dropped before anything runs.
    const bool throughPkexec = std::getenv("PKEXEC_UID") != nullptr; // NOLINT(concurrency-mt-unsafe)
    ::clearenv();
    ::umask(022);
    if (::geteuid() != 0 || ::getuid() != 0) {
        return refuse(sysjunk::AdminNotPermitted, "spruce-admin runs only through pkexec or as root");
    }

    sysjunk::AdminContext context;
    context.now = static_cast<std::int64_t>(std::time(nullptr));
    std::vector<sysjunk::AdminItem> items;
    std::set<std::string> seen;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--sysroot" || arg == "--tools") {
            // For tests and for root working on another system's tree: never
            // through pkexec, where whoever asks is not root.
            if (throughPkexec) {
                return refuse(sysjunk::AdminNotPermitted, std::string(arg) + " is not taken through pkexec");
            }
            if (k + 1 >= argc) {
                return refuse(sysjunk::AdminMalformed, std::string(arg) + " needs a value");
            }
            const std::string value = argv[++k];
            if (arg == "--sysroot") {
                struct stat st
                {
                };
                if (value.empty() || value.front() != '/' || ::stat(value.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                    return refuse(sysjunk::AdminMalformed, "--sysroot needs an existing folder by its absolute path");
                }
                context.root = value.back() == '/' ? value : value + "/";
            } else {
                context.toolPath = sysjunk::splitSearchPath(value);
                for (const std::string &folder : context.toolPath) {
                    if (folder.front() != '/') {
                        return refuse(sysjunk::AdminMalformed, "--tools takes absolute folders");
                    }
                }
            }
            continue;
        }
        const core::Result<sysjunk::AdminItem> item = sysjunk::parseAdminWord(arg);
        if (!item) {
            return refuse(sysjunk::AdminMalformed, shown(arg) + ": " + item.error().message);
        }
        if (seen.insert(item.value().word()).second) {
            items.push_back(item.value());
        }
    }
    if (items.empty()) {
        std::fputs(Usage, stderr);
        return refuse(sysjunk::AdminMalformed, "nothing asked");
    }

    int code = sysjunk::AdminOk;
    for (const sysjunk::AdminItem &item : items) {
        const sysjunk::AdminReport done = sysjunk::performAdminItem(item, context);
        std::printf("%s\n", sysjunk::formatReport(done).c_str());
        std::fflush(stdout);
        if (done.outcome != sysjunk::AdminReport::Outcome::Removed
            && done.outcome != sysjunk::AdminReport::Outcome::AlreadyGone) {
            code = sysjunk::AdminItemsFailed;
        }
    }
    return code;
}
