// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GraphGeometry.h"

#include <algorithm>
#include <cmath>

namespace gui::graph {

QRectF toWidget(const QRectF &rect, qreal viewHeight)
{
    return QRectF(rect.x(), viewHeight - rect.y() - rect.height(), rect.width(), rect.height());
}

QRectF barChartRectangle(const QSizeF &view, qreal offset)
{
    return QRectF(BarLeft, view.height() - 40.0 - offset, view.width() - 140.0, 20.0);
}

QRectF iconRect(qreal viewHeight, qreal offset)
{
    return QRectF(20.0, viewHeight - 60.0 - offset, 60.0, 60.0);
}

QRectF captionRect(qreal viewHeight, qreal offset)
{
    return QRectF(20.0, viewHeight - 80.0 - offset, 60.0, 20.0);
}

LegendSlot legendSlot(const QRectF &bar, int index, int count, qreal nameHeight, qreal valueHeight)
{
    if (count <= 0) {
        return {};
    }
    const qreal slotWidth = bar.width() / count;
    const qreal x = std::floor(index * slotWidth) + bar.x();
    const qreal y = bar.y() - 20.0;
    const QRectF name(x + 13.0, y, slotWidth - 18.0, nameHeight);
    return LegendSlot{ QRectF(x, y, 8.0, 8.0), name, name.translated(0.0, -valueHeight) };
}

std::vector<QRectF> segmentSpans(const QRectF &bar, const std::vector<double> &fractions)
{
    std::vector<QRectF> spans;
    spans.reserve(fractions.size());
    qreal cursor = bar.x();
    for (const double fraction : fractions) {
        // NaN (no CPU tick in the interval) and negative figures (a remainder
        // that measured folders overshot) must not become a width.
        const qreal wanted = std::isfinite(fraction) && fraction > 0.0 ? std::floor(bar.width() * fraction) : 0.0;
        const qreal width = std::clamp(wanted, 0.0, std::max(0.0, bar.right() - cursor));
        spans.emplace_back(cursor, bar.y(), width, bar.height());
        cursor += width;
    }
    return spans;
}

} // namespace gui::graph
