// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/FileUrl.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace core::format {

namespace {

constexpr std::string_view Scheme = "file://";

/// The bytes a file URL keeps as they are (RFC 3986 unreserved characters,
/// sub-delimiters, ':', '@' and '/'); every other byte is percent-encoded.
/// A table, because every record of a walk gets a URL.
constexpr std::array<bool, 256> KeptBytes = [] {
    std::array<bool, 256> kept{};
    for (int c = 'A'; c <= 'Z'; ++c) {
        kept[static_cast<std::size_t>(c)] = true;
    }
    for (int c = 'a'; c <= 'z'; ++c) {
        kept[static_cast<std::size_t>(c)] = true;
    }
    for (int c = '0'; c <= '9'; ++c) {
        kept[static_cast<std::size_t>(c)] = true;
    }
    for (const char c : std::string_view("-._~!$&'()*+,;=:@/")) {
        kept[static_cast<unsigned char>(c)] = true;
    }
    return kept;
}();

/// The end of the run of kept bytes of `path` that starts at `from`. Sixteen
/// bytes at a time where the processor allows, for the letters, digits and
/// "-./_" that make up most of a path: a walk encodes a URL for every record.
std::size_t keptRunEnd(std::string_view path, std::size_t from)
{
    std::size_t i = from;
#if defined(__SSE2__)
    const auto inRange = [](__m128i bytes, char low, char high) {
        // low <= byte <= high, unsigned: byte - low <= high - low
        const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
        return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(high - low))), offset);
    };
    for (; i + sizeof(__m128i) <= path.size(); i += sizeof(__m128i)) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(path.data() + i)); // NOLINT
        const __m128i plain = _mm_or_si128(_mm_or_si128(inRange(bytes, 'a', 'z'), inRange(bytes, 'A', 'Z')),
            _mm_or_si128(inRange(bytes, '-', '9'), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('_'))));
        if (_mm_movemask_epi8(plain) != 0xFFFF) {
            break; // something else in these sixteen: byte by byte from here
        }
    }
#endif
    while (i < path.size() && KeptBytes[static_cast<unsigned char>(path[i])]) {
        ++i;
    }
    return i;
}

/// The length of `path` percent-encoded.
std::size_t encodedLength(std::string_view path)
{
    std::size_t length = path.size();
    for (std::size_t i = keptRunEnd(path, 0); i < path.size(); i = keptRunEnd(path, i + 1)) {
        length += 2; // the byte at i is encoded
    }
    return length;
}

constexpr std::array<char, 16> Hex = { '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F' };

/// Appends `path` percent-encoded to `out`, sized exactly for it first: a
/// walk keeps a URL for each of its records, and a string that grew would
/// hold up to twice the room it needs. A string that already has room for
/// the longest encoding (a scratch string reused from URL to URL) is
/// encoded in one pass instead.
void appendEncoded(std::string &out, std::string_view path)
{
    const std::size_t at = out.size();
    if (out.capacity() - at >= 3 * path.size()) {
        out.resize(at + 3 * path.size());
        char *next = out.data() + at;
        for (const char c : path) {
            const auto byte = static_cast<unsigned char>(c);
            if (KeptBytes[byte]) {
                *next++ = c;
            } else {
                *next++ = '%';
                *next++ = Hex[byte >> 4U];
                *next++ = Hex[byte & 0x0FU];
            }
        }
        out.resize(static_cast<std::size_t>(next - out.data()));
        return;
    }
    out.resize(at + encodedLength(path));
    char *next = out.data() + at;
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t end = keptRunEnd(path, i);
        std::memcpy(next, path.data() + i, end - i);
        next += end - i;
        if (end == path.size()) {
            break;
        }
        const auto c = static_cast<unsigned char>(path[end]);
        *next++ = '%';
        *next++ = Hex[c >> 4U];
        *next++ = Hex[c & 0x0FU];
        i = end + 1;
    }
}

} // namespace

std::string percentEncodePath(std::string_view path)
{
    std::string out;
    appendEncoded(out, path);
    return out;
}

void appendEncodedPath(std::string &out, std::string_view path)
{
    appendEncoded(out, path);
}

std::string fileUrlFromPath(std::string_view path, bool isDirectory)
{
    const bool slash = isDirectory && (path.empty() || path.back() != '/');
    std::string url;
    url.reserve(Scheme.size() + encodedLength(path) + (slash ? 1 : 0));
    url.append(Scheme);
    appendEncoded(url, path);
    if (slash) {
        url.push_back('/');
    }
    return url;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool decodeFileUrl(std::string_view url, std::string &path)
{
    path.clear();
    // A raw NUL, like %00, would cut the path short wherever it is used as a C string.
    if (url.substr(0, Scheme.size()) != Scheme || url.find('\0') != std::string_view::npos) {
        return false;
    }
    std::string_view rest = url.substr(Scheme.size());
    if (rest.substr(0, 9) == "localhost") {
        rest.remove_prefix(9);
    }
    if (rest.empty() || rest.front() != '/') {
        return false;
    }
    // Into storage sized for the undecoded text, runs between escapes copied
    // whole: every record shown, written out or deleted goes through here.
    path.resize(rest.size());
    char *out = path.data();
    for (std::size_t i = 0; i < rest.size();) {
        const std::size_t escape = std::min(rest.find('%', i), rest.size());
        std::memcpy(out, rest.data() + i, escape - i);
        out += escape - i;
        if (escape == rest.size()) {
            break;
        }
        if (escape + 2 >= rest.size()) {
            path.clear();
            return false;
        }
        const int hi = hexDigitValue(rest[escape + 1]);
        const int lo = hexDigitValue(rest[escape + 2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) {
            path.clear();
            return false;
        }
        *out++ = static_cast<char>((hi << 4) | lo);
        i = escape + 3;
    }
    path.resize(static_cast<std::size_t>(out - path.data()));
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return true;
}

std::optional<std::string> pathFromFileUrl(std::string_view url)
{
    std::string path;
    if (!decodeFileUrl(url, path)) {
        return std::nullopt;
    }
    return path;
}

} // namespace core::format
