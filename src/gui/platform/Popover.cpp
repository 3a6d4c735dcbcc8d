// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Popover.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int Gap = 6;

bool isX11()
{
    return QGuiApplication::platformName() == u"xcb"_s;
}

} // namespace

Popover::Popover(QWidget *parent)
    : QFrame(parent,
        isX11() ? Qt::Popup | Qt::FramelessWindowHint : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"popover"_s);
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

Popover::~Popover() = default;

void Popover::setContentViewController(QWidget *content)
{
    if (m_content != nullptr) {
        delete m_content;
    }
    m_content = content;
    if (content != nullptr) {
        layout()->addWidget(content);
    }
}

QRect Popover::placement(const QRect &anchor, const QSize &size, const QRect &available)
{
    QRect r(QPoint(0, 0), size);
    r.moveLeft(anchor.x() + anchor.width() / 2 - size.width() / 2);
    r.moveTop(anchor.bottom() + 1 + Gap);
    if (r.bottom() > available.bottom() && anchor.top() - Gap - size.height() >= available.top()) {
        r.moveBottom(anchor.top() - 1 - Gap);
    }
    r.moveLeft(
        std::clamp(r.left(), available.left(), std::max(available.left(), available.right() + 1 - size.width())));
    r.moveTop(std::clamp(r.top(), available.top(), std::max(available.top(), available.bottom() + 1 - size.height())));
    return r;
}

void Popover::showRelativeTo(const QRect &anchor)
{
    adjustSize();
    QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(anchor.topLeft(), sizeHint());
    setGeometry(placement(anchor, sizeHint().expandedTo(minimumSizeHint()), available));
    show();
    raise();
    activateWindow();
}

void Popover::performClose(QObject *sender)
{
    Q_UNUSED(sender)
    hide();
}

qint64 Popover::msSinceClosed() const
{
    return m_sinceClosed.isValid() ? m_sinceClosed.elapsed() : -1;
}

bool Popover::event(QEvent *event)
{
    // A tool window gets no pointer grab: losing activation means the user went elsewhere.
    if (event->type() == QEvent::WindowDeactivate && !isX11() && isVisible()) {
        performClose(this);
    }
    return QFrame::event(event);
}

void Popover::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    Q_EMIT shown();
}

void Popover::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    m_sinceClosed.start();
    Q_EMIT closed();
}

} // namespace gui
