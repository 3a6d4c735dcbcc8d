// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt adapters: the dispatcher binding (one main job at a time in posting
// order, in turns that give the event loop back during a long burst), links,
// fonts, styling, images, popover placement and the slide animation.

#include "GuiTestSupport.h"
#include "platform/Fonts.h"
#include "platform/ImageStore.h"
#include "platform/LinkOpener.h"
#include "platform/Popover.h"
#include "platform/QtDispatcher.h"
#include "platform/SlideStack.h"
#include "theme/UIUtil.h"

#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

class PlatformTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dispatcherRunsMainJobsInOrderOnTheGuiThread()
    {
        QObject context;
        gui::QtDispatcher dispatcher(&context);
        QVERIFY(dispatcher.pool().maxThreadCount() >= 8);

        constexpr int Jobs = 500;
        std::vector<int> order;
        std::atomic<int> offMainThread{ 0 };
        bool allOnMain = true;
        // Post from a worker, as scan jobs do, while the GUI thread is busy elsewhere.
        dispatcher.async([&] {
            if (QThread::currentThread() == qApp->thread()) {
                ++offMainThread;
            }
            for (int i = 0; i < Jobs; ++i) {
                dispatcher.asyncMain([&order, &allOnMain, i] {
                    allOnMain = allOnMain && QThread::currentThread() == qApp->thread();
                    order.push_back(i);
                });
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(order.size()), Jobs, 5000);
        QCOMPARE(offMainThread.load(), 0);
        QVERIFY(allOnMain);
        QVERIFY(std::is_sorted(order.begin(), order.end()));
    }

    void dispatcherRunsBackgroundJobsConcurrently()
    {
        QObject context;
        gui::QtDispatcher dispatcher(&context);
        // Eight jobs that each wait for all eight to have started: they only finish if they run at once.
        std::atomic<int> started{ 0 };
        std::atomic<int> finished{ 0 };
        for (int i = 0; i < 8; ++i) {
            dispatcher.async([&] {
                ++started;
                for (int spin = 0; spin < 5000 && started.load() < 8; ++spin) {
                    QThread::msleep(1);
                }
                if (started.load() == 8) {
                    ++finished;
                }
            });
        }
        dispatcher.pool().waitForDone(10000);
        QCOMPARE(finished.load(), 8);
    }

    void aLongBurstLetsTheEventLoopIn()
    {
        QObject context;
        gui::QtDispatcher dispatcher(&context);
        constexpr int Jobs = 60;
        std::vector<int> order;
        int doneWhenTimerRan = -1;
        // Each job keeps the GUI thread 1 ms: 60 in one go would hold the loop for 60 ms.
        // The first one starts a timer, which can only fire once the loop gets the thread back.
        for (int i = 0; i < Jobs; ++i) {
            dispatcher.asyncMain([&order, &doneWhenTimerRan, i] {
                if (i == 0) {
                    QTimer::singleShot(0, [&order, &doneWhenTimerRan] {
                        doneWhenTimerRan = static_cast<int>(order.size());
                    });
                }
                QElapsedTimer busy;
                busy.start();
                while (busy.nsecsElapsed() < 1'000'000) { }
                order.push_back(i);
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(order.size()), Jobs, 5000);
        QVERIFY2(doneWhenTimerRan >= 0 && doneWhenTimerRan < Jobs / 2, "the timer waited for the whole burst");
    }

    void aJobPostedByAJobRunsAfterTheQueuedOnes()
    {
        QObject context;
        gui::QtDispatcher dispatcher(&context);
        std::vector<char> order;
        dispatcher.asyncMain([&] {
            order.push_back('a');
            dispatcher.asyncMain([&] {
                order.push_back('c');
            });
        });
        dispatcher.asyncMain([&] {
            order.push_back('b');
        });
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t{ 3 }, 5000);
        QCOMPARE(order, (std::vector<char>{ 'a', 'b', 'c' }));
    }

    void jobsLeftWhenTheContextGoesAreDropped()
    {
        auto context = std::make_unique<QObject>();
        std::atomic<int> ran{ 0 };
        {
            gui::QtDispatcher dispatcher(context.get());
            dispatcher.asyncMain([&ran] {
                ++ran;
            });
            context.reset();
        }
        QTest::qWait(20);
        QCOMPARE(ran.load(), 0);
    }
    void linkValuesBecomeUrls_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected"); // empty: invalid
        QTest::newRow("absolute web") << u"https://example.org/help"_s << u"https://example.org/help"_s;
        QTest::newRow("shipped page") << u"help/index.html"_s << u"file:///opt/spruce/help/index.html"_s;
        QTest::newRow("shipped page with anchor")
            << u"help/index.html#scan"_s << u"file:///opt/spruce/help/index.html#scan"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("space in host") << u"http://exa mple.org"_s << QString();
    }
    void linkValuesBecomeUrls()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const QUrl url = gui::LinkOpener::linkUrl(value, u"/opt/spruce"_s);
        if (expected.isEmpty()) {
            QVERIFY2(!url.isValid(), qPrintable(url.toString()));
        } else {
            QCOMPARE(url.toString(), expected);
        }
        // Without a folder to resolve against, a relative value opens nothing.
        if (QUrl(value).isRelative()) {
            QVERIFY(!gui::LinkOpener::linkUrl(value, QString()).isValid());
        }
    }

    void openingReportsOnlySuccess()
    {
        gui_tests::Environment env;
        gui_tests::RecordingOpener opener;
        gui::LinkOpener links(opener.function());
        QVERIFY(links.openLink("help_link"));
        QVERIFY(links.openLink("facebook_link"));
        *opener.result = false;
        QVERIFY(!links.openLink("help_link"));
        QVERIFY(!links.openLink("no_such_link"));
        QCOMPARE(opener.opened->size(), 3U);
        QCOMPARE(opener.opened->at(0), opener.opened->at(2));
        QCOMPARE(env.stdoutLines(), std::vector<std::string>(2, "successfully opened"));
    }

    void fontNamesAreTakenApart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("weight");
        QTest::addColumn<bool>("italic");
        QTest::newRow("roman") << u"Times-Roman"_s << u"Times"_s << int(QFont::Normal) << false;
        QTest::newRow("bold") << u"HelveticaNeue-Bold"_s << u"HelveticaNeue"_s << int(QFont::Bold) << false;
        QTest::newRow("semibold is not bold") << u"System-Semibold"_s << u"System"_s << int(QFont::DemiBold) << false;
        QTest::newRow("ultralight is not light")
            << u"Avenir-UltraLight"_s << u"Avenir"_s << int(QFont::ExtraLight) << false;
        QTest::newRow("bold italic, MT suffix") << u"Arial-BoldItalicMT"_s << u"Arial"_s << int(QFont::Bold) << true;
        QTest::newRow("MT family") << u"ArialMT"_s << u"Arial"_s << int(QFont::Normal) << false;
        QTest::newRow("no style") << u"Cantarell"_s << u"Cantarell"_s << int(QFont::Normal) << false;
    }
    void fontNamesAreTakenApart()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(int, weight);
        QFETCH(bool, italic);
        const gui::FontName parsed = gui::parseFontName(name);
        QCOMPARE(parsed.family, family);
        QCOMPARE(int(parsed.weight), weight);
        QCOMPARE(parsed.italic, italic);
    }

    void fontsResolveToInstalledFamiliesInPixels()
    {
        const QString desktop = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        QCOMPARE(gui::familiesFor(u"System"_s), QStringList{ desktop });
        // Whatever is installed, the list ends with a family that exists.
        QCOMPARE(gui::familiesFor(u"NoSuchFamilyAnywhere"_s), QStringList{ desktop });
        if (QFontDatabase::hasFamily(u"Liberation Serif"_s)) {
            QCOMPARE(gui::familiesFor(u"Times"_s).first(), u"Liberation Serif"_s);
        }
        const QFont font = gui::fontWithName(u"Times-Roman"_s, 13.4);
        QCOMPARE(font.pixelSize(), 13);
        QCOMPARE(gui::fontWithName(u"System"_s, std::nan("")).pixelSize(), 12);
        QCOMPARE(gui::fontWithName(u"System"_s, -5).pixelSize(), 1);
    }

    void themeColoursKeepTheirNumbers()
    {
        // Opacity used as it stands, components divided by 255 and not clamped.
        const QColor half = gui::UIUtil::color(core::Rgba{ 255, 255, 255, 0.5 });
        QVERIFY(qAbs(half.alphaF() - 0.5f) < 1e-3f); // not 0.5 / 255
        QCOMPARE(half.redF(), 1.0f);
        const QColor loud = gui::UIUtil::color(core::Rgba{ 300, 0, 0, 1 });
        QVERIFY2(qAbs(loud.redF() - 300.0f / 255.0f) < 2e-3f, qPrintable(QString::number(loud.redF())));
    }

    void buttonBackgroundOnlyWhenBalphaIsPositiveAndPainted()
    {
        core::MyUI style;
        style.name = "System-Bold";
        style.size = 15;
        style.red = 255;
        style.green = 255;
        style.blue = 255;
        QPushButton button;
        gui::UIUtil::setBtnAttribute(&button, u"Scan"_s, style);
        QCOMPARE(button.text(), u"Scan"_s);
        QCOMPARE(button.font().pixelSize(), 15);
        QVERIFY(!button.property("layerBackground").isValid());
        QVERIFY(!button.styleSheet().contains(u"background"_s));

        style.bred = 46;
        style.bgreen = 128;
        style.bblue = 92;
        style.balpha = 0.3;
        gui::UIUtil::setBtnAttribute(&button, u"Review"_s, style);
        const QColor background = button.property("layerBackground").value<QColor>();
        QVERIFY(qAbs(background.alphaF() - 0.3f) < 1e-3f);
        QCOMPARE(background.red(), 46);

        // balpha 0 afterwards leaves the background that is there.
        style.balpha = 0.0;
        gui::UIUtil::setBtnAttribute(&button, u"Re-Scan"_s, style);
        QCOMPARE(button.property("layerBackground").value<QColor>(), background);
        QCOMPARE(button.text(), u"Re-Scan"_s);

        // An opaque background is what is painted.
        style.bred = 200;
        style.bgreen = 20;
        style.bblue = 40;
        style.balpha = 1.0;
        button.resize(120, 40);
        gui::UIUtil::setBtnAttribute(&button, u"Clean"_s, style);
        const QImage shot = button.grab().toImage();
        QCOMPARE(shot.pixelColor(shot.width() / 2, 3), QColor(200, 20, 40));
    }

    void textStyleRestylesTheShownText()
    {
        core::MyUI style;
        style.name = "System-Regular";
        style.size = 17;
        style.red = 10;
        style.green = 20;
        style.blue = 30;
        style.alpha = 0.8;
        QLabel label(u"Scanning Completed!"_s);
        gui::UIUtil::setTextAttribute(&label, style);
        QCOMPARE(label.text(), u"Scanning Completed!"_s);
        QCOMPARE(label.font().pixelSize(), 17);
        QCOMPARE(
            label.palette().color(QPalette::WindowText), QColor::fromRgbF(10 / 255.f, 20 / 255.f, 30 / 255.f, 0.8f));
    }

    void everyImageTheApplicationNamesExists()
    {
        gui_tests::Environment env;
        const auto catalogue = core::ModuleInfo::loadCatalogue(
            gui_tests::sourceResources() + "/SpruceModules.plist", env.home.path().toStdString());
        QVERIFY(catalogue.has_value());
        QStringList names = { u"Status"_s,
            u"CPU"_s,
            u"Memory"_s,
            u"Disk"_s,
            u"iTunes"_s,
            u"spruce"_s,
            u"toolbar_help"_s,
            u"toolbar_community"_s };
        for (int level = 1; level <= 5; ++level) {
            names << u"Battery-%1"_s.arg(level);
        }
        const auto &modules = catalogue.value();
        for (std::size_t m = 0; m < modules.size(); ++m) {
            const QString image = QString::fromStdString(modules[m].image);
            names << image;
            if (m >= 1 && m <= 3) {
                names << image + u"_Overview"_s << image + u"_Review"_s;
            }
            for (const auto &feature : modules[m].features) {
                names << QString::fromStdString(feature.image);
            }
            for (const auto &category : modules[m].categories) {
                names << QString::fromStdString(category.image);
            }
        }
        for (const QString &name : std::as_const(names)) {
            QVERIFY2(!gui::ImageStore::path(name).isEmpty(), qPrintable(name));
            const QPixmap pixmap = gui::ImageStore::pixmap(name, QSize(32, 32), 2.0);
            QVERIFY2(!pixmap.isNull(), qPrintable(name));
            QCOMPARE(pixmap.size(), QSize(64, 64));
            // Something is drawn: a good part of the square is not transparent.
            const QImage image = pixmap.toImage();
            int painted = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    painted += image.pixelColor(x, y).alpha() > 0 ? 1 : 0;
                }
            }
            QVERIFY2(painted > image.width() * image.height() / 10, qPrintable(name));
        }
        QVERIFY(env.log.systemLines().empty());
    }

    void missingImageIsEmptyAndLoggedOnce()
    {
        gui_tests::Environment env;
        QVERIFY(gui::ImageStore::pixmap(u"NoSuchImage"_s, QSize(16, 16)).isNull());
        QVERIFY(gui::ImageStore::pixmap(u"NoSuchImage"_s, QSize(24, 24)).isNull());
        QVERIFY(gui::ImageStore::icon(u"NoSuchImage"_s).isNull());
        QCOMPARE(env.log.systemLines().size(), 1U);
    }

    void popoverStaysOnScreen_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("expected");
        // 200 x 100 popover, gap of 6.
        QTest::newRow("top bar: below, centred") << QRect(490, 0, 20, 24) << QRect(400, 30, 200, 100);
        QTest::newRow("bottom panel: above") << QRect(490, 776, 20, 24) << QRect(400, 670, 200, 100);
        QTest::newRow("right corner: kept inside") << QRect(980, 0, 20, 24) << QRect(800, 30, 200, 100);
        QTest::newRow("left corner: kept inside") << QRect(0, 776, 20, 24) << QRect(0, 670, 200, 100);
    }
    void popoverStaysOnScreen()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, expected);
        QCOMPARE(gui::Popover::placement(anchor, QSize(200, 100), QRect(0, 0, 1000, 800)), expected);
    }

    void slideMovesTheRealScreensAndEnds()
    {
        gui::SlideStack stack;
        auto *first = new QLabel(u"first"_s);
        auto *second = new QLabel(u"second"_s);
        auto *third = new QLabel(u"third"_s);
        stack.addWidget(first);
        stack.addWidget(second);
        stack.addWidget(third);
        stack.resize(400, 300);
        stack.setAnimationDuration(120);
        stack.show();
        QVERIFY(QTest::qWaitForWindowExposed(&stack));

        stack.transition(0, 1, gui::SlideTransition::SlideLeft);
        QVERIFY(stack.isAnimating());
        QVERIFY(second->isVisible());
        QVERIFY(second->x() > 0); // coming in from the right-hand side
        QTRY_VERIFY_WITH_TIMEOUT(!stack.isAnimating(), 2000);
        QCOMPARE(stack.currentIndex(), 1);
        QCOMPARE(second->geometry(), stack.contentsRect());
        QVERIFY(!first->isVisible());

        // A new switch during a slide first brings the running one to its end.
        stack.transition(1, 2, gui::SlideTransition::SlideUp);
        QVERIFY(third->y() > 0); // coming in from below
        stack.transition(2, 0, gui::SlideTransition::SlideRight);
        QVERIFY(!second->isVisible());
        QVERIFY(first->x() < 0); // coming in from the left-hand side
        QTRY_VERIFY_WITH_TIMEOUT(!stack.isAnimating(), 2000);
        QCOMPARE(stack.currentIndex(), 0);
        QCOMPARE(first->pos(), QPoint(0, 0));
        QVERIFY(!third->isVisible());
    }
};

} // namespace

SPRUCE_GUI_TEST(PlatformTest)
#include "PlatformTest.moc"
