// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/LinkOpener.h"

#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;
class QMenuBar;

namespace gui {

class DesktopScheme;
class EventMonitor;
class Popover;
class SchemeController;
class UserDefaults;

/// Whether the status item has a button (a tray to sit in): Auto asks the
/// desktop; tests force it either way.
enum class StatusItemMode { Auto, Always, Never };

/// What an AppDelegate is made with.
struct AppDelegateOptions
{
    UrlOpener opener = desktopUrlOpener(); // how links reach the desktop
    UserDefaults *defaults = nullptr; // not owned; null: the user's own settings file
    StatusItemMode statusItem = StatusItemMode::Auto;
    /// not owned; null: one made here that does not ask the settings portal,
    /// from the application palette in force when the delegate is made
    DesktopScheme *desktopScheme = nullptr;
};

/// The application: start-up, the first-launch page, the status item with
/// its popover, re-opening the main window, and the application menu's link
/// actions. One per process, living as long as it; GUI thread.
class AppDelegate : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppDelegate)

public:
    using StatusItemMode = gui::StatusItemMode;
    using Options = AppDelegateOptions;

    /// Creates the status item, the popover and the (empty) dock menu; starts nothing.
    explicit AppDelegate(AppDelegateOptions options = AppDelegateOptions(), QObject *parent = nullptr);
    ~AppDelegate() override;

    /// Start-up, in order: the first-launch check; then, when the status
    /// item has a button, its "Status" image and click action (the
    /// application then keeps running with its main window closed); the
    /// popover's content; and the monitor that closes the popover on a
    /// click elsewhere.
    void applicationDidFinishLaunching();

    /// On the first launch only (the Boolean "HasLaunchedOnce" is not true
    /// in the user's settings): stores "HasLaunchedOnce" = true and writes
    /// it to disk at once, then opens the settings link "install_link" and
    /// records the "First Launch" event (with the machine model) in the
    /// application log. Later launches do nothing, even if the page failed
    /// to open the first time.
    void checkFirstTimeLaunch();

    /// Closes the popover when it is shown, shows it otherwise. A toggle
    /// that comes right after the popover closed (within 300 ms) is the
    /// same click on the status item that closed it, and leaves it closed.
    void togglePopover(QObject *sender);
    /// Shows the popover under the status item; nothing when the status item has no button.
    void showPopover(QObject *sender);
    void closePopover(QObject *sender);

    /// A later launch or the desktop asked to re-open the application.
    /// Without visible windows every window identified "mainWindow" is
    /// brought forward; with one visible nothing more happens. Always true.
    bool applicationShouldHandleReopen(QObject *sender, bool hasVisibleWindows);

    /// Re-open request from a later launch: raises a visible main window
    /// (what the desktop does when an application is activated), then
    /// applicationShouldHandleReopen().
    void handleReopenRequest();

    /// The dock menu: an empty menu titled "MyMenu" (Linux has no dock).
    QMenu *applicationDockMenu() const { return m_dockMenu.get(); }

    /// Fills `bar` with the application's menus: File (Quit), Edit
    /// (Preferences..., the always-keep list), View (Light, Dark, System)
    /// and Help with the seven link actions.
    void buildApplicationMenu(QMenuBar *bar);

    /// The main window is closing. When the application keeps running in
    /// the tray, says so the first time ("TrayNoticeShown" in the user's
    /// settings remembers it), in a window of its own that does not block.
    void mainWindowWillClose();

    /// Opens the settings link under `key`; when nothing opens it (no
    /// opener, a missing page, an invalid value), says so in a window of
    /// its own that shows the address to copy. True when it opened.
    bool openLinkOrExplain(std::string_view key);
    /// Says, in a notice of its own, that nothing opened `url`, and why.
    void explainUnopened(const QUrl &url);

    /// The look the user chose and the one shown; main() applies it before the first window.
    SchemeController &schemes() const { return *m_schemes; }

    const LinkOpener &links() const { return m_links; }
    QSystemTrayIcon *statusItem() const { return m_statusItem.get(); }
    bool statusItemHasButton() const { return m_hasButton; }
    Popover *popover() const { return m_popover.get(); }
    EventMonitor *eventMonitor() const { return m_eventMonitor.get(); }

public Q_SLOTS:
    void supportAction();
    void homeAction();
    void productAction();
    void helpAction();
    void feedbackAction();
    /// Shows the version in use and where releases are published (Spruce
    /// never looks for updates by itself), with buttons that open the
    /// release list and the page on updating.
    void checkForUpdateAction();
    void fackbookAction();

private:
    void onStatusItemActivated(QSystemTrayIcon::ActivationReason reason);

    LinkOpener m_links;
    std::unique_ptr<UserDefaults> m_ownDefaults;
    UserDefaults *m_defaults; // not owned (m_ownDefaults or the caller's)
    std::unique_ptr<DesktopScheme> m_ownDesktopScheme;
    std::unique_ptr<SchemeController> m_schemes;
    bool m_hasButton = false;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<Popover> m_popover;
    std::unique_ptr<EventMonitor> m_eventMonitor;
    std::unique_ptr<QMenu> m_dockMenu;
    std::unique_ptr<QMenu> m_statusMenu;
};

} // namespace gui
