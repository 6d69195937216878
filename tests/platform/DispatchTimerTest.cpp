#include "platform/DispatchTimer.h"

#include "platform/MainQueue.h"
#include "testkit/TestHelpers.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using platform::DispatchTimer;
using testing_support::spinFor;
using testing_support::waitUntil;

TEST(DispatchTimer, FirstFiresAfterTheStartDelayThenEveryPeriod) {
    QElapsedTimer clock;
    std::vector<qint64> firings;
    DispatchTimer timer([&] { firings.push_back(clock.elapsed()); });
    clock.start();
    timer.schedule(60ms, 30ms);
    ASSERT_TRUE(waitUntil([&] { return firings.size() >= 4; }, 2s));
    EXPECT_GE(firings[0], 55);
    // Later firings follow the period, measured from deadlines, not from the handler.
    EXPECT_GE(firings[3] - firings[0], 80);
    EXPECT_LT(firings[3] - firings[0], 400);
}

TEST(DispatchTimer, SuspensionNestsAndAMissedDeadlineFiresOnceOnResume) {
    int firings = 0;
    DispatchTimer timer([&] { ++firings; });
    timer.schedule(30ms, 1000ms);
    timer.suspend();
    timer.suspend();
    spinFor(80ms);
    EXPECT_EQ(firings, 0);
    timer.resume();
    spinFor(30ms);
    EXPECT_EQ(firings, 0) << "still suspended once";
    timer.resume();
    ASSERT_TRUE(waitUntil([&] { return firings == 1; }, 500ms));
    spinFor(50ms);
    EXPECT_EQ(firings, 1) << "missed periods are not replayed";
}

TEST(DispatchTimer, CancelAndRescheduleFromTheHandler) {
    int firings = 0;
    DispatchTimer timer;
    timer.setHandler([&] {
        ++firings;
        if (firings == 2)
            timer.cancel();
    });
    timer.schedule(5ms, 10ms);
    spinFor(150ms);
    EXPECT_EQ(firings, 2);

    // A new schedule replaces the old one entirely; a zero period fires once.
    timer.schedule(5ms, 0ms);
    ASSERT_TRUE(waitUntil([&] { return firings == 3; }, 500ms));
    spinFor(100ms);
    EXPECT_EQ(firings, 3);
    EXPECT_FALSE(timer.isScheduled());
}

TEST(MainQueue, RunsPostedWorkOnTheMainThreadInOrder) {
    EXPECT_TRUE(platform::MainQueue::isMainThread());
    std::vector<int> order;
    bool ranOnMain = true;
    std::thread poster([&] {
        EXPECT_FALSE(platform::MainQueue::isMainThread());
        for (int i = 0; i < 10; ++i)
            platform::MainQueue::dispatchAsync([&, i] {
                ranOnMain = ranOnMain && platform::MainQueue::isMainThread();
                order.push_back(i);
            });
        platform::MainQueue::dispatchAfter(20ms, [&] { order.push_back(99); });
    });
    poster.join();
    ASSERT_TRUE(waitUntil([&] { return order.size() == 11; }, 2s));
    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 99}));
}

} // namespace
