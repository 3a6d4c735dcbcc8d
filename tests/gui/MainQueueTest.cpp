// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt binding of the main queue: one job at a time in posting order, in
// turns that give the event loop back during a long burst.

#include "GuiTestSupport.h"
#include "platform/QtDispatcher.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

class MainQueueTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QVERIFY(std::is_sorted(order.begin(), order.end()));
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
};

} // namespace

SPRUCE_GUI_TEST(MainQueueTest)
#include "MainQueueTest.moc"
