// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace cli {

/// A path or name shown to a person: invalid UTF-8 bytes become U+FFFD.
/// The lossless form of a path is its file URL. For JSON strings.
std::string displayText(std::string_view bytes);

/// A path, name or message for the line-oriented text output. Text whose
/// every character is printable comes out as it is. Text holding a control
/// character (C0, DEL, C1), a line or paragraph separator or bytes that are
/// not UTF-8 comes out quoted as GNU ls's shell-escape style quotes a name
/// ("a", newline, "b" gives 'a'$'\n''b'): one line, no terminal control
/// sequence, and the original bytes recoverable by a shell.
std::string printableText(std::string_view bytes);

/// How a JSON document is laid out: indented by two spaces for a person,
/// or on one line for a program.
enum class JsonLayout {
    Indented,
    Compact,
};

/// The layout for stdout: indented on a terminal, compact otherwise (a pipe
/// or a file gets a quarter of the bytes for a big scan).
JsonLayout stdoutJsonLayout();

/// Prints one JSON document on stdout (invalid UTF-8 replaced, never thrown
/// on), laid out as stdoutJsonLayout() says.
void printJson(const nlohmann::json &document);

/// An absolute form of a path given on the command line (relative to the
/// working directory), normalised lexically: "//" and "/./" collapse, "x/.."
/// goes away, trailing slashes are dropped. No link is resolved.
std::string absolutePath(const std::string &path);

/// Remembers why a write to stdout failed (an errno value), for
/// resultsWritten(): the first cause is kept. For writers that bypass
/// printf's buffer or flush it themselves.
void noteFailedWrite(int cause);

/// Flushes stdout and tells whether everything written to it got out.
/// The first time a write is found to have failed it says so on stderr,
/// naming the cause ("spruce-cli: cannot write the results: No space left
/// on device"); later calls only answer false.
bool resultsWritten();

} // namespace cli
