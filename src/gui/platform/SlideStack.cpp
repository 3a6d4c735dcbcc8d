// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SlideStack.h"

#include <QLinearGradient>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

using namespace Qt::StringLiterals;

namespace gui {

void paintVerticalGradient(QPainter &painter, const QRectF &rect, const QColor &atBottom, const QColor &atTop)
{
    QLinearGradient gradient(rect.bottomLeft(), rect.topLeft());
    gradient.setColorAt(0.0, atBottom);
    gradient.setColorAt(1.0, atTop);
    painter.fillRect(rect, gradient);
}

SlideStack::SlideStack(QWidget *parent)
    : QStackedWidget(parent)
{
    setObjectName(u"tabView"_s);
}

SlideStack::~SlideStack() = default;

void SlideStack::setGradient(const QColor &atBottom, const QColor &atTop)
{
    m_bottom = atBottom;
    m_top = atTop;
    update();
}

void SlideStack::paintEvent(QPaintEvent *event)
{
    if (m_bottom.isValid() && m_top.isValid()) {
        QPainter painter(this);
        paintVerticalGradient(painter, rect(), m_bottom, m_top);
    }
    QStackedWidget::paintEvent(event);
}

void SlideStack::resizeEvent(QResizeEvent *event)
{
    // Positions computed for the old size would leave a screen half-way.
    finishTransition();
    QStackedWidget::resizeEvent(event);
}

void SlideStack::finishTransition()
{
    if (m_group == nullptr) {
        return;
    }
    QParallelAnimationGroup *group = m_group;
    m_group = nullptr;
    group->stop();
    group->deleteLater();
    const QRect area = contentsRect();
    if (QWidget *target = widget(m_pendingTo)) {
        setCurrentIndex(m_pendingTo);
        target->setGeometry(area);
    }
    if (m_pendingFrom != nullptr && m_pendingFrom != currentWidget()) {
        m_pendingFrom->hide();
        m_pendingFrom->setGeometry(area);
    }
    m_pendingFrom = nullptr;
    m_pendingTo = -1;
}

void SlideStack::transition(int from, int to, SlideTransition option)
{
    finishTransition();
    QWidget *fromWidget = widget(from);
    QWidget *toWidget = widget(to);
    if (fromWidget == nullptr || toWidget == nullptr) {
        return;
    }
    Q_EMIT transitionStarted(from, to, option);
    if (from == to || m_duration <= 0 || !isVisible() || fromWidget != currentWidget()) {
        setCurrentIndex(to);
        return;
    }
    const QRect area = contentsRect();
    QPoint offset;
    switch (option) {
    case SlideTransition::SlideLeft:
        offset = QPoint(area.width(), 0);
        break;
    case SlideTransition::SlideRight:
        offset = QPoint(-area.width(), 0);
        break;
    case SlideTransition::SlideUp:
        offset = QPoint(0, area.height());
        break;
    }
    toWidget->setGeometry(area.translated(offset));
    toWidget->show();
    toWidget->raise();

    m_group = new QParallelAnimationGroup(this);
    auto addMove = [this](QWidget *target, QPoint start, QPoint end) {
        auto *move = new QPropertyAnimation(target, "pos", m_group);
        move->setDuration(m_duration);
        move->setEasingCurve(QEasingCurve::InOutQuad);
        move->setStartValue(start);
        move->setEndValue(end);
        m_group->addAnimation(move);
    };
    addMove(fromWidget, area.topLeft(), area.topLeft() - offset);
    addMove(toWidget, area.topLeft() + offset, area.topLeft());
    m_pendingFrom = fromWidget;
    m_pendingTo = to;
    connect(m_group, &QAbstractAnimation::finished, this, &SlideStack::finishTransition);
    m_group->start();
}

} // namespace gui
