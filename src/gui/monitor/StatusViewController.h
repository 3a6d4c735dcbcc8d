#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace gui {

/// The content of the status item's popover: the product name and the
/// control that brings the main window forward. GUI thread.
class StatusViewController : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusViewController)

public:
    explicit StatusViewController(QWidget *parent = nullptr);
    ~StatusViewController() override;

    QPushButton *showMainWindowButton() const { return m_showButton; }
    QPushButton *quitButton() const { return m_quitButton; }

    /// Brings every window identified "mainWindow" forward (shown,
    /// restored, raised and activated); none does nothing. Returns how
    /// many windows it brought forward.
    static int showMainWindows();

public Q_SLOTS:
    /// Brings the main window forward and closes the popover holding this view.
    void showMainWindow();

private:
    QLabel *m_title; // owned (child)
    QPushButton *m_showButton; // owned (child)
    QPushButton *m_quitButton; // owned (child)
};

} // namespace gui
