// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MoreToolViewController.h"

#include "engine/ModuleInfo.h"
#include "platform/LinkOpener.h"
#include "platform/Services.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int MoreToolModuleIndex = 4;

QString cssColor(std::string_view key)
{
    return UIUtil::color(core::UIInfo::nsColor(key)).name(QColor::HexRgb);
}

QString cssFontSize(std::string_view key)
{
    return QString::number(qRound(core::UIInfo::nsMyUI(key).size)) + u"px"_s;
}

} // namespace

MoreToolViewController::MoreToolViewController(const LinkOpener *links, QWidget *parent)
    : TabViewSwitchController(parent)
    , m_links(links)
{
    setObjectName(u"MoreToolViewController"_s);
}

MoreToolViewController::~MoreToolViewController() = default;

NavigationPolicy MoreToolViewController::decidePolicyForNavigationAction(
    const QUrl &request, NavigationKind kind, const QUrl &page)
{
    if (!request.isValid() || request.isEmpty() || request.isRelative()) {
        return NavigationPolicy::Ignore;
    }
    if (kind == NavigationKind::Link && page.isValid()
        && request.toString(QUrl::FullyEncoded) == page.toString(QUrl::FullyEncoded)) {
        return NavigationPolicy::Use;
    }
    return NavigationPolicy::OpenExternally;
}

QUrl MoreToolViewController::pageUrl(const QString &description, const QString &resourceFolder)
{
    const QUrl url(description, QUrl::StrictMode);
    if (url.isValid() && url.scheme() == u"file"_s && url.authority().isEmpty() && !url.path().startsWith(u'/')) {
        // "file:more-tools.html": a shipped page written as a file URL.
        QUrl relative;
        relative.setPath(url.path());
        relative.setQuery(url.query());
        relative.setFragment(url.fragment());
        return LinkOpener::linkUrl(relative.toString(QUrl::FullyEncoded), resourceFolder);
    }
    return LinkOpener::linkUrl(description, resourceFolder);
}

QString MoreToolViewController::resourceFolder()
{
    const auto catalogue =
        core::platform::services().resources.path(std::string(core::ModuleInfo::bundlename) + "Modules", "plist");
    if (!catalogue) {
        return {};
    }
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(*catalogue))).absolutePath();
}

QString MoreToolViewController::pageStyleSheet()
{
    const QString accent = cssColor("category_size_font");
    return u"body { color: %1; }"
           "h1 { color: %2; font-size: %3; font-weight: 600; margin-bottom: 6px; }"
           "h2 { color: %7; font-size: %5; font-weight: 600; margin-top: 26px; margin-bottom: 4px; }"
           "h3 { color: %4; font-size: %6; font-weight: 600; margin-top: 16px; margin-bottom: 2px; }"
           "a { color: %7; }"
           "code { background-color: %8; }"
           "pre { background-color: %8; color: %4; margin-top: 4px; margin-bottom: 4px; }"
           ".note { color: %9; }"_s.arg(cssColor("module_description_font"),
               cssColor("module_title_font"),
               cssFontSize("module_title_font"),
               cssColor("category_title_font"),
               cssFontSize("dashboard_macInfo_font"),
               cssFontSize("category_title_font"),
               accent,
               cssColor("main_table_select_color"),
               cssColor("category_description_font"));
}

void MoreToolViewController::viewDidLoad()
{
    setModuleIndex(MoreToolModuleIndex);

    m_progressIndicator = new QProgressBar(this);
    m_progressIndicator->setObjectName(u"progressIndicator"_s);
    m_progressIndicator->setRange(0, 0); // indeterminate
    m_progressIndicator->setTextVisible(false);
    m_progressIndicator->setFixedHeight(6);
    m_progressIndicator->setAccessibleName(u"Loading the page"_s);
    m_progressIndicator->hide();

    m_webview = new PageView(this);
    m_webview->setAccessibleName(u"More Tools page"_s);
    m_webview->setFrameShape(QFrame::NoFrame);
    m_webview->viewport()->setAutoFillBackground(false);
    m_webview->document()->setDocumentMargin(28);

    m_fallback = new QWidget(this);
    m_fallback->setObjectName(u"fallback"_s);
    m_fallbackMessage = new QLabel(m_fallback);
    m_fallbackMessage->setObjectName(u"fallbackMessage"_s);
    m_fallbackMessage->setWordWrap(true);
    m_fallbackMessage->setAlignment(Qt::AlignHCenter);
    m_fallbackAddress = new QLabel(m_fallback);
    m_fallbackAddress->setObjectName(u"fallbackAddress"_s);
    m_fallbackAddress->setWordWrap(true);
    m_fallbackAddress->setAlignment(Qt::AlignHCenter);
    m_fallbackAddress->setOpenExternalLinks(false);
    m_openInBrowser = new QPushButton(m_fallback);
    m_openInBrowser->setObjectName(u"openInBrowser"_s);
    auto *fallbackLayout = new QVBoxLayout(m_fallback);
    fallbackLayout->setContentsMargins(48, 24, 48, 24);
    fallbackLayout->setSpacing(16);
    fallbackLayout->addStretch(2);
    fallbackLayout->addWidget(m_fallbackMessage);
    fallbackLayout->addWidget(m_fallbackAddress);
    fallbackLayout->addWidget(m_openInBrowser, 0, Qt::AlignHCenter);
    fallbackLayout->addStretch(3);

    m_stack = new QStackedWidget(this);
    m_stack->addWidget(m_webview);
    m_stack->addWidget(m_fallback);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_progressIndicator);
    layout->addWidget(m_stack, 1);
    applyTheme();
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, [this] {
        applyTheme();
        UIUtil::setTextAttribute(m_fallbackMessage, core::UIInfo::nsMyUI("module_description_font"));
        UIUtil::setTextAttribute(m_fallbackAddress, core::UIInfo::nsMyUI("module_feature_font"));
        // The page's colours are taken when it is laid out: lay it out again.
        if (!isShowingFallback() && m_webview->url().isValid()) {
            m_webview->load(m_webview->url());
        }
    });

    connect(m_webview, &PageView::loadStarted, this, &MoreToolViewController::didStartProvisionalLoad);
    connect(m_webview, &PageView::loadFinished, this, &MoreToolViewController::didFinishLoad);
    connect(m_webview, &PageView::navigationRequested, this, &MoreToolViewController::onNavigationRequested);
    connect(m_fallbackAddress, &QLabel::linkActivated, this, [this] {
        openExternally(m_url.value_or(QUrl()));
    });
    connect(m_openInBrowser, &QPushButton::clicked, this, [this] {
        openExternally(m_url.value_or(QUrl()));
    });

    const auto &modules = core::ModuleInfo::modules();
    const QString description = modules.size() > MoreToolModuleIndex
        ? QString::fromStdString(modules[MoreToolModuleIndex].description)
        : QString();
    m_url = pageUrl(description, resourceFolder());
    if (!m_url->isValid()) {
        showFallback(u"The address of this page is not valid."_s, description);
        return;
    }
    m_webview->load(*m_url);
}

void MoreToolViewController::applyTheme()
{
    m_webview->document()->setDefaultStyleSheet(pageStyleSheet());
    m_webview->setFont(UIUtil::font(core::UIInfo::nsMyUI("module_description_font")));
    QPalette palette = m_webview->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    m_webview->setPalette(palette);
    UIUtil::setBtnAttribute(m_openInBrowser, u"Open in Browser"_s, core::UIInfo::nsMyUI("review_button_font"));
}

bool MoreToolViewController::isShowingFallback() const
{
    return m_stack != nullptr && m_stack->currentWidget() == m_fallback;
}

void MoreToolViewController::didStartProvisionalLoad()
{
    if (!m_firstLoadDone) {
        m_progressIndicator->show();
    }
}

void MoreToolViewController::didFinishLoad(bool ok)
{
    m_firstLoadDone = true;
    m_progressIndicator->hide();
    if (ok) {
        m_stack->setCurrentWidget(m_webview);
        return;
    }
    const QUrl url = m_url.value_or(QUrl());
    const QString address = url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
    if (!url.isLocalFile()) {
        showFallback(u"Spruce shows only the pages it ships. This page opens in your browser."_s, address);
    } else {
        showFallback(u"This page could not be shown: %1."_s.arg(m_webview->errorString()), address);
    }
}

void MoreToolViewController::showFallback(const QString &message, const QString &address)
{
    const QUrl url = m_url.value_or(QUrl());
    // Only an address the desktop can do something with is offered to it.
    const bool openable = url.isValid() && (!url.isLocalFile() || QFileInfo::exists(url.toLocalFile()));
    m_fallbackMessage->setText(message);
    UIUtil::setTextAttribute(m_fallbackMessage, core::UIInfo::nsMyUI("module_description_font"));
    if (openable) {
        m_fallbackAddress->setTextFormat(Qt::RichText);
        m_fallbackAddress->setText(
            u"<a href=\"%1\">%2</a>"_s.arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), address.toHtmlEscaped()));
        m_fallbackAddress->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    } else {
        m_fallbackAddress->setTextFormat(Qt::PlainText);
        m_fallbackAddress->setText(address);
        m_fallbackAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    UIUtil::setTextAttribute(m_fallbackAddress, core::UIInfo::nsMyUI("module_feature_font"));
    m_openInBrowser->setEnabled(openable);
    m_stack->setCurrentWidget(m_fallback);
}

void MoreToolViewController::onNavigationRequested(const QUrl &request, NavigationKind kind)
{
    switch (decidePolicyForNavigationAction(request, kind, m_url.value_or(QUrl()))) {
    case NavigationPolicy::Use:
        m_webview->load(request);
        break;
    case NavigationPolicy::OpenExternally:
        openExternally(request);
        break;
    case NavigationPolicy::Ignore:
        break;
    }
}

void MoreToolViewController::openExternally(const QUrl &url)
{
    if (m_links != nullptr) {
        m_links->openUrl(url);
    }
}

} // namespace gui
