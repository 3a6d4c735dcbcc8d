// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard: the machine's name, the scan of all modules, the review buttons.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "format/FileUrl.h"
#include "format/Plist.h"
#include "platform/LinkOpener.h"
#include "support/ManualDispatcher.h"
#include "ui/DashboardViewController.h"
#include "ui/DetailViewController.h"
#include "ui/FoundSummary.h"
#include "ui/MachineDescription.h"
#include "ui/ModuleActivity.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <ctime>
#include <sys/stat.h>
#include <utime.h>

using namespace Qt::StringLiterals;
using gui::DashboardViewController;
using gui::ModelTexts;

namespace {

/// Writes `size` bytes at `path` (parents made), optionally dated `age` seconds ago.
void makeFile(const QString &path, qint64 size, std::time_t age = 0)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.resize(size));
    file.close();
    if (age > 0) {
        const std::time_t when = std::time(nullptr) - age;
        const utimbuf times{ when, when };
        QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
    }
}

core::Category folderCategory(const QString &folder)
{
    core::Category category;
    category.title = folder.toStdString();
    category.url.url = core::format::fileUrlFromPath(folder.toStdString(), true);
    category.url.type = "Folder";
    return category;
}

bool shownIn(const QWidget *widget, const QWidget *screen)
{
    return widget->isVisibleTo(screen);
}

class DashboardTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::Environment> m_env;

    /// A dashboard with its view built.
    static std::unique_ptr<DashboardViewController> loadedDashboard()
    {
        auto dashboard = std::make_unique<DashboardViewController>();
        dashboard->loadViewIfNeeded();
        return dashboard;
    }

    /// Files for the three scanned modules in the home: 2 000 bytes of junk in
    /// two folders, 3 000 of an application's, and a 2 000-byte old archive.
    void installScannedHome() const
    {
        const QDir home(m_env->home.path());
        makeFile(home.filePath(u"junk/a.log"_s), 1200);
        makeFile(home.filePath(u"junk/deep/b.log"_s), 800);
        makeFile(home.filePath(u"apps/cache.bin"_s), 3000);
        makeFile(home.filePath(u"old/archive.iso"_s), 2000, 400LL * 24 * 3600); // an old file for module 3
        auto modules = gui_tests::Environment::fiveModules();
        modules[1].categories = { folderCategory(home.filePath(u"junk"_s)) };
        modules[2].categories = { folderCategory(home.filePath(u"apps"_s)) };
        modules[3].categories.resize(4);
        core::ModuleInfo::setModulesForTesting(modules);
    }

private Q_SLOTS:
    void init() { m_env = std::make_unique<gui_tests::Environment>(); }
    void cleanup() { m_env.reset(); }

    void pathLabelKeepsFortyUnits()
    {
        const QString forty(40, u'a');
        QCOMPARE(DashboardViewController::shortenedPath(forty), forty);
        const QString shown = DashboardViewController::shortenedPath(forty + u'b');
        QCOMPARE(shown, forty + u"..."_s);
        QCOMPARE(shown.size(), 43);
        QCOMPARE(DashboardViewController::shortenedPath(QString()), QString());
        // An emoji is two UTF-16 units: it is not split in half.
        const QString emoji = QString(39, u'a') + QString::fromUtf8("\xF0\x9F\x98\x80") + u'z';
        QCOMPARE(DashboardViewController::shortenedPath(emoji), QString(39, u'a') + u"..."_s);
    }

    void scanAllThenRescanStartsOverFromAClickOrTheKeyboard()
    {
        testing_support::ManualDispatcher dispatcher;
        gui_tests::ScopedSysRoot services("/", &dispatcher);
        installScannedHome();
        auto dashboard = loadedDashboard();
        dashboard->show();
        QVERIFY(QTest::qWaitForWindowActive(dashboard.get()));
        for (int round = 0; round < 2; ++round) {
            if (round == 0) {
                dashboard->scanBTN()->click();
            } else {
                dashboard->scanBTN()->setFocus();
                QTest::keyClick(dashboard->scanBTN(), Qt::Key_Return);
            }
            QCOMPARE(dashboard->scanBTN()->text(), u"Scanning"_s);
            QVERIFY(!dashboard->scanBTN()->isEnabled());
            QCOMPARE(dashboard->totalScanSize(), 0);
            QCOMPARE(dashboard->doneModuleNumber(), 0);
            for (const QWidget *widget : { static_cast<QWidget *>(dashboard->junkImage()),
                     static_cast<QWidget *>(dashboard->unnessaryReview()),
                     static_cast<QWidget *>(dashboard->largeFileImage()) }) {
                QVERIFY(!shownIn(widget, dashboard.get()));
            }
            dispatcher.runAllQueues();
            QCOMPARE(dashboard->doneModuleNumber(), 3);
            QCOMPARE(dashboard->scanBTN()->text(), u"Re-Scan"_s);
            QVERIFY(dashboard->scanBTN()->isEnabled());
            // The total is what the three modules found, counted once.
            std::int64_t found = 0;
            for (int mi = 1; mi <= 3; ++mi) {
                for (const auto &category : core::ModuleInfo::modules()[static_cast<std::size_t>(mi)].categories) {
                    found += category.size;
                }
            }
            QCOMPARE(found, 1200 + 800 + 3000 + 2000);
            QCOMPARE(dashboard->totalScanSize(), found);
            QCOMPARE(dashboard->pathLabel()->text(),
                u"Scanning Completed! 7.0 kB File Found: 5.0 kB of junk, 2.0 kB of your own large and old files"_s);
            QVERIFY(shownIn(dashboard->largeFileRiview(), dashboard.get()));
            // Each Review button says how much there is to review.
            QCOMPARE(dashboard->junkReview()->text(), u"Review 2.0 kB"_s);
            QCOMPARE(dashboard->unnessaryReview()->text(), u"Review 3.0 kB"_s);
            QCOMPARE(dashboard->largeFileRiview()->accessibleName(), u"Review Large and Old Files, 2.0 kB"_s);
            // The focus lands on the first Review button; Return presses it too.
            QVERIFY(dashboard->junkReview()->hasFocus());
        }
        QVERIFY(dashboard->junkReview()->autoDefault());
        QVERIFY(dashboard->largeFileRiview()->autoDefault());
    }

    void itsScansGoThroughTheBusyGuard()
    {
        testing_support::ManualDispatcher dispatcher;
        gui_tests::ScopedSysRoot services("/", &dispatcher);
        installScannedHome();
        gui::LinkOpener links(gui_tests::RecordingOpener().function());
        gui::ViewController root(&links);
        auto *dashboard = qobject_cast<DashboardViewController *>(root.getTabViewController()->widget(0));
        dashboard->loadViewIfNeeded();
        auto *overview = qobject_cast<gui::OverviewViewController *>(
            root.getTabViewController()->widget(root.getTabWithIndentifier(u"systemJunkOverview"_s)));
        auto *detail = qobject_cast<gui::DetailViewController *>(
            root.getTabViewController()->widget(root.getTabWithIndentifier(u"systemJunkDetail"_s)));
        overview->loadViewIfNeeded();
        detail->loadViewIfNeeded();
        gui::ModuleActivity &activity = gui::ModuleActivity::instance();

        // While the dashboard scans, the module screens can neither scan nor clean.
        dashboard->scanBTN()->click();
        for (int mi = 1; mi <= 3; ++mi) {
            QCOMPARE(activity.activity(mi), gui::ModuleActivity::Kind::Scanning);
        }
        QVERIFY(!overview->scanBTN()->isEnabled());
        QVERIFY(!detail->cleanButton()->isEnabled());
        QVERIFY(!activity.scan(1, nullptr, nullptr, nullptr));
        dispatcher.runAllQueues();
        QCOMPARE(dashboard->doneModuleNumber(), 3);
        QVERIFY(!activity.isBusy(1) && !activity.isBusy(2) && !activity.isBusy(3));
        QVERIFY(overview->scanBTN()->isEnabled());
        // Free again: Clean now waits only for a selection.
        QCOMPARE(detail->cleanButton()->toolTip(), u"Select the files to clean first"_s);
        QVERIFY(dashboard->scanBTN()->isEnabled());
        QVERIFY(dashboard->scanBTN()->toolTip().isEmpty());

        // While one module is scanned from its own screen, the dashboard waits for it.
        QVERIFY(activity.scan(2, nullptr, nullptr, nullptr));
        QVERIFY(!dashboard->scanBTN()->isEnabled());
        QVERIFY(!dashboard->scanBTN()->toolTip().isEmpty());
        dashboard->scanAll();
        QVERIFY(!activity.isBusy(1));
        QCOMPARE(dashboard->scanBTN()->text(), u"Re-Scan"_s);
        QCOMPARE(dashboard->doneModuleNumber(), 3);
        dispatcher.runAllQueues();
        QVERIFY(dashboard->scanBTN()->isEnabled());
        dashboard->scanAll();
        QCOMPARE(dashboard->doneModuleNumber(), 0);
        dispatcher.runAllQueues();
        QCOMPARE(dashboard->doneModuleNumber(), 3);
    }

    void aFileInTwoBandsCountsOnceAndReviewOnlyApart()
    {
        auto modules = gui_tests::Environment::fiveModules();
        const core::FolderInfoPtr video = gui_tests::record(0, "video.mp4", 5000);
        modules[3].categories.resize(4);
        modules[3].categories[0].files = { video }; // big
        modules[3].categories[2].files = { video, gui_tests::record(1, "notes.txt", 100) }; // and old
        core::Category cache;
        cache.files = { gui_tests::record(0, "cache.bin", 700) };
        core::Category languages;
        languages.kind = core::CategoryKind::Localization;
        languages.files = { gui_tests::record(0, "de", 40) };
        modules[1].categories = { cache, languages };
        const gui::FoundSummary found = gui::FoundSummary::of(modules, { 1, 2, 3 });
        QCOMPARE(found.junk, 700);
        QCOMPARE(found.own, 5100);
        QCOMPARE(found.reviewOnly, 40);
        QCOMPARE(found.total(), 5840);
        QCOMPARE(gui::FoundSummary::sizeOf(modules, 3), 5100);
        QCOMPARE(
            found.sentence(), u"700 bytes of junk, 5.1 kB of your own large and old files, 40 bytes for review only"_s);
    }

    void completionWaitsForTheThirdModuleThenReviewKeepsThePlaceAndBackReturns()
    {
        gui::LinkOpener links(gui_tests::RecordingOpener().function());
        gui::ViewController root(&links);
        gui::SlideStack *tabs = root.getTabViewController();
        tabs->setAnimationDuration(0);
        root.show();
        auto *dashboard = qobject_cast<DashboardViewController *>(tabs->widget(0));
        dashboard->loadViewIfNeeded();
        const auto &table = gui::TabViewSwitchController::vcDict();
        QVERIFY(!shownIn(dashboard->junkImage(), dashboard));
        QVERIFY(!shownIn(dashboard->largeFileRiview(), dashboard));
        dashboard->progress("/home/ann/.cache/thumbnails/large/0a1b2c3d4e5f.png", 1000);
        QCOMPARE(dashboard->pathLabel()->text(), u"/home/ann/.cache/thumbnails/large/0a1b2c..."_s);
        dashboard->progress("", 500); // a batch of deeper items: counted, not shown
        QCOMPARE(dashboard->pathLabel()->text(), u"/home/ann/.cache/thumbnails/large/0a1b2c..."_s);

        // Completion waits for the third module, whatever the order. A finished
        // module shows its Review button and gets its overview screen made, not shown.
        dashboard->doneScan(3);
        QVERIFY(shownIn(dashboard->largeFileRiview(), dashboard));
        QVERIFY(!dashboard->largeFileImage()->pixmap().isNull());
        QVERIFY(!shownIn(dashboard->junkReview(), dashboard));
        QVERIFY(table.count(u"largeAndOldFileOverview"_s) == 1);
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 0);
        QCOMPARE(dashboard->junkReview()->accessibleName(), u"Review System Junk"_s); // not scanned yet
        dashboard->doneScan(1);
        QVERIFY(shownIn(dashboard->junkReview(), dashboard));
        QVERIFY(!dashboard->pathLabel()->text().startsWith(u"Scanning Completed!"_s));
        QCOMPARE(dashboard->scanBTN()->text(), u"Scan"_s);
        dashboard->doneScan(2);
        QCOMPARE(dashboard->doneModuleNumber(), 3);
        // The figure is the catalogue's (nothing here), not the sum of progress reports.
        QCOMPARE(dashboard->pathLabel()->text(),
            u"Scanning Completed! 0 bytes File Found: 0 bytes of junk, 0 bytes of your own large and old files"_s);
        QCOMPARE(dashboard->scanBTN()->text(), u"Re-Scan"_s);
        QVERIFY(shownIn(dashboard->unnessaryImage(), dashboard));
        // Other module numbers show nothing.
        dashboard->showModule(0);
        dashboard->showModule(4);
        // The overview offers the dashboard's result: "Review" and "Re-Scan".
        auto *overview =
            qobject_cast<gui::OverviewViewController *>(tabs->widget(table.at(u"largeAndOldFileOverview"_s)));
        QVERIFY(overview != nullptr);
        QCOMPARE(overview->scanStatus(), 1);
        QCOMPARE(overview->scanBTN()->text(), u"Review"_s);
        QVERIFY(overview->rescanBTN()->isVisibleTo(overview));
        QVERIFY(overview->pathLabel()->text().startsWith(u"Scanning Completed!"_s));

        // "Review" leads to the detail, the list highlights the module, "Back" returns to the dashboard.
        dashboard->largeFileRiview()->click();
        const int detailTab = table.at(u"largeAndOldFileDetail"_s);
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), detailTab);
        QCOMPARE(root.moduleModel()->moduleIndexAt(root.moduleView()->currentIndex().row()), 3);
        auto *detail = qobject_cast<gui::DetailViewController *>(tabs->widget(detailTab));
        QCOMPARE(detail->moduleIndex(), 3);
        detail->backButton()->click();
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), 0);
        QCOMPARE(root.moduleModel()->moduleIndexAt(root.moduleView()->currentIndex().row()), 0);
        // From the overview's "Review", "Back" returns to the overview.
        root.switchTabTo(u"largeAndOldFileOverview"_s);
        overview->scan();
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), detailTab);
        detail->backButton()->click();
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), table.at(u"largeAndOldFileOverview"_s));
        QCOMPARE(root.moduleModel()->moduleIndexAt(root.moduleView()->currentIndex().row()), 3);
        // The other two Review buttons.
        dashboard->reviewJunk();
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), table.at(u"systemJunkDetail"_s));
        dashboard->reviewUnnessary();
        QCOMPARE(gui::TabViewSwitchController::tabIndex(), table.at(u"applicationJunkDetail"_s));
    }

    void machineFromTheTableOrFromItsFirmware()
    {
        {
            gui_tests::ScopedSysRoot root(gui_tests::fixtureRoot("qemu-q35"));
            QCOMPARE(DashboardViewController::getModelData(),
                (ModelTexts{ u"QEMU Virtual Machine"_s, u"Virtual machine on QEMU/KVM, Q35 chipset"_s }));
        }
        {
            // Not in the table: the firmware's name, and what the machine is made of.
            gui_tests::ScopedSysRoot root(gui_tests::fixtureRoot("laptop-charging"));
            const ModelTexts texts = DashboardViewController::getModelData();
            QCOMPARE(texts.model, u"LENOVO ThinkPad X1 Carbon Gen 9"_s);
            QCOMPARE(texts.description,
                u"11th Gen Intel Core i7-1165G7 @ 2.80GHz, 4 cores, 8 threads, %1 GB memory"_s.arg(
                    core::System::physicalMemory(), 0, 'f', 1));
        }
        {
            // No firmware names at all (a container, this VM): the model is unknown, the hardware is not.
            gui_tests::ScopedSysRoot root(gui_tests::fixtureRoot("vm"));
            const ModelTexts texts = DashboardViewController::getModelData();
            QCOMPARE(texts.model, u"Unknown"_s);
            QVERIFY(texts.description.endsWith(u" GB memory"_s));
        }
        // A machine that reports nothing.
        QCOMPARE(gui::describeMachine(nullptr, gui::MachineFacts{}), (ModelTexts{ u"Unknown"_s, u"Unknown"_s }));
        auto loaded = dashboardFor("qemu-q35");
        QCOMPARE(loaded->macInfo()->text(), u"QEMU Virtual Machine"_s);
    }

    void firmwareNamesAndHardware()
    {
        using core::FirmwareInfo;
        using gui::firmwareModelName;
        QCOMPARE(firmwareModelName(FirmwareInfo{ "Dell Inc.", "XPS 13 9310", "" }), u"Dell XPS 13 9310"_s);
        QCOMPARE(firmwareModelName(FirmwareInfo{ "HP", "HP EliteBook 840 G7 Notebook PC", "SBKPF" }),
            u"HP EliteBook 840 G7 Notebook PC"_s);
        QCOMPARE(firmwareModelName(FirmwareInfo{ "Micro-Star International Co., Ltd.", "MS-7C02", "1.0" }),
            u"Micro-Star MS-7C02"_s);
        // A product that is a name keeps it, whatever the version says.
        QCOMPARE(firmwareModelName(FirmwareInfo{ "QEMU", "Standard PC (Q35 + ICH9, 2009)", "pc-q35-7.2" }),
            u"QEMU Standard PC (Q35 + ICH9, 2009)"_s);
        QCOMPARE(firmwareModelName(FirmwareInfo{ "", "Raspberry Pi 4 Model B Rev 1.4", "" }),
            u"Raspberry Pi 4 Model B Rev 1.4"_s);
        QCOMPARE(firmwareModelName(FirmwareInfo{ "Dell Inc.", "", "" }), QString());

        gui::MachineFacts facts;
        facts.processor = "Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz";
        facts.logicalCores = 1;
        facts.physicalCores = 1;
        QCOMPARE(gui::hardwareDescription(facts), u"Intel Xeon CPU E5-2680 v4 @ 2.40GHz, 1 core"_s);
        facts.processor.clear();
        facts.logicalCores = 16;
        facts.physicalCores = 0; // unknown: counted as cores
        facts.memoryGigabytes = 31.36;
        QCOMPARE(gui::hardwareDescription(facts), u"16 cores, 31.4 GB memory"_s);
    }

    void machineTableEntriesNeedBothTexts()
    {
        const auto table = core::format::readPlistMemory(R"(<plist version="1.0"><dict>
            <key>Box 1</key><dict><key>_LOCALIZABLE_</key><dict>
                <key>model</key><string>Box</string><key>marketingModel</key><string>A box</string></dict></dict>
            <key>Box 2</key><dict><key>_LOCALIZABLE_</key><dict><key>model</key><string>Box</string></dict></dict>
            <key>Box 3</key><dict><key>model</key><string>Box</string><key>marketingModel</key><string>B</string></dict>
            </dict></plist>)",
            core::format::MaxPlistNodes);
        QVERIFY(table);
        QCOMPARE(gui::lookUpMachineAttributes(*table, "Box 1"), (ModelTexts{ u"Box"_s, u"A box"_s }));
        QVERIFY(!gui::lookUpMachineAttributes(*table, "Box 2"));
        QVERIFY(!gui::lookUpMachineAttributes(*table, "Box 3"));
        QVERIFY(!gui::lookUpMachineAttributes(*table, "box 1"));
        gui::MachineFacts facts;
        facts.modelIdentifier = "Box 2";
        facts.firmware = core::FirmwareInfo{ "Acme", "Box 2", "" };
        QCOMPARE(gui::describeMachine(&*table, facts).model, u"Acme Box 2"_s);

        // The shipped table reads, and every entry has both texts.
        const auto shipped = core::format::readPlistFile(
            gui_tests::sourceResources() + "/SIMachineAttributes.plist", core::format::MaxPlistNodes);
        QVERIFY(shipped && shipped->dict() != nullptr);
        QVERIFY(shipped->dict()->size() >= 10);
        for (const auto &[key, value] : *shipped->dict()) {
            QVERIFY2(gui::lookUpMachineAttributes(*shipped, key).has_value(), key.c_str());
        }
    }

private:
    static std::unique_ptr<DashboardViewController> dashboardFor(const std::string &scenario)
    {
        gui_tests::ScopedSysRoot root(gui_tests::fixtureRoot(scenario));
        return loadedDashboard();
    }
};

} // namespace

SPRUCE_GUI_TEST(DashboardTest)
#include "DashboardTest.moc"
