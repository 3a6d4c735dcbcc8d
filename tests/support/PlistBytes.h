// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <plist/plist.h>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

/// The binary twin of an XML property list, made with libplist; "" when the XML does not parse.
inline std::string xmlToBinaryPlist(const std::string &xml)
{
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    if (root == nullptr) {
        return {};
    }
    char *bin = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bin, &length);
    std::string out = bin != nullptr ? std::string(bin, length) : std::string();
    plist_to_bin_free(bin);
    plist_free(root);
    return out;
}

/// Wraps the body of a property list in the XML declaration and <plist> element.
inline std::string xmlPlist(const std::string &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">"
        + body + "</plist>\n";
}

/// Writes `bytes` to `path` (replacing it). Returns the path.
inline std::string writeBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

/// Binary property lists built object by object, for shapes libplist will
/// not write: a duplicated key, a NUL in a string or key, an object shared by
/// many references, a cycle, thousands of levels. Each call adds one object
/// and returns its number; build() lays them out with the narrowest offsets
/// and references that fit.
class BinaryPlist
{
public:
    using Ref = std::size_t;

    Ref ascii(const std::string &text) { return add(0x5, text.size(), text); }
    /// UTF-16 text given as code units.
    Ref utf16(const std::u16string &units)
    {
        std::string bytes;
        for (const char16_t unit : units) {
            bytes.push_back(static_cast<char>(unit >> 8U));
            bytes.push_back(static_cast<char>(unit & 0xFFU));
        }
        return add(0x6, units.size(), bytes);
    }
    Ref integer(std::int64_t value) { return scalar(0x13, std::bit_cast<std::uint64_t>(value)); }
    Ref real(double value) { return scalar(0x23, std::bit_cast<std::uint64_t>(value)); }
    /// A date in seconds since 2001-01-01.
    Ref date(double seconds) { return scalar(0x33, std::bit_cast<std::uint64_t>(seconds)); }
    Ref array(std::vector<Ref> items = {})
    {
        m_objects.push_back(Object{ 0xA, {}, std::move(items) });
        return m_objects.size() - 1;
    }
    /// Keys and values as object numbers, in order (a key may repeat).
    Ref dict(const std::vector<std::pair<Ref, Ref>> &entries)
    {
        std::vector<Ref> refs;
        for (const auto &entry : entries) {
            refs.push_back(entry.first);
        }
        for (const auto &entry : entries) {
            refs.push_back(entry.second);
        }
        m_objects.push_back(Object{ 0xD, {}, std::move(refs) });
        return m_objects.size() - 1;
    }
    /// Makes array `index` refer to `items` (for cycles and references to later objects).
    void setItems(Ref index, std::vector<Ref> items) { m_objects[index].refs = std::move(items); }

    std::string build(Ref top) const
    {
        const std::size_t n = m_objects.size();
        const unsigned refWidth = n < 0x100 ? 1 : n < 0x10000 ? 2 : 4;
        std::string body = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const Object &object : m_objects) {
            offsets.push_back(body.size());
            if (object.type == 0xA || object.type == 0xD) {
                const std::size_t count = object.type == 0xD ? object.refs.size() / 2 : object.refs.size();
                body += countMarker(object.type, count);
                for (const Ref ref : object.refs) {
                    body += bigEndian(ref, refWidth);
                }
            } else {
                body += object.bytes;
            }
        }
        const std::uint64_t table = body.size();
        const unsigned offsetWidth = table < 0x100 ? 1 : table < 0x10000 ? 2 : 4;
        for (const std::uint64_t offset : offsets) {
            body += bigEndian(offset, offsetWidth);
        }
        body += std::string(6, '\0');
        body.push_back(static_cast<char>(offsetWidth));
        body.push_back(static_cast<char>(refWidth));
        body += bigEndian(n, 8) + bigEndian(top, 8) + bigEndian(table, 8);
        return body;
    }

private:
    struct Object
    {
        unsigned type = 0; // 0xA array, 0xD dictionary; otherwise `bytes` is the whole object
        std::string bytes;
        std::vector<Ref> refs;
    };

    static std::string bigEndian(std::uint64_t value, unsigned width)
    {
        std::string out(width, '\0');
        for (unsigned i = 0; i < width; ++i) {
            out[width - 1 - i] = static_cast<char>((value >> (8 * i)) & 0xFFU);
        }
        return out;
    }

    static std::string countMarker(unsigned type, std::size_t count)
    {
        if (count < 15) {
            return std::string(1, static_cast<char>((type << 4U) | count));
        }
        return std::string(1, static_cast<char>((type << 4U) | 0xFU)) + "\x13" + bigEndian(count, 8);
    }

    Ref add(unsigned type, std::size_t count, const std::string &payload)
    {
        m_objects.push_back(Object{ type, countMarker(type, count) + payload, {} });
        return m_objects.size() - 1;
    }

    Ref scalar(unsigned marker, std::uint64_t bits)
    {
        m_objects.push_back(Object{ marker >> 4U, std::string(1, static_cast<char>(marker)) + bigEndian(bits, 8), {} });
        return m_objects.size() - 1;
    }

    std::vector<Object> m_objects;
};

} // namespace testing_support
