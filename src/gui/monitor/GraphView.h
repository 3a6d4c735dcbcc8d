// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "theme/UIInfo.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>
#include <string_view>
#include <vector>

class QPainter;

namespace gui {

/// A stroke and a fill colour of one bar segment or legend swatch.
struct ColorPair
{
    QColor stroke;
    QColor fill;
    bool operator==(const ColorPair &) const = default;
};

/// The theme keys of a ColorPair.
struct ColorKeys
{
    std::string_view stroke;
    std::string_view fill;
    bool operator==(const ColorKeys &) const = default;
};

/// The theme as it is at one draw: the file is read once and every colour
/// of that draw comes from the same reading, so an edited theme shows at
/// the next draw. A key the file lacks gets UIInfo's answer for it (its
/// defaults, and one log line). GUI thread.
class ThemeColors
{
public:
    ThemeColors();
    QColor color(std::string_view key) const;
    ColorPair pair(const ColorKeys &keys) const;

private:
    core::UIInfo::Table m_table;
};

/// One draw's worth of a monitor: what its subclass sampled and how it is shown.
struct GraphContent
{
    struct Segment
    {
        double fraction = 0; // of the bar's width; NaN or negative draws nothing
        ColorPair colors;
    };
    struct LegendEntry
    {
        QString name;
        QString text;
        ColorPair colors;
    };

    bool blank = false; // nothing is drawn at all (no battery, or its icon is missing)
    QString iconName; // an ImageStore name; a name without an image leaves the icon out
    QString caption;
    qreal offset = 0; // vertical offset of the whole graph (the disk graph's 20)
    std::optional<ColorPair> background; // the whole bar under the segments; none: no bar
    std::vector<Segment> segments;
    std::vector<LegendEntry> legend;
    QColor textColor; // caption and legend texts
    QString accessibleDescription; // "" : the legend texts, "System 3.1%, User 10.4%, ..."
};

/// The common base of the four monitor graphs: one horizontal stacked bar
/// with rounded ends, an icon with a caption on its left, and a legend of
/// swatches, names and values under it.
///
/// A subclass samples its figures in sample(); the base class draws them.
/// Sampling happens when a host calls redraw() (its timers), and on the
/// first paint after the view is shown; a paint for any other reason (an
/// expose, a resize) draws the last sample again instead of taking a new
/// one, so the CPU shares always span a timer interval.
///
/// Drawing is in logical pixels with antialiasing, so the graph is as sharp
/// at 200 % as at 100 %. The figures are also given to the accessibility
/// interface: the name is the monitor's kind and caption ("CPU: 4 Cores"),
/// the description its legend ("System 3.1%, User 10.4%, Idle 86.5%, Nice
/// 0.0%"). GUI thread.
class GraphView : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GraphView)

public:
    ~GraphView() override;

    /// Samples the figures now and repaints. The only call a host makes.
    void redraw();

    /// The last sample (empty before the first one).
    const GraphContent &content() const { return m_content; }
    bool hasSample() const { return m_sampled; }

    /// Draws `content` into `context`, in the view's logical coordinates,
    /// for a view of `size`. Public so that a test can paint into an image.
    static void drawContent(QPainter &context, const QSizeF &size, const GraphContent &content);

    // The drawing operations, in the graph's bottom-left-origin coordinates.
    static void drawRoundedRect(
        QPainter &context, const QRectF &rect, qreal viewHeight, qreal radius, const ColorPair &colors);
    static void drawCategoryInfo(QPainter &context,
        const QSizeF &size,
        qreal offset,
        const QString &image,
        const QString &text,
        const QColor &color);
    static void drawLegendInfo(QPainter &context,
        qreal viewHeight,
        const QRectF &barChartRect,
        int index,
        const GraphContent::LegendEntry &entry,
        int legendCount,
        const QColor &textColor);

    /// The legend as a screen reader reads it: "name text" per entry, joined by ", ".
    static QString legendDescription(const std::vector<GraphContent::LegendEntry> &legend);

Q_SIGNALS:
    /// New figures were taken (a redraw, or the first paint after showing).
    void sampled();

protected:
    /// `kind` is the monitor's spoken name ("CPU", "Memory", "Disk", "Battery").
    GraphView(QString kind, int preferredHeight, QWidget *parent);

    /// The figures as they are now, with the theme of this draw.
    virtual GraphContent sample(const ThemeColors &theme) = 0;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void takeSample();

    QString m_kind;
    int m_preferredHeight;
    GraphContent m_content;
    bool m_sampled = false;
    bool m_stale = true; // the next paint samples (first paint, or shown again)
};

} // namespace gui
