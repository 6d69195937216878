#include "support/NVSBaseTask.h"

#include "testkit/TestHelpers.h"

#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using testing_support::waitUntil;

TEST(NVSBaseTaskTest, StatusDecidesBusyAndImages) {
    struct Case {
        int status;
        bool busy;
        const char* image;
        const char* icon;
    };
    const Case cases[] = {
        {NVSBaseTask::NotStarted, false, "", ""},
        {NVSBaseTask::Busy, true, "", ""},
        {NVSBaseTask::Done, false, "NewCheckmark", "emblem-ok-symbolic"},
        {NVSBaseTask::Failed, false, "NewCross", "dialog-error-symbolic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        NVSBaseTask task(QStringLiteral("Upload"));
        task.setStatusAsynchronouslyTo(c.status, QStringLiteral("text"));
        ASSERT_TRUE(waitUntil([&] { return task.taskStatusString() == QLatin1String("text"); }));
        EXPECT_EQ(task.taskStatus(), c.status);
        EXPECT_EQ(task.isBusy(), c.busy);
        EXPECT_EQ(task.statusImage(), QLatin1String(c.image));
        EXPECT_EQ(task.statusIconName(), QLatin1String(c.icon));
    }
}

// Observers of a task fed from worker threads must still be told on the main thread, in order.
TEST(NVSBaseTaskTest, ChangesFromAnyThreadReachObserversOnTheMainThreadInOrder) {
    NVSBaseTask task(QStringLiteral("Upload"));
    EXPECT_EQ(task.taskName(), QLatin1String("Upload"));
    EXPECT_TRUE(task.taskStatusString().isEmpty());
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
