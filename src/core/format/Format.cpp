// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Format.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <limits>

namespace core::format {

std::string formatByteCount(std::int64_t bytes)
{
    // The magnitude of INT64_MIN does not fit an int64: work unsigned.
    const bool negative = bytes < 0;
    const std::uint64_t magnitude =
        negative ? std::uint64_t{ 0 } - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
    std::string out = negative ? "-" : "";

    if (magnitude < 1000) {
        out += std::to_string(magnitude);
        out += magnitude == 1 ? " byte" : " bytes";
        return out;
    }

    struct Unit
    {
        std::uint64_t factor;
        const char *suffix;
    };
    static constexpr std::array<Unit, 6> Units = { {
        { 1000ULL, " kB" },
        { 1000ULL * 1000, " MB" },
        { 1000ULL * 1000 * 1000, " GB" },
        { 1000ULL * 1000 * 1000 * 1000, " TB" },
        { 1000ULL * 1000 * 1000 * 1000 * 1000, " PB" },
        { 1000ULL * 1000 * 1000 * 1000 * 1000 * 1000, " EB" },
    } };
    const Unit *unit = &Units.back();
    for (std::size_t i = 1; i < Units.size(); ++i) {
        if (magnitude < Units[i].factor) {
            unit = &Units[i - 1];
            break;
        }
    }

    // GLib prints size / factor with "%.1f"; to_chars rounds the same way
    // (to nearest, ties to even on the exact binary value) but ignores the
    // locale, so a German desktop still gets "1.5 kB" and not "1,5 kB".
    const double value = static_cast<double>(magnitude) / static_cast<double>(unit->factor);
    std::array<char, 32> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, 1);
    if (ec != std::errc()) {
        return out + "?" + unit->suffix; // cannot happen: the value is below 1e5
    }
    out.append(buf.data(), end);
    out += unit->suffix;
    return out;
}

std::string formatDate(Timestamp time, DateZone zone)
{
    const auto seconds = static_cast<std::time_t>(time.seconds);
    std::tm parts{};
    const std::tm *ok = zone == DateZone::Utc ? gmtime_r(&seconds, &parts) : localtime_r(&seconds, &parts);
    if (ok == nullptr || parts.tm_year > std::numeric_limits<int>::max() - 1900) {
        return {};
    }
    // Not strftime: glibc's "%Y" does not pad years below 1000 ("1-01-01").
    std::array<char, 64> buf{};
    const int n = std::snprintf(buf.data(),
        buf.size(),
        "%04d-%02d-%02d %02d:%02d",
        parts.tm_year + 1900,
        parts.tm_mon + 1,
        parts.tm_mday,
        parts.tm_hour,
        parts.tm_min);
    if (n < 0) {
        return {};
    }
    return { buf.data(), static_cast<std::size_t>(n) };
}

} // namespace core::format
