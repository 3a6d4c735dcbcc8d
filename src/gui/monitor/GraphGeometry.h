// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRectF>
#include <QSizeF>

#include <vector>

namespace gui::graph {

// Where the parts of a monitor graph go. Every rectangle here is in the
// graph's own coordinates with the origin at the bottom-left corner and y
// growing upwards, in logical pixels; toWidget() turns one into the
// top-left-origin rectangle a QPainter takes. All functions are pure.

/// Radius of the bar's rounded ends.
inline constexpr qreal BarRadius = 4.0;
/// Left edge of the bar (and of the first segment).
inline constexpr qreal BarLeft = 120.0;
/// Vertical offset of the disk graph; the other three use 0.
inline constexpr qreal DiskOffset = 20.0;

/// `rect` in a widget of height `viewHeight` whose y grows downwards.
QRectF toWidget(const QRectF &rect, qreal viewHeight);

/// The bar: x 120, y H - 40 - offset, width W - 140, height 20.
QRectF barChartRectangle(const QSizeF &view, qreal offset);

/// The icon's box (20, H - 60 - offset, 60, 60).
QRectF iconRect(qreal viewHeight, qreal offset);

/// The caption's box under the icon (20, H - 80 - offset, 60, 20).
QRectF captionRect(qreal viewHeight, qreal offset);

/// One legend entry under the bar: the colour swatch, the name and, below
/// it, the value.
struct LegendSlot
{
    QRectF swatch;
    QRectF name;
    QRectF value;
};

/// Entry `index` of `count` under `bar`: the bar's width is cut into
/// `count` slots of width L; the slot starts at floor(index x L) + bar.x and
/// 20 below the bar's bottom. Swatch 8 x 8 there; the name 13 to the right,
/// L - 18 wide and `nameHeight` high; the value the same rectangle moved
/// down by `valueHeight`. A count of 0 or less gives empty rectangles.
LegendSlot legendSlot(const QRectF &bar, int index, int count, qreal nameHeight, qreal valueHeight);

/// The spans of consecutive segments along `bar`, one per fraction, each
/// floor(bar width x fraction) wide and as high as the bar, starting at the
/// bar's left edge. Rounding down leaves a strip of background at the right
/// end. A fraction that is not a number or below 0 gives an empty span, and
/// no span reaches past the bar's right end (figures that add up to more
/// than the whole are cut there).
std::vector<QRectF> segmentSpans(const QRectF &bar, const std::vector<double> &fractions);

} // namespace gui::graph
