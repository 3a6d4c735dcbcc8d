// SPDX-License-Identifier: GPL-3.0-or-later
#include "JsonStream.h"

#include "Output.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

std::string streamed(const std::function<void(cli::JsonStream &)> &write, cli::JsonLayout layout)
{
    std::FILE *file = std::tmpfile();
    {
        cli::JsonStream json(file, layout);
        write(json);
        json.finish();
    }
    std::rewind(file);
    std::string text;
    char buf[4096];
    for (std::size_t n = 0; (n = std::fread(buf, 1, sizeof buf, file)) > 0;) {
        text.append(buf, n);
    }
    std::fclose(file);
    return text;
}

} // namespace

// The streamed form must be exactly what printJson gives for the same document,
// awkward names included, so scripts see one format whichever path wrote it.
TEST(JsonStreamTest, MatchesTheDocumentWriterByteForByte)
{
    const std::string awkward =
        std::string("q\"uote\\ new\nline\ttab \x01 ctl \xff\xfe bad caf\xc3\xa9 ") + '\0' + "nul";
    const auto write = [&](cli::JsonStream &json) {
        json.beginObject();
        json.key("modules");
        json.beginArray();
        json.beginObject();
        json.key("name");
        json.string(awkward);
        json.key("size");
        json.integer(-9223372036854775807LL - 1);
        json.key("isFolder");
        json.boolean(true);
        json.key("children");
        json.beginArray();
        json.endArray();
        json.key("empty");
        json.beginObject();
        json.endObject();
        json.endObject();
        json.endArray();
        json.endObject();
    };

    nlohmann::json expected = { { "modules",
        { { { "name", cli::displayText(awkward) },
            { "size", -9223372036854775807LL - 1 },
            { "isFolder", true },
            { "children", nlohmann::json::array() },
            { "empty", nlohmann::json::object() } } } } };
    for (const auto &[layout, indent] :
        { std::pair{ cli::JsonLayout::Indented, 2 }, std::pair{ cli::JsonLayout::Compact, -1 } }) {
        const std::string text = streamed(write, layout);
        ASSERT_TRUE(nlohmann::json::accept(text)) << text;
        EXPECT_EQ(nlohmann::json::parse(text), expected);
        // The document writer sorts keys; compare layout on a key-ordered twin.
        const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(text);
        EXPECT_EQ(text, ordered.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    }
}

// Every control byte, early in a string (where strings are scanned sixteen
// bytes at a time) and in a short tail, is escaped as the document writer does.
TEST(JsonStreamTest, EveryControlByteIsEscapedAsTheDocumentWriterDoes)
{
    for (int byte = 0; byte < 0x20; ++byte) {
        const char c = static_cast<char>(byte);
        for (const std::string &name : { std::string(1, c) + "abcdefghijklmnopqrstuvwxyz",
                 std::string("abcdefgh") + c + "ijklmnopqrstuvwxyz",
                 std::string("abcdefghijklmnopqrstuvwxyz") + c,
                 std::string("ab") + c }) {
            const std::string text = streamed(
                [&](cli::JsonStream &json) {
                    json.beginObject();
                    json.key("name");
                    json.string(name);
                    json.endObject();
                },
                cli::JsonLayout::Compact);
            const nlohmann::ordered_json expected = { { "name", cli::displayText(name) } };
            EXPECT_EQ(text, expected.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n")
                << "byte " << byte;
        }
    }
}

// Elements written in pieces on two threads must give the document written one
// at a time: commas at the joins, indentation, the elements already in the
// array, and every element exactly once, in order, on both sides of the run
// boundaries.
TEST(JsonStreamTest, ElementsWrittenInPiecesAreTheElementsWrittenOneByOne)
{
    // Valid UTF-8 across word boundaries stays as it is; a stray byte is
    // repaired. The long name makes runs large enough to be written apart,
    // and larger than the stream's own flushes (as deep paths or a record
    // with thousands of children make them).
    const std::vector<std::string> names = { std::string(6000, 'l'),
        "caf\xc3\xa9 na\xc3\xafve \xf0\x9f\x8c\xb2 tree",
        "1234567\xc3\xa9",
        "tab\there \"quoted\"",
        "stray \xff byte" };
    const auto element = [&names](cli::JsonStream &json, std::size_t k) {
        json.beginObject();
        json.key("index");
        json.integer(static_cast<std::int64_t>(k));
        json.key("name");
        json.string(names[k % names.size()]);
        json.key("parts");
        json.beginArray();
        if (k % 3 == 0) {
            json.boolean(true);
        }
        json.endArray();
        json.endObject();
    };
    for (const std::size_t count : { std::size_t{ 0 },
             std::size_t{ 1 },
             std::size_t{ 2048 },
             std::size_t{ 2049 },
             std::size_t{ 4096 },
             std::size_t{ 6145 },
             std::size_t{ 20000 } }) {
        for (const auto layout : { cli::JsonLayout::Indented, cli::JsonLayout::Compact }) {
            const auto document = [&](bool inPieces) {
                std::vector<std::atomic<int>> rendered(count);
                const std::string text = streamed(
                    [&](cli::JsonStream &json) {
                        json.beginObject();
                        json.key("files");
                        json.beginArray();
                        json.string("before");
                        if (inPieces) {
                            json.elements(count, [&](std::size_t first, std::size_t end, cli::JsonStream &piece) {
                                for (std::size_t k = first; k < end; ++k) {
                                    ++rendered[k];
                                    element(piece, k);
                                }
                            });
                        } else {
                            for (std::size_t k = 0; k < count; ++k) {
                                ++rendered[k];
                                element(json, k);
                            }
                        }
                        json.string("after");
                        json.endArray();
                        json.key("count");
                        json.integer(static_cast<std::int64_t>(count));
                        json.endObject();
                    },
                    layout);
                for (std::size_t k = 0; k < count; ++k) {
                    EXPECT_EQ(rendered[k].load(), 1) << "element " << k << " of " << count;
                }
                return text;
            };
            const std::string expected = document(false);
            ASSERT_TRUE(nlohmann::json::accept(expected));
            // Not EXPECT_EQ: a mismatch of megabytes would be printed whole.
            EXPECT_TRUE(document(true) == expected) << count << " elements";
        }
    }
}
