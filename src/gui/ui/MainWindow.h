// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

namespace gui {

class AppDelegate;
class ViewController;

/// The main window (identifier "mainWindow"): the application menu over
/// ViewController. Closing it only hides it; the application ends with
/// Quit, or with the last window when there is no status item. GUI thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    /// `app` provides the menus and the link opener; not owned, must outlive the window.
    explicit MainWindow(AppDelegate &app, QWidget *parent = nullptr);
    ~MainWindow() override;

    ViewController *viewController() const { return m_viewController; }

    /// The window's size on first start, in logical pixels.
    static QSize defaultSize() { return { 1040, 680 }; }

protected:
    /// Tells the application, which may keep running in the tray.
    void closeEvent(QCloseEvent *event) override;

private:
    AppDelegate &m_app;
    ViewController *m_viewController; // owned (central widget)
};

} // namespace gui
