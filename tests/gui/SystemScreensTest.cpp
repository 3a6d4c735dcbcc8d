// SPDX-License-Identifier: GPL-3.0-or-later
// The System module's screens: found in the module list after Application
// Junk, scanned from its overview on a planted system root, what could not
// be measured shown with its category, and a clean going through spruce-admin.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "platform/LinkOpener.h"
#include "support/SystemRoot.h"
#include "ui/CategoryDD.h"
#include "ui/CleanReport.h"
#include "ui/DetailViewController.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

constexpr int Packages = 0;
constexpr int Snaps = 1;

core::Category systemCategory(const std::string &title, const std::string &type)
{
    core::Category category;
    category.title = title;
    category.image = "category_packages";
    category.description = "About " + title;
    category.type = type;
    category.kind = core::categoryKindOf(type);
    return category;
}

class SystemScreensTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::ReviewEnvironment> m_env;
    std::unique_ptr<testing_support::TempDir> m_tmp;
    std::unique_ptr<testing_support::SystemRoot> m_system;
    std::unique_ptr<core::platform::ScopedServices> m_services;
    std::unique_ptr<gui::LinkOpener> m_links;
    std::unique_ptr<gui::ViewController> m_root;

    gui::SlideStack *tabs() const { return m_root->getTabViewController(); }
    template<typename Screen> Screen *screen(const QString &identifier) const
    {
        return qobject_cast<Screen *>(tabs()->widget(gui::TabViewSwitchController::vcDict().at(identifier)));
    }

    /// Scans the system module from its overview; true once the scan is shown.
    bool scanned()
    {
        m_root->switchTabTo(u"systemOverview"_s);
        auto *overview = screen<gui::OverviewViewController>(u"systemOverview"_s);
        overview->scan();
        return gui_tests::waitFor([overview] {
            return overview->scanStatus() == 1;
        });
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<gui_tests::ReviewEnvironment>();
        m_tmp = std::make_unique<testing_support::TempDir>();
        m_system = std::make_unique<testing_support::SystemRoot>(*m_tmp);
        m_system->file("var/cache/apt/archives/bash_5.2.15-2_amd64.deb", 1000);
        m_system->file("var/cache/apt/archives/zsh_5.9-4_amd64.deb", 700);
        m_system->file("elsewhere/keep.deb", 10);
        m_system->link("var/cache/apt/archives/link.deb", m_system->at("elsewhere/keep.deb"));
        m_system->fakeTool("snap", "error: cannot communicate with server\n", 1);

        core::platform::Services services = core::platform::services();
        services.sysRoot = m_system->root() + "/";
        services.toolPath = { m_system->tools() };
        services.adminHelper = SPRUCE_ADMIN;
        m_services = std::make_unique<core::platform::ScopedServices>(std::move(services));

        std::vector<core::Module> modules = core::ModuleInfo::modules();
        core::Module system;
        system.title = "System";
        system.image = "System";
        system.tab = "system";
        system.description = "Junk outside the home";
        system.features = { { "feature_packages", "Frees the package cache" } };
        system.categories = { systemCategory("Package Cache", "AptCache"),
            systemCategory("Disabled Snap Revisions", "SnapRevisions") };
        modules.push_back(std::move(system));
        core::ModuleInfo::setModulesForTesting(std::move(modules));

        m_links = std::make_unique<gui::LinkOpener>(gui_tests::RecordingOpener().function());
        m_root = std::make_unique<gui::ViewController>(m_links.get());
        tabs()->setAnimationDuration(0);
        m_root->resize(1000, 680);
        m_root->show();
    }
    void cleanup()
    {
        QVERIFY(gui_tests::waitUntilIdle(core::ModuleInfo::SystemModule));
        m_root.reset();
        m_services.reset();
        m_system.reset();
        m_tmp.reset();
        m_env.reset();
    }

    void theModuleListShowsSystemAfterApplicationJunk()
    {
        gui::ModuleListModel *model = m_root->moduleModel();
        QCOMPARE(model->index(3, 0).data().toString(), u"System"_s);
        QCOMPARE(model->index(3, 0).data(gui::ModuleListModel::ModuleIndexRole).toInt(), 5);
        // Keyboard order is the visual order: Down from Application Junk reaches System.
        QVERIFY(QTest::qWaitForWindowExposed(m_root.get()));
        m_root->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_root.get()));
        m_root->moduleView()->setCurrentIndex(model->index(2, 0));
        m_root->moduleView()->setFocus();
        QVERIFY(m_root->moduleView()->hasFocus());
        QTest::keyClick(m_root->moduleView(), Qt::Key_Down);
        QCOMPARE(m_root->moduleView()->currentIndex().row(), 3);
        QVERIFY(gui_tests::waitFor([this] {
            return gui::TabViewSwitchController::vcDict().contains(u"systemOverview"_s)
                && tabs()->currentIndex() == gui::TabViewSwitchController::vcDict().at(u"systemOverview"_s);
        }));
        QCOMPARE(screen<gui::OverviewViewController>(u"systemOverview"_s)->moduleIndex(), 5);
    }

    void aScanShowsWhatCouldNotBeMeasuredAndTheCleanGoesThroughTheHelper()
    {
        QVERIFY(scanned());
        auto *detail = screen<gui::DetailViewController>(u"systemDetail"_s);
        QCOMPARE(tabs()->currentWidget(), detail);
        gui::CategoryDD *categories = detail->categoryDD();
        QCOMPARE(categories->rowCount(), 2);
        QCOMPARE(categories->index(Packages, 0).data(gui::CategoryDD::SizeRole).toLongLong(), 1700);
        QCOMPARE(
            categories->index(Packages, 0).data(gui::CategoryDD::DescriptionRole).toString(), u"About Package Cache"_s);
        const QString snapNote = u"snap list --all failed: error: cannot communicate with server"_s;
        QCOMPARE(categories->index(Snaps, 0).data(gui::CategoryDD::DescriptionRole).toString(),
            u"Not all measured: "_s + snapNote);
        QVERIFY(categories->index(Snaps, 0).data(Qt::ToolTipRole).toString().contains(snapNote));
        QVERIFY(categories->index(Snaps, 0).data(Qt::AccessibleDescriptionRole).toString().contains(snapNote));
        // Where the files would be, the empty category says what it could not look at.
        detail->categoryView()->setCurrentIndex(categories->index(Snaps, 0));
        QVERIFY(detail->noMatchLabel()->isVisible());
        QCOMPARE(detail->noMatchLabel()->text(), u"Not measured:\n"_s + snapNote);
        QCOMPARE(detail->detailView()->accessibleDescription(), detail->noMatchLabel()->text());
        detail->categoryView()->setCurrentIndex(categories->index(Packages, 0));
        QVERIFY(detail->noMatchLabel()->isHidden());

        // The clean goes through the helper and counts what went.
        detail->setConfirmer([](QWidget *, const gui::DetailViewController::CleanQuestion &) {
            return true;
        });
        detail->categoryDD()->setData(detail->categoryDD()->index(Packages, 0), Qt::Checked, Qt::CheckStateRole);
        detail->cleanButton()->click();
        QVERIFY(gui_tests::waitUntilIdle(core::ModuleInfo::SystemModule));
        QCOMPARE(detail->cleanSize(), 1700);
        QCOMPARE(detail->progressLabel()->text(), u"1.7 kB Free Up"_s);
        QVERIFY(!testing_support::exists(m_system->at("var/cache/apt/archives/bash_5.2.15-2_amd64.deb")));
        QVERIFY(!testing_support::exists(m_system->at("var/cache/apt/archives/zsh_5.9-4_amd64.deb")));
        QVERIFY(testing_support::exists(m_system->at("var/cache/apt/archives/link.deb")));
        QVERIFY(testing_support::exists(m_system->at("elsewhere/keep.deb")));
        QCOMPARE(detail->cleanReport()->rowCount(), 0);
        QCOMPARE(detail->categoryDD()->index(Packages, 0).data(gui::CategoryDD::SizeRole).toLongLong(), 0);
    }
};

} // namespace

SPRUCE_GUI_TEST(SystemScreensTest)
#include "SystemScreensTest.moc"
