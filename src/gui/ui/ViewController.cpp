// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ViewController.h"

#include "engine/ModuleInfo.h"
#include "platform/ImageStore.h"
#include "theme/SettingInfo.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"
#include "ui/DashboardViewController.h"
#include "ui/DetailViewController.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/MoreToolViewController.h"
#include "ui/OverviewViewController.h"
#include "ui/ToolBarViewController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int SidebarWidth = 200;
constexpr int BrandHeight = 72;

} // namespace

ContainerView::ContainerView(const LinkOpener *links, QWidget *parent)
    : QWidget(parent)
    , m_toolBar(new ToolBarViewController(links, this))
    , m_tabView(new SlideStack(this))
{
    setObjectName(u"container"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_tabView, 1);
}

ContainerView::~ContainerView() = default;

void ContainerView::setGradient(const QColor &atBottom, const QColor &atTop)
{
    m_bottom = atBottom;
    m_top = atTop;
    update();
}

void ContainerView::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    if (m_bottom.isValid() && m_top.isValid()) {
        QPainter painter(this);
        paintVerticalGradient(painter, rect(), m_bottom, m_top);
    }
}

ViewController::ViewController(const LinkOpener *links, QWidget *parent)
    : TabViewSwitchController(parent)
    , m_brandTitle(new QLabel(this))
    , m_model(new ModuleListModel(core::ModuleInfo::modules(), this))
    , m_cell(new ModuleCellView(this))
    , m_moduleView(new ModuleListView(this))
    , m_container(new ContainerView(links, this))
{
    setObjectName(u"ViewController"_s);

    // The sidebar: brand, then the module list.
    auto *sidebar = new QWidget(this);
    sidebar->setObjectName(u"sidebar"_s);
    sidebar->setFixedWidth(SidebarWidth);
    auto *brand = new QWidget(sidebar);
    brand->setFixedHeight(BrandHeight);
    auto *logo = new QLabel(brand);
    logo->setPixmap(ImageStore::pixmap(u"spruce"_s, QSize(30, 30)));
    m_brandTitle->setObjectName(u"brandTitle"_s);
    m_brandTitle->setParent(brand);
    auto *brandLayout = new QHBoxLayout(brand);
    brandLayout->setContentsMargins(22, 14, 12, 6);
    brandLayout->setSpacing(10);
    brandLayout->addWidget(logo);
    brandLayout->addWidget(m_brandTitle, 1);
    auto *sideLayout = new QVBoxLayout(sidebar);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(0);
    sideLayout->addWidget(brand);
    sideLayout->addWidget(m_moduleView, 1);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sidebar);
    layout->addWidget(m_container, 1);

    // The four initial screens, in the order of the navigation table.
    SlideStack *tabs = getTabViewController();
    auto *dashboard = new DashboardViewController();
    dashboard->setTabIdentifier(u"dashboard"_s);
    auto *overview = new OverviewViewController();
    overview->setTabIdentifier(u"systemJunkOverview"_s);
    overview->setModuleIndex(1);
    auto *detail = new DetailViewController();
    detail->setTabIdentifier(u"systemJunkDetail"_s);
    detail->setModuleIndex(1);
    auto *moreTool = new MoreToolViewController(links);
    moreTool->setTabIdentifier(u"moreTool"_s);
    for (QWidget *screen : { static_cast<QWidget *>(dashboard),
             static_cast<QWidget *>(overview),
             static_cast<QWidget *>(detail),
             static_cast<QWidget *>(moreTool) }) {
        tabs->addWidget(screen);
    }
    tabs->setCurrentIndex(0);
    resetNavigation();

    // viewDidLoad: the brand title and the module list.
    m_brandTitle->setText(QString::fromStdString(core::SettingInfo::valueOf("product_name")));
    UIUtil::setTextAttribute(m_brandTitle, core::UIInfo::nsMyUI("logo_text_font"));
    m_moduleView->setModel(m_model);
    m_moduleView->setItemDelegate(m_cell);
    connect(m_moduleView, &ModuleListView::rowAsked, this, [this](int row) {
        shouldSelectRow(row);
    });
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, [this] {
        UIUtil::setTextAttribute(m_brandTitle, core::UIInfo::nsMyUI("logo_text_font"));
        drawViewBackground();
        applyModuleListStyle();
    });
    // Whoever switches screens (the dashboard's "Review", "Back"), the list highlights the module on view.
    connect(tabs, &SlideStack::transitionStarted, this, [this](int, int to) {
        followScreen(to);
    });
    if (m_model->rowCount() > 0) {
        m_moduleView->setCurrentIndex(m_model->index(0, 0));
    }
    applyModuleListStyle();
}

ViewController::~ViewController() = default;

SlideStack *ViewController::getTabViewController() const
{
    return m_container->tabView();
}

QString ViewController::screenIdentifier(const core::Module &module)
{
    const QString tab = QString::fromStdString(module.tab);
    if (tab == u"dashboard"_s || tab == u"moreTool"_s || tabEntry(tab)) {
        return tab;
    }
    const QString overview = tab + u"Overview"_s;
    return tabEntry(overview) ? overview : tab;
}

void ViewController::followScreen(int tab)
{
    const auto *screen = qobject_cast<TabViewSwitchController *>(getTabViewController()->widget(tab));
    if (screen == nullptr || !screen->tabIdentifier()) {
        return;
    }
    const QString &identifier = *screen->tabIdentifier();
    const auto &modules = m_model->modules();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const int index = m_model->moduleIndexAt(row);
        if (index < 0) {
            continue;
        }
        const QString stem = QString::fromStdString(modules[static_cast<std::size_t>(index)].tab);
        if (!stem.isEmpty()
            && (identifier == stem || identifier == stem + u"Overview"_s || identifier == stem + u"Detail"_s)) {
            m_moduleView->markRow(row);
            return;
        }
    }
}

bool ViewController::shouldSelectRow(int row)
{
    const auto &modules = m_model->modules();
    if (const int index = m_model->moduleIndexAt(row); index >= 0) {
        switchTabWithTransition(getTabWithIndentifier(screenIdentifier(modules[static_cast<std::size_t>(index)])));
    }
    return true;
}

void ViewController::setWindowWithoutTitle()
{
    // Linux window managers draw the title bar themselves; it keeps the
    // product name, and the window can also be moved by its background.
    window()->setWindowTitle(QString::fromStdString(core::SettingInfo::valueOf("product_name")));
}

void ViewController::drawViewBackground()
{
    m_viewColor = UIUtil::color(core::UIInfo::nsColor("main_view_color"));
    const QColor toolbar = UIUtil::color(core::UIInfo::nsColor("main_toolbar_color"));
    const QColor light = UIUtil::color(core::UIInfo::nsColor("main_container_light_color"));
    const QColor dark = UIUtil::color(core::UIInfo::nsColor("main_container_dark_color"));
    m_container->setGradient(toolbar, light);
    getTabViewController()->setGradient(light, dark);
    update();
}

void ViewController::applyModuleListStyle()
{
    const core::MyUI style = core::UIInfo::nsMyUI("module_name_font");
    m_cell->setTitleStyle(UIUtil::font(style), UIUtil::color(style.color()));
    m_cell->setTableSelectColor(UIUtil::color(core::UIInfo::nsColor("main_module_select_color")));
    // On the dark sidebar the ring takes the module names' colour, and so
    // does a slim scroll bar (the style's own is drawn in the page colours).
    const QColor names = UIUtil::color(style.color());
    const auto rgba = [&names](int alpha) {
        return u"rgba(%1, %2, %3, %4)"_s.arg(names.red()).arg(names.green()).arg(names.blue()).arg(alpha);
    };
    m_moduleView->setStyleSheet(u"QListView { background: transparent; outline: none; }"_s
        + UIUtil::focusRingStyle(u"QListView"_s, names)
        + u" QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 0; }"
          " QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 32px; margin: 0 1px; }"
          " QScrollBar::handle:vertical:hover { background: %2; }"
          " QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; border: none; }"
          " QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"_s.arg(
              rgba(90), rgba(150)));
    m_moduleView->viewport()->update();
}

void ViewController::showEvent(QShowEvent *event)
{
    TabViewSwitchController::showEvent(event);
    if (event->spontaneous()) {
        return; // a window manager restoring the window, not the content appearing anew
    }
    setWindowWithoutTitle();
    drawViewBackground();
    applyModuleListStyle();
}

void ViewController::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    if (m_viewColor.isValid()) {
        QPainter(this).fillRect(rect(), m_viewColor);
    }
}

void ViewController::mousePressEvent(QMouseEvent *event)
{
    // Only presses that no control took reach here: move the window by its background.
    if (event->button() == Qt::LeftButton) {
        if (QWindow *handle = window()->windowHandle(); handle != nullptr && handle->startSystemMove()) {
            event->accept();
            return;
        }
    }
    TabViewSwitchController::mousePressEvent(event);
}

} // namespace gui
