// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ThreadPoolDispatcher.h"
#include "support/ManualDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using core::platform::RunLoop;
using core::platform::ThreadPoolDispatcher;

TEST(DispatcherTest, MainQueueRunsInPostingOrderOnTheDrainingThread)
{
    RunLoop loop;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    {
        ThreadPoolDispatcher dispatcher(loop, 4);
        std::atomic<int> finished{ 0 };
        for (int job = 0; job < 50; ++job) {
            dispatcher.async([&dispatcher, &order, &threads, &finished, job] {
                // Each job posts two ordered callbacks from its own worker thread.
                dispatcher.asyncMain([&order, &threads, job] {
                    order.push_back(job * 2);
                    threads.push_back(std::this_thread::get_id());
                });
                dispatcher.asyncMain([&order, job] {
                    order.push_back(job * 2 + 1);
                });
                ++finished;
            });
        }
        ASSERT_TRUE(loop.runUntil(
            [&] {
                return order.size() == 100;
            },
            std::chrono::seconds(20)));
        EXPECT_EQ(dispatcher.mainJobsPosted(), 100U);
    }
    // Jobs interleave freely, but each job's two callbacks keep their order.
    std::vector<std::size_t> position(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        position[static_cast<std::size_t>(order[k])] = k;
    }
    for (std::size_t job = 0; job < 50; ++job) {
        EXPECT_LT(position[job * 2], position[job * 2 + 1]) << "a job's second callback overtook its first";
    }
    for (const auto id : threads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
}

TEST(DispatcherTest, DestructionDrainsQueuedBackgroundJobs)
{
    RunLoop loop;
    std::atomic<int> ran{ 0 };
    {
        ThreadPoolDispatcher dispatcher(loop, 2);
        for (int job = 0; job < 200; ++job) {
            dispatcher.async([&ran] {
                ++ran;
            });
        }
    }
    EXPECT_EQ(ran.load(), 200);
}

TEST(DispatcherTest, RunUntilTimesOutWhenNothingHappens)
{
    RunLoop loop;
    EXPECT_FALSE(loop.runUntil(
        [] {
            return false;
        },
        std::chrono::milliseconds(20)));
    int ran = 0;
    loop.post([&ran] {
        ++ran;
    });
    loop.post([&loop, &ran] {
        loop.post([&ran] {
            ++ran;
        });
    });
    EXPECT_EQ(loop.runPending(), 3U);
    EXPECT_EQ(ran, 2);
}

TEST(DispatcherTest, ManualDispatcherRunsOnlyWhenStepped)
{
    testing_support::ManualDispatcher dispatcher;
    std::vector<std::string> log;
    dispatcher.async([&] {
        log.emplace_back("bg");
        dispatcher.asyncMain([&] {
            log.emplace_back("main");
        });
    });
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(dispatcher.runMain(), 0U);
    EXPECT_EQ(dispatcher.runBackground(), 1U);
    EXPECT_EQ(dispatcher.pendingMain(), 1U);
    dispatcher.runAllQueues();
    EXPECT_EQ(log, (std::vector<std::string>{ "bg", "main" }));
}
