// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppDelegate.h"

#include "monitor/EventMonitor.h"
#include "monitor/StatusViewController.h"
#include "monitor/System.h"
#include "platform/ImageStore.h"
#include "platform/Popover.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "theme/SettingInfo.h"
#include "ui/PreferencesDialog.h"

#include <QApplication>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr qint64 SameClickMs = 300;

bool trayAvailable(AppDelegate::StatusItemMode mode)
{
    switch (mode) {
    case AppDelegate::StatusItemMode::Always:
        return true;
    case AppDelegate::StatusItemMode::Never:
        return false;
    case AppDelegate::StatusItemMode::Auto:
        break;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace

AppDelegate::AppDelegate(Options options, QObject *parent)
    : QObject(parent)
    , m_links(std::move(options.opener))
    , m_ownDefaults(options.defaults == nullptr ? std::make_unique<UserDefaults>() : nullptr)
    , m_defaults(options.defaults != nullptr ? options.defaults : m_ownDefaults.get())
    , m_hasButton(trayAvailable(options.statusItem))
    , m_statusItem(std::make_unique<QSystemTrayIcon>())
    , m_popover(std::make_unique<Popover>())
    , m_dockMenu(std::make_unique<QMenu>(u"MyMenu"_s))
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    checkFirstTimeLaunch();

    if (m_hasButton) {
        const QString product = QString::fromStdString(core::SettingInfo::valueOf("product_name"));
        m_statusItem->setIcon(ImageStore::icon(u"Status"_s));
        m_statusItem->setToolTip(product);
        connect(m_statusItem.get(), &QSystemTrayIcon::activated, this, &AppDelegate::onStatusItemActivated);
        m_statusMenu = std::make_unique<QMenu>();
        m_statusMenu->addAction(tr("Open %1").arg(product), this, [] {
            StatusViewController::showMainWindows();
        });
        m_statusMenu->addSeparator();
        m_statusMenu->addAction(tr("Quit"), qApp, &QCoreApplication::quit);
        m_statusItem->setContextMenu(m_statusMenu.get());
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            m_statusItem->show();
        }
        // The status item stays when the main window is closed; Quit ends the application.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    m_popover->setContentViewController(new StatusViewController());

    m_eventMonitor = std::make_unique<EventMonitor>(EventMonitor::LeftMouseDown, [this](QEvent *event) {
        Q_UNUSED(event)
        if (m_popover->isShown()) {
            closePopover(this);
        }
    });
    m_eventMonitor->setIgnoredWindow(m_popover.get());
    m_eventMonitor->start();
}

void AppDelegate::checkFirstTimeLaunch()
{
    const QString key = u"HasLaunchedOnce"_s;
    if (m_defaults->boolForKey(key)) {
        return;
    }
    m_defaults->setBool(key, true);
    m_defaults->synchronize();
    m_links.openLink("install_link");
    if (auto *log = core::platform::services().log) {
        const std::string model = core::System::model();
        log->systemLog("First Launch (model: " + (model.empty() ? std::string("unknown") : model) + ")");
    }
}

void AppDelegate::onStatusItemActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger) {
        togglePopover(m_statusItem.get());
    }
}

void AppDelegate::togglePopover(QObject *sender)
{
    if (m_popover->isShown()) {
        closePopover(sender);
        return;
    }
    const qint64 sinceClosed = m_popover->msSinceClosed();
    if (sinceClosed >= 0 && sinceClosed < SameClickMs) {
        return;
    }
    showPopover(sender);
}

void AppDelegate::showPopover(QObject *sender)
{
    Q_UNUSED(sender)
    if (!m_hasButton) {
        return;
    }
    // Trays that speak the StatusNotifierItem protocol do not say where the item is: use the pointer.
    QRect anchor = m_statusItem->geometry();
    if (!anchor.isValid() || anchor.isEmpty()) {
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    }
    m_popover->showRelativeTo(anchor);
}

void AppDelegate::closePopover(QObject *sender)
{
    m_popover->performClose(sender);
}

bool AppDelegate::applicationShouldHandleReopen(QObject *sender, bool hasVisibleWindows)
{
    Q_UNUSED(sender)
    if (!hasVisibleWindows) {
        StatusViewController::showMainWindows();
    }
    return true;
}

void AppDelegate::handleReopenRequest()
{
    bool visible = false;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() == u"mainWindow"_s && window->isVisible() && !window->isMinimized()) {
            visible = true;
            window->raise();
            window->activateWindow();
        }
    }
    applicationShouldHandleReopen(this, visible);
}

void AppDelegate::buildApplicationMenu(QMenuBar *bar)
{
    QMenu *file = bar->addMenu(tr("&File"));
    QAction *quit = file->addAction(tr("&Quit"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence::Quit);
    quit->setObjectName(u"quitAction"_s);

    QMenu *edit = bar->addMenu(tr("&Edit"));
    QAction *preferences = edit->addAction(tr("&Preferences…"), bar, [bar] {
        PreferencesDialog::showFor(bar);
    });
    preferences->setObjectName(u"preferencesAction"_s);
    preferences->setShortcut(QKeySequence(tr("Ctrl+,")));
    preferences->setMenuRole(QAction::PreferencesRole);

    QMenu *help = bar->addMenu(tr("&Help"));
    auto add = [this, help](const QString &title, const char *name, void (AppDelegate::*slot)()) {
        QAction *action = help->addAction(title, this, slot);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    add(tr("Spruce &Help"), "helpAction", &AppDelegate::helpAction)->setShortcut(QKeySequence::HelpContents);
    add(tr("Getting &Support"), "supportAction", &AppDelegate::supportAction);
    add(tr("Send &Feedback…"), "feedbackAction", &AppDelegate::feedbackAction);
    help->addSeparator();
    add(tr("What Spruce &Cleans"), "productAction", &AppDelegate::productAction);
    add(tr("&Community"), "fackbookAction", &AppDelegate::fackbookAction);
    add(tr("Check for &Updates…"), "checkForUpdateAction", &AppDelegate::checkForUpdateAction);
    help->addSeparator();
    add(tr("&About Spruce"), "homeAction", &AppDelegate::homeAction);
}

void AppDelegate::supportAction()
{
    m_links.openLink("support_link");
}

void AppDelegate::homeAction()
{
    m_links.openLink("home_link");
}

void AppDelegate::productAction()
{
    m_links.openLink("product_link");
}

void AppDelegate::helpAction()
{
    m_links.openLink("help_link");
}

void AppDelegate::feedbackAction()
{
    m_links.openLink("feedback_link");
}

void AppDelegate::checkForUpdateAction()
{
    m_links.openLink("checkForUpdate_link");
}

void AppDelegate::fackbookAction()
{
    m_links.openLink("facebook_link");
}

} // namespace gui
