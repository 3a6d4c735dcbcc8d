// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the engine: cutting small texts (a list file, a command line) into pieces.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace core {

/// The pieces of `text` between `separator`s, each separator ending the
/// piece before it: "a\nb\n" gives {"a", "b"}, "a\n\nb" gives {"a", "", "b"},
/// "" gives none.
inline std::vector<std::string> splitAt(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

} // namespace core
