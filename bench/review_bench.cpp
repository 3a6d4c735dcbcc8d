// SPDX-License-Identifier: GPL-3.0-or-later
// The review screens on a big home: scans the large-and-old module from its
// overview screen as a person would (the "Scan" button), watching how long
// the GUI thread is kept from its event loop meanwhile, then times opening,
// searching and sorting the biggest category on the detail screen, and
// reports the process's peak memory. One line per figure, "name value".
// Usage: review_bench HOME   (see bench/review_bench.sh; any QPA platform)

#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "platform/LinkOpener.h"
#include "platform/LogSink.h"
#include "platform/QtDispatcher.h"
#include "platform/Services.h"
#include "ui/CategoryDD.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/ModuleActivity.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

/// Records how late a 1 ms timer fires: the time the GUI thread spent away
/// from its event loop between two turns.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_gaps.push_back(static_cast<double>(now - m_last) / 1e6);
            m_last = now;
        });
    }
    void start()
    {
        m_gaps.clear();
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    /// The longest gap and the 99th percentile, in milliseconds.
    std::pair<double, double> stalls()
    {
        if (m_gaps.empty()) {
            return { 0, 0 };
        }
        std::sort(m_gaps.begin(), m_gaps.end());
        return { m_gaps.back(), m_gaps[static_cast<std::size_t>(static_cast<double>(m_gaps.size() - 1) * 0.99)] };
    }
    std::size_t count() const { return m_gaps.size(); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    std::vector<double> m_gaps;
};

/// Times every event the GUI thread handles from its event loop (the
/// outermost notify): the longest is the longest stall our code causes,
/// whatever the scheduler does to the thread meanwhile.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || !m_recording) {
            ++m_depth;
            const bool result = QApplication::notify(receiver, event);
            --m_depth;
            return result;
        }
        ++m_depth;
        QElapsedTimer timer;
        timer.start();
        const bool result = QApplication::notify(receiver, event);
        const double took = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        --m_depth;
        m_durations.push_back(took);
        if (took > m_longest) {
            m_longest = took;
            m_longestType = event->type();
        }
        return result;
    }
    void record(bool on)
    {
        m_recording = on;
        if (on) {
            m_durations.clear();
            m_longest = 0;
        }
    }
    /// Longest, 99th percentile (ms), the event type of the longest, and how many events.
    std::tuple<double, double, int, std::size_t> busy()
    {
        std::vector<double> sorted = m_durations;
        std::sort(sorted.begin(), sorted.end());
        const double p99 =
            sorted.empty() ? 0 : sorted[static_cast<std::size_t>(static_cast<double>(sorted.size() - 1) * 0.99)];
        return { m_longest, p99, static_cast<int>(m_longestType), sorted.size() };
    }

private:
    int m_depth = 0;
    bool m_recording = false;
    std::vector<double> m_durations;
    double m_longest = 0;
    QEvent::Type m_longestType = QEvent::None;
};

double ms(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

long peakKib()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

void report(const char *name, double value)
{
    std::printf("%s %.2f\n", name, value);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    TimedApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: review_bench HOME\n");
        return 2;
    }
    QObject mainContext;
    gui::QtDispatcher dispatcher(&mainContext);
    core::platform::StreamLogSink sink(stdout, stderr);
    core::platform::Services services = core::platform::services();
    services.dispatch = &dispatcher;
    services.log = &sink;
    services.user = core::platform::UserContext{ "bench", argv[1] };
    core::platform::ScopedServices installed(std::move(services));

    gui::LinkOpener links([](const QUrl &) {
        return false;
    });
    gui::ViewController root(&links);
    root.getTabViewController()->setAnimationDuration(0);
    root.resize(1040, 680);
    root.show();
    if (!QTest::qWaitForWindowExposed(&root)) {
        return 1;
    }
    root.switchTabTo(u"largeAndOldFileOverview"_s);
    auto *overview = qobject_cast<gui::OverviewViewController *>(
        root.getTabViewController()->widget(root.getTabWithIndentifier(u"largeAndOldFileOverview"_s)));
    QTest::qWait(800); // a person reads the screen before pressing "Scan"

    // The scan, from the button to the detail screen showing its results.
    StallProbe probe;
    probe.start();
    app.record(true);
    QElapsedTimer scan;
    scan.start();
    overview->scanBTN()->click();
    while (overview->scanStatus() != 1) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double scanMs = ms(scan);
    QCoreApplication::processEvents(); // the detail screen's first paint
    probe.stop();
    app.record(false);
    const auto [busiest, busyP99, busiestType, events] = app.busy();
    report("event_longest_ms", busiest);
    report("event_p99_ms", busyP99);
    report("event_longest_type", busiestType);
    report("events", static_cast<double>(events));
    const auto [longest, p99] = probe.stalls();
    report("scan_ms", scanMs);
    report("stall_longest_ms", longest);
    report("stall_p99_ms", p99);
    report("stall_samples", static_cast<double>(probe.count()));

    auto *detail = qobject_cast<gui::DetailViewController *>(
        root.getTabViewController()->widget(root.getTabWithIndentifier(u"largeAndOldFileDetail"_s)));
    const auto &categories = core::ModuleInfo::modules()[3].categories;
    std::size_t biggest = 0;
    std::size_t records = 0;
    for (std::size_t i = 0; i < categories.size(); ++i) {
        records += categories[i].files.size();
        if (categories[i].files.size() > categories[biggest].files.size()) {
            biggest = i;
        }
    }
    report("records", static_cast<double>(records));
    report("biggest_category_records", static_cast<double>(categories[biggest].files.size()));
    QTreeView *files = detail->detailView();

    // Each step: the model's work and the outline painted (synchronously) with its result.
    QElapsedTimer step;
    step.start();
    detail->categoryView()->setCurrentIndex(detail->categoryDD()->index(static_cast<int>(biggest), 0));
    files->viewport()->repaint();
    report("open_ms", ms(step));

    step.start();
    files->verticalScrollBar()->setValue(files->verticalScrollBar()->maximum() / 2);
    files->viewport()->repaint();
    report("scroll_ms", ms(step));

    step.start();
    detail->searchFiles(u"e"_s);
    files->viewport()->repaint();
    report("search_first_ms", ms(step));
    report("search_matches", detail->detailDD()->rowCount());

    step.start();
    detail->searchFiles(u"E5"_s);
    files->viewport()->repaint();
    report("search_again_ms", ms(step));

    step.start();
    detail->searchFiles(QString());
    files->viewport()->repaint();
    report("search_clear_ms", ms(step));

    // A sort: the GUI thread's part (the request, and the event that shows
    // the order a worker made, each with a repaint), the wait until it shows,
    // then the other way round (the order is made by then).
    gui::DetailDD *model = detail->detailDD();
    const char *keys[] = { "name", "size", "date" };
    for (const char *key : keys) {
        const std::string name = std::string("sort_") + key;
        step.start();
        model->sortDetailData(u"descending"_s, QString::fromLatin1(key));
        files->viewport()->repaint();
        const double asked = ms(step);
        app.record(true);
        while (model->isSorting()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        const auto [shownIn, shownP99, shownType, shownEvents] = app.busy();
        app.record(false);
        QElapsedTimer paint;
        paint.start();
        files->viewport()->repaint();
        const double painted = ms(paint);
        report((name + "_ready_ms").c_str(), ms(step));
        report((name + "_ms").c_str(), asked + shownIn + painted);
        step.start();
        model->sortDetailData(u"ascending"_s, QString::fromLatin1(key));
        files->viewport()->repaint();
        report((name + "_again_ms").c_str(), ms(step));
    }

    step.start();
    for (int i = 0; i < 40; ++i) {
        files->verticalScrollBar()->setValue(files->verticalScrollBar()->maximum() * i / 40);
        files->viewport()->repaint();
    }
    report("scroll_page_ms", ms(step) / 40);

    step.start();
    root.repaint();
    report("window_repaint_ms", ms(step));

    // Ticking the biggest category's box (every file in it, and the same
    // files in the other bands), then one file's, each with a repaint.
    const QModelIndex biggestRow = detail->categoryDD()->index(static_cast<int>(biggest), 0);
    step.start();
    detail->categoryDD()->setData(biggestRow, Qt::Checked, Qt::CheckStateRole);
    root.repaint();
    report("tick_category_ms", ms(step));
    step.start();
    model->setData(model->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    root.repaint();
    report("tick_file_ms", ms(step));
    step.start();
    detail->categoryDD()->setData(biggestRow, Qt::Unchecked, Qt::CheckStateRole);
    root.repaint();
    report("untick_category_ms", ms(step));

    report("peak_rss_mib", static_cast<double>(peakKib()) / 1024.0);

    // A clean of many items from the detail screen, on a folder of its own
    // (never the tree above, which other benchmarks share): every entry selected.
    if (const QByteArray count = qgetenv("REVIEW_BENCH_CLEAN"); !count.isEmpty()) {
        QTemporaryDir junk;
        const int fileCount = count.toInt();
        for (int i = 0; i < fileCount; ++i) {
            QFile file(junk.filePath(u"f%1"_s.arg(i)));
            if (!file.open(QIODevice::WriteOnly)) {
                return 1;
            }
            file.write("x");
        }
        std::vector<core::Module> modules = core::ModuleInfo::modules();
        core::Category category;
        category.title = "Junk";
        category.url = core::FolderUrl{ core::format::fileUrlFromPath(junk.path().toStdString(), true), "Folder", 1 };
        category.state = 1;
        modules[1].categories = { category };
        core::ModuleInfo::setModulesForTesting(std::move(modules));
        bool scanned = false;
        core::ModuleInfo::scan(1, nullptr, nullptr, [&scanned] {
            scanned = true;
        });
        while (!scanned) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        root.switchTabTo(u"systemJunkDetail"_s);
        auto *junkDetail = qobject_cast<gui::DetailViewController *>(root.getTabViewController()->widget(2));
        junkDetail->reloadData();
        junkDetail->setConfirmer([](QWidget *, const gui::DetailViewController::CleanQuestion &) {
            return true;
        });
        QCoreApplication::processEvents();
        app.record(true);
        step.start();
        junkDetail->clean();
        while (gui::ModuleActivity::instance().isBusy(1)) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        report("clean_ms", ms(step));
        app.record(false);
        const auto [cleanLongest, cleanP99, cleanType, cleanEvents] = app.busy();
        report("clean_items", static_cast<double>(fileCount));
        report("clean_freed_bytes", static_cast<double>(junkDetail->cleanSize()));
        report("clean_event_longest_ms", cleanLongest);
        report("clean_event_p99_ms", cleanP99);
        report("clean_event_longest_type", cleanType);
        report("clean_records_left", static_cast<double>(core::ModuleInfo::modules()[1].categories[0].files.size()));
    }
    std::fflush(stdout);
    std::_Exit(0);
}
