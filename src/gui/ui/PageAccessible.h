// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>
#include <QPointer>
#include <QString>

#include <vector>

namespace gui {

class PageView;

/// One link of a PageView as assistive technologies see it: a "link" with
/// the link's text as its name, the address it leads to as its
/// description, and the actions "Press" (follow it, as Enter would) and
/// "SetFocus" (give it keyboard focus, as Tab would). Owned by the page's
/// PageAccessible. GUI thread.
class PageLinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    PageLinkAccessible(PageView *view, int start, int end, QString href);

    int start() const { return m_start; }
    int end() const { return m_end; }
    const QString &href() const { return m_href; }

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int index) const override;
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *child) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString &text) override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    QPointer<PageView> m_view;
    int m_start;
    int m_end;
    QString m_href;
};

/// A PageView as assistive technologies see it: a document whose text can
/// be read (the text interface) and whose links are its children, in page
/// order, so that each link can be found, named and followed. The link
/// children are made again when the page changes. GUI thread.
class PageAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit PageAccessible(PageView *view);
    ~PageAccessible() override;
    PageAccessible(const PageAccessible &) = delete;
    PageAccessible &operator=(const PageAccessible &) = delete;

    /// Makes Qt use PageAccessible for every PageView; once per process.
    static void install();

    QAccessible::Role role() const override { return QAccessible::Document; }
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    /// The link child that covers the document position `position`; null when none does.
    PageLinkAccessible *linkAt(int position) const;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    using QAccessibleWidget::text;

private:
    PageView *view() const;
    /// The link children of the page as it is now.
    const std::vector<PageLinkAccessible *> &links() const;
    void clearLinks() const;

    mutable std::vector<PageLinkAccessible *> m_links; // owned by QAccessible's cache, registered under m_linkIds
    mutable std::vector<QAccessible::Id> m_linkIds;
    mutable int m_linksRevision = -1; // the document revision m_links were made for
};

} // namespace gui
