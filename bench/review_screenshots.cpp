// SPDX-License-Identifier: GPL-3.0-or-later
// Screenshots of the review screens as a person sees them (run under Xvfb),
// on a home folder made here with some junk in it, never the real one:
// the System Junk overview before, during and after a scan, and its detail
// screen with a partly selected category and a search; then Large and Old
// Files with "Move to Trash instead of deleting" checked and its confirmation
// (answered "Cancel": nothing moves), a file kept with "Always Keep", and the
// preferences page with the always-keep list.
// Usage: review_screenshots OUTDIR   (see bench/gui_screenshots.sh)

#include "ShotScheme.h"
#include "engine/KeepList.h"
#include "engine/ModuleInfo.h"
#include "platform/LogSink.h"
#include "platform/QtDispatcher.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "theme/SchemeController.h"
#include "ui/AppDelegate.h"
#include "ui/CategoryDD.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/MainWindow.h"
#include "ui/ModuleListModel.h"
#include "ui/ModuleListView.h"
#include "ui/OverviewViewController.h"
#include "ui/PreferencesDialog.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <deque>
#include <mutex>

using namespace Qt::StringLiterals;

namespace {

/// Passes jobs to the Qt dispatcher, but can hold back the main-queue ones,
/// so that a scan can be caught half-way for its picture.
class HoldingDispatcher final : public core::platform::Dispatcher
{
public:
    explicit HoldingDispatcher(core::platform::Dispatcher &inner)
        : m_inner(inner)
    {
    }
    void async(core::platform::Task job) override { m_inner.async(std::move(job)); }
    void asyncMain(core::platform::Task job) override
    {
        const std::lock_guard lock(m_mutex);
        if (m_held) {
            m_pending.push_back(std::move(job));
        } else {
            m_inner.asyncMain(std::move(job));
        }
    }
    void hold()
    {
        const std::lock_guard lock(m_mutex);
        m_held = true;
    }
    /// Lets the oldest held job through; false when none is held.
    bool releaseOne()
    {
        const std::lock_guard lock(m_mutex);
        if (m_pending.empty()) {
            return false;
        }
        m_inner.asyncMain(std::move(m_pending.front()));
        m_pending.pop_front();
        return true;
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_held = false;
        for (auto &job : m_pending) {
            m_inner.asyncMain(std::move(job));
        }
        m_pending.clear();
    }

private:
    core::platform::Dispatcher &m_inner;
    std::mutex m_mutex;
    bool m_held = false;
    std::deque<core::platform::Task> m_pending;
};

void writeFile(const QString &path, qint64 size, int daysOld = 0)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.resize(size); // sparse: big files cost no disk
        if (daysOld > 0) {
            file.setFileTime(QDateTime::currentDateTime().addDays(-daysOld), QFileDevice::FileModificationTime);
        }
    }
}

/// A home with junk in the places the System Junk module looks at.
void makeJunkHome(const QString &home)
{
    const char *cacheApps[] = { "mozilla", "thumbnails", "pip", "fontconfig", "chromium", "yarn", "gstreamer-1.0" };
    int n = 0;
    for (const char *app : cacheApps) {
        for (int i = 0; i < 400; ++i, ++n) {
            writeFile(
                home + u"/.cache/%1/entries/%2.bin"_s.arg(QString::fromLatin1(app)).arg(i), 1000 + (n * 7919) % 90000);
        }
    }
    writeFile(home + u"/.local/share/Trash/files/Quarterly report (old draft).pdf"_s, 2'400'000);
    writeFile(home + u"/.local/share/Trash/files/holiday-photos/IMG_2041.jpg"_s, 3'100'000);
    writeFile(home + u"/.local/share/Trash/info/Quarterly report (old draft).pdf.trashinfo"_s, 90);
    writeFile(home + u"/.local/share/Trash/info/holiday-photos.trashinfo"_s, 80);
    writeFile(home + u"/.xsession-errors.old"_s, 48'000);
    const QString crash = home + u"/.mozilla/firefox/Crash Reports/"_s;
    writeFile(crash + u"pending/8c1e7f3a-5d0b-4a56-9b1e-2f7d3c9a0e11.dmp"_s, 412'000);
    writeFile(crash + u"pending/8c1e7f3a-5d0b-4a56-9b1e-2f7d3c9a0e11.extra"_s, 3'000);
    writeFile(crash + u"pending/f2d4b6a8-0c1e-4f3a-8b7d-9e5c1a3f7b20.dmp"_s, 388'000);
    writeFile(crash + u"submitted/bp-5e0c2a7f-1b3d-4c8e-a9f6-7d2e4b1c0a93.txt"_s, 600);
    writeFile(home + u"/.thumbnails/normal/3f1c0e2a9b7d5c4e6f8a1b2c3d4e5f60.png"_s, 24'000);
    // Large and old files of one's own.
    writeFile(home + u"/Downloads/debian-12.5.0-amd64-DVD-1.iso"_s, 3'900'000'000LL, 200);
    writeFile(home + u"/Videos/holiday-2019.mp4"_s, 412'000'000, 1500);
    writeFile(home + u"/Videos/drone/lake-4k.mov"_s, 238'000'000, 90);
    writeFile(home + u"/Music/live-set-2020.flac"_s, 96'000'000, 1100);
    writeFile(home + u"/Documents/tax-return.pdf"_s, 2'100'000, 900);
    writeFile(home + u"/Documents/thesis/draft-v3.odt"_s, 7'400'000, 700);
}

/// Saves the frame of `window` once it is up, then closes it; for a modal
/// dialog, whose exec() holds the caller until it is answered.
void saveWhenShown(const QString &path, bool *ok)
{
    QTimer::singleShot(600, [path, ok] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) {
            std::fprintf(stderr, "no dialog for %s\n", qPrintable(path));
            *ok = false;
            return;
        }
        // The dialog over the screen it belongs to.
        QWidget *under = dialog->parentWidget() != nullptr ? dialog->parentWidget()->window() : dialog;
        const QRect frame = under->frameGeometry().united(dialog->frameGeometry());
        const QPixmap shot = dialog->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        *ok = shot.save(path) && *ok;
        std::fprintf(stderr, "wrote %s\n", qPrintable(path));
        dialog->close(); // "Cancel"
    });
}

bool save(QWidget *window, const QString &path)
{
    QTest::qWait(400); // let slides and repaints finish
    const QRect frame = window->frameGeometry();
    const QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const bool ok = shot.save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: review_screenshots OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    QTemporaryDir home;
    makeJunkHome(home.path());

    QObject mainContext;
    gui::QtDispatcher qtDispatcher(&mainContext);
    HoldingDispatcher dispatcher(qtDispatcher);
    core::platform::StreamLogSink sink(stdout, stderr);
    core::platform::Services services = core::platform::services();
    services.dispatch = &dispatcher;
    services.log = &sink;
    services.user = core::platform::UserContext{ "ann", home.path().toStdString() };
    core::platform::ScopedServices installed(std::move(services));

    QTemporaryDir config;
    gui::UserDefaults defaults(config.filePath(u"Spruce.ini"_s));
    defaults.setBool(u"HasLaunchedOnce"_s, true);
    const auto desktop = prepareShotScheme(defaults);
    gui::AppDelegate delegate(
        gui::AppDelegateOptions{ gui::desktopUrlOpener(), &defaults, gui::StatusItemMode::Never, desktop.get() });
    delegate.schemes().apply(); // as the application does
    gui::MainWindow window(delegate);
    window.move(20, 20);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }

    gui::ViewController *root = window.viewController();
    gui::ModuleListView *list = root->moduleView();
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, {}, list->visualRect(root->moduleModel()->index(1, 0)).center());
    auto *overview = qobject_cast<gui::OverviewViewController *>(
        root->getTabViewController()->widget(root->getTabWithIndentifier(u"systemJunkOverview"_s)));
    bool ok = save(&window, out + u"/overview-idle.png"_s);

    // Caught half-way: the scan's reports are let through one by one until
    // the button shows a percentage, and the rest held back for the picture.
    dispatcher.hold();
    overview->scanBTN()->click();
    QElapsedTimer waited;
    waited.start();
    while (!overview->scanBTN()->text().endsWith(u'%') && waited.elapsed() < 20000) {
        dispatcher.releaseOne();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    ok = save(&window, out + u"/overview-scanning.png"_s) && ok;
    dispatcher.release();
    auto *detail = qobject_cast<gui::DetailViewController *>(
        root->getTabViewController()->widget(root->getTabWithIndentifier(u"systemJunkDetail"_s)));
    if (!QTest::qWaitFor(
            [overview] {
                return overview->scanStatus() == 1;
            },
            20000)) {
        std::fprintf(stderr, "the scan did not finish\n");
        return 1;
    }

    // The crash reports: all selected, then one report left out; then a search.
    // Found by its title: the catalogue gains categories.
    int crashRow = 0;
    for (int row = 0; row < detail->categoryDD()->rowCount(); ++row) {
        if (detail->categoryDD()->index(row, 0).data().toString() == u"Crash Reports"_s) {
            crashRow = row;
        }
    }
    detail->categoryView()->setCurrentIndex(detail->categoryDD()->index(crashRow, 0));
    detail->categoryDD()->setData(detail->categoryDD()->index(crashRow, 0), Qt::Checked, Qt::CheckStateRole);
    detail->detailView()->expandAll();
    gui::DetailDD *files = detail->detailDD();
    files->setData(files->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    detail->categoryDD()->setData(detail->categoryDD()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    detail->categoryView()->setCurrentIndex(detail->categoryDD()->index(crashRow, 0));
    detail->detailView()->expandAll();
    detail->detailView()->setCurrentIndex(files->index(1, 0));
    ok = save(&window, out + u"/detail-review.png"_s) && ok;
    QTest::keyClicks(detail->searchField(), u"F2D4"_s);
    detail->detailView()->expandAll();
    ok = save(&window, out + u"/detail-search.png"_s) && ok;

    detail->backButton()->click();
    ok = save(&window, out + u"/overview-done.png"_s) && ok;

    // Large and Old Files: moved to the Trash on request.
    QTest::mouseClick(list->viewport(),
        Qt::LeftButton,
        {},
        list->visualRect(root->moduleModel()->index(root->moduleModel()->rowOfModule(3), 0)).center());
    auto *largeOverview = qobject_cast<gui::OverviewViewController *>(
        root->getTabViewController()->widget(root->getTabWithIndentifier(u"largeAndOldFileOverview"_s)));
    QTest::qWait(400);
    largeOverview->scanBTN()->click();
    if (!QTest::qWaitFor(
            [largeOverview] {
                return largeOverview->scanStatus() == 1;
            },
            20000)) {
        std::fprintf(stderr, "the scan of Large and Old Files did not finish\n");
        return 1;
    }
    auto *large = qobject_cast<gui::DetailViewController *>(
        root->getTabViewController()->widget(root->getTabWithIndentifier(u"largeAndOldFileDetail"_s)));
    large->trashBox()->setChecked(true);
    const int yearRow = 2;
    large->categoryView()->setCurrentIndex(large->categoryDD()->index(yearRow, 0));
    large->categoryDD()->setData(large->categoryDD()->index(yearRow, 0), Qt::Checked, Qt::CheckStateRole);
    large->detailDD()->setData(large->detailDD()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    QTest::qWait(400);
    saveWhenShown(out + u"/detail-trash-confirm.png"_s, &ok);
    large->cleanButton()->click();

    // Always Keep on a row, then the list it went on.
    large->categoryView()->setCurrentIndex(large->categoryDD()->index(0, 0));
    if (const core::FolderInfoPtr record = large->detailDD()->recordPtr(large->detailDD()->index(0, 0))) {
        large->alwaysKeep(*record);
    }
    (void)QTest::qWaitFor(
        [large] {
            return large->keepLabel()->text().endsWith(u"kept."_s);
        },
        20000);
    large->detailView()->setCurrentIndex(large->detailDD()->index(0, 0));
    ok = save(&window, out + u"/detail-kept.png"_s) && ok;
    const QString homePath = home.path();
    (void)core::KeepList::add({ QString(homePath + u"/Documents/thesis"_s).toStdString(),
        QString(homePath + u"/Music/live-set-2020.flac"_s).toStdString(),
        QString(homePath + u"/Pictures/scans-2015"_s).toStdString() });
    gui::PreferencesDialog *page = gui::PreferencesDialog::showFor(&window);
    page->move(window.frameGeometry().center() - page->rect().center());
    page->keptList()->setCurrentRow(1);
    if (!QTest::qWaitForWindowExposed(page)) {
        return 1;
    }
    ok = save(page, out + u"/preferences-keep.png"_s) && ok;
    return ok ? 0 : 1;
}
