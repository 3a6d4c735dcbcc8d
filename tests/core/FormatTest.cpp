// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Format.h"

#include "format/FileUrl.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>
#include <ostream>
#include <random>
#include <regex>
#include <string>
#include <string_view>

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

using core::format::fileUrlFromPath;
using core::format::pathFromFileUrl;

TEST(FileUrlTest, EncodesReservedAndNonUtf8Bytes)
{
    EXPECT_EQ(fileUrlFromPath("/home/ann/Application Support/x"), "file:///home/ann/Application%20Support/x");
    EXPECT_EQ(fileUrlFromPath("/tmp/50% off#1?.txt"), "file:///tmp/50%25%20off%231%3F.txt");
    EXPECT_EQ(fileUrlFromPath("/tmp/\xff\xfe"), "file:///tmp/%FF%FE");
    EXPECT_EQ(fileUrlFromPath("/tmp/caf\xc3\xa9"), "file:///tmp/caf%C3%A9");
    EXPECT_EQ(fileUrlFromPath("/a-b._~!$&'()*+,;=:@"), "file:///a-b._~!$&'()*+,;=:@");
}

TEST(FileUrlTest, DirectoriesEndInOneSlash)
{
    EXPECT_EQ(fileUrlFromPath("/home/ann/.cache", true), "file:///home/ann/.cache/");
    EXPECT_EQ(fileUrlFromPath("/home/ann/.cache/", true), "file:///home/ann/.cache/");
    EXPECT_EQ(fileUrlFromPath("/", true), "file:///");
    // A name appended to a directory URL lands inside the directory.
    EXPECT_EQ(pathFromFileUrl(fileUrlFromPath("/b/x y", true) + "Info.plist"), "/b/x y/Info.plist");
}

TEST(FileUrlTest, DecodesLeniently)
{
    EXPECT_EQ(pathFromFileUrl("file:///tmp/a%20b"), "/tmp/a b");
    EXPECT_EQ(pathFromFileUrl("file:///tmp/a%2fb%2F"), "/tmp/a/b");
    EXPECT_EQ(pathFromFileUrl("file:///tmp/raw space"), "/tmp/raw space");
    EXPECT_EQ(pathFromFileUrl("file://localhost/etc/passwd"), "/etc/passwd");
    EXPECT_EQ(pathFromFileUrl("file:///"), "/");
    EXPECT_EQ(pathFromFileUrl("file:///dir/"), "/dir");
}

TEST(FileUrlTest, RejectsWhatCouldRedirectAPath)
{
    EXPECT_EQ(pathFromFileUrl("file:///x%00y"), std::nullopt); // a NUL would cut the path short
    using namespace std::string_view_literals;
    EXPECT_EQ(pathFromFileUrl("file:///x\0y"sv), std::nullopt) << "a raw NUL as well as an escaped one";
    EXPECT_EQ(pathFromFileUrl("file:///x/\0"sv), std::nullopt);
    EXPECT_EQ(pathFromFileUrl("file:///bad%zz"), std::nullopt);
    EXPECT_EQ(pathFromFileUrl("file:///bad%4"), std::nullopt);
    EXPECT_EQ(pathFromFileUrl("file:///bad%"), std::nullopt);
    EXPECT_EQ(pathFromFileUrl("file://host/etc"), std::nullopt);
    EXPECT_EQ(pathFromFileUrl("file:relative"), std::nullopt);
    EXPECT_EQ(pathFromFileUrl("http://example.org/x"), std::nullopt);
    EXPECT_EQ(pathFromFileUrl(""), std::nullopt);
}

TEST(FileUrlTest, EveryByteStringRoundTrips)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<int> length(1, 40);
    for (int round = 0; round < 2000; ++round) {
        std::string path = "/";
        const int n = length(rng);
        for (int k = 0; k < n; ++k) {
            path.push_back(static_cast<char>(byte(rng)));
        }
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        const std::string url = fileUrlFromPath(path);
        ASSERT_EQ(pathFromFileUrl(url), path) << url;
        for (const char c : url.substr(7)) {
            ASSERT_TRUE(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F) << url;
        }
    }
}

// Long paths go through the sixteen-bytes-at-a-time scan: every byte value,
// at every place in a block and across block edges, is encoded as a short
// path's bytes are.
TEST(FileUrlTest, EveryByteIsEncodedTheSameInLongPaths)
{
    const auto expected = [](unsigned char c) {
        const std::string kept = "-._~!$&'()*+,;=:@/";
        if (std::isalnum(c) != 0 && c < 0x80) {
            return std::string(1, static_cast<char>(c));
        }
        if (kept.find(static_cast<char>(c)) != std::string::npos) {
            return std::string(1, static_cast<char>(c));
        }
        static constexpr std::string_view Hex = "0123456789ABCDEF";
        return std::string{ '%', Hex[c >> 4U], Hex[c & 0xFU] };
    };
    const std::string plain =
        "/home/ann/Documents-2024_final.v2/abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int value = 1; value < 256; ++value) {
        const auto c = static_cast<unsigned char>(value);
        for (std::size_t at = 1; at < 40; ++at) {
            std::string path = plain;
            path[at] = static_cast<char>(c);
            const std::string url = fileUrlFromPath(path);
            const std::string want = "file://" + path.substr(0, at) + expected(c) + path.substr(at + 1);
            ASSERT_EQ(url, want) << "byte " << value << " at " << at;
        }
    }
}
