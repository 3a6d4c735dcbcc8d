// SPDX-License-Identifier: GPL-3.0-or-later
// The file-URL codec: every record a scan finds is addressed through it, and
// deletion decodes it again. Decoding never yields a NUL, and encoding then
// decoding gives back the path byte for byte.

#include "FuzzSupport.h"
#include "format/FileUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input = fuzz::text(data, size);

    if (const auto path = core::format::pathFromFileUrl(input)) {
        if (path->empty() || path->front() != '/' || path->find('\0') != std::string::npos) {
            fuzz::fail("a decoded path that is not absolute or holds a NUL");
        }
        // One trailing "/" is dropped when decoding, so only a path without one comes back whole.
        if ((*path == "/" || path->back() != '/')
            && core::format::pathFromFileUrl(core::format::fileUrlFromPath(*path)) != *path) {
            fuzz::fail("a decoded path does not survive encoding and decoding");
        }
    }

    const bool plainPath = !input.empty() && input.front() == '/' && input.find('\0') == std::string_view::npos
        && (input.size() == 1 || input.back() != '/');
    if (plainPath) {
        for (const bool isDirectory : { false, true }) {
            const std::string url = core::format::fileUrlFromPath(input, isDirectory);
            if (core::format::pathFromFileUrl(url) != input) {
                fuzz::fail("an encoded path does not decode to itself");
            }
            for (const char c : std::string_view(url).substr(7)) {
                if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
                    fuzz::fail("an encoded URL holds a byte outside printable ASCII");
                }
            }
        }
    }
    (void)core::format::percentEncodePath(input);
    return 0;
}
