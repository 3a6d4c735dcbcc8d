// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Types.h"

#include <cstdint>
#include <string>

namespace core::format {

/// A byte count as GNOME shows sizes (GLib's g_format_size at its default
/// settings): below 1000 "0 bytes", "1 byte", "999 bytes"; from 1000 on,
/// 1000-based units kB, MB, GB, TB, PB, EB with one decimal ("1.0 kB",
/// "1.5 kB", "12.3 MB"), the unit being the largest one not above the value,
/// so 999 999 bytes read "1000.0 kB" as they do in GNOME. The decimal point
/// is always "." whatever the process locale. A negative count (the disk
/// monitor's "Other" share can be one) is "-" followed by the magnitude's text.
/// Pure and thread-safe.
std::string formatByteCount(std::int64_t bytes);

/// Which clock face formatDate uses.
enum class DateZone {
    Local, // the process's time zone (TZ, /etc/localtime)
    Utc,
};

/// `time` as "yyyy-MM-dd HH:mm" (years zero-padded to four digits, so the
/// distant past reads "0001-01-01 00:00" in UTC). Seconds are dropped, not
/// rounded. "" for a time the C library cannot break down. Thread-safe.
std::string formatDate(Timestamp time, DateZone zone = DateZone::Local);

} // namespace core::format
