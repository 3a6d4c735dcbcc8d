// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Output.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

/// The text of a JSON document being written: a growable array of bytes
/// whose appends inline to one capacity check and a copy, as every key and
/// value of hundreds of thousands of records goes through them.
class JsonText
{
public:
    JsonText() = default;
    JsonText(const JsonText &) = delete;
    JsonText &operator=(const JsonText &) = delete;
    JsonText(JsonText &&other) noexcept;
    JsonText &operator=(JsonText &&other) noexcept;

    const char *data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    void clear() { m_size = 0; }
    /// Drops the text after its first `size` bytes; `size` is at most size().
    void truncate(std::size_t size) { m_size = size; }
    void reserve(std::size_t capacity);

    void push_back(char c)
    {
        if (m_size == m_capacity) {
            grow(1);
        }
        m_data[m_size++] = c;
    }
    void append(const char *text, std::size_t length)
    {
        if (length == 0) {
            return;
        }
        std::memcpy(room(length), text, length);
        m_size += length;
    }
    void append(std::string_view text) { append(text.data(), text.size()); }
    void append(std::size_t count, char c)
    {
        if (count == 0) {
            return;
        }
        std::memset(room(count), c, count);
        m_size += count;
    }
    /// Where at most `length` more bytes may be written; grew() then counts those written.
    char *room(std::size_t length)
    {
        if (length > m_capacity - m_size) {
            grow(length);
        }
        return m_data.get() + m_size;
    }
    void grew(std::size_t written) { m_size += written; }

private:
    void grow(std::size_t more);

    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

/// Writes one JSON document to a stream as it is produced, laid out exactly
/// as printJson() lays out a document: indented by two spaces with
/// "key": value (empty containers as {} and []), or compact on one line, so
/// big results need no document tree in memory. Strings are bytes: invalid UTF-8 is shown as displayText() shows
/// it (U+FFFD); control characters, quotes and backslashes are escaped. The
/// caller writes object keys in the order it wants them shown.
///
/// Output is buffered and flushed in large blocks and at finish(). A failed
/// write to stdout is noted for resultsWritten(), and nothing more is
/// written after one. Not thread-safe; one document per object.
class JsonStream
{
public:
    JsonStream(std::FILE *out, JsonLayout layout);
    ~JsonStream();
    JsonStream(const JsonStream &) = delete;
    JsonStream &operator=(const JsonStream &) = delete;
    /// The moved-from stream writes nothing more, not even at destruction.
    JsonStream(JsonStream &&other) noexcept;
    JsonStream &operator=(JsonStream &&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    /// The key of the next value; inside an object only. Written as it is:
    /// keys are the tool's own ASCII names, never data.
    void key(std::string_view name);
    void string(std::string_view text);
    void integer(std::int64_t number);
    void boolean(bool value);

    /// Renders the range [first, end) of an array's elements into `piece`.
    using ElementRange = std::function<void(std::size_t first, std::size_t end, JsonStream &piece)>;

    /// Writes `count` elements of the array being written, in order. They
    /// are rendered a run of consecutive elements at a time, by `render` on
    /// this thread and on one helper thread at once, so `render` must be
    /// safe to call concurrently on different ranges. Memory stays bounded:
    /// the helper is never more than one run ahead of the writing.
    void elements(std::size_t count, const ElementRange &render);
    /// Ends the document with a newline and flushes it. Called by the destructor if needed.
    void finish();

private:
    /// A piece of the document rendered apart from it (for elements()), in
    /// the layout given, inside the open containers whose element counts are
    /// `counts`, with `before` elements already in the innermost one;
    /// rendered into `buffer` (emptied first, its storage reused). It writes
    /// nowhere; its text is taken.
    JsonStream(bool indented, std::vector<std::size_t> counts, std::size_t before, JsonText buffer);

    /// Writes the text of `piece`, whose elements follow those written, and
    /// hands back its buffer for the next piece.
    JsonText append(JsonStream &&piece);

    void beforeValue();
    /// Appends `text` as a JSON string. With `checkUtf8`, gives up at the
    /// first byte that starts no well-formed UTF-8 sequence, leaving the
    /// buffer as it was, and returns false.
    bool appendEscaped(std::string_view text, bool checkUtf8);
    void flushIfLarge();
    void write();
    void noteFailure();

    std::FILE *m_out; // not owned
    bool m_indented;
    JsonText m_buffer;
    std::vector<std::size_t> m_counts; // elements written per open container
    bool m_afterKey = false;
    bool m_finished = false;
};

// Called for every value of documents of hundreds of thousands of records: inline.

inline void JsonStream::beforeValue()
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

// Inlined where it is called, so that each key, a constant, is copied without a call.
[[gnu::always_inline]] inline void JsonStream::key(std::string_view name)
{
    // Keys are the tool's own ASCII names: nothing in them needs an escape.
    if (!m_indented) {
        // The compact layout's hot path: a plain copy of each piece.
        if (m_counts.back()++ > 0) {
            m_buffer.push_back(',');
        }
        char *at = m_buffer.room(name.size() + 3);
        at[0] = '"';
        std::memcpy(at + 1, name.data(), name.size());
        at[name.size() + 1] = '"';
        at[name.size() + 2] = ':';
        m_buffer.grew(name.size() + 3);
        m_afterKey = true;
        return;
    }
    beforeValue();
    m_buffer.push_back('"');
    m_buffer.append(name);
    m_buffer.append("\": ", 3);
    m_afterKey = true;
}

inline void JsonStream::boolean(bool value)
{
    beforeValue();
    m_buffer.append(value ? std::string_view("true") : std::string_view("false"));
}

} // namespace cli
