// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

/// A point in time: Unix seconds and nanoseconds. The "distant past"
/// sentinel stands for an absent date.
struct Timestamp
{
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;

    static constexpr Timestamp distantPast() { return Timestamp{ DistantPastSeconds, 0 }; }
    bool isDistantPast() const { return seconds == DistantPastSeconds; }
    auto operator<=>(const Timestamp &) const = default;

    // 0001-01-01T00:00:00Z, the customary "distant past" of desktop platforms.
    static constexpr std::int64_t DistantPastSeconds = -62135596800;
};

/// A colour as plain numbers (components 0..255 for r/g/b as the theme
/// stores them, alpha 0..1). Not clamped: out-of-range values are kept.
/// Single precision is ample for a colour and keeps every record small.
struct Rgba
{
    float red = 0;
    float green = 0;
    float blue = 0;
    float alpha = 1;
    auto operator<=>(const Rgba &) const = default;
};

/// What a record's icon is, resolved to an image only by the GUI.
struct IconRef
{
    enum class Kind {
        None, // an empty image
        Named, // a named image resource (`name`)
        Folder,
        Package,
        File,
        Symlink,
    };
    Kind kind = Kind::None;
    /// The image resource's name: a string with static storage (a literal),
    /// so that the many records of a scan do not each carry a copy.
    std::string_view name;
    auto operator<=>(const IconRef &) const = default;
};

} // namespace core
