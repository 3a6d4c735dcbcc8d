// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PageAccessible.h"

#include "ui/PageView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

/// The document text between two positions, with paragraph breaks as "\n".
QString documentText(const QTextDocument *document, int start, int end)
{
    QTextCursor cursor(const_cast<QTextDocument *>(document));
    const int last = document->characterCount() - 1;
    cursor.setPosition(std::clamp(start, 0, last));
    cursor.setPosition(std::clamp(end, 0, last), QTextCursor::KeepAnchor);
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

/// The rectangle a stretch of the document covers, in global coordinates.
QRect globalTextRect(const PageView *view, int start, int end)
{
    QTextCursor cursor(view->document());
    cursor.setPosition(start);
    const QRect first = view->cursorRect(cursor);
    cursor.setPosition(end);
    const QRect last = view->cursorRect(cursor);
    QRect rect = first.united(last);
    if (last.top() > first.top()) {
        // Wrapped over several lines: the whole width of the text.
        rect.setLeft(0);
        rect.setRight(view->viewport()->width());
    }
    return QRect(view->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

QAccessibleInterface *pageFactory(const QString &classname, QObject *object)
{
    if (object != nullptr && object->isWidgetType()
        && classname == QLatin1StringView(PageView::staticMetaObject.className())) {
        return new PageAccessible(static_cast<PageView *>(object));
    }
    return nullptr;
}

} // namespace

PageLinkAccessible::PageLinkAccessible(PageView *view, int start, int end, QString href)
    : m_view(view)
    , m_start(start)
    , m_end(end)
    , m_href(std::move(href))
{
}

bool PageLinkAccessible::isValid() const
{
    return !m_view.isNull();
}

QWindow *PageLinkAccessible::window() const
{
    return m_view.isNull() ? nullptr : m_view->window()->windowHandle();
}

QAccessibleInterface *PageLinkAccessible::childAt(int x, int y) const
{
    Q_UNUSED(x)
    Q_UNUSED(y)
    return nullptr;
}

QAccessibleInterface *PageLinkAccessible::parent() const
{
    return m_view.isNull() ? nullptr : QAccessible::queryAccessibleInterface(m_view.data());
}

QAccessibleInterface *PageLinkAccessible::child(int index) const
{
    Q_UNUSED(index)
    return nullptr;
}

int PageLinkAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    Q_UNUSED(child)
    return -1;
}

QString PageLinkAccessible::text(QAccessible::Text t) const
{
    if (m_view.isNull()) {
        return {};
    }
    switch (t) {
    case QAccessible::Name:
        return documentText(m_view->document(), m_start, m_end).simplified();
    case QAccessible::Description:
        return m_view->url().resolved(QUrl(m_href)).toDisplayString();
    default:
        return {};
    }
}

void PageLinkAccessible::setText(QAccessible::Text t, const QString &text)
{
    Q_UNUSED(t)
    Q_UNUSED(text)
}

QRect PageLinkAccessible::rect() const
{
    return m_view.isNull() ? QRect() : globalTextRect(m_view.data(), m_start, m_end);
}

QAccessible::State PageLinkAccessible::state() const
{
    QAccessible::State state;
    if (m_view.isNull()) {
        state.invalid = true;
        return state;
    }
    state.focusable = true;
    state.linked = true;
    const QTextCursor cursor = m_view->textCursor();
    state.focused = m_view->hasFocus() && cursor.selectionStart() == m_start && cursor.selectionEnd() == m_end;
    const QRect visible(m_view->viewport()->mapToGlobal(QPoint(0, 0)), m_view->viewport()->size());
    state.offscreen = !m_view->isVisible() || !visible.intersects(rect());
    state.invisible = !m_view->isVisible();
    return state;
}

void *PageLinkAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
}

QStringList PageLinkAccessible::actionNames() const
{
    return { pressAction(), setFocusAction() };
}

void PageLinkAccessible::doAction(const QString &actionName)
{
    if (m_view.isNull()) {
        return;
    }
    if (actionName == setFocusAction()) {
        m_view->focusLink(m_start, m_end);
    } else if (actionName == pressAction()) {
        m_view->focusLink(m_start, m_end);
        m_view->followLink(m_href);
    }
}

QStringList PageLinkAccessible::keyBindingsForAction(const QString &actionName) const
{
    if (actionName == pressAction()) {
        return { u"Return"_s };
    }
    return {};
}

PageAccessible::PageAccessible(PageView *view)
    : QAccessibleWidget(view, QAccessible::Document)
{
}

PageAccessible::~PageAccessible()
{
    clearLinks();
}

void PageAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(pageFactory);
        return true;
    }();
    Q_UNUSED(installed)
}

PageView *PageAccessible::view() const
{
    return static_cast<PageView *>(widget());
}

void PageAccessible::clearLinks() const
{
    // By id: at exit the cache may have deleted the links already, and an unknown id is ignored.
    for (const QAccessible::Id id : m_linkIds) {
        QAccessible::deleteAccessibleInterface(id);
    }
    m_linkIds.clear();
    m_links.clear();
}

const std::vector<PageLinkAccessible *> &PageAccessible::links() const
{
    PageView *page = view();
    if (m_linksRevision == page->contentVersion()) {
        return m_links;
    }
    clearLinks();
    m_linksRevision = page->contentVersion();
    for (QTextBlock block = page->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const QString href = format.anchorHref();
            if (!format.isAnchor() || href.isEmpty()) {
                continue;
            }
            const int start = fragment.position();
            const int end = start + fragment.length();
            // One link may span several fragments (a word in bold inside it).
            int linkStart = start;
            if (!m_links.empty() && m_links.back()->end() == start && m_links.back()->href() == href) {
                linkStart = m_links.back()->start();
                QAccessible::deleteAccessibleInterface(m_linkIds.back());
                m_links.pop_back();
                m_linkIds.pop_back();
            }
            m_links.push_back(new PageLinkAccessible(page, linkStart, end, href));
            m_linkIds.push_back(QAccessible::registerAccessibleInterface(m_links.back()));
        }
    }
    return m_links;
}

QAccessible::State PageAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

int PageAccessible::childCount() const
{
    return static_cast<int>(links().size());
}

QAccessibleInterface *PageAccessible::child(int index) const
{
    const auto &all = links();
    return index >= 0 && static_cast<std::size_t>(index) < all.size() ? all[static_cast<std::size_t>(index)] : nullptr;
}

int PageAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const auto &all = links();
    const auto found = std::find(all.begin(), all.end(), child);
    return found == all.end() ? -1 : static_cast<int>(found - all.begin());
}

QAccessibleInterface *PageAccessible::childAt(int x, int y) const
{
    for (PageLinkAccessible *link : links()) {
        if (link->rect().contains(x, y)) {
            return link;
        }
    }
    return nullptr;
}

PageLinkAccessible *PageAccessible::linkAt(int position) const
{
    for (PageLinkAccessible *link : links()) {
        if (position >= link->start() && position < link->end()) {
            return link;
        }
    }
    return nullptr;
}

QAccessibleInterface *PageAccessible::focusChild() const
{
    if (view()->hasFocus() && view()->textCursor().hasSelection()) {
        if (PageLinkAccessible *link = linkAt(view()->textCursor().selectionStart())) {
            return link;
        }
    }
    return QAccessibleWidget::focusChild();
}

void *PageAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface *>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

void PageAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    const QTextCursor cursor = view()->textCursor();
    const bool has = selectionIndex == 0 && cursor.hasSelection();
    *startOffset = has ? cursor.selectionStart() : 0;
    *endOffset = has ? cursor.selectionEnd() : 0;
}

int PageAccessible::selectionCount() const
{
    return view()->textCursor().hasSelection() ? 1 : 0;
}

void PageAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void PageAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0) {
        QTextCursor cursor = view()->textCursor();
        cursor.clearSelection();
        view()->setTextCursor(cursor);
    }
}

void PageAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0) {
        return;
    }
    QTextCursor cursor(view()->document());
    const int last = characterCount();
    cursor.setPosition(std::clamp(startOffset, 0, last));
    cursor.setPosition(std::clamp(endOffset, 0, last), QTextCursor::KeepAnchor);
    view()->setTextCursor(cursor);
}

int PageAccessible::cursorPosition() const
{
    return view()->textCursor().position();
}

void PageAccessible::setCursorPosition(int position)
{
    setSelection(0, position, position);
}

QString PageAccessible::text(int startOffset, int endOffset) const
{
    return documentText(view()->document(), startOffset, endOffset);
}

int PageAccessible::characterCount() const
{
    return view()->document()->characterCount() - 1;
}

QRect PageAccessible::characterRect(int offset) const
{
    if (offset < 0 || offset >= characterCount()) {
        return {};
    }
    return globalTextRect(view(), offset, offset + 1);
}

int PageAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(local)) {
        return -1;
    }
    return view()->cursorForPosition(local).position();
}

void PageAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    Q_UNUSED(endIndex)
    QTextCursor cursor(view()->document());
    cursor.setPosition(std::clamp(startIndex, 0, characterCount()));
    const QRect shown = view()->cursorRect(cursor);
    if (!view()->viewport()->rect().contains(shown)) {
        QScrollBar *bar = view()->verticalScrollBar();
        bar->setValue(bar->value() + shown.top() - view()->viewport()->height() / 3);
    }
}

QString PageAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    // No text attributes are reported; the run is the one character asked about.
    *startOffset = offset;
    *endOffset = offset < characterCount() ? offset + 1 : offset;
    return {};
}

} // namespace gui
