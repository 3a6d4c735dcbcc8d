// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTextBrowser>
#include <QUrl>

namespace gui {

/// How a navigation was asked for: following a link in place, or asking
/// for it in a new window (a middle click on the link).
enum class NavigationKind {
    Link,
    NewWindow,
};

/// A light viewer for the HTML pages Spruce ships: a QTextBrowser that
/// reads local files only (no scripts, no network, no web engine).
///
/// The view never follows a link by itself: activating one (click, or
/// Enter on the link that has keyboard focus) emits navigationRequested
/// with the link resolved against the page, and a middle click emits it
/// as a new-window request. The owner decides what happens.
///
/// load() reports like a web view: loadStarted at once, then loadFinished
/// when the event loop next runs, after the file has been read. A URL that
/// is not a local file, a file that cannot be read and a file larger than
/// MaxPageSize fail, with errorString() saying why. GUI thread.
class PageView : public QTextBrowser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageView)

public:
    static constexpr qint64 MaxPageSize = 4 * 1024 * 1024;

    explicit PageView(QWidget *parent = nullptr);
    ~PageView() override;

    /// Starts loading `url`; a load still pending is replaced.
    void load(const QUrl &url);
    /// The address of the page shown or being loaded (invalid before the first load).
    const QUrl &url() const { return m_url; }
    /// Why the last load failed; empty after a success.
    const QString &errorString() const { return m_error; }
    bool isLoading() const { return m_loading; }

    /// The link that has keyboard focus, resolved against the page; invalid when none has.
    QUrl focusedLink() const;
    /// Gives keyboard focus to the link between two document positions, as Tab does.
    void focusLink(int start, int end);
    /// Follows a link of the page, as Enter on it does (navigationRequested).
    void followLink(const QString &href);
    /// Changes whenever a new page is shown.
    int contentVersion() const { return m_contentVersion; }

Q_SIGNALS:
    void loadStarted();
    void loadFinished(bool ok);
    void navigationRequested(const QUrl &url, gui::NavigationKind kind);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    /// Images and style sheets the page names: regular local files up to MaxPageSize only.
    QVariant loadResource(int type, const QUrl &name) override;
    /// Tab and Shift+Tab move between the links; tells assistive technologies which one has focus.
    bool focusNextPrevChild(bool next) override;

private:
    void finishLoad(quint64 generation);
    void announceFocusedLink();

    QUrl m_url;
    QString m_error;
    bool m_loading = false;
    quint64 m_generation = 0; // counts load() calls, so that a replaced load finishes nothing
    int m_contentVersion = 0;
};

} // namespace gui
