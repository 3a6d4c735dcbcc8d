// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/PageView.h"
#include "ui/TabViewSwitchController.h"

#include <QUrl>

#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace gui {

class LinkOpener;

/// What the page view does with a navigation it is asked for.
enum class NavigationPolicy {
    Use, // show it in the view
    OpenExternally, // hand it to the desktop's browser or file manager; the view stays
    Ignore, // nothing to open
};

/// The more-tools screen (tab "moreTool", child 3, module 4): the page
/// whose address the catalogue gives as module 4's description, shown in
/// a PageView. The page's own address stays in the view; every other link,
/// and every new-window request, goes to the desktop and the view stays
/// on its page.
///
/// The page is loaded once, when the screen is first shown. The progress
/// indicator shows while that first load runs and is hidden for good when
/// it ends. An address that is not valid, or that the light viewer cannot
/// show (a web address, a missing file), gives a message, the address and
/// an "Open in Browser" button instead of a blank view. GUI thread.
class MoreToolViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoreToolViewController)

public:
    /// `links` opens the links that leave the page; not owned, must
    /// outlive the screen. Null opens nothing.
    explicit MoreToolViewController(const LinkOpener *links, QWidget *parent = nullptr);
    ~MoreToolViewController() override;

    PageView *webview() const { return m_webview; }
    /// The page's address; absent until the view is loaded, invalid when
    /// the catalogue's description is not a valid address.
    const std::optional<QUrl> &url() const { return m_url; }
    QProgressBar *progressIndicator() const { return m_progressIndicator; }
    /// The message, address and button shown instead of a page that cannot be shown.
    QWidget *fallbackView() const { return m_fallback; }
    QLabel *fallbackMessage() const { return m_fallbackMessage; }
    QLabel *fallbackAddress() const { return m_fallbackAddress; }
    QPushButton *openInBrowserButton() const { return m_openInBrowser; }
    /// Whether the fallback is shown instead of the page.
    bool isShowingFallback() const;

    /// The navigation policy: a request for exactly the page's own address
    /// (compared fully encoded) is used in the view, unless it asks for a
    /// new window; every other valid request opens externally; an invalid
    /// or empty request is ignored. Pure.
    static NavigationPolicy decidePolicyForNavigationAction(const QUrl &request,
        NavigationKind kind,
        const QUrl &page); // NOLINT(readability-identifier-naming)

    /// The page a catalogue description names. An absolute URL stands as
    /// it is; a relative reference, or a "file:" URL with a relative path,
    /// is a page shipped with Spruce, resolved against `resourceFolder`
    /// (an absolute folder path). Invalid when the description is not a
    /// valid URL, or is relative and there is no folder. Pure.
    static QUrl pageUrl(const QString &description, const QString &resourceFolder);

    /// The folder of the module catalogue in use, which holds the shipped
    /// pages; empty when no catalogue is found.
    static QString resourceFolder();

    /// The style sheet that gives the page the theme's fonts and colours.
    static QString pageStyleSheet();

public Q_SLOTS:
    /// The load of a page has started: the indicator shows, unless the first load has ended already.
    void didStartProvisionalLoad();
    /// The load has ended: the indicator stops and is hidden for good; a failure shows the fallback.
    void didFinishLoad(bool ok);

protected:
    void viewDidLoad() override;

private:
    void onNavigationRequested(const QUrl &request, NavigationKind kind);
    void showFallback(const QString &message, const QString &address);
    void openExternally(const QUrl &url);
    void applyTheme();

    const LinkOpener *m_links; // not owned
    std::optional<QUrl> m_url;
    bool m_firstLoadDone = false;
    // All owned (children); made by viewDidLoad.
    QProgressBar *m_progressIndicator = nullptr;
    QStackedWidget *m_stack = nullptr;
    PageView *m_webview = nullptr;
    QWidget *m_fallback = nullptr;
    QLabel *m_fallbackMessage = nullptr;
    QLabel *m_fallbackAddress = nullptr;
    QPushButton *m_openInBrowser = nullptr;
};

} // namespace gui
