// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TabViewSwitchController.h"

#include "platform/Services.h"
#include "ui/DetailViewController.h"
#include "ui/OverviewViewController.h"

using namespace Qt::StringLiterals;

namespace gui {

namespace {

const QString Dashboard = u"dashboard"_s;

std::map<QString, int> initialTable()
{
    return {
        { u"dashboard"_s, 0 }, { u"systemJunkOverview"_s, 1 }, { u"systemJunkDetail"_s, 2 }, { u"moreTool"_s, 3 }
    };
}

/// The identifier used to choose a slide: a screen's own, or "dashboard"
/// for anything that is not a screen or carries none.
QString slideIdentifier(QWidget *child)
{
    const auto *screen = qobject_cast<TabViewSwitchController *>(child);
    return screen != nullptr && screen->tabIdentifier() ? *screen->tabIdentifier() : Dashboard;
}

} // namespace

int TabViewSwitchController::s_tabIndex = 0;
int TabViewSwitchController::s_previousTabIndex = -1;
std::map<QString, int> TabViewSwitchController::s_vcDict = initialTable();

TabViewSwitchController::TabViewSwitchController(QWidget *parent)
    : QWidget(parent)
{
}

TabViewSwitchController::~TabViewSwitchController() = default;

void TabViewSwitchController::resetNavigation()
{
    s_tabIndex = 0;
    s_previousTabIndex = -1;
    s_vcDict = initialTable();
}

std::optional<TabViewSwitchController::TabEntry> TabViewSwitchController::tabEntry(const QString &identifier)
{
    static const std::map<QString, TabEntry> table = {
        { u"systemJunkOverview"_s, { u"overview"_s, 1 } },
        { u"systemJunkDetail"_s, { u"detail"_s, 1 } },
        { u"applicationJunkOverview"_s, { u"overview"_s, 2 } },
        { u"applicationJunkDetail"_s, { u"detail"_s, 2 } },
        { u"largeAndOldFileOverview"_s, { u"overview"_s, 3 } },
        { u"largeAndOldFileDetail"_s, { u"detail"_s, 3 } },
        { u"systemOverview"_s, { u"overview"_s, 5 } },
        { u"systemDetail"_s, { u"detail"_s, 5 } },
    };
    const auto found = table.find(identifier);
    return found == table.end() ? std::nullopt : std::optional(found->second);
}

SlideTransition TabViewSwitchController::transitionFor(const QString &fromIdentifier, const QString &toIdentifier)
{
    if (toIdentifier.contains(u"Detail"_s)) {
        return SlideTransition::SlideLeft;
    }
    if (toIdentifier.contains(u"Overview"_s) && fromIdentifier.contains(u"Detail"_s)) {
        return SlideTransition::SlideRight;
    }
    return SlideTransition::SlideUp;
}

QString TabViewSwitchController::twinOf(const QString &identifier)
{
    QString twin = identifier;
    if (twin.contains(u"Overview"_s)) {
        return twin.replace(u"Overview"_s, u"Detail"_s);
    }
    return twin.replace(u"Detail"_s, u"Overview"_s);
}

SlideStack *TabViewSwitchController::getTabViewController() const
{
    return qobject_cast<SlideStack *>(parentWidget());
}

QString TabViewSwitchController::getTwinTabIdentifier() const
{
    return twinOf(m_tabIdentifier.value_or(QString()));
}

void TabViewSwitchController::switchToTwinTab()
{
    switchTabWithTransition(getTabWithIndentifier(getTwinTabIdentifier()));
}

void TabViewSwitchController::reloadTwinTabData()
{
    const auto found = s_vcDict.find(getTwinTabIdentifier());
    SlideStack *tabs = getTabViewController();
    if (found == s_vcDict.end() || tabs == nullptr) {
        return;
    }
    if (auto *twin = qobject_cast<TabViewSwitchController *>(tabs->widget(found->second))) {
        twin->reloadData();
    }
}

void TabViewSwitchController::reloadAllTabData()
{
    SlideStack *tabs = getTabViewController();
    if (tabs == nullptr) {
        return;
    }
    // Copy: a reload may create screens, which would change the table under the loop.
    const auto entries = s_vcDict;
    for (const auto &[identifier, index] : entries) {
        if (index > 0 && identifier.contains(u"Detail"_s)) {
            if (auto *screen = qobject_cast<TabViewSwitchController *>(tabs->widget(index))) {
                screen->reloadData();
            }
        }
    }
}

void TabViewSwitchController::reloadTabWhenScanDone(const QString &identifier)
{
    getTabWithIndentifier(identifier);
}

void TabViewSwitchController::reloadData()
{
    if (auto *log = core::platform::services().log) {
        log->standardOutput("You have to implement reloadData method in sub class");
    }
}

void TabViewSwitchController::switchTabTo(const QString &identifier)
{
    switchTabWithTransition(getTabWithIndentifier(identifier));
}

int TabViewSwitchController::createAndAppendTabViewController(
    const QString &identifier, const QString &type, int moduleIndex)
{
    SlideStack *tabs = getTabViewController();
    if (tabs == nullptr) {
        return 0;
    }
    if (const auto found = s_vcDict.find(identifier); found != s_vcDict.end()) {
        if (auto *screen = qobject_cast<TabViewSwitchController *>(tabs->widget(found->second))) {
            screen->setModuleIndex(moduleIndex);
            screen->setTabIdentifier(identifier);
        }
        return found->second;
    }
    TabViewSwitchController *screen = nullptr;
    if (type == u"overview"_s) {
        screen = new OverviewViewController();
    } else if (type == u"detail"_s) {
        screen = new DetailViewController();
    } else {
        return 0;
    }
    screen->setModuleIndex(moduleIndex);
    screen->setTabIdentifier(identifier);
    tabs->addWidget(screen);
    const int index = tabs->count() - 1;
    s_vcDict[identifier] = index;
    return index;
}

int TabViewSwitchController::getTabWithIndentifier(const QString &identifier)
{
    if (identifier == u"moreTool"_s) {
        return 3;
    }
    if (const auto entry = tabEntry(identifier)) {
        return createAndAppendTabViewController(identifier, entry->type, entry->moduleIndex);
    }
    return 0;
}

void TabViewSwitchController::switchTabWithTransition(int toT)
{
    SlideStack *tabs = getTabViewController();
    if (tabs == nullptr || toT < 0 || toT >= tabs->count()) {
        return;
    }
    const int from = s_tabIndex >= 0 && s_tabIndex < tabs->count() ? s_tabIndex : tabs->currentIndex();
    const SlideTransition option =
        transitionFor(slideIdentifier(tabs->widget(from)), slideIdentifier(tabs->widget(toT)));
    s_previousTabIndex = from;
    tabs->transition(from, toT, option);
    s_tabIndex = toT;
}

void TabViewSwitchController::loadViewIfNeeded()
{
    if (m_viewLoaded) {
        return;
    }
    m_viewLoaded = true;
    viewDidLoad();
}

void TabViewSwitchController::setVisible(bool visible)
{
    // Before QWidget shows its children, so that everything viewDidLoad makes is shown with it.
    if (visible) {
        loadViewIfNeeded();
    }
    QWidget::setVisible(visible);
}

} // namespace gui
