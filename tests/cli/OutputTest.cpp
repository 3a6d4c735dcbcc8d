// SPDX-License-Identifier: GPL-3.0-or-later
// How names and paths are shown in the text output.
#include "Output.h"

#include <gtest/gtest.h>

#include <unistd.h>

using cli::absolutePath;
using cli::printableText;

TEST(PrintableText, PrintableNamesStayAsTheyAre)
{
    for (const char *name : { "plain", "a b", "it's", "dollar$x", "é", "\xE2\x80\xAE", "" }) {
        EXPECT_EQ(printableText(name), name);
    }
}

// Each expected text is what `ls --quoting-style=shell-escape` (GNU coreutils 9.1, UTF-8 locale) prints.
TEST(PrintableText, QuotedAsLsQuotesShellEscapes)
{
    const std::pair<std::string, std::string> cases[] = {
        { "a\nb", R"('a'$'\n''b')" },
        { "x\x1b[2Jy", R"('x'$'\033''[2Jy')" },
        { "tab\there", R"('tab'$'\t''here')" },
        { "bad\xFF"
          "byte",
            R"('bad'$'\377''byte')" },
        { "c1\xC2\x85x", R"('c1'$'\302\205''x')" },
        { "\x7F", R"(''$'\177')" },
        { "\xE2\x80\xA8", R"(''$'\342\200\250')" },
        { "\xC3", R"(''$'\303')" },
        { "\xC3\xA9\n", R"('é'$'\n')" },
        { "x\n\n", R"('x'$'\n\n')" },
        { "\n\nx", R"(''$'\n\n''x')" },
        { "\x01\a\v\b\f\r\t", R"(''$'\001\a\v\b\f\r\t')" },
        { "\n'", R"(''$'\n'\''')" },
        { "a\n'b", R"('a'$'\n'\''b')" },
        { "q'\nz", R"('q'\'''$'\n''z')" },
        { "a b\n", R"('a b'$'\n')" },
    };
    for (const auto &[name, shown] : cases) {
        EXPECT_EQ(printableText(name), shown) << shown;
    }
}

TEST(AbsolutePath, TidiedLexically)
{
    EXPECT_EQ(absolutePath("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(absolutePath("//x"), "/x");
    EXPECT_EQ(absolutePath("/../x"), "/x");
    EXPECT_EQ(absolutePath("///"), "/");
    EXPECT_EQ(absolutePath("/a/b/../.."), "/");
    EXPECT_EQ(absolutePath("/n\xFF/./m"), "/n\xFF/m");
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(absolutePath("x/./y/.."), absolutePath(std::string(cwd) + "/x"));
}
