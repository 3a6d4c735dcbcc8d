// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Types.h"

#include <cstdint>
#include <string>

namespace core {

/// One theme entry: a font, the colour of text or of a drawing, and for
/// buttons a background colour. A plain value, copied out of every lookup.
///
/// Colour components are kept on the 0-255 scale of the theme file and are
/// never clamped; they are divided by 255 only when a colour is made from
/// them (toolkit side). The opacities `alpha` and `balpha` are 0.0-1.0 and are
/// used as they stand. The defaults are those of a field whose group the
/// entry's key does not select (see UIInfo).
struct MyUI
{
    std::string name = "Arial"; // font name, "Family-Style" as a font lookup by name takes it
    double size = 12.0; // font size in points (logical pixels)
    std::int64_t weight = 12; // kept from the file; no styling uses it
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;
    double bred = 0.0;
    double bgreen = 0.0;
    double bblue = 0.0;
    double balpha = 0.0; // 0.0 or less: the button gets no background

    /// The text or drawing colour as plain numbers (0-255 components, alpha unchanged).
    Rgba color() const
    {
        return Rgba{
            static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue), static_cast<float>(alpha)
        };
    }
    /// The button background as plain numbers (0-255 components, balpha unchanged).
    Rgba buttonColor() const
    {
        return Rgba{
            static_cast<float>(bred), static_cast<float>(bgreen), static_cast<float>(bblue), static_cast<float>(balpha)
        };
    }

    bool operator==(const MyUI &) const = default;
};

} // namespace core
