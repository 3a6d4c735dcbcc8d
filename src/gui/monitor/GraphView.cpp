// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GraphView.h"

#include "monitor/GraphGeometry.h"
#include "platform/ImageStore.h"
#include "theme/UIUtil.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

/// Half a pixel in from `rect`, so that a 1-pixel line covers whole pixels
/// at 100 % (and whole device pixels at 200 %) instead of blurring across two.
QRectF strokeInside(const QRectF &rect)
{
    return rect.adjusted(0.5, 0.5, -0.5, -0.5);
}

void drawText(QPainter &context, const QRectF &rect, const QString &text, const QFont &font, Qt::Alignment align)
{
    if (rect.width() <= 0.0 || text.isEmpty()) {
        return;
    }
    context.setFont(font);
    const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, rect.width());
    context.drawText(rect, static_cast<int>(align | Qt::AlignTop | Qt::TextSingleLine), shown);
}

} // namespace

ThemeColors::ThemeColors()
    : m_table(core::UIInfo::AllUIs())
{
}

QColor ThemeColors::color(std::string_view key) const
{
    if (const auto found = m_table.find(key); found != m_table.end()) {
        return UIUtil::color(found->second.color());
    }
    return UIUtil::color(core::UIInfo::nsColor(key));
}

ColorPair ThemeColors::pair(const ColorKeys &keys) const
{
    return ColorPair{ color(keys.stroke), color(keys.fill) };
}

GraphView::GraphView(QString kind, int preferredHeight, QWidget *parent)
    : QWidget(parent)
    , m_kind(std::move(kind))
    , m_preferredHeight(preferredHeight)
{
    setAccessibleName(m_kind);
    // Keyboard users (and screen readers following the focus) can step through the monitors.
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // A new look shows at once rather than at the next tick.
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, [this] {
        if (m_sampled) {
            redraw();
        }
    });
}

GraphView::~GraphView() = default;

QSize GraphView::sizeHint() const
{
    return { 560, m_preferredHeight };
}

QSize GraphView::minimumSizeHint() const
{
    return { 360, m_preferredHeight };
}

void GraphView::redraw()
{
    takeSample();
    update();
}

void GraphView::takeSample()
{
    const ThemeColors theme;
    m_content = sample(theme);
    m_sampled = true;
    m_stale = false;
    const QString name = m_content.caption.isEmpty() ? m_kind : m_kind + u": "_s + m_content.caption;
    const QString description = m_content.accessibleDescription.isEmpty() ? legendDescription(m_content.legend)
                                                                          : m_content.accessibleDescription;
    // Each change is announced to assistive technology; unchanged texts stay quiet.
    if (accessibleName() != name) {
        setAccessibleName(name);
    }
    if (accessibleDescription() != description) {
        setAccessibleDescription(description);
    }
    Q_EMIT sampled();
}

QString GraphView::legendDescription(const std::vector<GraphContent::LegendEntry> &legend)
{
    QStringList parts;
    for (const auto &entry : legend) {
        parts.append(QString(entry.name.trimmed() + u' ' + entry.text.trimmed()).trimmed());
    }
    return parts.join(u", "_s);
}

void GraphView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_stale = true;
}

void GraphView::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    if (m_stale) {
        takeSample();
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    drawContent(painter, QSizeF(size()), m_content);
    if (hasFocus()) {
        QPen pen(palette().color(QPalette::Highlight), 1.5);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1.0, 1.0, -1.0, -1.0), 6.0, 6.0);
    }
}

void GraphView::drawContent(QPainter &context, const QSizeF &size, const GraphContent &content)
{
    if (content.blank) {
        return;
    }
    const qreal height = size.height();
    drawCategoryInfo(context, size, content.offset, content.iconName, content.caption, content.textColor);
    if (!content.background) {
        return;
    }
    const QRectF bar = graph::barChartRectangle(size, content.offset);
    drawRoundedRect(context, bar, height, graph::BarRadius, *content.background);

    std::vector<double> fractions;
    fractions.reserve(content.segments.size());
    for (const auto &segment : content.segments) {
        fractions.push_back(segment.fraction);
    }
    const std::vector<QRectF> spans = graph::segmentSpans(bar, fractions);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (spans[i].width() <= 0.0) {
            continue;
        }
        // The whole rounded bar in the segment's colours, clipped to its span:
        // only the bar's outer ends come out rounded.
        context.save();
        context.setClipRect(graph::toWidget(spans[i], height), Qt::IntersectClip);
        drawRoundedRect(context, bar, height, graph::BarRadius, content.segments[i].colors);
        context.restore();
    }
    const int count = static_cast<int>(content.legend.size());
    for (int i = 0; i < count; ++i) {
        drawLegendInfo(context, height, bar, i, content.legend[static_cast<std::size_t>(i)], count, content.textColor);
    }
}

void GraphView::drawRoundedRect(
    QPainter &context, const QRectF &rect, qreal viewHeight, qreal radius, const ColorPair &colors)
{
    if (rect.width() <= 0.0 || rect.height() <= 0.0) {
        return;
    }
    QPainterPath path;
    path.addRoundedRect(strokeInside(graph::toWidget(rect, viewHeight)), radius, radius);
    context.setPen(QPen(colors.stroke, 1.0));
    context.setBrush(colors.fill);
    context.drawPath(path);
}

void GraphView::drawCategoryInfo(
    QPainter &context, const QSizeF &size, qreal offset, const QString &image, const QString &text, const QColor &color)
{
    const qreal height = size.height();
    const QRectF icon = graph::toWidget(graph::iconRect(height, offset), height);
    const qreal ratio = context.device() != nullptr ? context.device()->devicePixelRatioF() : 1.0;
    // Rendered at the device's pixel ratio, so the icon is as sharp as the bar.
    const QPixmap pixmap = image.isEmpty() ? QPixmap() : ImageStore::pixmap(image, icon.size().toSize(), ratio);
    if (!pixmap.isNull()) {
        context.drawPixmap(icon.topLeft(), pixmap);
    }
    context.setPen(color);
    drawText(context,
        graph::toWidget(graph::captionRect(height, offset), height),
        text,
        UIUtil::barChartLegendSizeTextFont(),
        Qt::AlignHCenter);
}

void GraphView::drawLegendInfo(QPainter &context,
    qreal viewHeight,
    const QRectF &barChartRect,
    int index,
    const GraphContent::LegendEntry &entry,
    int legendCount,
    const QColor &textColor)
{
    const QFont nameFont = UIUtil::barChartLegendNameFont();
    const QFont valueFont = UIUtil::barChartLegendSizeTextFont();
    const qreal nameHeight = QFontMetricsF(nameFont).height();
    const qreal valueHeight = QFontMetricsF(valueFont).height();
    const graph::LegendSlot slot = graph::legendSlot(barChartRect, index, legendCount, nameHeight, valueHeight);

    context.setPen(QPen(entry.colors.stroke, 1.0));
    context.setBrush(entry.colors.fill);
    context.drawRect(strokeInside(graph::toWidget(slot.swatch, viewHeight)));

    context.setPen(textColor);
    drawText(context, graph::toWidget(slot.name, viewHeight), entry.name, nameFont, Qt::AlignLeft);
    drawText(context, graph::toWidget(slot.value, viewHeight), entry.text, valueFont, Qt::AlignLeft);
}

} // namespace gui
