// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace core::format {

/// Byte-exact conversion between paths and "file://" URL strings.
///
/// Paths are bytes, not text: a name that is not valid UTF-8 survives the
/// round trip unchanged, so every file a scan finds can be addressed again
/// for deletion.

/// "file://" + the path with every byte percent-encoded (upper-case hex)
/// except A-Z a-z 0-9 - . _ ~ ! $ & ' ( ) * + , ; = : @ /. A directory's URL
/// ends in "/" (added when `isDirectory` and the path does not end in one),
/// so that a name appended to it by plain concatenation lands inside it.
std::string fileUrlFromPath(std::string_view path, bool isDirectory = false);

/// The path of a file URL: "file://" followed by an empty or "localhost"
/// authority and an absolute path. %HH escapes (either case) become bytes;
/// other bytes, spaces included, are taken literally. One trailing "/" is
/// dropped unless the path is "/". nullopt for anything else, for a
/// malformed escape, and for %00 or a raw NUL byte (a NUL would silently cut
/// a path short).
std::optional<std::string> pathFromFileUrl(std::string_view url);

/// pathFromFileUrl into `path`, whose storage is reused: for loops over many
/// records. Returns false (and leaves `path` empty) where that gives nullopt.
bool decodeFileUrl(std::string_view url, std::string &path);

/// The percent-encoding used by fileUrlFromPath, for a path fragment alone.
std::string percentEncodePath(std::string_view path);

/// percentEncodePath appended to `out`: a URL put together from pieces
/// (fileUrlFromPath(a + b) is fileUrlFromPath(a) followed by b encoded).
void appendEncodedPath(std::string &out, std::string_view path);

/// The value of one hexadecimal digit (0-9, a-f, A-F); -1 for any other
/// character. For the decoders of %HH and \xHH escapes.
int hexDigitValue(char c);

} // namespace core::format
