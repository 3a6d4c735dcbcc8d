// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace gui {

/// A font name of the form "Family-Style" (the PostScript-style names a
/// theme uses, "HelveticaNeue-Bold", "Times-Roman", "ArialMT"), taken apart.
struct FontName
{
    QString family; // as written before the first "-", without a trailing "MT"
    QFont::Weight weight = QFont::Normal;
    bool italic = false;
};

/// Splits a font name into family, weight and slant. Style words are
/// matched without regard to case: Thin, UltraLight/ExtraLight, Light,
/// Regular/Roman/Book, Medium, Semibold/DemiBold, Bold, ExtraBold/Heavy,
/// Black, and Italic/Oblique anywhere in the style. Pure.
FontName parseFontName(const QString &name);

/// The families to try for a theme family, best first: the family as
/// written and its CamelCase split ("HelveticaNeue" -> "Helvetica Neue")
/// when installed, then metric-compatible stand-ins for the classic names
/// (Times -> Liberation Serif, Helvetica and Arial -> Liberation Sans,
/// Courier -> Liberation Mono), then the desktop's own UI font. "System"
/// (or an empty family) means the desktop's UI font, so a theme can follow
/// the user's desktop. GUI thread (reads the font database).
QStringList familiesFor(const QString &family);

/// The font a theme entry names, at `size` logical pixels: theme sizes are
/// in the points of the platform they were written for, which are logical
/// pixels, so they become pixel sizes rather than Qt points (a third
/// larger at 96 dpi). GUI thread.
QFont fontWithName(const QString &name, double size);

} // namespace gui
