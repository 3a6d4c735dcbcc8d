// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace core::format {

struct PlistValue;

/// An array node: elements in file order.
using PlistArray = std::vector<PlistValue>;
/// A dictionary node: key/value pairs in file order (binary and XML alike).
/// A duplicated key appears once, at its first position, with the last value,
/// whichever form the document is stored in.
using PlistDict = std::vector<std::pair<std::string, PlistValue>>;
/// A data node: raw bytes.
using PlistData = std::vector<std::uint8_t>;

/// A date node as Unix time. Property lists store int32 seconds since
/// 2001-01-01, so dates after 2069-01-19 cannot be represented and read back
/// wrongly; that is a limit of the format as libplist 2.2 reads it.
struct PlistDate
{
    std::int64_t unixSeconds = 0;
    std::int32_t micros = 0; // 0-999999; a fraction the library cannot represent reads as 0
    auto operator<=>(const PlistDate &) const = default;
};

/// One node of a property list, converted from libplist into plain values so
/// that nothing outside Plist.cpp depends on the library.
///
/// The typed accessors answer only for the exact type asked for, with two
/// deliberate rules: real() also accepts an integer (an author writing
/// <integer>1</integer> for an opacity is common and harmless), and a boolean
/// is never a number (integer() and real() of <true/> are nullopt). Types the
/// reader does not model (UID nodes of keyed archives) are std::monostate.
///
/// A plain value: copyable, no shared state, safe to hand between threads.
struct PlistValue
{
    std::variant<std::monostate,
        bool,
        std::int64_t, // every <integer>: libplist 2.2 keeps them as uint64, cast back (so -1 stays -1)
        double,
        std::string, // never holds a NUL: a document with one in a string or key is refused
        PlistDate,
        PlistData,
        PlistArray,
        PlistDict>
        v;

    // Declared here and defaulted in Plist.cpp: PlistDict holds pairs of this
    // still incomplete type, and clang instantiates their destructor too early
    // where a translation unit first meets a PlistDict element otherwise.
    PlistValue();
    ~PlistValue();
    PlistValue(const PlistValue &);
    PlistValue(PlistValue &&) noexcept;
    PlistValue &operator=(const PlistValue &);
    PlistValue &operator=(PlistValue &&) noexcept;

    bool isString() const { return std::holds_alternative<std::string>(v); }
    bool isArray() const { return std::holds_alternative<PlistArray>(v); }
    bool isDict() const { return std::holds_alternative<PlistDict>(v); }

    /// The integer of an <integer> node; nullopt for any other type (reals and booleans included).
    std::optional<std::int64_t> integer() const;
    /// The number of a <real> or an <integer> node; nullopt for anything else.
    std::optional<double> real() const;
    /// The value of a <true/> or <false/> node; nullopt for anything else (numbers included).
    std::optional<bool> boolean() const;
    /// The date of a <date> node; nullopt for anything else.
    std::optional<PlistDate> date() const;
    /// The text of a <string> node, or nullptr. Points into this value.
    const std::string *string() const;
    /// The bytes of a <data> node, or nullptr. Points into this value.
    const PlistData *data() const;
    /// The elements of an <array> node, or nullptr. Points into this value.
    const PlistArray *array() const;
    /// The entries of a <dict> node, or nullptr. Points into this value.
    const PlistDict *dict() const;

    /// The value stored under `key` when this is a dictionary that has it;
    /// nullptr otherwise. Linear search (dictionaries here are small).
    const PlistValue *find(std::string_view key) const;
};

/// Largest file the readers accept (the library takes 32-bit lengths; our
/// resources are a few kilobytes).
inline constexpr std::size_t MaxPlistFileSize = std::size_t{ 16 } * 1024 * 1024;

/// Deepest nesting of arrays and dictionaries accepted (the root is at depth
/// 0); deeper documents are refused as malformed.
inline constexpr int MaxPlistDepth = 256;

/// Most nodes any reader may allow, dictionary keys included. A binary
/// document can reference one object many times, and every reference is a
/// node of its own: a few hundred bytes could otherwise ask for billions.
/// Each reader passes a limit of its own, fitted to what it reads (a device
/// backup's Info.plist has hundreds of nodes, a catalogue a few thousand),
/// so that a hostile document costs it milliseconds, not seconds.
inline constexpr std::size_t MaxPlistNodes = std::size_t{ 1 } << 20U;

/// Parses an XML or binary property list held in memory (the format is
/// detected from the bytes). nullopt when the bytes are empty, larger than
/// MaxPlistFileSize, not a property list, nested deeper than MaxPlistDepth,
/// with more than `maxNodes` nodes (at most MaxPlistNodes; binary documents
/// count a shared object, with everything below it, at every reference, as
/// the library copies it there) or more than MaxPlistFileSize bytes of
/// strings and data counted the same way, or holding a NUL in a string or a
/// key (which would cut a path or URL built from it short). The shape is
/// checked on the bytes before the library builds anything, so a hostile
/// document costs time in proportion to its size and no deep recursion.
/// Thread-safe.
std::optional<PlistValue> readPlistMemory(std::string_view bytes, std::size_t maxNodes);

/// Reads and parses the property-list file at `path`. The Error names the
/// path and says why: it cannot be opened or read (errno in `code`), it is
/// not a regular file, it is larger than MaxPlistFileSize, or it is not a
/// valid property list of at most `maxNodes` nodes (see readPlistMemory).
/// Thread-safe.
Result<PlistValue> loadPlistFile(const std::string &path, std::size_t maxNodes);

/// loadPlistFile without the reason: nullopt for a missing, unreadable,
/// oversized or malformed file.
std::optional<PlistValue> readPlistFile(const std::string &path, std::size_t maxNodes);

} // namespace core::format
