// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QPointer>

namespace gui {

/// A small frameless window shown next to the status item, holding one
/// content widget (its content controller).
///
/// On X11 it is a Qt::Popup: Qt grabs the pointer, so a click anywhere else
/// closes it. Elsewhere (Wayland, offscreen) it is a tool window kept on
/// top that closes when it loses activation, the closest signal a Wayland
/// client gets of a click elsewhere. GUI thread.
class Popover : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Popover)

public:
    explicit Popover(QWidget *parent = nullptr);
    ~Popover() override;

    /// Puts `content` inside the popover (which takes ownership); replaces
    /// and deletes an earlier one.
    void setContentViewController(QWidget *content);
    QWidget *contentViewController() const { return m_content; }

    bool isShown() const { return isVisible(); }

    /// Shows the popover beside `anchor` (global coordinates of the status
    /// item, or a point-sized rectangle at the pointer when the tray does
    /// not tell where its item is), below it when there is room.
    void showRelativeTo(const QRect &anchor);

    /// Closes the popover; `sender` is kept for the record only.
    void performClose(QObject *sender);

    /// Milliseconds since the popover last closed; -1 when it never has.
    qint64 msSinceClosed() const;

    /// Where a popover of `size` goes for `anchor` inside `available` (a
    /// screen's free area): centred under the anchor with a small gap,
    /// above it when it would not fit below, always kept inside `available`
    /// as far as it fits. Pure.
    static QRect placement(const QRect &anchor, const QSize &size, const QRect &available);

Q_SIGNALS:
    void shown();
    void closed();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QPointer<QWidget> m_content;
    QElapsedTimer m_sinceClosed;
};

} // namespace gui
