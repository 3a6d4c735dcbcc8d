// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPointer>
#include <QStackedWidget>

class QParallelAnimationGroup;
class QPainter;

namespace gui {

/// The three ways a screen slides in, with the option values of the
/// transitions they stand for.
enum class SlideTransition : int {
    SlideUp = 0x10, // the new screen comes in from below
    SlideLeft = 0x40, // the new screen comes in from the right-hand side
    SlideRight = 0x80, // the new screen comes in from the left-hand side
};

/// Fills `rect` with a vertical gradient whose location 0.0 is the bottom
/// edge and location 1.0 the top edge (the direction of a layer gradient on
/// the platform the theme was designed for).
void paintVerticalGradient(QPainter &painter, const QRectF &rect, const QColor &atBottom, const QColor &atTop);

/// The tab container: a stack of screens of which one is shown, switched
/// with a slide, over a vertical gradient background.
///
/// A slide moves the real widgets (both screens' positions animated in
/// parallel, 250 ms, ease in-out), then makes the new screen current.
/// Children are only ever appended. GUI thread.
class SlideStack : public QStackedWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SlideStack)

public:
    explicit SlideStack(QWidget *parent = nullptr);
    ~SlideStack() override;

    /// Shows child `to` in place of child `from` with the given slide.
    /// A slide still running is first brought to its end. Without
    /// animation (from == to, a hidden stack, or a duration of 0) the
    /// switch is immediate. Invalid indices do nothing.
    void transition(int from, int to, SlideTransition option);

    /// Length of a slide in milliseconds (default 250; 0 switches at once).
    void setAnimationDuration(int ms) { m_duration = ms; }
    int animationDuration() const { return m_duration; }
    bool isAnimating() const { return m_group != nullptr; }

    /// Brings a running slide to its end at once.
    void finishTransition();

    /// The background gradient (location 0.0 at the bottom, 1.0 at the top).
    void setGradient(const QColor &atBottom, const QColor &atTop);
    QColor gradientBottom() const { return m_bottom; }
    QColor gradientTop() const { return m_top; }

Q_SIGNALS:
    /// A switch from child `from` to child `to` has begun with `option`.
    void transitionStarted(int from, int to, gui::SlideTransition option);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int m_duration = 250;
    int m_pendingTo = -1;
    QPointer<QWidget> m_pendingFrom;
    QParallelAnimationGroup *m_group = nullptr; // owned (child)
    QColor m_bottom;
    QColor m_top;
};

} // namespace gui

Q_DECLARE_METATYPE(gui::SlideTransition)
