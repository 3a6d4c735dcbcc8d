// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Fonts.h"

#include <QFontDatabase>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

bool installed(const QString &family)
{
    // The database lists families once per process; keep them in a set.
    static const QSet<QString> families = [] {
        QSet<QString> all;
        const QStringList list = QFontDatabase::families();
        for (const QString &f : list) {
            all.insert(f.toCaseFolded());
        }
        return all;
    }();
    return families.contains(family.toCaseFolded());
}

QString splitCamelCase(const QString &family)
{
    QString out;
    for (qsizetype i = 0; i < family.size(); ++i) {
        const QChar c = family.at(i);
        if (i > 0 && c.isUpper() && family.at(i - 1).isLower()) {
            out += u' ';
        }
        out += c;
    }
    return out;
}

QString desktopFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

} // namespace

FontName parseFontName(const QString &name)
{
    FontName result;
    const qsizetype dash = name.indexOf(u'-');
    QString family = dash < 0 ? name : name.left(dash);
    QString style = dash < 0 ? QString() : name.mid(dash + 1);
    if (family.endsWith(u"MT"_s) && family.size() > 2) {
        family.chop(2);
    }
    result.family = family.trimmed();
    style = style.toLower();
    if (style.endsWith(u"mt"_s)) {
        style.chop(2);
    }
    result.italic = style.contains(u"italic"_s) || style.contains(u"oblique"_s);
    struct Word
    {
        const char16_t *text;
        QFont::Weight weight;
    };
    // Longer words first, so "semibold" is not read as "bold".
    static constexpr Word Words[] = {
        { u"ultralight", QFont::ExtraLight },
        { u"extralight", QFont::ExtraLight },
        { u"thin", QFont::Thin },
        { u"light", QFont::Light },
        { u"semibold", QFont::DemiBold },
        { u"demibold", QFont::DemiBold },
        { u"extrabold", QFont::ExtraBold },
        { u"ultrabold", QFont::ExtraBold },
        { u"heavy", QFont::ExtraBold },
        { u"black", QFont::Black },
        { u"bold", QFont::Bold },
        { u"medium", QFont::Medium },
    };
    for (const Word &word : Words) {
        if (style.contains(QStringView(word.text))) {
            result.weight = word.weight;
            break;
        }
    }
    return result;
}

QStringList familiesFor(const QString &family)
{
    QStringList out;
    const QString key = family.toLower().remove(u' ');
    if (key.isEmpty() || key == u"system"_s || key.startsWith(u".sf"_s) || key.startsWith(u"sfpro"_s)) {
        return { desktopFamily() };
    }
    for (const QString &candidate : { family, splitCamelCase(family) }) {
        if (!out.contains(candidate) && installed(candidate)) {
            out << candidate;
        }
    }
    static const QHash<QString, QStringList> standIns = {
        { u"times"_s, { u"Liberation Serif"_s, u"DejaVu Serif"_s } },
        { u"timesnewroman"_s, { u"Liberation Serif"_s, u"DejaVu Serif"_s } },
        { u"georgia"_s, { u"Liberation Serif"_s, u"DejaVu Serif"_s } },
        { u"helvetica"_s, { u"Liberation Sans"_s, u"DejaVu Sans"_s } },
        { u"helveticaneue"_s, { u"Liberation Sans"_s, u"DejaVu Sans"_s } },
        { u"arial"_s, { u"Liberation Sans"_s, u"DejaVu Sans"_s } },
        { u"lucidagrande"_s, { u"Liberation Sans"_s, u"DejaVu Sans"_s } },
        { u"courier"_s, { u"Liberation Mono"_s, u"DejaVu Sans Mono"_s } },
        { u"couriernew"_s, { u"Liberation Mono"_s, u"DejaVu Sans Mono"_s } },
        { u"menlo"_s, { u"DejaVu Sans Mono"_s, u"Liberation Mono"_s } },
        { u"monaco"_s, { u"DejaVu Sans Mono"_s, u"Liberation Mono"_s } },
    };
    for (const QString &standIn : standIns.value(key)) {
        if (!out.contains(standIn) && installed(standIn)) {
            out << standIn;
        }
    }
    if (const QString desktop = desktopFamily(); !out.contains(desktop)) {
        out << desktop;
    }
    return out;
}

QFont fontWithName(const QString &name, double size)
{
    const FontName parsed = parseFontName(name);
    QFont font;
    font.setFamilies(familiesFor(parsed.family));
    font.setWeight(parsed.weight);
    font.setItalic(parsed.italic);
    // A size that is not a usable number (NaN, negative, absurd) must not reach the font engine.
    const double pixels = std::isfinite(size) ? std::clamp(size, 1.0, 512.0) : 12.0;
    font.setPixelSize(static_cast<int>(std::lround(pixels)));
    return font;
}

} // namespace gui
