// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Utf8.h"

namespace core::format {

std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at)
{
    const auto c = static_cast<unsigned char>(bytes[at]);
    std::size_t len = 0;
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
    } else {
        return 0;
    }
    if (at + len > bytes.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if ((static_cast<unsigned char>(bytes[at + k]) & 0xC0U) != 0x80U) {
            return 0;
        }
    }
    // Overlong forms, surrogates and code points above U+10FFFF are not well formed.
    const auto c1 = static_cast<unsigned char>(bytes[at + 1]);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90)
        || (c == 0xF4 && c1 >= 0x90)) {
        return 0;
    }
    return len;
}

std::string repairUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (const std::size_t len = utf8SequenceLength(bytes, i); len > 0) {
            out.append(bytes.substr(i, len));
            i += len;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

} // namespace core::format
