// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/SlideStack.h"

#include <QString>
#include <QWidget>

#include <map>
#include <optional>

namespace gui {

/// Base class of every screen of the main window, and of the window's own
/// root controller: finds or creates the screen of a tab identifier,
/// switches the visible screen with a slide, and tells screens to reload.
///
/// Tab identifiers and what they stand for:
///   "dashboard"                                  child 0, always
///   "systemJunkOverview" / "systemJunkDetail"    module 1 (initially children 1 and 2)
///   "applicationJunkOverview" / "...Detail"      module 2 (appended on first use)
///   "largeAndOldFileOverview" / "...Detail"      module 3 (appended on first use)
///   "systemOverview" / "systemDetail"            module 5 (appended on first use)
///   "moreTool"                                   child 3, always
///   any other text                               child 0
/// Identifiers compare exactly and case-sensitively; an overview's twin is
/// the same text with "Overview" replaced by "Detail", and the reverse.
///
/// The screen shown now (`tabIndex`) and the identifier-to-child table
/// (`vcDict`) are shared by the whole class: the application has one main
/// window. Children of the tab container are only ever appended, so a
/// stored index stays valid for the life of the window.
///
/// A screen builds its content the first time it is shown (viewDidLoad),
/// like a lazily loaded view; loadViewIfNeeded() forces it. GUI thread only.
class TabViewSwitchController : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TabViewSwitchController)

public:
    explicit TabViewSwitchController(QWidget *parent = nullptr);
    ~TabViewSwitchController() override;

    const std::optional<QString> &tabIdentifier() const { return m_tabIdentifier; }
    void setTabIdentifier(std::optional<QString> identifier) { m_tabIdentifier = std::move(identifier); }
    int moduleIndex() const { return m_moduleIndex; }
    void setModuleIndex(int index) { m_moduleIndex = index; }

    /// Switches to the twin of this screen (overview <-> detail).
    void switchToTwinTab();
    /// The twin of this screen's identifier; an identifier without
    /// "Overview" or "Detail" (or none) comes back unchanged.
    QString getTwinTabIdentifier() const;
    /// Reloads the twin screen if it exists already; creates nothing.
    void reloadTwinTabData();
    /// Reloads every existing detail screen (identifiers containing "Detail").
    void reloadAllTabData();
    /// Makes sure the screen of `identifier` exists, without showing it.
    void reloadTabWhenScanDone(const QString &identifier);
    /// Refreshes the screen from the catalogue. The base class only writes
    /// "You have to implement reloadData method in sub class" to standard output.
    virtual void reloadData();
    void setModule(int index) { setModuleIndex(index); }
    /// switchTabWithTransition(getTabWithIndentifier(identifier)).
    void switchTabTo(const QString &identifier);
    /// Finds the screen of `identifier` in `vcDict` (re-stamping its module
    /// index and identifier) or creates one of `type` ("overview" or
    /// "detail") and appends it to the tab container; returns its child
    /// index. The new screen is not shown. An unknown type, or no tab
    /// container, creates nothing and returns 0 (the dashboard).
    int createAndAppendTabViewController(const QString &identifier, const QString &type, int moduleIndex);
    /// The child index of `identifier` (see the table above), creating an
    /// overview or detail screen on first use.
    int getTabWithIndentifier(const QString &identifier); // NOLINT(readability-identifier-naming)
    /// Shows child `toT` with the slide chosen by transitionFor() from the
    /// identifiers of the screen shown now and of the new one, then records
    /// `toT` as `tabIndex`. An index outside the container does nothing.
    void switchTabWithTransition(int toT);
    /// The tab container: for a screen, its parent.
    virtual SlideStack *getTabViewController() const;

    /// Builds the screen's content now if that has not happened yet.
    void loadViewIfNeeded();
    bool isViewLoaded() const { return m_viewLoaded; }

    /// The child shown now, shared by the whole class.
    static int tabIndex() { return s_tabIndex; }
    /// The tab the last switch came from (-1 before the first).
    static int previousTabIndex() { return s_previousTabIndex; }
    /// Which child holds which identifier, shared by the whole class.
    static const std::map<QString, int> &vcDict() { return s_vcDict; }
    /// Back to the start of a main window: child 0 shown, the four initial entries.
    static void resetNavigation();

    /// What an identifier of the table stands for: the screen type
    /// ("overview" or "detail") and the module index. nullopt for
    /// "dashboard", "moreTool" and any other text. Pure.
    struct TabEntry
    {
        QString type;
        int moduleIndex = 0;
    };
    static std::optional<TabEntry> tabEntry(const QString &identifier);

    /// The slide for a switch between two identifiers: to a detail screen
    /// slides left; to an overview from a detail slides right; anything
    /// else slides up. Case-sensitive substring tests. Pure.
    static SlideTransition transitionFor(const QString &fromIdentifier, const QString &toIdentifier);

    /// The twin of an identifier (every "Overview" replaced by "Detail" if
    /// it holds "Overview", otherwise every "Detail" by "Overview"). Pure.
    static QString twinOf(const QString &identifier);

protected:
    /// Builds the content (called once, before the first show).
    virtual void viewDidLoad() { }

public:
    /// Loads the view before the screen first becomes visible.
    void setVisible(bool visible) override;

private:
    std::optional<QString> m_tabIdentifier;
    int m_moduleIndex = 0;
    bool m_viewLoaded = false;

    static int s_tabIndex;
    static int s_previousTabIndex;
    static std::map<QString, int> s_vcDict;
};

} // namespace gui
