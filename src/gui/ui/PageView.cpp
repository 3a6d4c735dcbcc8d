// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PageView.h"

#include "ui/PageAccessible.h"

#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QStringDecoder>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

/// The bytes of a page or of a file it names: a regular local file of at
/// most MaxPageSize bytes. A device, a pipe or a huge file would block or
/// flood the GUI thread, so they are refused with the reason in `error`.
std::optional<QByteArray> readPageFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *error = u"not a regular file"_s;
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    // Never more than the limit, however large the file.
    QByteArray bytes = file.read(PageView::MaxPageSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return std::nullopt;
    }
    if (bytes.size() > PageView::MaxPageSize) {
        *error = u"the page is larger than %1 bytes"_s.arg(PageView::MaxPageSize);
        return std::nullopt;
    }
    return bytes;
}

} // namespace

PageView::PageView(QWidget *parent)
    : QTextBrowser(parent)
{
    setObjectName(u"webview"_s);
    PageAccessible::install();
    // Links are reported, never followed here: the owner decides.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl &link) {
        followLink(link.toString(QUrl::FullyEncoded));
    });
}

PageView::~PageView() = default;

void PageView::load(const QUrl &url)
{
    m_url = url;
    m_error.clear();
    m_loading = true;
    const quint64 generation = ++m_generation;
    Q_EMIT loadStarted();
    // Read on the next turn of the event loop, so the screen (and its
    // progress indicator) is painted before the page is laid out.
    QTimer::singleShot(0, this, [this, generation] {
        finishLoad(generation);
    });
}

void PageView::finishLoad(quint64 generation)
{
    if (generation != m_generation) {
        return;
    }
    m_loading = false;
    if (!m_url.isLocalFile()) {
        m_error =
            m_url.scheme().isEmpty() ? u"not a page address"_s : u"%1 pages are not shown here"_s.arg(m_url.scheme());
        Q_EMIT loadFinished(false);
        return;
    }
    const std::optional<QByteArray> bytes = readPageFile(m_url.toLocalFile(), &m_error);
    if (!bytes) {
        Q_EMIT loadFinished(false);
        return;
    }
    // The page's own <meta charset> decides; UTF-8 otherwise.
    QStringDecoder decoder(QStringDecoder::encodingForHtml(*bytes).value_or(QStringConverter::Utf8));
    const QString html = decoder(*bytes);
    // Images and style sheets named by the page are found next to it.
    document()->setBaseUrl(m_url);
    setHtml(html);
    ++m_contentVersion;
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&changed);
    }
    Q_EMIT loadFinished(true);
}

QUrl PageView::focusedLink() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        return {};
    }
    const QString href = cursor.charFormat().anchorHref();
    return href.isEmpty() ? QUrl() : m_url.resolved(QUrl(href));
}

void PageView::focusLink(int start, int end)
{
    QTextCursor cursor(document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    setFocus(Qt::OtherFocusReason);
    announceFocusedLink();
}

void PageView::followLink(const QString &href)
{
    Q_EMIT navigationRequested(m_url.resolved(QUrl(href)), NavigationKind::Link);
}

bool PageView::focusNextPrevChild(bool next)
{
    const bool moved = QTextBrowser::focusNextPrevChild(next);
    if (moved && hasFocus()) {
        announceFocusedLink();
    }
    return moved;
}

void PageView::announceFocusedLink()
{
    if (!QAccessible::isActive()) {
        return;
    }
    auto *page = dynamic_cast<PageAccessible *>(QAccessible::queryAccessibleInterface(this));
    PageLinkAccessible *link = page != nullptr ? page->linkAt(textCursor().selectionStart()) : nullptr;
    if (link != nullptr) {
        QAccessibleEvent focused(link, QAccessible::Focus);
        QAccessible::updateAccessibility(&focused);
    }
}

QVariant PageView::loadResource(int type, const QUrl &name)
{
    Q_UNUSED(type)
    const QUrl url = m_url.resolved(name);
    QString error;
    const std::optional<QByteArray> bytes = url.isLocalFile() ? readPageFile(url.toLocalFile(), &error) : std::nullopt;
    // An empty value, not a null one: for a null one QTextDocument would open the file itself.
    return QVariant(bytes.value_or(QByteArray()));
}

void PageView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton) {
        const QString href = anchorAt(event->position().toPoint());
        if (!href.isEmpty()) {
            event->accept();
            Q_EMIT navigationRequested(m_url.resolved(QUrl(href)), NavigationKind::NewWindow);
            return;
        }
    }
    QTextBrowser::mouseReleaseEvent(event);
}

} // namespace gui
