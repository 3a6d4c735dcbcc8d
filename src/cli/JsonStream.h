// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Output.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

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
    JsonStream(bool indented, std::vector<std::size_t> counts, std::size_t before, std::string buffer);

    /// Writes the text of `piece`, whose elements follow those written, and
    /// hands back its buffer for the next piece.
    std::string append(JsonStream &&piece);

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
    std::string m_buffer;
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

inline void JsonStream::key(std::string_view name)
{
    // Keys are the tool's own ASCII names: nothing in them needs an escape.
    if (!m_indented) {
        // The compact layout's hot path: a plain copy of each piece.
        if (m_counts.back()++ > 0) {
            m_buffer.push_back(',');
        }
        m_buffer.push_back('"');
        m_buffer.append(name.data(), name.size());
        m_buffer.append("\":", 2);
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
    m_buffer.append(value ? "true" : "false");
}

} // namespace cli
