// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "format/Plist.h"

#include <cstddef>
#include <string_view>

namespace core::format {

/// Checks the shape of a property list on its bytes, before libplist builds
/// anything: at most MaxPlistDepth levels (a little more for XML, whose exact
/// depth the conversion checks), at most `maxNodes` nodes (never more than
/// MaxPlistNodes; a shared binary object counts at every reference), no NUL in a
/// string or a key, and for binary documents a well-formed object table
/// without cycles whose strings and data, counted once per reference, stay
/// within MaxPlistFileSize bytes. libplist 2.2 parses and frees recursively, one stack frame
/// per level, re-reads a shared binary object for every reference, and
/// aborts or silently cuts a string short at a NUL; a document this accepts
/// costs none of that.
///
/// One pass over the bytes with an explicit stack: linear time, memory in
/// proportion to the number of binary objects. False for anything it cannot
/// vouch for; true does not mean the document is valid (libplist decides).
bool plistShapeAcceptable(std::string_view bytes, std::size_t maxNodes);

} // namespace core::format
