// SPDX-License-Identifier: GPL-3.0-or-later
#include "Output.h"

#include "format/Utf8.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace cli {

namespace {

/// One character of `bytes` at `at`: its length in bytes and whether it
/// prints as itself on one line. A byte that starts no UTF-8 sequence is a
/// character of one unprintable byte.
struct Character
{
    std::size_t length = 1;
    bool printable = true;
};

Character characterAt(std::string_view bytes, std::size_t at)
{
    const std::size_t length = core::format::utf8SequenceLength(bytes, at);
    if (length == 0) {
        return { 1, false };
    }
    const auto b0 = static_cast<unsigned char>(bytes[at]);
    const auto b1 = length > 1 ? static_cast<unsigned char>(bytes[at + 1]) : 0U;
    const auto b2 = length > 2 ? static_cast<unsigned char>(bytes[at + 2]) : 0U;
    const bool c0 = length == 1 && (b0 < 0x20 || b0 == 0x7F);
    const bool c1 = length == 2 && b0 == 0xC2 && b1 < 0xA0; // U+0080..U+009F
    const bool separator = length == 3 && b0 == 0xE2 && b1 == 0x80 && (b2 == 0xA8 || b2 == 0xA9); // U+2028, U+2029
    return { length, !(c0 || c1 || separator) };
}

void appendEscape(std::string &out, unsigned char byte)
{
    switch (byte) {
    case '\a':
        out.append("\\a");
        return;
    case '\b':
        out.append("\\b");
        return;
    case '\t':
        out.append("\\t");
        return;
    case '\n':
        out.append("\\n");
        return;
    case '\v':
        out.append("\\v");
        return;
    case '\f':
        out.append("\\f");
        return;
    case '\r':
        out.append("\\r");
        return;
    default:
        out.push_back('\\');
        out.push_back(static_cast<char>('0' + ((byte >> 6U) & 7U)));
        out.push_back(static_cast<char>('0' + ((byte >> 3U) & 7U)));
        out.push_back(static_cast<char>('0' + (byte & 7U)));
    }
}

/// GNU ls's shell-escape quoting: single quotes around printable runs, each
/// run of unprintable bytes as $'...' with C escapes, a quote as \'.
std::string shellEscaped(std::string_view bytes)
{
    std::string out = "'";
    bool quoted = true; // inside '...'
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Character ch = characterAt(bytes, i);
        if (!ch.printable) {
            if (quoted) {
                out.push_back('\'');
                quoted = false;
            }
            out.append("$'");
            for (; i < bytes.size(); ++i) {
                const Character next = characterAt(bytes, i);
                if (next.printable) {
                    break;
                }
                for (std::size_t k = 0; k < next.length; ++k) {
                    appendEscape(out, static_cast<unsigned char>(bytes[i + k]));
                }
                i += next.length - 1;
            }
            out.push_back('\'');
            continue;
        }
        if (bytes[i] == '\'') {
            out.append(quoted ? "'\\''" : "\\''");
            quoted = true;
        } else {
            if (!quoted) {
                out.push_back('\'');
                quoted = true;
            }
            out.append(bytes.substr(i, ch.length));
        }
        i += ch.length;
    }
    if (quoted) {
        out.push_back('\'');
    }
    return out;
}

int g_firstWriteFailure = 0; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): main thread only

} // namespace

std::string displayText(std::string_view bytes)
{
    return core::format::repairUtf8(bytes);
}

std::string printableText(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const Character ch = characterAt(bytes, i);
        if (!ch.printable) {
            return shellEscaped(bytes);
        }
        i += ch.length;
    }
    return std::string(bytes);
}

JsonLayout stdoutJsonLayout()
{
    return ::isatty(STDOUT_FILENO) == 1 ? JsonLayout::Indented : JsonLayout::Compact;
}

void printJson(const nlohmann::json &document)
{
    const int indent = stdoutJsonLayout() == JsonLayout::Indented ? 2 : -1;
    const std::string text = document.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
        noteFailedWrite(errno);
    }
}

std::string absolutePath(const std::string &path)
{
    std::string result = path;
    if (result.empty() || result.front() != '/') {
        std::vector<char> buf(4096);
        while (::getcwd(buf.data(), buf.size()) == nullptr && buf.size() < (1U << 20U)) {
            buf.resize(buf.size() * 2);
        }
        const std::string cwd(buf.data());
        result = cwd + "/" + result;
    }
    result = std::filesystem::path(result).lexically_normal().native();
    while (result.size() > 1 && result.back() == '/') {
        result.pop_back();
    }
    return result;
}

void noteFailedWrite(int cause)
{
    if (g_firstWriteFailure == 0) {
        g_firstWriteFailure = cause;
    }
}

bool resultsWritten()
{
    static bool reported = false;
    errno = 0;
    if (std::fflush(stdout) != 0) {
        noteFailedWrite(errno);
    }
    if (std::ferror(stdout) == 0 && g_firstWriteFailure == 0) {
        return true;
    }
    if (!reported) {
        reported = true;
        // A buffer that failed to flush earlier is dropped: no cause may be left to name.
        const int cause = g_firstWriteFailure;
        const std::string why = cause != 0 ? std::system_category().message(cause) : "write error";
        std::fprintf(stderr, "spruce-cli: cannot write the results: %s\n", why.c_str());
    }
    return false;
}

} // namespace cli
