#include "JsonStream.h"

#include "Output.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace cli {

namespace {

constexpr std::size_t FlushSize = std::size_t{ 1 } << 20U;

// Eight bytes at a time: records hold long paths, and a scan of a home
// folder writes tens of megabytes of them.
constexpr std::uint64_t LowBits = 0x0101010101010101ULL;
constexpr std::uint64_t HighBits = 0x8080808080808080ULL;

/// Whether any byte of `word` is below `limit` (at most 0x80). Exact for
/// "any", which is all that is asked.
constexpr bool anyByteBelow(std::uint64_t word, std::uint64_t limit)
{
    return ((word - LowBits * limit) & ~word & HighBits) != 0;
}

/// Whether any byte of `word` needs an escape in a JSON string: a control
/// character, a quote or a backslash.
constexpr bool needsEscape(std::uint64_t word)
{
    return anyByteBelow(word, 0x20) || anyByteBelow(word ^ (LowBits * '"'), 1)
        || anyByteBelow(word ^ (LowBits * '\\'), 1);
}

bool isAscii(std::string_view text)
{
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= text.size(); i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & HighBits) != 0) {
            return false;
        }
    }
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0x80U) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

JsonStream::JsonStream(std::FILE *out, JsonLayout layout)
    : m_out(out)
    , m_indented(layout == JsonLayout::Indented)
{
    m_buffer.reserve(FlushSize + 4096);
}

JsonStream::~JsonStream()
{
    finish();
}

void JsonStream::beforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_counts.empty()) {
        return; // the document's top value
    }
    if (m_counts.back()++ > 0) {
        m_buffer.push_back(',');
    }
    if (m_indented) {
        m_buffer.push_back('\n');
        m_buffer.append(2 * m_counts.size(), ' ');
    }
}

void JsonStream::beginObject()
{
    beforeValue();
    m_buffer.push_back('{');
    m_counts.push_back(0);
}

void JsonStream::endObject()
{
    const std::size_t count = m_counts.back();
    m_counts.pop_back();
    if (count > 0 && m_indented) {
        m_buffer.push_back('\n');
        m_buffer.append(2 * m_counts.size(), ' ');
    }
    m_buffer.push_back('}');
    flushIfLarge();
}

void JsonStream::beginArray()
{
    beforeValue();
    m_buffer.push_back('[');
    m_counts.push_back(0);
}

void JsonStream::endArray()
{
    const std::size_t count = m_counts.back();
    m_counts.pop_back();
    if (count > 0 && m_indented) {
        m_buffer.push_back('\n');
        m_buffer.append(2 * m_counts.size(), ' ');
    }
    m_buffer.push_back(']');
    flushIfLarge();
}

void JsonStream::key(std::string_view name)
{
    beforeValue();
    appendEscaped(name);
    m_buffer.append(m_indented ? ": " : ":");
    m_afterKey = true;
}

void JsonStream::string(std::string_view text)
{
    beforeValue();
    if (isAscii(text)) {
        appendEscaped(text);
    } else {
        appendEscaped(displayText(text));
    }
}

void JsonStream::appendEscaped(std::string_view text)
{
    m_buffer.push_back('"');
    const char *data = text.data();
    std::size_t start = 0; // start of the run of bytes that need no escape
    std::size_t i = 0;
    while (i < text.size()) {
        if (i + sizeof(std::uint64_t) <= text.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + i, sizeof word);
            if (!needsEscape(word)) {
                i += sizeof word;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        m_buffer.append(data + start, i - start);
        start = ++i;
        switch (c) {
        case '"':
            m_buffer.append("\\\"");
            break;
        case '\\':
            m_buffer.append("\\\\");
            break;
        case '\b':
            m_buffer.append("\\b");
            break;
        case '\f':
            m_buffer.append("\\f");
            break;
        case '\n':
            m_buffer.append("\\n");
            break;
        case '\r':
            m_buffer.append("\\r");
            break;
        case '\t':
            m_buffer.append("\\t");
            break;
        default: {
            static constexpr std::string_view Hex = "0123456789abcdef";
            m_buffer.append("\\u00");
            m_buffer.push_back(Hex[c >> 4U]);
            m_buffer.push_back(Hex[c & 0xFU]);
        }
        }
    }
    m_buffer.append(data + start, text.size() - start);
    m_buffer.push_back('"');
}

void JsonStream::integer(std::int64_t number)
{
    beforeValue();
    std::array<char, 24> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), number);
    m_buffer.append(digits.data(), written.ptr);
}

void JsonStream::boolean(bool value)
{
    beforeValue();
    m_buffer.append(value ? "true" : "false");
}

void JsonStream::write()
{
    // After a failed write the rest of the document has nowhere to go.
    if (std::ferror(m_out) == 0 && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size()) {
        noteFailure();
    }
    m_buffer.clear();
}

void JsonStream::noteFailure()
{
    if (m_out == stdout) {
        noteFailedWrite(errno);
    }
}

void JsonStream::flushIfLarge()
{
    if (m_buffer.size() >= FlushSize) {
        write();
    }
}

void JsonStream::finish()
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_buffer.push_back('\n');
    write();
    if (std::ferror(m_out) == 0 && std::fflush(m_out) != 0) {
        noteFailure();
    }
}

} // namespace cli
