// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Catalogue.h"
#include "ui/TabViewSwitchController.h"

#include <QColor>

#include <vector>

class QLabel;

namespace gui {

class LinkOpener;
class ModuleCellView;
class ModuleListModel;
class ModuleListView;
class ToolBarViewController;

/// The container beside the module list: the toolbar over the tab
/// container, on a vertical gradient from "main_toolbar_color" (bottom) to
/// "main_container_light_color" (top). GUI thread.
class ContainerView : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContainerView)

public:
    ContainerView(const LinkOpener *links, QWidget *parent = nullptr);
    ~ContainerView() override;

    SlideStack *tabView() const { return m_tabView; }
    ToolBarViewController *toolBar() const { return m_toolBar; }

    void setGradient(const QColor &atBottom, const QColor &atTop);
    QColor gradientBottom() const { return m_bottom; }
    QColor gradientTop() const { return m_top; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ToolBarViewController *m_toolBar; // owned (child)
    SlideStack *m_tabView; // owned (child)
    QColor m_bottom;
    QColor m_top;
};

/// The main window's root controller: the brand title and the module list
/// on the left, the container with the toolbar and the screens on the
/// right. Selecting a module switches to its screen.
///
/// At construction it builds the four initial screens in the order the
/// navigation table expects (dashboard, system junk overview and detail,
/// more tools) and starts the class-wide navigation state afresh. The theme
/// is applied each time the window is about to be shown (showEvent). GUI thread.
class ViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ViewController)

public:
    /// `links` opens the toolbar's links; not owned, must outlive the controller.
    explicit ViewController(const LinkOpener *links, QWidget *parent = nullptr);
    ~ViewController() override;

    /// The first child of the first child: the tab container inside the container.
    SlideStack *getTabViewController() const override;

    /// Switches to the screen of module row `row` (creating it on first
    /// use) and allows the selection: always true.
    bool shouldSelectRow(int row);
    /// Highlights in the module list the module whose screen is tab `tab`
    /// (its overview or detail), without switching anything.
    void followScreen(int tab);

    /// The screen identifier a module row leads to: the module's tab when
    /// it names a screen itself ("dashboard", "moreTool", or a full
    /// overview/detail identifier), otherwise its overview ("systemJunk" ->
    /// "systemJunkOverview"). Pure.
    static QString screenIdentifier(const core::Module &module);

    /// Window look: the product name as title, the background draggable.
    void setWindowWithoutTitle();
    /// Reads the background colours from the theme and repaints.
    void drawViewBackground();

    QLabel *brandTitle() const { return m_brandTitle; }
    ModuleListView *moduleView() const { return m_moduleView; }
    ModuleListModel *moduleModel() const { return m_model; }
    ModuleCellView *moduleCell() const { return m_cell; }
    ContainerView *container() const { return m_container; }
    QColor viewColor() const { return m_viewColor; }

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void applyModuleListStyle();

    QLabel *m_brandTitle; // owned (child)
    ModuleListModel *m_model; // owned (child)
    ModuleCellView *m_cell; // owned (child)
    ModuleListView *m_moduleView; // owned (child)
    ContainerView *m_container; // owned (child)
    QColor m_viewColor;
};

} // namespace gui
