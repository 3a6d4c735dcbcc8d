// SPDX-License-Identifier: GPL-3.0-or-later
#include "JsonStream.h"

#include "Output.h"
#include "format/Utf8.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cli {

namespace {

constexpr std::size_t FlushSize = std::size_t{ 1 } << 20U;

/// Whether the byte needs an escape in a JSON string (a control character, a
/// quote or a backslash) or, with `highToo`, lies above ASCII.
constexpr bool isSpecial(unsigned char c, bool highToo)
{
    return c < 0x20 || c == '"' || c == '\\' || (highToo && c >= 0x80);
}

#if defined(__SSE2__)
/// One bit for each of the sixteen bytes at `data` that is special (isSpecial).
unsigned specialMask(const char *data, bool highToo)
{
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data)); // NOLINT
    const __m128i lastControl = _mm_set1_epi8(0x1F);
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(bytes, lastControl), lastControl);
    const __m128i hits = _mm_or_si128(
        control, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (highToo) {
        mask |= static_cast<unsigned>(_mm_movemask_epi8(bytes)); // the top bit of each byte
    }
    return mask;
}
#endif

/// The position of the first special byte (isSpecial) of `data` at or after
/// `from`, or `size`. Sixteen bytes at a time where the processor allows:
/// records hold long paths, and a scan of a home folder writes tens of
/// megabytes of them.
std::size_t nextSpecial(const char *data, std::size_t from, std::size_t size, bool highToo)
{
    std::size_t i = from;
#if defined(__SSE2__)
    for (; i + 16 <= size; i += 16) {
        if (const unsigned mask = specialMask(data + i, highToo); mask != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
        }
    }
#endif
    for (; i < size; ++i) {
        if (isSpecial(static_cast<unsigned char>(data[i]), highToo)) {
            return i;
        }
    }
    return size;
}

/// Whether any of the `size` bytes at `data` is special. With SSE2 it reads
/// whole blocks of sixteen bytes, so up to fifteen bytes past the end must
/// be readable.
bool hasSpecial(const char *data, std::size_t size, bool highToo)
{
#if defined(__SSE2__)
    for (std::size_t i = 0; i < size; i += 16) {
        unsigned mask = specialMask(data + i, highToo);
        if (size - i < 16) {
            mask &= (1U << (size - i)) - 1U; // only the text's own bytes
        }
        if (mask != 0) {
            return true;
        }
    }
    return false;
#else
    return nextSpecial(data, 0, size, highToo) != size;
#endif
}

} // namespace

JsonText::JsonText(JsonText &&other) noexcept
    : m_data(std::move(other.m_data))
    , m_size(std::exchange(other.m_size, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
{
}

JsonText &JsonText::operator=(JsonText &&other) noexcept
{
    m_data = std::move(other.m_data);
    m_size = std::exchange(other.m_size, 0);
    m_capacity = std::exchange(other.m_capacity, 0);
    return *this;
}

void JsonText::reserve(std::size_t capacity)
{
    if (capacity > m_capacity) {
        grow(capacity - m_size);
    }
}

void JsonText::grow(std::size_t more)
{
    const std::size_t capacity = std::max({ 2 * m_capacity, m_size + more, std::size_t{ 256 } });
    std::unique_ptr<char[]> data = std::make_unique_for_overwrite<char[]>(capacity);
    if (m_size > 0) {
        std::memcpy(data.get(), m_data.get(), m_size);
    }
    m_data = std::move(data);
    m_capacity = capacity;
}

JsonStream::JsonStream(std::FILE *out, JsonLayout layout)
    : m_out(out)
    , m_indented(layout == JsonLayout::Indented)
{
    m_buffer.reserve(FlushSize + 4096);
}

JsonStream::JsonStream(bool indented, std::vector<std::size_t> counts, std::size_t before, JsonText buffer)
    : m_out(nullptr)
    , m_indented(indented)
    , m_buffer(std::move(buffer))
    , m_counts(std::move(counts))
{
    m_buffer.clear();
    m_counts.back() = before;
    m_finished = true; // a piece ends nothing
}

JsonStream::JsonStream(JsonStream &&other) noexcept
    : m_out(other.m_out)
    , m_indented(other.m_indented)
    , m_buffer(std::move(other.m_buffer))
    , m_counts(std::move(other.m_counts))
    , m_afterKey(other.m_afterKey)
    , m_finished(std::exchange(other.m_finished, true))
{
}

JsonStream::~JsonStream()
{
    finish();
}

JsonText JsonStream::append(JsonStream &&piece)
{
    m_counts.back() = piece.m_counts.back();
    if (m_out == nullptr || piece.m_buffer.size() < FlushSize / 4) {
        m_buffer.append(piece.m_buffer.data(), piece.m_buffer.size());
        flushIfLarge();
    } else {
        // A large piece goes out as it is, after what is buffered: no copy.
        write();
        std::swap(m_buffer, piece.m_buffer);
        write();
        std::swap(m_buffer, piece.m_buffer);
    }
    return std::move(piece.m_buffer);
}

void JsonStream::elements(std::size_t count, const ElementRange &render)
{
    // A run is about 300 kB of records; at most Window runs are in memory at once.
    constexpr std::size_t RunLength = 1024;
    constexpr std::size_t Window = 4;
    const std::size_t runs = (count + RunLength - 1) / RunLength;
    const std::size_t first = m_counts.back();
    // Pieces start from these, not from this stream, which changes as runs are written.
    const std::vector<std::size_t> openCounts = m_counts;
    const auto runStart = [first](std::size_t run) {
        return first + run * RunLength;
    };
    const auto runEnd = [count](std::size_t run) {
        return std::min((run + 1) * RunLength, count);
    };

    // Both threads take the next run to render, while the window has room;
    // this thread also writes the rendered runs in order as they are ready.
    // Each slot's buffer is reused from run to run: fresh ones would cost page faults.
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t nextRun = 0; // the next run to be rendered
    std::size_t written = 0; // runs written, in order
    std::array<std::optional<JsonStream>, Window> rendered;
    std::array<JsonText, Window> buffers;
    std::exception_ptr helperFailure;
    bool abandoned = false; // this thread failed: the helper stops

    const auto renderRun = [&](std::size_t run, std::unique_lock<std::mutex> &lock) {
        JsonStream piece(m_indented, openCounts, runStart(run), std::move(buffers[run % Window]));
        lock.unlock();
        render(run * RunLength, runEnd(run), piece);
        lock.lock();
        rendered[run % Window].emplace(std::move(piece));
        changed.notify_all();
    };
    const auto mayRender = [&] {
        return nextRun < runs && nextRun < written + Window;
    };

    std::jthread helper;
    if (runs > 1) {
        helper = std::jthread([&] {
            std::unique_lock lock(mutex);
            try {
                for (;;) {
                    changed.wait(lock, [&] {
                        return nextRun >= runs || mayRender() || abandoned;
                    });
                    if (nextRun >= runs || abandoned) {
                        return;
                    }
                    renderRun(nextRun++, lock);
                }
            } catch (...) {
                helperFailure = std::current_exception();
                changed.notify_all();
            }
        });
    }

    std::unique_lock lock(mutex);
    try {
        while (written < runs) {
            if (std::optional<JsonStream> &ready = rendered[written % Window]; ready) {
                JsonStream piece = std::move(*ready);
                ready.reset();
                lock.unlock();
                JsonText buffer = append(std::move(piece));
                lock.lock();
                buffers[written % Window] = std::move(buffer);
                ++written;
                changed.notify_all();
            } else if (helperFailure) {
                std::rethrow_exception(helperFailure);
            } else if (mayRender()) {
                renderRun(nextRun++, lock);
            } else {
                changed.wait(lock); // the helper is rendering the run that is to be written next
            }
        }
    } catch (...) {
        if (!lock.owns_lock()) {
            lock.lock();
        }
        abandoned = true;
        changed.notify_all();
        throw;
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

void JsonStream::string(std::string_view text)
{
    beforeValue();
    // Most names are valid UTF-8: they are escaped in one pass. Others are
    // repaired first, as JSON text must be valid UTF-8.
    if (!appendEscaped(text, true)) {
        appendEscaped(displayText(text), false);
    }
}

bool JsonStream::appendEscaped(std::string_view text, bool checkUtf8)
{
    // Most strings need no escape: they are copied with their quotes and
    // then checked where they now lie, whole blocks of sixteen bytes at a
    // time even when short (the room asked for keeps every load inside the
    // buffer; bytes past the text are masked out).
    char *copy = m_buffer.room(text.size() + 2 + 16);
    copy[0] = '"';
    if (!text.empty()) {
        std::memcpy(copy + 1, text.data(), text.size());
    }
    if (!hasSpecial(copy + 1, text.size(), checkUtf8)) {
        copy[text.size() + 1] = '"';
        m_buffer.grew(text.size() + 2);
        return true;
    }

    const std::size_t mark = m_buffer.size();
    m_buffer.push_back('"');
    const char *data = text.data();
    std::size_t start = 0; // start of the run of bytes that need no escape
    for (std::size_t i = 0;;) {
        i = nextSpecial(data, i, text.size(), checkUtf8);
        if (i == text.size()) {
            break;
        }
        const auto c = static_cast<unsigned char>(data[i]);
        if (checkUtf8 && c >= 0x80) {
            const std::size_t length = core::format::utf8SequenceLength(text, i);
            if (length == 0) {
                m_buffer.truncate(mark);
                return false;
            }
            i += length;
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
    return true;
}

void JsonStream::integer(std::int64_t number)
{
    beforeValue();
    constexpr std::size_t MostDigits = 20; // a sign and 19 digits
    char *at = m_buffer.room(MostDigits);
    m_buffer.grew(static_cast<std::size_t>(std::to_chars(at, at + MostDigits, number).ptr - at));
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
    // A piece (no stream of its own) keeps its whole text, however large,
    // until the document takes it.
    if (m_out != nullptr && m_buffer.size() >= FlushSize) {
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
