// SPDX-License-Identifier: GPL-3.0-or-later
// The monitor graphs: their geometry, what each samples and says, and how it is painted.

#include "monitor/MonitorViews.h"

#include "GuiTestSupport.h"
#include "monitor/GraphGeometry.h"
#include "support/ManualDispatcher.h"

#include <QAccessible>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;
using gui::ColorKeys;
using gui::ColorPair;
using gui::GraphContent;
using gui::GraphView;

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

/// The four widths of spans.
std::vector<qreal> widths(const std::vector<QRectF> &spans)
{
    std::vector<qreal> out;
    for (const QRectF &span : spans) {
        out.push_back(span.width());
    }
    return out;
}

class MonitorViewsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<gui_tests::Environment> m_env;

private Q_SLOTS:
    void init() { m_env = std::make_unique<gui_tests::Environment>(); }
    void cleanup() { m_env.reset(); }

    void segmentsRoundDownAndStayInsideTheBar()
    {
        using gui::graph::segmentSpans;
        const QRectF bar(120, 46, 101, 20);
        // 25 % each of 101 points: four segments of 25, one point of background left at the right end.
        const auto quarters = segmentSpans(bar, { 0.25, 0.25, 0.25, 0.25 });
        QCOMPARE(widths(quarters), (std::vector<qreal>{ 25, 25, 25, 25 }));
        QCOMPARE(quarters.front().left(), 120.0);
        QCOMPARE(quarters[2].left(), 170.0);
        QCOMPARE(bar.right() - quarters.back().right(), 1.0);
        QCOMPARE(quarters[1].top(), bar.top());
        QCOMPARE(quarters[1].height(), bar.height());

        // No tick in the interval (NaN) and a negative remainder draw nothing and do not move on.
        const auto odd = segmentSpans(bar, { std::nan(""), -0.2, 0.5, 0.9 });
        QCOMPARE(widths(odd), (std::vector<qreal>{ 0, 0, 50, 51 }));
        QCOMPARE(odd[2].left(), 120.0);
        // Figures adding up to more than the whole are cut at the bar's end.
        QCOMPARE(odd[3].right(), bar.right());
        QCOMPARE(widths(segmentSpans(bar, { 2.0, 0.1 })), (std::vector<qreal>{ 101, 0 }));
    }

    void legendSlotsShareTheBarWidth()
    {
        using gui::graph::legendSlot;
        const QRectF bar(120, 46, 500, 20);
        const auto third = legendSlot(bar, 3, 5, 13, 14);
        QCOMPARE(third.swatch, QRectF(420, 26, 8, 8)); // 120 + 3 x 100, 20 below the bar
        QCOMPARE(third.name, QRectF(433, 26, 82, 13));
        QCOMPARE(third.value, QRectF(433, 12, 82, 13)); // the name's box, one value line lower
        // Slots start on whole points: 101 / 3 = 33.67 per slot.
        QCOMPARE(legendSlot(QRectF(120, 46, 101, 20), 2, 3, 13, 14).swatch.left(), 120.0 + 67.0);
        QCOMPARE(legendSlot(bar, 0, 0, 13, 14).swatch, QRectF());
    }

    void colourRowsFallBackToTheLastOne()
    {
        using gui::CPUView;
        using gui::DiskView;
        // The CPU background asks for "Free": the idle colours; names compare exactly.
        QCOMPARE(CPUView::colorsForCPU(u"Free"), (ColorKeys{ "cpu_idle_stroke_color", "cpu_idle_fill_color" }));
        QCOMPARE(CPUView::colorsForCPU(u"system"), CPUView::colorsForCPU(u"Idle"));
        QCOMPARE(gui::MemoryView::colorsForMemory(u"Swap"), gui::MemoryView::colorsForMemory(u"Free"));
        QCOMPARE(gui::BatteryView::colorsForBattery(u"Charged"), gui::BatteryView::colorsForBattery(u"empty"));
        using core::FileTypeName;
        for (auto name : { FileTypeName::IOS, FileTypeName::iCloud, FileTypeName::iTunes }) {
            QCOMPARE(DiskView::colorsForFileType(name).fill, std::string_view("disk_backup_fill_color"));
        }
        for (auto name : { FileTypeName::Music, FileTypeName::Other, FileTypeName::Calculating }) {
            QCOMPARE(DiskView::colorsForFileType(name).fill, std::string_view("disk_other_fill_color"));
        }
    }

    void textsOfTheLegendsAndCaptions()
    {
        using gui::BatteryView;
        using gui::MemoryView;
        QCOMPARE(MemoryView::memoryUnit(0.5), u"500MB"_s);
        QCOMPARE(MemoryView::memoryUnit(3.256), u"3.26GB"_s);
        QCOMPARE(MemoryView::memoryUnit(0.9999), u"999MB"_s); // truncated, not rounded up to 1000MB
        QCOMPARE(MemoryView::caption(15.54), u"15.5GB"_s);
        QCOMPARE(gui::CPUView::caption(-1), u"-1 Cores"_s);

        QCOMPARE(BatteryView::iconLevel(100), 5);
        QCOMPARE(BatteryView::iconLevel(20), 2);
        QCOMPARE(BatteryView::iconLevel(19), 1);
        QCOMPARE(BatteryView::iconLevel(std::nan("")), 1);
        QCOMPARE(BatteryView::status(true, true), u"Charged Completed"_s);
        QCOMPARE(BatteryView::status(false, true), u"Charging"_s);
        QCOMPARE(BatteryView::status(false, false), u"Not Charging"_s);
    }

    void cpuSharesAreThoseOfTheLastInterval()
    {
        QTemporaryDir root;
        const QString stat = root.filePath(u"proc/stat"_s);
        writeFile(root.filePath(u"sys/devices/system/cpu/online"_s), "0-3\n");
        // user nice system idle iowait irq softirq steal
        writeFile(stat, "cpu  1000 0 1000 8000 0 0 0 0 0 0\nbtime 1\n");
        gui_tests::ScopedSysRoot sysRoot(root.path().toStdString());
        gui::CPUView view;
        QCOMPARE(view.content().legend.size(), 0U);

        // Nothing has passed since the view was made: no shares yet, and no segment.
        view.redraw();
        QCOMPARE(view.content().legend.at(0).text, u"-"_s);
        QVERIFY(std::isnan(view.content().segments[0].fraction));

        writeFile(stat, "cpu  1030 0 1010 8060 0 0 0 0 0 0\nbtime 1\n");
        view.redraw();
        QCOMPARE(view.content().caption, u"4 Cores"_s);
        QStringList shown;
        for (const auto &entry : view.content().legend) {
            shown << entry.name + u' ' + entry.text;
        }
        QCOMPARE(shown, (QStringList{ u"System 10.0%"_s, u"User 30.0%"_s, u"Idle 60.0%"_s, u"Nice 0.0%"_s }));
        QCOMPARE(view.content().segments[1].fraction, 0.30);

        // The next interval alone (an average since the first sample would give 40 %).
        writeFile(stat, "cpu  1080 0 1010 8110 0 0 0 0 0 0\nbtime 1\n");
        view.redraw();
        QCOMPARE(view.content().legend[1].text, u"50.0%"_s);
        // A redraw within the same tick keeps what was shown.
        view.redraw();
        QCOMPARE(view.content().legend[1].text, u"50.0%"_s);

        // What a screen reader is given.
        QCOMPARE(view.accessibleName(), u"CPU: 4 Cores"_s);
        QCOMPARE(view.accessibleDescription(), u"System 0.0%, User 50.0%, Idle 50.0%, Nice 0.0%"_s);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(accessible != nullptr);
        QCOMPARE(accessible->text(QAccessible::Name), u"CPU: 4 Cores"_s);
        QCOMPARE(accessible->text(QAccessible::Description), view.accessibleDescription());
    }

    void cpuCaptionWhenTheLimitsCannotBeRead()
    {
        QTemporaryDir empty;
        gui_tests::ScopedSysRoot sysRoot(empty.path().toStdString());
        gui::CPUView view;
        view.redraw();
        QCOMPARE(view.content().caption, u"-1 Cores"_s);
        QCOMPARE(view.content().legend.at(0).text, u"-"_s);
    }

    void memoryFractionsOfThePhysicalMemory()
    {
        gui_tests::ScopedSysRoot sysRoot(gui_tests::fixtureRoot("laptop-charging"));
        gui::MemoryView view;
        view.redraw();
        const auto &content = view.content();
        QStringList names;
        for (const auto &entry : content.legend) {
            names << entry.name;
        }
        QCOMPARE(names, (QStringList{ u"Wired"_s, u"Active"_s, u"Inactive"_s, u"Compressed"_s, u"Free"_s }));
        QCOMPARE(content.segments[1].fraction, core::System::memoryUsage().active / core::System::physicalMemory());
    }

    void batteryFiguresAndItsBlankViewWithoutOne()
    {
        {
            // 3000 of 5000 mAh, charging at 1.25 A, 87 cycles: 1:36 to full.
            gui_tests::ScopedSysRoot sysRoot(gui_tests::fixtureRoot("laptop-charging"));
            gui::BatteryView view;
            view.redraw();
            const auto &content = view.content();
            QCOMPARE(content.iconName, u"Battery-4"_s);
            QCOMPARE(content.caption, u"1:36"_s);
            QCOMPARE(content.segments.size(), 1U);
            QCOMPARE(content.segments[0].fraction, 0.6);
            QCOMPARE(GraphView::legendDescription(content.legend),
                u"Charging Charge Cycles: 87, Current Capacity: 3000 mAh Max Capacity: 5000 mAh"_s);
            QCOMPARE(view.accessibleDescription(),
                u"60%, Charging, Charge Cycles: 87, Current Capacity: 3000 mAh, Max Capacity: 5000 mAh"_s);
        }
        gui_tests::ScopedSysRoot sysRoot(gui_tests::fixtureRoot("desktop-no-battery")); // a mouse's battery only
        gui::BatteryView view;
        view.resize(400, 86);
        view.redraw();
        QVERIFY(view.content().blank);
        QVERIFY(!view.content().background);
        QCOMPARE(view.accessibleDescription(), u"No Battery Service Found"_s);
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        QImage blank(view.size(), QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        QCOMPARE(image, blank);
    }

    void diskLegendGrowsAsTheMeasurementsComeIn()
    {
        testing_support::ManualDispatcher dispatcher;
        gui_tests::ScopedSysRoot sysRoot("/", &dispatcher);
        core::VolumeInfo::Facts facts;
        facts.name = "Data";
        facts.capacity = 1000;
        facts.available = 400;
        facts.removable = false;
        facts.isLocal = true;
        auto volume = std::make_shared<core::VolumeInfo>("file:///", facts);
        gui::DiskView view(volume, nullptr);

        view.redraw();
        const auto labels = [&] {
            QStringList out;
            for (const auto &entry : view.content().legend) {
                out << entry.name + u' ' + entry.text;
            }
            return out;
        };
        QCOMPARE(view.content().caption, u"1.0 kB"_s);
        QCOMPARE(labels(), (QStringList{ u"Calculating 600 bytes"_s, u"Available 400 bytes"_s }));
        QCOMPARE(view.content().offset, gui::graph::DiskOffset);
        // The first draw started the two measurements, and only the first.
        QVERIFY(volume->startCalculating);
        const std::size_t started = dispatcher.pendingBackground();
        QVERIFY(started > 0);
        view.redraw();
        QCOMPARE(dispatcher.pendingBackground(), started);

        volume->updateDistribution(core::FileTypeName::Apps, 100);
        volume->updateDistribution(core::FileTypeName::IOS, 50);
        view.redraw();
        QCOMPARE(labels(),
            (QStringList{
                u"Other 450 bytes"_s, u"Apps 100 bytes"_s, u"IOS Backup 50 bytes"_s, u"Available 400 bytes"_s }));
        QCOMPARE(view.content().segments[0].fraction, 0.45);
        QCOMPARE(view.accessibleName(), u"Disk: 1.0 kB"_s);
        QCOMPARE(view.accessibleDescription(),
            u"Other 450 bytes, Apps 100 bytes, IOS Backup 50 bytes, Available 400 bytes"_s);

        // A volume that could not be read: icon and an empty bar, no legend.
        gui::DiskView unreadable(std::make_shared<core::VolumeInfo>("file:///", std::nullopt), nullptr);
        unreadable.redraw();
        QVERIFY(unreadable.content().background);
        QVERIFY(unreadable.content().legend.empty());
        gui::DiskView none(nullptr, nullptr);
        none.redraw();
        QVERIFY(none.content().background);
        QVERIFY(none.content().caption.isEmpty());
    }

    void paintedInLogicalPixelsAtDoubleScale()
    {
        const ColorPair background{ QColor(0, 0, 0), QColor(200, 200, 200) };
        const ColorPair reds{ QColor(255, 0, 0), QColor(255, 0, 0) };
        const ColorPair greens{ QColor(0, 255, 0), QColor(0, 255, 0) };
        const ColorPair blues{ QColor(0, 0, 255), QColor(0, 0, 255) };
        GraphContent content;
        content.caption = u"2 Cores"_s;
        content.textColor = Qt::black;
        content.background = background;
        content.segments = { { 0.25, reds }, { 0.25, greens }, { 0.25, blues }, { 0.25, reds } };
        content.legend = { { u"System"_s, u"25.0%"_s, reds } };

        // 241 points wide: a bar of 101 from x = 120, 20 below the top.
        const QSizeF size(241, 86);
        QImage image((size * 2).toSize(), QImage::Format_ARGB32);
        image.setDevicePixelRatio(2.0);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            GraphView::drawContent(painter, size, content);
        }
        const auto at = [&](qreal x, qreal y) {
            return QColor(image.pixel(static_cast<int>(x * 2), static_cast<int>(y * 2)));
        };
        // Segment edges fall on whole points, so at 200 % each is exactly two device pixels from the next.
        QCOMPARE(at(144.5, 30), QColor(255, 0, 0));
        QCOMPARE(at(145.0, 30), QColor(0, 255, 0));
        QCOMPARE(at(169.5, 30), QColor(0, 255, 0));
        QCOMPARE(at(170.0, 30), QColor(0, 0, 255));
        QCOMPARE(at(219.5, 30), QColor(255, 0, 0));
        // The point left over at the right end is the background bar's own edge.
        QCOMPARE(at(220.0, 30), QColor(0, 0, 0));
        QCOMPARE(at(221.0, 30), QColor(Qt::white));
        // Legend swatch under the bar: 8 x 8 from (120, 52) in the painter's coordinates.
        QCOMPARE(at(124.0, 56.0), QColor(255, 0, 0));
        QCOMPARE(at(124.0, 50.0), QColor(Qt::white));
    }
};

} // namespace

SPRUCE_GUI_TEST(MonitorViewsTest)
#include "MonitorViewsTest.moc"
