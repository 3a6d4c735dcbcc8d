#include "format/Utf8.h"

namespace core::format {

std::string repairUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t len = 0;
        if (c < 0x80) {
            len = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
        }
        bool valid = len > 0 && i + len <= bytes.size();
        for (std::size_t k = 1; valid && k < len; ++k) {
            valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0U) == 0x80U;
        }
        if (valid && len >= 3) {
            // Overlong forms, surrogates and code points above U+10FFFF are not well formed.
            const auto c1 = static_cast<unsigned char>(bytes[i + 1]);
            valid = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0) && !(c == 0xF0 && c1 < 0x90)
                && !(c == 0xF4 && c1 >= 0x90);
        }
        if (valid) {
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
