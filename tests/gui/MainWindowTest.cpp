// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: look from the theme, the module list, the toolbar and menu links.

#include "ui/MainWindow.h"

#include "GuiTestSupport.h"
#include "platform/UserDefaults.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"
#include "ui/AppDelegate.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/OverviewViewController.h"
#include "ui/ToolBarViewController.h"
#include "ui/ViewController.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using gui::SlideTransition;
using gui::TabViewSwitchController;

namespace {

/// A theme with loud colours, so that each one can be told apart on screen.
constexpr const char *LoudTheme = R"(<dict>
<key>main_view_color</key><dict><key>red</key><integer>200</integer><key>green</key><integer>0</integer><key>blue</key><integer>0</integer></dict>
<key>main_toolbar_color</key><dict><key>red</key><integer>0</integer><key>green</key><integer>0</integer><key>blue</key><integer>200</integer></dict>
<key>main_container_light_color</key><dict><key>red</key><integer>0</integer><key>green</key><integer>200</integer><key>blue</key><integer>0</integer></dict>
<key>main_container_dark_color</key><dict><key>red</key><integer>200</integer><key>green</key><integer>200</integer><key>blue</key><integer>0</integer></dict>
<key>main_module_select_color</key><dict><key>red</key><integer>0</integer><key>green</key><integer>0</integer><key>blue</key><integer>255</integer><key>alpha</key><real>0.5</real></dict>
<key>module_name_font</key><dict><key>name</key><string>System-Medium</string><key>size</key><real>13</real><key>red</key><integer>250</integer><key>green</key><integer>250</integer><key>blue</key><integer>250</integer></dict>
<key>logo_text_font</key><dict><key>name</key><string>System-Bold</string><key>size</key><real>23</real><key>red</key><integer>1</integer><key>green</key><integer>2</integer><key>blue</key><integer>3</integer></dict>
</dict>)";

core::Module moduleWithTab(const char *tab)
{
    core::Module module;
    module.tab = tab;
    return module;
}

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_overrides;
    std::unique_ptr<gui_tests::Environment> m_env;
    gui_tests::RecordingOpener m_opener;
    std::unique_ptr<gui::UserDefaults> m_defaults;
    std::unique_ptr<gui::AppDelegate> m_app;
    std::unique_ptr<gui::MainWindow> m_window;

    gui::ViewController *root() const { return m_window->viewController(); }
    gui::SlideStack *tabs() const { return root()->getTabViewController(); }

    void makeWindow(bool loudTheme)
    {
        std::vector<std::string> dirs;
        if (loudTheme) {
            gui_tests::writePlist(m_overrides.filePath(u"SpruceUI.plist"_s), LoudTheme);
            dirs.push_back(m_overrides.path().toStdString());
        }
        dirs.push_back(gui_tests::sourceResources());
        m_env = std::make_unique<gui_tests::Environment>(dirs);
        m_defaults = std::make_unique<gui::UserDefaults>(m_env->home.filePath(u"defaults.ini"_s));
        m_app = std::make_unique<gui::AppDelegate>(
            gui::AppDelegateOptions{ m_opener.function(), m_defaults.get(), gui::StatusItemMode::Never });
        m_window = std::make_unique<gui::MainWindow>(*m_app);
        tabs()->setAnimationDuration(0);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

private Q_SLOTS:
    void cleanup()
    {
        m_window.reset();
        m_app.reset();
        m_defaults.reset();
        m_env.reset();
        m_opener = gui_tests::RecordingOpener();
    }

    void brandFollowsTheTheme()
    {
        makeWindow(false);
        QCOMPARE(root()->brandTitle()->text(), u"Spruce"_s);
        const core::MyUI logo = core::UIInfo::nsMyUI("logo_text_font");
        QCOMPARE(root()->brandTitle()->font().pixelSize(), qRound(logo.size));
        QCOMPARE(root()->brandTitle()->palette().color(QPalette::WindowText), gui::UIUtil::color(logo.color()));
    }

    void closingTheWindowInFrontOfATrayTellsTheUser()
    {
        // (That it is said once is the delegate's, tested there.)
        makeWindow(false);
        QApplication::setQuitOnLastWindowClosed(false); // as when the status item has a tray
        QVERIFY(m_window->close());
        QApplication::setQuitOnLastWindowClosed(true);
        int notices = 0;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == u"trayNotice"_s && w->isVisible()) {
                ++notices;
                w->close();
            }
        }
        QCOMPARE(notices, 1);
    }

    void moduleListHasOneRowOf100PerModule()
    {
        makeWindow(false);
        gui::ModuleListModel *model = root()->moduleModel();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->rowCount(), 5);
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(root()->moduleView()->visualRect(model->index(row, 0)).height(), 100);
        }
        QCOMPARE(model->index(3, 0).data().toString(), u"Large and Old Files"_s);
        QCOMPARE(model->index(3, 0).data(gui::ModuleListModel::ImageNameRole).toString(), u"LargeAndOldFiles"_s);
        QCOMPARE(model->index(3, 0).data(gui::ModuleListModel::ModuleIndexRole).toInt(), 3);
        // A catalogue with the system module lists it with the cleaning modules, after Application Junk.
        QCOMPARE(gui::ModuleListModel::displayOrder(5), std::vector<int>({ 0, 1, 2, 3, 4 }));
        QCOMPARE(gui::ModuleListModel::displayOrder(6), std::vector<int>({ 0, 1, 2, 5, 3, 4 }));
        QCOMPARE(gui::ModuleListModel::displayOrder(7), std::vector<int>({ 0, 1, 2, 5, 3, 4, 6 }));
        // The dashboard's row is the one selected at start.
        QCOMPARE(root()->moduleView()->currentIndex().row(), 0);
    }

    void selectingARowSwitchesToItsScreen()
    {
        makeWindow(false);
        QSignalSpy started(tabs(), &gui::SlideStack::transitionStarted);
        auto *view = root()->moduleView();
        const QRect row3 = view->visualRect(root()->moduleModel()->index(3, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row3.center());
        QCOMPARE(tabs()->count(), 5);
        QCOMPARE(TabViewSwitchController::vcDict().at(u"largeAndOldFileOverview"_s), 4);
        QCOMPARE(tabs()->currentIndex(), 4);
        QCOMPARE(qobject_cast<TabViewSwitchController *>(tabs()->currentWidget())->moduleIndex(), 3);
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(2).value<SlideTransition>(), SlideTransition::SlideUp);
        QCOMPARE(view->currentIndex().row(), 3);

        // Clicking the selected row again still asks: it brings its screen back after a switch elsewhere.
        root()->switchTabTo(u"largeAndOldFileDetail"_s);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row3.center());
        QCOMPARE(tabs()->currentIndex(), 4);

        // The keyboard moves the selection and the screen with it.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->currentIndex().row(), 4);
        QCOMPARE(tabs()->currentIndex(), 3);
        QTest::mouseClick(
            view->viewport(), Qt::LeftButton, {}, view->visualRect(root()->moduleModel()->index(0, 0)).center());
        QCOMPARE(tabs()->currentIndex(), 0);
    }

    void moduleRowsLeadToTheirScreens()
    {
        QCOMPARE(gui::ViewController::screenIdentifier(moduleWithTab("systemJunk")), u"systemJunkOverview"_s);
        QCOMPARE(gui::ViewController::screenIdentifier(moduleWithTab("largeAndOldFileOverview")),
            u"largeAndOldFileOverview"_s);
        QCOMPARE(gui::ViewController::screenIdentifier(moduleWithTab("dashboard")), u"dashboard"_s);
        QCOMPARE(gui::ViewController::screenIdentifier(moduleWithTab("somethingElse")), u"somethingElse"_s);
    }

    void themeColoursReachTheScreen()
    {
        makeWindow(true);
        QCOMPARE(root()->viewColor(), QColor(200, 0, 0));
        const QImage shot = m_window->grab().toImage();
        auto at = [&](QWidget *w, QPoint p) {
            return shot.pixelColor(w->mapTo(m_window.get(), p) * shot.devicePixelRatio());
        };
        // Sidebar: the root view's colour, below the last module row (inside the
        // module list's focus ring, which runs along its edges).
        QCOMPARE(at(root(), QPoint(12, root()->height() - 10)), QColor(200, 0, 0));
        // Tab view: light at the bottom edge, dark at the top edge (location 0.0 is the bottom).
        const QColor tabTop = at(tabs(), QPoint(tabs()->width() - 3, 1));
        const QColor tabBottom = at(tabs(), QPoint(tabs()->width() - 3, tabs()->height() - 2));
        QVERIFY2(tabTop.red() > 180 && tabTop.green() > 180, qPrintable(tabTop.name()));
        QVERIFY2(tabBottom.red() < 20 && tabBottom.green() > 180, qPrintable(tabBottom.name()));
        // Toolbar strip: the container's gradient runs from the toolbar colour (bottom) to the light colour (top).
        QCOMPARE(root()->container()->gradientBottom(), QColor(0, 0, 200));
        QCOMPARE(root()->container()->gradientTop(), QColor(0, 200, 0));
        const QColor strip = at(root()->container(), QPoint(root()->container()->width() / 3, 1));
        QVERIFY2(strip.green() > 180 && strip.blue() < 30, qPrintable(strip.name()));
        // The module titles use the theme entry.
        QCOMPARE(root()->moduleCell()->titleColor(), QColor(250, 250, 250));
        QCOMPARE(root()->moduleCell()->titleFont().pixelSize(), 13);
    }

    void selectedRowIsFilledAndOthersAreClear()
    {
        makeWindow(true);
        gui::ModuleCellView *cell = root()->moduleCell();
        QCOMPARE(cell->tableSelectColor(), QColor::fromRgbF(0, 0, 1, 0.5f));
        QCOMPARE(cell->rowFill(false), QColor(Qt::transparent));

        // Paint one selected and one plain row over black and look at a corner pixel.
        QImage canvas(200, 200, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        QStyleOptionViewItem option;
        option.initFrom(root()->moduleView());
        option.rect = QRect(0, 0, 200, 100);
        option.state |= QStyle::State_Selected;
        cell->paint(&painter, option, root()->moduleModel()->index(1, 0));
        option.rect = QRect(0, 100, 200, 100);
        option.state &= ~QStyle::State_Selected;
        cell->paint(&painter, option, root()->moduleModel()->index(2, 0));
        painter.end();
        QCOMPARE(canvas.pixelColor(2, 2), QColor(0, 0, 128));
        QCOMPARE(canvas.pixelColor(2, 102), QColor(Qt::black));
    }

    void toolbarAndMenuOpenTheirLinks()
    {
        makeWindow(false);
        const std::vector<std::pair<QString, QString>> menu = {
            { u"supportAction"_s, u"help/support.html"_s },
            { u"homeAction"_s, u"help/about.html"_s },
            { u"productAction"_s, u"help/features.html"_s },
            { u"helpAction"_s, u"help/index.html"_s },
            { u"feedbackAction"_s, u"help/feedback.html"_s },
            { u"fackbookAction"_s, u"help/community.html"_s },
        };
        for (const auto &[name, page] : menu) {
            auto *action = m_window->menuBar()->findChild<QAction *>(name);
            QVERIFY2(action != nullptr, qPrintable(name));
            m_opener.opened->clear();
            action->trigger();
            QCOMPARE(m_opener.opened->size(), 1U);
            const QUrl url = m_opener.opened->front();
            QVERIFY(url.isLocalFile());
            QVERIFY2(url.toLocalFile().endsWith(u"/resources/"_s + page), qPrintable(url.toString()));
        }
        QCOMPARE(m_env->stdoutLines(), std::vector<std::string>(menu.size(), "successfully opened"));
        // "Check for Updates…" opens nothing by itself: it says which version this is and where releases are.
        m_opener.opened->clear();
        m_window->menuBar()->findChild<QAction *>(u"checkForUpdateAction"_s)->trigger();
        QVERIFY(m_opener.opened->empty());
        auto *updates = qobject_cast<QWidget *>(QApplication::activeModalWidget());
        QVERIFY(updates == nullptr); // never modal
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == u"updatesNotice"_s) {
                QVERIFY(w->isVisible());
                w->close();
            }
        }

        // The toolbar's two buttons open the same pages as the menu's help and social items.
        auto *toolBar = root()->container()->toolBar();
        m_opener.opened->clear();
        QTest::mouseClick(toolBar->helpBTN(), Qt::LeftButton);
        QTest::mouseClick(toolBar->facebookBTN(), Qt::LeftButton);
        QCOMPARE(m_opener.opened->size(), 2U);
        QVERIFY(m_opener.opened->at(0).toLocalFile().endsWith(u"help/index.html"_s));
        QVERIFY(m_opener.opened->at(1).toLocalFile().endsWith(u"help/community.html"_s));
    }
};

} // namespace

SPRUCE_GUI_TEST(MainWindowTest)
#include "MainWindowTest.moc"
