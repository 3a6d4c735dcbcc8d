#pragma once

#include <string>
#include <string_view>

namespace core::format {

/// `bytes` as valid UTF-8 for showing to a person: each byte that does not
/// start a well-formed sequence (overlong forms, surrogates and code points
/// above U+10FFFF included) becomes U+FFFD. Paths stay bytes everywhere
/// else; this is for display only. Pure and thread-safe.
std::string repairUtf8(std::string_view bytes);

} // namespace core::format
