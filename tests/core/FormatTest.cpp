// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Format.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <regex>
#include <string>

namespace core::format {
namespace {

struct ByteCase
{
    std::int64_t bytes;
    const char *text;
};

void PrintTo(const ByteCase &c, std::ostream *os)
{
    *os << c.bytes << " -> \"" << c.text << "\"";
}

class FormatTest : public testing::TestWithParam<ByteCase>
{
};

TEST_P(FormatTest, ByteCountMatchesGnomeDefaultDisplay)
{
    EXPECT_EQ(formatByteCount(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Bytes,
    FormatTest,
    testing::Values(
        // Plain counts and the singular.
        ByteCase{ 0, "0 bytes" },
        ByteCase{ 1, "1 byte" },
        ByteCase{ 999, "999 bytes" },
        // Unit boundaries, 1000-based.
        ByteCase{ 1000, "1.0 kB" },
        ByteCase{ 1'234'567'890, "1.2 GB" },
        ByteCase{ 1'000'000'000'000'000'000, "1.0 EB" },
        ByteCase{ std::numeric_limits<std::int64_t>::max(), "9.2 EB" },
        // GLib keeps the smaller unit until the value reaches the next one.
        ByteCase{ 999'999, "1000.0 kB" },
        // "%.1f" rounding: the exact binary value decides, a tie goes to even.
        ByteCase{ 1050, "1.1 kB" },
        ByteCase{ 1250, "1.2 kB" },
        ByteCase{ 1350, "1.4 kB" },
        // Negative counts: the sign and the magnitude's text.
        ByteCase{ -1, "-1 byte" },
        ByteCase{ -1500, "-1.5 kB" },
        ByteCase{ std::numeric_limits<std::int64_t>::min(), "-9.2 EB" }));

TEST_F(FormatTest, DateInUtc)
{
    EXPECT_EQ(formatDate(Timestamp{ 0, 0 }, DateZone::Utc), "1970-01-01 00:00");
    EXPECT_EQ(formatDate(Timestamp{ 978307200 + 59, 999'999'999 }, DateZone::Utc), "2001-01-01 00:00"); // truncated
    EXPECT_EQ(formatDate(Timestamp{ 1'700'000'000, 0 }, DateZone::Utc), "2023-11-14 22:13");
    EXPECT_EQ(formatDate(Timestamp{ -1, 0 }, DateZone::Utc), "1969-12-31 23:59");
    // The absent-date sentinel keeps a four-digit year.
    EXPECT_EQ(formatDate(Timestamp::distantPast(), DateZone::Utc), "0001-01-01 00:00");
}

TEST_F(FormatTest, DateInLocalZoneHasTheSameShape)
{
    const std::string text = formatDate(Timestamp{ 1'700'000'000, 0 });
    EXPECT_TRUE(std::regex_match(text, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}"))) << text;
}

} // namespace
} // namespace core::format
