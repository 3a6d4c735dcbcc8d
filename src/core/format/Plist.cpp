// SPDX-License-Identifier: GPL-3.0-or-later
#include "format/Plist.h"

#include "format/PlistShape.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

// Every libplist call of the project lives in this file: libplist 2.2 (Debian 12)
// and later releases differ in names and date epochs (PLIST_INT, plist_read_from_file,
// Unix-epoch date calls), so a move to a newer library touches only this file.

namespace core::format {

namespace {

// Seconds between the Unix epoch and 2001-01-01T00:00:00Z, the epoch of property-list dates.
constexpr std::int64_t AppleEpochOffset = 978307200;

struct PlistFree
{
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct MallocFree
{
    void operator()(void *p) const { std::free(p); } // NOLINT(cppcoreguidelines-no-malloc)
};
template<typename T> using MallocPtr = std::unique_ptr<T, MallocFree>;

/// Builds a dictionary in which each key has one entry, at its first
/// position, with the last value: what the XML reader does itself and the
/// binary one does not (it keeps both, and a lookup would find the first).
class DictBuilder
{
public:
    void add(std::string key, PlistValue value)
    {
        if (PlistValue *existing = find(key)) {
            *existing = std::move(value);
            return;
        }
        if (!m_positions.empty() || m_entries.size() == LinearLimit) {
            if (m_positions.empty()) {
                for (std::size_t i = 0; i < m_entries.size(); ++i) {
                    m_positions.emplace(m_entries[i].first, i);
                }
            }
            m_positions.emplace(key, m_entries.size());
        }
        m_entries.emplace_back(std::move(key), std::move(value));
    }

    PlistDict take() { return std::move(m_entries); }

private:
    // Small dictionaries (nearly all of them) are searched in place.
    static constexpr std::size_t LinearLimit = 16;

    PlistValue *find(const std::string &key)
    {
        if (!m_positions.empty()) {
            const auto at = m_positions.find(key);
            return at == m_positions.end() ? nullptr : &m_entries[at->second].second;
        }
        for (auto &[k, value] : m_entries) {
            if (k == key) {
                return &value;
            }
        }
        return nullptr;
    }

    PlistDict m_entries;
    std::unordered_map<std::string, std::size_t> m_positions;
};

// Converts one libplist node. nullopt when the tree is nested deeper than
// MaxPlistDepth or a string holds a NUL (both are refused before parsing;
// this is the second line).
std::optional<PlistValue> convert(plist_t node, int depth)
{
    if (depth > MaxPlistDepth) {
        return std::nullopt;
    }
    PlistValue out;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t b = 0;
        plist_get_bool_val(node, &b);
        out.v = b != 0;
        break;
    }
    case PLIST_UINT: {
        // 2.2 has no signed integer type: <integer>-1</integer> reads as
        // 0xFFFF...FFFF, so the cast restores the value the author wrote.
        std::uint64_t u = 0;
        plist_get_uint_val(node, &u);
        out.v = static_cast<std::int64_t>(u);
        break;
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        out.v = d;
        break;
    }
    case PLIST_STRING: {
        // By length: plist_get_string_val asserts (and aborts) on a string holding a NUL.
        std::uint64_t length = 0;
        const char *text = plist_get_string_ptr(node, &length);
        if (text != nullptr && std::memchr(text, 0, length) != nullptr) {
            return std::nullopt;
        }
        out.v = text != nullptr ? std::string(text, length) : std::string();
        break;
    }
    case PLIST_DATE: {
        std::int32_t sec = 0;
        std::int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        // A date far outside the int32 range comes back with a meaningless fraction.
        out.v = PlistDate{ std::int64_t{ sec } + AppleEpochOffset, usec >= 0 && usec < 1'000'000 ? usec : 0 };
        break;
    }
    case PLIST_DATA: {
        char *raw = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        const MallocPtr<char> bytes(raw);
        const auto *begin =
            reinterpret_cast<const std::uint8_t *>(raw); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
        out.v = raw != nullptr ? PlistData(begin, begin + length) : PlistData();
        break;
    }
    case PLIST_ARRAY: {
        PlistArray items;
        const std::uint32_t n = plist_array_get_size(node);
        items.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            auto item = convert(plist_array_get_item(node, i), depth + 1);
            if (!item) {
                return std::nullopt;
            }
            items.push_back(std::move(*item));
        }
        out.v = std::move(items);
        break;
    }
    case PLIST_DICT: {
        // The C iterator walks the entries in file order (libplist++ would sort them by key).
        DictBuilder entries;
        plist_dict_iter rawIter = nullptr;
        plist_dict_new_iter(node, &rawIter);
        const MallocPtr<void> iter(rawIter);
        while (true) {
            char *rawKey = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, rawIter, &rawKey, &child);
            const MallocPtr<char> key(rawKey);
            if (child == nullptr) {
                break;
            }
            auto value = convert(child, depth + 1);
            if (!value) {
                return std::nullopt;
            }
            // Keys are read as C strings; a key with a NUL never gets this far (plistShapeAcceptable).
            entries.add(std::string(rawKey != nullptr ? rawKey : ""), std::move(*value));
        }
        out.v = entries.take();
        break;
    }
    case PLIST_KEY:
    case PLIST_UID:
    case PLIST_NONE:
        break;
    }
    return out;
}

} // namespace

PlistValue::PlistValue() = default;
PlistValue::~PlistValue() = default;
PlistValue::PlistValue(const PlistValue &) = default;
PlistValue::PlistValue(PlistValue &&) noexcept = default;
PlistValue &PlistValue::operator=(const PlistValue &) = default;
PlistValue &PlistValue::operator=(PlistValue &&) noexcept = default;

std::optional<std::int64_t> PlistValue::integer() const
{
    if (const auto *i = std::get_if<std::int64_t>(&v)) {
        return *i;
    }
    return std::nullopt;
}

std::optional<double> PlistValue::real() const
{
    if (const auto *d = std::get_if<double>(&v)) {
        return *d;
    }
    if (const auto *i = std::get_if<std::int64_t>(&v)) {
        return static_cast<double>(*i);
    }
    return std::nullopt;
}

std::optional<bool> PlistValue::boolean() const
{
    if (const auto *b = std::get_if<bool>(&v)) {
        return *b;
    }
    return std::nullopt;
}

std::optional<PlistDate> PlistValue::date() const
{
    if (const auto *d = std::get_if<PlistDate>(&v)) {
        return *d;
    }
    return std::nullopt;
}

const std::string *PlistValue::string() const
{
    return std::get_if<std::string>(&v);
}

const PlistData *PlistValue::data() const
{
    return std::get_if<PlistData>(&v);
}

const PlistArray *PlistValue::array() const
{
    return std::get_if<PlistArray>(&v);
}

const PlistDict *PlistValue::dict() const
{
    return std::get_if<PlistDict>(&v);
}

const PlistValue *PlistValue::find(std::string_view key) const
{
    const auto *entries = dict();
    if (entries == nullptr) {
        return nullptr;
    }
    for (const auto &[k, value] : *entries) {
        if (k == key) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<PlistValue> readPlistMemory(std::string_view bytes, std::size_t maxNodes)
{
    if (bytes.empty() || bytes.size() > MaxPlistFileSize || !plistShapeAcceptable(bytes, maxNodes)) {
        return std::nullopt;
    }
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    const PlistPtr root(raw);
    if (raw == nullptr) {
        return std::nullopt;
    }
    return convert(raw, 0);
}

Result<PlistValue> loadPlistFile(const std::string &path, std::size_t maxNodes)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer
    // before fstat could refuse it. It changes nothing for regular files.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); // NOLINT(cppcoreguidelines-pro-type-vararg)
    if (fd < 0) {
        return Error::fromErrno(errno, path);
    }
    struct FdCloser
    {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{ fd };

    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        return Error::fromErrno(errno, path);
    }
    // A FIFO or a device could block or never end; only regular files are property lists.
    if (!S_ISREG(st.st_mode)) {
        return Error{ 0, path, "not a regular file" };
    }
    if (static_cast<std::uint64_t>(st.st_size) > MaxPlistFileSize) {
        return Error{ EFBIG, path, "larger than 16 MiB" };
    }

    std::string bytes;
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error::fromErrno(errno, path);
        }
        if (n == 0) {
            break; // the file shrank meanwhile: parse what is there
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);

    auto value = readPlistMemory(bytes, maxNodes);
    if (!value) {
        return Error{ 0, path, bytes.empty() ? "empty file" : "not a valid property list" };
    }
    return std::move(*value);
}

std::optional<PlistValue> readPlistFile(const std::string &path, std::size_t maxNodes)
{
    auto result = loadPlistFile(path, maxNodes);
    if (!result) {
        return std::nullopt;
    }
    return std::move(result).value();
}

} // namespace core::format
