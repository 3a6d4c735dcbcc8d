// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppDelegate.h"

#include "SpruceVersion.h"
#include "monitor/EventMonitor.h"
#include "monitor/StatusViewController.h"
#include "monitor/System.h"
#include "platform/ColorScheme.h"
#include "platform/ImageStore.h"
#include "platform/Popover.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "theme/SchemeController.h"
#include "theme/SettingInfo.h"
#include "theme/UIUtil.h"
#include "ui/PreferencesDialog.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

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

/// A notice in a window of its own: not modal, deleted when closed, its
/// text selectable so that an address can be copied.
QMessageBox *showNotice(const QString &name, bool warning, const QString &text, const QString &details)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, u"Spruce"_s, text, QMessageBox::Close);
    UIUtil::setNoticeIcon(box, warning);
    // The style's glyph on Close is drawn for a light button; the word says it all.
    box->button(QMessageBox::Close)->setIcon(QIcon());
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(details);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
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
    DesktopScheme *desktop = options.desktopScheme;
    if (desktop == nullptr) {
        m_ownDesktopScheme =
            std::make_unique<DesktopScheme>(QApplication::palette().color(QPalette::Window), /*askPortal=*/false);
        desktop = m_ownDesktopScheme.get();
    }
    m_schemes = std::make_unique<SchemeController>(*m_defaults, *desktop);
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

    QMenu *view = bar->addMenu(tr("&View"));
    view->setObjectName(u"viewMenu"_s);
    m_schemes->addMenuItems(view);

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

void AppDelegate::mainWindowWillClose()
{
    const QString key = u"TrayNoticeShown"_s;
    if (QApplication::quitOnLastWindowClosed() || m_defaults->boolForKey(key)) {
        return;
    }
    m_defaults->setBool(key, true);
    m_defaults->synchronize();
    showNotice(u"trayNotice"_s,
        false,
        tr("Spruce keeps running in the tray; Quit from its menu."),
        tr("Its icon opens the monitors and brings this window back."));
}

void AppDelegate::explainUnopened(const QUrl &url)
{
    QString details;
    if (!url.isValid()) {
        details = tr("Its address is missing from Spruce's settings.");
    } else if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        details = tr("The page %1 is not installed.").arg(url.toLocalFile());
    } else {
        details = tr("No application could open %1. Copy the address into a web browser.")
                      .arg(url.toDisplayString(QUrl::PreferLocalFile));
    }
    showNotice(u"linkFailureNotice"_s, true, tr("Spruce could not open this page."), details);
}

bool AppDelegate::openLinkOrExplain(std::string_view key)
{
    if (m_links.openLink(key)) {
        return true;
    }
    explainUnopened(LinkOpener::linkUrl(QString::fromStdString(core::SettingInfo::valueOf(key)),
        QString::fromStdString(core::SettingInfo::settingsFolder())));
    return false;
}

void AppDelegate::supportAction()
{
    openLinkOrExplain("support_link");
}

void AppDelegate::homeAction()
{
    openLinkOrExplain("home_link");
}

void AppDelegate::productAction()
{
    openLinkOrExplain("product_link");
}

void AppDelegate::helpAction()
{
    openLinkOrExplain("help_link");
}

void AppDelegate::feedbackAction()
{
    openLinkOrExplain("feedback_link");
}

void AppDelegate::checkForUpdateAction()
{
    const QString releases = QStringLiteral(SPRUCE_RELEASES_URL);
    QMessageBox *box = showNotice(u"updatesNotice"_s,
        false,
        tr("This is Spruce %1.").arg(QStringLiteral(SPRUCE_VERSION)),
        tr("Spruce does not look for updates by itself and never contacts a server: it is updated with the rest "
           "of your system by your package manager. New releases are published at %1.")
            .arg(releases));
    QPushButton *open = box->addButton(tr("Open Releases Page"), QMessageBox::ActionRole);
    open->setObjectName(u"openReleasesButton"_s);
    QPushButton *how = box->addButton(tr("How to Update"), QMessageBox::HelpRole);
    how->setObjectName(u"howToUpdateButton"_s);
    box->setDefaultButton(QMessageBox::Close);
    // An action button closes the box; what it opens is decided here.
    connect(box, &QMessageBox::buttonClicked, this, [this, open, how, releases](QAbstractButton *clicked) {
        if (clicked == open) {
            if (const QUrl url(releases); !m_links.openUrl(url)) {
                explainUnopened(url);
            }
        } else if (clicked == how) {
            openLinkOrExplain("checkForUpdate_link");
        }
    });
}

void AppDelegate::fackbookAction()
{
    openLinkOrExplain("facebook_link");
}

} // namespace gui
