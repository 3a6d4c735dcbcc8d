// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Catalogue.h"
#include "theme/UIInfo.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

class QAbstractItemModel;
class QEvent;
class QModelIndex;
class QPainter;
class QStyleOptionViewItem;
class QWidget;

namespace gui {

/// Pieces shared by the cells of the review screens (features, categories,
/// files): theme text styles, the tri-state check box, shortened texts.

/// The theme as the file holds it now, read once for a batch of lookups:
/// a screen reloading reads the file once, not once per entry (each
/// core::UIInfo lookup parses the whole file again).
class ThemeSnapshot
{
public:
    ThemeSnapshot();
    /// The entry of `key`; a key the file lacks is looked up the usual way
    /// (defaults, one log line).
    core::MyUI entry(std::string_view key) const;
    QColor color(std::string_view key) const;

private:
    core::UIInfo::Table m_table;
};

/// A theme font entry turned into what a cell paints with. Cells take their
/// styles at a reload, not once per painted row.
struct TextStyle
{
    QFont font;
    QColor color;

    /// The entry of `key` (a "..._font" key of the theme).
    static TextStyle of(const ThemeSnapshot &theme, std::string_view key);
};

/// The categories of catalogue module `module`; null for an index outside the catalogue.
const std::vector<core::Category> *catalogueCategories(int module);
/// Category `category` of module `module`; null for indexes outside the catalogue.
const core::Category *catalogueCategory(int module, int category);

/// How a selection state reads aloud: "selected", "not selected", "partly selected".
QString stateWords(int state);

/// A selection state (1 on, 0 off, -1 mixed) as a check state, and back.
/// Any state other than 0 and 1 shows mixed.
Qt::CheckState checkStateOf(int state);
/// The state a box takes when set to `value`: on for Checked and, since a
/// click on a mixed box selects everything, for PartiallyChecked too.
int stateFromCheckValue(const QVariant &value);
/// What a click or Space does to a box showing `state`: on becomes off,
/// off and mixed become on.
Qt::CheckState toggled(Qt::CheckState state);

/// `text` cut to its first `limit` UTF-16 code units followed by "..." when
/// it is longer than `limit`; whole otherwise. A cut never splits a
/// surrogate pair: it then keeps one unit less. Pure.
QString shortened(const QString &text, int limit);

/// `path` cut once to fit `width`, as `advance` measures text: whole when
/// it fits; else its beginning, "…" and its end, the end keeping the
/// last folder and the name whole when they fit, else the name's beginning
/// and its extension ("/home/ann/Pro…/Videos/holiday.mp4",
/// "…/longname-cut….mp4"). Never splits a surrogate pair. Pure.
QString elidePath(const QString &path, int width, const std::function<int(const QString &)> &advance);
/// A file name cut once to fit `width`: in the middle, so that the
/// extension and the end of the name stay ("f3b2c1…e9.dmp"). Pure.
QString elideName(const QString &name, int width, const std::function<int(const QString &)> &advance);

/// The application whose folder `path` lies in, below `home`: the folder
/// right under one of the places applications keep their files
/// (~/.cache, ~/.config, ~/.local/share, ~/.local/state, ~/.var/app for
/// Flatpak, ~/snap, ~/.mozilla), so that rows that look alike ("data_0",
/// "Cache_Data") say what they belong to. "" for a path elsewhere and for
/// that folder itself (its name already says it). Pure.
QString applicationOf(const QString &path, const QString &home);

/// Side of the check box drawn in a cell, in logical pixels.
constexpr int CheckBoxSide = 18;

/// The check box of a cell whose content starts at `left`, centred vertically in `cell`.
QRect checkBoxRect(const QRect &cell, int left);

/// Draws a tri-state check box in the style of `widget` (a view), greyed when not `enabled`.
void paintCheckBox(
    QPainter *painter, const QStyleOptionViewItem &option, const QRect &box, Qt::CheckState state, bool enabled = true);

/// The check-box part of a cell delegate's editorEvent: a left click
/// released on `box`, or Space / Select on the current row, toggles the
/// index's CheckStateRole through the model (setData). True when the event
/// was a toggle (taken), false otherwise. Items without
/// Qt::ItemIsUserCheckable are never toggled.
bool toggleCheckOnEvent(QEvent *event, QAbstractItemModel *model, const QModelIndex &index, const QRect &box);

} // namespace gui
