#include "support/NVSBaseTask.h"

#include "testkit/TestHelpers.h"

#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using testing_support::waitUntil;

// Observers of a task fed from worker threads must still be told on the main thread, in order.
TEST(NVSBaseTaskTest, ChangesFromAnyThreadReachObserversOnTheMainThreadInOrder) {
    NVSBaseTask task(u"Upload"_s);
    QList<double> ratios;
    bool onlyMainThread = true;
    QObject::connect(&task, &NVSBaseTask::taskProgressRatioChanged, &task, [&] {
        ratios.append(task.taskProgressRatio());
        onlyMainThread = onlyMainThread && QThread::currentThread() == task.thread();
    });
    std::thread worker([&] {
        task.setRequiresProgressAsynchronouslyTo(true);
        for (const double ratio : {0.25, 0.5, 1.5, -1.0})
            task.setProgressAsynchronouslyTo(ratio);
    });
    worker.join();
    EXPECT_FALSE(task.taskRequiresProgress()) << "applied at once instead of on the main queue";
    ASSERT_TRUE(waitUntil([&] { return ratios.size() == 4; }));
    EXPECT_TRUE(onlyMainThread);
    EXPECT_EQ(ratios, (QList<double>{0.25, 0.5, 1.0, 0.0}));
    EXPECT_TRUE(task.taskRequiresProgress());
}
