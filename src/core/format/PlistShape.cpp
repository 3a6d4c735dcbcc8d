// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/PlistShape.h"

#include "format/Plist.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace core::format {

namespace {

constexpr std::size_t NotFound = std::string_view::npos;

// ---------------------------------------------------------------------------
// Binary documents: "bplist00", the objects, a table of their offsets, and a
// 32-byte trailer (offset size, reference size, object count, top object,
// table offset). A container holds references (object numbers); a
// dictionary holds its keys' references, then its values'.

constexpr std::string_view BinaryMagic = "bplist00";
constexpr std::size_t TrailerSize = 32;

// Object types, the high nibble of an object's first byte. The low nibble is
// a size or a count; 0xF means an integer object with the count follows.
constexpr unsigned TypeInteger = 0x1;
constexpr unsigned TypeData = 0x4;
constexpr unsigned TypeAscii = 0x5;
constexpr unsigned TypeUtf16 = 0x6;
constexpr unsigned TypeArray = 0xA;
constexpr unsigned TypeSet = 0xC; // read as an array by the library
constexpr unsigned TypeDict = 0xD;

std::uint64_t bigEndian(const unsigned char *bytes, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8U) | bytes[i];
    }
    return value;
}

/// Widths the library reads as plain big-endian numbers; anything else is refused.
bool isPlainWidth(std::uint64_t width)
{
    return width == 1 || width == 2 || width == 4 || width == 8;
}

class BinaryShape
{
public:
    BinaryShape(std::string_view bytes, std::size_t maxNodes)
        : m_data(reinterpret_cast<const unsigned char *>(
            bytes.data())) // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        , m_size(bytes.size())
        , m_maxNodes(maxNodes)
    {
    }

    bool acceptable()
    {
        if (!readTrailer()) {
            return false;
        }
        // Depth-first over the references with an explicit stack. Each object
        // is examined once: its height and node count (every reference to it
        // counting its whole subtree again, as the library copies it) are
        // kept for later references.
        m_flags.assign(m_objects, 0);
        m_heights.assign(m_objects, 0);
        m_nodes.assign(m_objects, 0);
        m_bytes.assign(m_objects, 0);
        if (!enter(m_top)) {
            return false;
        }
        while (!m_stack.empty()) {
            Frame &frame = m_stack.back();
            const std::size_t depth = m_stack.size() - 1;
            if (frame.next == frame.object.refCount) {
                const Frame done = frame;
                m_stack.pop_back();
                m_flags[done.index] = static_cast<std::uint8_t>((m_flags[done.index] & String) | Done);
                m_heights[done.index] = static_cast<std::uint16_t>(done.height);
                m_nodes[done.index] = static_cast<std::uint32_t>(done.nodes);
                m_bytes[done.index] = static_cast<std::uint32_t>(done.bytes);
                if (!m_stack.empty() && !addChild(m_stack.back(), done, depth - 1)) {
                    return false;
                }
                continue;
            }
            const bool isKey = frame.next < frame.object.keyCount;
            const std::uint64_t child = reference(frame.object, frame.next++);
            if (child >= m_objects || (m_flags[child] & Active) != 0) {
                return false; // no such object, or a cycle
            }
            if ((m_flags[child] & Done) != 0) {
                Frame known;
                known.height = m_heights[child];
                known.nodes = m_nodes[child];
                known.bytes = m_bytes[child];
                if ((isKey && (m_flags[child] & String) == 0) || !addChild(frame, known, depth)) {
                    return false;
                }
                continue;
            }
            if (depth + 1 > static_cast<std::size_t>(MaxPlistDepth) || !enter(child)
                || (isKey && (m_flags[child] & String) == 0)) {
                return false;
            }
        }
        return true;
    }

private:
    enum Flag : std::uint8_t { Active = 1, Done = 2, String = 4 };

    struct Object
    {
        std::uint64_t refs = 0; // offset of the first reference
        std::uint64_t refCount = 0;
        std::uint64_t keyCount = 0; // a dictionary's first refCount / 2 references are its keys
        std::uint64_t bytes = 0; // what the library allocates for a string's or data's content
        bool isString = false;
    };

    struct Frame
    {
        std::uint64_t index = 0;
        Object object;
        std::uint64_t next = 0; // next reference to follow
        std::uint64_t height = 0; // levels below this object
        std::uint64_t nodes = 1; // this object and everything below it
        std::uint64_t bytes = 0; // strings and data in this object and below it
    };

    bool readTrailer()
    {
        if (m_size < BinaryMagic.size() + 1 + TrailerSize) {
            return false;
        }
        const unsigned char *trailer = m_data + (m_size - TrailerSize);
        m_offsetWidth = trailer[6];
        m_refWidth = trailer[7];
        m_objects = bigEndian(trailer + 8, 8);
        m_top = bigEndian(trailer + 16, 8);
        m_table = bigEndian(trailer + 24, 8);
        const std::uint64_t trailerStart = m_size - TrailerSize;
        // More objects than nodes allowed cannot all be used: real writers write only used objects.
        return isPlainWidth(m_offsetWidth) && isPlainWidth(m_refWidth) && m_objects > 0 && m_objects <= m_maxNodes
            && m_top < m_objects && m_table > BinaryMagic.size() && m_table <= trailerStart
            && m_objects <= (trailerStart - m_table) / m_offsetWidth;
    }

    /// Reads the object `index` points to. False for an object that runs
    /// past the object area, a count the library would misread, or a string
    /// holding a NUL (U+0000 in UTF-16).
    bool readObject(std::uint64_t index, Object &out) const
    {
        const std::uint64_t at = bigEndian(m_data + m_table + index * m_offsetWidth, m_offsetWidth);
        if (at < BinaryMagic.size() || at >= m_table) {
            return false;
        }
        std::uint64_t pos = at;
        const unsigned marker = m_data[pos++];
        const unsigned type = marker >> 4U;
        if (type != TypeData && type != TypeAscii && type != TypeUtf16 && type != TypeArray && type != TypeSet
            && type != TypeDict) {
            return true; // a scalar: the library checks its bytes itself
        }
        std::uint64_t count = marker & 0x0FU;
        if (count == 0x0F) {
            if (pos >= m_table) {
                return false;
            }
            const unsigned sizeMarker = m_data[pos++];
            if ((sizeMarker >> 4U) != TypeInteger || (sizeMarker & 0x0FU) > 3) {
                return false;
            }
            const std::uint64_t width = std::uint64_t{ 1 } << (sizeMarker & 0x0FU);
            if (width > m_table - pos) {
                return false;
            }
            count = bigEndian(m_data + pos, width);
            pos += width;
        }
        const std::uint64_t room = m_table - pos;
        const unsigned char *body = m_data + pos;
        switch (type) {
        case TypeAscii:
            out.isString = true;
            out.bytes = count;
            return count <= room && std::memchr(body, 0, count) == nullptr;
        case TypeUtf16:
            out.isString = true;
            out.bytes = 3 * count; // up to three bytes of UTF-8 per unit
            if (count > room / 2) {
                return false;
            }
            for (std::uint64_t i = 0; i < count; ++i) {
                if (body[2 * i] == 0 && body[2 * i + 1] == 0) {
                    return false;
                }
            }
            return true;
        case TypeArray:
        case TypeSet:
            out.refs = pos;
            out.refCount = count;
            return count <= room / m_refWidth;
        case TypeDict:
            if (count > room / (2 * m_refWidth)) {
                return false;
            }
            out.refs = pos;
            out.refCount = 2 * count;
            out.keyCount = count;
            return true;
        default: // data
            out.bytes = count;
            return count <= room;
        }
    }

    std::uint64_t reference(const Object &object, std::uint64_t i) const
    {
        return bigEndian(m_data + object.refs + i * m_refWidth, m_refWidth);
    }

    bool enter(std::uint64_t index)
    {
        Frame frame;
        frame.index = index;
        if (!readObject(index, frame.object)) {
            return false;
        }
        frame.bytes = frame.object.bytes;
        if (frame.bytes > MaxPlistFileSize) {
            return false;
        }
        m_flags[index] = static_cast<std::uint8_t>(Active | (frame.object.isString ? String : 0));
        m_stack.push_back(frame);
        return true;
    }

    /// Adds a finished child's height, nodes and bytes to `parent`, which sits at `depth`.
    bool addChild(Frame &parent, const Frame &child, std::size_t depth) const
    {
        parent.height = std::max(parent.height, child.height + 1);
        parent.nodes += child.nodes;
        parent.bytes += child.bytes;
        return depth + parent.height <= static_cast<std::size_t>(MaxPlistDepth) && parent.nodes <= m_maxNodes
            && parent.bytes <= MaxPlistFileSize;
    }

    const unsigned char *m_data;
    std::size_t m_size;
    std::size_t m_maxNodes;
    std::uint64_t m_offsetWidth = 0;
    std::uint64_t m_refWidth = 0;
    std::uint64_t m_objects = 0;
    std::uint64_t m_top = 0;
    std::uint64_t m_table = 0;
    std::vector<std::uint8_t> m_flags;
    std::vector<std::uint16_t> m_heights;
    std::vector<std::uint32_t> m_nodes;
    std::vector<std::uint32_t> m_bytes;
    std::vector<Frame> m_stack;
};

// ---------------------------------------------------------------------------
// XML documents. The library's tokenizer is followed closely enough to know
// where each tag, comment, CDATA section, processing instruction and
// DOCTYPE ends; a construct whose end depends on how double quotes inside it
// are read is refused, so both readings agree. An <array> or <dict> start
// tag raises the depth wherever it appears (inside a comment too: counting
// too much only refuses), while an end tag lowers it only where the library
// would read it as one.

/// Where `what` first starts at or after `from`; with `quoted`, runs between
/// double quotes are passed over whole. NotFound when absent or a quote is never closed.
std::size_t findText(std::string_view text, std::size_t from, std::string_view what, bool quoted)
{
    for (std::size_t pos = from; pos < text.size(); ++pos) {
        if (text.compare(pos, what.size(), what) == 0) {
            return pos;
        }
        if (quoted && text[pos] == '"') {
            pos = text.find('"', pos + 1);
            if (pos == NotFound) {
                return NotFound;
            }
        }
    }
    return NotFound;
}

/// Where the first of `chars` is at or after `from`, passing over quoted runs when `quoted`.
std::size_t findAnyOf(std::string_view text, std::size_t from, std::string_view chars, bool quoted)
{
    for (std::size_t pos = from; pos < text.size(); ++pos) {
        if (quoted && text[pos] == '"') {
            pos = text.find('"', pos + 1);
            if (pos == NotFound) {
                return NotFound;
            }
            continue;
        }
        if (chars.find(text[pos]) != NotFound) {
            return pos;
        }
    }
    return NotFound;
}

/// `a` when both readings agree, else NotFound.
std::size_t agreed(std::size_t a, std::size_t b)
{
    return a == b ? a : NotFound;
}

class XmlShape
{
public:
    XmlShape(std::string_view text, std::size_t maxNodes)
        : m_text(text)
        , m_maxNodes(maxNodes)
    {
    }

    bool acceptable()
    {
        std::size_t pos = 0;
        while (true) {
            const std::size_t open = m_text.find('<', pos);
            // XML has no NUL character at all; in a string or key it would cut a path short.
            if (m_text.substr(pos, open == NotFound ? NotFound : open - pos).find('\0') != NotFound) {
                return false;
            }
            if (open == NotFound) {
                return true;
            }
            std::size_t end = NotFound;
            if (startsWith(open, "<!--")) {
                end = skipPast(open + 4, "-->");
            } else if (startsWith(open, "<![CDATA[")) {
                end = skipPast(open + 9, "]]>");
            } else if (startsWith(open, "<?")) {
                end = skipPast(open + 1, "?>"); // the library looks for "?>" from the "?" on
            } else if (startsWith(open, "<!")) {
                end = agreed(declarationEnd(open + 2, true), declarationEnd(open + 2, false));
            } else {
                bool rootClosed = false;
                end = tag(open, rootClosed);
                if (rootClosed) {
                    return true; // the library stops reading once the root is closed
                }
            }
            if (end == NotFound || m_text.substr(open, end - open).find('\0') != NotFound
                || !countHiddenOpens(open + 1, end)) {
                return false;
            }
            pos = end;
        }
    }

private:
    bool startsWith(std::size_t pos, std::string_view prefix) const
    {
        return m_text.compare(pos, prefix.size(), prefix) == 0;
    }

    /// One past the first `terminator` at or after `from`, when both quote readings agree.
    std::size_t skipPast(std::size_t from, std::string_view terminator) const
    {
        const std::size_t at =
            agreed(findText(m_text, from, terminator, true), findText(m_text, from, terminator, false));
        return at == NotFound ? NotFound : at + terminator.size();
    }

    /// One past a "<!DOCTYPE ...>", with or without an internal subset ("[...]>").
    std::size_t declarationEnd(std::size_t from, bool quoted) const
    {
        const std::size_t mark = findAnyOf(m_text, from, "[>", quoted);
        if (mark == NotFound || m_text[mark] == '>') {
            return mark == NotFound ? NotFound : mark + 1;
        }
        const std::size_t close = findText(m_text, mark, "]>", quoted);
        return close == NotFound ? NotFound : close + 2;
    }

    /// Reads the tag at `open` and returns one past its ">".
    std::size_t tag(std::size_t open, bool &rootClosed)
    {
        const std::size_t nameEnd = m_text.find_first_of(" \t\r\n<>", open + 1);
        if (nameEnd == NotFound) {
            return NotFound;
        }
        std::size_t close = nameEnd;
        if (m_text[nameEnd] != '>') {
            close = agreed(findAnyOf(m_text, nameEnd, "<>", true), findAnyOf(m_text, nameEnd, "<>", false));
            if (close == NotFound || m_text[close] != '>') {
                return NotFound;
            }
        }
        std::string_view name = m_text.substr(open + 1, nameEnd - open - 1);
        const bool empty = m_text[close - 1] == '/';
        if (empty && name.ends_with('/')) {
            name.remove_suffix(1);
        }
        if (name == "array" || name == "dict") {
            if (!empty && !raiseDepth()) {
                return NotFound;
            }
            if (!m_sawElement) {
                m_rootIsOpenContainer = !empty;
            }
            m_sawElement = true;
            ++m_nodes;
        } else if (name == "/array" || name == "/dict") {
            m_depth -= m_depth > 0 ? 1 : 0;
            rootClosed = m_depth == 0 && m_rootIsOpenContainer && !m_overCounted;
        } else if (!name.empty() && name != "plist" && name.front() != '/') {
            m_sawElement = true;
            ++m_nodes;
        }
        return m_nodes <= m_maxNodes ? close + 1 : NotFound;
    }

    /// Counts the start tags of arrays and dictionaries in [from, to) that a
    /// construct hides (a comment, a quoted attribute) as if they were real.
    bool countHiddenOpens(std::size_t from, std::size_t to)
    {
        const std::string_view inside = m_text.substr(from, to - from);
        for (std::size_t at = inside.find('<'); at != NotFound; at = inside.find('<', at + 1)) {
            for (const std::string_view name : { std::string_view("array"), std::string_view("dict") }) {
                if (inside.compare(at + 1, name.size(), name) != 0) {
                    continue;
                }
                const std::size_t after = at + 1 + name.size();
                const char next = after < inside.size() ? inside[after] : ' ';
                const bool nameGoesOn =
                    (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') || (next >= '0' && next <= '9');
                if (!nameGoesOn) {
                    m_overCounted = true;
                    if (!raiseDepth()) {
                        return false;
                    }
                }
            }
        }
        return true;
    }

    bool raiseDepth()
    {
        // The root container is at depth 1 here; a leaf inside the deepest
        // allowed container is one more, which the conversion checks exactly.
        return ++m_depth <= static_cast<std::size_t>(MaxPlistDepth) + 1;
    }

    std::string_view m_text;
    std::size_t m_maxNodes;
    std::size_t m_depth = 0;
    std::size_t m_nodes = 0;
    bool m_sawElement = false;
    bool m_rootIsOpenContainer = false;
    bool m_overCounted = false;
};

} // namespace

bool plistShapeAcceptable(std::string_view bytes, std::size_t maxNodes)
{
    maxNodes = std::min(maxNodes, MaxPlistNodes);
    // libplist 2.2 reads a document as binary exactly when it starts with the magic.
    if (bytes.substr(0, BinaryMagic.size()) == BinaryMagic) {
        return BinaryShape(bytes, maxNodes).acceptable();
    }
    return XmlShape(bytes, maxNodes).acceptable();
}

} // namespace core::format
