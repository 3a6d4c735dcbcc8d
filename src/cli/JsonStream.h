#pragma once

#include "Output.h"

#include <cstdint>
#include <cstdio>
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

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    /// The key of the next value; inside an object only.
    void key(std::string_view name);
    void string(std::string_view text);
    void integer(std::int64_t number);
    void boolean(bool value);
    /// Ends the document with a newline and flushes it. Called by the destructor if needed.
    void finish();

private:
    void beforeValue();
    void appendEscaped(std::string_view text);
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

} // namespace cli
