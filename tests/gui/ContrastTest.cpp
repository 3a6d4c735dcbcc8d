// SPDX-License-Identifier: GPL-3.0-or-later
// Every text on every screen, in both looks, keeps a contrast of at least
// 4.5:1 against what is really behind it, judged from rendered pixels; check
// boxes keep a visible outline. The desktop's palette is the opposite of the
// look chosen, as on a dark desktop with the light look and the reverse.

#include "GuiTestSupport.h"
#include "ReviewSupport.h"
#include "monitor/StatusViewController.h"
#include "platform/ColorScheme.h"
#include "platform/UserDefaults.h"
#include "theme/SchemeController.h"
#include "theme/UIUtil.h"
#include "ui/AppDelegate.h"
#include "ui/CategoryDD.h"
#include "ui/DashboardViewController.h"
#include "ui/DetailDD.h"
#include "ui/DetailViewController.h"
#include "ui/FeatureDD.h"
#include "ui/MainWindow.h"
#include "ui/ModuleActivity.h"
#include "ui/ModuleListView.h"
#include "ui/OverviewViewController.h"
#include "ui/PreferencesDialog.h"
#include "ui/ViewController.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <vector>

using namespace Qt::StringLiterals;
using gui::DetailViewController;

namespace {

constexpr double TextMinimum = 4.5; // WCAG AA for body text
constexpr double OutlineMinimum = 3.0; // WCAG AA for the parts of a control
// Rendered at twice the size, so that the cores of thin glyph stems reach
// the full text colour instead of an anti-aliased blend.
constexpr int Scale = 2;
// The tallest line of text in a list or outline cell, ascenders to descenders, in logical pixels.
constexpr int MaxLineHeight = 20;

double luminance(QRgb rgb)
{
    return gui::UIUtil::contrast(QColor(rgb), Qt::black) - 1.0; // monotonic in luminance
}

/// What a region of a rendered image shows: its most frequent colour (the
/// background) and the colour farthest from it in luminance (the text's).
struct RegionColours
{
    QColor background;
    QColor farthest;
    /// The colour that a tenth of the pixels apart from the background
    /// reach or pass in luminance distance: the text's, where a few darker
    /// pixels of a neighbouring line (a descender's tip) would give `farthest`.
    QColor strong;
    double ratio() const { return gui::UIUtil::contrast(background, farthest); }
    double strongRatio() const { return gui::UIUtil::contrast(background, strong); }
};

std::optional<RegionColours> regionColours(const QImage &image, const QRect &region)
{
    const QRect inside = region.intersected(image.rect());
    if (inside.width() < 2 || inside.height() < 2) {
        return std::nullopt;
    }
    QHash<QRgb, int> counts;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); ++x) {
            ++counts[line[x] | 0xff000000U];
        }
    }
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    const double backLuminance = luminance(background);
    QRgb farthest = background;
    double distance = 0.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (const double d = std::abs(luminance(it.key()) - backLuminance); d > distance) {
            distance = d;
            farthest = it.key();
        }
    }
    // Distances of the pixels that are not background (a gradient's steps aside), farthest first.
    std::vector<std::pair<double, QRgb>> ink;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (gui::UIUtil::contrast(QColor(it.key()), QColor(background)) >= 1.02) {
            ink.insert(ink.end(),
                static_cast<std::size_t>(it.value()),
                { std::abs(luminance(it.key()) - backLuminance), it.key() });
        }
    }
    std::sort(ink.begin(), ink.end(), std::greater<>());
    const QRgb strong = ink.empty() ? background : ink[ink.size() / 10].second;
    return RegionColours{ QColor(background), QColor(farthest), QColor(strong) };
}

/// Renders a window and checks every visible text in it.
class ContrastAudit
{
public:
    ContrastAudit(QWidget *window, QString screen)
        : m_window(window)
        , m_screen(std::move(screen))
        , m_image(window->size() * Scale, QImage::Format_RGB32)
    {
        m_image.setDevicePixelRatio(Scale);
        m_image.fill(Qt::magenta); // anything not painted shows up loudly
        window->render(&m_image);
    }

    QStringList faults;
    int checked = 0;

    void checkAll()
    {
        if (auto *menuBar = m_window->findChild<QMenuBar *>(); menuBar != nullptr && menuBar->isVisibleTo(m_window)) {
            checkText(menuBar, menuBar->rect(), u"menu bar"_s);
        }
        const QList<QWidget *> widgets = m_window->findChildren<QWidget *>();
        for (QWidget *widget : widgets) {
            if (widget->window() != m_window || !widget->isVisibleTo(m_window) || !widget->isEnabled()) {
                continue;
            }
            if (auto *label = qobject_cast<QLabel *>(widget)) {
                if (!label->text().trimmed().isEmpty()) {
                    checkText(label, label->contentsRect(), label->text());
                }
            } else if (auto *box = qobject_cast<QCheckBox *>(widget)) {
                checkCheckBox(box);
            } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
                if (!button->text().trimmed().isEmpty()) {
                    checkText(button, button->rect(), button->text());
                } else if (!button->icon().isNull()) {
                    checkIcon(button);
                }
            } else if (auto *field = qobject_cast<QLineEdit *>(widget)) {
                if (!field->text().isEmpty()) {
                    checkText(field, field->rect().adjusted(3, 3, -3, -3), field->text());
                }
            } else if (auto *page = qobject_cast<QTextBrowser *>(widget)) {
                checkPage(page);
            } else if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
                checkCells(view);
            }
        }
    }

    void saveImage(const QString &path) const { m_image.save(path); }

private:
    /// `rect` in `widget`'s coordinates, clipped to what is on view, in image pixels.
    QRect imageRect(QWidget *widget, const QRect &rect) const
    {
        const QRect visible = rect.intersected(widget->visibleRegion().boundingRect());
        if (visible.isEmpty()) {
            return {};
        }
        const QPoint origin = widget->mapTo(m_window, visible.topLeft());
        return QRect(origin * Scale, visible.size() * Scale);
    }

    void report(const QString &what, const QString &text, double ratio, double minimum)
    {
        faults << u"%1: %2 \u201c%3\u201d is %4:1 (at least %5:1)"_s.arg(
            m_screen, what, text.left(40), QString::number(ratio, 'f', 2), QString::number(minimum));
    }

    void checkText(QWidget *widget, const QRect &rect, const QString &text)
    {
        judge(imageRect(widget, rect), widget, text);
    }

    /// `region` in image pixels; `line`: one line of a cell, judged by its strong colour.
    void judge(const QRect &region, QWidget *widget, const QString &text, bool line = false)
    {
        const auto colours = regionColours(m_image, region);
        if (!colours) {
            return; // nothing of it on view
        }
        ++checked;
        const double ratio = line ? colours->strongRatio() : colours->ratio();
        if (ratio < TextMinimum) {
            report(QString::fromLatin1(widget->metaObject()->className()) + u" "_s + widget->objectName(),
                text,
                ratio,
                TextMinimum);
        }
    }

    /// The lines of text in a region, each judged on its own: the rows that
    /// hold any pixel apart from the background (a gradient's steps aside),
    /// grouped where they touch. A cell's lines have colours of their own (a
    /// muted path under a dark name), and the darkest must not hide the faintest.
    void checkLines(QWidget *widget, const QRect &rect, const QString &text)
    {
        const QRect region = imageRect(widget, rect).intersected(m_image.rect());
        const auto whole = regionColours(m_image, region);
        if (!whole) {
            return;
        }
        const QColor background = whole->background;
        // Pixels apart from the background in each row (a gradient's steps are not).
        std::vector<int> ink(static_cast<std::size_t>(region.height()), 0);
        for (int y = region.top(); y <= region.bottom(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
            for (int x = region.left(); x <= region.right(); ++x) {
                if (gui::UIUtil::contrast(QColor(line[x]), background) >= 1.02) {
                    ++ink[static_cast<std::size_t>(y - region.top())];
                }
            }
        }
        const auto judgeRows = [&](auto &self, int from, int to) -> void { // rows [from, to) of the region
            // Two lines that touch (a name's descenders on a path's ascenders)
            // part at the row of least ink in the group's middle.
            if (to - from > MaxLineHeight * Scale) {
                int split = from + (to - from) / 5;
                for (int y = split; y < to - (to - from) / 5; ++y) {
                    if (ink[static_cast<std::size_t>(y)] < ink[static_cast<std::size_t>(split)]) {
                        split = y;
                    }
                }
                self(self, from, split);
                self(self, split + 1, to);
                return;
            }
            // Rows of ink too thin for a glyph are a rule or an edge, not text.
            if (to - from >= 2 * Scale) {
                judge(QRect(region.left(), region.top() + from, region.width(), to - from), widget, text, true);
            }
        };
        int top = -1;
        for (int y = 0; y <= region.height(); ++y) {
            const bool inked = y < region.height() && ink[static_cast<std::size_t>(y)] > 0;
            if (inked && top < 0) {
                top = y;
            } else if (!inked && top >= 0) {
                judgeRows(judgeRows, top, y);
                top = -1;
            }
        }
    }

    void checkCheckBox(QCheckBox *box)
    {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        option.state |= box->isChecked() ? QStyle::State_On : QStyle::State_Off;
        const QRect text = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        checkText(box, text, box->text());
        checkIndicator(box,
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box),
            box->rect(),
            box->isChecked() ? Qt::Checked : Qt::Unchecked,
            box->text());
    }

    /// A check box drawn at `indicator` (in `widget`'s coordinates) on what
    /// `around` shows: its outline stands out from the page, and an unticked
    /// box is hollow, not a filled square.
    void checkIndicator(
        QWidget *widget, const QRect &indicator, const QRect &around, Qt::CheckState state, const QString &text)
    {
        const auto page = regionColours(m_image, imageRect(widget, around));
        const QRect box = imageRect(widget, indicator);
        if (!page || box.width() < 4 * Scale || box.height() < 4 * Scale) {
            return;
        }
        ++checked;
        // The frame: the box's outermost pixels, where no tick is drawn.
        const QColor back = page->background;
        QColor frame = back;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                const bool edge = x - box.left() < 2 * Scale || box.right() - x < 2 * Scale || y - box.top() < 2 * Scale
                    || box.bottom() - y < 2 * Scale;
                const QColor pixel = m_image.pixelColor(x, y);
                if (edge && gui::UIUtil::contrast(pixel, back) > gui::UIUtil::contrast(frame, back)) {
                    frame = pixel;
                }
            }
        }
        const double outline = gui::UIUtil::contrast(back, frame);
        if (outline < OutlineMinimum) {
            report(u"check box outline"_s, text, outline, OutlineMinimum);
        }
        if (state == Qt::Unchecked && gui::UIUtil::contrast(m_image.pixelColor(box.center()), frame) < 1.5) {
            faults << u"%1: the unticked box \u201c%2\u201d is a filled square"_s.arg(m_screen, text);
        }
    }

    /// A button that shows only a line icon: the icon stands out from what is behind it.
    void checkIcon(QAbstractButton *button)
    {
        const auto colours = regionColours(m_image, imageRect(button, button->rect()));
        if (!colours) {
            return;
        }
        ++checked;
        if (colours->ratio() < OutlineMinimum) {
            report(u"icon button "_s + button->objectName(), button->toolTip(), colours->ratio(), OutlineMinimum);
        }
    }

    /// A page of rich text, line band by line band.
    void checkPage(QTextBrowser *page)
    {
        QWidget *viewport = page->viewport();
        const int band = 14;
        for (int y = 0; y + band <= viewport->height(); y += band) {
            const QRect stripe(0, y, viewport->width(), band);
            const auto colours = regionColours(m_image, imageRect(viewport, stripe));
            if (!colours || colours->farthest == colours->background) {
                continue; // between lines
            }
            ++checked;
            if (colours->ratio() < TextMinimum) {
                report(u"page line at %1"_s.arg(y), page->objectName(), colours->ratio(), TextMinimum);
            }
        }
    }

    /// Where a cell's text is: its check box, icon or picture left out.
    static QRect textPart(const QAbstractItemView *view, const QRect &cell)
    {
        const QString name = view->objectName();
        if (name == u"categoryView"_s) {
            return cell.adjusted(
                gui::CategoryCellView::checkRect(cell).right() + 12 + gui::CategoryCellView::ImageSide - cell.left(),
                0,
                0,
                0);
        }
        if (name == u"detailView"_s) {
            return cell.adjusted(
                gui::DetailCellView::checkRect(cell).right() + 10 + gui::DetailCellView::IconSide - cell.left(),
                0,
                0,
                0);
        }
        if (name == u"featureView"_s) {
            return cell.adjusted(8 + gui::FeatureCellView::ImageSide + 8, 0, 0, 0);
        }
        if (qobject_cast<const gui::ModuleListView *>(view) != nullptr) {
            return cell.adjusted(0, cell.height() * 62 / 100, 0, 0);
        }
        return cell;
    }

    void checkCells(QAbstractItemView *view)
    {
        QWidget *viewport = view->viewport();
        std::set<QPersistentModelIndex> seen;
        for (int y = 0; y < viewport->height(); y += 3) {
            const QModelIndex index = view->indexAt(QPoint(viewport->width() / 2, y));
            if (!index.isValid() || !seen.insert(QPersistentModelIndex(index)).second) {
                continue;
            }
            const QString text = index.data(Qt::DisplayRole).toString();
            if (text.trimmed().isEmpty()) {
                continue;
            }
            QRect cell = view->visualRect(index);
            if (auto *tree = qobject_cast<QTreeView *>(view)) {
                cell.setRight(viewport->width() - 1); // the row across every column
                Q_UNUSED(tree)
            }
            if (view->objectName() == u"categoryView"_s || view->objectName() == u"detailView"_s) {
                const QRect box = view->objectName() == u"categoryView"_s ? gui::CategoryCellView::checkRect(cell)
                                                                          : gui::DetailCellView::checkRect(cell);
                if (index.flags().testFlag(Qt::ItemIsUserCheckable)) {
                    checkIndicator(viewport, box, cell, index.data(Qt::CheckStateRole).value<Qt::CheckState>(), text);
                }
            }
            // The names and paths on the left, the sizes and dates on the right, line by line.
            const QRect part = textPart(view, cell).intersected(viewport->rect());
            const int split = part.left() + part.width() * 7 / 10;
            checkLines(viewport, QRect(QPoint(part.left(), part.top()), QPoint(split, part.bottom())), text);
            checkLines(viewport, QRect(QPoint(split + 1, part.top()), part.bottomRight()), text);
        }
    }

    QWidget *m_window;
    QString m_screen;
    QImage m_image;
};

/// Shows `window` at the size the screens are judged at, without slides.
gui::ViewController *showMainWindow(gui::MainWindow &window)
{
    window.resize(1100, 720);
    window.viewController()->getTabViewController()->setAnimationDuration(0);
    window.show();
    return window.viewController();
}

QWidget *screenOf(gui::ViewController *root, const QString &identifier)
{
    return root->getTabViewController()->widget(root->getTabWithIndentifier(identifier));
}

class ContrastTest : public QObject
{
    Q_OBJECT

private:
    QStringList m_faults;
    int m_checked = 0;
    QPalette m_original;

    void audit(QWidget *window, const QString &screen)
    {
        QCoreApplication::processEvents();
        ContrastAudit audit(window, screen);
        audit.checkAll();
        // SPRUCE_CONTRAST_IMAGES=DIR keeps what was judged, one picture per screen.
        if (qEnvironmentVariableIsSet("SPRUCE_CONTRAST_IMAGES")) {
            audit.saveImage(qEnvironmentVariable("SPRUCE_CONTRAST_IMAGES") + u"/"_s + screen + u".png"_s);
        }
        QVERIFY2(audit.checked > 0, qPrintable(screen + u": no text found"_s));
        m_checked += audit.checked;
        m_faults << audit.faults;
    }

    /// The focus ring of each control stands out from what is there without focus.
    static void checkFocusRings(gui::MainWindow &window, DetailViewController *detail, const QString &look)
    {
        gui::ViewController *root = window.viewController();
        root->switchTabTo(u"systemJunkDetail"_s);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(detail->cleanButton()->isEnabled());
        auto render = [&window] {
            QCoreApplication::processEvents();
            QImage image(window.size() * Scale, QImage::Format_RGB32);
            image.setDevicePixelRatio(Scale);
            window.render(&image);
            return image;
        };
        for (QWidget *widget : { static_cast<QWidget *>(root->moduleView()),
                 static_cast<QWidget *>(detail->categoryView()),
                 static_cast<QWidget *>(detail->cleanButton()) }) {
            const QString name = look + u" "_s + widget->objectName();
            detail->searchField()->setFocus(Qt::OtherFocusReason);
            const QImage without = render();
            widget->setFocus(Qt::TabFocusReason);
            QVERIFY2(widget->hasFocus(), qPrintable(name));
            const QImage with = render();
            // The middle of each side, on the ring (the outermost two pixels).
            const QRect area(widget->mapTo(&window, QPoint(0, 0)), widget->size());
            const QPoint sides[] = { QPoint(area.left(), area.center().y()),
                QPoint(area.right(), area.center().y()),
                QPoint(area.center().x(), area.top()),
                QPoint(area.center().x(), area.bottom()) };
            for (const QPoint &side : sides) {
                const QPoint at =
                    side * Scale + QPoint(side.x() == area.right() ? 1 : 0, side.y() == area.bottom() ? 1 : 0);
                const double ring = gui::UIUtil::contrast(with.pixelColor(at), without.pixelColor(at));
                QVERIFY2(ring >= OutlineMinimum,
                    qPrintable(u"%1: the focus ring at (%2, %3) is %4:1 against what is there without focus"_s.arg(name)
                                   .arg(side.x())
                                   .arg(side.y())
                                   .arg(ring)));
            }
        }
    }

private Q_SLOTS:
    void init()
    {
        m_original = QApplication::palette();
        m_faults.clear();
        m_checked = 0;
    }
    void cleanup()
    {
        core::UIInfo::setVariant(core::ThemeVariant::Light);
        QApplication::setPalette(m_original);
    }

    void theAuditCatchesUnreadableText()
    {
        // A near-white label on a light page, the fault a dark desktop palette caused.
        QWidget page;
        page.resize(300, 120);
        QPalette light;
        light.setColor(QPalette::Window, QColor(0xf8, 0xfa, 0xf9));
        light.setColor(QPalette::WindowText, QColor(0x1c, 0x2e, 0x27));
        page.setPalette(light);
        page.setAutoFillBackground(true);
        auto *readable = new QLabel(u"Move to Trash instead of deleting"_s, &page);
        readable->setGeometry(10, 10, 280, 30);
        auto *faint = new QLabel(u"Some items were not deleted"_s, &page);
        faint->setObjectName(u"faint"_s);
        faint->setGeometry(10, 60, 280, 30);
        QPalette washed = light;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        int checked = 0;
        const auto faultsWith = [&](const QColor &text) {
            washed.setColor(QPalette::WindowText, text);
            faint->setPalette(washed);
            ContrastAudit audit(&page, u"sample"_s);
            audit.checkAll();
            checked = audit.checked;
            return audit.faults;
        };
        const QStringList faults = faultsWith(QColor(0xe8, 0xe8, 0xe8));
        QCOMPARE(checked, 2);
        QCOMPARE(faults.size(), 1);
        QVERIFY2(faults[0].contains(u"faint"_s), qPrintable(faults.join(u'\n')));
        // A muted text just under the mark fails too; one just over it passes.
        QCOMPARE(faultsWith(QColor(0x7d, 0x7d, 0x7d)).size(), 1); // about 4.1:1 on the page
        QVERIFY(faultsWith(QColor(0x6e, 0x6e, 0x6e)).isEmpty()); // about 5:1
    }

    void everyScreenInBothLooks_data()
    {
        QTest::addColumn<bool>("darkDesktop");
        QTest::newRow("light look on a dark desktop, then dark") << true;
        QTest::newRow("dark look on a light desktop, then light") << false;
    }
    void everyScreenInBothLooks()
    {
        QFETCH(bool, darkDesktop);
        gui_tests::ReviewEnvironment env;
        env.addLargeAndOldFiles();
        QApplication::setPalette(gui::desktopPalette(darkDesktop));
        gui::DesktopScheme desktop(QApplication::palette().color(QPalette::Window), /*askPortal=*/false);
        gui::UserDefaults defaults(QString::fromStdString(env.path("defaults.ini")));
        defaults.setBool(u"HasLaunchedOnce"_s, true);
        // The look the desktop does not have, as a fixed choice.
        defaults.setString(u"ColorScheme"_s, darkDesktop ? u"Light"_s : u"Dark"_s);
        gui::AppDelegate app(gui::AppDelegateOptions{
            gui_tests::RecordingOpener().function(), &defaults, gui::StatusItemMode::Never, &desktop });
        app.schemes().apply();
        gui::MainWindow window(app);
        gui::ViewController *root = showMainWindow(window);
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto screen = [root](const QString &identifier) {
            return screenOf(root, identifier);
        };
        auto show = [root](const QString &identifier) {
            root->switchTabTo(identifier);
            QTest::qWait(50);
        };

        // The dashboard after its scan of every module, with the Review buttons; the
        // overviews scan again after it.
        show(u"dashboard"_s);
        auto *dashboard = qobject_cast<gui::DashboardViewController *>(screen(u"dashboard"_s));
        QVERIFY(dashboard != nullptr);
        dashboard->scanAll();
        QVERIFY(gui_tests::waitFor([] {
            return !gui::ModuleActivity::instance().isBusy(1) && !gui::ModuleActivity::instance().isBusy(2)
                && !gui::ModuleActivity::instance().isBusy(3);
        }));

        // The two detail screens with findings, and a clean that left something behind.
        for (const QString &name : { u"systemJunk"_s, u"largeAndOldFile"_s }) {
            show(name + u"Overview"_s);
            auto *overview = qobject_cast<gui::OverviewViewController *>(screen(name + u"Overview"_s));
            QVERIFY(overview != nullptr);
            overview->scan();
            QVERIFY(gui_tests::waitFor([overview] {
                return overview->scanStatus() == 1;
            }));
        }
        auto *junk = qobject_cast<DetailViewController *>(screen(u"systemJunkDetail"_s));
        auto *large = qobject_cast<DetailViewController *>(screen(u"largeAndOldFileDetail"_s));
        QVERIFY(junk != nullptr && large != nullptr);
        // Logs are held by a running program: the clean reports them as not deleted.
        core::ModuleInfo::modules()[1].categories[2].runningApps = { "spruce_gui_tests" };
        junk->setConfirmer([](QWidget *, const DetailViewController::CleanQuestion &) {
            return true;
        });
        junk->categoryDD()->setData(junk->categoryDD()->index(2, 0), Qt::Checked, Qt::CheckStateRole);
        junk->cleanButton()->click();
        QVERIFY(gui_tests::waitUntilIdle(1));
        QVERIFY(junk->failureLabel()->isVisibleTo(junk));
        junk->categoryView()->setCurrentIndex(junk->categoryDD()->index(1, 0));
        junk->categoryDD()->setData(junk->categoryDD()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        junk->detailView()->expandAll();
        large->categoryView()->setCurrentIndex(large->categoryDD()->index(2, 0));
        large->categoryDD()->setData(large->categoryDD()->index(2, 0), Qt::Checked, Qt::CheckStateRole);
        large->detailDD()->setData(large->detailDD()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);

        const bool firstDark = !darkDesktop;
        for (const bool dark : { firstDark, !firstDark }) {
            if (dark != firstDark) {
                // Switched while running: every screen already built follows.
                app.schemes().setChoice(dark ? gui::SchemeChoice::Dark : gui::SchemeChoice::Light);
            }
            const QString look = dark ? u"dark-"_s : u"light-"_s;
            checkFocusRings(window, junk, look);
            for (const QString &identifier : { u"dashboard"_s,
                     u"systemJunkOverview"_s,
                     u"applicationJunkOverview"_s,
                     u"largeAndOldFileOverview"_s,
                     u"systemJunkDetail"_s,
                     u"largeAndOldFileDetail"_s,
                     u"moreTool"_s }) {
                show(identifier);
                audit(&window, look + identifier);
            }
            // The confirmation, answered "Cancel".
            show(u"largeAndOldFileDetail"_s);
            large->trashBox()->setChecked(true);
            bool asked = false;
            large->setConfirmer([&](QWidget *parent, const DetailViewController::CleanQuestion &question) {
                QTimer::singleShot(0, [&] {
                    if (QWidget *dialog = QApplication::activeModalWidget()) {
                        asked = true;
                        audit(dialog, look + u"confirmation"_s);
                        dialog->close();
                    }
                });
                return DetailViewController::confirmClean(parent, question);
            });
            large->cleanButton()->click();
            QVERIFY(asked);
            // The status popover's content.
            gui::StatusViewController status;
            status.show();
            QVERIFY(QTest::qWaitForWindowExposed(&status));
            audit(&status, look + u"popover"_s);
            status.close();
            // The preferences page.
            gui::PreferencesDialog *preferences = gui::PreferencesDialog::showFor(&window);
            QVERIFY(QTest::qWaitForWindowExposed(preferences));
            audit(preferences, look + u"preferences"_s);
            preferences->close();
        }
        QVERIFY2(m_faults.isEmpty(), qPrintable(m_faults.join(u'\n')));
        QVERIFY(m_checked > 100);
    }
};

} // namespace

SPRUCE_GUI_TEST(ContrastTest)
#include "ContrastTest.moc"
