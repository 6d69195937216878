#include "platform/SerialExecutor.h"

#include <gtest/gtest.h>
#include <semaphore>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using platform::SerialExecutor;

TEST(SerialExecutor, RunsWorkOneAtATimeInSubmissionOrderOffTheCallingThread) {
    SerialExecutor queue(u"test.order"_s);
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::thread::id workerThread;
    for (int i = 0; i < 200; ++i) {
        queue.async([&, i] {
            if (running.fetch_add(1) != 0)
                overlapped = true;
            order.push_back(i);
            workerThread = std::this_thread::get_id();
            running.fetch_sub(1);
        });
    }
    queue.waitUntilIdle();
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST(SerialExecutor, CancelDropsQueuedWorkAndFlagsTheRunningItem) {
    SerialExecutor queue(u"test.cancel"_s);
    std::binary_semaphore started{0};
    std::atomic<bool> sawCancellation{false};
    std::atomic<int> laterRuns{0};
    queue.async([&](const SerialExecutor::CancellationFlag& cancelled) {
        started.release();
        while (!cancelled->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawCancellation = true;
    });
    for (int i = 0; i < 5; ++i)
        queue.async([&] { ++laterRuns; });
    started.acquire();
    queue.cancelAll();
    queue.waitUntilIdle();
    EXPECT_TRUE(sawCancellation);
    EXPECT_EQ(laterRuns.load(), 0);

    // The queue keeps working after a cancellation.
    queue.async([&] { ++laterRuns; });
    queue.waitUntilIdle();
    EXPECT_EQ(laterRuns.load(), 1);
}

TEST(SerialExecutor, SyncWaitsForEarlierWorkAndRunsInlineFromTheWorker) {
    SerialExecutor queue(u"test.sync"_s);
    std::vector<int> order;
    queue.async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        order.push_back(1);
    });
    queue.sync([&] {
        order.push_back(2);
        // Nested sync on the worker must not deadlock.
        queue.sync([&] { order.push_back(3); });
    });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(SerialExecutor, DestructionFinishesQueuedWork) {
    std::atomic<int> runs{0};
    {
        SerialExecutor queue(u"test.drain"_s);
        for (int i = 0; i < 50; ++i)
            queue.async([&] { ++runs; });
    }
    EXPECT_EQ(runs.load(), 50);
}

} // namespace
