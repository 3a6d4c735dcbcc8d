#include "JsonStream.h"

#include "Output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

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
