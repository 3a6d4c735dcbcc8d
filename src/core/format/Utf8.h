// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace core::format {

/// `bytes` as valid UTF-8 for showing to a person: each byte that does not
/// start a well-formed sequence (overlong forms, surrogates and code points
/// above U+10FFFF included) becomes U+FFFD. Paths stay bytes everywhere
/// else; this is for display only. Pure and thread-safe.
std::string repairUtf8(std::string_view bytes);

/// The length (1 to 4) of the well-formed UTF-8 sequence that starts at
/// `bytes[at]`, or 0 when the byte there starts none (a stray continuation
/// byte, a cut sequence, an overlong form, a surrogate, a code point above
/// U+10FFFF). `at` must be inside `bytes`. Pure.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at);

} // namespace core::format
